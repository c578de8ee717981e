// Lights from a model file: the first three lights of the file take over the
// placement and colour of the scene's three lights and of the Manager's light
// slots, and the scene-light mode is switched on.
#include <QColor>

#include <vtkLight.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>

#include <assimp/scene.h>

#include <algorithm>
#include <array>

#include "AssimpImporter.h"
#include "Manager.h"
#include "RenderTasks.h"

namespace ML
{
namespace
{
constexpr unsigned SceneLightCount = 3;
// File light colours are scaled down: exporters fold the light's power into them.
constexpr float ColorScale = 10.0f;

// Where the file puts a light: the global matrix of the node of the same name, or
// the model's origin for a light that names no node.
void placementOf(AssimpImporter* importer, const aiString& name, vtkMatrix4x4* placement)
{
  const auto found = importer->NodeGlobalMatrices.find(name.C_Str());
  if (found != importer->NodeGlobalMatrices.end() && found->second)
  {
    placement->DeepCopy(found->second);
  }
}

std::array<double, 3> transformedPoint(vtkMatrix4x4* placement, double x, double y, double z)
{
  const double in[4] = {x, y, z, 1.0};
  double out[4];
  placement->MultiplyPoint(in, out);
  return {out[0] / out[3], out[1] / out[3], out[2] / out[3]};
}

int colorComponent(double fraction)
{
  return std::clamp(static_cast<int>(fraction * 255.0), 0, 255);
}

// The light sits at its node's origin and shines along the node's -Z axis, the
// direction that glTF, Collada and Blender's lights point in. The placement is
// written into the light's own position and focal point, so that the light
// widget and the light commands see where the light really is.
void takeLight(const aiLight& fileLight, AssimpImporter* importer, vtkLight* light, LightSlot& slot)
{
  vtkNew<vtkMatrix4x4> placement;
  placementOf(importer, fileLight.mName, placement);
  slot.position = transformedPoint(placement, 0.0, 0.0, 0.0);
  slot.focalPoint = transformedPoint(placement, 0.0, 0.0, -1.0);
  light->SetPosition(slot.position.data());
  light->SetFocalPoint(slot.focalPoint.data());

  const double red = fileLight.mColorDiffuse.r / ColorScale;
  const double green = fileLight.mColorDiffuse.g / ColorScale;
  const double blue = fileLight.mColorDiffuse.b / ColorScale;
  light->SetDiffuseColor(red, green, blue);
  slot.color = QColor(colorComponent(red), colorComponent(green), colorComponent(blue), 255);

  light->SetLightTypeToSceneLight();
  light->SwitchOn();
}
} // namespace

void takeLightsFromFile(VtkItem* item, VtkItem::Data* data, AssimpImporter* importer)
{
  const aiScene* scene = importer->Scene;
  if (!scene)
  {
    return;
  }
  Manager* manager = item->manager;
  const unsigned count = std::min(scene->mNumLights, SceneLightCount);
  for (unsigned i = 0; i < count; ++i)
  {
    takeLight(*scene->mLights[i], importer, data->lights[i], manager->state.lights[i]);
  }
  manager->state.sceneLight = true;
  for (Manager::Signal signal :
       {&Manager::sceneLightChanged, &Manager::lightPosXChanged, &Manager::lightPosYChanged,
        &Manager::lightPosZChanged, &Manager::lightFpXChanged, &Manager::lightFpYChanged,
        &Manager::lightFpZChanged, &Manager::lightColorChanged})
  {
    manager->notify(signal);
  }
}
} // namespace ML
