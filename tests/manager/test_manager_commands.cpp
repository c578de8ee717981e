// The view, light and transform commands: each queues one render task, and the
// task applies the controller's values as they are when it runs.
#include <gtest/gtest.h>

#include <vtkCamera.h>
#include <vtkLight.h>
#include <vtkProperty.h>

#include "MessageLog.h"
#include "SceneHelpers.h"
#include "TestPaths.h"

namespace
{
using ML::Manager;
using ML::Test::ViewHarness;

void expectVector(const double* actual, std::array<double, 3> expected)
{
  for (size_t i = 0; i < 3; ++i)
  {
    EXPECT_EQ(actual[i], expected[i]) << "component " << i;
  }
}

TEST(Commands, EachQueuesExactlyOneTaskAndChangesNothingYet)
{
  using Command = void (Manager::*)();
  const Command commands[] = {
      &Manager::cameraReset,         &Manager::toggleWireframe,       &Manager::updateShowGrid,
      &Manager::updateShowAxes,      &Manager::updateSceneLight,      &Manager::updateDirection,
      &Manager::updateCameraPos,     &Manager::updateCameraFp,        &Manager::updateSurfaceLight,
      &Manager::updateLightPos,      &Manager::updateLightFp,         &Manager::updateLightColor,
      &Manager::updateBackground,    &Manager::updateShowLightWidget, &Manager::updateCurrentLight,
      &Manager::updateModelTransform};
  ViewHarness h;
  h.manager.state.showGrid = true;
  h.manager.state.showAxes = true;
  h.manager.state.sceneLight = true;
  h.manager.state.backgroundColor = 3;
  h.manager.state.cameraPosition = {1.0, 2.0, 3.0};
  size_t queued = 0;
  for (Command command : commands)
  {
    (h.manager.*command)();
    EXPECT_EQ(h.pending.size(), ++queued);
  }
  EXPECT_FALSE(h.data->axesWidget->GetEnabled());
  EXPECT_FALSE(h.data->lights[1]->GetSwitch());
  EXPECT_NE(h.data->renderer->GetBackground()[2], 110 / 255.0);
  EXPECT_NE(h.data->renderer->GetActiveCamera()->GetPosition()[0], 1.0);

  h.runTasks();
  EXPECT_TRUE(h.data->axesWidget->GetEnabled());
  EXPECT_TRUE(h.data->lights[1]->GetSwitch());
  EXPECT_EQ(h.data->renderer->GetBackground()[2], 110 / 255.0);
  EXPECT_TRUE(h.pending.empty());
}

TEST(Commands, TasksApplyTheValuesCurrentWhenTheyRun)
{
  ViewHarness h;
  h.manager.setBackgroundColor(1);
  h.manager.updateBackground();
  h.manager.setBackgroundColor(3);
  h.runTasks();
  expectVector(h.data->renderer->GetBackground(), {82 / 255.0, 87 / 255.0, 110 / 255.0});

  // Three writes, one command: all three apply.
  h.manager.setCameraFpX(4);
  h.manager.setCameraFpY(-5);
  h.manager.setCameraFpZ(6);
  h.manager.updateCameraFp();
  h.runTasks();
  expectVector(h.data->renderer->GetActiveCamera()->GetFocalPoint(), {4.0, -5.0, 6.0});
}

TEST(Commands, CameraPositionMovesOnlyWithItsCommand)
{
  ViewHarness h;
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  camera->SetPosition(1.0, 2.0, 3.0);
  h.manager.setCameraPosY(20);
  h.manager.setCameraPosZ(30);
  h.manager.updateCameraPos();
  h.runTasks();
  expectVector(camera->GetPosition(), {0.0, 20.0, 30.0});

  h.manager.setCameraPosX(10);
  expectVector(camera->GetPosition(), {0.0, 20.0, 30.0});
  h.manager.updateCameraPos();
  h.runTasks();
  expectVector(camera->GetPosition(), {10.0, 20.0, 30.0});
}

TEST(Commands, DirectionCodesBecomeTheViewsUpAndRight)
{
  ViewHarness h;
  h.manager.setUpDirection(2);
  h.manager.setRightDirection(4);
  h.manager.updateDirection();
  h.runTasks();
  expectVector(h.data->renderer->GetEnvironmentUp(), {0.0, 0.0, 1.0});
  expectVector(h.data->renderer->GetEnvironmentRight(), {0.0, -1.0, 0.0});

  // An unknown code is +X.
  h.manager.setUpDirection(1);
  h.manager.setRightDirection(7);
  h.manager.updateDirection();
  h.runTasks();
  expectVector(h.data->renderer->GetEnvironmentUp(), {0.0, 1.0, 0.0});
  expectVector(h.data->renderer->GetEnvironmentRight(), {1.0, 0.0, 0.0});

  // Parallel codes reach the view as they are, which refuses them.
  ML::Test::MessageLog log;
  h.manager.setRightDirection(1);
  h.manager.updateDirection();
  h.runTasks();
  EXPECT_EQ(log.count("Up and Right are collinear."), 1);
  expectVector(h.data->renderer->GetEnvironmentRight(), {1.0, 0.0, 0.0});
}

TEST(Commands, LightPositionAndFocalPointMoveOnlyTheCurrentLight)
{
  ViewHarness h;
  h.manager.setCurrentLight(1);
  h.manager.setLightPosX(7);
  h.manager.setLightPosZ(-9);
  h.manager.setLightFpY(3);
  h.manager.updateLightPos();
  h.manager.updateLightFp();
  h.runTasks();
  expectVector(h.data->lights[1]->GetPosition(), {7.0, 0.0, -9.0});
  expectVector(h.data->lights[1]->GetFocalPoint(), {0.0, 3.0, 0.0});
  for (int other : {0, 2})
  {
    const double* position = h.data->lights[other]->GetPosition();
    EXPECT_NE(position[0], 7.0) << other;
    EXPECT_NE(h.data->lights[other]->GetFocalPoint()[1], 3.0) << other;
  }
  double handle[3];
  h.data->lightRepresentation->GetLightPosition(handle);
  EXPECT_EQ(handle[2], -9.0);
  h.data->lightRepresentation->GetFocalPoint(handle);
  EXPECT_EQ(handle[1], 3.0);
}

TEST(Commands, LightColourRecoloursAllThreeLightsInEitherMode)
{
  ViewHarness h;
  h.manager.setCurrentLight(2);
  h.manager.setLightColor(QColor(255, 0, 0));
  h.manager.setCurrentLight(0);
  h.manager.setLightColor(QColor(0, 0, 255));
  h.manager.updateLightColor();
  h.runTasks();
  expectVector(h.data->lights[0]->GetDiffuseColor(), {0.0, 0.0, 1.0});
  expectVector(h.data->lights[1]->GetDiffuseColor(), {1.0, 1.0, 1.0});
  expectVector(h.data->lights[2]->GetDiffuseColor(), {1.0, 0.0, 0.0});
  EXPECT_TRUE(h.data->lights[0]->LightTypeIsHeadlight());
}

TEST(Commands, WireframeOffPutsEveryActorBackToSurfaces)
{
  ViewHarness h;
  const ML::ModelEntry& first = ML::Test::loadModel(h, ML::Test::sharedModel("four_lights.glb"));
  const ML::ModelEntry& second = ML::Test::loadModel(h, ML::Test::sharedModel("arm_two_clips.glb"));
  h.manager.setWireFrame(true);
  h.manager.toggleWireframe();
  h.runTasks();
  EXPECT_EQ(ML::Test::nodeActors(first, "Cube_2").at(0)->GetProperty()->GetRepresentation(),
            VTK_WIREFRAME);
  EXPECT_EQ(ML::Test::nodeActors(second, "Arm").at(0)->GetProperty()->GetRepresentation(),
            VTK_WIREFRAME);

  h.manager.setWireFrame(false);
  h.manager.toggleWireframe();
  h.runTasks();
  for (const char* node : {"Cube_0", "Cube_1", "Cube_2"})
  {
    EXPECT_EQ(ML::Test::nodeActors(first, node).at(0)->GetProperty()->GetRepresentation(),
              VTK_SURFACE);
  }
  EXPECT_EQ(ML::Test::nodeActors(second, "Arm").at(0)->GetProperty()->GetRepresentation(),
            VTK_SURFACE);
}
} // namespace
