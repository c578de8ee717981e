#pragma once
// Lights and appearance on the render thread.

#include <vector>

#include "FileLights.h"
#include "VtkItem.h"

class vtkObject;

namespace ML
{
// The lamps of a file take over the placement, kind and
// colour of the scene's lights and the Manager's light slots, in scene-light mode.
void applyFileLights(VtkItem* item, VtkItem::Data* data,
                     const std::vector<FileLights::Lamp>& lamps);
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
} // namespace ML
