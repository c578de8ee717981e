// The scene tree: rows built from the loaded scenes, and the selection and
// visibility commands that hand tree rows to the render side.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <assimp/scene.h>

#include "AssimpImporter.h"
#include "MessageLog.h"
#include "RenderTasks.h"
#include "SignalTrace.h"
#include "TestPaths.h"
#include "TestScenes.h"
#include "ViewHarness.h"

namespace ML::Test
{
namespace
{
QString shared(const char* name)
{
  return QString::fromStdString(sharedModel(name));
}

aiNode* nodeOf(const QStandardItem* row)
{
  return row->data(Manager::ModelNodeRole).value<aiNode*>();
}

QStandardItem* topRow(ViewHarness& h, int row)
{
  return h.manager.treeModel()->item(row);
}

const aiScene* sceneOf(ViewHarness& h, int model)
{
  return h.item.models.at(static_cast<size_t>(model))->importer->Scene;
}

// Whether every row below `row` (and the row itself) points into the scene of the
// model its index names.
bool rowsPointIntoLiveScenes(ViewHarness& h, const QStandardItem* row)
{
  const int model = row->data(Manager::ModelIndexRole).toInt();
  if (model < 0 || static_cast<size_t>(model) >= h.item.models.size() ||
      !sceneContainsNode(sceneOf(h, model), nodeOf(row)))
  {
    return false;
  }
  for (int i = 0; i < row->rowCount(); ++i)
  {
    if (!rowsPointIntoLiveScenes(h, row->child(i)))
    {
      return false;
    }
  }
  return true;
}

// Runs the queued tasks as the scene graph does: the Manager's notifications and
// GUI work raised inside them wait until the tasks are done.
void runTasksInSync(ViewHarness& h)
{
  {
    Manager::RenderTaskScope scope;
    while (!h.pending.empty())
    {
      VtkItem::RenderTask task = std::move(h.pending.front());
      h.pending.pop_front();
      task(&h.item, h.data);
    }
  }
  QCoreApplication::processEvents();
}

void open(ViewHarness& h, const QStringList& paths)
{
  h.manager.openModels(paths);
  h.runTasks();
  ASSERT_EQ(h.item.models.size(), static_cast<size_t>(paths.size()));
}

class TreeModel : public ::testing::Test
{
protected:
  QTemporaryDir dir;
  ViewHarness h;
};
} // namespace

TEST_F(TreeModel, RowsFollowTheNodeTree)
{
  open(h, {writeTreeScene(dir.path())});
  ASSERT_EQ(h.manager.treeModel()->rowCount(), 1);
  QStandardItem* top = topRow(h, 0);
  EXPECT_EQ(top->text(), "tree.gltf");
  EXPECT_FALSE(top->isCheckable());
  EXPECT_EQ(nodeOf(top), sceneOf(h, 0)->mRootNode);
  EXPECT_EQ(top->data(Manager::ModelIndexRole).toInt(), 0);

  ASSERT_EQ(top->rowCount(), 2);
  QStandardItem* a = top->child(0);
  QStandardItem* b = top->child(1);
  EXPECT_EQ(a->text(), "A[1]");
  EXPECT_EQ(b->text(), "B[0]");
  EXPECT_EQ(a->rowCount(), 0);
  ASSERT_EQ(b->rowCount(), 1);
  QStandardItem* c = b->child(0);
  EXPECT_EQ(c->text(), "C[2]");
  for (QStandardItem* row : {a, b, c})
  {
    EXPECT_TRUE(row->isCheckable()) << row->text().toStdString();
    EXPECT_EQ(row->checkState(), Qt::Checked);
    EXPECT_EQ(row->data(Manager::ModelIndexRole).toInt(), 0);
  }
  EXPECT_EQ(QString(nodeOf(c)->mName.C_Str()), "C");
}

TEST_F(TreeModel, ModelWithoutSceneGetsNoRow)
{
  open(h, {shared("textured_cube.glb")});
  h.item.models.insert(h.item.models.begin(), std::make_unique<ModelEntry>());
  h.manager.state.modelNames.prepend("/m/unread.glb");
  h.manager.clearTreeModel(false);
  SignalTrace trace(h.manager);
  h.manager.fillTreeModel(0);

  ASSERT_EQ(h.manager.treeModel()->rowCount(), 1);
  EXPECT_EQ(topRow(h, 0)->text(), "textured_cube.glb");
  EXPECT_EQ(topRow(h, 0)->data(Manager::ModelIndexRole).toInt(), 1);
  EXPECT_EQ(trace.names, QStringList({"treeModelChanged"}));
}

TEST_F(TreeModel, FillPastTheLastModelOnlyNotifies)
{
  open(h, {shared("textured_cube.glb")});
  SignalTrace trace(h.manager);
  h.manager.fillTreeModel(1);
  EXPECT_EQ(h.manager.treeModel()->rowCount(), 1);
  EXPECT_EQ(trace.names, QStringList({"treeModelChanged"}));
}

TEST_F(TreeModel, AddAppendsOneRowAndKeepsTheOthers)
{
  open(h, {shared("textured_cube.glb"), shared("four_lights.glb")});
  QStandardItem* first = topRow(h, 0);
  QStandardItem* second = topRow(h, 1);
  h.manager.addModelUrl(QUrl::fromLocalFile(shared("arm_two_clips.glb")));
  h.runTasks();

  ASSERT_EQ(h.manager.treeModel()->rowCount(), 3);
  EXPECT_EQ(topRow(h, 0), first);
  EXPECT_EQ(topRow(h, 1), second);
  EXPECT_EQ(topRow(h, 2)->text(), "arm_two_clips.glb");
  EXPECT_EQ(topRow(h, 2)->data(Manager::ModelIndexRole).toInt(), 2);
}

TEST_F(TreeModel, OpensQueuedBackToBackLeaveOnlyLiveRows)
{
  for (bool inSync : {false, true})
  {
    h.manager.openModels({shared("textured_cube.glb")});
    h.manager.openModels({shared("four_lights.glb"), shared("arm_two_clips.glb")});
    inSync ? runTasksInSync(h) : h.runTasks();

    ASSERT_EQ(h.manager.treeModel()->rowCount(), 2) << inSync;
    for (int i = 0; i < 2; ++i)
    {
      EXPECT_TRUE(rowsPointIntoLiveScenes(h, topRow(h, i))) << i << " " << inSync;
    }
  }
}

TEST_F(TreeModel, CloseQueuedAfterAnOpenLeavesNoRows)
{
  h.manager.openModels({shared("textured_cube.glb")});
  h.manager.clearModels();
  h.runTasks();
  EXPECT_TRUE(h.item.models.empty());
  EXPECT_EQ(h.manager.treeModel()->rowCount(), 0);
}

TEST_F(TreeModel, FailedAddKeepsTheRowsOfTheShownModels)
{
  open(h, {shared("textured_cube.glb")});
  h.manager.addModelUrl(QUrl::fromLocalFile(writeBrokenModel(dir.path())));
  h.runTasks();
  ASSERT_EQ(h.manager.treeModel()->rowCount(), 1);
  EXPECT_TRUE(rowsPointIntoLiveScenes(h, topRow(h, 0)));
}

TEST_F(TreeModel, FailedOpenLeavesNoRows)
{
  open(h, {shared("textured_cube.glb")});
  h.manager.openModels({shared("four_lights.glb"), writeBrokenModel(dir.path())});
  h.runTasks();
  EXPECT_EQ(h.manager.treeModel()->rowCount(), 0);
}

TEST_F(TreeModel, SceneContainsOnlyItsOwnNodes)
{
  open(h, {writeTreeScene(dir.path()), shared("textured_cube.glb")});
  const aiScene* tree = sceneOf(h, 0);
  const aiNode* c = tree->mRootNode->mChildren[1]->mChildren[0];
  EXPECT_TRUE(sceneContainsNode(tree, tree->mRootNode));
  EXPECT_TRUE(sceneContainsNode(tree, c));
  EXPECT_FALSE(sceneContainsNode(sceneOf(h, 1), c));
  EXPECT_FALSE(sceneContainsNode(tree, nullptr));
  EXPECT_FALSE(sceneContainsNode(nullptr, c));
}

TEST_F(TreeModel, SelectionBeforeAnyModelDoesNothing)
{
  QStandardItemModel model;
  auto* row = new QStandardItem("row");
  model.appendRow(row);
  MessageLog log;
  h.manager.treeSelChanged(row->index());
  h.manager.checkTreeModel(row->index(), false);
  EXPECT_TRUE(h.pending.empty());
  EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(TreeModel, SelectingNothingClearsTheSelectedNodeAndStillQueues)
{
  open(h, {shared("textured_cube.glb")});
  h.manager.selectedNode = sceneOf(h, 0)->mRootNode;
  h.manager.treeSelChanged(QModelIndex());
  EXPECT_EQ(h.manager.selectedNode, nullptr);
  EXPECT_EQ(h.pending.size(), 1u);
}

TEST_F(TreeModel, SelectingANodeMakesItsModelCurrentSilently)
{
  open(h, {shared("textured_cube.glb"), writeTreeScene(dir.path())});
  SignalTrace trace(h.manager);
  QStandardItem* b = topRow(h, 1)->child(1);
  h.manager.treeSelChanged(b->index());
  EXPECT_EQ(h.manager.selectedNode, nodeOf(b));
  EXPECT_EQ(h.manager.state.currentModel, 1);
  EXPECT_EQ(trace.count("currentModelChanged"), 0);
  EXPECT_EQ(h.pending.size(), 1u);
}

TEST_F(TreeModel, SelectingARowWithoutModelIndexIsRejected)
{
  open(h, {shared("textured_cube.glb")});
  QStandardItem* row = topRow(h, 0);
  row->setData(QVariant(), Manager::ModelIndexRole);
  h.manager.state.currentModel = 3;
  MessageLog log;
  h.manager.treeSelChanged(row->index());
  EXPECT_TRUE(log.contains("Tree model index2 is invalid"));
  EXPECT_EQ(h.manager.selectedNode, nodeOf(row));
  EXPECT_EQ(h.manager.state.currentModel, 3);
  EXPECT_TRUE(h.pending.empty());
}

TEST_F(TreeModel, TickingTheTopRowHandsTheRootNodeOver)
{
  open(h, {shared("textured_cube.glb"), writeTreeScene(dir.path())});
  QStandardItem* top = topRow(h, 1);
  h.manager.checkTreeModel(top->index(), false);
  EXPECT_EQ(h.manager.selectedNode, sceneOf(h, 1)->mRootNode);
  EXPECT_FALSE(h.manager.nodeChecked);
  EXPECT_EQ(Manager::checkedModelIndex, 1);
  EXPECT_EQ(h.pending.size(), 1u);

  QStandardItem* c = top->child(1)->child(0);
  h.manager.checkTreeModel(c->index(), false);
  EXPECT_EQ(c->checkState(), Qt::Checked);
}

TEST_F(TreeModel, TickingRowsWithoutUsableDataIsRejected)
{
  open(h, {shared("textured_cube.glb")});
  const aiNode* root = sceneOf(h, 0)->mRootNode;
  QStandardItemModel model;
  auto addRow = [&](const QVariant& node, const QVariant& index)
  {
    auto* row = new QStandardItem;
    row->setData(node, Manager::ModelNodeRole);
    row->setData(index, Manager::ModelIndexRole);
    model.appendRow(row);
    return row->index();
  };
  const QVariant rootNode = QVariant::fromValue(const_cast<aiNode*>(root));
  const struct
  {
    QModelIndex index;
    const char* message;
  } cases[] = {
      {QModelIndex(), "Tree model index is invalid"},
      {addRow(QVariant(), 0), "Tree model index is invalid"},
      {addRow(QVariant::fromValue(static_cast<aiNode*>(nullptr)), 0), "Tree model data is invalid"},
      {addRow(rootNode, QVariant()), "Tree model index2 is invalid"},
      {addRow(rootNode, -1), "Tree model data importer indexJ is invalid"},
  };
  for (const auto& rejected : cases)
  {
    MessageLog log;
    h.manager.selectedNode = nullptr;
    h.manager.checkTreeModel(rejected.index, true);
    EXPECT_TRUE(log.contains(rejected.message)) << rejected.message;
    EXPECT_EQ(h.manager.selectedNode, nullptr);
    EXPECT_TRUE(h.pending.empty());
  }
}
} // namespace ML::Test
