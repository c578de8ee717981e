// Selection, visibility and the model transform: the render side of the scene
// tree commands, the transform box and the typed transform values.
#include "SelectionTasks.h"
#include "LoadTasks.h"
#include "ModelActors.h"
#include "SkeletonTasks.h"

#include <QDebug>

#include <assimp/scene.h>

#include <vtkActorCollection.h>
#include <vtkBoxWidget.h>
#include <vtkMath.h>
#include <vtkMatrix4x4.h>
#include <vtkTransform.h>

#include <algorithm>
#include <array>
#include <cmath>
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

// A model's placement is read and written as T · Rx · Ry · Rz · S: the box and the
// nine typed fields agree, so the fields the box fills, applied again unchanged,
// leave the model where it is.
void composePlacement(const ManagerState& state, vtkTransform* transform)
{
  transform->Identity();
  transform->Translate(state.modelPosition.data());
  transform->RotateX(state.modelRotation[0]);
  transform->RotateY(state.modelRotation[1]);
  transform->RotateZ(state.modelRotation[2]);
  transform->Scale(state.modelScale.data());
}

// The inverse of composePlacement for a matrix without shear. A mirrored placement
// gets a negative X scale; at ±90° about Y the Z turn is folded into the X turn.
void decomposePlacement(vtkMatrix4x4* m, std::array<double, 3>& position,
                        std::array<double, 3>& rotation, std::array<double, 3>& scale)
{
  double r[3][3];
  for (int column = 0; column < 3; ++column)
  {
    position[column] = m->GetElement(column, 3);
    scale[column] = std::sqrt(m->GetElement(0, column) * m->GetElement(0, column) +
                              m->GetElement(1, column) * m->GetElement(1, column) +
                              m->GetElement(2, column) * m->GetElement(2, column));
  }
  double columns[3][3];
  for (int row = 0; row < 3; ++row)
  {
    for (int column = 0; column < 3; ++column)
    {
      columns[column][row] = m->GetElement(row, column);
    }
  }
  if (vtkMath::Determinant3x3(columns) < 0)
  {
    scale[0] = -scale[0];
  }
  for (int row = 0; row < 3; ++row)
  {
    for (int column = 0; column < 3; ++column)
    {
      r[row][column] = scale[column] != 0 ? m->GetElement(row, column) / scale[column] : 0;
    }
  }
  // Rx · Ry · Rz has sin(y) at (0, 2), −sin(x)cos(y) at (1, 2), cos(x)cos(y) at (2, 2),
  // −cos(y)sin(z) at (0, 1) and cos(y)cos(z) at (0, 0).
  const double y = std::asin(std::clamp(r[0][2], -1.0, 1.0));
  double x = 0, z = 0;
  if (std::abs(r[0][2]) < 1 - 1e-9)
  {
    x = std::atan2(-r[1][2], r[2][2]);
    z = std::atan2(-r[0][1], r[0][0]);
  }
  else
  {
    x = std::atan2(r[2][1], r[1][1]);
  }
  rotation = {vtkMath::DegreesFromRadians(x), vtkMath::DegreesFromRadians(y),
              vtkMath::DegreesFromRadians(z)};
}

// Writes the model's placement into the nine transform fields; an animated model
// keeps the scale fields, which it never takes.
void showPlacement(Manager* manager, const ModelEntry& entry)
{
  ManagerState& state = manager->state;
  std::array<double, 3> scale;
  decomposePlacement(entry.transform->GetMatrix(), state.modelPosition, state.modelRotation, scale);
  if (!hasAnimations(entry))
  {
    state.modelScale = scale;
  }
  for (Manager::Signal signal :
       {&Manager::modelPosXChanged, &Manager::modelPosYChanged, &Manager::modelPosZChanged,
        &Manager::modelRotateXChanged, &Manager::modelRotateYChanged, &Manager::modelRotateZChanged,
        &Manager::modelScaleXChanged, &Manager::modelScaleYChanged, &Manager::modelScaleZChanged})
  {
    manager->notify(signal);
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

// The box is placed around the actor as the model stands without its placement,
// then takes the placement on: what the box reads back after a drag is then the
// model's whole placement. The model keeps where the user put it.
void attachBox(VtkItem* item, VtkItem::Data* data, ModelEntry& entry, vtkActor* actor)
{
  item->playing = false;
  vtkNew<vtkMatrix4x4> placement;
  placement->DeepCopy(entry.transform->GetMatrix());
  // An animated model only moves and turns: its scale is never read back.
  data->boxWidget->SetScalingEnabled(hasAnimations(entry) ? 0 : 1);
  entry.transform->Identity();
  poseModel(entry, 0.0);
  data->boxWidget->SetProp3D(actor);
  data->boxWidget->PlaceWidget();
  entry.transform->SetMatrix(placement);
  poseModel(entry, 0.0);
  data->boxWidget->SetTransform(entry.transform);
  data->boxWidget->On();
  showPlacement(item->manager, entry);
}

void checkTreeModelTask(VtkItem* item, VtkItem::Data* data, TreeRow row, bool checked)
{
  ModelEntry* model = item->model(row.model);
  if (!data || !model || !row.node || !sceneContainsNode(model->importer->Scene, row.node))
  {
    return;
  }
  ModelEntry& entry = *model;
  item->manager->state.currentModel = row.model;
  if (checked)
  {
    entry.hiddenNodes.erase(row.node);
  }
  else
  {
    entry.hiddenNodes.insert(row.node);
  }
  vtkActorCollection* actors = nodeActors(entry, row.node);
  if (!actors)
  {
    qDebug() << "Actor Collection is null";
    return;
  }
  forEachActor(actors, [checked](vtkActor* actor) { actor->SetVisibility(checked); });
  data->renderer->Render();
}

void treeSelChangedTask(VtkItem* item, VtkItem::Data* data, TreeRow row)
{
  ModelEntry* model = item->model(row.model);
  if (!data || !model)
  {
    return;
  }
  selectJoint(item, data, row);
  if (!row.node)
  {
    item->manager->state.currentModel = 0;
    data->boxWidget->Off();
    return;
  }
  ModelEntry& entry = *model;
  if (!sceneContainsNode(entry.importer->Scene, row.node))
  {
    return;
  }
  vtkActorCollection* actors = nodeActors(entry, row.node);
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
  const ModelEntry* model = item->currentModel();
  if (!data || !model)
  {
    return;
  }
  const ManagerState& state = item->manager->state;
  const ModelEntry& entry = *model;
  // The typed values are absolute, like the values the box writes back: the
  // same values applied twice give the same placement.
  composePlacement(state, entry.transform);
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
  // The drag moves the model the box frames, whichever model the clip, the speed
  // or an added file has made current since.
  VtkItem* item = data->item;
  auto* framed = vtkActor::SafeDownCast(data->boxWidget->GetProp3D());
  const auto owner = std::find_if(item->models.begin(), item->models.end(),
                                  [framed](const auto& entry)
                                  { return framed && modelHoldsActor(*entry, framed); });
  if (owner == item->models.end())
  {
    return;
  }
  Manager* manager = item->manager;
  manager->state.currentModel = static_cast<int>(owner - item->models.begin());
  const ModelEntry& entry = **owner;
  data->boxWidget->GetTransform(entry.transform);
  entry.importer->UpdateNodeTransforms(entry.importer->Scene->mRootNode,
                                       entry.transform->GetMatrix());
  showPlacement(manager, entry);
}
} // namespace ML
