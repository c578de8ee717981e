#ifndef vtkMLObjectFactory_h
#define vtkMLObjectFactory_h

#include "vtkObjectFactory.h"

/**
 * @class vtkMLObjectFactory
 * @brief Makes every vtkPolyDataMapper::New() return a vtkMLPolyDataMapper.
 *
 * Registered once per process by initializeRenderingExtensions(), so that every
 * mesh mapper can deform skinned meshes on the GPU without its creator naming
 * the class.
 */
class vtkMLObjectFactory : public vtkObjectFactory
{
public:
  static vtkMLObjectFactory* New();
  vtkTypeMacro(vtkMLObjectFactory, vtkObjectFactory);
  void PrintSelf(ostream& os, vtkIndent indent) override;

  const char* GetVTKSourceVersion() override;
  const char* GetDescription() override;

protected:
  vtkMLObjectFactory();
  ~vtkMLObjectFactory() override = default;

private:
  vtkMLObjectFactory(const vtkMLObjectFactory&) = delete;
  void operator=(const vtkMLObjectFactory&) = delete;
};

/**
 * Once per process, before any VTK object exists: silences VTK's warnings and
 * logger, registers vtkMLObjectFactory and switches off the OpenGL module's
 * overrides of vtkPolyDataMapper and vtkPointGaussianMapper so that ours wins.
 * Later calls do nothing.
 */
void initializeRenderingExtensions();

#endif
