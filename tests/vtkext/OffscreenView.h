#pragma once

#include <vtkNew.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

#include <string>
#include <vector>

class vtkActor;
class vtkObject;
class vtkPolyData;
class vtkPolyDataMapper;

namespace ML::Test
{
// An RGB frame read back from the render window, bottom row first.
struct Frame
{
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;

  const unsigned char* pixel(int x, int y) const { return &rgb[3 * (y * width + x)]; }
  int brightness(int x, int y) const; // largest of the three channels
  int litPixels() const;              // pixels that are not black
  // Pixels whose channels differ from the other frame's by more than tolerance.
  int differingPixels(const Frame& other, int tolerance = 0) const;
  // Highest row (largest y) with a lit pixel in column x, or -1.
  int topLitRow(int x) const;
  // Writes a PNG when ML_TEST_IMAGE_DIR is set, to look at what a test drew.
  void saveIfRequested(const std::string& name) const;
};

// A small offscreen render window with a parallel camera on a black background.
class OffscreenView
{
public:
  OffscreenView(int width, int height);
  ~OffscreenView();

  vtkRenderer* renderer() const { return ren; }
  vtkRenderWindow* window() const { return win; }

  // Looks down -Z at the XY plane; parallelScale is half the visible height.
  void lookAlongMinusZ(double parallelScale);
  // Looks down -Y at the XZ plane with -Z pointing up on screen.
  void lookAlongMinusY(double parallelScale);

  // Renders with only this actor in the scene.
  Frame renderOnly(vtkActor* actor);
  Frame render();

private:
  vtkNew<vtkRenderer> ren;
  vtkSmartPointer<vtkRenderWindow> win;
};

// Column-major 4x4 matrices, as the "jointMatrices" uniform takes them.
using Matrix = std::vector<float>;
Matrix identityMatrix();
Matrix translationMatrix(float x, float y, float z);
Matrix rotationAboutY(double degrees);

// Joint matrices: identity everywhere except joint `moving`.
std::vector<float> jointPalette(int jointCount, int moving, const Matrix& pose);

// A flat strip in the XY plane from x = -2 to 2 and y = -0.5 to 0.5, facing +Z.
// With skinning arrays, points with x <= -1 follow joint 0, points with x >= 1
// follow joint `moving`, and points in between blend linearly.
struct StripOptions
{
  bool skinning = true;
  bool normals = false;
  int moving = 1;
};
vtkSmartPointer<vtkPolyData> makeStrip(const StripOptions& options);

// A unit sphere with point normals and no skinning arrays.
vtkSmartPointer<vtkPolyData> makeSphere(int rings, int segments);

// The strip deformed on the CPU by linear blend skinning with the given joint
// matrices (positions and normals), without skinning arrays: the reference a
// GPU-skinned render must match.
vtkSmartPointer<vtkPolyData> deformOnCpu(vtkPolyData* skinned, const std::vector<float>& joints);

// A white actor drawing the mesh through the mapper.
vtkSmartPointer<vtkActor> makeActor(vtkPolyDataMapper* mapper, vtkPolyData* mesh, bool lighting);
void setJointMatrices(vtkActor* actor, const std::vector<float>& joints);

// Captures the vertex shader source of the programs a mapper uses.
class VertexSourceProbe
{
public:
  explicit VertexSourceProbe(vtkObject* mapper);
  ~VertexSourceProbe();
  const std::string& source() const { return last; }

private:
  static void capture(vtkObject*, unsigned long, void* clientData, void* callData);
  vtkObject* observed;
  unsigned long tag;
  std::string last;
};
} // namespace ML::Test
