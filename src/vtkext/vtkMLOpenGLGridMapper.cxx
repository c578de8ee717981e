#include "vtkMLOpenGLGridMapper.h"

#include "vtkActor.h"
#include "vtkFloatArray.h"
#include "vtkInformation.h"
#include "vtkNew.h"
#include "vtkObjectFactory.h"
#include "vtkOpenGLRenderPass.h"
#include "vtkOpenGLRenderWindow.h"
#include "vtkOpenGLVertexArrayObject.h"
#include "vtkOpenGLVertexBufferObjectGroup.h"
#include "vtkRenderer.h"
#include "vtkShaderProgram.h"

#include "vtk_glew.h"

namespace
{
// Line widths are in pixels; the peak alpha of a line is min(width, 1).
constexpr float AxesLineWidth = 0.8f;
constexpr float GridLineWidth = 0.6f;
constexpr float MinorOpacity = 0.5f;
constexpr float LineAntialias = 1.0f;

const char* const VertexDeclarations = "uniform float fadeDist;\n"
                                       "out vec2 gridCoord;\n";

// The 2D corner (x, y) becomes the model point (x F, 0, y F), so gridCoord holds
// the model X and Z of the fragment.
const char* const VertexPosition =
    "gridCoord = vertexMC.xy * fadeDist;\n"
    "gl_Position = MCDCMatrix * vec4(vertexMC.xzy * fadeDist, 1.0);\n";

const char* const FragmentDeclarations = "uniform float fadeDist;\n"
                                         "uniform float unitSquare;\n"
                                         "uniform int subdivisions;\n"
                                         "uniform float axesLineWidth;\n"
                                         "uniform float gridLineWidth;\n"
                                         "uniform float minorOpacity;\n"
                                         "uniform float lineAntialias;\n"
                                         "uniform vec4 axis1Color;\n"
                                         "uniform vec4 axis2Color;\n"
                                         "in vec2 gridCoord;\n"
                                         "uniform vec2 gridOffset;\n"
                                         "float antialias(float dist, float width)\n"
                                         "{\n"
                                         "  float halfWidth = max(width, 1.0) / 2.0;\n"
                                         "  float peak = min(width, 1.0);\n"
                                         "  float d = dist - halfWidth;\n"
                                         "  if (d < 0.0)\n"
                                         "  {\n"
                                         "    return peak;\n"
                                         "  }\n"
                                         "  if (d < lineAntialias)\n"
                                         "  {\n"
                                         "    return pow((1.0 - d / lineAntialias) * peak, 3.0);\n"
                                         "  }\n"
                                         "  return 0.0;\n"
                                         "}\n";

// Screen-space derivatives need uniform control flow, so every fwidth() is taken
// here, before anything (depth peeling, clipping) may discard the fragment.
const char* const FragmentCellCoordinates =
    "vec2 fromCenter = gridCoord / unitSquare;\n"
    "  vec2 majorCoord = (gridCoord - gridOffset) / unitSquare;\n"
    "  vec2 minorCoord = majorCoord * float(subdivisions);\n"
    "  vec2 majorGrid = abs(fract(majorCoord - 0.5) - 0.5) / fwidth(majorCoord);\n"
    "  vec2 minorGrid = abs(fract(minorCoord - 0.5) - 0.5) / fwidth(minorCoord);\n"
    "  float zoomFade = 1.0 - clamp(fwidth(majorCoord.x / unitSquare * fadeDist), 0.0, 1.0);\n";

const char* const FragmentColor =
    "float majorAlpha = antialias(min(majorGrid.x, majorGrid.y), gridLineWidth);\n"
    "  float minorAlpha = antialias(min(minorGrid.x, minorGrid.y), gridLineWidth);\n"
    "  vec4 gridColor = vec4(diffuseColorUniform,\n"
    "    max(majorAlpha, minorAlpha * minorOpacity * zoomFade));\n"
    "  float axis1Weight = abs(majorCoord.y) < 0.5 ? antialias(majorGrid.y, axesLineWidth) : 0.0;\n"
    "  float axis2Weight = abs(majorCoord.x) < 0.5 ? antialias(majorGrid.x, axesLineWidth) : 0.0;\n"
    "  gridColor = mix(gridColor, axis2Color, axis2Weight);\n"
    "  gridColor = mix(gridColor, axis1Color, axis1Weight);\n"
    "  float radialFade = 1.0 - unitSquare * unitSquare * dot(fromCenter, fromCenter) /\n"
    "    (fadeDist * fadeDist);\n"
    "  gridColor.a *= radialFade;\n"
    "  gl_FragData[0] = gridColor;\n";
} // namespace

