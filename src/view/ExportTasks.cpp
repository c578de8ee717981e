// Exporting every loaded model merged into one file, on the render thread.
#include <QDebug>
#include <QFileInfo>
#include <QLocale>

#include <vtkTransform.h>

#include "AssimpImporter.h"
#include "Manager.h"
#include "ModelWriter.h"
#include "RenderTasks.h"

namespace ML
{
namespace
{
// What the window says after a written export: name and size, then anything the
// file lacks.
QString successMessage(const QString& fileName, const ModelWriter::Result& result)
{
  QStringList lines{
      QString("Exported %1 (%2).")
          .arg(QFileInfo(fileName).fileName(), QLocale().formattedDataSize(result.bytes))};
  return (lines + result.notices).join(u'\n');
}
} // namespace

void exportModels(VtkItem* item, const QString& fileName)
{
  std::vector<ModelWriter::Model> models;
  for (const auto& entry : item->models)
  {
    ModelWriter::Model model;
    model.scene = entry->importer->Scene;
    AssimpImporter::ToAssimpMatrix(entry->transform->GetMatrix(), model.placement);
    model.fileName = QString::fromStdString(entry->importer->FileName);
    models.push_back(model);
  }
  const ModelWriter::Result result = ModelWriter::Write(models, fileName);
  if (!result.written)
  {
    qDebug() << "Export failed: " << result.error;
  }
  Manager* manager = item->manager;
  const QString message = result.written ? successMessage(fileName, result) : result.error;
  manager->runOnGuiThread(
      [manager, message, written = result.written]
      {
        manager->state.exportMessage = message;
        emit manager->exportMessageChanged();
        if (written)
        {
          emit manager->exportSourceEnd();
        }
        else
        {
          emit manager->exportSourceError();
        }
      });
}
} // namespace ML
