// The view, light and transform commands. The window writes the properties
// first and then calls one of these; each only queues the render task that
// applies the values. The task reads the Manager when it runs, so several
// property writes followed by one command all take effect.
#include "Manager.h"

#include "AppearanceTasks.h"
#include "CameraTasks.h"
#include "LoadTasks.h"
#include "SelectionTasks.h"
#include "SkeletonTasks.h"
#include "VtkItem.h"

namespace ML
{
namespace
{
// The window's controls already report their first values while the window
// document is being created, before start-up has linked the view: there is no
// scene to apply them to yet.
void queue(VtkItem* view, VtkItem::RenderTask task)
{
  if (view)
  {
    view->run(std::move(task));
  }
}
} // namespace

void Manager::cameraReset()
{
  queue(vtkItem, [](VtkItem*, VtkItem::Data* data) { resetCamera(data); });
}

void Manager::toggleWireframe()
{
  queue(vtkItem, &applyWireframe);
}

void Manager::updateShowGrid()
{
  queue(vtkItem, &applyGrid);
}

void Manager::updateShowSkeleton()
{
  queue(vtkItem, &applySkeleton);
}

void Manager::updateShowAxes()
{
  queue(vtkItem, &applyAxes);
}

void Manager::updateSceneLight()
{
  queue(vtkItem, &applySceneLight);
}

void Manager::updateDirection()
{
  queue(vtkItem, &updateDirectionTask);
}

void Manager::updateCameraPos()
{
  queue(vtkItem, &updateCameraPosTask);
}

void Manager::updateCameraFp()
{
  queue(vtkItem, &updateCameraFpTask);
}

void Manager::updateSurfaceLight()
{
  queue(vtkItem, &applySurfacePreset);
}

void Manager::updateLightPos()
{
  queue(vtkItem, &updateLightPosTask);
}

void Manager::updateLightFp()
{
  queue(vtkItem, &updateLightFpTask);
}

void Manager::updateLightColor()
{
  queue(vtkItem, &applyLightColors);
}

void Manager::updateBackground()
{
  queue(vtkItem, &applyBackground);
}

void Manager::updateShowLightWidget()
{
  queue(vtkItem, &updateShowLightWidgetTask);
}

void Manager::updateCurrentLight()
{
  queue(vtkItem, &updateCurrentLightTask);
}

void Manager::updateModelTransform()
{
  queue(vtkItem, &updateModelTransformTask);
}
} // namespace ML
