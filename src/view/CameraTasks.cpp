// Camera and view orientation: the typed camera values, the view presets built
// from an up and a right axis, and the feedback of mouse-driven camera moves.
#include "CameraTasks.h"
#include "AppearanceTasks.h"

#include <QDebug>

#include <vtkCamera.h>
#include <vtkMath.h>

#include <cmath>

#include "Manager.h"

namespace ML
{
namespace
{
using Vector = std::array<double, 3>;

bool isNull(const Vector& v)
{
  return std::abs(v[0]) < 1e-8 && std::abs(v[1]) < 1e-8 && std::abs(v[2]) < 1e-8;
}

Vector cross(const Vector& a, const Vector& b)
{
  Vector result;
  vtkMath::Cross(a.data(), b.data(), result.data());
  vtkMath::Normalize(result.data());
  return result;
}

// The window shows whole units only; the setters notify only on change.
void reportCamera(Manager* manager, vtkCamera* camera)
{
  const double* position = camera->GetPosition();
  manager->setCameraPosX(static_cast<int>(position[0]));
  manager->setCameraPosY(static_cast<int>(position[1]));
  manager->setCameraPosZ(static_cast<int>(position[2]));
  const double* focalPoint = camera->GetFocalPoint();
  manager->setCameraFpX(static_cast<int>(focalPoint[0]));
  manager->setCameraFpY(static_cast<int>(focalPoint[1]));
  manager->setCameraFpZ(static_cast<int>(focalPoint[2]));
}
} // namespace

std::array<double, 3> axisVector(int code)
{
  static const std::array<Vector, 6> axes{{{1.0, 0.0, 0.0},
                                           {0.0, 1.0, 0.0},
                                           {0.0, 0.0, 1.0},
                                           {-1.0, 0.0, 0.0},
                                           {0.0, -1.0, 0.0},
                                           {0.0, 0.0, -1.0}}};
  return code >= 0 && code < static_cast<int>(axes.size()) ? axes[static_cast<size_t>(code)]
                                                           : axes[0];
}

void setViewDirection(VtkItem*, VtkItem::Data* data, const std::array<double, 3>& upDirection,
                      const std::array<double, 3>& rightDirection)
{
  if (isNull(upDirection) || isNull(rightDirection))
  {
    qDebug() << "Up or Right is null.";
    return;
  }
  Vector up = upDirection;
  vtkMath::Normalize(up.data());
  if (std::abs(vtkMath::Dot(up.data(), rightDirection.data())) > 0.999)
  {
    qDebug() << "Up and Right are collinear.";
    return;
  }
  const Vector forward = cross(rightDirection, up);
  const Vector right = cross(up, forward);
  const Vector position = cross(right, up);

  vtkCamera* camera = data->renderer->GetActiveCamera();
  camera->SetFocalPoint(0.0, 0.0, 0.0);
  camera->SetPosition(position.data());
  camera->SetViewUp(up.data());
  data->renderer->SetEnvironmentUp(up.data());
  data->renderer->SetEnvironmentRight(right.data());
}

void resetCamera(VtkItem::Data* data)
{
  data->renderer->ResetCameraScreenSpace(0.9);
  data->renderer->ResetCameraClippingRange();
}

void updateDirectionTask(VtkItem* item, VtkItem::Data* data)
{
  const ManagerState& state = item->manager->state;
  setViewDirection(item, data, axisVector(state.upDirection), axisVector(state.rightDirection));
  applyGrid(item, data);
  resetCamera(data);
}

void updateCameraPosTask(VtkItem* item, VtkItem::Data* data)
{
  data->renderer->GetActiveCamera()->SetPosition(item->manager->state.cameraPosition.data());
}

void updateCameraFpTask(VtkItem* item, VtkItem::Data* data)
{
  data->renderer->GetActiveCamera()->SetFocalPoint(item->manager->state.cameraFocalPoint.data());
}

void onCameraChanged(vtkObject*, unsigned long, void* clientData, void*)
{
  auto* data = static_cast<VtkItem::Data*>(clientData);
  if (data == nullptr || data->item == nullptr)
  {
    return;
  }
  reportCamera(data->item->manager, data->renderer->GetActiveCamera());
}
} // namespace ML
