#pragma once
// A plain-text account of one model file as the viewer read it, for a user who
// wants to know why a model looks as it does.

#include <assimp/scene.h>

#include <QString>

#include <string>
#include <vector>

namespace FileReport
{
// Format, counts of meshes, vertices, triangles and materials, every image with
// where it was found or looked for, bones, clips, lamps and cameras, then what
// the viewer could not use. `fileName` is the path the scene was read from.
// `readWarnings` are the reader's own.
QString Describe(const aiScene& scene, const QString& fileName,
                 const std::vector<std::string>& readWarnings = {});
} // namespace FileReport
