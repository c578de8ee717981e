#pragma once
// The lamps of a model file as the view's lights take them.

#include <array>
#include <vector>

class AssimpImporter;

namespace FileLights
{
// One lamp, placed in the model's frame: where it stands and what it aims at, whether
// it shines from a point (point and spot lamps) or along a direction, its cone and
// its colour (components may exceed 1 before the caller clamps them).
struct Lamp
{
  std::array<double, 3> position{};
  std::array<double, 3> focalPoint{};
  bool positional = true;
  double coneAngle = 180.0;
  std::array<double, 3> color{};
};

// The first `count` lamps of the importer's scene, placed by the global matrices of
// their nodes (ImportActors must have run). Files store a lamp's power in its
// colour, on scales that differ by orders of magnitude: the lamps are scaled
// together so that the brightest colour component reaches 1.
std::vector<Lamp> Read(const AssimpImporter& importer, unsigned count);
} // namespace FileLights
