// The scene the render item builds before any file is loaded, and its tear-down.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStandardItem>

#include <vtkLightCollection.h>
#include <vtkRenderWindowInteractor.h>

#include "Manager.h"
#include "RenderTasks.h"
#include "TestPaths.h"
#include "ViewHarness.h"
#include "VtkItem.h"
#include "vtkPickerStyle.h"

namespace
{
using ML::Test::ViewHarness;

TEST(RenderItemScene, HoldsThreeLightsInOrderWithTheHeadlightOn)
{
  ViewHarness harness;
  vtkLightCollection* lights = harness.data->renderer->GetLights();
  ASSERT_EQ(lights->GetNumberOfItems(), 3);
  for (int i = 0; i < 3; ++i)
  {
    auto* light = vtkLight::SafeDownCast(lights->GetItemAsObject(i));
    ASSERT_EQ(light, harness.data->lights[i].GetPointer()) << i;
    double colour[3];
    light->GetDiffuseColor(colour);
    EXPECT_EQ(colour[0] + colour[1] + colour[2], 3.0);
    EXPECT_EQ(light->GetConeAngle(), 30.0);
    EXPECT_EQ(light->GetAttenuationValues()[0], 1.0);
    EXPECT_EQ(light->GetAttenuationValues()[1], 0.0);
  }
  EXPECT_TRUE(harness.data->lights[0]->LightTypeIsHeadlight());
  EXPECT_TRUE(harness.data->lights[0]->GetSwitch());
  for (int i : {1, 2})
  {
    EXPECT_TRUE(harness.data->lights[i]->LightTypeIsSceneLight());
    EXPECT_FALSE(harness.data->lights[i]->GetSwitch());
  }
}

TEST(RenderItemScene, StartsWithWidgetsOffAndAnEmptyGrid)
{
  ViewHarness harness;
  EXPECT_FALSE(harness.data->lightWidget->GetEnabled());
  EXPECT_FALSE(harness.data->boxWidget->GetEnabled());
  EXPECT_FALSE(harness.data->axesWidget->GetEnabled());
  EXPECT_TRUE(harness.data->renderer->HasViewProp(harness.data->gridActor));
  EXPECT_EQ(harness.data->gridActor->GetMapper(), nullptr);
  EXPECT_EQ(harness.data->renderer->GetActors()->GetNumberOfItems(), 1);
  EXPECT_EQ(harness.data->item, &harness.item);
  EXPECT_EQ(harness.data->renderWindow, harness.renderWindow.GetPointer());
  EXPECT_TRUE(harness.renderWindow->GetOffScreenRendering());
  EXPECT_EQ(harness.renderWindow->GetMultiSamples(), 0);

  const double* yellow = harness.data->lightRepresentation->GetLightColor();
  EXPECT_EQ(yellow[0], 1.0);
  EXPECT_EQ(yellow[1], 1.0);
  EXPECT_EQ(yellow[2], 0.0);
}

TEST(RenderItemScene, InteractionGoesThroughThePickerStyle)
{
  ViewHarness harness;
  EXPECT_EQ(harness.interactor->GetInteractorStyle(), harness.data->pickerStyle.GetPointer());
  EXPECT_STREQ(harness.data->pickerStyle->GetClassName(), "vtkPickerStyle");
  EXPECT_EQ(harness.data->pickerStyle->data, harness.data);
  EXPECT_EQ(harness.data->pickerStyle->GetDefaultRenderer(), harness.data->renderer.GetPointer());
  EXPECT_TRUE(harness.interactor->HasObserver(vtkCommand::TimerEvent, harness.data->timerCallback));
  for (unsigned long event :
       {vtkCommand::MouseWheelForwardEvent, vtkCommand::MouseWheelBackwardEvent,
        vtkCommand::LeftButtonPressEvent, vtkCommand::MouseMoveEvent})
  {
    EXPECT_TRUE(harness.interactor->HasObserver(event, harness.data->cameraCallback)) << event;
  }
  EXPECT_TRUE(harness.data->lightWidget->HasObserver(vtkCommand::InteractionEvent,
                                                     harness.data->lightCallback));
  EXPECT_TRUE(harness.data->boxWidget->HasObserver(vtkCommand::EndInteractionEvent,
                                                   harness.data->boxCallback));
  EXPECT_STREQ(harness.data->GetClassName(), "Data");
}

TEST(RenderItemScene, FirstFrameShowsOnlyTheBackground)
{
  ViewHarness harness;
  const QImage image = harness.grab();
  double background[3];
  harness.data->renderer->GetBackground(background);
  const QRgb expected =
      qRgb(qRound(background[0] * 255), qRound(background[1] * 255), qRound(background[2] * 255));
  int others = 0;
  for (int y = 0; y < image.height(); ++y)
  {
    for (int x = 0; x < image.width(); ++x)
    {
      others += (image.pixel(x, y) & 0xffffff) == (expected & 0xffffff) ? 0 : 1;
    }
  }
  EXPECT_EQ(others, 0);
}

TEST(RenderItemClock, OnlyTheManagersTicksStepTheAnimation)
{
  ViewHarness harness;
  harness.manager.openModels({ QString::fromStdString(ML::Test::sharedModel("arm_two_clips.glb")) });
  harness.runTasks();
  ASSERT_EQ(harness.item.models.size(), 1u);
  harness.item.playing = true;

  // The interactor's own repeating timer passes its timer id as call data.
  int timerId = 1;
  harness.interactor->InvokeEvent(vtkCommand::TimerEvent, &timerId);
  EXPECT_EQ(harness.manager.sliderVal(), 0.0);

  harness.interactor->InvokeEvent(vtkCommand::TimerEvent, nullptr);
  EXPECT_GT(harness.manager.sliderVal(), 0.0);
}

TEST(RenderItemTearDown, ClearsTheTreeEvenWithoutASceneRecord)
{
  ViewHarness harness;
  harness.manager.treeModel()->appendRow(new QStandardItem("model.glb"));
  QSignalSpy tree(&harness.manager, &ML::Manager::treeModelChanged);
  QSignalSpy names(&harness.manager, &ML::Manager::modelNamesChanged);

  vtkNew<vtkObject> notARecord;
  harness.item.destroyingVTK(harness.renderWindow, notARecord.GetPointer());
  EXPECT_EQ(harness.manager.treeModel()->rowCount(), 0);
  EXPECT_EQ(tree.count(), 1);
  EXPECT_EQ(names.count(), 1);
}

TEST(RenderItemTearDown, UnloadingNothingOnlySwitchesTheBoxOff)
{
  ViewHarness harness;
  harness.data->boxWidget->SetProp3D(harness.data->gridActor);
  harness.data->boxWidget->PlaceWidget(-1, 1, -1, 1, -1, 1);
  harness.data->boxWidget->On();
  harness.item.lightsFromFile = true;
  ML::unloadModels(&harness.item, harness.data);
  EXPECT_FALSE(harness.data->boxWidget->GetEnabled());
  EXPECT_TRUE(harness.item.lightsFromFile);
  ML::unloadModels(&harness.item, nullptr);
}
} // namespace
