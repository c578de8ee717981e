#pragma once
// Animation playback on the render thread.

#include "VtkItem.h"

class vtkObject;

namespace ML
{
void onAnimationTimer(vtkObject* caller, unsigned long eventId, void* clientData, void* callData);
void timerTask(VtkItem* item, VtkItem::Data* data, double advance);
void sliderMovedTask(VtkItem* item, VtkItem::Data* data);
void playToggleTask(VtkItem* item, VtkItem::Data* data);
// Tells the window the length and frame rate of that clip of that model (nothing
// when there is no such clip).
void reportClip(VtkItem* item, int modelIndex, int animation);
// Number of animations of model `modelIndex`; 0 for an index that names no model.
unsigned animationCount(const VtkItem* item, int modelIndex);
} // namespace ML
