#include "VtkItem.h"

#include <QtGlobal>

#include <vtkActorCollection.h>
#include <vtkObjectFactory.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkTransform.h>

#include "AppearanceTasks.h"
#include "AssimpImporter.h"
#include "CameraTasks.h"
#include "LoadTasks.h"
#include "Manager.h"
#include "ModelActors.h"
#include "PlaybackTasks.h"
#include "SelectionTasks.h"
#include "SkeletonTasks.h"
#include "vtkPickerStyle.h"

namespace ML
{

ModelEntry::ModelEntry() : importer(AssimpImporter::New()), transform(vtkTransform::New()) {}

ModelEntry::~ModelEntry()
{
  transform->Delete();
  importer->Delete();
}

vtkStandardNewMacro(VtkItem::Data);

VtkItem::Data::Data() : pickerStyle(vtkSmartPointer<vtkPickerStyle>::New()) {}

VtkItem::Data::~Data() = default;

VtkItem::VtkItem(QQuickItem* parent) : QQuickVTKItem(parent) {}

VtkItem::~VtkItem() = default;

ModelEntry* VtkItem::model(int index) const
{
  return index >= 0 && index < static_cast<int>(models.size())
             ? models[static_cast<size_t>(index)].get()
             : nullptr;
}

ModelEntry* VtkItem::currentModel() const
{
  return manager ? model(manager->state.currentModel) : nullptr;
}

void VtkItem::run(RenderTask task)
{
  if (taskDispatcher)
  {
    taskDispatcher(std::move(task));
    return;
  }
  // The scene record is always the Data that initializeVTK returned.
  dispatch_async(
      [this, task = std::move(task)](vtkRenderWindow*, vtkUserData userData)
      {
        Manager::RenderTaskScope scope;
        task(this, static_cast<Data*>(userData.Get()));
      });
}

// Everything the scene graph's synchronisation runs (the queued tasks, and the
// input events QQuickVTKItem hands to VTK: camera drags, picking, the light handle,
// the box) counts as a render task: the window hears of it by queued calls, after
// the synchronisation, under the basic render loop too, where it runs on the GUI
// thread.
QSGNode* VtkItem::updatePaintNode(QSGNode* node, UpdatePaintNodeData* data)
{
  Manager::RenderTaskScope scope;
  return QQuickVTKItem::updatePaintNode(node, data);
}

void VtkItem::setTaskDispatcher(TaskDispatcher dispatcher)
{
  taskDispatcher = std::move(dispatcher);
}

void VtkItem::loadFiles(const QStringList& paths, LoadMode mode)
{
  fileJobs.start(
      [this, paths, mode](const FileJobs::Cancelled& cancelled)
      {
        const LoadProgress progress = [this](const QString& path, double fraction)
        { fileJobs.post([this, path, fraction] { manager->setLoadProgress(path, fraction); }); };
        std::shared_ptr<LoadedModels> loaded = readModelFiles(paths, mode, cancelled, progress);
        // A cancel that comes after the files were read still keeps them out.
        fileJobs.post(
            [this, loaded, cancelled]
            {
              loaded->cancelled = loaded->cancelled || cancelled();
              takeLoadedModels(loaded);
            });
        giveBackFreedMemory();
      });
}

// On the GUI thread, once the worker has read a request's files.
void VtkItem::takeLoadedModels(const std::shared_ptr<LoadedModels>& loaded)
{
  if (loaded->cancelled)
  {
    manager->endLoad(false);
    return;
  }
  if (loaded->mode == LoadMode::Replace)
  {
    manager->clearTreeModel(true);
  }
  run([loaded](VtkItem* item, Data* data) { attachModels(item, data, *loaded); });
}

void VtkItem::cancelLoads()
{
  fileJobs.cancel();
}

void VtkItem::exportScene(const QString& fileName)
{
  run([fileName](VtkItem* item, Data*) { exportModels(item, fileName); });
}

namespace
{
void setUpLight(vtkLight* light, bool headlight, vtkRenderer* renderer)
{
  light->SetColor(1.0, 1.0, 1.0);
  if (headlight)
  {
    light->SetLightTypeToHeadlight();
  }
  else
  {
    light->SetLightTypeToSceneLight();
    light->SetSwitch(0);
  }
  light->SetConeAngle(30.0);
  light->SetAttenuationValues(1.0, 0.0, 0.0);
  renderer->AddLight(light);
}

// QQuickVTKItem asks Qt Quick for another frame whenever the render window has
// drawn one, so the view would redraw for ever, keeping a core busy while nothing
// changes. Every change already reaches the item as a queued task or an input
// event, each of which schedules its own frame; the frame event is stopped here,
// before the item's observer sees it.
void keepFramesOnDemand(vtkRenderWindow* renderWindow, vtkCallbackCommand* stopper)
{
  stopper->SetCallback([](vtkObject*, unsigned long, void*, void*) {});
  stopper->SetAbortFlagOnExecute(1);
  renderWindow->AddObserver(vtkCommand::WindowFrameEvent, stopper, 1.0f);
}

void observe(vtkCallbackCommand* callback,
             void (*function)(vtkObject*, unsigned long, void*, void*), VtkItem::Data* data)
{
  callback->SetCallback(function);
  callback->SetClientData(data);
}
} // namespace

QQuickVTKItem::vtkUserData VtkItem::initializeVTK(vtkRenderWindow* renderWindow)
{
  vtkNew<Data> data;
  data->renderWindow = renderWindow;

  // The item's render window draws into Qt Quick's framebuffer: no multisampling
  // of its own and no line smoothing, then off-screen rendering.
  renderWindow->SetMultiSamples(0);
  renderWindow->SetLineSmoothing(0);
  renderWindow->SetOffScreenRendering(1);

  renderWindow->AddRenderer(data->renderer);
  data->renderer->AddActor(data->gridActor);
  setUpSkeletonOverlay(data);

  vtkRenderWindowInteractor* interactor = renderWindow->GetInteractor();

  setUpLight(data->lights[0], true, data->renderer);
  setUpLight(data->lights[1], false, data->renderer);
  setUpLight(data->lights[2], false, data->renderer);

  observe(data->timerCallback, &onAnimationTimer, data);
  observe(data->cameraCallback, &onCameraChanged, data);
  observe(data->lightCallback, &onLightWidgetInteraction, data);
  observe(data->boxCallback, &onBoxWidgetEndInteraction, data);
  keepFramesOnDemand(renderWindow, data->frameCallback);
  if (interactor)
  {
    interactor->AddObserver(vtkCommand::TimerEvent, data->timerCallback, 0.0f);
    for (unsigned long event :
         {vtkCommand::MouseWheelForwardEvent, vtkCommand::MouseWheelBackwardEvent,
          vtkCommand::LeftButtonPressEvent, vtkCommand::MouseMoveEvent})
    {
      interactor->AddObserver(event, data->cameraCallback, 0.0f);
    }
  }

  data->lightWidget->SetInteractor(interactor);
  data->lightWidget->SetRepresentation(data->lightRepresentation);
  double yellow[3] = {1.0, 1.0, 0.0};
  data->lightRepresentation->SetLightColor(yellow);
  data->lightWidget->Off();
  data->lightWidget->AddObserver(vtkCommand::InteractionEvent, data->lightCallback);

  data->boxWidget->SetInteractor(interactor);
  data->boxWidget->AddObserver(vtkCommand::EndInteractionEvent, data->boxCallback);
  // VTK's default places the box at half the framed actor's size, inside the mesh
  // where nobody sees it; it must enclose the actor.
  data->boxWidget->SetPlaceFactor(1.05);
  data->boxWidget->GetOutlineProperty()->SetColor(1.0, 0.6, 0.1);
  data->boxWidget->GetOutlineProperty()->SetLineWidth(2.0);
  data->boxWidget->TranslationEnabledOn();
  data->boxWidget->RotationEnabledOn();
  data->boxWidget->Off();

  data->pickerStyle->data = data;
  data->pickerStyle->SetDefaultRenderer(data->renderer);
  if (interactor)
  {
    interactor->SetInteractorStyle(data->pickerStyle);
  }

  data->item = this;

  data->renderer->ResetCamera();
  renderWindow->Render();
  return vtkUserData(data.GetPointer());
}

void VtkItem::destroyingVTK(vtkRenderWindow*, vtkUserData userData)
{
  Data* data = (userData && userData->IsA("Data")) ? static_cast<Data*>(userData.Get()) : nullptr;
  if (manager)
  {
    manager->clearTreeModel(true);
  }
  unloadModels(this, data);
}

void unloadModels(VtkItem* item, VtkItem::Data* data)
{
  if (!data)
  {
    return;
  }
  data->boxWidget->Off();
  if (item->models.empty())
  {
    return;
  }
  for (const auto& entry : item->models)
  {
    forEachActor(*entry, [data](vtkActor* actor) { data->renderer->RemoveActor(actor); });
  }
  item->models.clear();
  item->lightsFromFile = false;
}
} // namespace ML
