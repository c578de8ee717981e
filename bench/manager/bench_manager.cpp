// What opening a model costs from the command to openSourceEnd (path checks,
// recent files, unload, import, lights, animation choice, camera, background and
// tree rows) next to the importer's ReadScene + ImportActors alone, for the sample
// model and for a generated mesh of 1,000,000 triangles; and one playback tick of
// the sample model (animation step plus the render it causes) as a share of the
// 100 ms clock.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>

#include <vtkActorCollection.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

#include <string>

#include "AssimpImporter.h"
#include "LoadTasks.h"
#include "PlaybackTasks.h"
#include "SceneKit.h"
#include "ViewHarness.h"

namespace
{
constexpr unsigned GridColumns = 500;
constexpr unsigned GridRows = 1000;   // 2 x 500 x 1000 = 1,000,000 triangles
constexpr double TickSeconds = 0.016; // the playback clock ticks with a 60 Hz display

std::string sampleModel()
{
  return ML_SAMPLES_DIR "/marionette.glb";
}

// A flat grid of GridColumns x GridRows quads, written once under the build tree.
std::string millionTriangleModel()
{
  const QString path = QStringLiteral(ML_BINARY_DIR "/bench-data/grid_1m_triangles.glb");
  if (QFileInfo::exists(path))
  {
    return path.toStdString();
  }
  QDir().mkpath(QFileInfo(path).path());
  Fixtures::MeshBuilder mesh;
  const aiVector3D up(0, 1, 0);
  for (unsigned r = 0; r <= GridRows; ++r)
  {
    for (unsigned c = 0; c <= GridColumns; ++c)
    {
      const float u = static_cast<float>(c) / GridColumns;
      const float v = static_cast<float>(r) / GridRows;
      mesh.addVertex(aiVector3D(u * 50.0f, 0, v * 100.0f), up, aiVector3D(u, v, 0));
    }
  }
  const unsigned stride = GridColumns + 1;
  for (unsigned r = 0; r < GridRows; ++r)
  {
    for (unsigned c = 0; c < GridColumns; ++c)
    {
      const unsigned a = r * stride + c;
      mesh.addQuad(a, a + stride, a + stride + 1, a + 1);
    }
  }
  Fixtures::SceneBuilder scene("Root");
  const unsigned material =
      scene.addMaterial(Fixtures::makeMaterial("Grey", aiColor3D(0.6f, 0.6f, 0.6f)));
  Fixtures::addNode(scene.root(), "Grid", aiMatrix4x4(),
                    {scene.addMesh(mesh.build("Grid", material))});
  Fixtures::exportScene(*scene.build(), "glb2", path.toStdString());
  return path.toStdString();
}

// The model is named by the function that provides it, so that registering the
// benchmarks does not write the large model at start-up.
using ModelFile = std::string (*)();

void openThroughManager(benchmark::State& state, ModelFile model)
{
  ML::Test::ViewHarness h;
  bool ended = false;
  QObject::connect(&h.manager, &ML::Manager::openSourceEnd, [&] { ended = true; });
  const QStringList paths{QString::fromStdString(model())};
  for (auto _ : state)
  {
    ended = false;
    h.manager.openModels(paths);
    h.runTasks();
    state.PauseTiming();
    if (!ended || h.item.models.empty())
    {
      state.SkipWithError("the open did not end with a loaded model");
    }
    ML::unloadModels(&h.item, h.data);
    state.ResumeTiming();
  }
}

void readAndImport(benchmark::State& state, ModelFile model)
{
  const std::string path = model();
  ML::Test::ViewHarness h;
  for (auto _ : state)
  {
    auto importer = vtkSmartPointer<AssimpImporter>::New();
    importer->FileName = path;
    if (!importer->ReadScene(importer->FileName))
    {
      state.SkipWithError("the file could not be read");
    }
    importer->ImportActors(h.data->renderer);
    state.PauseTiming();
    h.data->renderer->RemoveAllViewProps();
    importer = nullptr;
    state.ResumeTiming();
  }
}

// Every figure here is wall-clock milliseconds: the work spans the render tasks.
void wallClockMilliseconds(benchmark::internal::Benchmark* run)
{
  run->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK_CAPTURE(openThroughManager, sample, &sampleModel)->Apply(wallClockMilliseconds);
BENCHMARK_CAPTURE(readAndImport, sample, &sampleModel)->Apply(wallClockMilliseconds);
BENCHMARK_CAPTURE(openThroughManager, millionTriangles, &millionTriangleModel)
    ->Apply(wallClockMilliseconds);
BENCHMARK_CAPTURE(readAndImport, millionTriangles, &millionTriangleModel)
    ->Apply(wallClockMilliseconds);

// The sample model loaded and playing, as the clock finds it.
void startPlayback(benchmark::State& state, ML::Test::ViewHarness& h)
{
  h.manager.openModels({QString::fromStdString(sampleModel())});
  h.runTasks();
  h.manager.findAnimatedModel();
  if (ML::animationCount(&h.item, h.manager.state.currentModel) == 0)
  {
    state.SkipWithError("the sample model has no animation");
  }
  h.item.playing = true;
  h.renderWindow->Render();
}

// Seconds per tick divided by the clock's tick: above 1, playback steps fall behind it.
void reportShareOfTick(benchmark::State& state)
{
  state.counters["share_of_tick"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * TickSeconds,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The clock's render task on the sample model: the animation step, then the frame
// the scene graph would render next.
void BM_PlaybackTickWithRender(benchmark::State& state)
{
  ML::Test::ViewHarness h(1280, 720);
  startPlayback(state, h);
  for (auto _ : state)
  {
    ML::timerTask(&h.item, h.data, TickSeconds);
    h.renderWindow->Render();
  }
  reportShareOfTick(state);
}
BENCHMARK(BM_PlaybackTickWithRender)->Apply(wallClockMilliseconds);

// The animation step alone, without the frame.
void BM_PlaybackStepOnly(benchmark::State& state)
{
  ML::Test::ViewHarness h(1280, 720);
  startPlayback(state, h);
  for (auto _ : state)
  {
    ML::timerTask(&h.item, h.data, TickSeconds);
  }
  reportShareOfTick(state);
}
BENCHMARK(BM_PlaybackStepOnly)->Apply(wallClockMilliseconds);
} // namespace
