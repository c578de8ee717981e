#pragma once
// Rules about model files that reading and writing share: how a file is read, and
// where the images its materials name are found.

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <string>
#include <vector>

namespace Assimp
{
class Importer;
}

namespace ModelFiles
{
// Post-processing applied to every file read, the written exports' read-back too.
constexpr unsigned ReadFlags = aiProcess_LimitBoneWeights | aiProcess_ValidateDataStructure;

// Reads a model file as the viewer does (FBX pivots folded into their nodes, the
// flags above); null with the reader's error string when it cannot. The reader's
// warnings (its validation's among them) go to `warnings` when given.
const aiScene* ReadModel(Assimp::Importer& reader, const std::string& fileName,
                         std::vector<std::string>* warnings = nullptr);

// Calls `visit(material, type, index, path)` for every image every material of the
// scene names, in material, type and index order.
template <typename Visit>
void ForEachImage(const aiScene& scene, const Visit& visit)
{
  for (unsigned m = 0; m < scene.mNumMaterials; ++m)
  {
    aiMaterial* material = scene.mMaterials[m];
    for (int type = aiTextureType_NONE + 1; type <= AI_TEXTURE_TYPE_MAX; ++type)
    {
      const auto textureType = static_cast<aiTextureType>(type);
      for (unsigned i = 0; i < material->GetTextureCount(textureType); ++i)
      {
        aiString path;
        material->GetTexture(textureType, i, &path);
        visit(material, textureType, i, path.C_Str());
      }
    }
  }
}

// The embedded image a material path names: "*N" by index, otherwise by the base
// name of the file name it was embedded under. Null when there is none.
const aiTexture* FindEmbeddedTexture(const aiScene* scene, const char* path);

// The image file a material path names, relative to the model file's folder, or
// else by its base name in that folder (exporters often write absolute or foreign
// paths). Empty when neither exists.
std::string FindTextureFile(const std::string& modelFile, const char* path);
} // namespace ModelFiles
