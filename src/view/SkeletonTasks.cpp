// The skeleton overlay: the joints of every loaded model as dots and the bones
// between them as lines, drawn over the surfaces by a renderer of its own.
#include <vtkCallbackCommand.h>
#include <vtkCamera.h>
#include <vtkCellArray.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkTextProperty.h>

#include <assimp/scene.h>

#include <map>
#include <set>
#include <string>

#include "AssimpImporter.h"
#include "Manager.h"
#include "SelectionTasks.h"
#include "SkeletonTasks.h"

namespace ML
{
namespace
{
// The nodes a model's skin follows; for a file without skin (an animation-only
// file) the nodes its clips move.
std::map<std::string, const aiNode*> jointsOf(const aiScene& scene)
{
  std::map<std::string, const aiNode*> joints;
  const auto add = [&](const aiString& name)
  {
    if (const aiNode* node = scene.mRootNode->FindNode(name))
    {
      joints.emplace(name.C_Str(), node);
    }
  };
  for (unsigned m = 0; m < scene.mNumMeshes; ++m)
  {
    for (unsigned b = 0; b < scene.mMeshes[m]->mNumBones; ++b)
    {
      add(scene.mMeshes[m]->mBones[b]->mName);
    }
  }
  for (unsigned a = 0; joints.empty() && a < scene.mNumAnimations; ++a)
  {
    for (unsigned c = 0; c < scene.mAnimations[a]->mNumChannels; ++c)
    {
      add(scene.mAnimations[a]->mChannels[c]->mNodeName);
    }
  }
  return joints;
}

bool hiddenByTree(const aiNode* node, const std::set<const aiNode*>& hidden)
{
  for (; node; node = node->mParent)
  {
    if (hidden.count(node))
    {
      return true;
    }
  }
  return false;
}

// A dot at each joint where its global matrix puts it, and a line to the nearest
// ancestor that is a joint too; joints the tree hides are left out.
void addSkeleton(const ModelEntry& entry, vtkPoints* points, vtkCellArray* dots,
                 vtkCellArray* bones)
{
  const AssimpImporter& importer = *entry.importer;
  const std::map<std::string, const aiNode*> joints = jointsOf(*importer.Scene);
  std::map<std::string, vtkIdType> ids;
  for (const auto& [name, node] : joints)
  {
    if (hiddenByTree(node, entry.hiddenNodes))
    {
      continue;
    }
    const auto global = importer.NodeGlobalMatrices.find(name);
    if (global == importer.NodeGlobalMatrices.end() || !global->second)
    {
      continue;
    }
    const vtkMatrix4x4* m = global->second;
    ids[name] =
        points->InsertNextPoint(m->GetElement(0, 3), m->GetElement(1, 3), m->GetElement(2, 3));
    dots->InsertNextCell(1, &ids[name]);
  }
  for (const auto& [name, node] : joints)
  {
    const aiNode* parent = node->mParent;
    while (parent && !ids.count(parent->mName.C_Str()))
    {
      parent = parent->mParent;
    }
    if (parent && ids.count(name))
    {
      const vtkIdType line[2] = {ids[parent->mName.C_Str()], ids[name]};
      bones->InsertNextCell(2, line);
    }
  }
}

// The selected joint's name stands beside it, wherever the pose has put it.
void placeJointLabel(VtkItem::Data* data)
{
  VtkItem* item = data->item;
  const ModelEntry* model = item->model(data->selectedJointModel);
  const AssimpImporter* importer = model ? model->importer : nullptr;
  const auto global = importer ? importer->NodeGlobalMatrices.find(data->selectedJoint)
                               : decltype(importer->NodeGlobalMatrices)::const_iterator();
  if (!importer || global == importer->NodeGlobalMatrices.end() || !global->second)
  {
    data->jointLabel->VisibilityOff();
    return;
  }
  const vtkMatrix4x4* m = global->second;
  data->jointLabel->SetPosition(m->GetElement(0, 3), m->GetElement(1, 3), m->GetElement(2, 3));
  data->jointLabel->SetInput(data->selectedJoint.c_str());
  data->jointLabel->VisibilityOn();
}

// Rebuilt before every frame while shown, so it follows playback, the slider and
// the model transforms without each of them having to know of it.
void onFrameStart(vtkObject*, unsigned long, void* clientData, void*)
{
  auto* data = static_cast<VtkItem::Data*>(clientData);
  if (!data || !data->item || !data->skeletonActor->GetVisibility())
  {
    data->jointLabel->VisibilityOff();
    return;
  }
  vtkNew<vtkPoints> points;
  vtkNew<vtkCellArray> dots;
  vtkNew<vtkCellArray> bones;
  for (const auto& entry : data->item->models)
  {
    if (entry->importer->Scene)
    {
      addSkeleton(*entry, points, dots, bones);
    }
  }
  placeJointLabel(data);
  vtkNew<vtkPolyData> skeleton;
  skeleton->SetPoints(points);
  skeleton->SetVerts(dots);
  skeleton->SetLines(bones);
  vtkPolyDataMapper::SafeDownCast(data->skeletonActor->GetMapper())->SetInputData(skeleton);
}
} // namespace

void setUpSkeletonOverlay(VtkItem::Data* data)
{
  data->renderWindow->SetNumberOfLayers(2);
  data->overlayRenderer->SetLayer(1);
  data->overlayRenderer->InteractiveOff();
  data->overlayRenderer->SetActiveCamera(data->renderer->GetActiveCamera());
  data->renderWindow->AddRenderer(data->overlayRenderer);

  vtkNew<vtkPolyDataMapper> mapper;
  data->skeletonActor->SetMapper(mapper);
  data->skeletonActor->PickableOff();
  data->skeletonActor->VisibilityOff();
  // Magenta and thick: it stands out on every background preset and over most
  // surfaces.
  vtkProperty* look = data->skeletonActor->GetProperty();
  look->SetColor(1.0, 0.15, 0.85);
  look->SetLighting(false);
  look->SetPointSize(9.0);
  look->SetLineWidth(3.0);
  look->RenderPointsAsSpheresOn();
  data->overlayRenderer->AddActor(data->skeletonActor);

  data->jointLabel->VisibilityOff();
  data->jointLabel->PickableOff();
  data->jointLabel->SetDisplayOffset(10, 10);
  vtkTextProperty* text = data->jointLabel->GetTextProperty();
  text->SetFontSize(15);
  text->SetColor(1.0, 1.0, 1.0);
  text->SetBackgroundColor(0.25, 0.0, 0.2);
  text->SetBackgroundOpacity(0.8);
  data->overlayRenderer->AddActor(data->jointLabel);

  data->skeletonCallback->SetCallback(&onFrameStart);
  data->skeletonCallback->SetClientData(data);
  data->renderer->AddObserver(vtkCommand::StartEvent, data->skeletonCallback);
}

void selectJoint(VtkItem* item, VtkItem::Data* data, TreeRow row)
{
  const ModelEntry* model = item->model(row.model);
  const bool joint =
      model && row.node && jointsOf(*model->importer->Scene).count(row.node->mName.C_Str());
  data->selectedJoint = joint ? row.node->mName.C_Str() : std::string();
  data->selectedJointModel = joint ? row.model : -1;
}

void applySkeleton(VtkItem* item, VtkItem::Data* data)
{
  data->skeletonActor->SetVisibility(item->manager->state.showSkeleton);
  data->jointLabel->SetVisibility(item->manager->state.showSkeleton);
  data->renderer->Render();
}

void showSkeletonOfMeshlessModel(VtkItem* item, VtkItem::Data* data, const AssimpImporter& model)
{
  if (model.Scene && model.Scene->mNumMeshes == 0 && model.Scene->mNumAnimations > 0 &&
      !item->manager->state.showSkeleton)
  {
    item->manager->state.showSkeleton = true;
    item->manager->notify(&Manager::showSkeletonChanged);
    applySkeleton(item, data);
  }
}
} // namespace ML
