// Frames per second of an offscreen render of a large skinned mesh whose 64 joint
// matrices change every frame: skinned in the vertex shader, drawn unskinned, and
// deformed on the CPU and uploaded again each frame. Each runs unlit (positions
// only) and lit (normals follow the joints too, as for every shaded model).
#include "vtkMLPolyDataMapper.h"

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkShaderProperty.h>
#include <vtkSmartPointer.h>
#include <vtkUniforms.h>
#include <vtkUnsignedShortArray.h>

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <vector>

namespace
{
constexpr int GridSide = 450; // 202,500 vertices
constexpr int JointCount = 64;
constexpr int WindowSize = 256;

// A square sheet in the XY plane facing +Z; each vertex follows the four joints
// of the vertical bands around it.
vtkSmartPointer<vtkPolyData> makeSkinnedSheet(bool withNormals)
{
  vtkNew<vtkPoints> points;
  points->SetDataTypeToFloat();
  points->SetNumberOfPoints(GridSide * GridSide);
  vtkNew<vtkUnsignedShortArray> joints;
  joints->SetName("JOINTS_0");
  joints->SetNumberOfComponents(4);
  joints->SetNumberOfTuples(GridSide * GridSide);
  vtkNew<vtkFloatArray> weights;
  weights->SetName("WEIGHTS_0");
  weights->SetNumberOfComponents(4);
  weights->SetNumberOfTuples(GridSide * GridSide);

  for (int row = 0; row < GridSide; ++row)
  {
    for (int col = 0; col < GridSide; ++col)
    {
      const vtkIdType id = row * GridSide + col;
      const double u = double(col) / (GridSide - 1);
      const double v = double(row) / (GridSide - 1);
      points->SetPoint(id, 4.0 * u - 2.0, 4.0 * v - 2.0, 0.0);
      const int band = static_cast<int>(u * (JointCount - 4));
      const unsigned short jointTuple[4] = {
          static_cast<unsigned short>(band), static_cast<unsigned short>(band + 1),
          static_cast<unsigned short>(band + 2), static_cast<unsigned short>(band + 3)};
      joints->SetTypedTuple(id, jointTuple);
      const float weightTuple[4] = {0.4f, 0.3f, 0.2f, 0.1f};
      weights->SetTypedTuple(id, weightTuple);
    }
  }

  vtkNew<vtkCellArray> triangles;
  for (int row = 0; row + 1 < GridSide; ++row)
  {
    for (int col = 0; col + 1 < GridSide; ++col)
    {
      const vtkIdType a = row * GridSide + col;
      const vtkIdType first[3] = {a, a + 1, a + GridSide + 1};
      const vtkIdType second[3] = {a, a + GridSide + 1, a + GridSide};
      triangles->InsertNextCell(3, first);
      triangles->InsertNextCell(3, second);
    }
  }

  auto sheet = vtkSmartPointer<vtkPolyData>::New();
  sheet->SetPoints(points);
  sheet->SetPolys(triangles);
  sheet->GetPointData()->AddArray(joints);
  sheet->GetPointData()->AddArray(weights);
  if (withNormals)
  {
    vtkNew<vtkFloatArray> normals;
    normals->SetNumberOfComponents(3);
    normals->SetNumberOfTuples(GridSide * GridSide);
    normals->FillComponent(0, 0.0);
    normals->FillComponent(1, 0.0);
    normals->FillComponent(2, 1.0);
    sheet->GetPointData()->SetNormals(normals);
  }
  return sheet;
}

// Column-major joint matrices of frame `frame`: each joint turns about Z by a
// small angle that changes from frame to frame.
std::vector<float> posedJoints(int frame)
{
  std::vector<float> matrices(16 * JointCount, 0.0f);
  for (int j = 0; j < JointCount; ++j)
  {
    const double angle = 0.01 * std::sin(0.1 * frame + 0.2 * j);
    float* m = &matrices[16 * j];
    m[0] = static_cast<float>(std::cos(angle));
    m[1] = static_cast<float>(std::sin(angle));
    m[4] = -m[1];
    m[5] = m[0];
    m[10] = 1.0f;
    m[13] = static_cast<float>(0.05 * angle);
    m[15] = 1.0f;
  }
  return matrices;
}

// Linear blend skinning of every vertex of `rest` into `target`, as the vertex
// shader does: positions by the blended matrix, normals (when both meshes have
// them) by its upper 3x3 part.
void deformOnCpu(vtkPolyData* rest, const std::vector<float>& matrices, vtkPolyData* target)
{
  auto* restPoints = vtkFloatArray::SafeDownCast(rest->GetPoints()->GetData());
  auto* joints = vtkUnsignedShortArray::SafeDownCast(rest->GetPointData()->GetArray("JOINTS_0"));
  auto* weights = vtkFloatArray::SafeDownCast(rest->GetPointData()->GetArray("WEIGHTS_0"));
  auto* out = vtkFloatArray::SafeDownCast(target->GetPoints()->GetData());
  auto* restNormals = vtkFloatArray::SafeDownCast(rest->GetPointData()->GetNormals());
  auto* outNormals = vtkFloatArray::SafeDownCast(target->GetPointData()->GetNormals());
  const float* p = restPoints->GetPointer(0);
  const unsigned short* jointIds = joints->GetPointer(0);
  const float* w = weights->GetPointer(0);
  float* q = out->GetPointer(0);
  const float* n = restNormals && outNormals ? restNormals->GetPointer(0) : nullptr;
  float* qn = n ? outNormals->GetPointer(0) : nullptr;

  const vtkIdType count = rest->GetNumberOfPoints();
  for (vtkIdType v = 0; v < count; ++v)
  {
    std::array<float, 16> skin{};
    for (int k = 0; k < 4; ++k)
    {
      const float* m = &matrices[16 * jointIds[4 * v + k]];
      for (int e = 0; e < 16; ++e)
      {
        skin[e] += w[4 * v + k] * m[e];
      }
    }
    const float* pv = &p[3 * v];
    for (int r = 0; r < 3; ++r)
    {
      q[3 * v + r] = skin[r] * pv[0] + skin[4 + r] * pv[1] + skin[8 + r] * pv[2] + skin[12 + r];
    }
    if (n)
    {
      const float* nv = &n[3 * v];
      for (int r = 0; r < 3; ++r)
      {
        qn[3 * v + r] = skin[r] * nv[0] + skin[4 + r] * nv[1] + skin[8 + r] * nv[2];
      }
    }
  }
  target->GetPoints()->Modified();
  if (qn)
  {
    outNormals->Modified();
  }
}

struct Scene
{
  Scene(vtkPolyData* mesh, bool lit)
  {
    mapper->SetInputData(mesh);
    actor->SetMapper(mapper);
    actor->GetProperty()->SetLighting(lit);
    renderer->AddActor(actor);
    renderer->GetActiveCamera()->SetPosition(0.0, 0.0, 8.0);
    renderer->ResetCamera();
    window->SetOffScreenRendering(1);
    window->SetSize(WindowSize, WindowSize);
    window->AddRenderer(renderer);
  }

