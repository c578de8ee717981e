// Loading, adding, closing, resetting and exporting on the render side, driven
// through the Manager's commands against an offscreen view.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>

#include <vtkActorCollection.h>
#include <vtkCamera.h>
#include <vtkLight.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include "AssimpImporter.h"
#include "MessageLog.h"
#include "RenderTasks.h"
#include "SignalTrace.h"
#include "TestPaths.h"
#include "TestScenes.h"
#include "ViewHarness.h"

namespace ML::Test
{
namespace
{
QString shared(const char* name)
{
  return QString::fromStdString(sharedModel(name));
}

int actorCount(ViewHarness& h)
{
  return h.data->renderer->GetActors()->GetNumberOfItems();
}

QStringList lastNames(const SignalTrace& trace, int count)
{
  return trace.names.mid(trace.names.size() - count);
}

QStringList onlyNames(const SignalTrace& trace, const QStringList& wanted)
{
  QStringList kept;
  for (const QString& name : trace.names)
  {
    if (wanted.contains(name))
    {
      kept.append(name);
    }
  }
  return kept;
}

void expectPoint(const std::array<double, 3>& actual, double x, double y, double z)
{
  EXPECT_NEAR(actual[0], x, 1e-5);
  EXPECT_NEAR(actual[1], y, 1e-5);
  EXPECT_NEAR(actual[2], z, 1e-5);
}

class Loading : public ::testing::Test
{
protected:
  void open(const QStringList& paths)
  {
    h.manager.openModels(paths);
    h.runTasks();
  }

  void add(const QString& path)
  {
    h.manager.addModelUrl(QUrl::fromLocalFile(path));
    h.runTasks();
  }

  QTemporaryDir dir;
  ViewHarness h;
};
} // namespace

TEST_F(Loading, OpenLoadsEveryFileInModelOrder)
{
  SignalTrace trace(h.manager);
  const QStringList paths{shared("arm_two_clips.glb"), shared("four_lights.glb")};
  open(paths);

  ASSERT_EQ(h.item.models.size(), 2u);
  EXPECT_EQ(h.item.models[0]->importer->FileName, paths[0].toStdString());
  EXPECT_EQ(h.item.models[1]->importer->FileName, paths[1].toStdString());
  EXPECT_EQ(h.manager.state.modelNames, paths);
  EXPECT_EQ(h.manager.state.currentModel, 0);
  EXPECT_EQ(h.manager.state.numberOfAnimations, 2);
  EXPECT_GT(actorCount(h), 4);
  EXPECT_EQ(lastNames(trace, 2), QStringList({"modelNamesChanged", "openSourceEnd"}));
  EXPECT_EQ(trace.count("openSourceError"), 0);
}

TEST_F(Loading, OpenShowsTheModel)
{
  h.manager.state.backgroundColor = 7; // black
  open({shared("textured_cube.glb")});
  const QImage image = h.grab().convertToFormat(QImage::Format_RGB32);
  QDir().mkpath(ML_BINARY_DIR "/view-images");
  image.save(ML_BINARY_DIR "/view-images/loading_textured_cube.png");
  const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
  EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::black));
  EXPECT_NE(centre, QColor(Qt::black));
}

TEST_F(Loading, UnreadableFileUnloadsTheWholeOpen)
{
  open({shared("arm_two_clips.glb")});
  const QString broken = writeBrokenModel(dir.path());
  SignalTrace trace(h.manager);
  MessageLog log;
  open({shared("four_lights.glb"), broken});

  EXPECT_TRUE(h.item.models.empty());
  EXPECT_TRUE(h.manager.state.modelNames.isEmpty());
  EXPECT_FALSE(h.item.lightsFromFile);
  EXPECT_EQ(actorCount(h), 1); // the grid
  EXPECT_EQ(trace.count("openSourceError"), 1);
  EXPECT_EQ(lastNames(trace, 3),
            QStringList({"modelNamesChanged", "openSourceError", "openSourceEnd"}));
  EXPECT_TRUE(log.contains(" Importer update error"));
  EXPECT_TRUE(log.contains(broken));
}

