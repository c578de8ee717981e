// Runs without initializeRenderingExtensions(): VTK's own mapper comes out of
// vtkPolyDataMapper::New() and ignores the skinning inputs.
#include "OffscreenView.h"
#include "vtkMLPolyDataMapper.h"

#include <vtkActor.h>
#include <vtkOpenGLPolyDataMapper.h>
#include <vtkPolyData.h>

#include <gtest/gtest.h>

using namespace ML::Test;

TEST(WithoutSetup, PolyDataMapperIsVtksOwn)
{
  auto mapper = vtkSmartPointer<vtkPolyDataMapper>::Take(vtkPolyDataMapper::New());
  EXPECT_STREQ(mapper->GetClassName(), "vtkOpenGLPolyDataMapper");
}

TEST(WithoutSetup, SkinnedMeshIsDrawnUndeformed)
{
  OffscreenView view(200, 200);
  view.lookAlongMinusZ(2.5);
  auto strip = makeStrip({});
  const std::vector<float> joints = jointPalette(2, 1, translationMatrix(0.0f, 1.0f, 0.0f));

  auto plainMapper = vtkSmartPointer<vtkPolyDataMapper>::Take(vtkPolyDataMapper::New());
  auto posed = makeActor(plainMapper, strip, false);
  setJointMatrices(posed, joints);
  const Frame drawn = view.renderOnly(posed);

  vtkNew<vtkOpenGLPolyDataMapper> restMapper;
  const Frame rest = view.renderOnly(makeActor(restMapper, strip, false));
  EXPECT_GT(rest.litPixels(), 0);
  EXPECT_EQ(drawn.differingPixels(rest), 0);

  // The same pose does deform the mesh once the skinning mapper draws it.
  vtkNew<vtkMLPolyDataMapper> skinningMapper;
  auto skinned = makeActor(skinningMapper, strip, false);
  setJointMatrices(skinned, joints);
  EXPECT_GT(view.renderOnly(skinned).differingPixels(rest), rest.litPixels() / 4);
}
