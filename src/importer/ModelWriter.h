#pragma once
// Writes loaded models merged into one file, in the format its name asks for, so
// that the file holds what the user saw: each model at its placement, names kept
// apart, the images the materials show carried along (embedded in a GLB, beside
// the other formats). The file is read back before it replaces anything; what the
// format could not keep is reported.

#include <assimp/matrix4x4.h>

#include <QString>
#include <QStringList>

#include <vector>

struct aiScene;

namespace ModelWriter
{
// One model to write: its scene as read, where the user placed it (the parent of
// the scene's root), and the file it came from (its images are looked up there).
struct Model
{
  const aiScene* scene = nullptr;
  aiMatrix4x4 placement;
  QString fileName;
};

struct Result
{
  bool written = false;
  QString error;       // why nothing was written
  qint64 bytes = 0;    // size of the written model file
  QStringList notices; // what the file lacks, images that were not found
};

// The Assimp exporter that a file name's suffix selects, or null. Only the
// spellings "glb", "Glb", "GLB", "gltf", "glTF", "Gltf", "GLTF", "dae", "Dae", "DAE",
// "fbx", "Fbx" and "FBX" are listed.
const char* FormatFor(const QString& fileName);

// Writes `models` merged into `fileName`. The files go to a folder beside it first
// and replace the target (and the images beside it) only once they read back.
Result Write(const std::vector<Model>& models, const QString& fileName);
} // namespace ModelWriter
