// Node tables, actors and their placement, on the static fixture scene:
//
//   Root
//   ├── Left   T(-2, 0, 0)          cube    (material Red)
//   ├── Right  T(2, 0, 0) Rz(90°)   cube    (shared with Left)
//   ├── Group  T(0, 3, 0)           no mesh
//   │   └── Twin  S(2)              pyramid (material Blue)
//   └── Twin   T(0, -3, 0)          pyramid (shared, and the name repeats)
//
// glTF and Collada readers rename the second "Twin"; the ASCII FBX reader keeps both
// names and calls the root "RootNode".

#include "ImporterTestSupport.h"
#include "MessageLog.h"
#include "TestPaths.h"

#include <vtkMapper.h>
#include <vtkPolyData.h>
#include <vtkProperty.h>
#include <vtkTransform.h>

#include <assimp/scene.h>

using namespace ML::Test;

namespace
{
vtkPolyData* inputOf(vtkActor* actor)
{
  return vtkPolyData::SafeDownCast(actor->GetMapper()->GetInputDataObject(0, 0));
}

class StaticSceneTest : public ::testing::TestWithParam<const char*>
{
protected:
  std::string path() const { return fixture(std::string("static_nodes") + GetParam()); }
};

TEST_P(StaticSceneTest, EveryNodeHasEntriesAndEveryMeshReferenceAnActor)
{
  ImportedModel model(path());
  ASSERT_TRUE(model.read());
  const std::string root = model->Scene->mRootNode->mName.C_Str();
  for (const std::string& name :
       {root, std::string("Left"), std::string("Right"), std::string("Group"), std::string("Twin")})
  {
    ASSERT_NE(model.actors(name), nullptr) << name;
    EXPECT_NE(model.local(name), nullptr) << name;
    EXPECT_NE(model.global(name), nullptr) << name;
  }
  EXPECT_EQ(model.actors(root)->GetNumberOfItems(), 0);
  EXPECT_EQ(model.actors("Group")->GetNumberOfItems(), 0);
  EXPECT_EQ(model.actors("Left")->GetNumberOfItems(), 1);
  EXPECT_EQ(model.actorCount(), 4);
  EXPECT_EQ(model->Meshes.size(), model->Scene->mNumMeshes);
  EXPECT_EQ(model->Properties.size(), model->Scene->mNumMaterials);
}

TEST_P(StaticSceneTest, ActorsShareMeshAndMaterialButNotPlacement)
{
  ImportedModel model(path());
  ASSERT_TRUE(model.read());
  vtkActor* left = model.firstActor("Left");
  vtkActor* right = model.firstActor("Right");
  ASSERT_TRUE(left && right);
  EXPECT_EQ(inputOf(left), inputOf(right));
  EXPECT_EQ(left->GetProperty(), right->GetProperty());
  const aiNode* leftNode = model->Scene->mRootNode->FindNode("Left");
  const unsigned material = model->Scene->mMeshes[leftNode->mMeshes[0]]->mMaterialIndex;
  EXPECT_EQ(left->GetProperty(), model->Properties[material].Get());

  EXPECT_EQ(left->GetUserMatrix(), model.global("Left"));
  EXPECT_EQ(right->GetUserMatrix(), model.global("Right"));
  EXPECT_TRUE(matrixNear(translate(-2, 0, 0), model.global("Left"), 1e-6));
  EXPECT_TRUE(
      matrixNear(multiply(translate(2, 0, 0), rotate(90, 0, 0, 1)), model.global("Right"), 1e-6));
  // The first "Twin" in pre-order is the one under Group.
  EXPECT_TRUE(matrixNear(multiply(translate(0, 3, 0), scale(2)), model.global("Twin"), 1e-6));
  EXPECT_TRUE(matrixNear(scale(2), model.local("Twin"), 1e-6));
}

TEST_P(StaticSceneTest, ModelTransformIsTheParentOfTheRoot)
{
  ImportedModel model(path());
  ASSERT_TRUE(model.read());
  vtkMatrix4x4* importedLeft = model.global("Left");
  vtkNew<vtkMatrix4x4> shift;
  shift->SetElement(2, 3, 10);
  model->UpdateNodeTransforms(model->Scene->mRootNode, shift);

  EXPECT_NE(model.global("Left"), importedLeft) << "global matrices are replaced, not edited";
  EXPECT_TRUE(matrixNear(translate(-2, 0, 10), model.global("Left"), 1e-6));
  EXPECT_EQ(model.firstActor("Left")->GetUserMatrix(), model.global("Left"));
  EXPECT_TRUE(matrixNear(translate(-2, 0, 0), model.local("Left"), 1e-6));
}

INSTANTIATE_TEST_SUITE_P(Formats, StaticSceneTest,
                         ::testing::Values(".glb", ".gltf", ".fbx", ".dae"));

TEST(SceneGraph, FirstNodeOfARepeatedNameOwnsTheEntries)
{
  ImportedModel model(fixture("static_nodes.fbx"));
  ASSERT_TRUE(model.read());
  const aiNode* root = model->Scene->mRootNode;
  ASSERT_EQ(std::string(root->mChildren[3]->mName.C_Str()), "Twin") << "FBX keeps the name";
  EXPECT_EQ(model.actorCount(), 4) << "the second Twin's actor is in the renderer";
  EXPECT_EQ(model.actors("Twin")->GetNumberOfItems(), 1);
  vtkActor* firstTwin = model.firstActor("Twin");
  EXPECT_TRUE(matrixNear(multiply(translate(0, 3, 0), scale(2)), firstTwin->GetUserMatrix(), 1e-6));

  // Both Twins recompute the shared entry from the first one's local matrix; the
  // last one in pre-order (directly under the root) decides.
  vtkNew<vtkMatrix4x4> identityMatrix;
  model->UpdateNodeTransforms(root, identityMatrix);
  EXPECT_TRUE(matrixNear(scale(2), model.global("Twin"), 1e-6));
  EXPECT_TRUE(matrixNear(scale(2), firstTwin->GetUserMatrix(), 1e-6));
}

TEST(SceneGraph, WalkIsReportedNodeByNode)
{
  MessageLog log;
  ImportedModel model(fixture("static_nodes.glb"));
  ASSERT_TRUE(model.read());
  const QStringList lines = log.lines();
  const int start = lines.indexOf("Scene Graph:\n------------\n");
  ASSERT_GE(start, 0) << lines.join("|").toStdString();
  const QStringList expected = {"\"Root\"",
                                "\"Left\"",
                                "Number of points: ",
                                "\"24\"",
                                "Number of cells: ",
                                "\"12\"",
                                "\"Right\"",
                                "Number of points: ",
                                "\"24\"",
                                "Number of cells: ",
                                "\"12\"",
                                "\"Group\"",
                                "\"Twin\"",
                                "Number of points: ",
                                "\"12\"",
                                "Number of cells: ",
                                "\"4\"",
                                "\"Twin_node\"",
                                "Number of points: ",
                                "\"12\"",
                                "Number of cells: ",
                                "\"4\""};
  EXPECT_EQ(lines.mid(start + 1, expected.size()), expected);
}

TEST(SceneGraph, NodesNamedLikeLightsReportTheirFirstRow)
{
  MessageLog log;
  ImportedModel model(fixture("lights.dae"));
  ASSERT_TRUE(model.read());
  const QStringList lines = log.lines();
  auto lineAfter = [&](const char* text) { return lines.value(lines.indexOf(text) + 1); };
  EXPECT_EQ(lineAfter("\"KeyLight\""), "1 0 0 2");
  EXPECT_EQ(lineAfter("\"FillLight\""), "1 0 0 -2");
  EXPECT_EQ(lineAfter("\"BackLight\""), "1 0 0 0");
  EXPECT_EQ(lineAfter("\"Stage\""), "Number of points: ");
}

TEST(SceneGraph, NothingIsImportedBeforeASuccessfulRead)
{
  auto importer = vtkSmartPointer<AssimpImporter>::New();
  EXPECT_EQ(importer->Scene, nullptr);
  EXPECT_EQ(importer->ActiveAnimation, 0);
  vtkNew<vtkRenderer> renderer;
  importer->ImportActors(renderer);
  EXPECT_EQ(renderer->GetActors()->GetNumberOfItems(), 0);
  EXPECT_TRUE(importer->NodeActors.empty());
  EXPECT_TRUE(importer->NodeGlobalMatrices.empty());
}

TEST(SceneGraph, MatrixConversionKeepsElementPositions)
{
  vtkNew<vtkMatrix4x4> original;
  for (int i = 0; i < 16; ++i)
  {
    original->SetElement(i / 4, i % 4, 0.1 * (i + 1) + 1e-9);
  }
  aiMatrix4x4 assimp;
  AssimpImporter::ToAssimpMatrix(original, assimp);
  EXPECT_FLOAT_EQ(assimp.a4, 0.4f);
  EXPECT_FLOAT_EQ(assimp.d1, 1.3f);

  vtkNew<vtkMatrix4x4> back;
  const vtkMTimeType before = back->GetMTime();
  AssimpImporter::ToVTKMatrix(assimp, back);
  EXPECT_GT(back->GetMTime(), before);
  for (int i = 0; i < 16; ++i)
  {
    EXPECT_EQ(back->GetElement(i / 4, i % 4),
              static_cast<double>(static_cast<float>(original->GetElement(i / 4, i % 4))));
  }
}
} // namespace
