#include "vtkMLObjectFactory.h"

#include "vtkLogger.h"
#include "vtkMLPolyDataMapper.h"
#include "vtkVersionMacros.h"

#include <memory>
#include <mutex>

namespace
{
vtkObject* createPolyDataMapper()
{
  return vtkMLPolyDataMapper::New();
}

// Process-wide guard of the set-up; it carries no data and undoes nothing when it
// is destroyed at exit.
class RenderingExtensionsSetup
{
public:
  RenderingExtensionsSetup()
  {
    vtkObject::SetGlobalWarningDisplay(0);
    vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
    vtkLogger::SetInternalVerbosityLevel(vtkLogger::VERBOSITY_OFF);

    vtkMLObjectFactory* factory = vtkMLObjectFactory::New();
    vtkObjectFactory::RegisterFactory(factory);
    vtkObjectFactory::SetAllEnableFlags(0, "vtkPolyDataMapper", "vtkOpenGLPolyDataMapper");
    vtkObjectFactory::SetAllEnableFlags(0, "vtkPointGaussianMapper",
                                        "vtkOpenGLPointGaussianMapper");
    factory->Delete();
  }
};
} // namespace

vtkStandardNewMacro(vtkMLObjectFactory);

//------------------------------------------------------------------------------
vtkMLObjectFactory::vtkMLObjectFactory()
{
  this->RegisterOverride("vtkPolyDataMapper", "vtkMLPolyDataMapper",
                         "vtkPolyDataMapper override for Marionette Lab", 1, createPolyDataMapper);
}

//------------------------------------------------------------------------------
void vtkMLObjectFactory::PrintSelf(ostream& os, vtkIndent indent)
{
  this->Superclass::PrintSelf(os, indent);
}

//------------------------------------------------------------------------------
const char* vtkMLObjectFactory::GetVTKSourceVersion()
{
  return VTK_SOURCE_VERSION;
}

//------------------------------------------------------------------------------
const char* vtkMLObjectFactory::GetDescription()
{
  return "Marionette Lab factory overrides.";
}

//------------------------------------------------------------------------------
void initializeRenderingExtensions()
{
  static std::once_flag once;
  static std::unique_ptr<RenderingExtensionsSetup> setup;
  std::call_once(once, [] { setup = std::make_unique<RenderingExtensionsSetup>(); });
}
