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
// Where playback gets to from the slider position `position` (0 to 1) after
// `seconds` more of a clip `duration` seconds long. Past the end the clip starts
// over, keeping the time it overshot by, so that looping playback stays in step
// with the wall clock.
double playbackPosition(double position, double seconds, double duration);
// Tells the window the length and frame rate of that clip of that model (nothing
// when there is no such clip).
void reportClip(VtkItem* item, int modelIndex, int animation);
// Number of animations of model `modelIndex`; 0 for an index that names no model.
unsigned animationCount(const VtkItem* item, int modelIndex);
} // namespace ML