vtkStandardNewMacro(vtkMLOpenGLGridMapper);

//------------------------------------------------------------------------------
vtkMLOpenGLGridMapper::vtkMLOpenGLGridMapper()
    : GridOffset{0.0, 0.0, 0.0}, FadeDistance(10.0), UnitSquare(1.0),
      Subdivisions(10), Axis1Color{0.0f, 0.0f, 0.0f, 1.0f}, Axis2Color{0.0f, 0.0f, 0.0f, 1.0f}
{
  this->SetNumberOfInputPorts(0);
  this->StaticOn();
}

//------------------------------------------------------------------------------
vtkMLOpenGLGridMapper::~vtkMLOpenGLGridMapper() = default;

//------------------------------------------------------------------------------
void vtkMLOpenGLGridMapper::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
  os << indent << "GridOffset: (" << this->GridOffset[0] << ", " << this->GridOffset[1] << ", "
     << this->GridOffset[2] << ")\n";
  os << indent << "FadeDistance: " << this->FadeDistance << "\n";
  os << indent << "UnitSquare: " << this->UnitSquare << "\n";
  os << indent << "Subdivisions: " << this->Subdivisions << "\n";
  for (const float* colour : {this->Axis1Color, this->Axis2Color})
  {
    os << indent << (colour == this->Axis1Color ? "Axis1Color: (" : "Axis2Color: (") << colour[0]
       << ", " << colour[1] << ", " << colour[2] << ", " << colour[3] << ")\n";
  }
}

//------------------------------------------------------------------------------
double* vtkMLOpenGLGridMapper::GetBounds()
{
  const double f = this->FadeDistance;
  this->Bounds[0] = -f;
  this->Bounds[1] = f;
  this->Bounds[2] = -0.0001;
  this->Bounds[3] = 0.0001;
  this->Bounds[4] = -f;
  this->Bounds[5] = f;
  return this->Bounds;
}

