// The sample model: a puppet of 13 joints hanging from a control bar, dancing in a
// two-second loop. Its limbs are checked by skinning its points on the CPU the way
// the skinning mapper does on the GPU.

#include "ImporterTestSupport.h"
#include "TestPaths.h"

#include <vtkBoundingBox.h>
#include <vtkDataArray.h>
#include <vtkMapper.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>

#include <assimp/scene.h>

using namespace ML::Test;

namespace
{
const std::string Sample = std::string(ML_BINARY_DIR) + "/samples/marionette.glb";

std::vector<vtkActor*> figureActors(const ImportedModel& model)
{
  std::vector<vtkActor*> actors;
  vtkActorCollection* collection = model.actors("Figure");
  for (int i = 0; collection && i < collection->GetNumberOfItems(); ++i)
  {
    actors.push_back(vtkActor::SafeDownCast(collection->GetItemAsObject(i)));
  }
  return actors;
}

// Bounds of the figure's skinned points in model space.
vtkBoundingBox skinnedBounds(const ImportedModel& model)
{
  vtkBoundingBox box;
  for (vtkActor* actor : figureActors(model))
  {
    auto* polyData = vtkPolyData::SafeDownCast(actor->GetMapper()->GetInputDataObject(0, 0));
    vtkDataArray* joints = polyData->GetPointData()->GetArray("JOINTS_0");
    vtkDataArray* weights = polyData->GetPointData()->GetArray("WEIGHTS_0");
    const std::vector<Matrix> matrices = jointMatrices(actor);
    const Matrix placement = elementsOf(actor->GetUserMatrix());
    for (vtkIdType id = 0; id < polyData->GetNumberOfPoints(); ++id)
    {
      double p[3];
      polyData->GetPoint(id, p);
      std::array<double, 3> skinned{};
      for (int k = 0; k < 4; ++k)
      {
        const auto moved = transformPoint(
            matrices.at(static_cast<int>(joints->GetComponent(id, k))), {p[0], p[1], p[2]});
        for (int i = 0; i < 3; ++i)
        {
          skinned[i] += weights->GetComponent(id, k) * moved[i];
        }
      }
      auto placed = transformPoint(placement, skinned);
      box.AddPoint(placed.data());
    }
  }
  return box;
}

class MarionetteTest : public ::testing::Test
{
protected:
  void SetUp() override { ASSERT_TRUE(this->Model.read()); }
  ImportedModel Model{Sample};
};

TEST_F(MarionetteTest, IsAPuppetOnAControlBar)
{
  for (const char* joint :
       {"Hips", "Spine", "Chest", "Neck", "Head", "UpperArm.L", "LowerArm.L", "UpperArm.R",
        "LowerArm.R", "UpperLeg.L", "LowerLeg.L", "UpperLeg.R", "LowerLeg.R", "ControlBar"})
  {
    EXPECT_NE(this->Model.global(joint), nullptr) << joint;
  }
  EXPECT_EQ(figureActors(this->Model).size(), 4u) << "wood, cloth, eyes and strings";
  EXPECT_EQ(this->Model.actors("Crossbar")->GetNumberOfItems(), 1);
  ASSERT_EQ(this->Model->Scene->mNumAnimations, 1u);
  EXPECT_STREQ(this->Model->Scene->mAnimations[0]->mName.C_Str(), "Dance");
  double range[2];
  this->Model->GetTimeRange(0, range);
  EXPECT_NEAR(range[1], 2, 1e-9);
}

TEST_F(MarionetteTest, StandsUprightInItsBindPose)
{
  for (vtkActor* actor : figureActors(this->Model))
  {
    for (const Matrix& m : jointMatrices(actor))
    {
      EXPECT_TRUE(matrixNear(identity(), m, 1e-5));
    }
  }
  const vtkBoundingBox box = skinnedBounds(this->Model);
  EXPECT_NEAR(box.GetMinPoint()[1], 0, 1e-3) << "feet on the ground";
  EXPECT_NEAR(box.GetMaxPoint()[1], 2.3, 1e-3) << "strings up to the bar";
  EXPECT_LT(box.GetLength(0), 0.8);
}

TEST_F(MarionetteTest, DanceRaisesTheArmsInTurn)
{
  auto elbowHeight = [this](const char* joint)
  { return this->Model.global(joint)->GetElement(1, 3); };
  this->Model.poseAt(0.5);
  const double leftUp = elbowHeight("LowerArm.L"), rightDown = elbowHeight("LowerArm.R");
  this->Model.poseAt(1.5);
  const double leftDown = elbowHeight("LowerArm.L"), rightUp = elbowHeight("LowerArm.R");
  EXPECT_GT(leftUp, leftDown + 0.3);
  EXPECT_GT(rightUp, rightDown + 0.3);
  EXPECT_GT(leftUp, 1.5) << "above the shoulder";
}

TEST_F(MarionetteTest, StaysInOnePieceAboveTheFloorAndLoops)
{
  for (double t = 0; t <= 2; t += 0.125)
  {
    this->Model.poseAt(t);
    const vtkBoundingBox box = skinnedBounds(this->Model);
    EXPECT_GT(box.GetMinPoint()[1], -0.05) << "t = " << t;
    EXPECT_LT(box.GetLength(0), 2.0) << "t = " << t; // arms at most at full reach
    EXPECT_LT(box.GetMaxPoint()[1], 2.5) << "t = " << t;
  }
  this->Model.poseAt(0);
  const std::vector<Matrix> start = jointMatrices(figureActors(this->Model)[0]);
  this->Model.poseAt(2);
  const std::vector<Matrix> end = jointMatrices(figureActors(this->Model)[0]);
  ASSERT_EQ(end.size(), start.size());
  for (std::size_t i = 0; i < end.size(); ++i)
  {
    EXPECT_TRUE(matrixNear(start[i], end[i], 1e-5)) << "joint " << i;
  }
}
} // namespace
