#ifndef vtkMLOpenGLGridMapper_h
#define vtkMLOpenGLGridMapper_h

#include "vtkOpenGLPolyDataMapper.h"

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

  virtual void SetGridOffset(double x, double y, double z);
  virtual void SetGridOffset(const double offset[3]);
  virtual void SetFadeDistance(double distance);
  virtual void SetUnitSquare(double side);
  virtual void SetSubdivisions(int subdivisions);
  virtual void SetAxis1Color(float r, float g, float b, float a);
  virtual void SetAxis1Color(const float color[4]);
  virtual void SetAxis2Color(float r, float g, float b, float a);
  virtual void SetAxis2Color(const float color[4]);

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