  // As the importer poses a skinned actor: its vertex uniforms are replaced.
  void setJoints(std::vector<float>& matrices)
  {
    vtkUniforms* uniforms = actor->GetShaderProperty()->GetVertexCustomUniforms();
    uniforms->RemoveAllUniforms();
    uniforms->SetUniformMatrix4x4v("jointMatrices", JointCount, matrices.data());
  }

  vtkNew<vtkMLPolyDataMapper> mapper;
  vtkNew<vtkActor> actor;
  vtkNew<vtkRenderer> renderer;
  vtkNew<vtkRenderWindow> window;
};

void setFrameRate(benchmark::State& state)
{
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

bool litRun(const benchmark::State& state)
{
  return state.range(0) != 0;
}

void BM_GpuSkinning(benchmark::State& state)
{
  auto sheet = makeSkinnedSheet(litRun(state));
  Scene scene(sheet, litRun(state));
  int frame = 0;
  for (auto _ : state)
  {
    std::vector<float> matrices = posedJoints(frame++);
    scene.setJoints(matrices);
    scene.window->Render();
  }
  setFrameRate(state);
}

void BM_Unskinned(benchmark::State& state)
{
  auto sheet = makeSkinnedSheet(litRun(state));
  Scene scene(sheet, litRun(state));
  for (auto _ : state)
  {
    scene.window->Render();
  }
  setFrameRate(state);
}

void BM_CpuDeformation(benchmark::State& state)
{
  auto rest = makeSkinnedSheet(litRun(state));
  auto deformed = vtkSmartPointer<vtkPolyData>::New();
  vtkNew<vtkPoints> points;
  points->DeepCopy(rest->GetPoints());
  deformed->SetPoints(points);
  deformed->SetPolys(rest->GetPolys());
  if (vtkDataArray* restNormals = rest->GetPointData()->GetNormals())
  {
    vtkNew<vtkFloatArray> normals;
    normals->DeepCopy(restNormals);
    deformed->GetPointData()->SetNormals(normals);
  }
  Scene scene(deformed, litRun(state));
  int frame = 0;
  for (auto _ : state)
  {
    deformOnCpu(rest, posedJoints(frame++), deformed);
    scene.window->Render();
  }
  setFrameRate(state);
}

void frameRateRuns(benchmark::internal::Benchmark* run)
{
  run->ArgName("lit")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
}
} // namespace

BENCHMARK(BM_GpuSkinning)->Apply(frameRateRuns);
BENCHMARK(BM_Unskinned)->Apply(frameRateRuns);
BENCHMARK(BM_CpuDeformation)->Apply(frameRateRuns);

BENCHMARK_MAIN();
