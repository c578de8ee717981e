#include "vtkMLPolyDataMapper.h"

#include "vtkActor.h"
#include "vtkObjectFactory.h"
#include "vtkOpenGLBufferObject.h"
#include "vtkOpenGLRenderWindow.h"
#include "vtkOpenGLVertexBufferObject.h"
#include "vtkOpenGLVertexBufferObjectGroup.h"
#include "vtkProperty.h"
#include "vtkRenderer.h"
#include "vtkShaderProgram.h"
#include "vtkShaderProperty.h"
#include "vtkUniforms.h"

#include "vtk_glew.h"

#include <QDebug>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
// The most joint matrices that still fit the uniform array path; above it the
// matrices go through a shader storage buffer.
constexpr int MaxUniformJoints = 250;
constexpr int JointsBindingPoint = 0;

const char* const JointMatricesName = "jointMatrices";

const char* const JointsStorageDeclaration =
    "layout(std430, binding = 0) readonly buffer JointsData\n"
    "{\n"
    "  mat4 jointMatrices[];\n"
    "};\n";

const char* const SkinningAttributes = "in vec4 joints;\n"
                                       "in vec4 weights;\n";

const char* const SkinMatrix = "  mat4 skinMat = weights.x * jointMatrices[int(joints.x)]\n"
                               "               + weights.y * jointMatrices[int(joints.y)]\n"
                               "               + weights.z * jointMatrices[int(joints.z)]\n"
                               "               + weights.w * jointMatrices[int(joints.w)];\n";

bool hasNormalMap(const std::vector<std::pair<vtkTexture*, std::string>>& textures)
{
  return std::any_of(textures.begin(), textures.end(),
                     [](const std::pair<vtkTexture*, std::string>& texture)
                     { return texture.second == "normalTex"; });
}

bool hasJointMatrices(vtkUniforms* uniforms)
{
  return uniforms->GetUniformTupleType(JointMatricesName) != vtkUniforms::TupleTypeInvalid;
}

bool contextSupportsStorageBuffers(vtkRenderer* ren)
{
  int major = 0;
  int minor = 0;
  vtkOpenGLRenderWindow::SafeDownCast(ren->GetRenderWindow())->GetOpenGLVersion(major, minor);
  return major == 4 && minor >= 3;
}
} // namespace

vtkStandardNewMacro(vtkMLPolyDataMapper);

//------------------------------------------------------------------------------
vtkMLPolyDataMapper::vtkMLPolyDataMapper() : JointMatricesBuffer(vtkOpenGLBufferObject::New())
{
  // Skinning multiplies model coordinates by the joint matrices, so the
  // positions must reach the shader unshifted and unscaled.
  this->SetVBOShiftScaleMethod(vtkOpenGLVertexBufferObject::DISABLE_SHIFT_SCALE);
  this->MapDataArrayToVertexAttribute("weights", "WEIGHTS_0", 0, -1);
  this->MapDataArrayToVertexAttribute("joints", "JOINTS_0", 0, -1);
}

//------------------------------------------------------------------------------
vtkMLPolyDataMapper::~vtkMLPolyDataMapper()
{
  this->JointMatricesBuffer->Delete();
}

//------------------------------------------------------------------------------
void vtkMLPolyDataMapper::ReplaceShaderValues(std::map<vtkShader::Type, vtkShader*> shaders,
                                              vtkRenderer* ren, vtkActor* act)
{
  std::string vertexSource = shaders[vtkShader::Vertex]->GetSource();

  vtkUniforms* uniforms = act->GetShaderProperty()->GetVertexCustomUniforms();
  // VTK declares the normal and tangent varyings only for a primitive it lights;
  // without a light (or for flat-shaded points) the normal lines would not compile.
  const bool lit = act->GetProperty()->GetLighting() &&
                   this->PrimitiveInfo[this->LastBoundBO].LastLightComplexity > 0;
  const bool normals = lit && this->VBOs->GetNumberOfComponents("normalMC") == 3;
  const bool tangents = lit && this->VBOs->GetNumberOfComponents("tangentMC") == 3 &&
                        hasNormalMap(this->GetTextures(act));

  std::string declarations = "//VTK::CustomUniforms::Dec\n";
  std::string position = "  vec4 posMC = vertexMC;\n";
  std::string normal;
  std::string begin;
  if (normals)
  {
    normal += "  normalVCVSOutput = normalMC;\n";
  }
  if (tangents)
  {
    normal += "  tangentVCVSOutput = tangentMC;\n";
  }

  bool skinning = hasJointMatrices(uniforms);
  const int jointCount = skinning ? uniforms->GetUniformNumberOfTuples(JointMatricesName) : 0;
  if (skinning && jointCount > MaxUniformJoints)
  {
    if (contextSupportsStorageBuffers(ren))
    {
      // The storage buffer is only written here, at a shader rebuild; whoever
      // changes the pose sets the uniform again, which triggers the rebuild.
      std::vector<float> matrices;
      uniforms->GetUniformMatrix4x4v(JointMatricesName, matrices);
      this->JointMatricesBuffer->Upload(matrices, vtkOpenGLBufferObject::ArrayBuffer);
      glBindBufferBase(GL_SHADER_STORAGE_BUFFER, JointsBindingPoint,
                       static_cast<GLuint>(this->JointMatricesBuffer->GetHandle()));
      uniforms->RemoveUniform(JointMatricesName);
      declarations += JointsStorageDeclaration;
      vtkShaderProgram::Substitute(vertexSource, "//VTK::System::Dec", "#version 430");
    }
    else
    {
      qDebug().nospace() << "A mesh is associated with more than 250 bones (" << jointCount
                         << "), which requires OpenGL >= 4.3";
      skinning = false;
    }
  }
  if (skinning)
  {
    declarations += SkinningAttributes;
    begin = SkinMatrix;
    position += "  posMC = skinMat * posMC;\n";
    if (normals)
    {
      normal += "  normalVCVSOutput = mat3(skinMat) * normalVCVSOutput;\n";
    }
    if (tangents)
    {
      normal += "  tangentVCVSOutput = mat3(skinMat) * tangentVCVSOutput;\n";
    }
  }

  position += "  gl_Position = MCDCMatrix * posMC;\n";
  if (this->PrimitiveInfo[this->LastBoundBO].LastLightComplexity > 0)
  {
    position += "  vertexVCVSOutput = MCVCMatrix * posMC;\n";
  }
  if (normals)
  {
    normal += "  normalVCVSOutput = normalMatrix * normalVCVSOutput;\n";
  }
  if (tangents)
  {
    normal += "  tangentVCVSOutput = normalMatrix * tangentVCVSOutput;\n";
  }

  vtkShaderProgram::Substitute(vertexSource, "//VTK::CustomUniforms::Dec", declarations);
  vtkShaderProgram::Substitute(vertexSource, "//VTK::PositionVC::Impl", position);
  vtkShaderProgram::Substitute(vertexSource, "//VTK::Normal::Impl", normal);
  vtkShaderProgram::Substitute(vertexSource, "//VTK::CustomBegin::Impl", begin);
  shaders[vtkShader::Vertex]->SetSource(vertexSource);

  this->Superclass::ReplaceShaderValues(shaders, ren, act);
}
