#pragma once
// The skeleton overlay on the render thread.

#include "SelectionTasks.h"
#include "VtkItem.h"

class AssimpImporter;

namespace ML
{
// The skeleton overlay: built once with the scene record, shown by showSkeleton,
// and shown without asking for a file that holds a skeleton and clips but no mesh.
void setUpSkeletonOverlay(VtkItem::Data* data);
void applySkeleton(VtkItem* item, VtkItem::Data* data);
// Puts the name of the row's node beside it while the skeleton shows, if it is a
// joint; clears it otherwise.
void selectJoint(VtkItem* item, VtkItem::Data* data, TreeRow row);
void showSkeletonOfMeshlessModel(VtkItem* item, VtkItem::Data* data, const AssimpImporter& model);
} // namespace ML
