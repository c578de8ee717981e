// Lights from a model file: the first three lamps of the file take over the
// placement, kind and colour of the scene's three lights and of the Manager's
// light slots, and the scene-light mode is switched on.
#include <QColor>

#include <vtkLight.h>
#include <vtkMath.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>

#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "AssimpImporter.h"
#include "Manager.h"
#include "RenderTasks.h"

namespace ML
{
namespace
{
constexpr unsigned SceneLightCount = 3;

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

// Where a lamp stands and where it shines, in its node's frame. A lamp without a
// direction aims along the node's −Z, where glTF, Collada and Blender point lamps.
void aimOf(const aiLight& lamp, aiVector3D& position, aiVector3D& direction)
{
  position = lamp.mPosition;
  direction = lamp.mDirection.SquareLength() > 0.f ? lamp.mDirection : aiVector3D(0, 0, -1);
}

// The lamp as the view's light: a point lamp shines from where it stands in every
// direction, a spot from there along its direction within the file's cone, a
// directional lamp along its direction from everywhere. The placement is written
// into the light's own position and focal point, so that the light widget and the
// light commands see where the light really is.
void takeLight(const aiLight& lamp, AssimpImporter* importer, double scale, vtkLight* light,
               LightSlot& slot)
{
  vtkNew<vtkMatrix4x4> placement;
  placementOf(importer, lamp.mName, placement);
  aiVector3D position, direction;
  aimOf(lamp, position, direction);
  const aiVector3D target = position + direction;
  slot.position = transformedPoint(placement, position.x, position.y, position.z);
  slot.focalPoint = transformedPoint(placement, target.x, target.y, target.z);
  light->SetPosition(slot.position.data());
  light->SetFocalPoint(slot.focalPoint.data());
  light->SetPositional(lamp.mType != aiLightSource_DIRECTIONAL);
  const double outerCone = vtkMath::DegreesFromRadians(static_cast<double>(lamp.mAngleOuterCone));
  light->SetConeAngle(lamp.mType == aiLightSource_SPOT ? std::clamp(outerCone, 1.0, 89.0) : 180.0);
  light->SetAttenuationValues(1.0, 0.0, 0.0);

  const double red = lamp.mColorDiffuse.r * scale;
  const double green = lamp.mColorDiffuse.g * scale;
  const double blue = lamp.mColorDiffuse.b * scale;
  light->SetDiffuseColor(red, green, blue);
  slot.color = QColor(colorComponent(red), colorComponent(green), colorComponent(blue), 255);

  light->SetLightTypeToSceneLight();
  light->SwitchOn();
}

// Files store a lamp's power in its colour, on scales that differ between formats
// and exporters by orders of magnitude: the taken lamps are scaled together so
// that the brightest colour component reaches full intensity, keeping their hues
// and their ratios.
double brightnessScale(const aiScene& scene, unsigned count)
{
  float brightest = 0.f;
  for (unsigned i = 0; i < count; ++i)
  {
    const aiColor3D& colour = scene.mLights[i]->mColorDiffuse;
    brightest = std::max({brightest, colour.r, colour.g, colour.b});
  }
  return brightest > 0.f && std::isfinite(brightest) ? 1.0 / brightest : 1.0;
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
  const double scale = brightnessScale(*scene, count);
  for (unsigned i = 0; i < count; ++i)
  {
    takeLight(*scene->mLights[i], importer, scale, data->lights[i], manager->state.lights[i]);
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
