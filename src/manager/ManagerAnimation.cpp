// The GUI side of playback: the 100 ms clock, the play/stop toggle, the time
// slider and the choice of the model whose animation plays. The animation is
// evaluated by the render tasks these queue.
#include "Manager.h"

#include "RenderTasks.h"
#include "VtkItem.h"

namespace ML
{
namespace
{
const QString PlayIcon = QStringLiteral("qrc:/marionette_lab/icons/play1.png");
const QString StopIcon = QStringLiteral("qrc:/marionette_lab/icons/stop.png");
} // namespace

// Ticks never wait for each other: a slow render thread gets the steps in order.
void Manager::timerSlot()
{
  if (vtkItem->playing)
  {
    vtkItem->run(&timerTask);
  }
}

// Stopping queues nothing: the next tick simply finds the flag cleared.
void Manager::playToggle()
{
  vtkItem->playing = !vtkItem->playing;
  state.playIcon = vtkItem->playing ? StopIcon : PlayIcon;
  emit playIconChanged();
  if (vtkItem->playing)
  {
    vtkItem->run(&playToggleTask);
  }
}

void Manager::sliderMoved()
{
  vtkItem->run(&sliderMovedTask);
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
