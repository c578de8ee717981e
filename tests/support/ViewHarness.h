#pragma once

#include <QImage>

#include <vtkGenericRenderWindowInteractor.h>
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>

#include <array>
#include <deque>

#include "Manager.h"
#include "VtkItem.h"

namespace ML::Test
{
// The Manager and the render item wired as at start-up, with the item's render
// side built on an offscreen render window instead of the Qt Quick scene graph.
// Render tasks queued by Manager commands wait in `pending` until runTasks().
class ViewHarness
{
public:
  explicit ViewHarness(int width = 320, int height = 240);
  ~ViewHarness();
  ViewHarness(const ViewHarness&) = delete;
  ViewHarness& operator=(const ViewHarness&) = delete;

  // Runs the queued render tasks in order, file work and the GUI-thread calls it
  // queues included, until nothing is left to do.
  void runTasks();
  void open(const QStringList& paths);
  // Renders a frame and returns it (top row first).
  QImage grab();

  Manager manager;
  VtkItem item;
  vtkSmartPointer<vtkRenderWindow> renderWindow;
  vtkSmartPointer<vtkGenericRenderWindowInteractor> interactor;
  vtkSmartPointer<vtkObject> userData;
  VtkItem::Data* data = nullptr;
  std::deque<VtkItem::RenderTask> pending;
};

void expectNear(const double* actual, const std::array<double, 3>& expected);
} // namespace ML::Test
