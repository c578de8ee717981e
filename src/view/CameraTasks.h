#pragma once
// Camera and view orientation on the render thread.

#include <array>

#include "VtkItem.h"

class vtkObject;

namespace ML
{
std::array<double, 3> axisVector(int code);
void setViewDirection(VtkItem* item, VtkItem::Data* data, const std::array<double, 3>& up,
                      const std::array<double, 3>& right);
void resetCamera(VtkItem::Data* data);
void updateDirectionTask(VtkItem* item, VtkItem::Data* data);
void updateCameraPosTask(VtkItem* item, VtkItem::Data* data);
void updateCameraFpTask(VtkItem* item, VtkItem::Data* data);
void onCameraChanged(vtkObject* caller, unsigned long eventId, void* clientData, void* callData);
} // namespace ML
