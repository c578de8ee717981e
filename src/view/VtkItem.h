#pragma once

#include <QQuickVTKItem.h>
#include <QStringList>

#include <vtkActor.h>
#include <vtkBillboardTextActor3D.h>
#include <vtkBoxWidget.h>
#include <vtkCallbackCommand.h>
#include <vtkLight.h>
#include <vtkLightRepresentation.h>
#include <vtkLightWidget.h>
#include <vtkNew.h>
#include <vtkOpenGLRenderer.h>
#include <vtkOrientationMarkerWidget.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FileJobs.h"
#include "vtkMLOpenGLGridMapper.h"

class AssimpImporter;
struct aiNode;
class vtkTransform;

namespace ML
{
class Manager;
class vtkPickerStyle;

// One loaded model file: its importer (which owns the actors) and the user
// transform of the whole model.
struct ModelEntry
{
  ModelEntry();
  ~ModelEntry();
  ModelEntry(const ModelEntry&) = delete;
  ModelEntry& operator=(const ModelEntry&) = delete;

  AssimpImporter* importer;
  vtkTransform* transform;
  // Nodes the user unticked in the scene tree: the skeleton overlay leaves out
  // the joints at and below them, as the surfaces do.
  std::set<const aiNode*> hiddenNodes;
};

// The 3D view. Its VTK side lives on Qt Quick's render thread: everything that
// changes the scene is a render task queued with dispatch_async.
struct VtkItem : QQuickVTKItem
{
  Q_OBJECT

public:
  struct Data;
  using RenderTask = std::function<void(VtkItem* item, Data* data)>;
  // Hands a task to whoever runs the render side. The item's default is
  // dispatch_async; tests install their own to run tasks against an offscreen
  // render window.
  using TaskDispatcher = std::function<void(RenderTask task)>;

  explicit VtkItem(QQuickItem* parent = nullptr);
  ~VtkItem() override;

  vtkUserData initializeVTK(vtkRenderWindow* renderWindow) override;
  QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;
  void destroyingVTK(vtkRenderWindow* renderWindow, vtkUserData userData) override;

  enum class LoadMode
  {
    Replace, // the files replace the models shown
    Add      // the files join them
  };
  // Reads the files on the file worker, after any load or export before it, then
  // puts them into the scene. Every request ends with the Manager's endLoad.
  void loadFiles(const QStringList& paths, LoadMode mode);
  // Stops the loads requested so far; each ends without changing the scene.
  void cancelLoads();
  void exportScene(const QString& fileName);

  // The loaded model of that index, or null when the index names none; the model
  // the window's current model index names.
  ModelEntry* model(int index) const;
  ModelEntry* currentModel() const;

  void run(RenderTask task);
  void setTaskDispatcher(TaskDispatcher dispatcher);

  std::vector<std::unique_ptr<ModelEntry>> models;
  Manager* manager = nullptr;
  bool playing = false;
  bool lightsFromFile = false;
  FileJobs fileJobs;

private:
  void takeLoadedModels(const std::shared_ptr<struct LoadedModels>& loaded);

  TaskDispatcher taskDispatcher;
};

// The render-side scene record, built by initializeVTK.
struct VtkItem::Data : public vtkObject
{
  static Data* New();
  vtkTypeMacro(Data, vtkObject);

  VtkItem* item = nullptr;
  vtkRenderWindow* renderWindow = nullptr;
  vtkNew<vtkCallbackCommand> timerCallback;
  // Animation seconds the running clock step advances by.
  double playbackStep = 0.0;
  vtkNew<vtkCallbackCommand> frameCallback;
  vtkNew<vtkOpenGLRenderer> renderer;
  vtkNew<vtkOrientationMarkerWidget> axesWidget;
  vtkNew<vtkActor> gridActor;
  // Draws the skeleton overlay over everything the main renderer drew.
  vtkNew<vtkOpenGLRenderer> overlayRenderer;
  vtkNew<vtkActor> skeletonActor;
  vtkNew<vtkCallbackCommand> skeletonCallback;
  // The name of the joint whose tree row is selected, beside it while shown.
  vtkNew<vtkBillboardTextActor3D> jointLabel;
  std::string selectedJoint;
  int selectedJointModel = -1;
  vtkNew<vtkMLOpenGLGridMapper> gridMapper;
  vtkNew<vtkCallbackCommand> cameraCallback;
  vtkNew<vtkLightWidget> lightWidget;
  vtkNew<vtkLightRepresentation> lightRepresentation;
  vtkNew<vtkCallbackCommand> lightCallback;
  vtkNew<vtkLight> lights[3];
  vtkNew<vtkBoxWidget> boxWidget;
  vtkNew<vtkCallbackCommand> boxCallback;
  vtkSmartPointer<vtkPickerStyle> pickerStyle;

protected:
  Data();
  ~Data() override;

private:
  Data(const Data&) = delete;
  void operator=(const Data&) = delete;
};

// Removes every loaded model's actors from the renderer and releases the models.
void unloadModels(VtkItem* item, VtkItem::Data* data);
} // namespace ML
