// The GUI side of playback: the clock, the play/stop toggle, the time slider and
// the choice of the model whose animation plays. The animation is evaluated by the
// render tasks these queue.
#include "Manager.h"

#include <algorithm>

#include "LoadTasks.h"
#include "PlaybackTasks.h"
#include "VtkItem.h"

namespace ML
{
namespace
{
const QString PlayIcon = QStringLiteral("qrc:/marionette_lab/icons/play1.png");
const QString StopIcon = QStringLiteral("qrc:/marionette_lab/icons/stop.png");
} // namespace

// The clock only runs while something plays, so an idle window wakes nobody. Each
// step carries the wall-clock time since the previous one, scaled by the speed:
// playback keeps real time whatever the tick rate. A step is queued only once the
// previous one has run, so a slow render thread never gets a backlog to draw.
void Manager::timerSlot()
{
  if (!vtkItem->playing)
  {
    animationTimer.stop();
    return;
  }
  if (stepInFlight)
  {
    return;
  }
  const double now = wallClock();
  const double advance = (now - lastStepTime) * state.speedVal;
  lastStepTime = now;
  stepInFlight = true;
  const double step = moveSliderWithClock(advance) ? 0.0 : advance;
  vtkItem->run(
      [step](VtkItem* item, VtkItem::Data* data)
      {
        timerTask(item, data, step);
        Manager* manager = item->manager;
        manager->runOnGuiThread([manager] { manager->stepInFlight = false; });
      });
}

// Where the window knows the clip that plays, the slider moves here, so that it
// changes in the same frame as the pose the step draws; a slider moved by the step
// would cost the window a second frame a tick. Right after another model or clip
// is chosen the step advances by itself, until the clip's length is reported.
bool Manager::moveSliderWithClock(double seconds)
{
  if (state.clipDuration <= 0.0 || state.clipModel != state.currentModel ||
      state.clipAnimation != state.currentAnimatoin)
  {
    return false;
  }
  state.sliderVal = playbackPosition(state.sliderVal, seconds, state.clipDuration);
  emit sliderValChanged();
  return true;
}

// Stopping queues nothing: the next tick finds the flag cleared and stops the clock.
void Manager::playToggle()
{
  vtkItem->playing = !vtkItem->playing;
  state.playIcon = vtkItem->playing ? StopIcon : PlayIcon;
  emit playIconChanged();
  if (vtkItem->playing)
  {
    vtkItem->run(&playToggleTask);
    lastStepTime = wallClock();
    animationTimer.start();
  }
}

// Moving the slider stops playback at once, not when its task runs: a play the
// user starts meanwhile must not be stopped by it.
void Manager::sliderMoved()
{
  vtkItem->playing = false;
  setPlayIcon(PlayIcon);
  vtkItem->run(&sliderMovedTask);
}

void Manager::reportClip(int model, int animation, double duration, double frameRate)
{
  runOnGuiThread(
      [this, model, animation, duration, frameRate]
      {
        state.clipModel = model;
        state.clipAnimation = animation;
        if (state.clipDuration == duration && state.clipFrameRate == frameRate)
        {
          return;
        }
        state.clipDuration = duration;
        state.clipFrameRate = frameRate;
        emit clipChanged();
      });
}

void Manager::stepFrames(int frames)
{
  if (state.clipDuration <= 0.0)
  {
    return;
  }
  const double frame = 1.0 / (state.clipFrameRate > 0.0 ? state.clipFrameRate : 30.0);
  const double position = state.sliderVal + frames * frame / state.clipDuration;
  setSliderVal(std::clamp(position, 0.0, 1.0));
  sliderMoved();
}

// Keeps the current model when it is animated, otherwise takes the first one that
// is; with no animated model at all the index is left alone.
void Manager::findAnimatedModel()
{
  if (animationCount(vtkItem, state.currentModel) > 0)
  {
    return;
  }
  const int count = static_cast<int>(vtkItem->models.size());
  for (int i = 0; i < count; ++i)
  {
    if (animationCount(vtkItem, i) > 0)
    {
      state.currentModel = i;
      return;
    }
  }
}
} // namespace ML