TEST_F(Loading, EmptyOpenResetsTheBackgroundAndEnds)
{
  h.data->renderer->GradientBackgroundOff();
  h.manager.state.modelNames.clear();
  SignalTrace trace(h.manager);
  EXPECT_TRUE(loadModels(&h.item, h.data));
  EXPECT_TRUE(h.data->renderer->GetGradientBackground());
  EXPECT_EQ(lastNames(trace, 2), QStringList({"modelNamesChanged", "openSourceEnd"}));
}

TEST_F(Loading, LightsComeFromTheFirstFileThatHasAny)
{
  open({shared("textured_cube.glb"), writeLightScene(dir.path()), shared("four_lights.glb")});
  ASSERT_EQ(h.item.models.size(), 3u);
  const auto& lightSlots = h.manager.state.lights;
  expectPoint(lightSlots[0].position, 7, 8, 9);
  expectPoint(lightSlots[0].focalPoint, 7, 8, 8);
  EXPECT_EQ(lightSlots[0].color, QColor(25, 25, 25, 255));
  expectPoint(lightSlots[1].position, -1, 2, -3);
  EXPECT_EQ(lightSlots[1].color, QColor(255, 204, 51, 255));
  expectPoint(lightSlots[2].position, 0, 0, 0);
  EXPECT_EQ(lightSlots[2].color, QColor(255, 255, 255, 255));
  EXPECT_TRUE(h.manager.state.sceneLight);
  EXPECT_TRUE(h.item.lightsFromFile);

  vtkLight* light = h.data->lights[0];
  EXPECT_TRUE(light->LightTypeIsSceneLight());
  EXPECT_EQ(light->GetSwitch(), 1);
  EXPECT_NEAR(light->GetDiffuseColor()[0], 0.1, 1e-7);
  double placed[3];
  light->GetTransformedPosition(placed);
  expectPoint({placed[0], placed[1], placed[2]}, 7, 8, 9);

  add(shared("four_lights.dae"));
  expectPoint(lightSlots[0].position, 7, 8, 9);
  EXPECT_EQ(lightSlots[0].color, QColor(25, 25, 25, 255));
}

TEST_F(Loading, OnlyTheFirstThreeFileLightsAreTakenWithValidColours)
{
  SignalTrace trace(h.manager);
  open({shared("four_lights.glb")});
  const auto& lightSlots = h.manager.state.lights;
  expectPoint(lightSlots[0].position, 2, 3, 2);
  expectPoint(lightSlots[1].position, -2, 4, -2);
  expectPoint(lightSlots[2].position, 4, 2, -4);
  for (const LightSlot& slot : lightSlots)
  {
    EXPECT_TRUE(slot.color.isValid());
    EXPECT_EQ(slot.color, QColor(255, 255, 255, 255));
  }
  EXPECT_EQ(
      onlyNames(trace,
                {"sceneLightChanged", "lightPosXChanged", "lightPosYChanged", "lightPosZChanged",
                 "lightFpXChanged", "lightFpYChanged", "lightFpZChanged", "lightColorChanged"}),
      QStringList({"sceneLightChanged", "lightPosXChanged", "lightPosYChanged", "lightPosZChanged",
                   "lightFpXChanged", "lightFpYChanged", "lightFpZChanged", "lightColorChanged"}));
}

TEST_F(Loading, LightsAreTakenAgainAfterAClose)
{
  open({shared("four_lights.glb")});
  h.manager.clearModels();
  h.runTasks();
  open({writeLightScene(dir.path())});
  expectPoint(h.manager.state.lights[0].position, 7, 8, 9);
}

TEST_F(Loading, OpenChoosesAnAnimationTheModelHas)
{
  h.manager.state.currentAnimatoin = 5;
  SignalTrace trace(h.manager);
  open({shared("arm_two_clips.glb")});
  EXPECT_EQ(h.manager.state.currentAnimatoin, 0);
  EXPECT_EQ(h.item.models[0]->importer->ActiveAnimation, 0);
  EXPECT_EQ(h.manager.state.numberOfAnimations, 2);
  EXPECT_GE(trace.count("currentAnimatoinChanged"), 1);

  h.manager.state.currentAnimatoin = 1;
  open({shared("arm_two_clips.glb")});
  EXPECT_EQ(h.manager.state.currentAnimatoin, 1);
  EXPECT_EQ(h.item.models[0]->importer->ActiveAnimation, 1);

  h.manager.state.currentAnimatoin = 5;
  open({shared("textured_cube.glb")});
  EXPECT_EQ(h.manager.state.currentAnimatoin, 5);
  EXPECT_EQ(h.manager.state.numberOfAnimations, 0);
}

