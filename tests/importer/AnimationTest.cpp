// Skinning data, joint matrices and animation evaluation.
//
// The skinned fixture: Root → Body (mesh "Column": a square tube from y = 0 to y = 3,
// rings at y = 0, 1, 2, 3 weighted Joint0 | Joint0+Joint1 | Joint1+Joint2 | Joint2,
// half and half in the middle rings) and Root → Armature → Joint0 → Joint1 (0, 1, 0)
// → Joint2 (0, 1, 0). Inverse bind matrices translate by 0, -1 and -2 along y.
//
// Animation "Bend", two seconds, keys at 0, 1 and 2 s:
//   Joint0  rotation q = Ry(30°) at 0 s and -q at 2 s: Ry(30°) all along;
//   Joint1  translation (0, 1, 0); rotation identity, Rz(90°), identity;
//   Joint2  translation (0, 1, 0) → (0, 2, 0); rotation identity → Rx(90°);
//           scale 1 → 2 (0 s → 2 s).
// So at 1 s:   Joint1 = T(0, 1, 0) Rz(90°),  Joint2 = T(0, 1.5, 0) Rx(45°) S(1.5);
//    at 0.5 s: Joint1 = T(0, 1, 0) Rz(45°),  Joint2 = T(0, 1.25, 0) Rx(22.5°) S(1.25).
//
// glTF keeps these keys exactly (times in milliseconds). The Assimp-format variant
// has a tick rate of 0, a bone "GhostBone" that follows no node, a channel for a node
// "Ghost" that does not exist, and Joint2 keyed by scale only.

#include "ImporterTestSupport.h"
#include "MessageLog.h"
#include "TestPaths.h"

#include <vtkDataArray.h>
#include <vtkMapper.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkTransform.h>

#include <assimp/anim.h>
#include <assimp/scene.h>

using namespace ML::Test;

