#include "ViewHarness.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <vtkUnsignedCharArray.h>

namespace ML::Test
{
ViewHarness::ViewHarness(int width, int height)
{
  manager.vtkItem = &item;
  item.manager = &manager;
  item.setTaskDispatcher([this](VtkItem::RenderTask task) { pending.push_back(std::move(task)); });

  renderWindow = vtkSmartPointer<vtkRenderWindow>::New();
  renderWindow->SetOffScreenRendering(1);
  renderWindow->SetSize(width, height);
  interactor = vtkSmartPointer<vtkGenericRenderWindowInteractor>::New();
  interactor->SetRenderWindow(renderWindow);
  userData = item.initializeVTK(renderWindow);
  data = VtkItem::Data::SafeDownCast(userData);
}

ViewHarness::~ViewHarness()
{
  runTasks();
  item.destroyingVTK(renderWindow, userData);
  QCoreApplication::processEvents();
}

void ViewHarness::runTasks()
{
  for (;;)
  {
    // Reads and writes end on the file worker, which then queues GUI calls; those
    // may queue tasks, which may start more file work.
    item.fileJobs.waitForDone();
    QCoreApplication::processEvents();
    if (pending.empty() && item.fileJobs.waitForDone(0))
    {
      return;
    }
    while (!pending.empty())
    {
      VtkItem::RenderTask task = std::move(pending.front());
      pending.pop_front();
      task(&item, data);
    }
  }
}

void ViewHarness::open(const QStringList& paths)
{
  manager.openModels(paths);
  runTasks();
}

QImage ViewHarness::grab()
{
  renderWindow->Render();
  const int* size = renderWindow->GetSize();
  vtkNew<vtkUnsignedCharArray> pixels;
  renderWindow->GetRGBACharPixelData(0, 0, size[0] - 1, size[1] - 1, 0, pixels);
  QImage image(size[0], size[1], QImage::Format_RGBA8888);
  for (int y = 0; y < size[1]; ++y)
  {
    // VTK's rows run bottom-up.
    const unsigned char* row = pixels->GetPointer(static_cast<vtkIdType>(y) * size[0] * 4);
    std::copy(row, row + size[0] * 4, image.scanLine(size[1] - 1 - y));
  }
  return image;
}

void expectNear(const double* actual, const std::array<double, 3>& expected)
{
  for (size_t i = 0; i < 3; ++i)
    EXPECT_NEAR(actual[i], expected[i], 1e-5) << "component " << i;
}
} // namespace ML::Test
