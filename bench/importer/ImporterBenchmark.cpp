// What the importer costs on top of Assimp, and what one animation step costs as the
// skeleton and the key lists grow. The scenes are generated once into a temporary
// folder as GLB files.
//
//   bench_importer --benchmark_counters_tabular=true
//
// Read: compare "Read/Importer/..." with "Read/AssimpOnly/..." of the same file (the
// importer's conversion should add at most 30 % to Assimp's read). The sheets have
// normals and texture coordinates; one of them also stores tangents, which spares
// the tangent filter (Assimp's own format: its glTF writer drops tangents).
// UpdateTimeStep: per call; keys are found by binary search, so doubling the keys
// should cost far less than doubling the joints.

#include "AssimpImporter.h"
#include "SceneKit.h"

#include <vtkNew.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>
#include <vtkTransform.h>

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <QtGlobal>

#include <algorithm>
#include <cmath>

using namespace Fixtures;

namespace
{
constexpr unsigned ReadFlags = aiProcess_LimitBoneWeights | aiProcess_ValidateDataStructure;

// The same sheet with a tangent frame stored, so that no tangents are generated.
std::unique_ptr<aiScene> withTangents(std::unique_ptr<aiScene> scene)
{
  aiMesh* mesh = scene->mMeshes[0];
  mesh->mTangents = new aiVector3D[mesh->mNumVertices];
  mesh->mBitangents = new aiVector3D[mesh->mNumVertices];
  std::fill_n(mesh->mTangents, mesh->mNumVertices, aiVector3D(1, 0, 0));
  std::fill_n(mesh->mBitangents, mesh->mNumVertices, aiVector3D(0, 0, 1));
  return scene;
}

// A chain of joints, each animated by its own channel with the given number of keys
// of every kind, and one small mesh with a triangle on each joint.
std::unique_ptr<aiScene> makeAnimatedSkeleton(unsigned joints, unsigned keys)
{
  SceneBuilder scene("Root");
  MeshBuilder mesh;
  std::vector<std::string> bones;
  std::vector<aiMatrix4x4> inverseBinds;
  std::vector<aiNodeAnim*> channels;
  aiNode* parent = scene.root();
  const double duration = keys - 1;
  for (unsigned j = 0; j < joints; ++j)
  {
    bones.push_back("Joint" + std::to_string(j));
    inverseBinds.push_back(translation(0, -0.1f * j, 0));
    parent = addNode(parent, bones.back(), translation(0, j == 0 ? 0 : 0.1f, 0));
    const unsigned first = mesh.vertexCount();
    const float y = 0.1f * j;
    mesh.addTriangle(mesh.addVertex({0, y, 0}, {0, 0, 1}, {0, 0, 0}),
                     mesh.addVertex({0.1f, y, 0}, {0, 0, 1}, {1, 0, 0}),
                     mesh.addVertex({0, y + 0.1f, 0}, {0, 0, 1}, {0, 1, 0}));
    mesh.bind(first, j);

    VectorTrack positions, scales;
    RotationTrack rotations;
    for (unsigned k = 0; k < keys; ++k)
    {
      const float phase = static_cast<float>(k) * 0.05f + static_cast<float>(j);
      positions.keys.emplace_back(k, aiVector3D(0, j == 0 ? 0 : 0.1f, 0.01f * std::sin(phase)));
      rotations.keys.emplace_back(k, quaternion({0, 0, 1}, 20 * std::sin(phase)));
      scales.keys.emplace_back(k, aiVector3D(1 + 0.1f * std::sin(phase)));
    }
    channels.push_back(makeChannel(bones.back(), positions, rotations, scales));
  }
  const unsigned material = scene.addMaterial(makeMaterial("Chain", {0.5f, 0.5f, 0.5f}));
  addNode(scene.root(), "Chain", aiMatrix4x4(),
          {scene.addMesh(mesh.build("Chain", material, bones, inverseBinds))});
  scene.addAnimation(makeAnimation("Wave", duration, 30, channels));
  return scene.build();
}

std::string writeScene(const aiScene& scene, const QTemporaryDir& folder, const std::string& name,
                       const char* format = "glb2")
{
  const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
  if (!exportScene(scene, format, path))
  {
    std::exit(1);
  }
  return path;
}

void AssimpReadOnly(benchmark::State& state, const std::string& path)
{
  for (auto _ : state)
  {
    Assimp::Importer importer;
    importer.SetPropertyInteger(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, 0);
    benchmark::DoNotOptimize(importer.ReadFile(path, ReadFlags));
  }
}

void ImporterReadAndImport(benchmark::State& state, const std::string& path)
{
  for (auto _ : state)
  {
    auto importer = vtkSmartPointer<AssimpImporter>::New();
    vtkNew<vtkRenderer> renderer;
    importer->FileName = path;
    if (!importer->ReadScene(path))
    {
      state.SkipWithError("cannot read the scene");
      break;
    }
    importer->ImportActors(renderer);
  }
}

void UpdateTimeStep(benchmark::State& state, const std::string& path, unsigned joints,
                    unsigned keys)
{
  auto importer = vtkSmartPointer<AssimpImporter>::New();
  vtkNew<vtkRenderer> renderer;
  if (!importer->ReadScene(path))
  {
    state.SkipWithError("cannot read the scene");
    return;
  }
  importer->ImportActors(renderer);
  vtkNew<vtkTransform> model;
  double range[2];
  importer->GetTimeRange(0, range);
  // Step through the whole animation so that every search ends somewhere else.
  const double step = range[1] / 997;
  double t = 0;
  for (auto _ : state)
  {
    importer->UpdateTimeStep(t, model);
    t = t + step > range[1] ? t + step - range[1] : t + step;
  }
  state.counters["joints"] = joints;
  state.counters["keys"] = keys;
}

void silence(QtMsgType, const QMessageLogContext&, const QString&) {}
} // namespace

int main(int argc, char** argv)
{
  benchmark::Initialize(&argc, argv);
  // The importer reports every node it walks; that is not what is measured here.
  qInstallMessageHandler(silence);

  const QTemporaryDir folder;
  const std::string sheet = writeScene(*makeSheet(710, 0), folder, "sheet_1M.glb");
  const std::string withFrame =
      writeScene(*withTangents(makeSheet(710, 0)), folder, "sheet_1M_tangents.assbin", "assbin");
  const std::string skinned = writeScene(*makeSheet(320, 8), folder, "skinned_100k.glb");
  for (const auto& [name, path] : {std::pair{"sheet_1M_triangles", sheet},
                                   std::pair{"sheet_1M_triangles_with_tangents_assbin", withFrame},
                                   std::pair{"skinned_100k_vertices", skinned}})
  {
    benchmark::RegisterBenchmark((std::string("Read/AssimpOnly/") + name).c_str(), AssimpReadOnly,
                                 path)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2);
    benchmark::RegisterBenchmark((std::string("Read/Importer/") + name).c_str(),
                                 ImporterReadAndImport, path)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(2);
  }

  for (const auto& [joints, keys] : {std::pair{150u, 1000u}, {300u, 1000u}, {150u, 2000u}})
  {
    const std::string name = std::to_string(joints) + "_joints_" + std::to_string(keys) + "_keys";
    const std::string path = writeScene(*makeAnimatedSkeleton(joints, keys), folder, name + ".glb");
    benchmark::RegisterBenchmark(("UpdateTimeStep/" + name).c_str(), UpdateTimeStep, path, joints,
                                 keys)
        ->Unit(benchmark::kMicrosecond);
  }

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
