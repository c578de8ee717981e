#include "OffscreenView.h"

#include <vtkActor.h>
#include <vtkCallbackCommand.h>
#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkShader.h>
#include <vtkShaderProgram.h>
#include <vtkShaderProperty.h>
#include <vtkUniforms.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnsignedShortArray.h>

#include <QDir>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ML::Test
{
//------------------------------------------------------------------------------
int Frame::brightness(int x, int y) const
{
  const unsigned char* p = pixel(x, y);
  return std::max({p[0], p[1], p[2]});
}

int Frame::litPixels() const
{
  int count = 0;
  for (int y = 0; y < height; ++y)
  {
    for (int x = 0; x < width; ++x)
    {
      count += brightness(x, y) > 0 ? 1 : 0;
    }
  }
  return count;
}

int Frame::differingPixels(const Frame& other, int tolerance) const
{
  int count = 0;
  for (size_t i = 0; i < rgb.size(); i += 3)
  {
    bool differs = false;
    for (size_t c = 0; c < 3; ++c)
    {
      differs = differs || std::abs(int(rgb[i + c]) - int(other.rgb[i + c])) > tolerance;
    }
    count += differs ? 1 : 0;
  }
  return count;
}

int Frame::topLitRow(int x) const
{
  for (int y = height - 1; y >= 0; --y)
  {
    if (brightness(x, y) > 0)
    {
      return y;
    }
  }
  return -1;
}

void Frame::saveIfRequested(const std::string& name) const
{
  const char* dir = std::getenv("ML_TEST_IMAGE_DIR");
  if (!dir)
  {
    return;
  }
  QImage image(rgb.data(), width, height, 3 * width, QImage::Format_RGB888);
  QDir().mkpath(dir);
  // The frame starts with the bottom row; images start with the top one.
  image.mirrored().save(QString::fromLocal8Bit(dir) + "/" + QString::fromStdString(name) + ".png");
}

//------------------------------------------------------------------------------
OffscreenView::OffscreenView(int width, int height) : win(vtkSmartPointer<vtkRenderWindow>::New())
{
  win->SetOffScreenRendering(1);
  win->SetMultiSamples(0);
  win->SetSize(width, height);
  win->AddRenderer(ren);
  ren->SetBackground(0.0, 0.0, 0.0);
}

OffscreenView::~OffscreenView()
{
  // Free the GL objects of the props while the context still exists.
  ren->RemoveAllViewProps();
  win->Finalize();
}

void OffscreenView::lookAlongMinusZ(double parallelScale)
{
  vtkCamera* camera = ren->GetActiveCamera();
  camera->ParallelProjectionOn();
  camera->SetPosition(0.0, 0.0, 10.0);
  camera->SetFocalPoint(0.0, 0.0, 0.0);
  camera->SetViewUp(0.0, 1.0, 0.0);
  camera->SetParallelScale(parallelScale);
  camera->SetClippingRange(1.0, 100.0);
}

void OffscreenView::lookAlongMinusY(double parallelScale)
{
  vtkCamera* camera = ren->GetActiveCamera();
  camera->ParallelProjectionOn();
  camera->SetPosition(0.0, 10.0, 0.0);
  camera->SetFocalPoint(0.0, 0.0, 0.0);
  camera->SetViewUp(0.0, 0.0, -1.0);
  camera->SetParallelScale(parallelScale);
  camera->SetClippingRange(1.0, 100.0);
}

Frame OffscreenView::renderOnly(vtkActor* actor)
{
  ren->RemoveAllViewProps();
  ren->AddActor(actor);
  return render();
}

Frame OffscreenView::render()
{
  win->Render();
  const int* size = win->GetSize();
  Frame frame;
  frame.width = size[0];
  frame.height = size[1];
  vtkNew<vtkUnsignedCharArray> pixels;
  win->GetPixelData(0, 0, frame.width - 1, frame.height - 1, 1, pixels);
  frame.rgb.assign(pixels->GetPointer(0), pixels->GetPointer(0) + 3 * frame.width * frame.height);
  return frame;
}

//------------------------------------------------------------------------------
Matrix identityMatrix()
{
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Matrix translationMatrix(float x, float y, float z)
{
  Matrix m = identityMatrix();
  m[12] = x;
  m[13] = y;
  m[14] = z;
  return m;
}

Matrix rotationAboutY(double degrees)
{
  const float c = static_cast<float>(std::cos(degrees * M_PI / 180.0));
  const float s = static_cast<float>(std::sin(degrees * M_PI / 180.0));
  // Columns: the images of the X, Y and Z axes.
  return {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
}

std::vector<float> jointPalette(int jointCount, int moving, const Matrix& pose)
{
  std::vector<float> palette;
  palette.reserve(16 * jointCount);
  for (int j = 0; j < jointCount; ++j)
  {
    const Matrix m = j == moving ? pose : identityMatrix();
    palette.insert(palette.end(), m.begin(), m.end());
  }
  return palette;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkPolyData> makeStrip(const StripOptions& options)
{
  constexpr int Segments = 16;
  vtkNew<vtkPoints> points;
  vtkNew<vtkUnsignedShortArray> joints;
  joints->SetName("JOINTS_0");
  joints->SetNumberOfComponents(4);
  vtkNew<vtkFloatArray> weights;
  weights->SetName("WEIGHTS_0");
  weights->SetNumberOfComponents(4);
  vtkNew<vtkFloatArray> normals;
  normals->SetNumberOfComponents(3);

  for (int i = 0; i <= Segments; ++i)
  {
    const double x = -2.0 + 4.0 * i / Segments;
    const float w = static_cast<float>(std::clamp((x + 1.0) / 2.0, 0.0, 1.0));
    for (double y : {-0.5, 0.5})
    {
      points->InsertNextPoint(x, y, 0.0);
      const unsigned short jointTuple[4] = {0, static_cast<unsigned short>(options.moving), 0, 0};
      joints->InsertNextTypedTuple(jointTuple);
      const float weightTuple[4] = {1.0f - w, w, 0.0f, 0.0f};
      weights->InsertNextTypedTuple(weightTuple);
      const float normal[3] = {0.0f, 0.0f, 1.0f};
      normals->InsertNextTypedTuple(normal);
    }
  }

  vtkNew<vtkCellArray> triangles;
  for (vtkIdType i = 0; i < Segments; ++i)
  {
    const vtkIdType a = 2 * i;
    const vtkIdType first[3] = {a, a + 2, a + 3};
    const vtkIdType second[3] = {a, a + 3, a + 1};
    triangles->InsertNextCell(3, first);
    triangles->InsertNextCell(3, second);
  }

  auto strip = vtkSmartPointer<vtkPolyData>::New();
  strip->SetPoints(points);
  strip->SetPolys(triangles);
  if (options.skinning)
  {
    strip->GetPointData()->AddArray(joints);
    strip->GetPointData()->AddArray(weights);
  }
  if (options.normals)
  {
    strip->GetPointData()->SetNormals(normals);
  }
  return strip;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkPolyData> makeSphere(int rings, int segments)
{
  vtkNew<vtkPoints> points;
  vtkNew<vtkFloatArray> normals;
  normals->SetNumberOfComponents(3);
  for (int r = 0; r <= rings; ++r)
  {
    const double polar = M_PI * r / rings;
    for (int s = 0; s <= segments; ++s)
    {
      const double azimuth = 2.0 * M_PI * s / segments;
      const float n[3] = {static_cast<float>(std::sin(polar) * std::cos(azimuth)),
                          static_cast<float>(std::cos(polar)),
                          static_cast<float>(std::sin(polar) * std::sin(azimuth))};
      points->InsertNextPoint(n[0], n[1], n[2]);
      normals->InsertNextTypedTuple(n);
    }
  }

  vtkNew<vtkCellArray> triangles;
  const vtkIdType row = segments + 1;
  for (vtkIdType r = 0; r < rings; ++r)
  {
    for (vtkIdType s = 0; s < segments; ++s)
    {
      const vtkIdType a = r * row + s;
      const vtkIdType first[3] = {a, a + 1, a + row + 1};
      const vtkIdType second[3] = {a, a + row + 1, a + row};
      triangles->InsertNextCell(3, first);
      triangles->InsertNextCell(3, second);
    }
  }

  auto sphere = vtkSmartPointer<vtkPolyData>::New();
  sphere->SetPoints(points);
  sphere->SetPolys(triangles);
  sphere->GetPointData()->SetNormals(normals);
  return sphere;
}

//------------------------------------------------------------------------------
namespace
{
// Column-major element (row, column).
float element(const float* m, int row, int column)
{
  return m[4 * column + row];
}
} // namespace

vtkSmartPointer<vtkPolyData> deformOnCpu(vtkPolyData* skinned, const std::vector<float>& joints)
{
  vtkPointData* pd = skinned->GetPointData();
  vtkDataArray* jointIds = pd->GetArray("JOINTS_0");
  vtkDataArray* weights = pd->GetArray("WEIGHTS_0");
  vtkDataArray* normals = pd->GetNormals();

  vtkNew<vtkPoints> points;
  vtkNew<vtkFloatArray> newNormals;
  newNormals->SetNumberOfComponents(3);
  for (vtkIdType v = 0; v < skinned->GetNumberOfPoints(); ++v)
  {
    double skin[4][4] = {};
    for (int k = 0; k < 4; ++k)
    {
      const float* m = &joints[16 * static_cast<size_t>(jointIds->GetComponent(v, k))];
      const double w = weights->GetComponent(v, k);
      for (int r = 0; r < 4; ++r)
      {
        for (int c = 0; c < 4; ++c)
        {
          skin[r][c] += w * element(m, r, c);
        }
      }
    }
    double p[3];
    skinned->GetPoint(v, p);
    double q[3];
    for (int r = 0; r < 3; ++r)
    {
      q[r] = skin[r][0] * p[0] + skin[r][1] * p[1] + skin[r][2] * p[2] + skin[r][3];
    }
    points->InsertNextPoint(q);
    if (normals)
    {
      double n[3];
      normals->GetTuple(v, n);
      float m[3];
      for (int r = 0; r < 3; ++r)
      {
        m[r] = static_cast<float>(skin[r][0] * n[0] + skin[r][1] * n[1] + skin[r][2] * n[2]);
      }
      newNormals->InsertNextTypedTuple(m);
    }
  }

  auto deformed = vtkSmartPointer<vtkPolyData>::New();
  deformed->SetPoints(points);
  deformed->SetPolys(skinned->GetPolys());
  if (normals)
  {
    deformed->GetPointData()->SetNormals(newNormals);
  }
  return deformed;
}

//------------------------------------------------------------------------------
vtkSmartPointer<vtkActor> makeActor(vtkPolyDataMapper* mapper, vtkPolyData* mesh, bool lighting)
{
  mapper->SetInputData(mesh);
  auto actor = vtkSmartPointer<vtkActor>::New();
  actor->SetMapper(mapper);
  actor->GetProperty()->SetColor(1.0, 1.0, 1.0);
  actor->GetProperty()->SetLighting(lighting);
  return actor;
}

void setJointMatrices(vtkActor* actor, const std::vector<float>& joints)
{
  actor->GetShaderProperty()->GetVertexCustomUniforms()->SetUniformMatrix4x4v(
      "jointMatrices", static_cast<int>(joints.size() / 16), const_cast<float*>(joints.data()));
}

//------------------------------------------------------------------------------
VertexSourceProbe::VertexSourceProbe(vtkObject* mapper) : observed(mapper)
{
  vtkNew<vtkCallbackCommand> command;
  command->SetCallback(&VertexSourceProbe::capture);
  command->SetClientData(this);
  tag = observed->AddObserver(vtkCommand::UpdateShaderEvent, command);
}

VertexSourceProbe::~VertexSourceProbe()
{
  observed->RemoveObserver(tag);
}

void VertexSourceProbe::capture(vtkObject*, unsigned long, void* clientData, void* callData)
{
  auto* probe = static_cast<VertexSourceProbe*>(clientData);
  auto* program = static_cast<vtkShaderProgram*>(callData);
  probe->last = program->GetVertexShader()->GetSource();
}
} // namespace ML::Test
