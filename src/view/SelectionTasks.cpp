// Selection, visibility and the model transform: the render side of the scene
// tree commands, the transform box and the typed transform values.
#include "RenderTasks.h"

#include <QDebug>

#include <assimp/scene.h>

#include <vtkActorCollection.h>
#include <vtkMatrix4x4.h>
#include <vtkTransform.h>

#include <string>

#include "AssimpImporter.h"
#include "Manager.h"

namespace ML
{
namespace
{
bool hasAnimations(const ModelEntry& entry)
{
  return entry.importer->Scene->mNumAnimations > 0;
}

// A missing name and a null collection both mean "no actors for this node".
vtkActorCollection* nodeActors(const ModelEntry& entry, const aiNode* node)
{
  const auto& table = entry.importer->NodeActors;
  const auto found = table.find(std::string(node->mName.C_Str(), node->mName.length));
  return found == table.end() ? nullptr : found->second.Get();
}

vtkActor* firstActor(vtkActorCollection* actors)
{
  return actors && actors->GetNumberOfItems() > 0
             ? vtkActor::SafeDownCast(actors->GetItemAsObject(0))
             : nullptr;
}

// The node's own first actor, else the first actor the model has at all.
vtkActor* actorToFrame(const ModelEntry& entry, vtkActorCollection* actors)
{
  if (vtkActor* actor = firstActor(actors))
  {
    return actor;
  }
  for (const auto& [name, collection] : entry.importer->NodeActors)
  {
    if (vtkActor* actor = firstActor(collection))
    {
      return actor;
    }
  }
  return nullptr;
}

// Keeps the box on the model it frames, so that a later drag starts from the
// typed placement instead of taking the model back to where the box was put.
void moveBoxWithModel(VtkItem::Data* data, const ModelEntry& entry)
{
  auto* framed = vtkActor::SafeDownCast(data->boxWidget->GetProp3D());
  if (data->boxWidget->GetEnabled() && framed && modelHoldsActor(entry, framed))
  {
    data->boxWidget->SetTransform(entry.transform);
  }
}

// Shows the model with its current transform: at the slider's time when it is
// animated, in its file pose otherwise.
void poseModel(const ModelEntry& entry, double sliderVal)
{
  AssimpImporter* importer = entry.importer;
  if (hasAnimations(entry) && importer->ActiveAnimation != -1)
  {
    double range[2];
    importer->GetTimeRange(importer->ActiveAnimation, range);
    importer->UpdateTimeStep((range[1] - range[0]) * sliderVal, entry.transform);
  }
  else
  {
    importer->UpdateNodeTransforms(importer->Scene->mRootNode, entry.transform->GetMatrix());
  }
}
} // namespace

bool isModelIndex(const VtkItem* item, int index)
{
  return item && index >= 0 && index < static_cast<int>(item->models.size());
}

bool modelHoldsActor(const ModelEntry& entry, vtkActor* actor)
{
  for (const auto& [name, actors] : entry.importer->NodeActors)
  {
    if (actors && actors->IsItemPresent(actor))
    {
      return true;
    }
  }
  return false;
}

void attachBox(VtkItem* item, VtkItem::Data* data, ModelEntry& entry, vtkActor* actor)
{
  item->playing = false;
  entry.transform->Identity();
  AssimpImporter* importer = entry.importer;
  // An animated model only moves and turns: its scale is never read back.
  if (hasAnimations(entry))
  {
    importer->UpdateTimeStep(0.0, entry.transform);
    data->boxWidget->ScalingEnabledOff();
  }
  else
  {
    vtkNew<vtkMatrix4x4> identity;
    importer->UpdateNodeTransforms(importer->Scene->mRootNode, identity);
    data->boxWidget->ScalingEnabledOn();
  }
  data->boxWidget->SetProp3D(actor);
  data->boxWidget->PlaceWidget();
  data->boxWidget->On();
}

void checkTreeModelTask(VtkItem* item, VtkItem::Data* data)
{
  if (!data || !data->item)
  {
    return;
  }
  Manager* manager = item->manager;
  const int index = Manager::checkedModelIndex;
  if (!isModelIndex(item, index) || !manager->selectedNode)
  {
    return;
  }
  const ModelEntry& entry = *item->models[static_cast<size_t>(index)];
  if (!sceneContainsNode(entry.importer->Scene, manager->selectedNode))
  {
    return;
  }
  manager->state.currentModel = index;
  vtkActorCollection* actors = nodeActors(entry, manager->selectedNode);
  if (!actors)
  {
    qDebug() << "Actor Collection is null";
    return;
  }
  forEachActor(actors, [manager](vtkActor* actor) { actor->SetVisibility(manager->nodeChecked); });
  data->renderer->Render();
}

void treeSelChangedTask(VtkItem* item, VtkItem::Data* data)
{
  if (!data || !data->item)
  {
    return;
  }
  Manager* manager = item->manager;
  if (!isModelIndex(item, manager->state.currentModel))
  {
    return;
  }
  ModelEntry& entry = *item->models[static_cast<size_t>(manager->state.currentModel)];
  if (!manager->selectedNode)
  {
    manager->state.currentModel = 0;
    data->boxWidget->Off();
    return;
  }
  if (!sceneContainsNode(entry.importer->Scene, manager->selectedNode))
  {
    return;
  }
  vtkActorCollection* actors = nodeActors(entry, manager->selectedNode);
  if (!actors)
  {
    qDebug() << "Actors is null";
    return;
  }
  vtkActor* actor = actorToFrame(entry, actors);
  if (!actor)
  {
    qDebug() << "Actor is null";
    return;
  }
  attachBox(item, data, entry, actor);
}

void updateModelTransformTask(VtkItem* item, VtkItem::Data* data)
{
  if (!data || !data->item)
  {
    return;
  }
  const ManagerState& state = item->manager->state;
  if (!isModelIndex(item, state.currentModel))
  {
    return;
  }
  const ModelEntry& entry = *item->models[static_cast<size_t>(state.currentModel)];
  // The typed values are absolute, like the values the box writes back: the
  // same values applied twice give the same placement.
  vtkTransform* transform = entry.transform;
  transform->Identity();
  transform->Translate(state.modelPosition.data());
  transform->Scale(state.modelScale.data());
  transform->RotateX(state.modelRotation[0]);
  transform->RotateY(state.modelRotation[1]);
  transform->RotateZ(state.modelRotation[2]);
  poseModel(entry, state.sliderVal);
  moveBoxWithModel(data, entry);
}

void onBoxWidgetEndInteraction(vtkObject*, unsigned long, void* clientData, void*)
{
  auto* data = static_cast<VtkItem::Data*>(clientData);
  if (!data || !data->item)
  {
    return;
  }
  VtkItem* item = data->item;
  Manager* manager = item->manager;
  ManagerState& state = manager->state;
  if (!isModelIndex(item, state.currentModel))
  {
    return;
  }
  const ModelEntry& entry = *item->models[static_cast<size_t>(state.currentModel)];
  vtkTransform* transform = entry.transform;
  data->boxWidget->GetTransform(transform);
  transform->GetPosition(state.modelPosition.data());
  transform->GetOrientation(state.modelRotation.data());
  if (!hasAnimations(entry))
  {
    transform->GetScale(state.modelScale.data());
  }
  entry.importer->UpdateNodeTransforms(entry.importer->Scene->mRootNode, transform->GetMatrix());
  for (Manager::Signal signal :
       {&Manager::modelPosXChanged, &Manager::modelPosYChanged, &Manager::modelPosZChanged,
        &Manager::modelRotateXChanged, &Manager::modelRotateYChanged, &Manager::modelRotateZChanged,
        &Manager::modelScaleXChanged, &Manager::modelScaleYChanged, &Manager::modelScaleZChanged})
  {
    manager->notify(signal);
  }
}
} // namespace ML
