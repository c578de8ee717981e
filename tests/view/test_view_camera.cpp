// View presets from an up and a right axis, camera framing and the copy of the
// camera back into the controller.
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <vtkCamera.h>
#include <vtkMath.h>
#include <vtkRenderWindowInteractor.h>

#include <cmath>

#include "MessageLog.h"
#include "RenderTasks.h"
#include "SceneHelpers.h"
#include "TestPaths.h"

namespace
{
using ML::Test::Point3;
using ML::Test::ViewHarness;

Point3 viewDirection(vtkCamera* camera)
{
  Point3 direction;
  const double* position = camera->GetPosition();
  const double* focalPoint = camera->GetFocalPoint();
  for (size_t i = 0; i < 3; ++i)
  {
    direction[i] = position[i] - focalPoint[i];
  }
  vtkMath::Normalize(direction.data());
  return direction;
}

void expectNear(const double* actual, const Point3& expected, double tolerance = 1e-9)
{
  for (size_t i = 0; i < 3; ++i)
  {
    EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
  }
}

void setDirection(ViewHarness& h, int up, int right)
{
  h.manager.state.upDirection = up;
  h.manager.state.rightDirection = right;
  h.manager.updateDirection();
  h.runTasks();
}

// The four cubes scene: three cubes of side 2, spread over x -1..4, y -0.5..1.5
// and z -4..1, on a white background so that everything drawn stands out.
struct CubesView
{
  CubesView()
  {
    ML::Test::paintModel(ML::Test::loadModel(h, ML::Test::sharedModel("four_lights.glb")), 0.8, 0.3,
                         0.2);
    h.manager.state.backgroundColor = 1;
    h.manager.updateBackground();
    h.runTasks();
  }
  QRect drawnRect() { return ML::Test::differingRect(h.grab(), Qt::white); }
  ViewHarness h;
};

TEST(AxisCodes, MapToTheSixAxesAndDefaultToPlusX)
{
  const Point3 expected[6] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
  for (int code = 0; code < 6; ++code)
  {
    EXPECT_EQ(ML::axisVector(code), expected[code]) << code;
  }
  for (int code : {-1, 6, 7, 1000})
  {
    EXPECT_EQ(ML::axisVector(code), expected[0]) << code;
  }
}

TEST(ViewPresets, PlaceTheCameraOnTheChosenAxisAndFrameTheScene)
{
  struct Preset
  {
    int up;
    int right;
    Point3 direction;
    Point3 viewUp;
    Point3 environmentRight;
  };
  const Preset presets[] = {
      {1, 0, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}},
      {2, 4, {-1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
      {2, 3, {0, 1, 0}, {0, 0, 1}, {-1, 0, 0}},
  };
  CubesView view;
  const QSize size(view.h.renderWindow->GetSize()[0], view.h.renderWindow->GetSize()[1]);
  for (const Preset& preset : presets)
  {
    SCOPED_TRACE(testing::Message() << "up " << preset.up << " right " << preset.right);
    setDirection(view.h, preset.up, preset.right);
    vtkCamera* camera = view.h.data->renderer->GetActiveCamera();
    expectNear(viewDirection(camera).data(), preset.direction);
    expectNear(camera->GetViewUp(), preset.viewUp);
    expectNear(view.h.data->renderer->GetEnvironmentUp(), preset.viewUp);
    expectNear(view.h.data->renderer->GetEnvironmentRight(), preset.environmentRight);

    // Framed: the cubes are whole in the view and fill most of it one way.
    const QRect drawn = view.drawnRect();
    ML::Test::saveImage(
        view.h.grab(),
        QStringLiteral("camera_preset_up%1_right%2").arg(preset.up).arg(preset.right));
    EXPECT_GT(drawn.left(), 0);
    EXPECT_GT(drawn.top(), 0);
    EXPECT_LT(drawn.right(), size.width() - 1);
    EXPECT_LT(drawn.bottom(), size.height() - 1);
    EXPECT_TRUE(drawn.width() > 0.75 * size.width() || drawn.height() > 0.75 * size.height())
        << drawn.width() << " x " << drawn.height();
  }
}

TEST(ViewPresets, CollinearAxesKeepTheDirectionButStillRebuildTheGridAndFrame)
{
  CubesView view;
  vtkCamera* camera = view.h.data->renderer->GetActiveCamera();
  setDirection(view.h, 2, 3);
  const Point3 before = viewDirection(camera);
  // Far away along the same direction: only the framing can bring it back.
  camera->Dolly(0.05);
  view.h.data->renderer->ResetCameraClippingRange();
  const int distantArea = ML::Test::countDiffering(view.h.grab(), Qt::white);

  view.h.manager.state.showGrid = true;
  ML::Test::MessageLog log;
  setDirection(view.h, 1, 1);
  EXPECT_EQ(log.count("Up and Right are collinear."), 1);
  expectNear(viewDirection(camera).data(), before);
  expectNear(camera->GetViewUp(), {0, 0, 1});
  expectNear(view.h.data->renderer->GetEnvironmentUp(), {0, 0, 1});

  EXPECT_EQ(view.h.data->gridActor->GetMapper(), view.h.data->gridMapper.GetPointer());
  EXPECT_TRUE(view.h.data->gridActor->GetVisibility());
  EXPECT_GT(ML::Test::countDiffering(view.h.grab(), Qt::white), 4 * distantArea);
}

TEST(ViewDirection, NullVectorsChangeNothing)
{
  ViewHarness h;
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  camera->SetPosition(3, 4, 5);
  ML::Test::MessageLog log;
  ML::setViewDirection(&h.item, h.data, {0, 0, 0}, {1, 0, 0});
  ML::setViewDirection(&h.item, h.data, {0, 1, 0}, {1e-9, 0, 0});
  EXPECT_EQ(log.count("Up or Right is null."), 2);
  expectNear(camera->GetPosition(), {3, 4, 5});
  expectNear(h.data->renderer->GetEnvironmentUp(), {0, 1, 0});
}

TEST(ViewDirection, SkewRightIsMadePerpendicularToUp)
{
  ViewHarness h;
  ML::setViewDirection(&h.item, h.data, {0, 2, 0}, {1, 0.5, 1});
  const double s = std::sqrt(0.5);
  expectNear(h.data->renderer->GetEnvironmentUp(), {0, 1, 0});
  expectNear(h.data->renderer->GetEnvironmentRight(), {s, 0, s});
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  expectNear(camera->GetFocalPoint(), {0, 0, 0});
  expectNear(camera->GetPosition(), {-s, 0, s});
}

TEST(CameraReset, FramesTheSceneAgain)
{
  CubesView view;
  const QRect framed = view.drawnRect();
  vtkCamera* camera = view.h.data->renderer->GetActiveCamera();
  // Looking away from the scene.
  camera->SetPosition(100, 100, 100);
  camera->SetFocalPoint(150, 150, 150);
  view.h.data->renderer->ResetCameraClippingRange();
  EXPECT_TRUE(view.drawnRect().isEmpty());

  view.h.manager.cameraReset();
  view.h.runTasks();
  const QRect reframed = view.drawnRect();
  EXPECT_FALSE(reframed.isEmpty());
  EXPECT_FALSE(framed.isEmpty());
  // Same view direction as the moved camera, centred on the scene.
  const double s = -std::sqrt(1 / 3.0);
  expectNear(viewDirection(camera).data(), {s, s, s});
  ML::Test::saveImage(view.h.grab(), QStringLiteral("camera_reset"));
  // Whole in the view, and filling a good part of it.
  const QSize size(view.h.renderWindow->GetSize()[0], view.h.renderWindow->GetSize()[1]);
  EXPECT_TRUE(QRect(1, 1, size.width() - 2, size.height() - 2).contains(reframed));
  EXPECT_TRUE(reframed.width() > 0.6 * size.width() || reframed.height() > 0.6 * size.height())
      << reframed.width() << " x " << reframed.height();
}

TEST(CameraFeedback, ShowsTheCameraInWholeUnitsTruncatedTowardZero)
{
  ViewHarness h;
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  camera->SetPosition(12.7, -3.9, 100.2);
  camera->SetFocalPoint(-0.5, 7.99, -100.7);
  QSignalSpy posX(&h.manager, &ML::Manager::cameraPosXChanged);
  QSignalSpy fpX(&h.manager, &ML::Manager::cameraFpXChanged);
  QSignalSpy fpZ(&h.manager, &ML::Manager::cameraFpZChanged);

  h.interactor->InvokeEvent(vtkCommand::MouseMoveEvent);
  EXPECT_EQ(h.manager.cameraPosX(), 12);
  EXPECT_EQ(h.manager.cameraPosY(), -3);
  EXPECT_EQ(h.manager.cameraPosZ(), 100);
  EXPECT_EQ(h.manager.cameraFpX(), 0);
  EXPECT_EQ(h.manager.cameraFpY(), 7);
  EXPECT_EQ(h.manager.cameraFpZ(), -100);
  EXPECT_EQ(h.manager.state.cameraPosition[0], 12.0);
  EXPECT_EQ(posX.count(), 1);
  EXPECT_EQ(fpX.count(), 0); // -0.5 truncates to the 0 that was already there
  EXPECT_EQ(fpZ.count(), 1);

  // The same whole units again: nothing to tell the window.
  camera->SetPosition(12.2, -3.1, 100.9);
  h.interactor->InvokeEvent(vtkCommand::MouseMoveEvent);
  EXPECT_EQ(posX.count(), 1);
}

TEST(CameraFeedback, FollowsTheWheelAndTheLeftButtonToo)
{
  ViewHarness h;
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  // The wheel dollies along z only, so x is the same before and after the style
  // moves the camera, whichever of the two observers runs first.
  camera->SetFocalPoint(70.5, 0.0, 0.0);
  camera->SetPosition(70.5, 0.0, 50.0);
  h.interactor->InvokeEvent(vtkCommand::MouseWheelForwardEvent);
  EXPECT_EQ(h.manager.cameraPosX(), 70);
  camera->SetPosition(-20.5, 0.0, 50.0);
  camera->SetFocalPoint(-20.5, 0.0, 0.0);
  h.interactor->InvokeEvent(vtkCommand::MouseWheelBackwardEvent);
  EXPECT_EQ(h.manager.cameraPosX(), -20);
  camera->SetPosition(33.3, 0.0, 50.0);
  h.interactor->InvokeEvent(vtkCommand::LeftButtonPressEvent);
  h.interactor->InvokeEvent(vtkCommand::LeftButtonReleaseEvent);
  EXPECT_EQ(h.manager.cameraPosX(), 33);
}

TEST(CameraFeedback, IgnoresARecordWithoutItem)
{
  ViewHarness h;
  h.data->renderer->GetActiveCamera()->SetPosition(40, 50, 60);
  ML::onCameraChanged(h.interactor, vtkCommand::MouseMoveEvent, nullptr, nullptr);
  h.data->item = nullptr;
  ML::onCameraChanged(h.interactor, vtkCommand::MouseMoveEvent, h.data, nullptr);
  h.data->item = &h.item;
  EXPECT_EQ(h.manager.cameraPosX(), 0);
  EXPECT_EQ(h.manager.cameraPosZ(), 0);
}
} // namespace
