// Animation playback on the render side: clock steps, wrap-around, speed, the
// time slider and the choice of clip. Poses are compared with a second importer
// of the same file posed directly at the expected time.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <vtkCamera.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkTransform.h>

#include <array>

#include "AssimpImporter.h"
#include "MessageLog.h"
#include "RenderTasks.h"
#include "SignalTrace.h"
#include "TestPaths.h"
#include "TestScenes.h"
#include "ViewHarness.h"

namespace ML::Test
{
namespace
{
using Pose = std::array<double, 16>;

// The tip of the arm's bone chain moves with every clip.
const char* const TrackedNode = "Bone_002";

QString shared(const char* name)
{
  return QString::fromStdString(sharedModel(name));
}

Pose poseOf(AssimpImporter* importer)
{
  Pose pose{};
  const auto found = importer->NodeGlobalMatrices.find(TrackedNode);
  EXPECT_NE(found, importer->NodeGlobalMatrices.end());
  if (found != importer->NodeGlobalMatrices.end())
  {
    std::copy(&found->second->Element[0][0], &found->second->Element[0][0] + 16, pose.begin());
  }
  return pose;
}

::testing::AssertionResult samePose(const Pose& actual, const Pose& expected)
{
  for (size_t i = 0; i < actual.size(); ++i)
  {
    if (std::abs(actual[i] - expected[i]) > 1e-6)
    {
      return ::testing::AssertionFailure()
             << "element " << i << ": " << actual[i] << " instead of " << expected[i];
    }
  }
  return ::testing::AssertionSuccess();
}

class Playback : public ::testing::Test
{
protected:
  void SetUp() override { open(shared("arm_two_clips.glb")); }

  void open(const QString& path)
  {
    h.manager.openModels({path});
    h.runTasks();
    ASSERT_EQ(h.item.models.size(), 1u);
    double range[2] = {0.0, 0.0};
    if (h.item.models[0]->importer->Scene->mNumAnimations > 0)
    {
      h.item.models[0]->importer->GetTimeRange(0, range);
    }
    duration = range[1] - range[0];
  }

  void tick()
  {
    h.item.playing = true;
    h.manager.timerSlot();
    h.runTasks();
  }

  Pose pose() { return poseOf(h.item.models[0]->importer); }

  // The pose the arm has at `time` in clip `animation`.
  Pose referencePose(double time, int animation = 0)
  {
    vtkNew<vtkRenderer> renderer;
    vtkNew<vtkTransform> identity;
    auto importer = vtkSmartPointer<AssimpImporter>::New();
    importer->FileName = sharedModel("arm_two_clips.glb");
    EXPECT_TRUE(importer->ReadScene(importer->FileName));
    importer->ImportActors(renderer);
    importer->ActiveAnimation = animation;
    importer->UpdateTimeStep(time, identity);
    return poseOf(importer);
  }

