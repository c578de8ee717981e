#pragma once
// Rules about model files that reading and writing share: how a file is read, and
// where the images its materials name are found.

#include <assimp/postprocess.h>

#include <string>
#include <vector>

namespace Assimp
{
class Importer;
}
struct aiScene;
struct aiTexture;

namespace ModelFiles
{
// Post-processing applied to every file read, the written exports' read-back too.
constexpr unsigned ReadFlags = aiProcess_LimitBoneWeights | aiProcess_ValidateDataStructure;

// Reads a model file as the viewer does (FBX pivots folded into their nodes, the
// flags above); null with the reader's error string when it cannot. The reader's
// warnings (its validation's among them) go to `warnings` when given.
const aiScene* ReadModel(Assimp::Importer& reader, const std::string& fileName,
                         std::vector<std::string>* warnings = nullptr);

// The embedded image a material path names: "*N" by index, otherwise by the base
// name of the file name it was embedded under. Null when there is none.
const aiTexture* FindEmbeddedTexture(const aiScene* scene, const char* path);

// The image file a material path names, relative to the model file's folder, or
// else by its base name in that folder (exporters often write absolute or foreign
// paths). Empty when neither exists.
std::string FindTextureFile(const std::string& modelFile, const char* path);
} // namespace ModelFiles
