// The render side driven through the Manager's commands and the interactor against
// an offscreen view, judged on rendered pixels, poses, exported files and signals.
#include <QProcess>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vtkCamera.h>
#include <vtkFieldData.h>
#include <vtkInteractorStyle.h>
#include <vtkLight.h>
#include <vtkMath.h>
#include <vtkMatrix4x4.h>
#include <vtkPolyData.h>
#include <vtkProperty.h>
#include <vtkShaderProperty.h>
#include <vtkTransform.h>
#include <vtkUniforms.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <array>
#include <cmath>
#include <set>
#include <tuple>

#include "AssimpImporter.h"
#include "CameraTasks.h"
#include "LoadTasks.h"
#include "MessageLog.h"
#include "ModelActors.h"
#include "SelectionTasks.h"
#include "SignalTrace.h"
#include "TestPaths.h"
#include "ViewHarness.h"
#include "vtkPickerStyle.h"

namespace ML::Test
{
namespace
{
using Point3 = std::array<double, 3>;
const QString cubesFile = fixtureFile("four_lights.glb"); // three cubes, four lamps
const QString armFile = fixtureFile("arm_two_clips.glb"); // a rigged arm, two clips
const QString cubeFile = fixtureFile("textured_cube.glb");

// Added as the window adds files, which takes none of their lamps.
ModelEntry& load(ViewHarness& h, const QStringList& files)
{
  const size_t count = h.item.models.size();
  h.manager.beginLoad();
  h.item.loadFiles(files, VtkItem::LoadMode::Add);
  h.runTasks();
  EXPECT_EQ(h.item.models.size(), count + files.size()) << files.join(' ').toStdString();
  return *h.item.models.back();
}

vtkActor* nodeActor(const ModelEntry& entry, const std::string& name)
{
  return vtkActor::SafeDownCast(entry.importer->NodeActors.at(name)->GetItemAsObject(0));
}

// Every actor of the model gets this plain colour and no texture, each in a property
// of its own: materials are shared between actors, and which ones share must not matter.
void paintModel(const ModelEntry& entry, double r, double g, double b)
{
  forEachActor(entry,
               [=](vtkActor* actor)
               {
                 vtkNew<vtkProperty> plain;
                 plain->SetColor(r, g, b);
                 plain->SetInterpolationToPhong();
                 actor->SetProperty(plain);
                 actor->SetTexture(nullptr);
                 actor->GetMapper()->ScalarVisibilityOff();
               });
}

// Where a world point lands in h.grab()'s image (top row first); `display` gives it in
// the interactor's display coordinates instead (bottom row first).
QPoint imagePoint(ViewHarness& h, const Point3& world, bool display = false)
{
  h.data->renderer->SetWorldPoint(world[0], world[1], world[2], 1.0);
  h.data->renderer->WorldToDisplay();
  const double* point = h.data->renderer->GetDisplayPoint();
  const int y = static_cast<int>(point[1]);
  return {static_cast<int>(point[0]), display ? y : h.renderWindow->GetSize()[1] - 1 - y};
}

std::pair<int, QRect> differing(const QImage& image, QColor background)
{
  std::pair<int, QRect> result{0, QRect()};
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xffffff) != (background.rgb() & 0xffffff))
        ++result.first, result.second |= QRect(x, y, 1, 1);
  return result;
}

// The window writes a value before it calls the command that applies it.
template <typename T>
QImage command(ViewHarness& h, T ManagerState::*field, T value, void (Manager::*apply)())
{
  h.manager.state.*field = value;
  (h.manager.*apply)();
  h.runTasks();
  return h.grab();
}

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

// The pose a fresh importer gives: what the view must match.
vtkSmartPointer<vtkMatrix4x4> armPose(double time, int clip = 0, vtkTransform* placed = nullptr)
{
  vtkNew<vtkRenderer> renderer;
  vtkNew<AssimpImporter> reference;
  reference->FileName = armFile.toStdString();
  reference->ReadScene(reference->FileName);
  reference->ImportActors(renderer);
  reference->ActiveAnimation = clip;
  reference->UpdateTimeStep(time, placed);
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
  ModelEntry& entry = load(h, {cubesFile});
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
};

