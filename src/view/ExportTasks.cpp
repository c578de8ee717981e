// Exporting every loaded model merged into one file: gathered on the render
// thread, written on the file worker.
#include <QDebug>
#include <QFileInfo>
#include <QLocale>

#include <vtkSmartPointer.h>
#include <vtkTransform.h>

#include <memory>
#include <vector>

#include "AssimpImporter.h"
#include "LoadTasks.h"
#include "Manager.h"
#include "ModelWriter.h"

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
void reportExport(Manager* manager, const QString& message, bool written)
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
}
} // namespace

void exportModels(VtkItem* item, const QString& fileName)
{
  // The job keeps the importers (and with them their scenes) alive while it reads
  // them, even if the models are closed meanwhile.
  auto held = std::make_shared<std::vector<vtkSmartPointer<AssimpImporter>>>();
  std::vector<ModelWriter::Model> models;
  for (const auto& entry : item->models)
  {
    ModelWriter::Model model;
    model.scene = entry->importer->Scene;
    AssimpImporter::ToAssimpMatrix(entry->transform->GetMatrix(), model.placement);
    model.fileName = QString::fromStdString(entry->importer->FileName);
    models.push_back(model);
    held->emplace_back(entry->importer);
  }
  Manager* manager = item->manager;
  manager->runOnGuiThread(
      [item, manager, models, held, fileName]
      {
        item->fileJobs.start(
            [item, manager, models, held, fileName](const FileJobs::Cancelled&)
            {
              const ModelWriter::Result result = ModelWriter::Write(models, fileName);
              if (!result.written)
              {
                qDebug() << "Export failed: " << result.error;
              }
              const QString message =
                  result.written ? successMessage(fileName, result) : result.error;
              item->fileJobs.post(
                  [item, manager, message, written = result.written, held]
                  {
                    reportExport(manager, message, written);
                    // The models' actors are let go where they are drawn.
                    item->run([held](VtkItem*, VtkItem::Data*) { held->clear(); });
                  });
            });
      });
}
} // namespace ML
