// Cost of one ground-grid rebuild on a scene of 200 actors, for a frame along
// the world axes (each prop's own bounds) and for a turned frame (every point),
// and of one camera-feedback event.
#include <benchmark/benchmark.h>

#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>

#include <cmath>

#include "AppearanceTasks.h"
#include "CameraTasks.h"
#include "LoadTasks.h"
#include "ViewHarness.h"

namespace
{
constexpr int actorCount = 200;
constexpr int rows = 25;
constexpr int columns = 40;

// A wavy sheet of rows x columns points, one per actor, spread over the floor.
void addSheet(ML::Test::ViewHarness& h, int index)
{
  vtkNew<vtkPoints> points;
  const double x0 = (index % 20) * 3.0;
  const double z0 = (index / 20) * 3.0;
  for (int r = 0; r < rows; ++r)
  {
    for (int c = 0; c < columns; ++c)
    {
      const double x = x0 + c * 0.05;
      const double z = z0 + r * 0.1;
      points->InsertNextPoint(x, std::sin(x) * std::cos(z), z);
    }
  }
  vtkNew<vtkCellArray> strips;
  for (int r = 0; r + 1 < rows; ++r)
  {
    strips->InsertNextCell(2 * columns);
    for (int c = 0; c < columns; ++c)
    {
      strips->InsertCellPoint(r * columns + c);
      strips->InsertCellPoint((r + 1) * columns + c);
    }
  }
  vtkNew<vtkPolyData> sheet;
  sheet->SetPoints(points);
  sheet->SetStrips(strips);
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputData(sheet);
  vtkNew<vtkActor> actor;
  actor->SetMapper(mapper);
  actor->SetPosition(0.0, index * 0.01, 0.0);
  h.data->renderer->AddActor(actor);
}

struct Scene
{
  Scene()
  {
    for (int i = 0; i < actorCount; ++i)
    {
      addSheet(h, i);
    }
    h.manager.state.showGrid = true;
  }
  ML::Test::ViewHarness h;
};

void runGrid(benchmark::State& state, const std::array<double, 3>& up,
             const std::array<double, 3>& right)
{
  Scene scene;
  ML::setViewDirection(&scene.h.item, scene.h.data, up, right);
  for (auto _ : state)
  {
    ML::applyGrid(&scene.h.item, scene.h.data);
  }
  state.counters["actors"] = actorCount;
  state.counters["points"] = actorCount * rows * columns;
}

void BM_GridAxisAlignedFrame(benchmark::State& state)
{
  runGrid(state, {0.0, 0.0, 1.0}, {0.0, -1.0, 0.0});
}
BENCHMARK(BM_GridAxisAlignedFrame)->Unit(benchmark::kMicrosecond);

void BM_GridTurnedFrame(benchmark::State& state)
{
  runGrid(state, {0.0, 1.0, 0.0}, {1.0, 0.0, 1.0});
}
BENCHMARK(BM_GridTurnedFrame)->Unit(benchmark::kMicrosecond);

// Every event moves the camera, so all six setters store and notify.
void BM_CameraFeedbackMoving(benchmark::State& state)
{
  ML::Test::ViewHarness h;
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  double x = 0.0;
  for (auto _ : state)
  {
    x += 1.0;
    camera->SetPosition(x, 2.5, 100.0);
    camera->SetFocalPoint(x, 0.0, -x);
    ML::onCameraChanged(h.interactor, vtkCommand::MouseMoveEvent, h.data, nullptr);
  }
}
BENCHMARK(BM_CameraFeedbackMoving)->Unit(benchmark::kNanosecond);

// The common case while hovering: the camera did not move, nothing is notified.
void BM_CameraFeedbackStill(benchmark::State& state)
{
  ML::Test::ViewHarness h;
  for (auto _ : state)
  {
    ML::onCameraChanged(h.interactor, vtkCommand::MouseMoveEvent, h.data, nullptr);
  }
}
BENCHMARK(BM_CameraFeedbackStill)->Unit(benchmark::kNanosecond);
} // namespace