// Regression: the interactor's own repeating timer also reached the animation
// callback, so playback ran twice as fast.
TEST(RenderItem, StartsWithTheHeadlightStepsOnlyOnTheManagersTicksAndTearDownEmptiesTheScene)
{
  ViewHarness h;
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(h.data->lights[i]->GetSwitch(), i == 0 ? 1 : 0) << i;
  EXPECT_TRUE(h.data->lights[0]->LightTypeIsHeadlight());
  EXPECT_FALSE(h.data->lightWidget->GetEnabled() || h.data->boxWidget->GetEnabled() ||
               h.data->axesWidget->GetEnabled());

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

// Collinear axes change nothing but still rebuild the grid and frame the scene.
TEST(ViewDirection, PresetsPlaceTheCameraOnTheAxisFrameTheSceneAsTheResetDoesAndTurnTheGrid)
{
  const struct
  {
    int up, right;
    Point3 direction, viewUp, viewRight;
  } presets[] = {{1, 0, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}},
                 {2, 4, {-1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
                 {2, 3, {0, 1, 0}, {0, 0, 1}, {-1, 0, 0}}};
  Cubes s;
  // Inside the front face of the first cube, away from its edges and diagonal.
  const QPoint inside = imagePoint(s.h, {0.6, 0.6, 1.0});
  const QImage surface = s.h.grab();
  EXPECT_NE(QColor(surface.pixel(inside)), QColor(Qt::white));
  const QImage wire = command(s.h, &ManagerState::wireFrame, true, &Manager::toggleWireframe);
  EXPECT_EQ(QColor(wire.pixel(inside)), QColor(Qt::white));
  EXPECT_EQ(command(s.h, &ManagerState::wireFrame, false, &Manager::toggleWireframe), surface);

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
        ++floor, overCubes += (without.pixel(x, y) & 0xffffff) != 0xffffff ? 1 : 0;
  EXPECT_GT(floor, with.width() * with.height() / 50);
  EXPECT_EQ(overCubes, 0);
  EXPECT_EQ(command(s.h, &ManagerState::showGrid, false, &Manager::updateShowGrid), without);

  // Up +z: the floor lies under the lowest z, its normal (its own y) along +z.
  s.h.manager.state.showGrid = true;
  s.h.manager.state.upDirection = 2;
  command(s.h, &ManagerState::rightDirection, 4, &Manager::updateDirection);
  expectNear(s.h.data->gridActor->GetPosition(), {1.5, 0.5, -4.0001});
  EXPECT_NEAR(s.h.data->gridActor->GetMatrix()->GetElement(2, 1), 1.0, 1e-9);
  command(s.h, &ManagerState::showGrid, false, &Manager::updateShowGrid);

  const QRect view(0, 0, s.h.renderWindow->GetSize()[0], s.h.renderWindow->GetSize()[1]);
  // Whole in the view and filling most of it one way.
  const auto expectFramed = [&]
  {
    const QRect drawn = differing(s.h.grab(), Qt::white).second;
    EXPECT_TRUE(view.adjusted(1, 1, -1, -1).contains(drawn));
    EXPECT_TRUE(drawn.width() > 0.75 * view.width() || drawn.height() > 0.75 * view.height());
  };
  for (const auto& p : presets)
  {
    SCOPED_TRACE(testing::Message() << "up " << p.up << " right " << p.right);
    s.h.manager.state.upDirection = p.up;
    command(s.h, &ManagerState::rightDirection, p.right, &Manager::updateDirection);
    expectNear(viewDirection(s.camera).data(), p.direction);
    expectNear(s.camera->GetViewUp(), p.viewUp);
    expectNear(s.h.data->renderer->GetEnvironmentRight(), p.viewRight);
    expectFramed();
  }
  s.camera->Dolly(0.05);
  s.h.manager.cameraReset();
  s.h.runTasks();
  expectFramed();

  const Point3 before = viewDirection(s.camera);
  // Far away along the same direction: only the framing can bring it back.
  s.camera->Dolly(0.05);
  s.h.data->renderer->ResetCameraClippingRange();
  const int distantArea = differing(s.h.grab(), Qt::white).first;
  s.h.manager.state.showGrid = true;
  MessageLog log;
  s.h.manager.state.upDirection = 1;
  command(s.h, &ManagerState::rightDirection, 1, &Manager::updateDirection);
  EXPECT_TRUE(log.contains("collinear"));
  EXPECT_EQ(s.h.data->gridActor->GetMapper(), s.h.data->gridMapper.GetPointer());
  EXPECT_GT(differing(s.h.grab(), Qt::white).first, 4 * distantArea);
  expectNear(viewDirection(s.camera).data(), before);
  expectNear(s.h.data->renderer->GetEnvironmentUp(), {0, 0, 1});
}

// Presets 1 to 8 are plain colours, white first and black seventh and eighth; 0 and -1
// a gradient, light at the top; other values keep what is shown.
TEST(Background, EachPresetFillsTheViewWithItsOwnColourOrGradient)
{
  ViewHarness h;
  auto preset = [&h](int value)
  { return command(h, &ManagerState::backgroundColor, value, &Manager::updateBackground); };
  std::set<QRgb> plain;
  for (int value = 1; value <= 8; ++value)
  {
    const QImage image = preset(value);
    const QColor colour = image.pixel(0, 0);
    plain.insert(colour.rgb());
    EXPECT_EQ(differing(image, colour).first, 0) << value;
    EXPECT_TRUE(value < 7 || colour == Qt::black) << value;
  }
  EXPECT_EQ(plain.size(), 7u);
  const QImage third = preset(3);
  EXPECT_EQ(preset(-2), third);
  for (int gradient : {0, -1})
  {
    preset(7);
    const QImage image = preset(gradient);
    const QColor top = image.pixel(image.width() / 2, 0);
    const QColor bottom = image.pixel(image.width() / 2, image.height() - 1);
    EXPECT_TRUE(top.lightness() > bottom.lightness() + 100 && bottom.lightness() > 0) << gradient;
  }
}

// A drag of the light handle ends in the widget's interaction event with the handle moved.
TEST(SceneLights, TintAWhiteModelInTheSlotColoursAndTheHandleMovesOnlyTheCurrentLight)
{
  ViewHarness h;
  paintModel(load(h, {cubeFile}), 1.0, 1.0, 1.0);
  command(h, &ManagerState::backgroundColor, 7, &Manager::updateBackground);
  for (int light = 0; light < 3; ++light)
  {
    h.manager.state.lights[light].position = {0.0, 0.0, 10.0};
    command(h, &ManagerState::currentLight, light, &Manager::updateLightPos);
  }
  const QPoint face = imagePoint(h, {0.3, 0.6, 1.0});
  const auto near = [](QColor a, QColor b)
  {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <=
           6;
  };
  auto lit = [&](bool sceneLight)
  {
    command(h, &ManagerState::sceneLight, sceneLight, &Manager::updateSceneLight);
    // The handle would be drawn over the cube.
    return QColor(command(h, &ManagerState::showLightWidget, false, &Manager::updateShowLightWidget)
                      .pixel(face));
  };
  const QColor white = lit(false);
  EXPECT_TRUE(near(white, Qt::white));
  h.manager.state.lights[0].color = Qt::red;
  h.manager.state.lights[1].color = h.manager.state.lights[2].color = Qt::black;
  EXPECT_TRUE(near(lit(true), Qt::red));
  h.manager.state.lights[0].color = Qt::black;
  h.manager.state.lights[1].color = Qt::green;
  h.manager.updateLightColor();
  h.runTasks();
  EXPECT_TRUE(near(QColor(h.grab().pixel(face)), Qt::green));
  // Each slot's colour goes to its own light, whichever of them light this face.
  EXPECT_TRUE(h.data->lights[1]->GetDiffuseColor()[1] == 1.0 &&
              h.data->lights[2]->GetDiffuseColor()[1] == 0.0);
  EXPECT_EQ(lit(false), white);

  command(h, &ManagerState::sceneLight, true, &Manager::updateSceneLight);
  h.manager.state.lights[1].position = {3.0, 4.0, 5.0};
  command(h, &ManagerState::currentLight, 1, &Manager::updateCurrentLight);
  expectNear(h.data->lightRepresentation->GetLightPosition(), {3.0, 4.0, 5.0});
  const auto drag = [&](Point3 position)
  {
    h.data->lightRepresentation->SetLightPosition(position.data());
    h.data->lightWidget->InvokeEvent(vtkCommand::InteractionEvent);
  };
  const auto at = [](vtkLight* light)
  { return std::vector<double>(light->GetPosition(), light->GetPosition() + 3); };
  SignalTrace trace(h.manager);
  const std::vector<double> light0 = at(h.data->lights[0]);
  drag({-2.0, 6.0, 1.0});
  EXPECT_EQ(trace.count("lightPosXChanged"), 1);
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

// The presets are three different surfaces; a value past them changes nothing.
TEST(SurfacePresets, ChangeOnlyTheCurrentModel)
{
  ViewHarness h;
  ModelEntry& first = load(h, {cubesFile});
  ModelEntry& second = load(h, {cubesFile});
  auto surface = [](ModelEntry& entry)
  {
    vtkProperty* p = nodeActor(entry, "Cube_2")->GetProperty();
    return std::array{p->GetSpecular(), p->GetSpecularPower(), p->GetDiffuse(), p->GetAmbient()};
  };
  auto preset = [&h](int value)
  { return command(h, &ManagerState::surfaceLight, value, &Manager::updateSurfaceLight); };
  const auto imported = surface(first);
  h.manager.state.currentModel = 1;
  std::set<std::array<double, 4>> surfaces;
  QImage images[3];
  for (int value = 0; value < 3; ++value)
  {
    images[value] = preset(value);
    surfaces.insert(surface(second));
  }
  EXPECT_EQ(surfaces.size(), 3u);
  EXPECT_NE(images[0], images[2]);
  const auto last = surface(second);
  preset(3);
  EXPECT_EQ(surface(second), last);
  h.manager.state.surfaceLight = 2;
  command(h, &ManagerState::currentModel, 2, &Manager::updateSurfaceLight);
  EXPECT_EQ(surface(first), imported);
  // -1 counts as the first model.
  command(h, &ManagerState::currentModel, -1, &Manager::updateSurfaceLight);
  EXPECT_EQ(surface(first), last);
}

// The grid of an empty scene stays as it was.
TEST(Grid, UnitSquareAndFadeFollowTheSizeOfTheScene)
{
  // Scales of the cube (side 2) that make diagonals of 25, 37 and 370.
  const std::pair<Point3, double> cases[] = {
      {{4.5, 6, 10}, 1.0}, {{0, 6, 17.5}, 10.0}, {{0, 60, 175}, 100.0}};
  for (const auto& [scale, unitSquare] : cases)
  {
    ViewHarness h;
    nodeActor(load(h, {cubeFile}), "Cube")->SetScale(scale[0], scale[1], scale[2]);
    command(h, &ManagerState::showGrid, true, &Manager::updateShowGrid);
    EXPECT_EQ(h.data->gridMapper->GetUnitSquare(), unitSquare);
    EXPECT_DOUBLE_EQ(h.data->gridMapper->GetFadeDistance(), 2 * vtkMath::Norm(scale.data()));
  }

  ViewHarness h;
  command(h, &ManagerState::showGrid, true, &Manager::updateShowGrid);
  EXPECT_EQ(h.data->gridActor->GetMapper(), nullptr);
  load(h, {cubesFile});
  command(h, &ManagerState::showGrid, true, &Manager::updateShowGrid);
  const double placedY = h.data->gridActor->GetPosition()[1];
  unloadModels(&h.item, h.data);
  h.data->gridActor->VisibilityOff();
  command(h, &ManagerState::showGrid, true, &Manager::updateShowGrid);
  EXPECT_FALSE(h.data->gridActor->GetVisibility());
  EXPECT_EQ(h.data->gridActor->GetPosition()[1], placedY);
  EXPECT_NEAR(h.data->gridMapper->GetFadeDistance(), std::sqrt(54.0), 1e-5);
}

class Files : public ::testing::Test
{
protected:
  Files()
  {
    h.manager.wallClock = [this] { return now; };
  }
  int actors() { return h.data->renderer->GetActors()->GetNumberOfItems(); }
  bool exportTo(const QString& file)
  {
    SignalTrace trace(h.manager);
    h.manager.exportSceneUrl(QUrl::fromLocalFile(QDir(dir.path()).filePath(file)));
    h.runTasks();
    return trace.count("exportSourceError") == 0;
  }
  const QStringList loadEnd{"modelNamesChanged", "openSourceEnd"};
  const QStringList loadFailure{"modelNamesChanged", "openSourceError", "openSourceEnd"};
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
  double now = 0.0;
};

TEST_F(Files, OpenAndAddLoadEveryFileInOrderAndPickAClipAndAFailedOpenUnloadsEverything)
{
  h.manager.state.currentAnimatoin = 5;
  h.open({cubeFile});
  EXPECT_EQ(h.manager.state.currentAnimatoin, 5);
  EXPECT_EQ(h.manager.state.numberOfAnimations, 0);

  // Queued back to back, each add loads its own path; the lights stay as they were.
  SignalTrace trace(h.manager);
  for (const QString& file : {armFile, cubesFile})
    h.manager.addModelUrl(QUrl::fromLocalFile(file));
  h.runTasks();
  ASSERT_EQ(h.item.models.size(), 3u);
  EXPECT_EQ(h.item.models[1]->importer->FileName, armFile.toStdString());
  EXPECT_EQ(h.item.models[2]->importer->FileName, cubesFile.toStdString());
  EXPECT_EQ(h.manager.state.currentModel, 2);
  EXPECT_EQ(trace.count("openSourceEnd"), 2);
  EXPECT_FALSE(h.manager.state.sceneLight);

  trace.clear();
  const QStringList paths{armFile, cubesFile};
  h.open(paths);
  EXPECT_EQ(h.manager.state.modelNames, paths);
  EXPECT_EQ(h.manager.state.numberOfAnimations, 2);
  EXPECT_EQ(h.manager.state.currentAnimatoin, 0);
  EXPECT_EQ(trace.lastEvents(2), loadEnd);
  h.manager.state.currentAnimatoin = 1;
  h.open({armFile});
  EXPECT_EQ(h.item.models[0]->importer->ActiveAnimation, 1);

  // A failed open must not leave the window showing a file that is not open, a failed
  // add keeps what is shown, and every load request, empty ones too, ends the busy state.
  // A damaged image only costs its texture.
  const QString cut = dir.filePath("cut.glb"); // a damaged copy of a real model
  ASSERT_TRUE(QFile::copy(armFile, cut) && QFile(cut).resize(QFile(cut).size() / 2));
  for (const QString& bad : {unreadableFile, cut})
  {
    SCOPED_TRACE(bad.toStdString());
    h.open({cubeFile});
    const int shown = actors();
    trace.clear();
    MessageLog log;
    h.manager.addModelUrl(QUrl::fromLocalFile(bad));
    h.runTasks();
    EXPECT_EQ(h.item.models.size(), 1u);
    EXPECT_EQ(actors(), shown);
    EXPECT_EQ(h.manager.state.modelNames, QStringList{cubeFile});
    EXPECT_EQ(trace.events(), loadFailure);
    EXPECT_TRUE(log.contains(bad));

    trace.clear();
    h.open({cubesFile, bad});
    EXPECT_TRUE(h.item.models.empty());
    EXPECT_TRUE(h.manager.state.modelNames.isEmpty());
    EXPECT_EQ(actors(), 1); // the grid
    EXPECT_EQ(trace.lastEvents(3), loadFailure);
  }
  trace.clear();
  h.open({ML_SOURCE_DIR "/tests/importer/corpus/damaged-embedded-png.glb"});
  EXPECT_EQ(h.item.models.size(), 1u);
  EXPECT_EQ(trace.lastEvents(2), loadEnd);
  h.data->renderer->GradientBackgroundOff();
  trace.clear();
  h.manager.loadFiles({});
  h.runTasks();
  EXPECT_TRUE(h.data->renderer->GetGradientBackground());
  EXPECT_EQ(trace.lastEvents(2), loadEnd);
}

TEST_F(Files, LightsComeFromTheFirstFileWithLampsLightTheFacesTowardThemAndResetAndCloseDropThem)
{
  h.open({cubeFile, fixtureFile("two_lamps.gltf"), cubesFile});
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
  std::tie(state.upDirection, state.rightDirection, state.surfaceLight, state.backgroundColor) =
      std::tuple(2, 3, 2, 7);
  SignalTrace trace(h.manager);
  h.manager.resetScene();
  h.runTasks();
  EXPECT_EQ(std::tuple(state.upDirection, state.rightDirection, state.sceneLight,
                       state.surfaceLight, state.backgroundColor),
            std::tuple(1, 0, false, 0, 7));
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
  // Only the first three of the file's four lights are taken, again after a close.
  trace.clear();
  h.open({cubesFile});
  expectNear(slot[0].position.data(), {2, 3, 2});
  expectNear(slot[1].position.data(), {-2, 4, -2});
  expectNear(slot[2].position.data(), {4, 2, -4});
  EXPECT_EQ(slot[2].color, QColor(51, 51, 255));
  EXPECT_EQ(
      trace.names.filter(QRegularExpression("^(sceneLight|light)")),
      QStringList({"sceneLightChanged", "lightPosXChanged", "lightPosYChanged", "lightPosZChanged",
                   "lightFpXChanged", "lightFpYChanged", "lightFpZChanged", "lightColorChanged"}));

  // A point lamp lights the faces turned toward where it stands, in its colour; a
  // spot keeps the file's cone. Cube_1 stands between the red lamp (in front, above)
  // and the blue one (behind).
  EXPECT_TRUE(h.data->lights[0]->GetPositional());
  EXPECT_EQ(h.data->lights[0]->GetConeAngle(), 180.0);
  EXPECT_NEAR(h.data->lights[1]->GetConeAngle(), vtkMath::DegreesFromRadians(0.6), 1e-4);
  command(h, &ManagerState::showLightWidget, false, &Manager::updateShowLightWidget);
  // Cube_1's front faces the red lamp only, its back the blue one only (whose light
  // is a fifth red); Cube_2's back faces no lamp at all.
  const QColor front = h.grab().pixel(imagePoint(h, {3, 0.5, 1}));
  EXPECT_GT(front.red(), 60);
  EXPECT_GT(front.red(), 3 * std::max(front.green(), front.blue()));
  h.data->renderer->GetActiveCamera()->Azimuth(180);
  const QImage behind = h.grab();
  const QColor back = behind.pixel(imagePoint(h, {3, 0.5, -1}));
  EXPECT_GT(back.blue(), 100);
  EXPECT_GT(back.blue(), 3 * back.red());
  const QColor dark = behind.pixel(imagePoint(h, {0, 0.5, -4}));
  EXPECT_LT(std::max({dark.red(), dark.green(), dark.blue()}), 10);

  // Real files with lamps: the lamps light part of each model, which is not a mere
  // silhouette on the white background.
  h.manager.state.backgroundColor = 1;
  for (const char* file : {"FBX/spider.fbx", "FBX/huesitos.fbx", "FBX/animation_with_skeleton.fbx"})
  {
    h.open({QString::fromStdString(assimpModel(file))});
    const QImage image =
        command(h, &ManagerState::showLightWidget, false, &Manager::updateShowLightWidget);
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (const QColor c = image.pixel(x, y); c != Qt::white)
          lit += std::max({c.red(), c.green(), c.blue()}) > 60;
    EXPECT_GT(lit, 200) << file;
  }
}

// The view saved as a picture: its own size or a multiple, showing what the view
// shows; a folder that does not exist is said. A scene exports only with a model
// and to a listed suffix.
TEST_F(Files, TheViewSavesAsAPictureAndExportsKeepEachPlacedModelRootInEveryListedFormat)
{
  EXPECT_FALSE(exportTo("empty.glb"));
  EXPECT_FALSE(QFile::exists(dir.filePath("empty.glb")));
  h.open({armFile});
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
    EXPECT_GT(differing(saved.scaled(shown.size()), saved.pixel(0, 0)).first, 0);
  }
  EXPECT_EQ(QImage(dir.filePath("view1.png")).convertToFormat(QImage::Format_RGB32),
            shown.convertToFormat(QImage::Format_RGB32));
  h.manager.saveViewImageUrl(QUrl::fromLocalFile("/no/such/folder/view.png"), 1);
  h.runTasks();
  ASSERT_EQ(messages.size(), 3);
  EXPECT_TRUE(messages[0].contains("view1.png") && messages[1].contains("view2.png") &&
              messages[2].contains("/no/such/folder/view.png"))
      << messages.join('\n').toStdString();

  for (const char* name : {"a.gLb", "a.obj", "a"})
    EXPECT_FALSE(exportTo(name)) << name;
  for (const char* name : {"a.GLB", "a.Gltf", "a.Dae", "a.FBX"})
    EXPECT_TRUE(exportTo(name) && QFile::exists(dir.filePath(name))) << name;
  EXPECT_FALSE(exportTo("/no/such folder/scene.glb"));
  EXPECT_TRUE(h.manager.exportMessage().contains("/no/such folder"))
      << h.manager.exportMessage().toStdString();

  // The merge works on copies: the shown models must play, select and export again.
  // The lamp scene is modelled Z-up, so its root carries a turn that must stay under
  // its placement. The arm shown twice and the roots and lamps of both lamp files
  // share names, which the merged file must keep apart.
  h.open({armFile, cubesFile, fixtureFile("four_lights.dae"), armFile});
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
    const QString file = dir.filePath(QStringLiteral("placed.") + suffix);
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
      for (unsigned b = 0; b < scene->mMeshes[m]->mNumBones; ++b)
      {
        bones.insert(scene->mMeshes[m]->mBones[b]->mName.C_Str());
        EXPECT_NE(scene->mRootNode->FindNode(scene->mMeshes[m]->mBones[b]->mName), nullptr);
      }
    EXPECT_EQ(bones.size(), 6u) << suffix;
  }
  QProcess validator;
  validator.start(ML_SOURCE_DIR "/scripts/gltf-validate",
                  {ML_GLTF_VALIDATOR_DIR, dir.filePath("placed.glb"), dir.filePath("placed.gltf")});
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
}

// With nothing to play (no such model or clip, a clip of no length, a model without
// clips) a tick changes nothing.
TEST_F(Files, PlaybackKeepsWallClockTimeTimesTheSpeedAndTheSliderPosesTheChosenClip)
{
  h.open({armFile});
  double range[2];
  h.item.models[0]->importer->GetTimeRange(0, range);
  const double duration = range[1] - range[0];
  ASSERT_GT(duration, 1.0);
  for (const auto& [model, clip] : {std::pair{0, 2}, {0, -1}, {1, 0}, {-1, 0}})
  {
    std::tie(h.manager.state.currentModel, h.manager.state.currentAnimatoin) =
        std::pair(model, clip);
    tick();
    EXPECT_EQ(h.manager.state.sliderVal, 0.0) << model << " " << clip;
  }
  std::tie(h.manager.state.currentModel, h.manager.state.currentAnimatoin) = std::pair(0, 0);
  // The window's clock moves the slider before the step draws the pose there, so
  // both change in one frame.
  SignalTrace trace(h.manager);
  now += 1.0 / 30.0;
  h.manager.timerSlot();
  EXPECT_NEAR(h.manager.state.sliderVal, (1.0 / 30.0) / duration, 1e-12);
  h.runTasks();
  EXPECT_LT(poseError(1.0 / 30.0), 1e-6);
  EXPECT_EQ(trace.count("sliderValChanged"), 1);
  // However far apart the ticks come, each covers the time since the last one.
  h.manager.setSliderVal(0.5);
  tick(0.25);
  EXPECT_LT(poseError(0.5 * duration + 0.25), 1e-6);
  h.manager.setSpeedVal(2.0);
  tick(0.05);
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
  command(h, &ManagerState::sliderVal, 0.5, &Manager::sliderMoved);
  EXPECT_FALSE(h.item.playing);
  // Playback started before the slider's task has run is not stopped by it.
  h.manager.sliderMoved();
  h.manager.playToggle();
  h.runTasks();
  EXPECT_TRUE(h.item.playing);
  h.manager.playToggle();
  EXPECT_LT(poseError(0.5 * duration, 1), 1e-6);
  EXPECT_GT(poseError(0.5 * duration, 0), 1e-3);
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
  h.manager.stepFrames(1000); // stops at the end, not back at the start
  EXPECT_EQ(h.manager.state.sliderVal, 1.0);
  h.manager.stepFrames(-1000);
  h.runTasks();
  EXPECT_EQ(h.manager.state.sliderVal, 0.0);
  h.open({fixtureFile("arm_two_clips.fbx")}); // FBX counts frames: 24 a second
  EXPECT_EQ(h.manager.clipFrameRate(), 24.0);

  h.open({fixtureFile("still_clip.gltf")});
  ASSERT_EQ(h.manager.state.numberOfAnimations, 1);
  tick();
  tick();
  EXPECT_EQ(h.manager.state.sliderVal, 0.0);
  h.open({cubeFile});
  EXPECT_EQ(h.manager.clipDuration(), 0.0);
  trace.clear();
  tick();
  EXPECT_TRUE(trace.names.isEmpty()) << trace.names.join(' ').toStdString();
  h.manager.sliderMoved();
  h.runTasks();
  EXPECT_FALSE(h.item.playing);
}

// The skeleton overlay: a magenta dot where each joint's global matrix puts it,
// over the mesh it lies in, and with it as the clip plays.
TEST_F(Files, TheSkeletonOverlayDrawsTheJointsOverTheMeshAndFollowsPlayback)
{
  h.open({armFile});
  const auto jointAt = [&](const char* joint)
  {
    const vtkMatrix4x4* g = h.item.models[0]->importer->NodeGlobalMatrices.at(joint);
    return Point3{g->GetElement(0, 3), g->GetElement(1, 3), g->GetElement(2, 3)};
  };
  const auto magentaAtJoint = [&](const char* joint)
  {
    const QColor c = h.grab().pixel(imagePoint(h, jointAt(joint)));
    return c.red() > 200 && c.green() < 100 && c.blue() > 150;
  };
  EXPECT_FALSE(magentaAtJoint("Bone_001"));
  command(h, &ManagerState::showSkeleton, true, &Manager::updateShowSkeleton);
  EXPECT_TRUE(magentaAtJoint("Bone_001") && magentaAtJoint("Bone_002"));
  command(h, &ManagerState::sliderVal, 0.25, &Manager::sliderMoved); // the arm bent forward
  EXPECT_TRUE(magentaAtJoint("Bone_002"));
  EXPECT_NE(imagePoint(h, jointAt("Bone_002")), imagePoint(h, {0, 2, 0}));
  // Selecting a joint's row puts its name beside it.
  select(h, row(h, "Bone_001[0]"));
  h.grab();
  EXPECT_TRUE(h.data->jointLabel->GetVisibility());
  EXPECT_STREQ(h.data->jointLabel->GetInput(), "Bone_001");
  expectNear(h.data->jointLabel->GetPosition(), jointAt("Bone_001"));

  // Unticking a joint's row hides it and what hangs below it.
  h.manager.checkTreeModel(row(h, "Bone_002[0]"), false);
  h.runTasks();
  EXPECT_FALSE(magentaAtJoint("Bone_002"));
  EXPECT_TRUE(magentaAtJoint("Bone_001"));

  // A file with a skeleton and clips but no mesh shows the skeleton unasked.
  command(h, &ManagerState::showSkeleton, false, &Manager::updateShowSkeleton);
  h.open({fixtureFile("arm_clips_only.assbin")});
  EXPECT_TRUE(h.manager.showSkeleton());
  EXPECT_TRUE(magentaAtJoint("Bone_001"));
}

TEST(NodeVisibility, UntickingANodeHidesExactlyItsOwnActors)
{
  ViewHarness h;
  const ModelEntry& cubes = load(h, {cubeFile, cubesFile});
  paintModel(cubes, 0.8, 0.3, 0.2);
  command(h, &ManagerState::backgroundColor, 1, &Manager::updateBackground);
  const QPoint face = imagePoint(h, {3.3, 0.9, 1.0}); // on Cube_1
  const QImage shown = h.grab();
  EXPECT_NE(QColor(shown.pixel(face)), QColor(Qt::white));
  const auto setChecked = [&](const char* node, bool checked)
  { h.manager.checkTreeModel(row(h, node), checked); };

  setChecked("Cube_1[1]", false);
  h.runTasks();
  EXPECT_EQ(QColor(h.grab().pixel(face)), QColor(Qt::white));
  for (const char* node : {"Cube_0", "Cube_1", "Cube_2"})
    EXPECT_EQ(nodeActor(cubes, node)->GetVisibility(), node != std::string("Cube_1"));
  setChecked("Cube_1[1]", true);
  h.runTasks();
  EXPECT_EQ(h.grab(), shown);
  // Two rows unticked before the next frame: each task acts on its own row.
  setChecked("Cube_0[1]", false);
  setChecked("Cube_2[1]", false);
  h.runTasks();
  EXPECT_FALSE(nodeActor(cubes, "Cube_0")->GetVisibility() ||
               nodeActor(cubes, "Cube_2")->GetVisibility());

  // A node of another model's scene, as a task may receive it after that
  // model is gone, changes nothing, even where the names match.
  ViewHarness twice;
  load(twice, {cubesFile, cubesFile});
  const aiNode* otherCube = twice.item.models[1]->importer->Scene->mRootNode->mChildren[1];
  checkTreeModelTask(&twice.item, twice.data, {otherCube, 0}, false);
  for (const auto& entry : twice.item.models)
    EXPECT_TRUE(nodeActor(*entry, "Cube_1")->GetVisibility());
}

// The box encloses the framed actor, so its outline shows around the model rather
// than inside the mesh.
TEST(NodeSelection, PutsTheBoxAroundTheNodeOrTheClickedModelAndShowsItAtTimeZeroWhereItStands)
{
  ViewHarness h(640, 480);
  ModelEntry& arm = load(h, {cubesFile, armFile});
  ModelEntry& cubes = *h.item.models[0];
  const QImage before = h.grab();
  select(h, row(h, "Arm[1]"));
  const QImage after = h.grab();
  int outside = 0; // pixels of the background (a vertical gradient) the box covers
  for (int y = 0; y < before.height(); ++y)
    for (int x = 0; x < before.width(); ++x)
      outside +=
          before.pixel(x, y) == before.pixel(0, y) && after.pixel(x, y) != before.pixel(x, y);
  EXPECT_GT(outside, 100);

  h.item.playing = true;
  select(h, row(h, "Cube_2[1]"));
  EXPECT_TRUE(h.data->boxWidget->GetEnabled());
  EXPECT_EQ(h.data->boxWidget->GetProp3D(), nodeActor(cubes, "Cube_2"));
  EXPECT_TRUE(h.data->boxWidget->GetScalingEnabled());
  EXPECT_FALSE(h.item.playing);
  // The model's root has no mesh: the box goes to one of the model's actors.
  select(h, h.manager.treeModel()->index(0, 0));
  EXPECT_TRUE(modelHoldsActor(cubes, vtkActor::SafeDownCast(h.data->boxWidget->GetProp3D())));

  // Clear of the cubes, so that a click on it can only hit the arm.
  arm.transform->Translate(-4.0, 0.0, 0.0);
  arm.importer->UpdateTimeStep(1.0, arm.transform);
  h.item.playing = true;
  select(h, row(h, "Arm[1]"));
  EXPECT_EQ(h.manager.state.currentModel, 1);
  EXPECT_FALSE(h.item.playing);
  // Shown at time 0 where the user put it.
  EXPECT_LT(difference(global(arm, "Bone_002")->Element, armPose(0.0, 0, arm.transform)->Element),
            1e-6);
  EXPECT_FALSE(h.data->boxWidget->GetScalingEnabled());
  // No node: the box goes away and the first model becomes current.
  select(h, QModelIndex());
  EXPECT_FALSE(h.data->boxWidget->GetEnabled());
  EXPECT_EQ(h.manager.state.currentModel, 0);

  // A click on a model selects it and leaves the camera; on the background it turns it.
  resetCamera(h.data);
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  const Point3 viewBefore = viewDirection(camera);
  auto click = [&h](QPoint at)
  {
    h.grab();
    h.interactor->SetEventPosition(at.x(), at.y());
    h.interactor->InvokeEvent(vtkCommand::LeftButtonPressEvent);
  };
  vtkActor* target = nodeActor(arm, "Arm");
  const double* center = target->GetCenter();
  click(imagePoint(h, {center[0], center[1], center[2]}, true));
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

// Released, the box fills all nine values and moves every node; typed values are
// absolute and the box follows them.
TEST(ModelTransform, TheBoxAndTheTypedValuesPlaceTheWholeModel)
{
  ViewHarness h;
  ModelEntry& arm = load(h, {cubeFile, cubesFile, armFile});
  ModelEntry& cubes = *h.item.models[1];
  const char* const nodes[] = {"Cube_0", "Cube_1", "Cube_2"};
  const auto poses = [&]
  {
    std::vector<vtkSmartPointer<vtkMatrix4x4>> result;
    for (const char* node : nodes)
      result.push_back(global(cubes, node));
    return result;
  };
  const auto imported = poses();
  select(h, row(h, "Cube_1[1]"));
  SignalTrace trace(h.manager);
  vtkNew<vtkTransform> dragged;
  const auto release = [&](vtkTransform* transform)
  {
    h.data->boxWidget->SetTransform(transform);
    h.data->boxWidget->InvokeEvent(vtkCommand::EndInteractionEvent);
  };
  dragged->Translate(1.0, 2.0, 3.0);
  dragged->RotateZ(30.0);
  dragged->Scale(1.5, 1.5, 1.5);
  release(dragged);
  const ManagerState& state = h.manager.state;
  expectNear(state.modelPosition.data(), {1, 2, 3});
  expectNear(state.modelScale.data(), {1.5, 1.5, 1.5});
  expectNear(state.modelRotation.data(), {0, 0, 30});
  for (const char* value : {"Pos", "Rotate", "Scale"})
    for (const char* axis : {"X", "Y", "Z"})
      EXPECT_EQ(trace.count(QString("model%1%2Changed").arg(value, axis)), 1) << value << axis;
  for (size_t i = 0; i < 3; ++i)
  {
    vtkNew<vtkMatrix4x4> moved;
    vtkMatrix4x4::Multiply4x4(dragged->GetMatrix(), imported[i], moved);
    EXPECT_LT(difference(nodeActor(cubes, nodes[i])->GetUserMatrix()->Element, moved->Element),
              1e-6);
  }

  // Any turn and an uneven scale read back into fields that, applied again as the
  // window does after an edit, leave every node where it was. The drag moves the
  // model the box frames even when another one became current meanwhile (a clip
  // chosen in the window picks the animated model).
  h.manager.state.currentModel = 2;
  dragged->Identity();
  dragged->Translate(-1.0, 0.5, 2.0);
  dragged->RotateZ(-35.0);
  dragged->RotateX(20.0);
  dragged->RotateY(-50.0);
  dragged->Scale(2.0, 1.0, 0.5);
  release(dragged);
  EXPECT_EQ(h.manager.state.currentModel, 1);
  EXPECT_TRUE(arm.transform->GetMatrix()->IsIdentity());
  const auto dropped = poses();
  const auto expectStill = [&]
  {
    for (size_t i = 0; i < 3; ++i)
      EXPECT_LT(difference(global(cubes, nodes[i])->Element, dropped[i]->Element), 1e-5) << i;
  };
  h.manager.updateModelTransform();
  h.runTasks();
  expectStill();
  // Selecting a model shows its own placement and leaves it where it is.
  select(h, row(h, "Arm[1]"));
  expectNear(state.modelPosition.data(), {0, 0, 0});
  select(h, row(h, "Cube_1[1]"));
  expectNear(state.modelPosition.data(), {-1, 0.5, 2});
  expectNear(state.modelScale.data(), {2, 1, 0.5});
  expectStill();

  // Typed values replace the placement, whatever it was.
  const auto typeTransform = [&h](const Point3& position, const Point3& scale, const Point3& angles)
  {
    std::tie(h.manager.state.modelPosition, h.manager.state.modelScale,
             h.manager.state.modelRotation) = std::tuple(position, scale, angles);
    h.manager.updateModelTransform();
    h.runTasks();
  };
  vtkNew<vtkTransform> typed;
  typed->Translate(1.0, 2.0, 3.0);
  typed->Scale(2.0, 2.0, 2.0);
  typed->RotateZ(40.0);
  typed->Concatenate(imported[1]);
  for (int twice = 0; twice < 2; ++twice)
  {
    typeTransform({1, 2, 3}, {2, 2, 2}, {0, 0, 40});
    EXPECT_LT(difference(global(cubes, "Cube_1")->Element, typed->GetMatrix()->Element), 1e-6);
  }
  EXPECT_TRUE(h.item.models[0]->transform->GetMatrix()->IsIdentity());
  // Releasing the box without moving it reads back what was typed.
  h.manager.state.modelPosition = {0, 0, 0};
  h.data->boxWidget->InvokeEvent(vtkCommand::EndInteractionEvent);
  expectNear(state.modelPosition.data(), {1, 2, 3});
  expectNear(state.modelRotation.data(), {0, 0, 40});
  expectNear(state.modelScale.data(), {2, 2, 2});

  // An animated model's scale is not taken from the box.
  select(h, row(h, "Arm[1]"));
  dragged->Identity();
  dragged->Translate(0.0, 0.0, -2.0);
  dragged->Scale(3.0, 3.0, 3.0);
  release(dragged);
  EXPECT_NEAR(state.modelPosition[2], -2.0, 1e-6);
  expectNear(state.modelScale.data(), {2, 2, 2});
  // It is posed at the slider's time.
  double range[2];
  arm.importer->GetTimeRange(0, range);
  h.manager.state.sliderVal = 0.5;
  typeTransform({0, 1, 0}, {1, 1, 1}, {0, 45, 0});
  EXPECT_LT(difference(global(arm, "Bone_002")->Element,
                       armPose(0.5 * (range[1] - range[0]), 0, arm.transform)->Element),
            1e-6);

  // Scaled to nothing, the placement has no inverse: each joint matrix is then the
  // bone's global matrix times its inverse bind matrix, never unset memory.
  typeTransform({0, 1, 0}, {0, 0, 0}, {0, 0, 0});
  vtkActor* skin = nodeActor(arm, "Arm");
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