  ViewHarness h;
  double duration = 0.0;
};
} // namespace

TEST_F(Playback, FirstStepPosesAtOneThirtiethOfASecond)
{
  ASSERT_GT(duration, 1.0);
  SignalTrace trace(h.manager);
  tick();
  EXPECT_NEAR(h.manager.state.sliderVal, (1.0 / 30.0) / duration, 1e-12);
  EXPECT_EQ(trace.count("sliderValChanged"), 1);
  EXPECT_TRUE(samePose(pose(), referencePose(1.0 / 30.0)));
}

TEST_F(Playback, StepsContinueFromTheSliderPosition)
{
  h.manager.setSliderVal(0.5);
  tick();
  tick();
  const double time = 0.5 * duration + 2.0 / 30.0;
  EXPECT_NEAR(h.manager.state.sliderVal, time / duration, 1e-12);
  EXPECT_TRUE(samePose(pose(), referencePose(time)));
  EXPECT_FALSE(samePose(pose(), referencePose(0.5 * duration)));
}

TEST_F(Playback, SpeedTwoAdvancesTwoThirtiethsPerTick)
{
  h.manager.setSpeedVal(2.0);
  tick();
  EXPECT_NEAR(h.manager.state.sliderVal, (2.0 / 30.0) / duration, 1e-12);
  tick();
  EXPECT_NEAR(h.manager.state.sliderVal, (4.0 / 30.0) / duration, 1e-12);
  EXPECT_TRUE(samePose(pose(), referencePose(4.0 / 30.0)));
}

TEST_F(Playback, StepPastTheEndShowsTheStart)
{
  h.manager.setSliderVal(1.0);
  tick();
  EXPECT_EQ(h.manager.state.sliderVal, 0.0);
  EXPECT_TRUE(samePose(pose(), referencePose(0.0)));

  h.manager.setSliderVal(1.0 - (0.5 / 30.0) / duration);
  tick();
  EXPECT_EQ(h.manager.state.sliderVal, 0.0);
}

TEST_F(Playback, StepSetsTheCameraClippingRange)
{
  tick();
  double range[2];
  h.data->renderer->GetActiveCamera()->GetClippingRange(range);
  EXPECT_DOUBLE_EQ(range[0], 0.1);
  EXPECT_DOUBLE_EQ(range[1], 10000.0);
}

TEST_F(Playback, StoppedClockDoesNothing)
{
  const Pose before = pose();
  h.item.playing = false;
  SignalTrace trace(h.manager);
  timerTask(&h.item, h.data);
  onAnimationTimer(nullptr, 0, nullptr, nullptr);
  EXPECT_EQ(h.manager.state.sliderVal, 0.0);
  EXPECT_TRUE(trace.names.isEmpty());
  EXPECT_TRUE(samePose(pose(), before));
}

TEST_F(Playback, ChosenClipIsTheOneThatPlays)
{
  h.manager.setCurrentAnimatoin(1);
  h.manager.setSliderVal(0.5);
  tick();
  const double time = 0.5 * duration + 1.0 / 30.0;
  EXPECT_TRUE(samePose(pose(), referencePose(time, 1)));
  EXPECT_FALSE(samePose(pose(), referencePose(time, 0)));
}

TEST_F(Playback, InvalidModelOrClipDoesNothing)
{
  const std::pair<int, int> invalid[] = {{0, 2}, {0, -1}, {1, 0}, {-1, 0}};
  for (const auto& [model, animation] : invalid)
  {
    h.manager.state.currentModel = model;
    h.manager.state.currentAnimatoin = animation;
    tick();
    EXPECT_EQ(h.manager.state.sliderVal, 0.0) << model << " " << animation;
  }
}

TEST_F(Playback, SliderMoveStopsPlaybackAndPosesTheModel)
{
  h.item.playing = true;
  h.manager.setSliderVal(0.5);
  h.manager.sliderMoved();
  h.runTasks();
  EXPECT_FALSE(h.item.playing);
  EXPECT_DOUBLE_EQ(h.manager.state.sliderVal, 0.5);
  EXPECT_TRUE(samePose(pose(), referencePose(0.5 * duration)));

  const Pose posed = pose();
  h.manager.timerSlot();
  h.runTasks();
  EXPECT_TRUE(samePose(pose(), posed));
}

TEST_F(Playback, StartingPlaybackHidesTheTransformBox)
{
  h.data->boxWidget->SetProp3D(h.data->renderer->GetActors()->GetLastActor());
  h.data->boxWidget->PlaceWidget();
  h.data->boxWidget->On();
  h.manager.playToggle();
  h.runTasks();
  EXPECT_EQ(h.data->boxWidget->GetEnabled(), 0);
}

TEST_F(Playback, ZeroLengthClipIsReportedAtEveryTick)
{
  QTemporaryDir dir;
  open(writeStillAnimationScene(dir.path()));
  MessageLog log;
  tick();
  tick();
  tick();
  EXPECT_EQ(log.count("Time interval is zero."), 3);
  EXPECT_EQ(h.manager.state.sliderVal, 0.0);
}

TEST_F(Playback, ModelWithoutAnimationsIgnoresClockAndSlider)
{
  open(shared("textured_cube.glb"));
  SignalTrace trace(h.manager);
  tick();
  EXPECT_TRUE(trace.names.isEmpty());
  h.item.playing = true;
  h.manager.setSliderVal(0.25);
  h.manager.sliderMoved();
  h.runTasks();
  EXPECT_FALSE(h.item.playing);
  EXPECT_DOUBLE_EQ(h.manager.state.sliderVal, 0.25);
}
} // namespace ML::Test
