#include "OffscreenView.h"
#include "vtkMLObjectFactory.h"

#include <vtkActor.h>
#include <vtkOpenGLPolyDataMapper.h>
#include <vtkPolyData.h>
#include <vtkShaderProperty.h>
#include <vtkUniforms.h>

#include <gtest/gtest.h>

using namespace ML::Test;

namespace
{
constexpr int Size = 200;
// A parallel scale of 2.5 on 200 pixels: 40 pixels to a unit, origin at 100.
constexpr int PixelsPerUnit = 40;

int column(double x)
{
  return Size / 2 + static_cast<int>(x * PixelsPerUnit);
}

bool contains(const std::string& text, const std::string& part)
{
  return text.find(part) != std::string::npos;
}

bool hasJointMatricesUniform(vtkActor* actor)
{
  return actor->GetShaderProperty()->GetVertexCustomUniforms()->GetUniformTupleType(
             "jointMatrices") != vtkUniforms::TupleTypeInvalid;
}
} // namespace

// Meshes drawn through vtkPolyDataMapper::New() after the start-up set-up, and
// compared with what VTK's own mapper draws for the same (or CPU-deformed) mesh.
class Skinning : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { initializeRenderingExtensions(); }

  Skinning() : view(Size, Size) { view.lookAlongMinusZ(2.5); }

  static vtkSmartPointer<vtkPolyDataMapper> skinningMapper()
  {
    return vtkSmartPointer<vtkPolyDataMapper>::Take(vtkPolyDataMapper::New());
  }

  Frame renderSkinned(vtkPolyData* mesh, const std::vector<float>& joints, bool lighting,
                      std::string* vertexSource)
  {
    auto mapper = skinningMapper();
    VertexSourceProbe probe(mapper);
    auto actor = makeActor(mapper, mesh, lighting);
    setJointMatrices(actor, joints);
    Frame frame = view.renderOnly(actor);
    lastActor = actor;
    if (vertexSource)
    {
      *vertexSource = probe.source();
    }
    return frame;
  }

  Frame renderWithVtkMapper(vtkPolyData* mesh, bool lighting)
  {
    vtkNew<vtkOpenGLPolyDataMapper> mapper;
    return view.renderOnly(makeActor(mapper, mesh, lighting));
  }

  OffscreenView view;
  vtkSmartPointer<vtkActor> lastActor;
};

TEST_F(Skinning, TranslatedJointMovesItsVerticesWhereTheCpuBlendPutsThem)
{
  auto strip = makeStrip({});
  const std::vector<float> joints = jointPalette(2, 1, translationMatrix(0.0f, 1.0f, 0.0f));

  std::string source;
  const Frame skinned = renderSkinned(strip, joints, false, &source);
  const Frame expected = renderWithVtkMapper(deformOnCpu(strip, joints), false);
  const Frame rest = renderWithVtkMapper(strip, false);
  skinned.saveIfRequested("skinned-translated");
  rest.saveIfRequested("skinned-rest");

  EXPECT_TRUE(contains(source, "mat4 skinMat = weights.x * jointMatrices[int(joints.x)]"));
  EXPECT_LE(skinned.differingPixels(expected), skinned.litPixels() / 100);
  // Joint 1 alone moves the right end up by one unit, the middle blends half of it
  // and the left end stays.
  EXPECT_EQ(skinned.topLitRow(column(1.5)), rest.topLitRow(column(1.5)) + PixelsPerUnit);
  EXPECT_EQ(skinned.topLitRow(column(0.0)), rest.topLitRow(column(0.0)) + PixelsPerUnit / 2);
  EXPECT_EQ(skinned.topLitRow(column(-1.5)), rest.topLitRow(column(-1.5)));
}

TEST_F(Skinning, IdentityMatricesLeaveTheMeshInPlace)
{
  auto strip = makeStrip({});
  const Frame skinned = renderSkinned(strip, jointPalette(2, 1, identityMatrix()), false, nullptr);
  const Frame rest = renderWithVtkMapper(strip, false);
  EXPECT_GT(rest.litPixels(), 0);
  EXPECT_EQ(skinned.differingPixels(rest), 0);
}

TEST_F(Skinning, NormalsFollowTheJointWhenLit)
{
  auto strip = makeStrip({true, true, 1});
  const std::vector<float> joints = jointPalette(2, 1, rotationAboutY(60.0));

  std::string source;
  const Frame skinned = renderSkinned(strip, joints, true, &source);
  const Frame expected = renderWithVtkMapper(deformOnCpu(strip, joints), true);
  skinned.saveIfRequested("skinned-rotated-lit");

  EXPECT_TRUE(contains(source, "normalVCVSOutput = mat3(skinMat) * normalVCVSOutput;"));
  EXPECT_TRUE(contains(source, "vertexVCVSOutput = MCVCMatrix * posMC;"));
  EXPECT_LE(skinned.differingPixels(expected, 2), skinned.litPixels() / 100);
  // Under the headlight the part turned by 60 degrees gets half the light, the
  // part that stays faces it fully.
  EXPECT_NEAR(skinned.brightness(column(0.75), Size / 2), 128, 3);
  EXPECT_EQ(skinned.brightness(column(-1.5), Size / 2), 255);
}

