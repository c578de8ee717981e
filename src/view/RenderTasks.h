#pragma once

// The routines that render tasks run on the render thread. Each takes the item
// and its scene record, so they can also be driven against an offscreen render
// window without the QML window.

#include <QString>

#include <vtkActorCollection.h>

#include <array>

#include "AssimpImporter.h"
#include "LoadTasks.h"
#include "VtkItem.h"

class vtkObject;
struct aiNode;
struct aiScene;

namespace ML
{
// Calls `visit` with each actor of the collection; a null collection has none.
template <typename Visit>
void forEachActor(vtkActorCollection* actors, const Visit& visit)
{
  if (!actors)
  {
    return;
  }
  vtkCollectionSimpleIterator it;
  actors->InitTraversal(it);
  while (vtkActor* actor = actors->GetNextActor(it))
  {
    visit(actor);
  }
}

// Calls `visit` with every actor of every node of the model.
template <typename Visit>
void forEachActor(const ModelEntry& entry, const Visit& visit)
{
  for (const auto& [name, actors] : entry.importer->NodeActors)
  {
    forEachActor(actors.Get(), visit);
  }
}

// Lights from a loaded file.
void takeLightsFromFile(VtkItem* item, VtkItem::Data* data, AssimpImporter* importer);

// Animation playback.
void onAnimationTimer(vtkObject* caller, unsigned long eventId, void* clientData, void* callData);
void timerTask(VtkItem* item, VtkItem::Data* data, double advance);
void sliderMovedTask(VtkItem* item, VtkItem::Data* data);
void playToggleTask(VtkItem* item, VtkItem::Data* data);
// The tree row a command acted on, taken when the command was called: two clicks
// before the next frame each act on their own row.
struct TreeRow
{
  const aiNode* node = nullptr;
  int model = -1;
};

// The skeleton overlay: built once with the scene record, shown by showSkeleton,
// and shown without asking for a file that holds a skeleton and clips but no mesh.
void setUpSkeletonOverlay(VtkItem::Data* data);
void applySkeleton(VtkItem* item, VtkItem::Data* data);
// Puts the name of the row's node beside it while the skeleton shows, if it is a
// joint; clears it otherwise.
void selectJoint(VtkItem* item, VtkItem::Data* data, TreeRow row);
void showSkeletonOfMeshlessModel(VtkItem* item, VtkItem::Data* data, const AssimpImporter& model);
// Hands the window the report on that model's file.
void reportFile(VtkItem* item, int modelIndex);
// Writes what the view shows as a PNG, `scale` times the view's size.
void saveViewImage(VtkItem* item, VtkItem::Data* data, const QString& fileName, int scale);
// Tells the window the length and frame rate of that clip of that model (nothing
// when there is no such clip).
void reportClip(VtkItem* item, int modelIndex, int animation);
// Whether `index` names one of the loaded models.
bool isModelIndex(const VtkItem* item, int index);
// Number of animations of model `modelIndex`; 0 for an index that names no model.
unsigned animationCount(const VtkItem* item, int modelIndex);

// Camera and view orientation.
std::array<double, 3> axisVector(int code);
void setViewDirection(VtkItem* item, VtkItem::Data* data, const std::array<double, 3>& up,
                      const std::array<double, 3>& right);
void resetCamera(VtkItem::Data* data);
void updateDirectionTask(VtkItem* item, VtkItem::Data* data);
void updateCameraPosTask(VtkItem* item, VtkItem::Data* data);
void updateCameraFpTask(VtkItem* item, VtkItem::Data* data);
void onCameraChanged(vtkObject* caller, unsigned long eventId, void* clientData, void* callData);

// Lights and appearance.
void applySceneLight(VtkItem* item, VtkItem::Data* data);
void applyLightColors(VtkItem* item, VtkItem::Data* data);
void updateShowLightWidgetTask(VtkItem* item, VtkItem::Data* data);
void updateCurrentLightTask(VtkItem* item, VtkItem::Data* data);
void updateLightPosTask(VtkItem* item, VtkItem::Data* data);
void updateLightFpTask(VtkItem* item, VtkItem::Data* data);
void applySurfacePreset(VtkItem* item, VtkItem::Data* data);
void applyBackground(VtkItem* item, VtkItem::Data* data);
void applyGrid(VtkItem* item, VtkItem::Data* data);
void applyAxes(VtkItem* item, VtkItem::Data* data);
void applyWireframe(VtkItem* item, VtkItem::Data* data);
void onLightWidgetInteraction(vtkObject* caller, unsigned long eventId, void* clientData,
                              void* callData);

// Selection, visibility and the model transform.
void checkTreeModelTask(VtkItem* item, VtkItem::Data* data, TreeRow row, bool checked);
void treeSelChangedTask(VtkItem* item, VtkItem::Data* data, TreeRow row);
void updateModelTransformTask(VtkItem* item, VtkItem::Data* data);
void attachBox(VtkItem* item, VtkItem::Data* data, ModelEntry& entry, vtkActor* actor);
// Whether one of the model's nodes holds the actor.
bool modelHoldsActor(const ModelEntry& entry, vtkActor* actor);
void onBoxWidgetEndInteraction(vtkObject* caller, unsigned long eventId, void* clientData,
                               void* callData);
} // namespace ML