TEST_F(Loading, AddPutsTheModelBesideTheOthersWithoutItsLights)
{
  open({shared("arm_two_clips.glb")});
  const int actorsBefore = actorCount(h);
  SignalTrace trace(h.manager);
  add(writeLightScene(dir.path()));

  ASSERT_EQ(h.item.models.size(), 2u);
  EXPECT_GT(actorCount(h), actorsBefore);
  EXPECT_EQ(h.manager.state.currentModel, 1);
  EXPECT_FALSE(h.item.lightsFromFile);
  EXPECT_FALSE(h.manager.state.sceneLight);
  EXPECT_EQ(lastNames(trace, 2), QStringList({"modelNamesChanged", "openSourceEnd"}));
}

TEST_F(Loading, FailedAddKeepsTheShownModels)
{
  const QStringList paths{shared("textured_cube.glb"), shared("arm_two_clips.glb")};
  open(paths);
  const int actorsBefore = actorCount(h);
  SignalTrace trace(h.manager);
  MessageLog log;
  add(writeBrokenModel(dir.path()));

  EXPECT_EQ(h.item.models.size(), 2u);
  EXPECT_EQ(actorCount(h), actorsBefore);
  EXPECT_EQ(h.manager.state.modelNames, paths);
  EXPECT_EQ(trace.names, QStringList({"modelNamesChanged", "openSourceError", "openSourceEnd"}));
  EXPECT_TRUE(log.contains(" Importer update error"));

  add(shared("four_lights.glb"));
  EXPECT_EQ(h.item.models.size(), 3u);
  EXPECT_EQ(h.manager.state.modelNames.size(), 3);
}

TEST_F(Loading, AddsQueuedBackToBackLoadTheirOwnPaths)
{
  open({shared("textured_cube.glb")});
  const QStringList added{shared("arm_two_clips.glb"), shared("four_lights.glb")};
  h.manager.addModelUrl(QUrl::fromLocalFile(added[0]));
  h.manager.addModelUrl(QUrl::fromLocalFile(added[1]));
  h.runTasks();

  ASSERT_EQ(h.item.models.size(), 3u);
  EXPECT_EQ(h.item.models[1]->importer->FileName, added[0].toStdString());
  EXPECT_EQ(h.item.models[2]->importer->FileName, added[1].toStdString());
  EXPECT_EQ(h.manager.treeModel()->item(2)->text(), "four_lights.glb");
}

TEST_F(Loading, CloseRemovesTheModelsAndResetsTheView)
{
  open({writeLightScene(dir.path())});
  ASSERT_TRUE(h.manager.state.sceneLight);
  h.manager.state.upDirection = 2;
  h.manager.clearModels();
  h.runTasks();

  EXPECT_TRUE(h.item.models.empty());
  EXPECT_EQ(actorCount(h), 1);
  EXPECT_TRUE(h.manager.state.modelNames.isEmpty());
  EXPECT_FALSE(h.item.lightsFromFile);
  EXPECT_FALSE(h.manager.state.sceneLight);
  EXPECT_EQ(h.manager.state.upDirection, 1);
  EXPECT_EQ(h.manager.state.numberOfAnimations, 0);
  EXPECT_EQ(h.manager.state.lights[0].color, QColor(0, 0, 0, 255));
}

