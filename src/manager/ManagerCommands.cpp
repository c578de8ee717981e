// The view, light and transform commands. The window writes the properties
// first and then calls one of these; each only queues the render task that
// applies the values. The task reads the Manager when it runs, so several
// property writes followed by one command all take effect.
#include "Manager.h"

#include "RenderTasks.h"
#include "VtkItem.h"

namespace ML
{
void Manager::cameraReset()
{
  vtkItem->run([](VtkItem*, VtkItem::Data* data) { resetCamera(data); });
}

void Manager::toggleWireframe()
{
  vtkItem->run(&applyWireframe);
}

void Manager::updateShowGrid()
{
  vtkItem->run(&applyGrid);
}

void Manager::updateShowAxes()
{
  vtkItem->run(&applyAxes);
}

void Manager::updateSceneLight()
{
  vtkItem->run(&applySceneLight);
}

void Manager::updateDirection()
{
  vtkItem->run(&updateDirectionTask);
}

void Manager::updateCameraPos()
{
  vtkItem->run(&updateCameraPosTask);
}

void Manager::updateCameraFp()
{
  vtkItem->run(&updateCameraFpTask);
}

void Manager::updateSurfaceLight()
{
  vtkItem->run(&applySurfacePreset);
}

void Manager::updateLightPos()
{
  vtkItem->run(&updateLightPosTask);
}

void Manager::updateLightFp()
{
  vtkItem->run(&updateLightFpTask);
}

void Manager::updateLightColor()
{
  vtkItem->run(&applyLightColors);
}

void Manager::updateBackground()
{
  vtkItem->run(&applyBackground);
}

void Manager::updateShowLightWidget()
{
  vtkItem->run(&updateShowLightWidgetTask);
}

void Manager::updateCurrentLight()
{
  vtkItem->run(&updateCurrentLightTask);
}

void Manager::updateModelTransform()
{
  vtkItem->run(&updateModelTransformTask);
}
} // namespace ML
