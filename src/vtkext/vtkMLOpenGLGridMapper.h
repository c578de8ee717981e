#ifndef vtkMLOpenGLGridMapper_h
#define vtkMLOpenGLGridMapper_h

#include "vtkOpenGLPolyDataMapper.h"
#include "vtkSetGet.h"

/**
 * @class vtkMLOpenGLGridMapper
 * @brief Draws an endless-looking ground grid in the model XZ plane.
 *
 * The mapper takes no input: it draws one square of half side FadeDistance as a
 * four-vertex triangle strip and computes the major and minor grid lines, the two
 * axis lines and a radial fade per fragment. The line colour is the diffuse colour
 * of the actor's property; the actor is meant to be drawn as translucent so that
 * the computed alpha blends the grid into the scene.
 */
class vtkMLOpenGLGridMapper : public vtkOpenGLPolyDataMapper
{
public:
  static vtkMLOpenGLGridMapper* New();
  vtkTypeMacro(vtkMLOpenGLGridMapper, vtkOpenGLPolyDataMapper);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  ///@{
  /**
   * Where the grid's centre lies, in model coordinates.
   */
  vtkSetVector3Macro(GridOffset, double);
  vtkGetVector3Macro(GridOffset, double);
  ///@}

  ///@{
  /**
   * Distance from the centre at which the grid has faded out.
   */
  vtkSetMacro(FadeDistance, double);
  vtkGetMacro(FadeDistance, double);
  ///@}

  ///@{
  /**
   * Side of one major square, and the minor lines within it.
   */
  vtkSetMacro(UnitSquare, double);
  vtkGetMacro(UnitSquare, double);
  vtkSetMacro(Subdivisions, int);
  vtkGetMacro(Subdivisions, int);
  ///@}

  ///@{
  /**
   * Colours (RGBA) of the two axis lines.
   */
  vtkSetVector4Macro(Axis1Color, float);
  vtkGetVector4Macro(Axis1Color, float);
  vtkSetVector4Macro(Axis2Color, float);
  vtkGetVector4Macro(Axis2Color, float);
  ///@}

  /**
   * A slab 0.0002 thick around model Y = 0 that spans -FadeDistance to
   * FadeDistance in model X and Z.
   */
  double* GetBounds() override;
  using Superclass::GetBounds;

  void RenderPiece(vtkRenderer* ren, vtkActor* act) override;

protected:
  vtkMLOpenGLGridMapper();
  ~vtkMLOpenGLGridMapper() override;

  bool GetNeedToRebuildShaders(vtkOpenGLHelper& cellBO, vtkRenderer* ren, vtkActor* act) override;
  void ReplaceShaderValues(std::map<vtkShader::Type, vtkShader*> shaders, vtkRenderer* ren,
                           vtkActor* act) override;
  void SetMapperShaderParameters(vtkOpenGLHelper& cellBO, vtkRenderer* ren, vtkActor* act) override;
  void BuildBufferObjects(vtkRenderer* ren, vtkActor* act) override;

  double GridOffset[3];
  double FadeDistance;
  double UnitSquare;
  int Subdivisions;
  float Axis1Color[4];
  float Axis2Color[4];

private:
  vtkMLOpenGLGridMapper(const vtkMLOpenGLGridMapper&) = delete;
  void operator=(const vtkMLOpenGLGridMapper&) = delete;
};

#endif
