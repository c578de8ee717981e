// libFuzzer target: the bytes are a model file of one format (ML_FUZZ_EXTENSION),
// opened and played as the viewer would. They are written to a file in the working
// directory, so that the buffers and images a glTF names are found where scripts/fuzz
// puts the fixtures' ones.
//
// Assimp carries no coverage counters, so libFuzzer would tell inputs apart only by
// the importer's few branches and keep a handful of them. Assimp's error message, the
// importer's messages and the shape of the scene read stand in for Assimp's paths, as
// extra counters.

#include "OpenAndPlay.h"

#include <vtkObject.h>

#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>

#include <unistd.h>

namespace
{
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t ExtraCounters[1 << 16];

// A message up to its first quote, without digits, tells the path: the names, tokens,
// line numbers and offsets it goes on with would make every input look new, and so
// would how often it comes.
void countPath(std::string text)
{
  text.erase(std::find_if(text.begin(), text.end(), [](char c) { return c == '"' || c == '\''; }),
             text.end());
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }),
             text.end());
  ExtraCounters[std::hash<std::string>()(text) % sizeof(ExtraCounters)] = 1;
}

void countMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
  countPath(message.toStdString());
}

// What the scene has, in letters, as countPath drops digits.
void countSceneShape(const aiScene* scene)
{
  std::string shape = "scene ";
  for (const bool has : {scene->mNumMeshes > 0, scene->mNumMaterials > 1, scene->mNumTextures > 0,
                         scene->mNumAnimations > 0, scene->mNumLights > 0, scene->mNumCameras > 0})
  {
    shape += has ? 'y' : 'n';
  }
  countPath(shape);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  qInstallMessageHandler(countMessage);
  vtkObject::GlobalWarningDisplayOff();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  // One file per process: libFuzzer's parallel jobs share the working directory.
  static const std::string path = "fuzz-input-" + std::to_string(getpid()) + ML_FUZZ_EXTENSION;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  vtkNew<AssimpImporter> importer;
  if (ML::Fuzz::openAndPlay(importer, path))
  {
    countSceneShape(importer->Scene);
  }
  countPath(importer->Importer.GetErrorString());
  return 0;
}
