// The GUI side of playback: the play/stop toggle, the clock ticks, the time
// slider and the choice of the animated model.
#include <gtest/gtest.h>

#include "SignalTrace.h"
#include "TestPaths.h"
#include "ViewHarness.h"

namespace ML::Test
{
namespace
{
const QString PlayIcon = "qrc:/marionette_lab/icons/play1.png";
const QString StopIcon = "qrc:/marionette_lab/icons/stop.png";

QString shared(const char* name)
{
  return QString::fromStdString(sharedModel(name));
}

// Models with 0, 4 and 2 animations, in this order.
void openMixedModels(ViewHarness& h)
{
  h.manager.openModels(
      {shared("textured_cube.glb"), shared("arm_two_clips.fbx"), shared("arm_two_clips.glb")});
  h.runTasks();
  ASSERT_EQ(h.item.models.size(), 3u);
}
} // namespace

TEST(PlayToggle, StartingSwitchesToTheStopIconAndQueuesOneTask)
{
  ViewHarness h;
  SignalTrace trace(h.manager);
  h.manager.playToggle();
  EXPECT_TRUE(h.item.playing);
  EXPECT_EQ(h.manager.playIcon(), StopIcon);
  EXPECT_EQ(trace.names, QStringList({"playIconChanged"}));
  EXPECT_EQ(h.pending.size(), 1u);
}

TEST(PlayToggle, TwoTogglesStopAgainWithOneTask)
{
  ViewHarness h;
  SignalTrace trace(h.manager);
  h.manager.playToggle();
  h.manager.playToggle();
  EXPECT_FALSE(h.item.playing);
  EXPECT_EQ(h.manager.playIcon(), PlayIcon);
  EXPECT_EQ(trace.count("playIconChanged"), 2);
  EXPECT_EQ(h.pending.size(), 1u);
}

TEST(PlayToggle, RestartAfterTheRenderSideStoppedKeepsTheStopIcon)
{
  ViewHarness h;
  h.manager.playToggle();
  h.item.playing = false; // a slider move or a pick stopped playback
  h.manager.playToggle();
  EXPECT_TRUE(h.item.playing);
  EXPECT_EQ(h.manager.playIcon(), StopIcon);
}

TEST(Clock, TicksQueueTasksOnlyWhilePlaying)
{
  ViewHarness h;
  h.manager.timerSlot();
  h.manager.timerSlot();
  EXPECT_TRUE(h.pending.empty());

  h.item.playing = true;
  h.manager.timerSlot();
  h.manager.timerSlot();
  h.manager.timerSlot();
  EXPECT_EQ(h.pending.size(), 3u);
}

TEST(TimeSlider, MoveWritesThePositionThenQueues)
{
  ViewHarness h;
  h.manager.setSliderVal(0.5);
  h.manager.sliderMoved();
  EXPECT_DOUBLE_EQ(h.manager.state.sliderVal, 0.5);
  EXPECT_EQ(h.pending.size(), 1u);
}

TEST(FindAnimatedModel, UnanimatedCurrentModelMovesToTheFirstAnimatedOne)
{
  ViewHarness h;
  openMixedModels(h);
  SignalTrace trace(h.manager);
  h.manager.state.currentModel = 0;
  h.manager.findAnimatedModel();
  EXPECT_EQ(h.manager.state.currentModel, 1);
  EXPECT_EQ(trace.count("currentModelChanged"), 0);
}

TEST(FindAnimatedModel, AnimatedCurrentModelStays)
{
  ViewHarness h;
  openMixedModels(h);
  h.manager.state.currentModel = 2;
  h.manager.findAnimatedModel();
  EXPECT_EQ(h.manager.state.currentModel, 2);
}

TEST(FindAnimatedModel, OutOfRangeIndexMovesToTheFirstAnimatedOne)
{
  ViewHarness h;
  openMixedModels(h);
  for (int index : {-1, 3, 5})
  {
    h.manager.state.currentModel = index;
    h.manager.findAnimatedModel();
    EXPECT_EQ(h.manager.state.currentModel, 1) << index;
  }
}

TEST(FindAnimatedModel, NoAnimatedModelLeavesTheIndex)
{
  ViewHarness h;
  h.manager.openModels({shared("textured_cube.glb"), shared("four_lights.glb")});
  h.runTasks();
  h.manager.state.currentModel = 5;
  h.manager.findAnimatedModel();
  EXPECT_EQ(h.manager.state.currentModel, 5);

  h.manager.clearModels();
  h.runTasks();
  h.manager.findAnimatedModel();
  EXPECT_EQ(h.manager.state.currentModel, 5);
}
} // namespace ML::Test
