#include "FileLights.h"

#include <vtkMath.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>

#include <assimp/scene.h>

#include <algorithm>
#include <cmath>

#include "AssimpImporter.h"

namespace FileLights
{
namespace
{
// Where the file puts a light: the global matrix of the node of the same name, or
// the model's origin for a light that names no node.
void placementOf(const AssimpImporter& importer, const aiString& name, vtkMatrix4x4* placement)
{
  const auto found = importer.NodeGlobalMatrices.find(name.C_Str());
  if (found != importer.NodeGlobalMatrices.end() && found->second)
  {
    placement->DeepCopy(found->second);
  }
}

std::array<double, 3> transformedPoint(vtkMatrix4x4* placement, const aiVector3D& point)
{
  const double in[4] = {point.x, point.y, point.z, 1.0};
  double out[4];
  placement->MultiplyPoint(in, out);
  return {out[0] / out[3], out[1] / out[3], out[2] / out[3]};
}

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

// A point lamp shines from where it stands in every direction, a spot from there
// along its direction within the file's cone, a directional lamp along its direction
// from everywhere. A lamp without a direction aims along its node's −Z, where glTF,
// Collada and Blender point lamps.
Lamp lampOf(const aiLight& light, const AssimpImporter& importer, double scale)
{
  vtkNew<vtkMatrix4x4> placement;
  placementOf(importer, light.mName, placement);
  const aiVector3D direction =
      light.mDirection.SquareLength() > 0.f ? light.mDirection : aiVector3D(0, 0, -1);
  Lamp lamp;
  lamp.position = transformedPoint(placement, light.mPosition);
  lamp.focalPoint = transformedPoint(placement, light.mPosition + direction);
  lamp.positional = light.mType != aiLightSource_DIRECTIONAL;
  const double outerCone = vtkMath::DegreesFromRadians(static_cast<double>(light.mAngleOuterCone));
  lamp.coneAngle = light.mType == aiLightSource_SPOT ? std::clamp(outerCone, 1.0, 89.0) : 180.0;
  lamp.color = {light.mColorDiffuse.r * scale, light.mColorDiffuse.g * scale,
                light.mColorDiffuse.b * scale};
  return lamp;
}
} // namespace

std::vector<Lamp> Read(const AssimpImporter& importer, unsigned count)
{
  const aiScene* scene = importer.Scene;
  if (!scene)
  {
    return {};
  }
  count = std::min(scene->mNumLights, count);
  const double scale = brightnessScale(*scene, count);
  std::vector<Lamp> lamps;
  for (unsigned i = 0; i < count; ++i)
  {
    lamps.push_back(lampOf(*scene->mLights[i], importer, scale));
  }
  return lamps;
}
} // namespace FileLights
