// The scene tree: one top row per loaded model, below it the model's node tree.
// Rows carry the Assimp node and the model index for the selection and
// visibility tasks.
#include "Manager.h"

#include <QDebug>
#include <QFileInfo>

#include <assimp/scene.h>

#include <algorithm>
#include <memory>

#include "AssimpImporter.h"
#include "LoadTasks.h"
#include "PlaybackTasks.h"
#include "SelectionTasks.h"
#include "VtkItem.h"

namespace ML
{
namespace
{
void appendNodeRows(QStandardItem* parent, aiNode* node, int modelIndex);

void setNodeData(QStandardItem* row, aiNode* node, int modelIndex)
{
  row->setData(QVariant::fromValue(node), Manager::ModelNodeRole);
  row->setData(modelIndex, Manager::ModelIndexRole);
}

QStandardItem* makeNodeRow(aiNode* node, int modelIndex)
{
  auto* row = new QStandardItem(QString::fromUtf8(node->mName.C_Str()) + QLatin1Char('[') +
                                QString::number(node->mNumMeshes) + QLatin1Char(']'));
  setNodeData(row, node, modelIndex);
  row->setCheckable(true);
  row->setCheckState(Qt::Checked);
  appendNodeRows(row, node, modelIndex);
  return row;
}

void appendNodeRows(QStandardItem* parent, aiNode* node, int modelIndex)
{
  for (unsigned i = 0; i < node->mNumChildren; ++i)
  {
    if (node->mChildren[i])
    {
      parent->appendRow(makeNodeRow(node->mChildren[i], modelIndex));
    }
  }
}

QStandardItem* makeModelRow(const QString& path, aiNode* root, int modelIndex)
{
  auto* row = new QStandardItem(QFileInfo(path).fileName());
  row->setCheckable(false);
  setNodeData(row, root, modelIndex);
  appendNodeRows(row, root, modelIndex);
  return row;
}

// Rows built on the render thread wait here until the GUI thread takes them;
// rows that never get there (the Manager went away first) are freed with it.
struct DetachedRows
{
  QList<QStandardItem*> rows;
  ~DetachedRows() { qDeleteAll(rows); }
};
} // namespace

// Runs inside the load tasks. Detached items belong to no model, so building
// them off the GUI thread is safe; only appending them must happen there.
void Manager::fillTreeModel(int firstModelIndex)
{
  if (!vtkItem || vtkItem->models.empty())
  {
    return;
  }
  auto built = std::make_shared<DetachedRows>();
  const int count = static_cast<int>(vtkItem->models.size());
  for (int i = std::max(firstModelIndex, 0); i < count; ++i)
  {
    const aiScene* scene = vtkItem->models[static_cast<size_t>(i)]->importer->Scene;
    if (!scene || !scene->mRootNode)
    {
      continue;
    }
    const QString path = i < state.modelNames.size() ? state.modelNames.at(i) : QString();
    built->rows.append(makeModelRow(path, scene->mRootNode, i));
  }
  runOnGuiThread(
      [this, built]
      {
        if (m_treeModel)
        {
          for (QStandardItem* row : built->rows)
          {
            m_treeModel->invisibleRootItem()->appendRow(row);
          }
          built->rows.clear();
        }
        emit treeModelChanged();
      });
}

// Also called from the render thread (tear-down and load tasks), hence the hop.
void Manager::clearTreeModel(bool notify)
{
  runOnGuiThread(
      [this, notify]
      {
        if (m_treeModel)
        {
          m_treeModel->removeRows(0, m_treeModel->rowCount());
        }
        if (notify)
        {
          emit treeModelChanged();
          emit modelNamesChanged();
        }
      });
}

void Manager::treeSelChanged(const QModelIndex& idx)
{
  if (vtkItem->models.empty())
  {
    return;
  }
  selectedNode = idx.isValid() ? idx.data(ModelNodeRole).value<aiNode*>() : nullptr;
  if (selectedNode)
  {
    const QVariant modelIndex = idx.data(ModelIndexRole);
    if (!modelIndex.isValid() || modelIndex.toInt() < 0)
    {
      qDebug() << "Tree model index2 is invalid";
      return;
    }
    state.currentModel = modelIndex.toInt();
  }
  const TreeRow row{selectedNode, state.currentModel};
  vtkItem->run([row](VtkItem* item, VtkItem::Data* data) { treeSelChangedTask(item, data, row); });
}

void Manager::checkTreeModel(const QModelIndex& idx, bool checked)
{
  if (vtkItem->models.empty())
  {
    return;
  }
  const QVariant node = idx.data(ModelNodeRole);
  if (!idx.isValid() || !node.isValid())
  {
    qDebug() << "Tree model index is invalid";
    return;
  }
  if (!node.value<aiNode*>())
  {
    qDebug() << "Tree model data is invalid";
    return;
  }
  const QVariant modelIndex = idx.data(ModelIndexRole);
  if (!modelIndex.isValid())
  {
    qDebug() << "Tree model index2 is invalid";
    return;
  }
  if (modelIndex.toInt() < 0)
  {
    qDebug() << "Tree model data importer indexJ is invalid";
    return;
  }
  selectedNode = node.value<aiNode*>();
  const TreeRow row{selectedNode, modelIndex.toInt()};
  vtkItem->run([row, checked](VtkItem* item, VtkItem::Data* data)
               { checkTreeModelTask(item, data, row, checked); });
}
} // namespace ML
