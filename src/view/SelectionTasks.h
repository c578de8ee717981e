#pragma once
// Selection, visibility and the model transform on the render thread.

#include "VtkItem.h"

class vtkActor;
class vtkObject;
struct aiNode;

namespace ML
{
// The tree row a command acted on, taken when the command was called: two clicks
// before the next frame each act on their own row.
struct TreeRow
{
  const aiNode* node = nullptr;
  int model = -1;
};

void checkTreeModelTask(VtkItem* item, VtkItem::Data* data, TreeRow row, bool checked);
void treeSelChangedTask(VtkItem* item, VtkItem::Data* data, TreeRow row);
void updateModelTransformTask(VtkItem* item, VtkItem::Data* data);
void attachBox(VtkItem* item, VtkItem::Data* data, ModelEntry& entry, vtkActor* actor);
// Whether one of the model's nodes holds the actor.
bool modelHoldsActor(const ModelEntry& entry, vtkActor* actor);
void onBoxWidgetEndInteraction(vtkObject* caller, unsigned long eventId, void* clientData,
                               void* callData);
} // namespace ML
