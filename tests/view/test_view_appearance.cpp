// How the scene looks: background, lights, surface presets, the ground grid,
// the axes marker and wireframe display, checked on rendered frames.
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <vtkAxesActor.h>
#include <vtkCamera.h>
#include <vtkLight.h>
#include <vtkMatrix4x4.h>
#include <vtkProperty.h>

#include <cmath>

#include "AssimpImporter.h"
#include "MessageLog.h"
#include "RenderTasks.h"
#include "SceneHelpers.h"
#include "TestPaths.h"

namespace
{
using ML::Test::Point3;
using ML::Test::ViewHarness;

void setBackground(ViewHarness& h, int preset)
{
  h.manager.state.backgroundColor = preset;
  h.manager.updateBackground();
  h.runTasks();
}

QColor center(const QImage& image)
{
  return ML::Test::colorAt(image, QPoint(image.width() / 2, image.height() / 2));
}

void expectColorNear(QColor actual, QColor expected, int tolerance)
{
  EXPECT_LE(std::abs(actual.red() - expected.red()), tolerance) << actual.name().toStdString();
  EXPECT_LE(std::abs(actual.green() - expected.green()), tolerance) << actual.name().toStdString();
  EXPECT_LE(std::abs(actual.blue() - expected.blue()), tolerance) << actual.name().toStdString();
}

// ---------------------------------------------------------------- background

TEST(BackgroundPresets, SolidPresetsFillTheViewWithTheirExactColour)
{
  const QColor expected[] = {{255, 255, 255}, {98, 93, 90},    {82, 87, 110},
                             {74, 69, 66},    {107, 107, 107}, {117, 112, 107},
                             {0, 0, 0},       {0, 0, 0},       {0, 0, 0}};
  ViewHarness h;
  for (int preset = 1; preset <= 9; ++preset)
  {
    SCOPED_TRACE(preset);
    setBackground(h, preset);
    const QImage image = h.grab();
    ML::Test::saveImage(image, QStringLiteral("background_%1").arg(preset));
    EXPECT_FALSE(h.data->renderer->GetGradientBackground());
    EXPECT_EQ(ML::Test::countDiffering(image, expected[preset - 1]), 0);
  }
}

TEST(BackgroundPresets, GradientRunsFromWarmDarkAtTheBottomToLightAtTheTop)
{
  ViewHarness h;
  setBackground(h, 7);
  setBackground(h, 0);
  EXPECT_TRUE(h.data->renderer->GetGradientBackground());
  EXPECT_EQ(h.data->renderer->GetBackground()[0], 76 / 255.0);
  EXPECT_EQ(h.data->renderer->GetBackground2()[2], 208 / 255.0);

  const QImage image = h.grab();
  ML::Test::saveImage(image, QStringLiteral("background_0"));
  const int x = image.width() / 2;
  expectColorNear(ML::Test::colorAt(image, QPoint(x, 0)), QColor(216, 211, 208), 1);
  expectColorNear(ML::Test::colorAt(image, QPoint(x, image.height() - 1)), QColor(76, 70, 68), 1);
  const QColor middle = center(image);
  EXPECT_GT(middle.red(), 76 + 40);
  EXPECT_LT(middle.red(), 216 - 40);
}

TEST(BackgroundPresets, MinusOneIsTheGradientAndOtherNegativesChangeNothing)
{
  ViewHarness h;
  setBackground(h, 3);
  setBackground(h, -2);
  EXPECT_EQ(ML::Test::countDiffering(h.grab(), QColor(82, 87, 110)), 0);

  setBackground(h, -1);
  EXPECT_TRUE(h.data->renderer->GetGradientBackground());
  const QImage image = h.grab();
  expectColorNear(ML::Test::colorAt(image, QPoint(0, 0)), QColor(216, 211, 208), 1);
}

// ---------------------------------------------------------------- lights

// One white cube face-on to the camera, lights pointing along -z at it.
struct LitCube
{
  LitCube()
  {
    ML::ModelEntry& cube = ML::Test::loadModel(h, ML::Test::sharedModel("textured_cube.glb"));
    ML::Test::paintModel(cube, 1.0, 1.0, 1.0);
    setBackground(h, 7);
    for (int light = 0; light < 3; ++light)
    {
      h.manager.state.currentLight = light;
      h.manager.state.currentLightSlot().position = {0.0, 0.0, 10.0};
      h.manager.updateLightPos();
      h.manager.updateLightFp();
    }
    h.manager.state.currentLight = 0;
    h.runTasks();
    face = ML::Test::imagePoint(h, {0.3, 0.6, 1.0});
  }

