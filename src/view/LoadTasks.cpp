// Loading, closing and resetting on the render thread. The Manager has
// already checked the paths and written modelNames; these tasks read it when
// they run and report back through the Manager's fields and signals.
#include <QDebug>

#include <vtkRenderer.h>

#include <assimp/scene.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AssimpImporter.h"
#include "Manager.h"
#include "RenderTasks.h"

namespace ML
{
namespace
{
constexpr int DefaultUpDirection = 1;    // +Y
constexpr int DefaultRightDirection = 0; // +X

// Reads one file into a new model and puts its actors into the renderer; null
// when the file cannot be read.
std::unique_ptr<ModelEntry> readModel(const QString& path, vtkRenderer* renderer)
{
  auto entry = std::make_unique<ModelEntry>();
  AssimpImporter* importer = entry->importer;
  importer->FileName = path.toStdString();
  if (!importer->ReadScene(importer->FileName))
  {
    qDebug() << path << " Importer update error";
    return nullptr;
  }
  importer->ImportActors(renderer);
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
    takeLightsFromFile(item, data, importer);
    item->lightsFromFile = true;
  }
}

void reportLoadEnd(Manager* manager)
{
  manager->notify(&Manager::modelNamesChanged);
  manager->notify(&Manager::openSourceEnd);
}

// The window hides its splash screen on openSourceEnd, so a failed load sends it
// too, after the error.
void reportLoadFailure(Manager* manager)
{
  manager->notify(&Manager::modelNamesChanged);
  manager->notify(&Manager::openSourceError);
  manager->notify(&Manager::openSourceEnd);
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

} // namespace

bool sceneContainsNode(const aiScene* scene, const aiNode* node)
{
  return scene && scene->mRootNode && node && treeContainsNode(scene->mRootNode, node);
}

bool loadModels(VtkItem* item, VtkItem::Data* data)
{
  Manager* manager = item->manager;
  // Rows that an earlier open queued for the GUI point into scenes that are gone
  // by now; they must leave before this open's rows arrive.
  manager->clearTreeModel(false);

  const QStringList paths = manager->state.modelNames;
  for (const QString& path : paths)
  {
    std::unique_ptr<ModelEntry> entry = readModel(path, data->renderer);
    if (!entry)
    {
      unloadModels(item, data);
      manager->state.modelNames.clear();
      reportLoadFailure(manager);
      return false;
    }
    takeLightsOnce(item, data, entry->importer);
    showSkeletonOfMeshlessModel(item, data, *entry->importer);
    item->models.push_back(std::move(entry));
  }

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
  reportLoadEnd(manager);
  return true;
}

// Loads the first path of modelNames that has no model yet. That is the last one,
// unless several adds were queued before the first of them ran: then each loads
// its own path instead of all loading the last.
void addLastModel(VtkItem* item, VtkItem::Data* data)
{
  Manager* manager = item->manager;
  QStringList& names = manager->state.modelNames;
  const int index = static_cast<int>(item->models.size());
  if (index >= names.size())
  {
    manager->notify(&Manager::openSourceEnd);
    return;
  }
  std::unique_ptr<ModelEntry> entry = readModel(names.at(index), data->renderer);
  if (!entry)
  {
    // The models already shown stay; only the failed path goes.
    names.removeAt(index);
    reportLoadFailure(manager);
    return;
  }
  showSkeletonOfMeshlessModel(item, data, *entry->importer);
  item->models.push_back(std::move(entry));
  manager->state.currentModel = index;
  selectAnimationAfterLoad(item);
  resetCamera(data);
  manager->fillTreeModel(index);
  reportLoadEnd(manager);
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
  item->models[static_cast<size_t>(model)]->importer->ActiveAnimation = animation;
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
