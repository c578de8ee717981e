#include "ModelFiles.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/scene.h>

#include <vtksys/SystemTools.hxx>

namespace ModelFiles
{
namespace
{
// Base name of a path written on any system: Windows paths included.
std::string baseName(const std::string& path)
{
  const std::string::size_type slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

const aiScene* ReadModel(Assimp::Importer& reader, const std::string& fileName)
{
  reader.SetPropertyInteger(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, 0);
  return reader.ReadFile(fileName, ReadFlags);
}

const aiTexture* FindEmbeddedTexture(const aiScene* scene, const char* path)
{
  if (!scene || !path)
  {
    return nullptr;
  }
  if (path[0] == '*')
  {
    const long index = std::strtol(path + 1, nullptr, 10);
    const bool inRange = index >= 0 && index < static_cast<long>(scene->mNumTextures);
    return inRange ? scene->mTextures[index] : nullptr;
  }
  const std::string name = baseName(path);
  for (unsigned i = 0; i < scene->mNumTextures; ++i)
  {
    if (baseName(scene->mTextures[i]->mFilename.C_Str()) == name)
    {
      return scene->mTextures[i];
    }
  }
  return nullptr;
}

std::string FindTextureFile(const std::string& modelFile, const char* path)
{
  const std::string dir = vtksys::SystemTools::GetFilenamePath(modelFile);
  for (const std::string& candidate : {std::string(path), baseName(path)})
  {
    const std::string full = vtksys::SystemTools::CollapseFullPath(candidate, dir);
    if (vtksys::SystemTools::FileExists(full, true))
    {
      return full;
    }
  }
  return {};
}
} // namespace ModelFiles
