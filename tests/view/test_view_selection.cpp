// Ticking, selecting and picking models, the transform box and the typed model
// transform, driven through the controller's commands and the interactor.
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <QStandardItemModel>

#include <assimp/scene.h>

#include <vtkCamera.h>
#include <vtkInteractorStyle.h>
#include <vtkMatrix4x4.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkTransform.h>

#include <map>
#include <memory>

#include "AssimpImporter.h"
#include "MessageLog.h"
#include "RenderTasks.h"
#include "SceneHelpers.h"
#include "TestPaths.h"
#include "vtkPickerStyle.h"

namespace
{
using ML::Test::Point3;
using ML::Test::ViewHarness;

const std::string cubesFile = ML::Test::sharedModel("four_lights.glb");
const std::string armFile = ML::Test::sharedModel("arm_two_clips.glb");
const std::string cubeFile = ML::Test::sharedModel("textured_cube.glb");

// The tree row with this text, searched through all rows.
QModelIndex row(ViewHarness& h, const QString& text)
{
  const auto items = h.manager.treeModel()->findItems(text, Qt::MatchRecursive);
  EXPECT_EQ(items.size(), 1) << text.toStdString();
  return items.isEmpty() ? QModelIndex() : items.first()->index();
}

void loadAndListModels(ViewHarness& h, std::initializer_list<std::string> files)
{
  for (const std::string& file : files)
  {
    ML::Test::loadModel(h, file);
  }
  h.manager.fillTreeModel(0);
  h.runTasks();
}

std::vector<double> elements(vtkMatrix4x4* matrix)
{
  return {matrix->GetData(), matrix->GetData() + 16};
}

void expectMatrixNear(vtkMatrix4x4* actual, vtkMatrix4x4* expected, double tolerance = 1e-6)
{
  for (int i = 0; i < 4; ++i)
  {
    for (int j = 0; j < 4; ++j)
    {
      EXPECT_NEAR(actual->GetElement(i, j), expected->GetElement(i, j), tolerance)
          << "element " << i << "," << j;
    }
  }
}

vtkSmartPointer<vtkMatrix4x4> globalOf(const ML::ModelEntry& entry, const std::string& node)
{
  auto copy = vtkSmartPointer<vtkMatrix4x4>::New();
  copy->DeepCopy(entry.importer->NodeGlobalMatrices.at(node));
  return copy;
}

vtkSmartPointer<vtkMatrix4x4> product(vtkMatrix4x4* a, vtkMatrix4x4* b)
{
  auto result = vtkSmartPointer<vtkMatrix4x4>::New();
  vtkMatrix4x4::Multiply4x4(a, b, result);
  return result;
}

Point3 actorCenter(vtkActor* actor)
{
  const double* center = actor->GetCenter();
  return {center[0], center[1], center[2]};
}

void click(ViewHarness& h, QPoint display)
{
  h.grab();
  h.interactor->SetEventPosition(display.x(), display.y());
  h.interactor->InvokeEvent(vtkCommand::LeftButtonPressEvent);
}

// ---------------------------------------------------------------- visibility

TEST(NodeVisibility, UntickingANodeHidesExactlyItsOwnActors)
{
  ViewHarness h;
  loadAndListModels(h, {cubeFile, cubesFile});
  const ML::ModelEntry& cubes = *h.item.models[1];
  vtkActor* ticked = ML::Test::nodeActors(cubes, "Cube_1").at(0);
  ML::Test::paintModel(cubes, 0.8, 0.3, 0.2);
  h.manager.state.backgroundColor = 1;
  h.manager.updateBackground();
  h.runTasks();
  const QPoint tickedFace = ML::Test::imagePoint(h, {3.3, 0.9, 1.0});
  const QImage shown = h.grab();
  EXPECT_NE(ML::Test::colorAt(shown, tickedFace), QColor(Qt::white));

  QSignalSpy current(&h.manager, &ML::Manager::currentModelChanged);
  h.manager.checkTreeModel(row(h, "Cube_1[1]"), false);
  h.runTasks();
  EXPECT_FALSE(ticked->GetVisibility());
  for (const char* other : {"Cube_0", "Cube_2"})
  {
    EXPECT_TRUE(ML::Test::nodeActors(cubes, other).at(0)->GetVisibility()) << other;
  }
  EXPECT_TRUE(ML::Test::nodeActors(*h.item.models[0], "Cube").at(0)->GetVisibility());
  EXPECT_EQ(h.manager.state.currentModel, 1);
  EXPECT_EQ(current.count(), 0);
  const QImage hidden = h.grab();
  ML::Test::saveImage(hidden, QStringLiteral("visibility_cube1_hidden"));
  EXPECT_EQ(ML::Test::colorAt(hidden, tickedFace), QColor(Qt::white));

  h.manager.checkTreeModel(row(h, "Cube_1[1]"), true);
  h.runTasks();
  EXPECT_TRUE(ticked->GetVisibility());
  EXPECT_EQ(h.grab(), shown);
}

TEST(NodeVisibility, LeavesTheChildrenOfTheNodeAlone)
{
  ViewHarness h;
  loadAndListModels(h, {armFile});
  // The top row hands over the scene's root, the rig node without a mesh.
  const QModelIndex top = h.manager.treeModel()->index(0, 0);
  ASSERT_EQ(top.data(ML::Manager::ModelNodeRole).value<aiNode*>()->mNumMeshes, 0u);
  h.manager.checkTreeModel(top, false);
  h.runTasks();
  EXPECT_TRUE(ML::Test::nodeActors(*h.item.models[0], "Arm").at(0)->GetVisibility());
}

TEST(NodeVisibility, IgnoresANodeOfAnotherScene)
{
  ViewHarness h;
  loadAndListModels(h, {cubesFile, cubesFile});
  // A node of model 1 handed over as if it were one of model 0.
  h.manager.selectedNode = h.item.models[1]->importer->Scene->mRootNode->mChildren[1];
  h.manager.nodeChecked = false;
  ML::Manager::checkedModelIndex = 0;
  h.manager.state.currentModel = 1;
  h.item.run(&ML::checkTreeModelTask);
  h.runTasks();
  for (const auto& entry : h.item.models)
  {
    EXPECT_TRUE(ML::Test::nodeActors(*entry, "Cube_1").at(0)->GetVisibility());
  }
  EXPECT_EQ(h.manager.state.currentModel, 1);
}

TEST(NodeVisibility, ReportsANodeWithoutActorTable)
{
  ViewHarness h;
  loadAndListModels(h, {cubesFile});
  h.item.models[0]->importer->NodeActors.erase("Cube_2");
  ML::Test::MessageLog log;
  h.manager.checkTreeModel(row(h, "Cube_2[1]"), false);
  h.runTasks();
  EXPECT_EQ(log.count("Actor Collection is null"), 1);
}

// ---------------------------------------------------------------- selection

TEST(NodeSelection, PutsTheBoxAroundTheNodesActor)
{
  ViewHarness h;
  loadAndListModels(h, {cubeFile, cubesFile});
  h.item.playing = true;
  h.manager.treeSelChanged(row(h, "Cube_2[1]"));
  h.runTasks();
  vtkActor* actor = ML::Test::nodeActors(*h.item.models[1], "Cube_2").at(0);
  EXPECT_TRUE(h.data->boxWidget->GetEnabled());
  EXPECT_EQ(h.data->boxWidget->GetProp3D(), actor);
  EXPECT_TRUE(h.data->boxWidget->GetScalingEnabled());
  EXPECT_EQ(h.manager.state.currentModel, 1);
  EXPECT_FALSE(h.item.playing);
  ML::Test::saveImage(h.grab(), QStringLiteral("selection_box_cube2"));

  // The model's root has no mesh: the box goes to one of the model's actors.
  h.manager.treeSelChanged(h.manager.treeModel()->index(1, 0));
  h.runTasks();
  auto* framed = vtkActor::SafeDownCast(h.data->boxWidget->GetProp3D());
  bool ofTheModel = false;
  for (const char* node : {"Cube_0", "Cube_1", "Cube_2"})
  {
    ofTheModel = ofTheModel || ML::Test::nodeActors(*h.item.models[1], node).at(0) == framed;
  }
  EXPECT_TRUE(ofTheModel);
  EXPECT_TRUE(h.data->boxWidget->GetEnabled());

  // No node: the box goes away and the first model becomes current.
  h.manager.treeSelChanged(QModelIndex());
  h.runTasks();
  EXPECT_FALSE(h.data->boxWidget->GetEnabled());
  EXPECT_EQ(h.manager.state.currentModel, 0);
}

TEST(NodeSelection, DuringPlaybackStopsItAndShowsTheModelAtTimeZero)
{
  ViewHarness h;
  loadAndListModels(h, {armFile});
  ML::ModelEntry& arm = *h.item.models[0];
  arm.importer->UpdateTimeStep(0.0, arm.transform);
  const auto atZero = globalOf(arm, "Bone_001");

  arm.transform->Translate(2.0, 0.0, 0.0);
  arm.importer->UpdateTimeStep(1.0, arm.transform);
  h.item.playing = true;
  ASSERT_NE(elements(globalOf(arm, "Bone_001")), elements(atZero));

  h.manager.treeSelChanged(row(h, "Arm[1]"));
  h.runTasks();
  EXPECT_FALSE(h.item.playing);
  EXPECT_TRUE(arm.transform->GetMatrix()->IsIdentity());
  expectMatrixNear(globalOf(arm, "Bone_001"), atZero);
  EXPECT_FALSE(h.data->boxWidget->GetScalingEnabled());
  EXPECT_TRUE(h.data->boxWidget->GetEnabled());
}

TEST(NodeSelection, ReportsMissingActors)
{
  ViewHarness h;
  loadAndListModels(h, {cubesFile});
  h.item.models[0]->importer->NodeActors.erase("Cube_0");
  ML::Test::MessageLog log;
  h.manager.treeSelChanged(row(h, "Cube_0[1]"));
  h.runTasks();
  EXPECT_EQ(log.count("Actors is null"), 1);
  EXPECT_FALSE(h.data->boxWidget->GetEnabled());
}

// ---------------------------------------------------------------- picking

TEST(Picking, ClickOnAModelSelectsItWithoutTurningTheCamera)
{
  ViewHarness h;
  loadAndListModels(h, {cubesFile, cubeFile});
  ML::ModelEntry& cube = *h.item.models[1];
  cube.transform->Translate(-5.0, 0.0, 0.0);
  cube.importer->UpdateNodeTransforms(cube.importer->Scene->mRootNode, cube.transform->GetMatrix());
  ML::resetCamera(h.data);
  vtkActor* target = ML::Test::nodeActors(cube, "Cube").at(0);
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  const Point3 cameraBefore = {camera->GetPosition()[0], camera->GetPosition()[1],
                               camera->GetPosition()[2]};

  click(h, ML::Test::displayPoint(h, actorCenter(target)));
  EXPECT_EQ(h.manager.state.currentModel, 1);
  EXPECT_TRUE(h.data->boxWidget->GetEnabled());
  EXPECT_EQ(h.data->boxWidget->GetProp3D(), target);
  EXPECT_EQ(h.data->pickerStyle->GetState(), VTKIS_NONE);
  // Selecting puts the model back where its file has it.
  EXPECT_TRUE(cube.transform->GetMatrix()->IsIdentity());
  EXPECT_NEAR(actorCenter(target)[0], 0.0, 1e-6);
  h.interactor->InvokeEvent(vtkCommand::LeftButtonReleaseEvent);
  EXPECT_EQ(camera->GetPosition()[0], cameraBefore[0]);
  EXPECT_EQ(camera->GetPosition()[2], cameraBefore[2]);

  // Empty background: the box goes and the trackball turns the camera.
  click(h, QPoint(2, 2));
  EXPECT_FALSE(h.data->boxWidget->GetEnabled());
  EXPECT_EQ(h.data->pickerStyle->GetState(), VTKIS_ROTATE);
  h.interactor->InvokeEvent(vtkCommand::LeftButtonReleaseEvent);
  EXPECT_EQ(h.data->pickerStyle->GetState(), VTKIS_NONE);
}

TEST(Picking, ClickOnAPlayingModelStopsItAtTimeZero)
{
  ViewHarness h;
  loadAndListModels(h, {armFile});
  ML::ModelEntry& arm = *h.item.models[0];
  arm.importer->UpdateTimeStep(0.0, arm.transform);
  const auto atZero = globalOf(arm, "Bone_002");
  arm.importer->UpdateTimeStep(0.7, arm.transform);
  h.item.playing = true;

  vtkActor* actor = ML::Test::nodeActors(arm, "Arm").at(0);
  click(h, ML::Test::displayPoint(h, actorCenter(actor)));
  EXPECT_FALSE(h.item.playing);
  expectMatrixNear(globalOf(arm, "Bone_002"), atZero);
  EXPECT_EQ(h.data->boxWidget->GetProp3D(), actor);
  EXPECT_FALSE(h.data->boxWidget->GetScalingEnabled());
  EXPECT_EQ(h.data->pickerStyle->GetState(), VTKIS_NONE);
}

TEST(Picking, WithoutModelsTurnsTheCamera)
{
  ViewHarness h;
  h.data->pickerStyle->GetInteractor()->SetEventPosition(100, 100);
  h.grab();
  h.data->pickerStyle->OnLeftButtonDown();
  EXPECT_EQ(h.data->pickerStyle->GetState(), VTKIS_ROTATE);
  h.data->pickerStyle->OnLeftButtonUp();
}

// ---------------------------------------------------------------- transform box

struct BoxSignals
{
  explicit BoxSignals(ML::Manager& manager)
  {
    for (auto signal : {&ML::Manager::modelPosXChanged, &ML::Manager::modelPosYChanged,
                        &ML::Manager::modelPosZChanged, &ML::Manager::modelRotateXChanged,
                        &ML::Manager::modelRotateYChanged, &ML::Manager::modelRotateZChanged,
                        &ML::Manager::modelScaleXChanged, &ML::Manager::modelScaleYChanged,
                        &ML::Manager::modelScaleZChanged})
    {
      counts.push_back(std::make_unique<QSignalSpy>(&manager, signal));
    }
  }
  void expectEachOnce()
  {
    for (const auto& count : counts)
    {
      EXPECT_EQ(count->count(), 1);
    }
  }
  std::vector<std::unique_ptr<QSignalSpy>> counts;
};

void dragBox(ViewHarness& h, vtkTransform* to)
{
  h.data->boxWidget->SetTransform(to);
  h.data->boxWidget->InvokeEvent(vtkCommand::EndInteractionEvent);
}

TEST(TransformBox, ReleasingItMovesEveryNodeAndFillsAllNineProperties)
{
  ViewHarness h;
  loadAndListModels(h, {cubesFile});
  ML::ModelEntry& cubes = *h.item.models[0];
  std::map<std::string, vtkSmartPointer<vtkMatrix4x4>> before;
  for (const char* node : {"Cube_0", "Cube_1", "Cube_2"})
  {
    before[node] = globalOf(cubes, node);
  }
  h.manager.treeSelChanged(row(h, "Cube_1[1]"));
  h.runTasks();

  vtkNew<vtkTransform> dragged;
  dragged->Translate(1.0, 2.0, 3.0);
  dragged->RotateZ(30.0);
  dragged->Scale(1.5, 1.5, 1.5);
  BoxSignals notified(h.manager);
  dragBox(h, dragged);

  const ML::ManagerState& state = h.manager.state;
  for (size_t i = 0; i < 3; ++i)
  {
    EXPECT_NEAR(state.modelPosition[i], (i + 1) * 1.0, 1e-6);
    EXPECT_NEAR(state.modelScale[i], 1.5, 1e-6);
  }
  EXPECT_NEAR(state.modelRotation[0], 0.0, 1e-6);
  EXPECT_NEAR(state.modelRotation[2], 30.0, 1e-6);
  EXPECT_EQ(h.manager.modelRotateZ(), 3000);
  notified.expectEachOnce();
  for (const auto& [node, matrix] : before)
  {
    SCOPED_TRACE(node);
    expectMatrixNear(globalOf(cubes, node), product(dragged->GetMatrix(), matrix));
    expectMatrixNear(ML::Test::nodeActors(cubes, node).at(0)->GetUserMatrix(),
                     product(dragged->GetMatrix(), matrix));
  }
}

TEST(TransformBox, AnimatedModelsKeepTheirScale)
{
  ViewHarness h;
  loadAndListModels(h, {armFile});
  h.manager.treeSelChanged(row(h, "Arm[1]"));
  h.runTasks();
  vtkNew<vtkTransform> dragged;
  dragged->Translate(0.0, 0.0, -2.0);
  dragged->Scale(2.0, 2.0, 2.0);
  BoxSignals notified(h.manager);
  dragBox(h, dragged);
  EXPECT_NEAR(h.manager.state.modelPosition[2], -2.0, 1e-6);
  EXPECT_EQ(h.manager.state.modelScale[0], 1.0);
  notified.expectEachOnce();
}

// ---------------------------------------------------------------- typed transform

void typeTransform(ViewHarness& h, const Point3& position, const Point3& scale,
                   const Point3& angles)
{
  h.manager.state.modelPosition = position;
  h.manager.state.modelScale = scale;
  h.manager.state.modelRotation = angles;
  h.manager.updateModelTransform();
  h.runTasks();
}

TEST(TypedTransform, IsAbsoluteAndMovesTheModelAtOnce)
{
  ViewHarness h;
  loadAndListModels(h, {cubeFile, cubesFile});
  ML::ModelEntry& cubes = *h.item.models[1];
  const auto imported = globalOf(cubes, "Cube_1");
  h.manager.state.currentModel = 1;

  vtkNew<vtkTransform> expected;
  expected->Translate(1.0, 2.0, 3.0);
  expected->Scale(2.0, 2.0, 2.0);
  expected->RotateX(10.0);
  expected->RotateY(20.0);
  expected->RotateZ(90.0);
  for (int twice = 0; twice < 2; ++twice)
  {
    typeTransform(h, {1, 2, 3}, {2, 2, 2}, {10, 20, 90});
    expectMatrixNear(cubes.transform->GetMatrix(), expected->GetMatrix(), 1e-12);
    expectMatrixNear(globalOf(cubes, "Cube_1"), product(expected->GetMatrix(), imported));
  }
  // The other model is not touched.
  EXPECT_TRUE(h.item.models[0]->transform->GetMatrix()->IsIdentity());
}

TEST(TypedTransform, PosesAnAnimatedModelAtTheSliderTime)
{
  ViewHarness h;
  loadAndListModels(h, {armFile, armFile});
  ML::ModelEntry& typed = *h.item.models[0];
  ML::ModelEntry& reference = *h.item.models[1];
  h.manager.state.sliderVal = 0.5;
  typeTransform(h, {0, 1, 0}, {1, 1, 1}, {0, 45, 0});

  double range[2];
  reference.importer->GetTimeRange(reference.importer->ActiveAnimation, range);
  reference.transform->DeepCopy(typed.transform);
  reference.importer->UpdateTimeStep(0.5 * (range[1] - range[0]), reference.transform);
  expectMatrixNear(globalOf(typed, "Bone_002"), globalOf(reference, "Bone_002"));
}

TEST(TypedTransform, TakesTheBoxAlongSoThatReleasingItKeepsThePlacement)
{
  ViewHarness h;
  loadAndListModels(h, {cubesFile});
  ML::ModelEntry& cubes = *h.item.models[0];
  h.manager.treeSelChanged(row(h, "Cube_1[1]"));
  h.runTasks();
  typeTransform(h, {1, 2, 3}, {1, 1, 1}, {0, 0, 40});
  const auto placed = globalOf(cubes, "Cube_0");

  // Releasing the box without moving it reads back what was typed.
  h.data->boxWidget->InvokeEvent(vtkCommand::EndInteractionEvent);
  const ML::ManagerState& state = h.manager.state;
  EXPECT_NEAR(state.modelPosition[0], 1.0, 1e-6);
  EXPECT_NEAR(state.modelPosition[2], 3.0, 1e-6);
  EXPECT_NEAR(state.modelRotation[2], 40.0, 1e-6);
  EXPECT_NEAR(state.modelScale[1], 1.0, 1e-6);
  expectMatrixNear(globalOf(cubes, "Cube_0"), placed);
}

TEST(TypedTransform, NeedsACurrentModel)
{
  ViewHarness h;
  loadAndListModels(h, {cubesFile});
  h.manager.state.currentModel = 3;
  typeTransform(h, {5, 5, 5}, {1, 1, 1}, {0, 0, 0});
  EXPECT_TRUE(h.item.models[0]->transform->GetMatrix()->IsIdentity());
}
} // namespace