//------------------------------------------------------------------------------
void vtkMLOpenGLGridMapper::RenderPiece(vtkRenderer* ren, vtkActor* act)
{
  this->UpdateBufferObjects(ren, act);
  this->UpdateShaders(this->Primitives[PrimitiveStart], ren, act);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

//------------------------------------------------------------------------------
bool vtkMLOpenGLGridMapper::GetNeedToRebuildShaders(vtkOpenGLHelper& cellBO,
                                                    vtkRenderer* vtkNotUsed(ren), vtkActor* act)
{
  // Field changes reach the shader as uniforms; only the render passes (for
  // example depth peeling) change the program's source.
  return cellBO.Program == nullptr ||
         cellBO.ShaderSourceTime < this->GetRenderPassStageMTime(act, &cellBO);
}

//------------------------------------------------------------------------------
void vtkMLOpenGLGridMapper::ReplaceShaderValues(std::map<vtkShader::Type, vtkShader*> shaders,
                                                vtkRenderer* ren, vtkActor* act)
{
  this->ReplaceShaderRenderPass(shaders, ren, act, true);

  std::string vertexSource = shaders[vtkShader::Vertex]->GetSource();
  std::string fragmentSource = shaders[vtkShader::Fragment]->GetSource();

  vtkShaderProgram::Substitute(vertexSource, "//VTK::PositionVC::Dec", VertexDeclarations);
  vtkShaderProgram::Substitute(vertexSource, "//VTK::PositionVC::Impl", VertexPosition);

  vtkShaderProgram::Substitute(fragmentSource, "//VTK::CustomUniforms::Dec", FragmentDeclarations);
  vtkShaderProgram::Substitute(fragmentSource, "//VTK::UniformFlow::Impl", FragmentCellCoordinates);
  vtkShaderProgram::Substitute(fragmentSource, "//VTK::Color::Impl", FragmentColor);

  shaders[vtkShader::Vertex]->SetSource(vertexSource);
  shaders[vtkShader::Fragment]->SetSource(fragmentSource);

  // The camera matrices and the property colours are still declared by the base.
  this->ReplaceShaderPositionVC(shaders, ren, act);
  this->ReplaceShaderColor(shaders, ren, act);
  this->ReplaceShaderRenderPass(shaders, ren, act, false);
}

//------------------------------------------------------------------------------
void vtkMLOpenGLGridMapper::SetMapperShaderParameters(vtkOpenGLHelper& cellBO,
                                                      vtkRenderer* vtkNotUsed(ren), vtkActor* act)
{
  if (this->VBOs->GetMTime() > cellBO.AttributeUpdateTime ||
      cellBO.ShaderSourceTime > cellBO.AttributeUpdateTime)
  {
    cellBO.VAO->Bind();
    this->VBOs->AddAllAttributesToVAO(cellBO.Program, cellBO.VAO);
    cellBO.AttributeUpdateTime.Modified();
  }

  vtkInformation* info = act->GetPropertyKeys();
  if (info && info->Has(vtkOpenGLRenderPass::RenderPasses()))
  {
    const int passCount = info->Length(vtkOpenGLRenderPass::RenderPasses());
    for (int i = 0; i < passCount; ++i)
    {
      auto* pass =
          static_cast<vtkOpenGLRenderPass*>(info->Get(vtkOpenGLRenderPass::RenderPasses(), i));
      if (!pass->SetShaderParameters(cellBO.Program, this, act, cellBO.VAO))
      {
        vtkErrorMacro(
            "RenderPass::SetShaderParameters failed for renderpass: " << pass->GetClassName());
      }
    }
  }

  vtkShaderProgram* program = cellBO.Program;
  const float gridOffset[2] = {static_cast<float>(this->GridOffset[0]),
                               static_cast<float>(this->GridOffset[2])};
  program->SetUniform2f("gridOffset", gridOffset);
  program->SetUniformf("fadeDist", static_cast<float>(this->FadeDistance));
  program->SetUniformf("unitSquare", static_cast<float>(this->UnitSquare));
  program->SetUniformi("subdivisions", this->Subdivisions);
  program->SetUniformf("axesLineWidth", AxesLineWidth);
  program->SetUniformf("gridLineWidth", GridLineWidth);
  program->SetUniformf("minorOpacity", MinorOpacity);
  program->SetUniformf("lineAntialias", LineAntialias);
  program->SetUniform4f("axis1Color", this->Axis1Color);
  program->SetUniform4f("axis2Color", this->Axis2Color);
}

//------------------------------------------------------------------------------
void vtkMLOpenGLGridMapper::BuildBufferObjects(vtkRenderer* ren, vtkActor* vtkNotUsed(act))
{
  vtkNew<vtkFloatArray> corners;
  corners->SetNumberOfComponents(2);
  corners->SetNumberOfTuples(4);
  const float cornerValues[4][2] = {{-1.f, -1.f}, {1.f, -1.f}, {-1.f, 1.f}, {1.f, 1.f}};
  for (vtkIdType i = 0; i < 4; ++i)
  {
    corners->SetTypedTuple(i, cornerValues[i]);
  }

  auto* renWin = vtkOpenGLRenderWindow::SafeDownCast(ren->GetRenderWindow());
  this->VBOs->CacheDataArray("vertexMC", corners, renWin->GetVBOCache(), VTK_FLOAT);
  this->VBOs->BuildAllVBOs(renWin->GetVBOCache());
  this->VBOBuildTime.Modified();
}