  void setSlotColors(QColor first, QColor second, QColor third)
  {
    h.manager.state.lights[0].color = first;
    h.manager.state.lights[1].color = second;
    h.manager.state.lights[2].color = third;
  }

  void setSceneLight(bool on)
  {
    h.manager.state.sceneLight = on;
    h.manager.updateSceneLight();
    // The handle would be drawn over the cube.
    h.manager.state.showLightWidget = false;
    h.manager.updateShowLightWidget();
    h.runTasks();
  }

  QColor faceColor() { return ML::Test::colorAt(h.grab(), face); }

  ViewHarness h;
  QPoint face;
};

TEST(SceneLights, LightTheModelInTheSlotColoursAndTheHeadlightBringsWhiteBack)
{
  LitCube view;
  const QColor white = view.faceColor();
  expectColorNear(white, QColor(255, 255, 255), 3);

  view.setSlotColors(Qt::red, Qt::black, Qt::black);
  view.setSceneLight(true);
  expectColorNear(view.faceColor(), QColor(255, 0, 0), 3);
  for (int i = 0; i < 3; ++i)
  {
    EXPECT_TRUE(view.h.data->lights[i]->LightTypeIsSceneLight()) << i;
    EXPECT_TRUE(view.h.data->lights[i]->GetSwitch()) << i;
  }

  // A new colour reaches the lights only through the colour command.
  view.setSlotColors(Qt::black, Qt::green, Qt::black);
  expectColorNear(view.faceColor(), QColor(255, 0, 0), 3);
  view.h.manager.updateLightColor();
  view.h.runTasks();
  expectColorNear(view.faceColor(), QColor(0, 255, 0), 3);

  view.setSceneLight(false);
  EXPECT_EQ(view.faceColor(), white);
  EXPECT_TRUE(view.h.data->lights[0]->LightTypeIsHeadlight());
  EXPECT_TRUE(view.h.data->lights[0]->GetSwitch());
  EXPECT_FALSE(view.h.data->lights[1]->GetSwitch());
  EXPECT_FALSE(view.h.data->lights[2]->GetSwitch());
}

TEST(SceneLights, SwitchTheLightHandleWithThem)
{
  ViewHarness h;
  QSignalSpy shown(&h.manager, &ML::Manager::showLightWidgetChanged);
  h.manager.state.sceneLight = true;
  h.manager.updateSceneLight();
  h.runTasks();
  EXPECT_TRUE(h.data->lightWidget->GetEnabled());
  EXPECT_TRUE(h.manager.showLightWidget());
  EXPECT_EQ(shown.count(), 0); // it was already true

  h.manager.state.sceneLight = false;
  h.manager.updateSceneLight();
  h.runTasks();
  EXPECT_FALSE(h.data->lightWidget->GetEnabled());
  EXPECT_FALSE(h.manager.showLightWidget());
  EXPECT_EQ(shown.count(), 1);

  h.manager.state.showLightWidget = true;
  h.manager.updateShowLightWidget();
  h.runTasks();
  EXPECT_TRUE(h.data->lightWidget->GetEnabled());
}

TEST(CurrentLight, PutsTheHandleOnTheSelectedSlotAndAnnouncesItsColour)
{
  ViewHarness h;
  h.manager.state.lights[2].position = {1.0, 2.0, 3.0};
  h.manager.state.lights[2].focalPoint = {-4.0, -5.0, -6.0};
  QSignalSpy colour(&h.manager, &ML::Manager::lightColorChanged);
  QSignalSpy position(&h.manager, &ML::Manager::lightPosXChanged);
  h.manager.setCurrentLight(2);
  h.manager.updateCurrentLight();
  EXPECT_EQ(colour.count(), 0);
  h.runTasks();
  EXPECT_EQ(colour.count(), 1);
  EXPECT_EQ(position.count(), 0);
  double value[3];
  h.data->lightRepresentation->GetLightPosition(value);
  EXPECT_EQ(value[2], 3.0);
  h.data->lightRepresentation->GetFocalPoint(value);
  EXPECT_EQ(value[0], -4.0);
  // Only the handle moves; the light itself follows the position commands.
  EXPECT_EQ(h.data->lights[2]->GetPosition()[0], 0.0);
  EXPECT_EQ(h.data->lights[2]->GetFocalPoint()[0], 0.0);
}

TEST(LightHandle, DraggingItMovesTheCurrentSceneLight)
{
  ViewHarness h;
  h.manager.state.sceneLight = true;
  h.manager.setCurrentLight(1);
  h.manager.updateSceneLight();
  h.runTasks();

  double moved[3] = {5.5, -6.5, 7.5};
  double aim[3] = {1.0, 1.0, 1.0};
  h.data->lightRepresentation->SetLightPosition(moved);
  h.data->lightRepresentation->SetFocalPoint(aim);
  std::vector<std::unique_ptr<QSignalSpy>> notified;
  for (auto signal : {&ML::Manager::lightPosXChanged, &ML::Manager::lightPosYChanged,
                      &ML::Manager::lightPosZChanged, &ML::Manager::lightFpXChanged,
                      &ML::Manager::lightFpYChanged, &ML::Manager::lightFpZChanged})
  {
    notified.push_back(std::make_unique<QSignalSpy>(&h.manager, signal));
  }
  h.data->lightWidget->InvokeEvent(vtkCommand::InteractionEvent);

  EXPECT_EQ(h.manager.lightPosX(), 5);
  EXPECT_EQ(h.manager.lightPosY(), -6);
  EXPECT_EQ(h.manager.state.lights[1].position[2], 7.5);
  EXPECT_EQ(h.manager.lightFpZ(), 1);
  EXPECT_EQ(h.data->lights[1]->GetPosition()[0], 5.5);
  EXPECT_EQ(h.data->lights[1]->GetFocalPoint()[1], 1.0);
  EXPECT_EQ(h.manager.state.lights[0].position[0], 0.0);
  EXPECT_EQ(h.data->lights[0]->GetPosition()[0], 0.0);
  for (const auto& signal : notified)
  {
    EXPECT_EQ(signal->count(), 1);
  }
}

TEST(LightHandle, DraggingItInHeadlightModeChangesNothing)
{
  ViewHarness h;
  h.manager.state.sceneLight = false;
  h.manager.updateSceneLight();
  h.runTasks();
  double moved[3] = {5.0, 6.0, 7.0};
  h.data->lightRepresentation->SetLightPosition(moved);
  QSignalSpy signal(&h.manager, &ML::Manager::lightPosXChanged);
  h.data->lightWidget->InvokeEvent(vtkCommand::InteractionEvent);
  EXPECT_EQ(h.manager.state.lights[0].position[0], 0.0);
  EXPECT_EQ(h.data->lights[0]->GetPosition()[0], 0.0);
  EXPECT_EQ(signal.count(), 0);
}

// ---------------------------------------------------------------- surfaces

struct Surface
{
  double specular, power, diffuse, ambient;
};

Surface surfaceOf(vtkActor* actor)
{
  vtkProperty* p = actor->GetProperty();
  return {p->GetSpecular(), p->GetSpecularPower(), p->GetDiffuse(), p->GetAmbient()};
}

void expectSurface(vtkActor* actor, const Surface& expected)
{
  const Surface actual = surfaceOf(actor);
  EXPECT_EQ(actual.specular, expected.specular);
  EXPECT_EQ(actual.power, expected.power);
  EXPECT_EQ(actual.diffuse, expected.diffuse);
  EXPECT_EQ(actual.ambient, expected.ambient);
}

void setSurface(ViewHarness& h, int preset)
{
  h.manager.state.surfaceLight = preset;
  h.manager.updateSurfaceLight();
  h.runTasks();
}

TEST(SurfacePresets, MetallicChangesOnlyTheCurrentModel)
{
  ViewHarness h;
  ML::ModelEntry& first = ML::Test::loadModel(h, ML::Test::sharedModel("four_lights.glb"));
  ML::ModelEntry& second = ML::Test::loadModel(h, ML::Test::sharedModel("four_lights.glb"));
  vtkActor* untouched = ML::Test::nodeActors(first, "Cube_1").at(0);
  const Surface before = surfaceOf(untouched);

  h.manager.state.currentModel = 1;
  setSurface(h, 2);
  for (const char* node : {"Cube_0", "Cube_1", "Cube_2"})
  {
    SCOPED_TRACE(node);
    expectSurface(ML::Test::nodeActors(second, node).at(0), {1.0, 50.0, 0.3, 0.1});
  }
  const Surface after = surfaceOf(untouched);
  EXPECT_EQ(after.diffuse, before.diffuse);
  EXPECT_EQ(after.specular, before.specular);
}

TEST(SurfacePresets, EachPresetSetsItsFourValuesAndOthersChangeNothing)
{
  ViewHarness h;
  ML::ModelEntry& cubes = ML::Test::loadModel(h, ML::Test::sharedModel("four_lights.glb"));
  ML::Test::paintModel(cubes, 0.9, 0.6, 0.2);
  h.data->renderer->GetActiveCamera()->Azimuth(30);
  h.data->renderer->GetActiveCamera()->Elevation(30);
  ML::resetCamera(h.data);
  vtkActor* actor = ML::Test::nodeActors(cubes, "Cube_0").at(0);
  const Surface presets[] = {{0.0, 0.0, 1.0, 0.0}, {1.0, 50.0, 1.0, 0.1}, {1.0, 50.0, 0.3, 0.1}};
  QImage images[3];
  for (int preset = 0; preset < 3; ++preset)
  {
    SCOPED_TRACE(preset);
    setSurface(h, preset);
    expectSurface(actor, presets[preset]);
    images[preset] = h.grab();
    ML::Test::saveImage(images[preset], QStringLiteral("surface_%1").arg(preset));
  }
  EXPECT_NE(images[0], images[1]);
  EXPECT_NE(images[1], images[2]);

  for (int outside : {3, -1})
  {
    setSurface(h, outside);
    expectSurface(actor, presets[2]);
  }
}

TEST(SurfacePresets, NeedACurrentModel)
{
  ViewHarness h;
  ML::ModelEntry& cubes = ML::Test::loadModel(h, ML::Test::sharedModel("four_lights.glb"));
  vtkActor* actor = ML::Test::nodeActors(cubes, "Cube_0").at(0);
  h.manager.state.currentModel = 1;
  setSurface(h, 2);
  EXPECT_NE(surfaceOf(actor).diffuse, 0.3);
  // -1 counts as the first model.
  h.manager.state.currentModel = -1;
  setSurface(h, 2);
  EXPECT_EQ(surfaceOf(actor).diffuse, 0.3);
}

// ---------------------------------------------------------------- grid

void showGrid(ViewHarness& h, bool show)
{
  h.manager.state.showGrid = show;
  h.manager.updateShowGrid();
  h.runTasks();
}

TEST(Grid, UnitSquareFollowsTheSizeOfTheScene)
{
  // Boxes whose diagonals are 25, 37 and 370.
  const struct
  {
    Point3 extent;
    double unitSquare;
  } cases[] = {{{9, 12, 20}, 1.0}, {{0, 12, 35}, 10.0}, {{0, 120, 350}, 100.0}};
  for (const auto& c : cases)
  {
    ViewHarness h;
    ML::Test::addBoxActor(h, {-2, -3, -4}, {c.extent[0] - 2, c.extent[1] - 3, c.extent[2] - 4});
    showGrid(h, true);
    const double diagonal = std::sqrt(c.extent[0] * c.extent[0] + c.extent[1] * c.extent[1] +
                                      c.extent[2] * c.extent[2]);
    SCOPED_TRACE(diagonal);
    EXPECT_DOUBLE_EQ(ML::Test::gridSetting(h, "UnitSquare"), c.unitSquare);
    EXPECT_DOUBLE_EQ(ML::Test::gridSetting(h, "FadeDistance"), diagonal);
    EXPECT_DOUBLE_EQ(ML::Test::gridSetting(h, "Subdivisions"), 10);
  }
}

TEST(Grid, LiesJustUnderTheModelAndShowsInTheView)
{
  ViewHarness h;
  ML::ModelEntry& cubes = ML::Test::loadModel(h, ML::Test::sharedModel("four_lights.glb"));
  ML::Test::paintModel(cubes, 0.8, 0.3, 0.2);
  setBackground(h, 1);
  h.data->renderer->GetActiveCamera()->Elevation(25);
  ML::resetCamera(h.data);
  const QImage without = h.grab();
  ML::Test::saveImage(without, QStringLiteral("grid_off"));

  showGrid(h, true);
  vtkActor* grid = h.data->gridActor;
  EXPECT_TRUE(grid->GetVisibility());
  EXPECT_FALSE(grid->GetUseBounds());
  EXPECT_FALSE(grid->GetPickable());
  EXPECT_TRUE(grid->GetForceTranslucent());
  // Cubes span x -1..4, y -0.5..1.5, z -4..1.
  const double* position = grid->GetPosition();
  EXPECT_NEAR(position[0], 1.5, 1e-6);
  EXPECT_NEAR(position[1], -0.5001, 1e-6);
  EXPECT_NEAR(position[2], -1.5, 1e-6);
  EXPECT_NEAR(ML::Test::gridSetting(h, "FadeDistance"), std::sqrt(54.0), 1e-5);
  EXPECT_EQ(ML::Test::gridSetting(h, "UnitSquare"), 1.0);

  const QImage with = h.grab();
  ML::Test::saveImage(with, QStringLiteral("grid_up_y"));
  // The floor shows around the cubes and never over them: it lies beneath.
  int floor = 0;
  int overCubes = 0;
  for (int y = 0; y < with.height(); ++y)
  {
    for (int x = 0; x < with.width(); ++x)
    {
      if (with.pixel(x, y) != without.pixel(x, y))
      {
        ++floor;
        overCubes += (without.pixel(x, y) & 0xffffff) != 0xffffff ? 1 : 0;
      }
    }
  }
  EXPECT_GT(floor, with.width() * with.height() / 50);
  EXPECT_EQ(overCubes, 0);

  showGrid(h, false);
  EXPECT_FALSE(grid->GetVisibility());
  EXPECT_EQ(h.grab(), without);
}

TEST(Grid, TurnsWithTheViewDirection)
{
  ViewHarness h;
  ML::Test::loadModel(h, ML::Test::sharedModel("four_lights.glb"));
  h.manager.state.showGrid = true;
  h.manager.state.upDirection = 2;
  h.manager.state.rightDirection = 4;
  h.manager.updateDirection();
  h.runTasks();
  // Up is +z: the floor is 0.0001 under the lowest z, its normal along +z.
  const double* position = h.data->gridActor->GetPosition();
  EXPECT_NEAR(position[0], 1.5, 1e-6);
  EXPECT_NEAR(position[1], 0.5, 1e-6);
  EXPECT_NEAR(position[2], -4.0001, 1e-6);
  vtkMatrix4x4* matrix = h.data->gridActor->GetMatrix();
  const double normal[4] = {0, 1, 0, 0};
  double world[4];
  matrix->MultiplyPoint(normal, world);
  EXPECT_NEAR(world[2], 1.0, 1e-9);
  // Its model x runs along the view's right (-y).
  const double along[4] = {1, 0, 0, 0};
  matrix->MultiplyPoint(along, world);
  EXPECT_NEAR(world[1], -1.0, 1e-9);
  ML::Test::saveImage(h.grab(), QStringLiteral("grid_up_z"));
}

TEST(Grid, StaysAsItWasForAnEmptyScene)
{
  ViewHarness h;
  showGrid(h, true);
  EXPECT_EQ(h.data->gridActor->GetMapper(), nullptr);

  ML::Test::loadModel(h, ML::Test::sharedModel("four_lights.glb"));
  showGrid(h, true);
  const Point3 placed = {h.data->gridActor->GetPosition()[0], h.data->gridActor->GetPosition()[1],
                         h.data->gridActor->GetPosition()[2]};
  ML::unloadModels(&h.item, h.data);
  h.data->gridActor->VisibilityOff();
  showGrid(h, true);
  EXPECT_FALSE(h.data->gridActor->GetVisibility());
  EXPECT_EQ(h.data->gridActor->GetPosition()[1], placed[1]);
  EXPECT_NEAR(ML::Test::gridSetting(h, "FadeDistance"), std::sqrt(54.0), 1e-5);
}

TEST(Grid, SkewViewDirectionsMeasureThePointsThemselves)
{
  ViewHarness h;
  ML::Test::addOctahedronActor(h, {0, 0, 0});
  const double s = std::sqrt(0.5);
  h.manager.state.showGrid = true;
  ML::setViewDirection(&h.item, h.data, {0, 1, 0}, {s, 0, s});
  ML::applyGrid(&h.item, h.data);
  // Turned 45 degrees about y the corners span only ±0.707 across; the
  // octahedron's bounding box would span ±1.414.
  EXPECT_NEAR(ML::Test::gridSetting(h, "FadeDistance"), std::sqrt(8.0), 1e-5);

  ML::setViewDirection(&h.item, h.data, {0, 1, 0}, {1, 0, 0});
  ML::applyGrid(&h.item, h.data);
  EXPECT_NEAR(ML::Test::gridSetting(h, "FadeDistance"), std::sqrt(12.0), 1e-5);
}

// ---------------------------------------------------------------- axes

TEST(AxesMarker, ShowsANewAxesActorInTheLowerLeftCorner)
{
  ViewHarness h;
  h.manager.state.showAxes = true;
  h.manager.updateShowAxes();
  h.runTasks();
  vtkOrientationMarkerWidget* widget = h.data->axesWidget;
  EXPECT_TRUE(widget->GetEnabled());
  EXPECT_FALSE(widget->GetInteractive());
  EXPECT_FALSE(widget->GetKeyPressActivation());
  const double* viewport = widget->GetViewport();
  EXPECT_EQ(viewport[2], 0.2);
  EXPECT_EQ(viewport[3], 0.2);
  vtkProp* first = widget->GetOrientationMarker();
  EXPECT_TRUE(vtkAxesActor::SafeDownCast(first) != nullptr);

  setBackground(h, 1);
  const QImage image = h.grab();
  ML::Test::saveImage(image, QStringLiteral("axes"));
  const QRect corner(0, image.height() * 4 / 5, image.width() / 5, image.height() / 5);
  const QRect drawn = ML::Test::differingRect(image, Qt::white);
  EXPECT_TRUE(corner.contains(drawn)) << drawn.x() << "," << drawn.y();

  h.manager.updateShowAxes();
  h.runTasks();
  EXPECT_NE(widget->GetOrientationMarker(), first);

  h.manager.state.showAxes = false;
  h.manager.updateShowAxes();
  h.runTasks();
  EXPECT_FALSE(widget->GetEnabled());
  EXPECT_EQ(ML::Test::countDiffering(h.grab(), Qt::white), 0);
}

// ---------------------------------------------------------------- wireframe

void setWireframe(ViewHarness& h, bool on)
{
  h.manager.state.wireFrame = on;
  h.manager.toggleWireframe();
  h.runTasks();
}

TEST(Wireframe, ShowsOnlyTheEdgesAndGoesBack)
{
  ViewHarness h;
  ML::ModelEntry& cubes = ML::Test::loadModel(h, ML::Test::sharedModel("four_lights.glb"));
  ML::Test::paintModel(cubes, 0.8, 0.3, 0.2);
  setBackground(h, 1);
  // Inside the front face of the first cube, away from its edges and diagonal.
  const QPoint inside = ML::Test::imagePoint(h, {0.6, 0.6, 1.0});
  const QImage surface = h.grab();
  EXPECT_NE(ML::Test::colorAt(surface, inside), QColor(Qt::white));

  setWireframe(h, true);
  const QImage wire = h.grab();
  ML::Test::saveImage(wire, QStringLiteral("wireframe_on"));
  EXPECT_EQ(ML::Test::colorAt(wire, inside), QColor(Qt::white));
  EXPECT_LT(ML::Test::countDiffering(wire, Qt::white),
            ML::Test::countDiffering(surface, Qt::white) / 3);
  for (const char* node : {"Cube_0", "Cube_1", "Cube_2"})
  {
    EXPECT_EQ(ML::Test::nodeActors(cubes, node).at(0)->GetProperty()->GetRepresentation(),
              VTK_WIREFRAME);
  }

  setWireframe(h, false);
  const QImage back = h.grab();
  ML::Test::saveImage(back, QStringLiteral("wireframe_off"));
  EXPECT_EQ(back, surface);
}
} // namespace