namespace
{
constexpr double Tolerance = 1e-5;

Matrix joint1At(double degrees)
{
  return multiply(translate(0, 1, 0), rotate(degrees, 0, 0, 1));
}

Matrix joint2(double y, double degrees, double s)
{
  return multiply(multiply(translate(0, y, 0), rotate(degrees, 1, 0, 0)), scale(s));
}

const Matrix Joint0 = rotate(30, 0, 1, 0);

// Where the GPU puts a vertex: the weighted sum of its joint matrices applied to it.
std::array<double, 3> skinnedPosition(vtkActor* actor, const std::array<double, 3>& point)
{
  auto* polyData = vtkPolyData::SafeDownCast(actor->GetMapper()->GetInputDataObject(0, 0));
  double xyz[3] = {point[0], point[1], point[2]};
  const vtkIdType id = polyData->FindPoint(xyz);
  vtkDataArray* joints = polyData->GetPointData()->GetArray("JOINTS_0");
  vtkDataArray* weights = polyData->GetPointData()->GetArray("WEIGHTS_0");
  const std::vector<Matrix> matrices = jointMatrices(actor);
  std::array<double, 3> result{};
  for (int k = 0; k < 4; ++k)
  {
    const double w = weights->GetComponent(id, k);
    const auto moved =
        transformPoint(matrices.at(static_cast<int>(joints->GetComponent(id, k))), point);
    for (int i = 0; i < 3; ++i)
    {
      result[i] += w * moved[i];
    }
  }
  return result;
}

class BendTest : public ::testing::TestWithParam<const char*>
{
protected:
  void SetUp() override { ASSERT_TRUE(this->Model.read()); }
  ImportedModel Model{fixture(std::string("skinned") + GetParam())};
};

TEST_P(BendTest, TimeRangeIsTheDurationInSeconds)
{
  double range[2] = {-1, -1};
  EXPECT_TRUE(this->Model->GetTimeRange(0, range));
  EXPECT_EQ(range[0], 0);
  EXPECT_NEAR(range[1], 2, 1e-9);
}

TEST_P(BendTest, BindPoseGivesIdentityJointMatrices)
{
  vtkActor* body = this->Model.firstActor("Body");
  ASSERT_NE(body, nullptr);
  const std::vector<Matrix> matrices = jointMatrices(body);
  ASSERT_EQ(matrices.size(), 3u);
  for (const Matrix& m : matrices)
  {
    EXPECT_TRUE(matrixNear(identity(), m, Tolerance));
  }
}

TEST_P(BendTest, KeyTimesGiveTheKeyedPose)
{
  this->Model.poseAt(1);
  EXPECT_TRUE(matrixNear(Joint0, this->Model.local("Joint0"), Tolerance));
  EXPECT_TRUE(matrixNear(joint1At(90), this->Model.local("Joint1"), Tolerance));
  EXPECT_TRUE(matrixNear(joint2(1.5, 45, 1.5), this->Model.local("Joint2"), Tolerance));
  const Matrix global1 = multiply(Joint0, joint1At(90));
  EXPECT_TRUE(matrixNear(global1, this->Model.global("Joint1"), Tolerance));
  EXPECT_TRUE(
      matrixNear(multiply(global1, joint2(1.5, 45, 1.5)), this->Model.global("Joint2"), Tolerance));

  this->Model.poseAt(2);
  EXPECT_TRUE(matrixNear(joint1At(0), this->Model.local("Joint1"), Tolerance));
  EXPECT_TRUE(matrixNear(joint2(2, 90, 2), this->Model.local("Joint2"), Tolerance));
}

TEST_P(BendTest, TimesBetweenKeysInterpolate)
{
  this->Model.poseAt(0.5);
  EXPECT_TRUE(matrixNear(joint1At(45), this->Model.local("Joint1"), Tolerance));
  EXPECT_TRUE(matrixNear(joint2(1.25, 22.5, 1.25), this->Model.local("Joint2"), Tolerance));
  this->Model.poseAt(1.5);
  EXPECT_TRUE(matrixNear(joint1At(45), this->Model.local("Joint1"), Tolerance));
  EXPECT_TRUE(matrixNear(joint2(1.75, 67.5, 1.75), this->Model.local("Joint2"), Tolerance));
}

TEST_P(BendTest, TimesOutsideTheKeysHoldTheEndValues)
{
  this->Model.poseAt(7);
  EXPECT_TRUE(matrixNear(joint2(2, 90, 2), this->Model.local("Joint2"), Tolerance));
  this->Model.poseAt(-3);
  EXPECT_TRUE(matrixNear(joint2(1, 0, 1), this->Model.local("Joint2"), Tolerance));
  EXPECT_TRUE(matrixNear(Joint0, this->Model.local("Joint0"), Tolerance));
}

TEST_P(BendTest, OppositeQuaternionsMeanNoRotationBetweenThem)
{
  for (const double t : {0.25, 0.5, 1.0, 1.75, 2.0})
  {
    this->Model.poseAt(t);
    EXPECT_TRUE(matrixNear(Joint0, this->Model.local("Joint0"), Tolerance)) << "t = " << t;
  }
}

TEST_P(BendTest, JointMatricesMoveVerticesWithTheirBones)
{
  this->Model.poseAt(1);
  vtkActor* body = this->Model.firstActor("Body");
  const std::vector<Matrix> matrices = jointMatrices(body);
  ASSERT_EQ(matrices.size(), 3u);
  // Joint matrix = (mesh node global)^-1 × bone global × inverse bind matrix.
  EXPECT_TRUE(matrixNear(multiply(multiply(Joint0, joint1At(90)), translate(0, -1, 0)), matrices[1],
                         Tolerance));

  // (0.25, 1, 0): half Joint0 (Ry 30° gives (0.2165, 1, -0.125)), half Joint1 (the
  // 90° turn about the joint at y = 1 lifts it to (0, 1.25, 0)).
  const auto p = skinnedPosition(body, {0.25, 1, 0});
  EXPECT_NEAR(p[0], 0.108253, 1e-5);
  EXPECT_NEAR(p[1], 1.125, 1e-5);
  EXPECT_NEAR(p[2], -0.0625, 1e-5);
}

TEST_P(BendTest, ModelTransformPlacesActorsButNotJointMatrices)
{
  this->Model.poseAt(1);
  const std::vector<Matrix> unmoved = jointMatrices(this->Model.firstActor("Body"));
  vtkNew<vtkTransform> model;
  model->Translate(5, 0, 0);
  model->RotateZ(30);
  this->Model->UpdateTimeStep(1, model);

  const Matrix placement = elementsOf(model->GetMatrix());
  EXPECT_TRUE(matrixNear(placement, this->Model.firstActor("Body")->GetUserMatrix(), Tolerance));
  EXPECT_TRUE(matrixNear(multiply(placement, Joint0), this->Model.global("Joint0"), Tolerance));
  const std::vector<Matrix> moved = jointMatrices(this->Model.firstActor("Body"));
  ASSERT_EQ(moved.size(), unmoved.size());
  for (std::size_t i = 0; i < moved.size(); ++i)
  {
    EXPECT_TRUE(matrixNear(unmoved[i], moved[i], Tolerance));
  }
}

TEST_P(BendTest, NoActiveAnimationChangesNothing)
{
  this->Model->ActiveAnimation = -1;
  vtkNew<vtkTransform> model;
  model->Translate(5, 0, 0);
  EXPECT_TRUE(this->Model->UpdateTimeStep(1, model));
  EXPECT_TRUE(matrixNear(identity(), this->Model.firstActor("Body")->GetUserMatrix(), 0));
  EXPECT_TRUE(matrixNear(joint1At(0), this->Model.local("Joint1"), 0));
  EXPECT_TRUE(matrixNear(identity(), jointMatrices(this->Model.firstActor("Body"))[2], Tolerance));
}

TEST_P(BendTest, EmptyKeyListsKeepTheStoredTransform)
{
  this->Model.poseAt(2); // Joint2 = T(0, 2, 0) Rx(90°) S(2)
  // Assimp fills empty key lists while reading, so empty them here to see that
  // evaluation then keeps what the node holds for that kind.
  auto* scene = const_cast<aiScene*>(this->Model->Scene);
  for (unsigned c = 0; c < scene->mAnimations[0]->mNumChannels; ++c)
  {
    aiNodeAnim* channel = scene->mAnimations[0]->mChannels[c];
    if (std::string(channel->mNodeName.C_Str()) == "Joint2")
    {
      channel->mNumPositionKeys = 0;
      channel->mNumRotationKeys = 0;
    }
  }
  this->Model.poseAt(1);
  EXPECT_TRUE(matrixNear(joint2(2, 90, 1.5), this->Model.local("Joint2"), Tolerance));
}

INSTANTIATE_TEST_SUITE_P(Formats, BendTest, ::testing::Values(".glb", ".gltf"));

TEST(Skinning, FormatsWithoutAnimationsKeepTheSkin)
{
  for (const char* extension : {".fbx", ".dae"})
  {
    ImportedModel model(fixture(std::string("skinned") + extension));
    ASSERT_TRUE(model.read()) << extension;
    vtkActor* body = model.firstActor("Body");
    ASSERT_NE(body, nullptr) << extension;
    const std::vector<Matrix> matrices = jointMatrices(body);
    ASSERT_EQ(matrices.size(), 3u) << extension;
    for (const Matrix& m : matrices)
    {
      EXPECT_TRUE(matrixNear(identity(), m, Tolerance)) << extension;
    }
  }
}

class OddBendTest : public ::testing::Test
{
protected:
  void SetUp() override { ASSERT_TRUE(this->Model.read()); }
  MessageLog Log;
  ImportedModel Model{fixture("skinned_odd.assbin")};
};

TEST_F(OddBendTest, ZeroTickRateCountsSecondsAsTicks)
{
  ASSERT_EQ(this->Model->Scene->mAnimations[0]->mTicksPerSecond, 0);
  double range[2];
  this->Model->GetTimeRange(0, range);
  EXPECT_EQ(range[1], 2);
  this->Model.poseAt(0.5);
  EXPECT_TRUE(matrixNear(joint1At(45), this->Model.local("Joint1"), Tolerance));
}

TEST_F(OddBendTest, ScaleOnlyChannelKeepsTranslationAndRotation)
{
  this->Model.poseAt(1);
  EXPECT_TRUE(matrixNear(joint2(1, 0, 1.5), this->Model.local("Joint2"), Tolerance));
}

TEST_F(OddBendTest, ChannelOfAMissingNodeChangesNothing)
{
  this->Model.poseAt(1);
  EXPECT_EQ(this->Model.local("Ghost"), nullptr);
  EXPECT_EQ(this->Model->NodeLocalMatrices.count("Ghost"), 0u);
}

TEST_F(OddBendTest, BoneWithoutANodeIsReportedAtEveryUpdate)
{
  const QString message = "Cannot find global matrix of bone  \"GhostBone\"";
  EXPECT_EQ(this->Log.lines().count(message), 1) << this->Log.lines().join("\n").toStdString();
  this->Model.poseAt(0.5);
  this->Model.poseAt(1);
  EXPECT_EQ(this->Log.lines().count(message), 3);
  EXPECT_EQ(this->Model->NodeGlobalMatrices.count("GhostBone"), 0u);

  const std::vector<Matrix> matrices = jointMatrices(this->Model.firstActor("Body"));
  ASSERT_EQ(matrices.size(), 4u);
  // Without a global matrix: (mesh node global)^-1 × inverse bind matrix.
  EXPECT_TRUE(matrixNear(identity(), matrices[3], Tolerance));
  EXPECT_FALSE(matrixNear(identity(), matrices[1], Tolerance));
}

TEST(SharedModels, ArmHasTwoClipsInGltfAndFourInFbx)
{
  for (const auto& [name, clips] : {std::pair<const char*, unsigned>{"arm_two_clips.glb", 2},
                                    {"arm_two_clips.gltf", 2},
                                    {"arm_two_clips.fbx", 4}})
  {
    ImportedModel model(sharedModel(name));
    ASSERT_TRUE(model.read()) << name;
    ASSERT_EQ(model->Scene->mNumAnimations, clips) << name;
    vtkActor* arm = model.firstActor("Arm");
    ASSERT_NE(arm, nullptr) << name;
    ASSERT_EQ(jointMatrices(arm).size(), 3u) << name;
    for (const Matrix& m : jointMatrices(arm))
    {
      EXPECT_TRUE(matrixNear(identity(), m, 1e-4)) << name;
    }
    for (unsigned clip = 0; clip < clips; ++clip)
    {
      double range[2];
      model->GetTimeRange(clip, range);
      EXPECT_NEAR(range[1], 2.04, 0.05) << name << " clip " << clip;
      model->ActiveAnimation = clip;
      model.poseAt(range[1] / 4);
      EXPECT_FALSE(matrixNear(identity(), jointMatrices(arm)[2], 1e-2)) << name << " clip " << clip;
    }
  }
}

TEST(SharedModels, ArmColladaHasTheSkinWithoutAnimations)
{
  ImportedModel model(sharedModel("arm_two_clips.dae"));
  ASSERT_TRUE(model.read());
  EXPECT_EQ(model->Scene->mNumAnimations, 0u);
  ASSERT_EQ(model->Meshes.size(), 1u);
  EXPECT_NE(model->Meshes[0]->GetPointData()->GetArray("JOINTS_0"), nullptr);
  EXPECT_EQ(jointMatrices(model.firstActor("Arm")).size(), 3u);
}

TEST(SharedModels, ChainOfThreeHundredBones)
{
  ImportedModel model(sharedModel("chain_300_bones.glb"));
  ASSERT_TRUE(model.read());
  vtkActor* chain = model.firstActor("Chain");
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(jointMatrices(chain).size(), 300u);
  double range[2];
  model->GetTimeRange(0, range);
  model.poseAt(range[1] / 2);
  const std::vector<Matrix> posed = jointMatrices(chain);
  ASSERT_EQ(posed.size(), 300u);
  EXPECT_FALSE(matrixNear(identity(), posed[299], 1e-3));
}
} // namespace
