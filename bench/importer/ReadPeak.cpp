// Peak resident memory of one read of a model file, in MB on the last line:
//   bench_read_peak <file> assimp     Assimp's ReadFile alone, with the viewer's flags
//   bench_read_peak <file> importer   the viewer's read, conversion and actors
// The memory benchmark (bench/app/loading.py) sets the program's cost against these.

#include "AssimpImporter.h"
#include "ModelFiles.h"

#include <vtkNew.h>
#include <vtkRenderer.h>

#include <assimp/Importer.hpp>

#include <QtGlobal>

#include <fstream>
#include <iostream>
#include <string>

namespace
{
double peakResidentMegabytes()
{
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
  {
    if (line.rfind("VmHWM:", 0) == 0)
    {
      return std::stod(line.substr(6)) / 1024.0;
    }
  }
  return 0.0;
}

void silence(QtMsgType, const QMessageLogContext&, const QString&) {}
} // namespace

int main(int argc, char** argv)
{
  if (argc != 3)
  {
    std::cerr << "Usage: bench_read_peak <file> assimp|importer\n";
    return 2;
  }
  qInstallMessageHandler(silence);
  const std::string file = argv[1];
  bool read = false;
  if (std::string(argv[2]) == "assimp")
  {
    Assimp::Importer reader;
    read = ModelFiles::ReadModel(reader, file) != nullptr;
  }
  else
  {
    vtkNew<AssimpImporter> importer;
    vtkNew<vtkRenderer> renderer;
    read = importer->ReadScene(file);
    importer->ImportActors(renderer);
  }
  std::cout << (read ? "read" : "not read") << ", peak MB " << peakResidentMegabytes() << "\n";
  return read ? 0 : 1;
}
