// libFuzzer target: the bytes are a model file of one format (ML_FUZZ_EXTENSION),
// opened and played as the viewer would. They are written to a file in the working
// directory, so that the buffers and images a glTF names are found where scripts/fuzz
// puts the fixtures' ones.

#include "OpenAndPlay.h"

#include <vtkObject.h>

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <fstream>

#include <unistd.h>

namespace
{
// The importer reports every failed read; at thousands of reads a second that drowns
// libFuzzer's own output.
void discardMessage(QtMsgType, const QMessageLogContext&, const QString&) {}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  qInstallMessageHandler(discardMessage);
  vtkObject::GlobalWarningDisplayOff();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  // One file per process: libFuzzer's parallel jobs share the working directory.
  static const std::string path = "fuzz-input-" + std::to_string(getpid()) + ML_FUZZ_EXTENSION;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  ML::Fuzz::openAndPlay(path);
  return 0;
}
