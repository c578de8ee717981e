// The rendering extensions drawn offscreen and read back. CTest runs this three times:
// after the start-up set-up, without it (which a process cannot undo) and on a context
// that reports OpenGL 4.1.

#include "MessageLog.h"
#include "vtkMLObjectFactory.h"
#include "vtkMLOpenGLGridMapper.h"
#include "vtkMLPolyDataMapper.h"

#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkFloatArray.h>
#include <vtkLogger.h>
#include <vtkMatrix4x4.h>
#include <vtkObjectFactoryCollection.h>
#include <vtkOpenGLPolyDataMapper.h>
#include <vtkOpenGLRenderWindow.h>
#include <vtkOpenGLShaderCache.h>
#include <vtkPlaneSource.h>
#include <vtkPointData.h>
#include <vtkPointGaussianMapper.h>
#include <vtkProperty.h>
#include <vtkRenderer.h>
#include <vtkShader.h>
#include <vtkShaderProgram.h>
#include <vtkShaderProperty.h>
#include <vtkSphereSource.h>
#include <vtkUniforms.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnsignedShortArray.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

using namespace ML::Test;

namespace
{
struct Frame // RGB, bottom row first
{
  int width = 0, height = 0;
  std::vector<unsigned char> rgb = {};
  std::string source = {}; // vertex shader of the last program drawn

  const unsigned char* pixel(int x, int y) const { return &rgb[3 * (y * width + x)]; }
  // Pixels whose channels differ from the other frame's by more than tolerance.
  int differingPixels(const Frame& other, int tolerance = 0) const
  {
    int count = 0;
    for (std::size_t i = 0; i < rgb.size(); i += 3)
      count += std::max({std::abs(rgb[i] - other.rgb[i]), std::abs(rgb[i + 1] - other.rgb[i + 1]),
                         std::abs(rgb[i + 2] - other.rgb[i + 2])}) > tolerance;
    return count;
  }
  int litPixels() const { return differingPixels({width, height, decltype(rgb)(rgb.size())}); }
};

// A parallel camera showing `scale` units each side of the centre, along -Z or -Y (-Z up).
struct OffscreenView
{
  OffscreenView(int size, double scale, bool alongY = false)
  {
    win->SetOffScreenRendering(1);
    win->SetMultiSamples(0);
    win->SetSize(size, size);
    win->AddRenderer(ren);
    vtkCamera* camera = ren->GetActiveCamera();
    camera->ParallelProjectionOn();
    camera->SetPosition(0, alongY ? 10 : 0, alongY ? 0 : 10);
    camera->SetViewUp(0, alongY ? 0 : 1, alongY ? -1 : 0);
    camera->SetParallelScale(scale);
    camera->SetClippingRange(1, 100);
  }
  ~OffscreenView()
  {
    ren->RemoveAllViewProps(); // frees the props' GL objects while the context exists
    win->Finalize();
  }
  // The actors given, or else those already shown.
  Frame render(std::initializer_list<vtkActor*> only = {})
  {
    if (only.size())
    {
      ren->RemoveAllViewProps();
      for (vtkActor* actor : only)
        ren->AddActor(actor);
    }
    win->Render();
    vtkShaderProgram* program =
        vtkOpenGLRenderWindow::SafeDownCast(win)->GetShaderCache()->GetLastShaderBound();
    Frame frame{win->GetSize()[0], win->GetSize()[1], {}, program->GetVertexShader()->GetSource()};
    vtkNew<vtkUnsignedCharArray> pixels;
    win->GetPixelData(0, 0, frame.width - 1, frame.height - 1, 1, pixels);
    frame.rgb.assign(pixels->GetPointer(0), pixels->GetPointer(0) + pixels->GetNumberOfValues());
    return frame;
  }