TEST_F(Skinning, NormalsWithoutLightingGenerateNoNormalCode)
{
  auto strip = makeStrip({true, true, 1});
  const std::vector<float> joints = jointPalette(2, 1, translationMatrix(0.0f, 1.0f, 0.0f));

  std::string source;
  const Frame skinned = renderSkinned(strip, joints, false, &source);
  EXPECT_TRUE(contains(source, "posMC = skinMat * posMC;"));
  EXPECT_FALSE(contains(source, "normalVCVSOutput"));
  EXPECT_FALSE(contains(source, "vertexVCVSOutput"));
  EXPECT_LE(skinned.differingPixels(renderWithVtkMapper(deformOnCpu(strip, joints), false)),
            skinned.litPixels() / 100);
}

TEST_F(Skinning, LitMeshWithNormalsButNoLightStillDraws)
{
  view.renderer()->AutomaticLightCreationOff();
  auto strip = makeStrip({true, true, 1});
  const std::vector<float> joints = jointPalette(2, 1, translationMatrix(0.0f, 1.0f, 0.0f));

  std::string source;
  const Frame skinned = renderSkinned(strip, joints, true, &source);
  EXPECT_TRUE(contains(source, "posMC = skinMat * posMC;"));
  EXPECT_FALSE(contains(source, "normalVCVSOutput"));
  EXPECT_GT(skinned.litPixels(), 0);
  EXPECT_LE(skinned.differingPixels(renderWithVtkMapper(deformOnCpu(strip, joints), true)),
            skinned.litPixels() / 100);
}

TEST_F(Skinning, StorageBufferPathDrawsTheSamePoseAsTheUniformPath)
{
  const Matrix pose = translationMatrix(0.5f, -0.75f, 0.0f);
  std::string uniformSource;
  const Frame throughUniforms =
      renderSkinned(makeStrip({}), jointPalette(2, 1, pose), false, &uniformSource);

  std::string storageSource;
  const Frame throughStorage = renderSkinned(makeStrip({true, false, 250}),
                                             jointPalette(251, 250, pose), false, &storageSource);
  throughStorage.saveIfRequested("skinned-storage-buffer");

  EXPECT_FALSE(contains(uniformSource, "#version 430"));
  EXPECT_EQ(storageSource.rfind("#version 430", 0), 0u) << storageSource.substr(0, 200);
  EXPECT_TRUE(contains(storageSource, "layout(std430, binding = 0) readonly buffer JointsData"));
  EXPECT_FALSE(contains(storageSource, "uniform mat4 jointMatrices"));
  EXPECT_FALSE(hasJointMatricesUniform(lastActor));

  EXPECT_GT(throughStorage.litPixels(), 0);
  EXPECT_EQ(throughStorage.differingPixels(throughUniforms), 0);
  EXPECT_GT(throughStorage.differingPixels(renderWithVtkMapper(makeStrip({}), false)), 0);
}

TEST_F(Skinning, ExactlyTwoHundredFiftyJointsStayOnTheUniformPath)
{
  auto strip = makeStrip({true, false, 249});
  const std::vector<float> joints = jointPalette(250, 249, translationMatrix(0.0f, 1.0f, 0.0f));

  std::string source;
  const Frame skinned = renderSkinned(strip, joints, false, &source);

  EXPECT_FALSE(contains(source, "#version 430"));
  EXPECT_FALSE(contains(source, "JointsData"));
  EXPECT_TRUE(contains(source, "uniform mat4 jointMatrices[250];"));
  EXPECT_TRUE(hasJointMatricesUniform(lastActor));
  EXPECT_LE(skinned.differingPixels(renderWithVtkMapper(deformOnCpu(strip, joints), false)),
            skinned.litPixels() / 100);
}

TEST_F(Skinning, NewPoseOnTheUniformPathReachesTheNextFrame)
{
  auto strip = makeStrip({});
  auto mapper = skinningMapper();
  auto actor = makeActor(mapper, strip, false);
  setJointMatrices(actor, jointPalette(2, 1, identityMatrix()));
  const Frame rest = view.renderOnly(actor);

  const std::vector<float> raised = jointPalette(2, 1, translationMatrix(0.0f, 1.0f, 0.0f));
  setJointMatrices(actor, raised);
  const Frame moved = view.render();
  EXPECT_EQ(moved.topLitRow(column(1.5)), rest.topLitRow(column(1.5)) + PixelsPerUnit);
}

TEST_F(Skinning, MeshWithoutSkinningInputsRendersAsVtkDrawsIt)
{
  auto sphere = makeSphere(24, 48);
  for (bool lighting : {true, false})
  {
    auto mapper = skinningMapper();
    VertexSourceProbe probe(mapper);
    const Frame ours = view.renderOnly(makeActor(mapper, sphere, lighting));
    const Frame vtks = renderWithVtkMapper(sphere, lighting);
    ours.saveIfRequested(lighting ? "sphere-lit" : "sphere-unlit");

    EXPECT_GT(ours.litPixels(), 0);
    EXPECT_EQ(ours.differingPixels(vtks), 0) << "lighting " << lighting;
    const std::string& source = probe.source();
    EXPECT_TRUE(contains(source, "  vec4 posMC = vertexMC;\n"));
    EXPECT_TRUE(contains(source, "  gl_Position = MCDCMatrix * posMC;\n"));
    EXPECT_EQ(contains(source, "  vertexVCVSOutput = MCVCMatrix * posMC;\n"), lighting);
    EXPECT_FALSE(contains(source, "skinMat"));
    EXPECT_FALSE(contains(source, "in vec4 joints;"));
  }
}
