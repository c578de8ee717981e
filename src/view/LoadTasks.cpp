// Loading, closing and resetting. Files are read on the file worker; the render
// tasks here put what was read into the scene and report back through the
// Manager's fields and signals.
#include "LoadTasks.h"

#include <QDebug>

#include <vtkCommand.h>
#include <vtkRenderer.h>

#include <assimp/scene.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AppearanceTasks.h"
#include "AssimpImporter.h"
#include "CameraTasks.h"
#include "Manager.h"
#include "PlaybackTasks.h"
#include "SkeletonTasks.h"

namespace ML
{
namespace
{
constexpr int DefaultUpDirection = 1;    // +Y
constexpr int DefaultRightDirection = 0; // +X
// Progress is passed on in steps of at least this much, so a file of ten thousand
// meshes does not flood the window with updates.
constexpr double ProgressStep = 0.01;

// Listens to one importer's progress while it reads: passes it on, and asks the
// importer to stop once the request is cancelled.
class ReadWatch
{
public:
  ReadWatch(AssimpImporter* importer, const QString& path, const FileJobs::Cancelled& cancelled,
            const LoadProgress& progress)
      : importer(importer), path(path), cancelled(cancelled), progress(progress)
  {
    tag = importer->AddObserver(vtkCommand::ProgressEvent, this, &ReadWatch::onProgress);
    progress(path, 0.0);
  }
  ~ReadWatch() { importer->RemoveObserver(tag); }
  ReadWatch(const ReadWatch&) = delete;
  ReadWatch& operator=(const ReadWatch&) = delete;

private:
  void onProgress(vtkObject*, unsigned long, void* callData)
  {
    const double fraction = *static_cast<double*>(callData);
    if (fraction - reported >= ProgressStep || fraction >= 1.0)
    {
      reported = fraction;
      progress(path, fraction);
    }
    if (cancelled())
    {
      importer->SetAbortRead(true);
    }
  }

