// Reading real files: lights, skinned and textured models of the Assimp test set,
// deliberately broken, truncated and empty files, and every model of the test set.

#include "ImporterTestSupport.h"
#include "MessageLog.h"
#include "TestPaths.h"

#include <vtkImageData.h>
#include <vtkProperty.h>
#include <vtkTexture.h>

#include <assimp/scene.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <iostream>

using namespace ML::Test;

namespace
{
// A failed read writes exactly Assimp's report: the file and the reason, or the
// text of an exception.
void expectReport(const QStringList& lines, const ImportedModel& model, const std::string& path)
{
  EXPECT_EQ(model->Scene, nullptr) << path;
  ASSERT_FALSE(lines.isEmpty()) << path;
  if (lines[0].startsWith("Assimp exception: "))
  {
    EXPECT_EQ(lines.size(), 1) << path;
    return;
  }
  ASSERT_EQ(lines.size(), 2) << path << "\n" << lines.join("\n").toStdString();
  EXPECT_EQ(lines[0], "Assimp failed to load:  \"" + QString::fromStdString(path) + "\"");
  EXPECT_EQ(lines[1], QString("Assimp error:  ") + model->Importer.GetErrorString());
}

void expectRejected(const std::string& path)
{
  MessageLog log;
  ImportedModel model(path);
  EXPECT_FALSE(model.read()) << path;
  expectReport(log.lines(), model, path);
}

// Damaged files either fail with the report or give a scene that imports and poses.
void expectReportedFailureOrScene(const std::string& path)
{
  MessageLog log;
  ImportedModel model(path);
  if (!model.read())
  {
    expectReport(log.lines(), model, path);
    return;
  }
  if (model->Scene->mNumAnimations > 0)
  {
    model.poseAt(0.5);
  }
}

TEST(BrokenFiles, RejectedGltfFilesAreReportedWithAssimpsReason)
{
  for (const char* name : {"IndexOutOfRange/AllIndicesOutOfRange.gltf", "wrongTypes/badArray.gltf",
                           "wrongTypes/badExtension.gltf", "wrongTypes/badNumber.gltf",
                           "wrongTypes/badObject.gltf", "wrongTypes/badString.gltf",
                           "wrongTypes/badUint.gltf", "SchemaFailures/sceneWrongType.gltf",
                           "RecursiveNodes/RecursiveNodes.gltf", "TestNoRootNode/NoScene.gltf"})
  {
    expectRejected(assimpModel(std::string("glTF2/") + name));
  }
  MessageLog log;
  ImportedModel recursive(assimpModel("glTF2/RecursiveNodes/RecursiveNodes.gltf"));
  EXPECT_EQ(log.lines().value(1), "Assimp error:  GLTF: Object at index 0 in array \"nodes\" has "
                                  "recursive reference to itself");
}

TEST(BrokenFiles, DamagedButReadableGltfFilesImport)
{
  for (const char* name :
       {"IndexOutOfRange/IndexOutOfRange.gltf", "TestNoRootNode/SceneWithoutNodes.gltf",
        "BoxWithInfinites-glTF-Binary/BoxWithInfinites.glb"})
  {
    ImportedModel model(assimpModel(std::string("glTF2/") + name));
    EXPECT_TRUE(model.read()) << name;
    EXPECT_EQ(model->NodeActors.count(model->Scene->mRootNode->mName.C_Str()), 1u) << name;
  }
}

TEST(BrokenFiles, MissingFileIsReported)
{
  expectRejected(fixture("no_such_model.glb"));
}

TEST(BrokenFiles, EmptyAndTruncatedFilesOfEveryFormat)
{
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  for (const char* extension : {".glb", ".gltf", ".fbx", ".dae"})
  {
    const QString empty = folder.filePath(QString("empty") + extension);
    QFile(empty).open(QIODevice::WriteOnly);
    expectRejected(empty.toStdString());

    for (const std::string& source : {fixture(std::string("skinned") + extension),
                                      fixture(std::string("textured_external") + extension),
                                      sharedModel(std::string("arm_two_clips") + extension)})
    {
      QFile original(QString::fromStdString(source));
      ASSERT_TRUE(original.open(QIODevice::ReadOnly)) << source;
      const QByteArray bytes = original.readAll();
      for (const double fraction : {0.1, 0.5, 0.9})
      {
        const QString cut = folder.filePath(QString("cut_%1_%2%3")
                                                .arg(QFileInfo(original).baseName())
                                                .arg(fraction)
                                                .arg(extension));
        QFile truncated(cut);
        ASSERT_TRUE(truncated.open(QIODevice::WriteOnly));
        truncated.write(bytes.left(static_cast<int>(bytes.size() * fraction)));
        truncated.close();
        expectReportedFailureOrScene(cut.toStdString());
      }
    }
  }
}

TEST(Lights, LightNodesHaveGlobalMatrices)
{
  for (const char* name : {"lights.dae", "lights.fbx"})
  {
    ImportedModel model(fixture(name));
    ASSERT_TRUE(model.read());
    ASSERT_EQ(model->Scene->mNumLights, 3u) << name;
    for (unsigned i = 0; i < 3; ++i)
    {
      EXPECT_NE(model.global(model->Scene->mLights[i]->mName.C_Str()), nullptr) << name;
    }
    EXPECT_TRUE(matrixNear(translate(-2, 2, 4), model.global("FillLight"), 1e-6)) << name;
  }
  ImportedModel gltf(fixture("lights.gltf"));
  ASSERT_TRUE(gltf.read());
  EXPECT_EQ(gltf->Scene->mNumLights, 0u) << "Assimp's glTF writer leaves lights out";

  struct Lamps
  {
    const char* name;
    bool checkPlacement; // FBX adds its unit scale; Collada's root turns Z-up into Y-up
    std::array<double, 3> lamp0;
  };
  for (const Lamps& file :
       {Lamps{"four_lights.glb", true, {2, 3, 2}}, Lamps{"four_lights.gltf", true, {2, 3, 2}},
        Lamps{"four_lights.dae", true, {2, 3, 2}}, Lamps{"four_lights.fbx", false, {}}})
  {
    const char* name = file.name;
    ImportedModel model(sharedModel(name));
    ASSERT_TRUE(model.read()) << name;
    ASSERT_EQ(model->Scene->mNumLights, 4u) << name;
    for (unsigned i = 0; i < 4; ++i)
    {
      EXPECT_NE(model.global(model->Scene->mLights[i]->mName.C_Str()), nullptr) << name;
    }
    if (file.checkPlacement)
    {
      const Matrix global = elementsOf(model.global("Lamp_0"));
      for (int row = 0; row < 3; ++row)
      {
        EXPECT_NEAR(global[4 * row + 3], file.lamp0[row], 1e-5) << name;
      }
    }
  }
}

TEST(AssimpModels, SkinnedFbxAndGltfModelsAnimate)
{
  for (const auto& [name, bones] :
       {std::pair<const char*, int>{"FBX/animation_with_skeleton.fbx", 13},
        {"FBX/huesitos.fbx", 9},
        {"glTF2/simple_skin/simple_skin.gltf", 2},
        {"Collada/box_nested_animation.dae", 1}})
  {
    ImportedModel model(assimpModel(name));
    ASSERT_TRUE(model.read()) << name;
    ASSERT_GE(model->Scene->mNumAnimations, 1u) << name;
    vtkActor* skinned = nullptr;
    for (const auto& entry : model->NodeActors)
    {
      for (int i = 0; i < entry.second->GetNumberOfItems() && !skinned; ++i)
      {
        auto* actor = vtkActor::SafeDownCast(entry.second->GetItemAsObject(i));
        skinned = jointMatrices(actor).empty() ? nullptr : actor;
      }
    }
    ASSERT_NE(skinned, nullptr) << name;
    EXPECT_EQ(static_cast<int>(jointMatrices(skinned).size()), bones) << name;

    double range[2];
    model->GetTimeRange(0, range);
    EXPECT_GT(range[1], 0) << name;
    const std::vector<Matrix> bind = jointMatrices(skinned);
    model.poseAt(range[1] * 0.37);
    const std::vector<Matrix> posed = jointMatrices(skinned);
    ASSERT_EQ(posed.size(), bind.size());
    bool moved = false;
    for (std::size_t i = 0; i < posed.size(); ++i)
    {
      moved = moved || !matrixNear(bind[i], posed[i], 1e-4);
    }
    EXPECT_TRUE(moved) << name;
  }
}

TEST(AssimpModels, ColladaLightsAndSkeleton)
{
  ImportedModel model(assimpModel("Collada/lights.dae"));
  ASSERT_TRUE(model.read());
  EXPECT_EQ(model->Scene->mNumLights, 5u);
  for (unsigned i = 0; i < model->Scene->mNumLights; ++i)
  {
    EXPECT_NE(model.global(model->Scene->mLights[i]->mName.C_Str()), nullptr);
  }
}

TEST(AssimpModels, EmbeddedTexturesByIndexAndByName)
{
  ImportedModel binary(assimpModel("glTF2/BoxTextured-glTF-Binary/BoxTextured.glb"));
  ASSERT_TRUE(binary.read());
  ASSERT_EQ(binary->EmbeddedTextures.size(), 1u);
  EXPECT_EQ(binary->Properties[0]->GetTexture("albedoTex"), binary->EmbeddedTextures[0].Get());

  // The material names the image by a Windows path; the file embeds it under that
  // name, so the base name finds it and makes a texture of its own.
  ImportedModel fbx(assimpModel("FBX/embedded_ascii/box.FBX"));
  ASSERT_TRUE(fbx.read());
  ASSERT_EQ(fbx->EmbeddedTextures.size(), 1u);
  vtkTexture* diffuse = fbx->Properties[0]->GetTexture("diffuseTex");
  ASSERT_NE(diffuse, nullptr);
  EXPECT_NE(diffuse, fbx->EmbeddedTextures[0].Get());
  diffuse->GetInputAlgorithm()->Update();
  auto* image = vtkImageData::SafeDownCast(diffuse->GetInputDataObject(0, 0));
  ASSERT_NE(image, nullptr);
  EXPECT_GT(image->GetDimensions()[0], 1);
}

TEST(AssimpModels, ExternalTexturesBesideTheFile)
{
  MessageLog log;
  ImportedModel gltf(assimpModel("glTF2/BoxTextured-glTF/BoxTextured.gltf"));
  ASSERT_TRUE(gltf.read());
  EXPECT_NE(gltf->Properties[0]->GetTexture("diffuseTex"), nullptr);
  EXPECT_FALSE(log.contains("Cannot"));

  // A relative path with a "./" prefix and an image format other than PNG.
  ImportedModel duck(assimpModel("Collada/duck.dae"));
  ASSERT_TRUE(duck.read());
  vtkTexture* skin = duck->Properties[0]->GetTexture("diffuseTex");
  ASSERT_NE(skin, nullptr);
  skin->GetInputAlgorithm()->Update();
  auto* image = vtkImageData::SafeDownCast(skin->GetInputDataObject(0, 0));
  ASSERT_NE(image, nullptr);
  EXPECT_GT(image->GetDimensions()[0], 1);
  EXPECT_FALSE(log.contains("Cannot"));
}

// Every FBX, glTF, GLB and Collada file of the Assimp test set: read, import and,
// when animated, posed at a few times of every animation. None may crash.
TEST(AssimpModels, EveryModelReadsImportsAndAnimates)
{
  MessageLog quiet;
  QDirIterator files(QString::fromStdString(assimpModel("")), QDir::Files,
                     QDirIterator::Subdirectories);
  int tried = 0, read = 0, animated = 0;
  while (files.hasNext())
  {
    const QString path = files.next();
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != "fbx" && suffix != "gltf" && suffix != "glb" && suffix != "dae")
    {
      continue;
    }
    ++tried;
    SCOPED_TRACE(path.toStdString());
    ImportedModel model(path.toStdString());
    if (!model.read())
    {
      continue;
    }
    ++read;
    EXPECT_EQ(model->NodeActors.size(), model->NodeGlobalMatrices.size());
    for (unsigned a = 0; a < model->Scene->mNumAnimations; ++a)
    {
      model->ActiveAnimation = a;
      double range[2];
      model->GetTimeRange(a, range);
      for (const double f : {-0.1, 0.0, 0.33, 0.5, 1.0, 1.5})
      {
        model.poseAt(range[1] * f);
      }
      ++animated;
    }
  }
  EXPECT_GE(tried, 90);
  EXPECT_GE(read, 75);
  EXPECT_GE(animated, 5);
  std::cout << tried << " files, " << read << " read, " << animated << " animations posed\n";
}
} // namespace
