#include "SceneHelpers.h"

#include <vtkActorCollection.h>
#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "AssimpImporter.h"
#include "LoadTasks.h"
#include "ModelActors.h"

namespace ML::Test
{
ModelEntry& loadModel(ViewHarness& h, const std::string& path)
{
  const size_t count = h.item.models.size();
  h.manager.beginLoad();
  h.item.loadFiles({QString::fromStdString(path)}, VtkItem::LoadMode::Add);
  h.runTasks();
  EXPECT_EQ(h.item.models.size(), count + 1) << path;
  return *h.item.models.back();
}

std::vector<vtkActor*> nodeActors(const ModelEntry& entry, const std::string& name)
{
  std::vector<vtkActor*> result;
  const auto found = entry.importer->NodeActors.find(name);
  if (found != entry.importer->NodeActors.end())
  {
    forEachActor(found->second.Get(), [&](vtkActor* actor) { result.push_back(actor); });
  }
  return result;
}

void paintModel(const ModelEntry& entry, double r, double g, double b)
{
  forEachActor(entry,
               [=](vtkActor* actor)
               {
                 // Each actor gets a property of its own: materials are shared between
                 // actors, and the tests must not depend on which ones share.
                 vtkNew<vtkProperty> plain;
                 plain->SetColor(r, g, b);
                 plain->SetInterpolationToPhong();
                 plain->SetAmbient(0.0);
                 plain->SetDiffuse(1.0);
                 plain->SetSpecular(0.0);
                 actor->SetProperty(plain);
                 actor->SetTexture(nullptr);
                 actor->GetMapper()->ScalarVisibilityOff();
               });
}

namespace
{
vtkSmartPointer<vtkActor> addMeshActor(ViewHarness& h, vtkPoints* points, vtkCellArray* triangles)
{
  vtkNew<vtkPolyData> mesh;
  mesh->SetPoints(points);
  mesh->SetPolys(triangles);
  vtkNew<vtkPolyDataMapper> mapper;
  mapper->SetInputData(mesh);
  auto actor = vtkSmartPointer<vtkActor>::New();
  actor->SetMapper(mapper);
  h.data->renderer->AddActor(actor);
  return actor;
}

void addTriangle(vtkCellArray* cells, vtkIdType a, vtkIdType b, vtkIdType c)
{
  const vtkIdType ids[3] = {a, b, c};
  cells->InsertNextCell(3, ids);
}
} // namespace

vtkSmartPointer<vtkActor> addBoxActor(ViewHarness& h, const Point3& min, const Point3& max)
{
  vtkNew<vtkPoints> points;
  for (int corner = 0; corner < 8; ++corner)
  {
    points->InsertNextPoint(corner & 1 ? max[0] : min[0], corner & 2 ? max[1] : min[1],
                            corner & 4 ? max[2] : min[2]);
  }
  vtkNew<vtkCellArray> triangles;
  // Two triangles per side; corner index bits are x, y, z.
  const int sides[6][4] = {{0, 2, 6, 4}, {1, 5, 7, 3}, {0, 4, 5, 1},
                           {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 6, 7, 5}};
  for (const auto& side : sides)
  {
    addTriangle(triangles, side[0], side[1], side[2]);
    addTriangle(triangles, side[0], side[2], side[3]);
  }
  return addMeshActor(h, points, triangles);
}

QPoint displayPoint(ViewHarness& h, const Point3& world)
{
  vtkRenderer* renderer = h.data->renderer;
  renderer->SetWorldPoint(world[0], world[1], world[2], 1.0);
  renderer->WorldToDisplay();
  const double* display = renderer->GetDisplayPoint();
  return {static_cast<int>(display[0]), static_cast<int>(display[1])};
}

QPoint imagePoint(ViewHarness& h, const Point3& world)
{
  const QPoint display = displayPoint(h, world);
  return {display.x(), h.renderWindow->GetSize()[1] - 1 - display.y()};
}

QColor colorAt(const QImage& image, QPoint point)
{
  return QColor(image.pixel(point)).toRgb();
}

int countDiffering(const QImage& image, QColor background)
{
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
  {
    for (int x = 0; x < image.width(); ++x)
    {
      count += (image.pixel(x, y) & 0xffffff) != (background.rgb() & 0xffffff) ? 1 : 0;
    }
  }
  return count;
}

QRect differingRect(const QImage& image, QColor background)
{
  QRect rect;
  for (int y = 0; y < image.height(); ++y)
  {
    for (int x = 0; x < image.width(); ++x)
    {
      if ((image.pixel(x, y) & 0xffffff) != (background.rgb() & 0xffffff))
      {
        rect |= QRect(x, y, 1, 1);
      }
    }
  }
  return rect;
}
} // namespace ML::Test
