// How the scene looks: lighting mode and the light handle, surface and
// background presets, the ground grid, the axes marker and wireframe display.
#include "AppearanceTasks.h"
#include "ModelActors.h"

#include <vtkActorCollection.h>
#include <vtkArrayDispatch.h>
#include <vtkAxesActor.h>
#include <vtkBoundingBox.h>
#include <vtkDataArrayRange.h>
#include <vtkMath.h>
#include <vtkMatrix4x4.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkPropCollection.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkTransform.h>

#include <QColor>

#include <algorithm>
#include <cmath>
#include <vector>

#include "AssimpImporter.h"
#include "FileLights.h"
#include "Manager.h"

namespace ML
{
namespace
{
using Vector = std::array<double, 3>;

// --- lights ---------------------------------------------------------------

void setLightColor(vtkLight* light, const QColor& color)
{
  light->SetColor(color.redF(), color.greenF(), color.blueF());
}

void useSceneLights(Manager* manager, VtkItem::Data* data)
{
  for (size_t i = 0; i < 3; ++i)
  {
    setLightColor(data->lights[i], manager->state.lights[i].color);
    data->lights[i]->SetLightTypeToSceneLight();
    data->lights[i]->SwitchOn();
  }
  data->lightWidget->On();
  manager->setShowLightWidget(true);
}

void useHeadlight(Manager* manager, VtkItem::Data* data)
{
  // The headlight keeps its switch: it is the light that is always there.
  for (size_t i = 0; i < 3; ++i)
  {
    data->lights[i]->SetColor(1.0, 1.0, 1.0);
    data->lights[i]->SetLightTypeToHeadlight();
    if (i > 0)
    {
      data->lights[i]->SwitchOff();
    }
  }
  data->lightWidget->Off();
  manager->setShowLightWidget(false);
}

bool anySceneLight(const VtkItem::Data* data)
{
  for (const auto& light : data->lights)
  {
    if (light->GetLightType() == VTK_LIGHT_TYPE_SCENE_LIGHT)
    {
      return true;
    }
  }
  return false;
}

// --- presets --------------------------------------------------------------

struct SurfacePreset
{
  double specular;
  double specularPower;
  double diffuse;
  double ambient;
};

constexpr std::array<SurfacePreset, 3> surfacePresets{{
    {0.0, 0.0, 1.0, 0.0},  // Diffuse
    {1.0, 50.0, 1.0, 0.1}, // Glossy
    {1.0, 50.0, 0.3, 0.1}, // Metallic
}};

void applyPreset(vtkProperty* property, const SurfacePreset& preset)
{
  property->SetSpecular(preset.specular);
  property->SetSpecularPower(preset.specularPower);
  property->SetDiffuse(preset.diffuse);
  property->SetAmbient(preset.ambient);
}

using Rgb = std::array<int, 3>;

constexpr Rgb gradientBottom{76, 70, 68};
constexpr Rgb gradientTop{216, 211, 208};
// Presets 1 to 7; anything above 7 is black as well.
constexpr std::array<Rgb, 7> solidBackgrounds{{
    {255, 255, 255}, // White
    {98, 93, 90},    // WarmGray
    {82, 87, 110},   // BlueGray
    {74, 69, 66},    // DarkGray
    {107, 107, 107}, // NeutralGray
    {117, 112, 107}, // LightGray
    {0, 0, 0},       // Black
}};

Vector fraction(const Rgb& rgb)
{
  return {rgb[0] / 255.0, rgb[1] / 255.0, rgb[2] / 255.0};
}

// --- grid -----------------------------------------------------------------

// True when the frame only permutes (and flips) the world axes: each prop's own
// bounding box then maps to its box in the frame without looking at points.
bool isAxisAligned(vtkMatrix4x4* frame)
{
  for (int i = 0; i < 3; ++i)
  {
    int inRow = 0;
    int inColumn = 0;
    for (int j = 0; j < 3; ++j)
    {
      inRow += std::abs(frame->GetElement(i, j)) > 1e-8 ? 1 : 0;
      inColumn += std::abs(frame->GetElement(j, i)) > 1e-8 ? 1 : 0;
    }
    if (inRow > 1 || inColumn > 1)
    {
      return false;
    }
  }
  return true;
}

// The prop's world bounds when it takes part in the scene's extent, else null.
const double* boundsToCount(vtkProp* prop)
{
  if (!prop->GetVisibility() || !prop->GetUseBounds())
  {
    return nullptr;
  }
  const double* bounds = prop->GetBounds();
  return bounds != nullptr && bounds[1] >= bounds[0] ? bounds : nullptr;
}

// The frame only permutes and flips axes, so the corners of the prop's own world
// box map onto the corners of its box in the frame.
void addBoundsUnderFrame(vtkBoundingBox& box, const double bounds[6], vtkMatrix4x4* frame)
{
  for (int corner = 0; corner < 8; ++corner)
  {
    const double world[4] = {bounds[corner & 1], bounds[2 + ((corner >> 1) & 1)],
                             bounds[4 + ((corner >> 2) & 1)], 1.0};
    double inFrame[4];
    frame->MultiplyPoint(world, inFrame);
    box.AddPoint(inFrame);
  }
}

// Extends `box` by every point of `coordinates` mapped through `matrix`.
struct AddMappedPoints
{
  template <typename Array>
  void operator()(Array* coordinates, const double (*m)[4], vtkBoundingBox& box) const
  {
    double low[3] = {VTK_DOUBLE_MAX, VTK_DOUBLE_MAX, VTK_DOUBLE_MAX};
    double high[3] = {VTK_DOUBLE_MIN, VTK_DOUBLE_MIN, VTK_DOUBLE_MIN};
    for (const auto point : vtk::DataArrayTupleRange<3>(coordinates))
    {
      const double x = point[0];
      const double y = point[1];
      const double z = point[2];
      for (int row = 0; row < 3; ++row)
      {
        const double v = m[row][0] * x + m[row][1] * y + m[row][2] * z + m[row][3];
        low[row] = std::min(low[row], v);
        high[row] = std::max(high[row], v);
      }
    }
    box.AddBounds(std::array<double, 6>{low[0], high[0], low[1], high[1], low[2], high[2]}.data());
  }
};

void addPointsInFrame(vtkBoundingBox& box, vtkProp3D* prop, vtkMatrix4x4* frame)
{
  auto* actor = vtkActor::SafeDownCast(prop);
  auto* mapper = actor ? vtkPolyDataMapper::SafeDownCast(actor->GetMapper()) : nullptr;
  if (!mapper || mapper->GetNumberOfInputPorts() == 0 ||
      mapper->GetNumberOfInputConnections(0) == 0)
  {
    return;
  }
  vtkPolyData* input = mapper->GetInput();
  vtkPoints* points = input ? input->GetPoints() : nullptr;
  if (!points || points->GetNumberOfPoints() == 0)
  {
    return;
  }
  vtkNew<vtkMatrix4x4> inFrame;
  vtkMatrix4x4::Multiply4x4(frame, actor->GetMatrix(), inFrame);
  // Float and double coordinates are read directly; anything else through the
  // generic array interface.
  using Dispatcher = vtkArrayDispatch::DispatchByValueType<vtkArrayDispatch::Reals>;
  const AddMappedPoints worker;
  if (!Dispatcher::Execute(points->GetData(), worker, inFrame->Element, box))
  {
    worker(points->GetData(), inFrame->Element, box);
  }
}

// The bounding box of the renderer's visible props, in the coordinates of
// `frame` (rows: the frame's axes in world coordinates).
vtkBoundingBox propsBoundsInFrame(vtkRenderer* renderer, vtkMatrix4x4* frame)
{
  vtkBoundingBox box;
  const bool axisAligned = isAxisAligned(frame);
  vtkPropCollection* props = renderer->GetViewProps();
  vtkCollectionSimpleIterator it;
  props->InitTraversal(it);
  while (vtkProp* prop = props->GetNextProp(it))
  {
    auto* prop3D = vtkProp3D::SafeDownCast(prop);
    const double* bounds = boundsToCount(prop);
    if (!prop3D || !bounds)
    {
      continue;
    }
    if (axisAligned)
    {
      addBoundsUnderFrame(box, bounds, frame);
    }
    else
    {
      addPointsInFrame(box, prop3D, frame);
    }
  }
  return box;
}

void setRow(vtkMatrix4x4* matrix, int row, const Vector& v)
{
  for (int column = 0; column < 3; ++column)
  {
    matrix->SetElement(row, column, v[static_cast<size_t>(column)]);
  }
}

// Sizes and places the grid under the scene; false when nothing is visible.
bool buildGrid(VtkItem::Data* data)
{
  Vector up;
  Vector right;
  Vector forward;
  data->renderer->GetEnvironmentUp(up.data());
  data->renderer->GetEnvironmentRight(right.data());
  vtkMath::Cross(right.data(), up.data(), forward.data());

  vtkNew<vtkMatrix4x4> frame;
  setRow(frame, 0, right);
  setRow(frame, 1, up);
  setRow(frame, 2, forward);
  vtkNew<vtkMatrix4x4> frameInverse;
  vtkMatrix4x4::Transpose(frame, frameInverse);

  const vtkBoundingBox box = propsBoundsInFrame(data->renderer, frame);
  if (!box.IsValid())
  {
    return false;
  }
  const double diagonal = box.GetDiagonalLength();
  const double unitSquare = std::pow(10.0, std::round(std::log10(diagonal * 0.1)));

  double center[4] = {0.0, 0.0, 0.0, 1.0};
  box.GetCenter(center);
  double origin[4];
  frameInverse->MultiplyPoint(center, origin);
  const double drop = box.GetLength(1) * 0.5 + 0.0001;
  for (size_t i = 0; i < 3; ++i)
  {
    origin[i] -= up[i] * drop;
  }

  vtkMLOpenGLGridMapper* mapper = data->gridMapper;
  mapper->SetFadeDistance(diagonal);
  mapper->SetUnitSquare(unitSquare);
  mapper->SetSubdivisions(10);
  mapper->SetAxis1Color(static_cast<float>(std::abs(right[0])),
                        static_cast<float>(std::abs(right[1])),
                        static_cast<float>(std::abs(right[2])), 1.0f);
  mapper->SetAxis2Color(static_cast<float>(std::abs(forward[0])),
                        static_cast<float>(std::abs(forward[1])),
                        static_cast<float>(std::abs(forward[2])), 1.0f);

  double orientation[3];
  vtkTransform::GetOrientation(orientation, frameInverse);
  vtkActor* grid = data->gridActor;
  grid->SetOrientation(orientation);
  grid->SetPosition(origin);
  grid->GetProperty()->SetColor(0.3, 0.2, 0.3);
  grid->ForceTranslucentOn();
  grid->SetMapper(mapper);
  grid->UseBoundsOff();
  grid->PickableOff();
  return true;
}
int colorComponent(double fraction)
{
  return std::clamp(static_cast<int>(fraction * 255.0), 0, 255);
}

// The lamp's placement goes into the light's own position and focal point, so that
// the light widget and the light commands see where the light really is.
void takeLamp(const FileLights::Lamp& lamp, vtkLight* light, LightSlot& slot)
{
  slot.position = lamp.position;
  slot.focalPoint = lamp.focalPoint;
  slot.color = QColor(colorComponent(lamp.color[0]), colorComponent(lamp.color[1]),
                      colorComponent(lamp.color[2]), 255);
  light->SetPosition(slot.position.data());
  light->SetFocalPoint(slot.focalPoint.data());
  light->SetPositional(lamp.positional);
  light->SetConeAngle(lamp.coneAngle);
  light->SetAttenuationValues(1.0, 0.0, 0.0);
  light->SetDiffuseColor(lamp.color.data());
  light->SetLightTypeToSceneLight();
  light->SwitchOn();
}
} // namespace

void applyFileLights(VtkItem* item, VtkItem::Data* data, const std::vector<FileLights::Lamp>& lamps)
{
  Manager* manager = item->manager;
  const size_t count = std::min(lamps.size(), manager->state.lights.size());
  for (size_t i = 0; i < count; ++i)
  {
    takeLamp(lamps[i], data->lights[i], manager->state.lights[i]);
  }
  manager->state.sceneLight = true;
  for (Manager::Signal signal :
       {&Manager::sceneLightChanged, &Manager::lightPosXChanged, &Manager::lightPosYChanged,
        &Manager::lightPosZChanged, &Manager::lightFpXChanged, &Manager::lightFpYChanged,
        &Manager::lightFpZChanged, &Manager::lightColorChanged})
  {
    manager->notify(signal);
  }
}

void applySceneLight(VtkItem* item, VtkItem::Data* data)
{
  if (item->manager->state.sceneLight)
  {
    useSceneLights(item->manager, data);
  }
  else
  {
    useHeadlight(item->manager, data);
  }
  data->renderer->Render();
}

void applyLightColors(VtkItem* item, VtkItem::Data* data)
{
  for (size_t i = 0; i < 3; ++i)
  {
    setLightColor(data->lights[i], item->manager->state.lights[i].color);
  }
  data->renderer->Render();
}

void updateShowLightWidgetTask(VtkItem* item, VtkItem::Data* data)
{
  data->lightWidget->SetEnabled(item->manager->state.showLightWidget ? 1 : 0);
}

void updateCurrentLightTask(VtkItem* item, VtkItem::Data* data)
{
  LightSlot& slot = item->manager->state.currentLightSlot();
  data->lightRepresentation->SetLightPosition(slot.position.data());
  data->lightRepresentation->SetFocalPoint(slot.focalPoint.data());
  data->lightWidget->Render();
  item->manager->notify(&Manager::lightColorChanged);
}

void updateLightPosTask(VtkItem* item, VtkItem::Data* data)
{
  const ManagerState& state = item->manager->state;
  Vector position = state.currentLightSlot().position;
  data->lights[state.currentLight]->SetPosition(position.data());
  data->lightRepresentation->SetLightPosition(position.data());
}

void updateLightFpTask(VtkItem* item, VtkItem::Data* data)
{
  const ManagerState& state = item->manager->state;
  Vector focalPoint = state.currentLightSlot().focalPoint;
  data->lights[state.currentLight]->SetFocalPoint(focalPoint.data());
  data->lightRepresentation->SetFocalPoint(focalPoint.data());
}

void applySurfacePreset(VtkItem* item, VtkItem::Data* data)
{
  if (!data)
  {
    return;
  }
  const ManagerState& state = item->manager->state;
  const ModelEntry* model = item->model(state.currentModel == -1 ? 0 : state.currentModel);
  if (!model || state.surfaceLight < 0 ||
      state.surfaceLight >= static_cast<int>(surfacePresets.size()))
  {
    return;
  }
  const SurfacePreset& preset = surfacePresets[static_cast<size_t>(state.surfaceLight)];
  forEachActor(*model, [&preset](vtkActor* actor) { applyPreset(actor->GetProperty(), preset); });
}

void applyBackground(VtkItem* item, VtkItem::Data* data)
{
  int preset = item->manager->state.backgroundColor;
  if (preset == -1)
  {
    preset = 0;
  }
  if (preset < 0)
  {
    return;
  }
  vtkRenderer* renderer = data->renderer;
  if (preset == 0)
  {
    renderer->SetBackground(fraction(gradientBottom).data());
    renderer->SetBackground2(fraction(gradientTop).data());
    renderer->GradientBackgroundOn();
    return;
  }
  const size_t solid = std::min(static_cast<size_t>(preset), solidBackgrounds.size()) - 1;
  renderer->GradientBackgroundOff();
  renderer->SetBackground(fraction(solidBackgrounds[solid]).data());
}

void applyGrid(VtkItem* item, VtkItem::Data* data)
{
  const bool show = item->manager->state.showGrid;
  if (show && !buildGrid(data))
  {
    return;
  }
  data->gridActor->SetVisibility(show);
}

void applyAxes(VtkItem* item, VtkItem::Data* data)
{
  vtkOrientationMarkerWidget* widget = data->axesWidget;
  if (!item->manager->state.showAxes)
  {
    widget->Off();
    return;
  }
  vtkNew<vtkAxesActor> axes;
  widget->SetOrientationMarker(axes);
  widget->SetInteractor(data->renderWindow->GetInteractor());
  widget->On();
  widget->InteractiveOff();
  widget->KeyPressActivationOff();
  widget->SetViewport(0.0, 0.0, 0.2, 0.2);
}

void applyWireframe(VtkItem* item, VtkItem::Data* data)
{
  const bool wireframe = item->manager->state.wireFrame;
  for (const auto& entry : item->models)
  {
    forEachActor(*entry,
                 [wireframe](vtkActor* actor)
                 {
                   if (wireframe)
                   {
                     actor->GetProperty()->SetRepresentationToWireframe();
                   }
                   else
                   {
                     actor->GetProperty()->SetRepresentationToSurface();
                   }
                 });
    data->renderer->Render();
  }
}

void onLightWidgetInteraction(vtkObject*, unsigned long, void* clientData, void*)
{
  auto* data = static_cast<VtkItem::Data*>(clientData);
  if (data == nullptr || data->item == nullptr || !anySceneLight(data))
  {
    return;
  }
  Manager* manager = data->item->manager;
  LightSlot& slot = manager->state.currentLightSlot();
  data->lightRepresentation->GetLightPosition(slot.position.data());
  data->lightRepresentation->GetFocalPoint(slot.focalPoint.data());
  vtkLight* light = data->lights[manager->state.currentLight];
  light->SetPosition(slot.position.data());
  light->SetFocalPoint(slot.focalPoint.data());
  for (Manager::Signal signal :
       {&Manager::lightPosXChanged, &Manager::lightPosYChanged, &Manager::lightPosZChanged,
        &Manager::lightFpXChanged, &Manager::lightFpYChanged, &Manager::lightFpZChanged})
  {
    manager->notify(signal);
  }
}
} // namespace ML
