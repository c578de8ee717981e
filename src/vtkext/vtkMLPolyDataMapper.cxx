#include "vtkMLPolyDataMapper.h"

#include "vtkActor.h"
#include "vtkLogger.h"
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

// A vertex that no joint influences (a prop on a partly skinned mesh) stays where
// the mesh puts it instead of collapsing onto the origin.
const char* const SkinMatrix = "  mat4 skinMat = mat4(1.0);\n"
                               "  if (weights.x + weights.y + weights.z + weights.w > 0.0)\n"
                               "  {\n"
                               "    skinMat = weights.x * jointMatrices[int(joints.x)]\n"
                               "            + weights.y * jointMatrices[int(joints.y)]\n"
                               "            + weights.z * jointMatrices[int(joints.z)]\n"
                               "            + weights.w * jointMatrices[int(joints.w)];\n"
                               "  }\n";

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

// The generated vertex code, put in place of VTK's tags.
struct VertexShaderPieces
{
  // The tag stays in front: VTK's own custom uniform declarations replace it later.
  std::string declarations = "//VTK::CustomUniforms::Dec\n";
  std::string position = "  vec4 posMC = vertexMC;\n";
  std::string normal;
  std::string begin;

  void substituteInto(std::string& source) const
  {
    vtkShaderProgram::Substitute(source, "//VTK::CustomUniforms::Dec", declarations);
    vtkShaderProgram::Substitute(source, "//VTK::PositionVC::Impl", position);
    vtkShaderProgram::Substitute(source, "//VTK::Normal::Impl", normal);
    vtkShaderProgram::Substitute(source, "//VTK::CustomBegin::Impl", begin);
  }
};

// Decides whether the mesh is skinned and where its matrices come from. Matrices
// beyond what the uniform array takes leave the uniform for `stored`, which the
// mapper keeps until the next pose: a shader rebuild for another reason (wireframe,
// a light, a surface preset) finds the uniform gone and draws the same pose from
// what it kept. Such a mesh is skinned only on OpenGL 4.3.
bool prepareJointMatrices(vtkUniforms* uniforms, vtkRenderer* ren, std::vector<float>& stored,
                          bool& storedChanged, VertexShaderPieces& pieces,
                          std::string& vertexSource)
{
  if (hasJointMatrices(uniforms))
  {
    if (uniforms->GetUniformNumberOfTuples(JointMatricesName) <= MaxUniformJoints)
    {
      stored.clear();
      return true;
    }
    if (!contextSupportsStorageBuffers(ren))
    {
      // Through VTK's log: the program turns VTK's object warnings off.
      vtkLogF(WARNING,
              "A mesh is associated with more than 250 bones (%d), which requires OpenGL >= 4.3",
              uniforms->GetUniformNumberOfTuples(JointMatricesName));
      return false;
    }
    uniforms->GetUniformMatrix4x4v(JointMatricesName, stored);
    uniforms->RemoveUniform(JointMatricesName);
    storedChanged = true;
  }
  if (stored.empty())
  {
    return false;
  }
  pieces.declarations += JointsStorageDeclaration;
  vtkShaderProgram::Substitute(vertexSource, "//VTK::System::Dec", "#version 430");
  return true;
}

