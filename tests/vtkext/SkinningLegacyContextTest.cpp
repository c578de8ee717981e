// Runs with MESA_GL_VERSION_OVERRIDE=4.1: a context without shader storage
// buffers.
#include "MessageLog.h"
#include "OffscreenView.h"
#include "vtkMLObjectFactory.h"

#include <vtkActor.h>
#include <vtkOpenGLPolyDataMapper.h>
#include <vtkOpenGLRenderWindow.h>
#include <vtkPolyData.h>

#include <gtest/gtest.h>

using namespace ML::Test;

class LegacyContextSkinning : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { initializeRenderingExtensions(); }

  LegacyContextSkinning() : view(200, 200) { view.lookAlongMinusZ(2.5); }

  Frame renderSkinned(vtkPolyData* mesh, const std::vector<float>& joints, std::string& source)
  {
    auto mapper = vtkSmartPointer<vtkPolyDataMapper>::Take(vtkPolyDataMapper::New());
    VertexSourceProbe probe(mapper);
    auto actor = makeActor(mapper, mesh, false);
    setJointMatrices(actor, joints);
    Frame frame = view.renderOnly(actor);
    source = probe.source();
    return frame;
  }

  Frame renderWithVtkMapper(vtkPolyData* mesh)
  {
    vtkNew<vtkOpenGLPolyDataMapper> mapper;
    return view.renderOnly(makeActor(mapper, mesh, false));
  }

  void expectContextVersion(int expectedMajor, int expectedMinor)
  {
    int major = 0;
    int minor = 0;
    vtkOpenGLRenderWindow::SafeDownCast(view.window())->GetOpenGLVersion(major, minor);
    ASSERT_EQ(major, expectedMajor);
    ASSERT_EQ(minor, expectedMinor);
  }

  OffscreenView view;
};

TEST_F(LegacyContextSkinning, MoreThan250JointsAreReportedAndDrawnUnskinned)
{
  auto strip = makeStrip({true, false, 250});
  MessageLog log;
  std::string source;
  const Frame skinned =
      renderSkinned(strip, jointPalette(251, 250, translationMatrix(0.0f, 1.0f, 0.0f)), source);
  ASSERT_NO_FATAL_FAILURE(expectContextVersion(4, 1));

  EXPECT_EQ(log.count("A mesh is associated with more than 250 bones (251), which requires "
                      "OpenGL >= 4.3"),
            1);
  EXPECT_FALSE(source.find("skinMat") != std::string::npos);
  EXPECT_FALSE(source.find("#version 430") != std::string::npos);
  EXPECT_GT(skinned.litPixels(), 0);
  EXPECT_EQ(skinned.differingPixels(renderWithVtkMapper(strip)), 0);
}

TEST_F(LegacyContextSkinning, UpTo250JointsStillSkinThroughUniforms)
{
  auto strip = makeStrip({true, false, 249});
  const std::vector<float> joints = jointPalette(250, 249, translationMatrix(0.0f, 1.0f, 0.0f));
  MessageLog log;
  std::string source;
  const Frame skinned = renderSkinned(strip, joints, source);

  EXPECT_TRUE(log.lines().isEmpty()) << log.lines().join("\n").toStdString();
  EXPECT_NE(source.find("posMC = skinMat * posMC;"), std::string::npos);
  EXPECT_LE(skinned.differingPixels(renderWithVtkMapper(deformOnCpu(strip, joints))),
            skinned.litPixels() / 100);
}
