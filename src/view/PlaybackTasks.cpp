// Animation playback on the render thread: one clock step per timer tick, the
// jump to the time slider's position, and hiding the transform box when
// playback starts.
#include <QDebug>

#include <cmath>

#include <vtkCamera.h>
#include <vtkCommand.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkTransform.h>

#include <assimp/scene.h>

#include "AssimpImporter.h"
#include "Manager.h"
#include "PlaybackTasks.h"

namespace ML
{
namespace
{
// Single-precision epsilon: shorter animations are treated as having no length.
constexpr double ShortestAnimation = 1.1920928955078125e-7;

// The animation that the Manager's current model and animation index name.
struct ChosenAnimation
{
  ModelEntry* entry = nullptr;
  double start = 0.0;
  double end = 0.0;

  double duration() const { return end - start; }
};

bool chooseAnimation(VtkItem* item, ChosenAnimation& chosen)
{
  const Manager& manager = *item->manager;
  const int animation = manager.state.currentAnimatoin;
  if (animation < 0 ||
      static_cast<unsigned>(animation) >= animationCount(item, manager.state.currentModel))
  {
    return false;
  }
  chosen.entry = item->currentModel();
  // The window may pick another clip at any time, not only when a file is loaded.
  chosen.entry->importer->ActiveAnimation = animation;
  double range[2] = {0.0, 0.0};
  chosen.entry->importer->GetTimeRange(animation, range);
  chosen.start = range[0];
  chosen.end = range[1];
  reportClip(item, manager.state.currentModel, animation);
  return true;
}
} // namespace

double playbackPosition(double position, double seconds, double duration)
{
  const double advanced = position + seconds / duration;
  return advanced > 1.0 ? std::fmod(advanced, 1.0) : advanced;
}

void reportClip(VtkItem* item, int modelIndex, int animation)
{
  if (animation < 0 || static_cast<unsigned>(animation) >= animationCount(item, modelIndex))
  {
    item->manager->reportClip(modelIndex, animation, 0.0, 0.0);
    return;
  }
  AssimpImporter* importer = item->model(modelIndex)->importer;
  double range[2] = {0.0, 0.0};
  importer->GetTimeRange(animation, range);
  // Files that count in frames give their frame rate as ticks a second; glTF counts
  // in milliseconds, which are no frames.
  const double ticks = importer->Scene->mAnimations[animation]->mTicksPerSecond;
  item->manager->reportClip(modelIndex, animation, range[1] - range[0],
                            ticks > 0.0 && ticks <= 240.0 ? ticks : 0.0);
}

unsigned animationCount(const VtkItem* item, int modelIndex)
{
  const ModelEntry* model = item->model(modelIndex);
  const aiScene* scene = model ? model->importer->Scene : nullptr;
  return scene ? scene->mNumAnimations : 0;
}

void onAnimationTimer(vtkObject*, unsigned long, void* clientData, void* callData)
{
  // The Manager's clock raises the event without call data. The interactor's own
  // repeating timer carries its timer id: stepping on it too would play the
  // animation at a speed that depends on the interactor.
  auto* data = static_cast<VtkItem::Data*>(clientData);
  if (callData || !data || !data->item || !data->item->playing)
  {
    return;
  }
  ChosenAnimation chosen;
  if (!chooseAnimation(data->item, chosen))
  {
    return;
  }
  if (chosen.duration() < ShortestAnimation)
  {
    qDebug() << "Time interval is zero.";
    return;
  }
  ManagerState& state = data->item->manager->state;
  const double position = playbackPosition(state.sliderVal, data->playbackStep, chosen.duration());
  chosen.entry->importer->UpdateTimeStep(chosen.start + position * chosen.duration(),
                                         chosen.entry->transform);
  // A step of no time poses the model where the window's clock has already put the
  // slider; only a step that advanced itself tells the window where it got to.
  if (data->playbackStep != 0.0)
  {
    state.sliderVal = position;
    data->item->manager->notify(&Manager::sliderValChanged);
  }
  data->renderer->GetActiveCamera()->SetClippingRange(0.1, 10000.0);
}

// Raises the interactor's timer event so that every observer of it runs, the
// animation step among them, which advances by `advance` animation seconds.
void timerTask(VtkItem*, VtkItem::Data* data, double advance)
{
  data->playbackStep = advance;
  if (vtkRenderWindowInteractor* interactor = data->renderWindow->GetInteractor())
  {
    interactor->InvokeEvent(vtkCommand::TimerEvent, nullptr);
  }
}

void sliderMovedTask(VtkItem* item, VtkItem::Data* data)
{
  if (!data || !item->currentModel())
  {
    return;
  }
  ChosenAnimation chosen;
  if (!chooseAnimation(item, chosen))
  {
    return;
  }
  chosen.entry->importer->UpdateTimeStep(chosen.duration() * item->manager->state.sliderVal,
                                         chosen.entry->transform);
  // As for a clock step: the pose drawn on the GPU can reach past the mesh's bounds
  // at rest, which the automatic clipping range is made from.
  data->renderer->GetActiveCamera()->SetClippingRange(0.1, 10000.0);
}

void playToggleTask(VtkItem*, VtkItem::Data* data)
{
  data->boxWidget->Off();
}
} // namespace ML