TEST_F(Loading, ResetRestoresTheViewSettingsOnly)
{
  open({shared("arm_two_clips.glb")});
  ManagerState& state = h.manager.state;
  state.upDirection = 2;
  state.rightDirection = 3;
  state.sceneLight = true;
  state.surfaceLight = 2;
  state.backgroundColor = 7;
  SignalTrace trace(h.manager);
  h.manager.resetScene();
  h.runTasks();

  EXPECT_EQ(state.upDirection, 1);
  EXPECT_EQ(state.rightDirection, 0);
  EXPECT_FALSE(state.sceneLight);
  EXPECT_EQ(state.surfaceLight, 0);
  EXPECT_EQ(state.backgroundColor, 7);
  for (const LightSlot& slot : state.lights)
  {
    EXPECT_EQ(slot.color, QColor(0, 0, 0, 255));
  }
  EXPECT_EQ(h.item.models.size(), 1u);
  EXPECT_EQ(onlyNames(trace, {"upDirectionChanged", "rightDirectionChanged", "sceneLightChanged",
                              "surfaceLightChanged", "lightColorChanged"}),
            QStringList({"upDirectionChanged", "rightDirectionChanged", "sceneLightChanged",
                         "surfaceLightChanged", "lightColorChanged"}));

  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  EXPECT_NEAR(camera->GetViewUp()[1], 1.0, 1e-9);
  EXPECT_NEAR(camera->GetDirectionOfProjection()[2], -1.0, 1e-9);
}

namespace
{
// Finds the first node of that name, depth first.
const aiNode* findNode(const aiNode* node, const char* name)
{
  if (!node || std::strcmp(node->mName.C_Str(), name) == 0)
  {
    return node;
  }
  for (unsigned i = 0; i < node->mNumChildren; ++i)
  {
    if (const aiNode* found = findNode(node->mChildren[i], name))
    {
      return found;
    }
  }
  return nullptr;
}

::testing::AssertionResult sameMatrix(const aiMatrix4x4& actual, const aiMatrix4x4& expected)
{
  for (unsigned row = 0; row < 4; ++row)
  {
    for (unsigned column = 0; column < 4; ++column)
    {
      if (std::abs(actual[row][column] - expected[row][column]) > 1e-4f)
      {
        return ::testing::AssertionFailure()
               << "(" << row << ", " << column << "): " << actual[row][column] << " instead of "
               << expected[row][column];
      }
    }
  }
  return ::testing::AssertionSuccess();
}

class Exporting : public Loading
{
protected:
  // Two models placed away from the origin, each root with a distinct name.
  void openPlacedModels()
  {
    open({shared("arm_two_clips.glb"), shared("four_lights.glb")});
    ASSERT_EQ(h.item.models.size(), 2u);
    vtkTransform* arm = h.item.models[0]->transform;
    arm->Translate(1.0, 2.0, 3.0);
    arm->RotateY(30.0);
    vtkTransform* lights = h.item.models[1]->transform;
    lights->Translate(-4.0, 0.5, 2.0);
    lights->Scale(1.5, 1.5, 1.5);
    lights->RotateX(-45.0);
  }

  bool exportTo(const QString& path)
  {
    SignalTrace trace(h.manager);
    h.manager.exportSceneUrl(QUrl::fromLocalFile(path));
    h.runTasks();
    return trace.count("exportSourceError") == 0;
  }

  // The root transform a model must have in an exported file: its user transform
  // on top of the root's own.
  aiMatrix4x4 placedRoot(int model)
  {
    aiMatrix4x4 placement;
    AssimpImporter::ToAssimpMatrix(h.item.models[model]->transform->GetMatrix(), placement);
    return placement * h.item.models[model]->importer->Scene->mRootNode->mTransformation;
  }
};

struct Validation
{
  int exitCode = -1;
  QList<QJsonObject> reports;
  QString output;
};

// Runs the Khronos glTF Validator (installed under the build tree on first use).
Validation validate(const QStringList& files)
{
  QProcess process;
  process.start(QStringLiteral(ML_SOURCE_DIR "/scripts/gltf-validate"),
                QStringList{QStringLiteral(ML_BINARY_DIR "/gltf-validator")} + files);
  process.waitForFinished(480000);
  Validation result;
  result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.output = process.readAllStandardOutput() + process.readAllStandardError();
  for (const QString& line : result.output.split('\n', Qt::SkipEmptyParts))
  {
    const QJsonDocument report = QJsonDocument::fromJson(line.toUtf8());
    if (report.isObject())
    {
      result.reports.append(report.object());
    }
  }
  return result;
}
} // namespace

TEST_F(Exporting, NothingLoadedFails)
{
  MessageLog log;
  EXPECT_FALSE(exportTo(dir.path() + "/empty.glb"));
  EXPECT_TRUE(log.contains("Export failed: "));
  EXPECT_FALSE(QFile::exists(dir.path() + "/empty.glb"));
}

