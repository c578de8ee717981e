#include "CommandLine.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <assimp/Importer.hpp>

#include <memory>
#include <vector>

#include "ModelFiles.h"
#include "ModelWriter.h"

namespace ML
{
namespace
{
const char* const Usage =
    "Usage: marionette-lab [FILE...]\n"
    "       marionette-lab --export OUT FILE...\n"
    "\n"
    "Without options, opens the model files (FBX, glTF, GLB, DAE) in the viewer.\n"
    "\n"
    "Options:\n"
    "  --export OUT FILE...  read the files, merge them as the window's export does and\n"
    "                        write OUT (.glb, .gltf, .dae or .fbx), without a window\n"
    "  -h, --help            show this text\n";

int fail(const QString& reason)
{
  QTextStream(stderr) << "marionette-lab: " << reason << Qt::endl;
  return 1;
}

int exportFiles(const QStringList& arguments)
{
  if (arguments.size() < 2)
  {
    return fail("--export needs an output file and at least one model file");
  }
  std::vector<std::unique_ptr<Assimp::Importer>> readers;
  std::vector<ModelWriter::Model> models;
  for (const QString& file : arguments.mid(1))
  {
    readers.push_back(std::make_unique<Assimp::Importer>());
    const aiScene* scene =
        ModelFiles::ReadModel(*readers.back(), QFile::encodeName(file).toStdString());
    if (!scene)
    {
      return fail(QString("cannot read %1: %2").arg(file, readers.back()->GetErrorString()));
    }
    ModelWriter::Model model;
    model.scene = scene;
    model.fileName = QFileInfo(file).absoluteFilePath();
    models.push_back(model);
  }
  const ModelWriter::Result result = ModelWriter::Write(models, arguments.first());
  if (!result.written)
  {
    return fail(QString("cannot export %1: %2").arg(arguments.first(), result.error));
  }
  for (const QString& notice : result.notices)
  {
    QTextStream(stderr) << "marionette-lab: note: " << notice << Qt::endl;
  }
  return 0;
}
} // namespace

std::optional<int> runWithoutWindow(int argc, char** argv)
{
  QStringList arguments;
  for (int i = 1; i < argc; ++i)
  {
    arguments.append(QString::fromLocal8Bit(argv[i]));
  }
  if (arguments.value(0) == "--help" || arguments.value(0) == "-h")
  {
    QTextStream(stdout) << Usage;
    return 0;
  }
  if (arguments.value(0) == "--export")
  {
    return exportFiles(arguments.mid(1));
  }
  return std::nullopt;
}
} // namespace ML
