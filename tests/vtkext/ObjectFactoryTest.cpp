#include "vtkMLObjectFactory.h"

#include <vtkLogger.h>
#include <vtkObjectFactoryCollection.h>
#include <vtkPointGaussianMapper.h>
#include <vtkPolyDataMapper.h>
#include <vtkSmartPointer.h>
#include <vtkVersionMacros.h>

#include <gtest/gtest.h>

namespace
{
int registeredFactoriesNamed(const char* className)
{
  int count = 0;
  vtkObjectFactoryCollection* factories = vtkObjectFactory::GetRegisteredFactories();
  factories->InitTraversal();
  while (vtkObjectFactory* factory = factories->GetNextItem())
  {
    count += factory->IsA(className) ? 1 : 0;
  }
  return count;
}
} // namespace

TEST(ObjectFactory, CarriesItsOverrideFromBirth)
{
  vtkNew<vtkMLObjectFactory> factory;
  EXPECT_STREQ(factory->GetClassName(), "vtkMLObjectFactory");
  EXPECT_STREQ(factory->GetDescription(), "Marionette Lab factory overrides.");
  EXPECT_STREQ(factory->GetVTKSourceVersion(), VTK_SOURCE_VERSION);
  ASSERT_EQ(factory->GetNumberOfOverrides(), 1);
  EXPECT_STREQ(factory->GetClassOverrideName(0), "vtkPolyDataMapper");
  EXPECT_STREQ(factory->GetClassOverrideWithName(0), "vtkMLPolyDataMapper");
  EXPECT_STREQ(factory->GetOverrideDescription(0), "vtkPolyDataMapper override for Marionette Lab");
  EXPECT_TRUE(factory->GetEnableFlag(0));
}

TEST(ObjectFactory, SetUpMakesEveryPolyDataMapperTheSkinningMapper)
{
  initializeRenderingExtensions();
  auto mapper = vtkSmartPointer<vtkPolyDataMapper>::Take(vtkPolyDataMapper::New());
  EXPECT_STREQ(mapper->GetClassName(), "vtkMLPolyDataMapper");
  EXPECT_TRUE(mapper->IsA("vtkOpenGLPolyDataMapper"));
}

TEST(ObjectFactory, SetUpTwiceRegistersOneFactory)
{
  initializeRenderingExtensions();
  initializeRenderingExtensions();
  EXPECT_EQ(registeredFactoriesNamed("vtkMLObjectFactory"), 1);
}

TEST(ObjectFactory, SetUpSwitchesOffTheOpenGLPointGaussianMapper)
{
  initializeRenderingExtensions();
  auto mapper = vtkSmartPointer<vtkPointGaussianMapper>::Take(vtkPointGaussianMapper::New());
  EXPECT_FALSE(mapper->IsA("vtkOpenGLPointGaussianMapper"));
  EXPECT_STREQ(mapper->GetClassName(), "vtkPointGaussianMapper");
}

TEST(ObjectFactory, SetUpSilencesVtkDiagnostics)
{
  initializeRenderingExtensions();
  EXPECT_EQ(vtkObject::GetGlobalWarningDisplay(), 0);
  // Without logging support in VTK the cutoff reads as invalid, which is lower still.
  EXPECT_LE(vtkLogger::GetCurrentVerbosityCutoff(), vtkLogger::VERBOSITY_OFF);
}