void addSkinning(VertexShaderPieces& pieces, bool normals, bool tangents)
{
  pieces.declarations += SkinningAttributes;
  pieces.begin = SkinMatrix;
  pieces.position += "  posMC = skinMat * posMC;\n";
  if (normals)
  {
    pieces.normal += "  normalVCVSOutput = mat3(skinMat) * normalVCVSOutput;\n";
  }
  if (tangents)
  {
    pieces.normal += "  tangentVCVSOutput = mat3(skinMat) * tangentVCVSOutput;\n";
  }
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

  // VTK declares the normal and tangent varyings only for a primitive it lights;
  // without a light (or for flat-shaded points) the normal lines would not compile.
  const bool lit = act->GetProperty()->GetLighting() &&
                   this->PrimitiveInfo[this->LastBoundBO].LastLightComplexity > 0;
  const bool normals = lit && this->VBOs->GetNumberOfComponents("normalMC") == 3;
  const bool tangents = lit && this->VBOs->GetNumberOfComponents("tangentMC") == 3 &&
                        hasNormalMap(this->GetTextures(act));

  VertexShaderPieces pieces;
  if (normals)
  {
    pieces.normal += "  normalVCVSOutput = normalMC;\n";
  }
  if (tangents)
  {
    pieces.normal += "  tangentVCVSOutput = tangentMC;\n";
  }

  vtkUniforms* uniforms = act->GetShaderProperty()->GetVertexCustomUniforms();
  if (prepareJointMatrices(uniforms, ren, this->StoredJointMatrices,
                           this->StoredJointMatricesChanged, pieces, vertexSource))
  {
    addSkinning(pieces, normals, tangents);
  }

  pieces.position += "  gl_Position = MCDCMatrix * posMC;\n";
  if (this->PrimitiveInfo[this->LastBoundBO].LastLightComplexity > 0)
  {
    pieces.position += "  vertexVCVSOutput = MCVCMatrix * posMC;\n";
  }
  if (normals)
  {
    pieces.normal += "  normalVCVSOutput = normalMatrix * normalVCVSOutput;\n";
  }
  if (tangents)
  {
    pieces.normal += "  tangentVCVSOutput = normalMatrix * tangentVCVSOutput;\n";
  }

  pieces.substituteInto(vertexSource);
  shaders[vtkShader::Vertex]->SetSource(vertexSource);

  this->Superclass::ReplaceShaderValues(shaders, ren, act);
}

//------------------------------------------------------------------------------
// The storage buffer binding is global state: each mesh binds its own matrices
// before each of its draws, so that two large skeletons never draw with each
// other's pose.
void vtkMLPolyDataMapper::SetMapperShaderParameters(vtkOpenGLHelper& cellBO, vtkRenderer* ren,
                                                    vtkActor* act)
{
  this->Superclass::SetMapperShaderParameters(cellBO, ren, act);
  if (this->StoredJointMatrices.empty())
  {
    return;
  }
  if (this->StoredJointMatricesChanged)
  {
    this->JointMatricesBuffer->Upload(this->StoredJointMatrices,
                                      vtkOpenGLBufferObject::ArrayBuffer);
    this->StoredJointMatricesChanged = false;
  }
  glBindBufferBase(GL_SHADER_STORAGE_BUFFER, JointsBindingPoint,
                   static_cast<GLuint>(this->JointMatricesBuffer->GetHandle()));
}

//------------------------------------------------------------------------------
void vtkMLPolyDataMapper::ReleaseGraphicsResources(vtkWindow* window)
{
  this->JointMatricesBuffer->ReleaseGraphicsResources();
  this->StoredJointMatricesChanged = true;
  this->Superclass::ReleaseGraphicsResources(window);
}

//------------------------------------------------------------------------------
void vtkMLPolyDataMapper::BuildBufferObjects(vtkRenderer* ren, vtkActor* act)
{
  this->Superclass::BuildBufferObjects(ren, act);
  // Each vertex buffer keeps the memory it packed its data in before the upload:
  // for a big mesh as much again as the mesh. A later rebuild packs anew.
  for (const char* attribute : {"vertexMC", "normalMC", "tangentMC", "scalarColor", "tcoord",
                                "colorTCoord", "weights", "joints"})
  {
    if (vtkOpenGLVertexBufferObject* buffer = this->VBOs->GetVBO(attribute))
    {
      std::vector<float>().swap(buffer->GetPackedVBO());
    }
  }
}

//------------------------------------------------------------------------------
void vtkMLPolyDataMapper::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "StoredJointMatrices: " << this->StoredJointMatrices.size() / 16 << "\n";
  os << indent << "StoredJointMatricesChanged: " << this->StoredJointMatricesChanged << "\n";
}