  vtkNew<vtkRenderer> ren;
  vtkSmartPointer<vtkRenderWindow> win = vtkSmartPointer<vtkRenderWindow>::New();
};

// `count` column-major joint matrices ("jointMatrices" takes them so), identities but for
// the last: a turn about Y, then a move.
std::vector<float> palette(int count, double degrees, float x = 0, float y = 0)
{
  std::vector<float> all;
  for (int j = 1; j < count; ++j)
    all.insert(all.end(), {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  const float c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180);
  all.insert(all.end(), {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, x, y, 0, 1});
  return all;
}

// A strip with normals in the XY plane from x = -2 to 2 and y = -0.5 to 0.5, facing +Z.
// Points with x <= -1 follow joint 0, x >= 1 joint `moving`, the ones between blend.
vtkSmartPointer<vtkPolyData> makeStrip(int moving = 1)
{
  vtkNew<vtkPlaneSource> plane;
  plane->SetOrigin(-2, -0.5, 0);
  plane->SetPoint1(2, -0.5, 0);
  plane->SetPoint2(-2, 0.5, 0);
  plane->SetXResolution(16);
  plane->Update();
  vtkSmartPointer<vtkPolyData> strip = plane->GetOutput();
  vtkNew<vtkUnsignedShortArray> joints;
  vtkNew<vtkFloatArray> weights;
  joints->SetNumberOfComponents(4);
  weights->SetNumberOfComponents(4);
  joints->SetName("JOINTS_0");
  weights->SetName("WEIGHTS_0");
  for (vtkIdType i = 0; i < strip->GetNumberOfPoints(); ++i)
  {
    const double w = std::clamp((strip->GetPoint(i)[0] + 1) / 2, 0.0, 1.0);
    joints->InsertNextTuple4(0, moving, 0, 0);
    weights->InsertNextTuple4(1 - w, w, 0, 0);
  }
  strip->GetPointData()->AddArray(joints);
  strip->GetPointData()->AddArray(weights);
  return strip;
}

// The reference a skinned drawing must match: points and normals blended on the CPU;
// a vertex without weights stays where it is.
vtkSmartPointer<vtkPolyData> deformOnCpu(vtkPolyData* skinned, const std::vector<float>& matrices)
{
  auto deformed = vtkSmartPointer<vtkPolyData>::New();
  deformed->DeepCopy(skinned);
  vtkPointData* data = deformed->GetPointData();
  vtkDataArray *joints = data->GetArray("JOINTS_0"), *weights = data->GetArray("WEIGHTS_0");
  for (vtkIdType v = 0; v < deformed->GetNumberOfPoints(); ++v)
  {
    double m[16] = {}, p[4] = {0, 0, 0, 1}, n[4] = {};
    for (int e = 0; e < 64; ++e)
      m[e % 16] += weights->GetComponent(v, e / 16) *
                   matrices[16 * static_cast<int>(joints->GetComponent(v, e / 16)) + e % 16];
    vtkMatrix4x4::Transpose(m, m); // to row-major
    if (m[15] == 0)
      vtkMatrix4x4::Identity(m);
    deformed->GetPoint(v, p);
    data->GetNormals()->GetTuple(v, n);
    vtkMatrix4x4::MultiplyPoint(m, p, p);
    vtkMatrix4x4::MultiplyPoint(m, n, n);
    deformed->GetPoints()->SetPoint(v, p);
    data->GetNormals()->SetTuple(v, n);
  }
  return deformed;
}

// A white actor drawing the mesh through the mapper, with the joint matrices if any.
vtkSmartPointer<vtkActor> makeActor(vtkPolyDataMapper* mapper, vtkPolyData* mesh, bool lighting,
                                    std::vector<float> joints = {})
{
  mapper->SetInputData(mesh);
  auto actor = vtkSmartPointer<vtkActor>::New();
  actor->SetMapper(mapper);
  actor->GetProperty()->SetLighting(lighting);
  if (!joints.empty())
    actor->GetShaderProperty()->GetVertexCustomUniforms()->SetUniformMatrix4x4v(
        "jointMatrices", static_cast<int>(joints.size() / 16), joints.data());
  return actor;
}

vtkSmartPointer<vtkPolyDataMapper> newPolyDataMapper()
{
  return vtkSmartPointer<vtkPolyDataMapper>::Take(vtkPolyDataMapper::New());
}

// Runs first, or alone: VTK's own mapper ignores the skinning inputs.
TEST(WithoutSetup, SkinnedMeshIsDrawnUndeformed)
{
  OffscreenView view(200, 2.5);
  auto strip = makeStrip();
  const std::vector<float> joints = palette(2, 0, 0, 1);
  const Frame drawn = view.render({makeActor(newPolyDataMapper(), strip, false, joints)});
  const Frame rest = view.render({makeActor(vtkNew<vtkOpenGLPolyDataMapper>(), strip, false)});
  EXPECT_GT(rest.litPixels(), 0);
  EXPECT_EQ(drawn.differingPixels(rest), 0);
  // The same pose does deform the mesh once the skinning mapper draws it.
  const Frame skinned =
      view.render({makeActor(vtkNew<vtkMLPolyDataMapper>(), strip, false, joints)});
  EXPECT_GT(skinned.differingPixels(rest), rest.litPixels() / 4);
}

// The grid seen from straight above on black, with white lines, 20 pixels to a unit:
// model X grows to the right, model Z downwards.
TEST(GridMapper, LinesFadeOutwardsAxesTakeTheirColoursAndFieldsReachTheNextFrame)
{
  constexpr int Size = 481, Centre = 240, PerUnit = 20;
  OffscreenView view(Size, Size / (2.0 * PerUnit), true);
  vtkNew<vtkMLOpenGLGridMapper> mapper;
  mapper->SetSubdivisions(4);
  mapper->SetAxis1Color(1, 0, 0, 1);
  mapper->SetAxis2Color(0, 1, 0, 1);
  vtkNew<vtkActor> actor;
  actor->SetMapper(mapper);
  actor->ForceTranslucentOn();
  const auto at = [](const Frame& frame, double x, double z)
  { return frame.pixel(Centre + std::lround(x * PerUnit), Centre - std::lround(z * PerUnit)); };

  // Away from the axes every line is grey; from the fade distance (10) on, nothing.
  const Frame frame = view.render({actor});
  int coloured = 0, beyondFade = 0;
  for (int i = 0; i < Size * Size; ++i)
  {
    const int x = i % Size - Centre, y = i / Size - Centre;
    const unsigned char* p = frame.pixel(i % Size, i / Size);
    coloured += std::abs(x) > 2 && std::abs(y) > 2 && (p[0] != p[1] || p[1] != p[2]);
    beyondFade = std::max(beyondFade, std::hypot(x, y) >= 10 * PerUnit ? p[0] + p[1] + p[2] : 0);
  }
  EXPECT_EQ(coloured, 0);
  EXPECT_EQ(beyondFade, 0);
  // Major lines fade with the distance from the centre; minor ones are fainter; between
  // lines there is nothing.
  EXPECT_GT(at(frame, 3, 4)[0], at(frame, 6, 6)[0] + 40);
  EXPECT_GT(at(frame, 6, 6)[0], 20);
  EXPECT_GT(at(frame, 3, 4)[0], 2 * at(frame, 2.25, 3.6)[0]);
  EXPECT_GT(at(frame, 2.25, 3.6)[0], 0);
  EXPECT_EQ(at(frame, 2.4, 3.6)[0], 0);
  // Axis 1 runs along model X in its colour, axis 2 along model Z in its own.
  EXPECT_GT(at(frame, 2.5, 0)[0], 3 * at(frame, 2.5, 0)[1]);
  EXPECT_GT(at(frame, 0, -2.5)[1], 3 * at(frame, 0, -2.5)[0]);

  // A new colour and an offset of half a unit across X, axis 2 included, reach the
  // next frame; a shorter fade distance darkens the far lines.
  mapper->SetAxis1Color(0, 0, 1, 1);
  mapper->SetGridOffset(0.5, 0, 0);
  const Frame changed = view.render();
  EXPECT_GT(at(changed, 2, 0)[2], 3 * at(changed, 2, 0)[0]);
  EXPECT_EQ(at(changed, 0, -2.5)[0], at(changed, 0, -2.5)[1]);
  EXPECT_GT(at(changed, 0.5, -2.5)[1], 200);
  mapper->SetFadeDistance(5);
  const Frame nearer = view.render();
  // The camera's clipping range is made from the bounds.
  EXPECT_TRUE(mapper->GetBounds()[0] == -5 && mapper->GetBounds()[5] == 5);
  EXPECT_EQ(at(nearer, 6, 6)[0], 0);
  EXPECT_GT(at(nearer, 0.5, -2.5)[1], 100);
}

// vtkPolyDataMapper::New() after the set-up against VTK's own mapper on the reference.
class Skinning : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { initializeRenderingExtensions(); }
  Frame skinned(vtkPolyData* mesh, const std::vector<float>& joints, bool lighting = false)
  {
    actor = makeActor(newPolyDataMapper(), mesh, lighting, joints);
    return view.render({actor});
  }
  Frame plain(vtkPolyData* mesh, bool lighting = false)
  {
    return view.render({makeActor(vtkNew<vtkOpenGLPolyDataMapper>(), mesh, lighting)});
  }

  OffscreenView view{200, 2.5};
  vtkSmartPointer<vtkActor> actor;
};

// Lit, normals follow the joint; unlit, or lit with no light switched on (which once failed
// to compile and drew nothing), no normal or view-position lines are generated. At rest the
// strip, and a mesh without skinning inputs, draw as VTK draws them.
TEST_F(Skinning, JointMatricesMoveVerticesAndNormalsWhereTheCpuBlendPutsThem)
{
  // Every third vertex no joint influences: it stays put instead of collapsing onto the origin.
  auto strip = makeStrip();
  vtkDataArray* weights = strip->GetPointData()->GetArray("WEIGHTS_0");
  for (vtkIdType v = 0; v < strip->GetNumberOfPoints(); v += 3)
    for (int c = 0; c < 4; ++c)
      weights->SetComponent(v, c, 0.0);
  vtkNew<vtkSphereSource> sphere;
  sphere->Update();
  for (const auto& [lighting, light] : {std::pair{true, true}, {true, false}, {false, true}})
  {
    SCOPED_TRACE(2 * lighting + light);
    view.ren->RemoveAllLights();
    view.ren->SetAutomaticLightCreation(light);
    const Frame rest = plain(strip, lighting);
    EXPECT_GT(rest.litPixels(), 0);
    EXPECT_EQ(skinned(strip, palette(2, 0), lighting).differingPixels(rest), 0);
    // A new pose reaches the next frame.
    std::vector<float> joints = lighting && light ? palette(2, 60) : palette(2, 0, 0, 1);
    actor->GetShaderProperty()->GetVertexCustomUniforms()->SetUniformMatrix4x4v("jointMatrices", 2,
                                                                                joints.data());
    const Frame moved = view.render();
    EXPECT_GT(moved.differingPixels(rest), rest.litPixels() / 4);
    EXPECT_LE(moved.differingPixels(plain(deformOnCpu(strip, joints), lighting), 2),
              moved.litPixels() / 100);
    EXPECT_EQ(skinned(sphere->GetOutput(), {}, lighting)
                  .differingPixels(plain(sphere->GetOutput(), lighting)),
              0);
  }
}

// Above 250 joints the matrices travel by storage buffer, which only OpenGL 4.3 shaders read;
// on OpenGL 4.1 (vtkext_skinning_gl41_test) such a mesh is reported and drawn unskinned.
TEST_F(Skinning, MoreThan250JointsGoThroughAStorageBufferOrAreReported)
{
  auto strip = makeStrip(249);
  MessageLog log;
  const Frame uniforms = skinned(strip, palette(250, 0, 0.5f, -0.75f));
  EXPECT_LE(uniforms.differingPixels(plain(deformOnCpu(strip, palette(250, 0, 0.5f, -0.75f)))),
            uniforms.litPixels() / 100);
  const Frame storage = skinned(makeStrip(250), palette(251, 0, 0.5f, -0.75f));
  if (qEnvironmentVariableIsSet("MESA_GL_VERSION_OVERRIDE"))
  {
    EXPECT_EQ(log.lines(), QStringList{"A mesh is associated with more than 250 bones (251), "
                                       "which requires OpenGL >= 4.3"});
    EXPECT_EQ(storage.differingPixels(plain(makeStrip(250))), 0);
    return;
  }
  EXPECT_EQ(storage.source.rfind("#version 430", 0), 0u) << storage.source.substr(0, 100);
  EXPECT_EQ(storage.differingPixels(uniforms), 0);

  // Another reason to build the shader again (wireframe and back) keeps the pose.
  actor->GetProperty()->SetRepresentationToWireframe();
  view.render();
  actor->GetProperty()->SetRepresentationToSurface();
  EXPECT_EQ(view.render().differingPixels(uniforms), 0);

  // New poses set between frames are the ones the next frames draw, and a second large
  // skeleton below, left at rest, keeps its own (the references are drawn elsewhere).
  auto other = makeActor(newPolyDataMapper(), makeStrip(250), false, palette(251, 0));
  auto otherAtRest = makeActor(vtkNew<vtkOpenGLPolyDataMapper>(), makeStrip(250), false);
  other->SetPosition(0, -1.5, 0);
  otherAtRest->SetPosition(0, -1.5, 0);
  OffscreenView reference{200, 2.5};
  view.render({actor, other});
  for (const float y : {-0.25f, 0.25f, -0.5f})
  {
    actor->GetShaderProperty()->GetVertexCustomUniforms()->RemoveAllUniforms();
    std::vector<float> next = palette(251, 0, 0.5f, y);
    actor->GetShaderProperty()->GetVertexCustomUniforms()->SetUniformMatrix4x4v("jointMatrices",
                                                                                251, next.data());
    const Frame both = view.render();
    const Frame expected = reference.render(
        {makeActor(vtkNew<vtkOpenGLPolyDataMapper>(), deformOnCpu(makeStrip(250), next), false),
         otherAtRest});
    EXPECT_LE(both.differingPixels(expected), both.litPixels() / 100) << y;
  }
}

TEST(ObjectFactory, SetUpOnceMakesEveryPolyDataMapperTheSkinningMapper)
{
  initializeRenderingExtensions();
  initializeRenderingExtensions();
  EXPECT_STREQ(newPolyDataMapper()->GetClassName(), "vtkMLPolyDataMapper");
  vtkNew<vtkPointGaussianMapper> gaussian; // VTK's own factory is switched off for it
  EXPECT_FALSE(gaussian->IsA("vtkOpenGLPointGaussianMapper"));
  int registered = 0;
  vtkObjectFactoryCollection* factories = vtkObjectFactory::GetRegisteredFactories();
  for (factories->InitTraversal(); vtkObjectFactory* factory = factories->GetNextItem();)
    registered += factory->IsA("vtkMLObjectFactory");
  EXPECT_EQ(registered, 1);
  EXPECT_EQ(vtkObject::GetGlobalWarningDisplay(), 0);
  // Without logging support in VTK the cutoff reads as invalid, which is lower still.
  EXPECT_LE(vtkLogger::GetCurrentVerbosityCutoff(), vtkLogger::VERBOSITY_OFF);
}
} // namespace