  AssimpImporter* importer;
  const QString& path;
  const FileJobs::Cancelled& cancelled;
  const LoadProgress& progress;
  double reported = 0.0;
  unsigned long tag = 0;
};

// Reads one file into a new model; null when the file cannot be read or the read
// was stopped.
std::unique_ptr<ModelEntry> readModel(const QString& path, const FileJobs::Cancelled& cancelled,
                                      const LoadProgress& progress)
{
  auto entry = std::make_unique<ModelEntry>();
  AssimpImporter* importer = entry->importer;
  importer->FileName = path.toStdString();
  ReadWatch watch(importer, path, cancelled, progress);
  if (!importer->ReadScene(importer->FileName))
  {
    if (!importer->GetAbortRead())
    {
      qDebug() << path << " Importer update error";
    }
    return nullptr;
  }
  // A scene without animations has nothing for UpdateTimeStep to evaluate.
  if (importer->Scene->mNumAnimations == 0)
  {
    importer->ActiveAnimation = -1;
  }
  return entry;
}

void takeLightsOnce(VtkItem* item, VtkItem::Data* data, AssimpImporter* importer)
{
  if (!item->lightsFromFile && importer->Scene->mNumLights > 0)
  {
    // One lamp for each of the scene's light slots.
    const auto lightSlots = static_cast<unsigned>(item->manager->state.lights.size());
    applyFileLights(item, data, FileLights::Read(*importer, lightSlots));
    item->lightsFromFile = true;
  }
}

// The window hides its busy window when the load ends; a failed load says so
// first, so the message is not covered meanwhile.
void reportLoadEnd(Manager* manager, bool failed)
{
  manager->notify(&Manager::modelNamesChanged);
  manager->runOnGuiThread([manager, failed] { manager->endLoad(failed); });
}

bool treeContainsNode(const aiNode* root, const aiNode* node)
{
  if (root == node)
  {
    return true;
  }
  for (unsigned i = 0; i < root->mNumChildren; ++i)
  {
    if (root->mChildren[i] && treeContainsNode(root->mChildren[i], node))
    {
      return true;
    }
  }
  return false;
}

// Only an open takes the lights of its files: an added model joins the scene as
// it is lit.
void attachModel(VtkItem* item, VtkItem::Data* data, std::unique_ptr<ModelEntry> entry,
                 bool takeLights)
{
  entry->importer->ImportActors(data->renderer);
  if (takeLights)
  {
    takeLightsOnce(item, data, entry->importer);
  }
  showSkeletonOfMeshlessModel(item, data, *entry->importer);
  item->models.push_back(std::move(entry));
}

// A failed open leaves nothing shown: the window must not show a file that is not
// open.
void replaceModels(VtkItem* item, VtkItem::Data* data, LoadedModels& loaded)
{
  Manager* manager = item->manager;
  // Rows that an earlier open queued for the GUI point into scenes that are gone
  // by now; they must leave before this open's rows arrive.
  manager->clearTreeModel(false);
  unloadModels(item, data);
  if (loaded.failed)
  {
    manager->state.modelNames.clear();
    reportLoadEnd(manager, true);
    return;
  }
  for (auto& entry : loaded.models)
  {
    attachModel(item, data, std::move(entry), true);
  }
  manager->state.modelNames = loaded.paths;
  manager->state.currentModel = 0;
  selectAnimationAfterLoad(item);
  // The combo box must not keep offering the clips of the models this open replaced.
  if (animationCount(item, 0) == 0)
  {
    manager->setNumberOfAnimations(0);
  }
  resetCamera(data);
  applyBackground(item, data);
  manager->fillTreeModel(0);
  reportLoadEnd(manager, false);
}

// A failed add leaves the models already shown as they are.
void addModels(VtkItem* item, VtkItem::Data* data, LoadedModels& loaded)
{
  Manager* manager = item->manager;
  if (loaded.failed)
  {
    reportLoadEnd(manager, true);
    return;
  }
  const int first = static_cast<int>(item->models.size());
  for (auto& entry : loaded.models)
  {
    attachModel(item, data, std::move(entry), false);
  }
  manager->state.modelNames.append(loaded.paths);
  manager->state.currentModel = static_cast<int>(item->models.size()) - 1;
  selectAnimationAfterLoad(item);
  resetCamera(data);
  manager->fillTreeModel(first);
  reportLoadEnd(manager, false);
}
} // namespace

bool sceneContainsNode(const aiScene* scene, const aiNode* node)
{
  return scene && scene->mRootNode && node && treeContainsNode(scene->mRootNode, node);
}

std::shared_ptr<LoadedModels> readModelFiles(const QStringList& paths, VtkItem::LoadMode mode,
                                             const FileJobs::Cancelled& cancelled,
                                             const LoadProgress& progress)
{
  auto loaded = std::make_shared<LoadedModels>();
  loaded->mode = mode;
  loaded->paths = paths;
  for (const QString& path : paths)
  {
    std::unique_ptr<ModelEntry> entry = readModel(path, cancelled, progress);
    if (cancelled())
    {
      loaded->cancelled = true;
      break;
    }
    if (!entry)
    {
      loaded->failed = true;
      break;
    }
    loaded->models.push_back(std::move(entry));
  }
  return loaded;
}

void giveBackFreedMemory()
{
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

void attachModels(VtkItem* item, VtkItem::Data* data, LoadedModels& loaded)
{
  if (loaded.mode == VtkItem::LoadMode::Replace)
  {
    replaceModels(item, data, loaded);
  }
  else
  {
    addModels(item, data, loaded);
  }
}

void selectAnimationAfterLoad(VtkItem* item)
{
  Manager* manager = item->manager;
  const int model = manager->state.currentModel;
  const int count = static_cast<int>(animationCount(item, model));
  if (count == 0)
  {
    reportClip(item, model, -1);
    return;
  }
  int animation = manager->state.currentAnimatoin;
  if (animation < 0 || animation >= count)
  {
    animation = 0;
  }
  manager->state.currentAnimatoin = animation;
  item->model(model)->importer->ActiveAnimation = animation;
  manager->setNumberOfAnimations(count);
  manager->setCurrentAnimatoin(animation);
  manager->notify(&Manager::currentAnimatoinChanged);
  reportClip(item, model, animation);
}

void clearModelsTask(VtkItem* item, VtkItem::Data* data)
{
  Manager* manager = item->manager;
  unloadModels(item, data);
  // An open queued before this clear may have added rows since the GUI cleared.
  manager->clearTreeModel(false);
  manager->state.modelNames.clear();
  manager->notify(&Manager::modelNamesChanged);
  manager->setNumberOfAnimations(0);
  reportClip(item, -1, -1);
  resetSceneSettings(manager, data);
}

void resetSceneSettings(Manager* manager, VtkItem::Data* data)
{
  VtkItem* item = data->item;
  ManagerState& state = manager->state;

  state.upDirection = DefaultUpDirection;
  state.rightDirection = DefaultRightDirection;
  setViewDirection(item, data, axisVector(DefaultUpDirection), axisVector(DefaultRightDirection));
  manager->notify(&Manager::upDirectionChanged);
  manager->notify(&Manager::rightDirectionChanged);

  // The three lights as at start: white, aimed from where they stand, no lamp's
  // kind or colour from a file left on them.
  for (size_t i = 0; i < state.lights.size(); ++i)
  {
    state.lights[i].color = LightSlot().color;
    data->lights[i]->SetPositional(false);
    data->lights[i]->SetConeAngle(30.0);
  }
  manager->notify(&Manager::lightColorChanged);
  state.sceneLight = false;
  applySceneLight(item, data);
  manager->notify(&Manager::sceneLightChanged);

  state.surfaceLight = 0;
  applySurfacePreset(item, data);
  manager->notify(&Manager::surfaceLightChanged);

  resetCamera(data);
  data->renderer->Render();
}

} // namespace ML