TEST_F(Exporting, SingleModelIsExported)
{
  open({shared("textured_cube.glb")});
  const QString path = dir.path() + "/cube.glb";
  ASSERT_TRUE(exportTo(path));
  Assimp::Importer reader;
  const aiScene* scene = reader.ReadFile(path.toStdString(), 0);
  ASSERT_NE(scene, nullptr) << reader.GetErrorString();
  EXPECT_EQ(scene->mNumMeshes, 1u);
}

TEST_F(Exporting, SuffixMustBeOneOfTheListedSpellings)
{
  open({shared("textured_cube.glb")});
  EXPECT_FALSE(exportTo(dir.path() + "/a.gLb"));
  EXPECT_FALSE(exportTo(dir.path() + "/a.obj"));
  EXPECT_FALSE(exportTo(dir.path() + "/a"));
  EXPECT_TRUE(exportTo(dir.path() + "/a.GLB"));
  EXPECT_TRUE(exportTo(dir.path() + "/a.Gltf"));
  EXPECT_TRUE(exportTo(dir.path() + "/a.Dae"));
  EXPECT_TRUE(exportTo(dir.path() + "/a.FBX"));
}

TEST_F(Exporting, GltfFilesPassTheValidator)
{
  openPlacedModels();
  const QStringList files{dir.path() + "/scene.glb", dir.path() + "/scene.gltf"};
  for (const QString& file : files)
  {
    ASSERT_TRUE(exportTo(file)) << file.toStdString();
  }
  const Validation validation = validate(files);
  ASSERT_EQ(validation.reports.size(), 2) << validation.output.toStdString();
  for (const QJsonObject& report : validation.reports)
  {
    EXPECT_EQ(report.value("errors").toInt(-1), 0) << validation.output.toStdString();
  }
  EXPECT_EQ(validation.exitCode, 0);
}

TEST_F(Exporting, EveryFormatKeepsEachModelRootWithItsPlacement)
{
  openPlacedModels();
  const char* const roots[] = {"Arm_Rig", "ROOT"};
  for (const char* suffix : {"glb", "gltf", "dae", "fbx"})
  {
    const QString path = dir.path() + "/placed." + suffix;
    ASSERT_TRUE(exportTo(path)) << suffix;
    Assimp::Importer reader;
    reader.SetPropertyInteger("IMPORT_FBX_PRESERVE_PIVOTS", 0);
    const aiScene* scene = reader.ReadFile(path.toStdString(), 0x600);
    ASSERT_NE(scene, nullptr) << suffix << ": " << reader.GetErrorString();
    for (int model = 0; model < 2; ++model)
    {
      const aiNode* root = findNode(scene->mRootNode, roots[model]);
      ASSERT_NE(root, nullptr) << suffix << " " << roots[model];
      EXPECT_TRUE(sameMatrix(root->mTransformation, placedRoot(model)))
          << suffix << " " << roots[model];
    }
  }
}

TEST_F(Exporting, ModelsStayUsableAfterwards)
{
  openPlacedModels();
  const aiScene* armScene = h.item.models[0]->importer->Scene;
  const aiMatrix4x4 armRoot = armScene->mRootNode->mTransformation;
  ASSERT_TRUE(exportTo(dir.path() + "/first.glb"));
  ASSERT_TRUE(exportTo(dir.path() + "/second.gltf"));

  EXPECT_EQ(h.item.models[0]->importer->Scene, armScene);
  EXPECT_TRUE(sameMatrix(armScene->mRootNode->mTransformation, armRoot));
  const aiNode* lamp = findNode(h.item.models[1]->importer->Scene->mRootNode, "Lamp_0");
  ASSERT_NE(lamp, nullptr);
  EXPECT_NE(lamp->mMetaData, nullptr);

  h.manager.state.currentModel = 0;
  h.item.playing = true;
  h.manager.timerSlot();
  h.runTasks();
  EXPECT_GT(h.manager.state.sliderVal, 0.0);

  QStandardItem* bone = h.manager.treeModel()->item(0)->child(1);
  h.manager.treeSelChanged(bone->index());
  h.runTasks();
  EXPECT_EQ(h.data->boxWidget->GetEnabled(), 1);
  EXPECT_FALSE(h.item.playing);
}
} // namespace ML::Test
