// What the view hands out on request, on the render thread: the 3D view as an
// image (without the window's controls), and the report on a loaded file.
#include <QDebug>
#include <QFileInfo>
#include <QImage>

#include <vtkImageData.h>
#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkUnsignedCharArray.h>
#include <vtkWindowToImageFilter.h>

#include <algorithm>

#include "AssimpImporter.h"
#include "FileReport.h"
#include "ImageTasks.h"
#include "Manager.h"

namespace ML
{
namespace
{
// VTK's rows run bottom up, an image's top down.
QImage imageOf(vtkImageData* pixels)
{
  int size[3];
  pixels->GetDimensions(size);
  auto* data = static_cast<const uchar*>(pixels->GetScalarPointer());
  const int components = pixels->GetNumberOfScalarComponents();
  if (!data || components != 3 || size[0] <= 0 || size[1] <= 0)
  {
    return {};
  }
  return QImage(data, size[0], size[1], 3 * size[0], QImage::Format_RGB888).mirrored();
}
} // namespace

void saveViewImage(VtkItem* item, VtkItem::Data* data, const QString& fileName, int scale)
{
  vtkNew<vtkWindowToImageFilter> grab;
  grab->SetInput(data->renderWindow);
  grab->SetScale(std::max(scale, 1));
  grab->SetInputBufferTypeToRGB();
  grab->ReadFrontBufferOff();
  grab->Update();
  const QImage image = imageOf(grab->GetOutput());
  const bool saved = !image.isNull() && image.save(fileName, "PNG");
  Manager* manager = item->manager;
  const QString message = saved ? QString("Saved %1 (%2 × %3).")
                                      .arg(QFileInfo(fileName).fileName())
                                      .arg(image.width())
                                      .arg(image.height())
                                : QString("Cannot write the image %1.").arg(fileName);
  if (!saved)
  {
    qDebug() << "Save view failed: " << fileName;
  }
  manager->runOnGuiThread([manager, message] { emit manager->viewImageSaved(message); });
}

void reportFile(VtkItem* item, int modelIndex)
{
  const ModelEntry* model = item->model(modelIndex);
  if (!model)
  {
    return;
  }
  const AssimpImporter* importer = model->importer;
  const QString report =
      importer->Scene
          ? FileReport::Describe(*importer->Scene, QString::fromStdString(importer->FileName),
                                 importer->ReadWarnings)
          : QString();
  Manager* manager = item->manager;
  manager->runOnGuiThread([manager, report] { emit manager->fileReportReady(report); });
}
} // namespace ML
