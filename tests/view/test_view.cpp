// The render side driven through the Manager's commands and the interactor against
// an offscreen view, judged on rendered pixels, poses, exported files and signals.
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vtkCamera.h>
#include <vtkFieldData.h>
#include <vtkInteractorStyle.h>
#include <vtkLight.h>
#include <vtkLightCollection.h>
#include <vtkMath.h>
#include <vtkMatrix4x4.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkShaderProperty.h>
#include <vtkTransform.h>
#include <vtkUniforms.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <array>
#include <cmath>
#include <set>

#include "AssimpImporter.h"
#include "CameraTasks.h"
#include "LoadTasks.h"
#include "MessageLog.h"
#include "PlaybackTasks.h"
#include "SceneHelpers.h"
#include "SelectionTasks.h"
#include "SignalTrace.h"
#include "TestPaths.h"
#include "TestScenes.h"
#include "vtkPickerStyle.h"

namespace ML::Test
{
namespace
{
const std::string cubesFile = fixture("four_lights.glb"); // three cubes, four lamps
const std::string armFile = fixture("arm_two_clips.glb"); // a rigged arm, two clips
const std::string cubeFile = fixture("textured_cube.glb");

QString path(const std::string& file)
{
  return QString::fromStdString(file);
}

// Writes a value as the window would, runs the command that applies it and
// returns the next frame.
template <typename T>
QImage command(ViewHarness& h, T ManagerState::*field, T value, void (Manager::*apply)())
{
  h.manager.state.*field = value;
  (h.manager.*apply)();
  h.runTasks();
  return h.grab();
}

void setDirection(ViewHarness& h, int up, int right)
{
  h.manager.state.upDirection = up;
  command(h, &ManagerState::rightDirection, right, &Manager::updateDirection);
}

void expectNear(const double* actual, const Point3& expected)
{
  for (size_t i = 0; i < 3; ++i)
    EXPECT_NEAR(actual[i], expected[i], 1e-5) << "component " << i;
}

int distance(QColor a, QColor b)
{
  return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
         std::abs(a.blue() - b.blue());
}

// Largest element difference of two 4x4 matrices (VTK's or Assimp's).
template <typename A, typename B>
double difference(const A& a, const B& b)
{
  double largest = 0.0;
  for (unsigned i = 0; i < 16; ++i)
    largest = std::max(largest, std::abs(double(a[i / 4][i % 4]) - double(b[i / 4][i % 4])));
  return largest;
}

vtkSmartPointer<vtkMatrix4x4> global(const ModelEntry& entry, const std::string& node)
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

// Where a fresh importer of the arm puts its bone chain's tip at `time`.
vtkSmartPointer<vtkMatrix4x4> armPose(double time, int clip = 0, vtkTransform* placed = nullptr)
{
  vtkNew<vtkRenderer> renderer;
  vtkNew<vtkTransform> identity;
  vtkNew<AssimpImporter> reference;
  reference->FileName = armFile;
  reference->ReadScene(armFile);
  reference->ImportActors(renderer);
  reference->ActiveAnimation = clip;
  reference->UpdateTimeStep(time, placed ? placed : identity.GetPointer());
  auto pose = vtkSmartPointer<vtkMatrix4x4>::New();
  pose->DeepCopy(reference->NodeGlobalMatrices.at("Bone_002"));
  return pose;
}

Point3 viewDirection(vtkCamera* camera)
{
  Point3 direction;
  vtkMath::Subtract(camera->GetPosition(), camera->GetFocalPoint(), direction.data());
  vtkMath::Normalize(direction.data());
  return direction;
}

// Loads the files as the open task would and lists them in the tree.
void load(ViewHarness& h, std::initializer_list<std::string> files)
{
  for (const std::string& file : files)
    loadModel(h, file);
}

QModelIndex row(ViewHarness& h, const QString& text)
{
  const auto items = h.manager.treeModel()->findItems(text, Qt::MatchRecursive);
  return items.size() == 1 ? items.first()->index() : QModelIndex();
}

void select(ViewHarness& h, const QModelIndex& index)
{
  h.manager.treeSelChanged(index);
  h.runTasks();
}

// Three painted cubes spanning x -1..4, y -0.5..1.5, z -4..1 on white.
struct Cubes
{
  Cubes()
  {
    paintModel(entry, 0.8, 0.3, 0.2);
    command(h, &ManagerState::backgroundColor, 1, &Manager::updateBackground);
  }
  ViewHarness h;
  ModelEntry& entry = loadModel(h, cubesFile);
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
};

TEST(RenderItem, StartsWithThreeLightsWidgetsOffAndAnEmptyGrid)
{
  ViewHarness h;
  vtkLightCollection* lights = h.data->renderer->GetLights();
  ASSERT_EQ(lights->GetNumberOfItems(), 3);
  for (int i = 0; i < 3; ++i)
  {
    EXPECT_EQ(lights->GetItemAsObject(i), h.data->lights[i].GetPointer()) << i;
    EXPECT_EQ(h.data->lights[i]->GetSwitch(), i == 0 ? 1 : 0) << i;
  }
  EXPECT_TRUE(h.data->lights[0]->LightTypeIsHeadlight());
  EXPECT_FALSE(h.data->lightWidget->GetEnabled() || h.data->boxWidget->GetEnabled() ||
               h.data->axesWidget->GetEnabled());
  EXPECT_TRUE(h.data->renderer->HasViewProp(h.data->gridActor));
  EXPECT_EQ(h.data->gridActor->GetMapper(), nullptr);
}

// Regression: the interactor's own repeating timer also reached the animation
// callback, so playback ran twice as fast.
TEST(RenderItem, OnlyTheManagersTicksStepTheAnimationAndTearDownEmptiesTheScene)
{
  ViewHarness h;
  load(h, {armFile});
  h.item.playing = true;
  h.data->playbackStep = 0.1;
  int timerId = 1;
  h.interactor->InvokeEvent(vtkCommand::TimerEvent, &timerId);
  EXPECT_EQ(h.manager.sliderVal(), 0.0);
  h.interactor->InvokeEvent(vtkCommand::TimerEvent, nullptr);
  EXPECT_GT(h.manager.sliderVal(), 0.0);

  h.item.destroyingVTK(h.renderWindow, h.userData);
  EXPECT_EQ(h.manager.treeModel()->rowCount(), 0);
  EXPECT_EQ(h.data->renderer->GetActors()->GetNumberOfItems(), 1); // the grid
}

TEST(ViewPresets, PlaceTheCameraOnTheChosenAxisAndFrameTheScene)
{
  const struct
  {
    int up, right;
    Point3 direction, viewUp, viewRight;
  } presets[] = {{1, 0, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}},
                 {2, 4, {-1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
                 {2, 3, {0, 1, 0}, {0, 0, 1}, {-1, 0, 0}}};
  Cubes s;
  const QRect view(0, 0, s.h.renderWindow->GetSize()[0], s.h.renderWindow->GetSize()[1]);
  for (const auto& p : presets)
  {
    SCOPED_TRACE(testing::Message() << "up " << p.up << " right " << p.right);
    setDirection(s.h, p.up, p.right);
    expectNear(viewDirection(s.camera).data(), p.direction);
    expectNear(s.camera->GetViewUp(), p.viewUp);
    expectNear(s.h.data->renderer->GetEnvironmentRight(), p.viewRight);
    // Whole in the view and filling most of it one way.
    const QRect drawn = differingRect(s.h.grab(), Qt::white);
    EXPECT_TRUE(view.adjusted(1, 1, -1, -1).contains(drawn));
    EXPECT_TRUE(drawn.width() > 0.75 * view.width() || drawn.height() > 0.75 * view.height());
  }
}

TEST(ViewDirection, CollinearAxesChangeNothingButStillRebuildTheGridAndFrame)
{
  Cubes s;
  setDirection(s.h, 2, 3);
  const Point3 before = viewDirection(s.camera);
  // Far away along the same direction: only the framing can bring it back.
  s.camera->Dolly(0.05);
  s.h.data->renderer->ResetCameraClippingRange();
  const int distantArea = countDiffering(s.h.grab(), Qt::white);

  s.h.manager.state.showGrid = true;
  MessageLog log;
  setDirection(s.h, 1, 1);
  EXPECT_EQ(log.count("Up and Right are collinear."), 1);
  EXPECT_EQ(s.h.data->gridActor->GetMapper(), s.h.data->gridMapper.GetPointer());
  EXPECT_GT(countDiffering(s.h.grab(), Qt::white), 4 * distantArea);
  expectNear(viewDirection(s.camera).data(), before);
  expectNear(s.h.data->renderer->GetEnvironmentUp(), {0, 0, 1});
}

TEST(Background, EachPresetFillsTheViewWithItsColour)
{
  const QColor solid[] = {{255, 255, 255}, {98, 93, 90},    {82, 87, 110}, {74, 69, 66},
                          {107, 107, 107}, {117, 112, 107}, {0, 0, 0},     {0, 0, 0}};
  ViewHarness h;
  auto preset = [&h](int value)
  { return command(h, &ManagerState::backgroundColor, value, &Manager::updateBackground); };
  for (int value = 1; value <= 8; ++value)
    EXPECT_EQ(countDiffering(preset(value), solid[value - 1]), 0) << value;
  preset(3);
  EXPECT_EQ(countDiffering(preset(-2), solid[2]), 0);
  for (int gradient : {0, -1})
  {
    preset(7);
    const QImage image = preset(gradient);
    const int x = image.width() / 2;
    EXPECT_LE(distance(colorAt(image, {x, 0}), QColor(216, 211, 208)), 6) << gradient;
    EXPECT_LE(distance(colorAt(image, {x, image.height() - 1}), QColor(76, 70, 68)), 6);
  }
}

TEST(SceneLights, TintAWhiteModelInTheSlotColoursAndTheHeadlightBringsWhiteBack)
{
  ViewHarness h;
  paintModel(loadModel(h, cubeFile), 1.0, 1.0, 1.0);
  command(h, &ManagerState::backgroundColor, 7, &Manager::updateBackground);
  for (int light = 0; light < 3; ++light)
  {
    h.manager.state.lights[light].position = {0.0, 0.0, 10.0};
    command(h, &ManagerState::currentLight, light, &Manager::updateLightPos);
  }
  const QPoint face = imagePoint(h, {0.3, 0.6, 1.0});
  auto lit = [&](bool sceneLight)
  {
    command(h, &ManagerState::sceneLight, sceneLight, &Manager::updateSceneLight);
    // The handle would be drawn over the cube.
    return colorAt(
        command(h, &ManagerState::showLightWidget, false, &Manager::updateShowLightWidget), face);
  };
  const QColor white = lit(false);
  EXPECT_LE(distance(white, Qt::white), 6);
  h.manager.state.lights[0].color = Qt::red;
  h.manager.state.lights[1].color = h.manager.state.lights[2].color = Qt::black;
  EXPECT_LE(distance(lit(true), Qt::red), 6);
  h.manager.state.lights[0].color = Qt::black;
  h.manager.state.lights[1].color = Qt::green;
  h.manager.updateLightColor();
  h.runTasks();
  EXPECT_LE(distance(colorAt(h.grab(), face), Qt::green), 6);
  EXPECT_EQ(lit(false), white);
}

// A drag of the light handle ends in the widget's interaction event with the handle moved.
TEST(SceneLights, TheHandleShowsTheCurrentLightAndDraggingItMovesOnlyThatLight)
{
  ViewHarness h;
  loadModel(h, cubeFile);
  command(h, &ManagerState::sceneLight, true, &Manager::updateSceneLight);
  h.manager.state.lights[1].position = {3.0, 4.0, 5.0};
  command(h, &ManagerState::currentLight, 1, &Manager::updateCurrentLight);
  const double* handle = h.data->lightRepresentation->GetLightPosition();
  EXPECT_EQ(std::vector<double>(handle, handle + 3), (std::vector<double>{3.0, 4.0, 5.0}));

  const auto drag = [&](std::array<double, 3> position)
  {
    h.data->lightRepresentation->SetLightPosition(position.data());
    h.data->lightWidget->InvokeEvent(vtkCommand::InteractionEvent);
  };
  const auto at = [](vtkLight* light)
  { return std::vector<double>(light->GetPosition(), light->GetPosition() + 3); };
  QSignalSpy moved(&h.manager, &Manager::lightPosXChanged);
  const std::vector<double> light0 = at(h.data->lights[0]);
  drag({-2.0, 6.0, 1.0});
  EXPECT_EQ(moved.count(), 1);
  EXPECT_EQ((std::array{h.manager.lightPosX(), h.manager.lightPosY(), h.manager.lightPosZ()}),
            (std::array{-2, 6, 1}));
  EXPECT_EQ(at(h.data->lights[1]), (std::vector<double>{-2.0, 6.0, 1.0}));
  EXPECT_EQ(at(h.data->lights[0]), light0);

  // With the headlight, the handle moves no light.
  command(h, &ManagerState::sceneLight, false, &Manager::updateSceneLight);
  const std::vector<double> headlight = at(h.data->lights[1]);
  drag({7.0, 7.0, 7.0});
  EXPECT_EQ(h.manager.lightPosX(), -2);
  EXPECT_EQ(at(h.data->lights[1]), headlight);
}

TEST(SurfacePresets, ChangeOnlyTheCurrentModel)
{
  ViewHarness h;
  ModelEntry& first = loadModel(h, cubesFile);
  ModelEntry& second = loadModel(h, cubesFile);
  auto surface = [](ModelEntry& entry)
  {
    vtkProperty* p = nodeActors(entry, "Cube_2").at(0)->GetProperty();
    return std::array<double, 4>{p->GetSpecular(), p->GetSpecularPower(), p->GetDiffuse(),
                                 p->GetAmbient()};
  };
  auto preset = [&h](int value)
  { return command(h, &ManagerState::surfaceLight, value, &Manager::updateSurfaceLight); };
  const auto imported = surface(first);
  const std::array<double, 4> presets[] = {{0, 0, 1, 0}, {1, 50, 1, 0.1}, {1, 50, 0.3, 0.1}};
  h.manager.state.currentModel = 1;
  QImage images[3];
  for (int value = 0; value < 3; ++value)
  {
    images[value] = preset(value);
    EXPECT_EQ(surface(second), presets[value]) << value;
  }
  EXPECT_NE(images[0], images[2]);
  preset(3);
  EXPECT_EQ(surface(second), presets[2]);
  h.manager.state.surfaceLight = 2;
  command(h, &ManagerState::currentModel, 2, &Manager::updateSurfaceLight);
  EXPECT_EQ(surface(first), imported);
  // -1 counts as the first model.
  command(h, &ManagerState::currentModel, -1, &Manager::updateSurfaceLight);
  EXPECT_EQ(surface(first), presets[2]);
}

TEST(Grid, UnitSquareAndFadeFollowTheSizeOfTheScene)
{
  // Boxes whose diagonals are 25, 37 and 370.
  const std::pair<Point3, double> cases[] = {
      {{9, 12, 20}, 1.0}, {{0, 12, 35}, 10.0}, {{0, 120, 350}, 100.0}};
  for (const auto& [extent, unitSquare] : cases)
  {
    ViewHarness h;
    addBoxActor(h, {-2, -3, -4}, {extent[0] - 2, extent[1] - 3, extent[2] - 4});
    command(h, &ManagerState::showGrid, true, &Manager::updateShowGrid);
    EXPECT_EQ(h.data->gridMapper->GetUnitSquare(), unitSquare);
    EXPECT_DOUBLE_EQ(h.data->gridMapper->GetFadeDistance(), vtkMath::Norm(extent.data()));
  }
}

TEST(Grid, LiesJustUnderTheModelAndTurnsWithTheViewDirection)
{
  Cubes s;
  s.camera->Elevation(25);
  resetCamera(s.h.data);
  const QImage without = s.h.grab();
  const QImage with = command(s.h, &ManagerState::showGrid, true, &Manager::updateShowGrid);
  expectNear(s.h.data->gridActor->GetPosition(), {1.5, -0.5001, -1.5});
  // The floor shows around the cubes and never over them: it lies beneath.
  int floor = 0;
  int overCubes = 0;
  for (int y = 0; y < with.height(); ++y)
    for (int x = 0; x < with.width(); ++x)
      if (with.pixel(x, y) != without.pixel(x, y))
      {
        ++floor;
        overCubes += (without.pixel(x, y) & 0xffffff) != 0xffffff ? 1 : 0;
      }
  EXPECT_GT(floor, with.width() * with.height() / 50);
  EXPECT_EQ(overCubes, 0);
  EXPECT_EQ(command(s.h, &ManagerState::showGrid, false, &Manager::updateShowGrid), without);

  // Up +z: the floor lies under the lowest z, its normal (its own y) along +z.
  s.h.manager.state.showGrid = true;
  setDirection(s.h, 2, 4);
  expectNear(s.h.data->gridActor->GetPosition(), {1.5, 0.5, -4.0001});
  EXPECT_NEAR(s.h.data->gridActor->GetMatrix()->GetElement(2, 1), 1.0, 1e-9);
}

TEST(Grid, StaysAsItWasForAnEmptyScene)
{
  ViewHarness h;
  command(h, &ManagerState::showGrid, true, &Manager::updateShowGrid);
  EXPECT_EQ(h.data->gridActor->GetMapper(), nullptr);
  loadModel(h, cubesFile);
  command(h, &ManagerState::showGrid, true, &Manager::updateShowGrid);
  const double placedY = h.data->gridActor->GetPosition()[1];
  unloadModels(&h.item, h.data);
  h.data->gridActor->VisibilityOff();
  command(h, &ManagerState::showGrid, true, &Manager::updateShowGrid);
  EXPECT_FALSE(h.data->gridActor->GetVisibility());
  EXPECT_EQ(h.data->gridActor->GetPosition()[1], placedY);
  EXPECT_NEAR(h.data->gridMapper->GetFadeDistance(), std::sqrt(54.0), 1e-5);
}

TEST(Wireframe, ShowsOnlyTheEdgesAndGoesBack)
{
  Cubes s;
  // Inside the front face of the first cube, away from its edges and diagonal.
  const QPoint inside = imagePoint(s.h, {0.6, 0.6, 1.0});
  const QImage surface = s.h.grab();
  EXPECT_NE(colorAt(surface, inside), QColor(Qt::white));
  const QImage wire = command(s.h, &ManagerState::wireFrame, true, &Manager::toggleWireframe);
  EXPECT_EQ(colorAt(wire, inside), QColor(Qt::white));
  EXPECT_LT(countDiffering(wire, Qt::white), countDiffering(surface, Qt::white) / 3);
  EXPECT_EQ(command(s.h, &ManagerState::wireFrame, false, &Manager::toggleWireframe), surface);
}

class Files : public ::testing::Test
{
protected:
  void open(const QStringList& paths)
  {
    h.manager.openModels(paths);
    h.runTasks();
  }
  int actors() { return h.data->renderer->GetActors()->GetNumberOfItems(); }
  bool exportTo(const QString& file)
  {
    SignalTrace trace(h.manager);
    h.manager.exportSceneUrl(QUrl::fromLocalFile(dir.path() + "/" + file));
    h.runTasks();
    return trace.count("exportSourceError") == 0;
  }
  const QStringList loadEnd{"modelNamesChanged", "openSourceEnd"};
  const QStringList loadFailure{"modelNamesChanged", "openSourceError", "openSourceEnd"};
  void openArm()
  {
    open({path(armFile)});
    double range[2];
    h.item.models[0]->importer->GetTimeRange(0, range);
    duration = range[1] - range[0];
  }
  // One clock tick `wallSeconds` after the one before.
  void tick(double wallSeconds = 1.0 / 30.0)
  {
    h.item.playing = true;
    now += wallSeconds;
    h.manager.timerSlot();
    h.runTasks();
  }
  double poseError(double time, int clip = 0)
  {
    return difference(global(*h.item.models[0], "Bone_002")->Element, armPose(time, clip)->Element);
  }
  QTemporaryDir dir;
  ViewHarness h;
  double duration = 0.0;
  double now = 0.0;
  void SetUp() override
  {
    h.manager.wallClock = [this] { return now; };
  }
};

TEST_F(Files, OpenLoadsEveryFileInOrderShowsItAndPicksAClipItHas)
{
  h.manager.state.backgroundColor = 7; // black
  h.manager.state.currentAnimatoin = 5;
  open({path(cubeFile)});
  EXPECT_EQ(h.manager.state.currentAnimatoin, 5);
  EXPECT_EQ(h.manager.state.numberOfAnimations, 0);
  EXPECT_EQ(h.item.models[0]->importer->ActiveAnimation, -1);
  const QImage image = h.grab();
  EXPECT_EQ(colorAt(image, {2, 2}), QColor(Qt::black));
  EXPECT_GT(countDiffering(image, Qt::black), image.width() * image.height() / 20);

  SignalTrace trace(h.manager);
  const QStringList paths{path(armFile), path(cubesFile)};
  open(paths);
  ASSERT_EQ(h.item.models.size(), 2u);
  EXPECT_EQ(h.manager.state.modelNames, paths);
  EXPECT_EQ(h.manager.state.numberOfAnimations, 2);
  EXPECT_EQ(h.manager.state.currentAnimatoin, 0);
  EXPECT_EQ(h.item.models[0]->importer->ActiveAnimation, 0);
  EXPECT_EQ(trace.names.mid(trace.names.size() - 2), loadEnd);
  h.manager.state.currentAnimatoin = 1;
  open({path(armFile)});
  EXPECT_EQ(h.item.models[0]->importer->ActiveAnimation, 1);
}

// A failed open must not leave the window showing a file that is not open, and
// every load request, empty ones too, ends the busy state.
TEST_F(Files, UnreadableFileUnloadsTheWholeOpen)
{
  open({path(armFile)});
  const QString broken = writeBrokenModel(dir.path());
  SignalTrace trace(h.manager);
  MessageLog log;
  open({path(cubesFile), broken});
  EXPECT_TRUE(h.item.models.empty());
  EXPECT_TRUE(h.manager.state.modelNames.isEmpty());
  EXPECT_FALSE(h.item.lightsFromFile);
  EXPECT_EQ(actors(), 1); // the grid
  EXPECT_EQ(trace.names.mid(trace.names.size() - 3), loadFailure);
  EXPECT_TRUE(log.contains(broken) && log.contains(" Importer update error"));

  h.data->renderer->GradientBackgroundOff();
  trace.clear();
  h.manager.loadFiles({});
  h.runTasks();
  EXPECT_TRUE(h.data->renderer->GetGradientBackground());
  EXPECT_EQ(trace.names.mid(trace.names.size() - 2), loadEnd);
}

TEST_F(Files, LightsComeFromTheFirstFileThatHasAnyResetAndCloseDropThem)
{
  open({path(cubeFile), writeLightScene(dir.path()), path(cubesFile)});
  ASSERT_EQ(h.item.models.size(), 3u);
  const auto& slot = h.manager.state.lights;
  expectNear(slot[0].position.data(), {7, 8, 9});
  expectNear(slot[0].focalPoint.data(), {7, 8, 8});
  // Scaled together until the brightest component is full: the white lamp is dim
  // beside one of 256 times its power.
  EXPECT_EQ(slot[0].color, QColor(0, 0, 0));
  expectNear(slot[1].position.data(), {-1, 2, -3});
  EXPECT_EQ(slot[1].color, QColor(255, 7, 1));
  expectNear(slot[2].position.data(), {0, 0, 0});
  EXPECT_TRUE(h.manager.state.sceneLight);
  vtkLight* light = h.data->lights[0];
  EXPECT_TRUE(light->LightTypeIsSceneLight() && light->GetSwitch());
  expectNear(light->GetTransformedPosition(), {7, 8, 9});

  // Reset restores the view settings but keeps the models and the background.
  ManagerState& state = h.manager.state;
  state.upDirection = 2;
  state.rightDirection = 3;
  state.surfaceLight = 2;
  state.backgroundColor = 7;
  SignalTrace trace(h.manager);
  h.manager.resetScene();
  h.runTasks();
  EXPECT_EQ(std::make_tuple(state.upDirection, state.rightDirection, state.sceneLight,
                            state.surfaceLight, state.backgroundColor),
            std::make_tuple(1, 0, false, 0, 7));
  for (const LightSlot& reset : slot) // white as at start, so that scene lights light
    EXPECT_EQ(reset.color, QColor(Qt::white));
  EXPECT_FALSE(h.data->lights[1]->GetPositional());
  EXPECT_EQ(h.item.models.size(), 3u);
  EXPECT_EQ(
      trace.names.filter(QRegularExpression("^(up|right|sceneLight|surfaceLight|lightColor)")),
      QStringList({"upDirectionChanged", "rightDirectionChanged", "lightColorChanged",
                   "sceneLightChanged", "surfaceLightChanged"}));
  expectNear(viewDirection(h.data->renderer->GetActiveCamera()).data(), {0, 0, 1});

  h.manager.clearModels();
  h.runTasks();
  EXPECT_EQ(actors(), 1);
  EXPECT_TRUE(h.manager.state.modelNames.isEmpty());
  EXPECT_FALSE(h.item.lightsFromFile);
  // Only the first three of the file's four lights are taken, again after a close.
  trace.clear();
  open({path(cubesFile)});
  expectNear(slot[0].position.data(), {2, 3, 2});
  expectNear(slot[1].position.data(), {-2, 4, -2});
  expectNear(slot[2].position.data(), {4, 2, -4});
  EXPECT_EQ(slot[2].color, QColor(51, 51, 255));
  EXPECT_EQ(
      trace.names.filter(QRegularExpression("^(sceneLight|light)")),
      QStringList({"sceneLightChanged", "lightPosXChanged", "lightPosYChanged", "lightPosZChanged",
                   "lightFpXChanged", "lightFpYChanged", "lightFpZChanged", "lightColorChanged"}));
}

// A point lamp lights the faces turned toward where it stands, in its colour; a
// spot keeps the file's cone. Cube_1 stands between the red lamp (in front, above)
// and the blue one (behind).
TEST_F(Files, LampsLightTheFacesTurnedTowardThemInTheirColour)
{
  open({path(cubesFile)});
  EXPECT_TRUE(h.data->lights[0]->GetPositional());
  EXPECT_EQ(h.data->lights[0]->GetConeAngle(), 180.0);
  EXPECT_NEAR(h.data->lights[1]->GetConeAngle(), vtkMath::DegreesFromRadians(0.6), 1e-4);
  command(h, &ManagerState::showLightWidget, false, &Manager::updateShowLightWidget);
  // Cube_1's front faces the red lamp only, its back the blue one only (whose light
  // is a fifth red); Cube_2's back faces no lamp at all.
  const QColor front = colorAt(h.grab(), imagePoint(h, {3, 0.5, 1}));
  EXPECT_GT(front.red(), 60);
  EXPECT_GT(front.red(), 3 * std::max(front.green(), front.blue()));
  h.data->renderer->GetActiveCamera()->Azimuth(180);
  const QImage behind = h.grab();
  const QColor back = colorAt(behind, imagePoint(h, {3, 0.5, -1}));
  EXPECT_GT(back.blue(), 100);
  EXPECT_GT(back.blue(), 3 * back.red());
  const QColor dark = colorAt(behind, imagePoint(h, {0, 0.5, -4}));
  EXPECT_LT(std::max({dark.red(), dark.green(), dark.blue()}), 10);

  // Real files with lamps: most of the model is lit, not a silhouette.
  for (const char* file : {"FBX/spider.fbx", "FBX/huesitos.fbx", "FBX/animation_with_skeleton.fbx"})
  {
    open({path(assimpModel(file))});
    const QImage image = h.grab();
    const QColor background = colorAt(image, {0, 0});
    int model = 0, lit = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (const QColor c = image.pixelColor(x, y); c != background)
          ++model, lit += std::max({c.red(), c.green(), c.blue()}) > 60;
    EXPECT_GT(model, 100) << file;
    EXPECT_GT(lit, model / 3) << file;
  }
}

TEST_F(Files, AddPutsModelsBesideTheOthersAndAFailedAddKeepsThem)
{
  open({path(cubeFile)});
  const int actorsBefore = actors();
  SignalTrace trace(h.manager);
  MessageLog log;
  h.manager.addModelUrl(QUrl::fromLocalFile(writeBrokenModel(dir.path())));
  h.runTasks();
  EXPECT_EQ(h.item.models.size(), 1u);
  EXPECT_EQ(actors(), actorsBefore);
  EXPECT_EQ(h.manager.state.modelNames, QStringList{path(cubeFile)});
  EXPECT_EQ(trace.names, loadFailure);
  EXPECT_TRUE(log.contains(" Importer update error"));

  // Queued back to back, each add loads its own path; lights stay as they were.
  trace.clear();
  const QStringList added{path(armFile), writeLightScene(dir.path())};
  h.manager.addModelUrl(QUrl::fromLocalFile(added[0]));
  h.manager.addModelUrl(QUrl::fromLocalFile(added[1]));
  h.runTasks();
  ASSERT_EQ(h.item.models.size(), 3u);
  EXPECT_EQ(h.item.models[1]->importer->FileName, armFile);
  EXPECT_EQ(h.item.models[2]->importer->FileName, added[1].toStdString());
  EXPECT_EQ(h.manager.treeModel()->item(2)->text(), "lights.gltf");
  EXPECT_EQ(h.manager.state.currentModel, 2);
  EXPECT_EQ(trace.count("openSourceEnd"), 2);
  EXPECT_FALSE(h.item.lightsFromFile || h.manager.state.sceneLight);
}

// A damaged copy of a real model fails like any unreadable file, for an add and an open;
// a damaged image only costs its texture.
TEST_F(Files, DamagedModelsFailLikeUnreadableOnesAndADamagedImageOnlyItsTexture)
{
  QFile arm(path(armFile)), cut(dir.path() + "/cut.glb");
  ASSERT_TRUE(arm.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
  cut.write(arm.readAll().left(arm.size() / 2));
  cut.close();
  open({path(cubeFile)});
  SignalTrace trace(h.manager);
  h.manager.addModelUrl(QUrl::fromLocalFile(cut.fileName()));
  h.runTasks();
  EXPECT_EQ(h.item.models.size(), 1u);
  EXPECT_EQ(trace.names, loadFailure);
  open({cut.fileName()});
  EXPECT_TRUE(h.item.models.empty());
  EXPECT_EQ(actors(), 1); // the grid
  trace.clear();
  open({ML_SOURCE_DIR "/tests/importer/corpus/damaged-embedded-png.glb"});
  EXPECT_EQ(h.item.models.size(), 1u);
  EXPECT_EQ(trace.names.mid(trace.names.size() - 2), loadEnd);
}

// The view saved as a picture: its own size or a multiple, showing what the view
// shows; a folder that does not exist is said.
TEST_F(Files, TheViewSavesAsAPictureOfItsSizeOrAMultiple)
{
  open({path(armFile)});
  const QImage shown = h.grab();
  QStringList messages;
  QObject::connect(&h.manager, &Manager::viewImageSaved,
                   [&](const QString& message) { messages.append(message); });
  for (const int scale : {1, 2})
  {
    const QString file = dir.filePath(QString("view%1.png").arg(scale));
    h.manager.saveViewImageUrl(QUrl::fromLocalFile(file), scale);
    h.runTasks();
    const QImage saved(file);
    ASSERT_EQ(saved.size(), shown.size() * scale) << scale;
    EXPECT_GT(countDiffering(saved.scaled(shown.size()), colorAt(saved, {0, 0})), 0);
  }
  EXPECT_EQ(QImage(dir.filePath("view1.png")).convertToFormat(QImage::Format_RGB32),
            shown.convertToFormat(QImage::Format_RGB32));
  h.manager.saveViewImageUrl(QUrl::fromLocalFile("/no/such/folder/view.png"), 1);
  h.runTasks();
  EXPECT_EQ(messages, QStringList({"Saved view1.png (320 × 240).", "Saved view2.png (640 × 480).",
                                   "Cannot write the image /no/such/folder/view.png."}));
}

TEST_F(Files, ExportNeedsAModelAndAListedSuffix)
{
  MessageLog log;
  EXPECT_FALSE(exportTo("empty.glb"));
  EXPECT_TRUE(log.contains("Export failed: "));
  EXPECT_FALSE(QFile::exists(dir.path() + "/empty.glb"));
  open({path(cubeFile)});
  for (const char* name : {"a.gLb", "a.obj", "a"})
    EXPECT_FALSE(exportTo(name)) << name;
  for (const char* name : {"a.GLB", "a.Gltf", "a.Dae", "a.FBX"})
    EXPECT_TRUE(exportTo(name)) << name;
  Assimp::Importer reader;
  const aiScene* scene = reader.ReadFile((dir.path() + "/a.GLB").toStdString(), 0);
  ASSERT_NE(scene, nullptr) << reader.GetErrorString();
  EXPECT_EQ(scene->mNumMeshes, 1u);
}

// The merge works on copies: the shown models must play, select and export again.
// The lamp scene is modelled Z-up, so its root carries a turn that must stay under
// its placement. The arm shown twice and the roots and lamps of both lamp files
// share names, which the merged file must keep apart.
TEST_F(Files, ExportEveryFormatKeepsEachPlacedModelRootAndTheModelsStayUsable)
{
  open({path(armFile), path(cubesFile), path(fixture("four_lights.dae")), path(armFile)});
  ASSERT_EQ(h.item.models.size(), 4u);
  for (size_t model = 0; model < 4; ++model)
  {
    vtkTransform* placement = h.item.models[model]->transform;
    placement->Translate(1.0 - model, 2.0 * model, 3.0);
    placement->RotateY(30.0 * model);
    placement->Scale(1.0 + 0.25 * model, 1.0, 1.0);
  }
  const aiScene* armScene = h.item.models[0]->importer->Scene;
  const aiMatrix4x4 armRoot = armScene->mRootNode->mTransformation;
  ASSERT_FALSE(h.item.models[2]->importer->Scene->mRootNode->mTransformation.IsIdentity());
  const char* const roots[] = {"Arm_Rig", "Scene", "Scene.3", "Arm_Rig.4"};
  for (const char* suffix : {"glb", "gltf", "dae", "fbx"})
  {
    const QString file = dir.path() + "/placed." + suffix;
    ASSERT_TRUE(exportTo(QStringLiteral("placed.") + suffix)) << suffix;
    Assimp::Importer reader;
    reader.SetPropertyInteger("IMPORT_FBX_PRESERVE_PIVOTS", 0);
    const aiScene* scene = reader.ReadFile(file.toStdString(), 0x600);
    ASSERT_NE(scene, nullptr) << suffix << ": " << reader.GetErrorString();
    for (size_t model = 0; model < 4; ++model)
    {
      // The model's transform on top of its root's own, composed here in Assimp's
      // terms, so that a transposed hand-over from VTK fails.
      aiMatrix4x4 move, turn, stretch;
      const float m = static_cast<float>(model);
      aiMatrix4x4 placed = aiMatrix4x4::Translation({1 - m, 2 * m, 3}, move) *
                           aiMatrix4x4::RotationY(vtkMath::RadiansFromDegrees(30 * m), turn) *
                           aiMatrix4x4::Scaling({1 + 0.25f * m, 1, 1}, stretch);
      placed *= h.item.models[model]->importer->Scene->mRootNode->mTransformation;
      const aiNode* root = scene->mRootNode->FindNode(roots[model]);
      ASSERT_NE(root, nullptr) << suffix << " " << roots[model];
      EXPECT_LT(difference(root->mTransformation, placed), 1e-4) << suffix << " " << roots[model];
    }
    std::set<std::string> bones; // each arm's skin binds to bones of its own
    for (unsigned m = 0; m < scene->mNumMeshes; ++m)
    {
      for (unsigned b = 0; b < scene->mMeshes[m]->mNumBones; ++b)
      {
        bones.insert(scene->mMeshes[m]->mBones[b]->mName.C_Str());
        EXPECT_NE(scene->mRootNode->FindNode(scene->mMeshes[m]->mBones[b]->mName), nullptr);
      }
    }
    EXPECT_EQ(bones.size(), 6u) << suffix;
  }
  QProcess validator;
  validator.start(ML_SOURCE_DIR "/scripts/gltf-validate",
                  {ML_GLTF_VALIDATOR_DIR, dir.path() + "/placed.glb", dir.path() + "/placed.gltf"});
  validator.waitForFinished(480000);
  const QString output = validator.readAllStandardOutput() + validator.readAllStandardError();
  EXPECT_EQ(output.count("\"errors\":0,"), 2) << output.toStdString();
  EXPECT_EQ(validator.exitCode(), 0);

  EXPECT_EQ(difference(armScene->mRootNode->mTransformation, armRoot), 0.0);
  const aiNode* lamp = h.item.models[1]->importer->Scene->mRootNode->FindNode("Lamp_0");
  EXPECT_NE(lamp ? lamp->mMetaData : nullptr, nullptr);
  tick();
  EXPECT_GT(h.manager.state.sliderVal, 0.0);
  select(h, h.manager.treeModel()->item(0)->child(1)->index());
  EXPECT_TRUE(h.data->boxWidget->GetEnabled());
  EXPECT_FALSE(h.item.playing);
}

TEST_F(Files, PlaybackKeepsWallClockTimeTimesTheSpeedAndTheSliderPosesTheChosenClip)
{
  openArm();
  ASSERT_GT(duration, 1.0);
  SignalTrace trace(h.manager);
  tick();
  EXPECT_NEAR(h.manager.state.sliderVal, (1.0 / 30.0) / duration, 1e-12);
  EXPECT_EQ(trace.count("sliderValChanged"), 1);
  EXPECT_LT(poseError(1.0 / 30.0), 1e-6);
  // However far apart the ticks come, each covers the time since the last one.
  h.manager.setSliderVal(0.5);
  tick(0.25);
  EXPECT_LT(poseError(0.5 * duration + 0.25), 1e-6);
  h.manager.setSpeedVal(2.0);
  tick(0.05);
  EXPECT_NEAR(h.manager.state.sliderVal, (0.5 * duration + 0.35) / duration, 1e-12);
  EXPECT_LT(poseError(0.5 * duration + 0.35), 1e-6);
  // Past the end the clip starts over with the time it overshot by.
  h.manager.setSpeedVal(1.0);
  h.manager.setSliderVal(1.0 - 0.01 / duration);
  tick(0.03);
  EXPECT_NEAR(h.manager.state.sliderVal, 0.02 / duration, 1e-9);
  EXPECT_LT(poseError(0.02), 1e-6);

  // The slider stops playback and poses the clip chosen in the window.
  h.manager.setCurrentAnimatoin(1);
  h.item.playing = true;
  h.manager.setSliderVal(0.5);
  h.manager.sliderMoved();
  h.runTasks();
  EXPECT_FALSE(h.item.playing);
  EXPECT_LT(poseError(0.5 * duration, 1), 1e-6);
  EXPECT_GT(poseError(0.5 * duration, 0), 1e-3);
  // A stopped clock does not move it.
  h.manager.timerSlot();
  h.runTasks();
  EXPECT_LT(poseError(0.5 * duration, 1), 1e-6);
  tick(0.1);
  EXPECT_LT(poseError(0.5 * duration + 0.1, 1), 1e-6);

  // The window learns the clip's length; a glTF clip counts no frames, so a step
  // is a thirtieth of a second, and it stops playback like the slider.
  EXPECT_NEAR(h.manager.clipDuration(), duration, 1e-9);
  EXPECT_EQ(h.manager.clipFrameRate(), 0.0);
  h.manager.setSliderVal(0.5);
  h.manager.stepFrames(3);
  h.runTasks();
  EXPECT_FALSE(h.item.playing);
  EXPECT_LT(poseError(0.5 * duration + 0.1, 1), 1e-6);
  h.manager.stepFrames(-1000);
  h.runTasks();
  EXPECT_EQ(h.manager.state.sliderVal, 0.0);
  open({path(fixture("arm_two_clips.fbx"))}); // FBX counts frames: 24 a second
  EXPECT_EQ(h.manager.clipFrameRate(), 24.0);
  open({path(cubeFile)});
  EXPECT_EQ(h.manager.clipDuration(), 0.0);
}

// The skeleton overlay: a magenta dot where each joint's global matrix puts it,
// over the mesh it lies in, and with it as the clip plays.
TEST_F(Files, TheSkeletonOverlayDrawsTheJointsOverTheMeshAndFollowsPlayback)
{
  openArm();
  const auto magentaAtJoint = [&](const char* joint)
  {
    const vtkMatrix4x4* g = h.item.models[0]->importer->NodeGlobalMatrices.at(joint);
    const QColor c = colorAt(
        h.grab(), imagePoint(h, {g->GetElement(0, 3), g->GetElement(1, 3), g->GetElement(2, 3)}));
    return c.red() > 200 && c.green() < 100 && c.blue() > 150;
  };
  EXPECT_FALSE(magentaAtJoint("Bone_001"));
  h.manager.state.showSkeleton = true;
  h.manager.updateShowSkeleton();
  h.runTasks();
  const QPoint rest = imagePoint(h, {0, 2, 0});
  EXPECT_TRUE(magentaAtJoint("Bone_001") && magentaAtJoint("Bone_002"));
  h.manager.setSliderVal(0.25); // the arm bent forward
  h.manager.sliderMoved();
  h.runTasks();
  EXPECT_TRUE(magentaAtJoint("Bone_002"));
  const vtkMatrix4x4* tip = h.item.models[0]->importer->NodeGlobalMatrices.at("Bone_002");
  EXPECT_NE(imagePoint(h, {tip->GetElement(0, 3), tip->GetElement(1, 3), tip->GetElement(2, 3)}),
            rest);
  // Selecting a joint's row puts its name beside it.
  select(h, row(h, "Bone_001[0]"));
  h.grab();
  const vtkMatrix4x4* elbow = h.item.models[0]->importer->NodeGlobalMatrices.at("Bone_001");
  EXPECT_TRUE(h.data->jointLabel->GetVisibility());
  EXPECT_STREQ(h.data->jointLabel->GetInput(), "Bone_001");
  expectNear(h.data->jointLabel->GetPosition(),
             {elbow->GetElement(0, 3), elbow->GetElement(1, 3), elbow->GetElement(2, 3)});

  // Unticking a joint's row hides it and what hangs below it.
  h.manager.checkTreeModel(row(h, "Bone_002[0]"), false);
  h.runTasks();
  EXPECT_FALSE(magentaAtJoint("Bone_002"));
  EXPECT_TRUE(magentaAtJoint("Bone_001"));

  // A file with a skeleton and clips but no mesh shows the skeleton unasked.
  h.manager.state.showSkeleton = false;
  h.manager.updateShowSkeleton();
  open({path(fixture("arm_clips_only.assbin"))});
  EXPECT_TRUE(h.manager.showSkeleton());
  EXPECT_TRUE(magentaAtJoint("Bone_001"));
}

TEST_F(Files, PlaybackWithNothingToPlayChangesNothing)
{
  openArm();
  for (const auto& [model, clip] : {std::pair{0, 2}, {0, -1}, {1, 0}, {-1, 0}})
  {
    h.manager.state.currentModel = model;
    h.manager.state.currentAnimatoin = clip;
    tick();
    EXPECT_EQ(h.manager.state.sliderVal, 0.0) << model << " " << clip;
  }
  open({writeStillAnimationScene(dir.path())});
  MessageLog log;
  tick();
  tick();
  EXPECT_EQ(log.count("Time interval is zero."), 2);
  EXPECT_EQ(h.manager.state.sliderVal, 0.0);

  open({path(cubeFile)});
  SignalTrace trace(h.manager);
  tick();
  EXPECT_TRUE(trace.names.isEmpty());
  h.manager.sliderMoved();
  h.runTasks();
  EXPECT_FALSE(h.item.playing);
}

TEST(NodeVisibility, UntickingANodeHidesExactlyItsOwnActors)
{
  ViewHarness h;
  load(h, {cubeFile, cubesFile});
  const ModelEntry& cubes = *h.item.models[1];
  paintModel(cubes, 0.8, 0.3, 0.2);
  command(h, &ManagerState::backgroundColor, 1, &Manager::updateBackground);
  const QPoint face = imagePoint(h, {3.3, 0.9, 1.0}); // on Cube_1
  const QImage shown = h.grab();
  EXPECT_NE(colorAt(shown, face), QColor(Qt::white));

  h.manager.checkTreeModel(row(h, "Cube_1[1]"), false);
  h.runTasks();
  EXPECT_EQ(colorAt(h.grab(), face), QColor(Qt::white));
  for (const char* node : {"Cube_0", "Cube_1", "Cube_2"})
    EXPECT_EQ(nodeActors(cubes, node).at(0)->GetVisibility(), node != std::string("Cube_1"));
  EXPECT_TRUE(nodeActors(*h.item.models[0], "Cube").at(0)->GetVisibility());
  h.manager.checkTreeModel(row(h, "Cube_1[1]"), true);
  h.runTasks();
  EXPECT_EQ(h.grab(), shown);
  // Two rows unticked before the next frame: each task acts on its own row.
  h.manager.checkTreeModel(row(h, "Cube_0[1]"), false);
  h.manager.checkTreeModel(row(h, "Cube_2[1]"), false);
  h.runTasks();
  EXPECT_FALSE(nodeActors(cubes, "Cube_0").at(0)->GetVisibility());
  EXPECT_FALSE(nodeActors(cubes, "Cube_2").at(0)->GetVisibility());

  // A node of another model's scene, as a task may receive it after that
  // model is gone, changes nothing, even where the names match.
  ViewHarness twice;
  load(twice, {cubesFile, cubesFile});
  const aiNode* otherCube = twice.item.models[1]->importer->Scene->mRootNode->mChildren[1];
  checkTreeModelTask(&twice.item, twice.data, {otherCube, 0}, false);
  for (const auto& entry : twice.item.models)
    EXPECT_TRUE(nodeActors(*entry, "Cube_1").at(0)->GetVisibility());
}

// The box encloses the framed actor, so its outline shows around the model rather
// than inside the mesh.
TEST(NodeSelection, TheBoxIsDrawnAroundTheModel)
{
  ViewHarness h(640, 480);
  load(h, {armFile});
  const QImage before = h.grab();
  select(h, row(h, "Arm[1]"));
  const QImage after = h.grab();
  int outside = 0; // pixels of the background (a vertical gradient) the box covers
  for (int y = 0; y < before.height(); ++y)
    for (int x = 0; x < before.width(); ++x)
      outside +=
          before.pixel(x, y) == before.pixel(0, y) && after.pixel(x, y) != before.pixel(x, y);
  EXPECT_GT(outside, 100);
}

TEST(NodeSelection, PutsTheBoxAroundTheNodeAndShowsAPlayingModelAtTimeZeroWhereItStands)
{
  ViewHarness h;
  load(h, {cubesFile, armFile});
  ModelEntry& cubes = *h.item.models[0];
  ModelEntry& arm = *h.item.models[1];
  h.item.playing = true;
  select(h, row(h, "Cube_2[1]"));
  EXPECT_TRUE(h.data->boxWidget->GetEnabled());
  EXPECT_EQ(h.data->boxWidget->GetProp3D(), nodeActors(cubes, "Cube_2").at(0));
  EXPECT_TRUE(h.data->boxWidget->GetScalingEnabled());
  EXPECT_FALSE(h.item.playing);
  // The model's root has no mesh: the box goes to one of the model's actors.
  select(h, h.manager.treeModel()->index(0, 0));
  EXPECT_TRUE(modelHoldsActor(cubes, vtkActor::SafeDownCast(h.data->boxWidget->GetProp3D())));

  arm.transform->Translate(2.0, 0.0, 0.0);
  arm.importer->UpdateTimeStep(1.0, arm.transform);
  h.item.playing = true;
  select(h, row(h, "Arm[1]"));
  EXPECT_EQ(h.manager.state.currentModel, 1);
  EXPECT_FALSE(h.item.playing);
  // Shown at time 0 where the user put it, and its placement in the fields.
  EXPECT_LT(difference(global(arm, "Bone_002")->Element, armPose(0.0, 0, arm.transform)->Element),
            1e-6);
  expectNear(h.manager.state.modelPosition.data(), {2, 0, 0});
  EXPECT_FALSE(h.data->boxWidget->GetScalingEnabled());
  // No node: the box goes away and the first model becomes current.
  select(h, QModelIndex());
  EXPECT_FALSE(h.data->boxWidget->GetEnabled());
  EXPECT_EQ(h.manager.state.currentModel, 0);
}

TEST(Picking, ClickOnAModelSelectsItWithoutTurningTheCameraAndOnTheBackgroundTurnsIt)
{
  ViewHarness h;
  load(h, {cubeFile, armFile});
  ModelEntry& cube = *h.item.models[0];
  cube.transform->Translate(-5.0, 0.0, 0.0);
  cube.importer->UpdateNodeTransforms(cube.importer->Scene->mRootNode, cube.transform->GetMatrix());
  resetCamera(h.data);
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  const Point3 viewBefore = viewDirection(camera);
  auto click = [&h](QPoint at)
  {
    h.grab();
    h.interactor->SetEventPosition(at.x(), at.y());
    h.interactor->InvokeEvent(vtkCommand::LeftButtonPressEvent);
  };

  vtkActor* target = nodeActors(*h.item.models[1], "Arm").at(0);
  const double* center = target->GetCenter();
  click(displayPoint(h, {center[0], center[1], center[2]}));
  EXPECT_EQ(h.manager.state.currentModel, 1);
  EXPECT_TRUE(h.data->boxWidget->GetEnabled());
  EXPECT_EQ(h.data->boxWidget->GetProp3D(), target);
  EXPECT_EQ(h.data->pickerStyle->GetState(), VTKIS_NONE);
  h.interactor->InvokeEvent(vtkCommand::LeftButtonReleaseEvent);
  expectNear(viewDirection(camera).data(), viewBefore);

  click({2, 2}); // the background
  EXPECT_FALSE(h.data->boxWidget->GetEnabled());
  EXPECT_EQ(h.data->pickerStyle->GetState(), VTKIS_ROTATE);
  h.interactor->InvokeEvent(vtkCommand::LeftButtonReleaseEvent);
}

TEST(ModelTransform, ReleasingTheBoxFillsAllNineValuesAndMovesEveryNode)
{
  ViewHarness h;
  load(h, {cubesFile, armFile});
  ModelEntry& cubes = *h.item.models[0];
  const char* const nodes[] = {"Cube_0", "Cube_1", "Cube_2"};
  std::vector<vtkSmartPointer<vtkMatrix4x4>> before;
  for (const char* node : nodes)
    before.push_back(global(cubes, node));
  select(h, row(h, "Cube_1[1]"));
  std::vector<std::unique_ptr<QSignalSpy>> notified;
  for (auto signal :
       {&Manager::modelPosXChanged, &Manager::modelPosYChanged, &Manager::modelPosZChanged,
        &Manager::modelRotateXChanged, &Manager::modelRotateYChanged, &Manager::modelRotateZChanged,
        &Manager::modelScaleXChanged, &Manager::modelScaleYChanged, &Manager::modelScaleZChanged})
    notified.push_back(std::make_unique<QSignalSpy>(&h.manager, signal));

  vtkNew<vtkTransform> dragged;
  dragged->Translate(1.0, 2.0, 3.0);
  dragged->RotateZ(30.0);
  dragged->Scale(1.5, 1.5, 1.5);
  h.data->boxWidget->SetTransform(dragged);
  h.data->boxWidget->InvokeEvent(vtkCommand::EndInteractionEvent);
  const ManagerState& state = h.manager.state;
  expectNear(state.modelPosition.data(), {1, 2, 3});
  expectNear(state.modelScale.data(), {1.5, 1.5, 1.5});
  expectNear(state.modelRotation.data(), {0, 0, 30});
  for (const auto& spy : notified)
    EXPECT_EQ(spy->count(), 1);
  for (size_t i = 0; i < 3; ++i)
  {
    const auto moved = product(dragged->GetMatrix(), before[i]);
    EXPECT_LT(
        difference(nodeActors(cubes, nodes[i]).at(0)->GetUserMatrix()->Element, moved->Element),
        1e-6);
  }

  // Any turn and an uneven scale read back into fields that, applied again as the
  // window does after an edit, leave every node where it was. The drag moves the
  // model the box frames even when another one became current meanwhile (a clip
  // chosen in the window picks the animated model).
  h.manager.state.currentModel = 1;
  dragged->Identity();
  dragged->Translate(-1.0, 0.5, 2.0);
  dragged->RotateZ(-35.0);
  dragged->RotateX(20.0);
  dragged->RotateY(-50.0);
  dragged->Scale(2.0, 1.0, 0.5);
  h.data->boxWidget->SetTransform(dragged);
  h.data->boxWidget->InvokeEvent(vtkCommand::EndInteractionEvent);
  EXPECT_EQ(h.manager.state.currentModel, 0);
  EXPECT_TRUE(h.item.models[1]->transform->GetMatrix()->IsIdentity());
  std::vector<vtkSmartPointer<vtkMatrix4x4>> dropped;
  for (const char* node : nodes)
    dropped.push_back(global(cubes, node));
  h.manager.updateModelTransform();
  h.runTasks();
  for (size_t i = 0; i < 3; ++i)
    EXPECT_LT(difference(global(cubes, nodes[i])->Element, dropped[i]->Element), 1e-5) << i;

  // Selecting a model shows its own placement and leaves it where it is.
  select(h, row(h, "Arm[1]"));
  expectNear(state.modelPosition.data(), {0, 0, 0});
  select(h, row(h, "Cube_1[1]"));
  expectNear(state.modelPosition.data(), {-1, 0.5, 2});
  expectNear(state.modelScale.data(), {2, 1, 0.5});
  for (size_t i = 0; i < 3; ++i)
    EXPECT_LT(difference(global(cubes, nodes[i])->Element, dropped[i]->Element), 1e-5) << i;

  // An animated model's scale is not taken from the box.
  select(h, row(h, "Arm[1]"));
  dragged->Identity();
  dragged->Translate(0.0, 0.0, -2.0);
  dragged->Scale(2.0, 2.0, 2.0);
  h.data->boxWidget->SetTransform(dragged);
  h.data->boxWidget->InvokeEvent(vtkCommand::EndInteractionEvent);
  EXPECT_NEAR(state.modelPosition[2], -2.0, 1e-6);
  expectNear(state.modelScale.data(), {2, 1, 0.5});
}

TEST(ModelTransform, TypedValuesAreAbsoluteAndTheBoxFollowsThem)
{
  ViewHarness h;
  load(h, {cubeFile, cubesFile, armFile});
  ModelEntry& cubes = *h.item.models[1];
  const auto imported = global(cubes, "Cube_1");
  select(h, row(h, "Cube_1[1]"));
  vtkNew<vtkTransform> expected;
  expected->Translate(1.0, 2.0, 3.0);
  expected->Scale(2.0, 2.0, 2.0);
  expected->RotateZ(40.0);
  const auto placed = product(expected->GetMatrix(), imported);
  auto typeTransform = [&h](const Point3& position, const Point3& scale, const Point3& angles)
  {
    h.manager.state.modelPosition = position;
    h.manager.state.modelScale = scale;
    h.manager.state.modelRotation = angles;
    h.manager.updateModelTransform();
    h.runTasks();
  };
  for (int twice = 0; twice < 2; ++twice)
  {
    typeTransform({1, 2, 3}, {2, 2, 2}, {0, 0, 40});
    EXPECT_LT(difference(global(cubes, "Cube_1")->Element, placed->Element), 1e-6);
  }
  EXPECT_TRUE(h.item.models[0]->transform->GetMatrix()->IsIdentity());
  // Releasing the box without moving it reads back what was typed.
  h.manager.state.modelPosition = {0, 0, 0};
  h.data->boxWidget->InvokeEvent(vtkCommand::EndInteractionEvent);
  expectNear(h.manager.state.modelPosition.data(), {1, 2, 3});
  expectNear(h.manager.state.modelRotation.data(), {0, 0, 40});
  expectNear(h.manager.state.modelScale.data(), {2, 2, 2});

  // An animated model is posed at the slider's time.
  ModelEntry& arm = *h.item.models[2];
  double range[2];
  arm.importer->GetTimeRange(0, range);
  h.manager.state.currentModel = 2;
  h.manager.state.sliderVal = 0.5;
  typeTransform({0, 1, 0}, {1, 1, 1}, {0, 45, 0});
  EXPECT_LT(difference(global(arm, "Bone_002")->Element,
                       armPose(0.5 * (range[1] - range[0]), 0, arm.transform)->Element),
            1e-6);

  // Scaled to nothing, the placement has no inverse: each joint matrix is then the
  // bone's global matrix times its inverse bind matrix, never unset memory.
  typeTransform({0, 1, 0}, {0, 0, 0}, {0, 0, 0});
  vtkActor* skin = nodeActors(arm, "Arm").at(0);
  std::vector<float> joints;
  skin->GetShaderProperty()->GetVertexCustomUniforms()->GetUniformMatrix4x4v("jointMatrices",
                                                                             joints);
  auto* inverseBinds = vtkPolyData::SafeDownCast(skin->GetMapper()->GetInput())
                           ->GetFieldData()
                           ->GetArray("InverseBindMatrices");
  ASSERT_EQ(joints.size(), 48u);
  for (int bone = 0; bone < 3; ++bone)
  {
    vtkNew<vtkMatrix4x4> expected;
    vtkMatrix4x4::Multiply4x4(global(arm, "Bone_00" + std::to_string(bone))->GetData(),
                              inverseBinds->GetTuple(bone), expected->GetData());
    for (int e = 0; e < 16; ++e) // the uniform is column-major
      EXPECT_NEAR(joints[16 * bone + e], expected->GetElement(e % 4, e / 4), 1e-5) << bone;
  }
}
} // namespace
} // namespace ML::Test
