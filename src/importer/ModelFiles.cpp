#include "ModelFiles.h"

#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/config.h>
#include <assimp/scene.h>

#include <vtksys/SystemTools.hxx>

#include <mutex>

namespace ModelFiles
{
namespace
{
// Assimp has one logger for the process; each thread that reads collects the
// warnings of its own read.
thread_local std::vector<std::string>* WarningsOfThisThread = nullptr;

class WarningCollector : public Assimp::LogStream
{
public:
  void write(const char* message) override
  {
    if (!WarningsOfThisThread)
    {
      return;
    }
    // The logger puts "Warn,  T0: " before the text.
    std::string text(message);
    const std::string::size_type start = text.find(": ");
    text = start == std::string::npos ? text : text.substr(start + 2);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    {
      text.pop_back();
    }
    WarningsOfThisThread->push_back(text);
  }
};

void startCollectingWarnings()
{
  Assimp::DefaultLogger::create("", Assimp::Logger::NORMAL, 0);
  Assimp::DefaultLogger::get()->attachStream(new WarningCollector,
                                             Assimp::Logger::Warn | Assimp::Logger::Err);
}

// Base name of a path written on any system: Windows paths included.
std::string baseName(const std::string& path)
{
  const std::string::size_type slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

const aiScene* ReadModel(Assimp::Importer& reader, const std::string& fileName,
                         std::vector<std::string>* warnings)
{
  reader.SetPropertyInteger(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, 0);
  WarningsOfThisThread = warnings;
  if (warnings)
  {
    static std::once_flag logging;
    std::call_once(logging, [] { startCollectingWarnings(); });
  }
  const aiScene* scene = reader.ReadFile(fileName, ReadFlags);
  WarningsOfThisThread = nullptr;
  return scene;
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
