#pragma once

#include <QColor>
#include <QList>
#include <QModelIndex>
#include <QObject>
#include <QStandardItemModel>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <array>
#include <functional>

struct aiNode;
class QGuiApplication;

namespace ML
{
struct VtkItem;

// Position, focal point and colour of one of the three scene lights.
struct LightSlot
{
  std::array<double, 3> position{0.0, 0.0, 0.0};
  std::array<double, 3> focalPoint{0.0, 0.0, 0.0};
  QColor color{255, 255, 255, 255};
};

// The values behind the Manager's properties. Render tasks read and write them
// directly ("plain writes"): they run while the GUI thread is blocked in the
// scene graph's synchronisation, so no lock is needed. A task that changes a
// value the window shows follows the write with notify().
struct ManagerState
{
  QString playIcon;
  QStringList modelNames;
  int currentModel = 0;
  bool loadOnStartup = false;
  bool showAxes = false;
  bool showGrid = false;
  bool showSkeleton = false;
  bool sceneLight = false;
  bool wireFrame = false;
  int upDirection = 1;
  int rightDirection = 0;
  int currentAnimatoin = 0;
  int backgroundColor = 0;
  std::array<double, 3> cameraPosition{0.0, 0.0, 0.0};
  std::array<double, 3> cameraFocalPoint{0.0, 0.0, 0.0};
  int surfaceLight = 0;
  bool showLightWidget = true;
  int currentLight = 0;
  std::array<LightSlot, 3> lights{};
  int numberOfAnimations = 0;
  // The clip that plays: its length in seconds, and its frames a second where the
  // file says (0: it does not).
  double clipDuration = 0.0;
  double clipFrameRate = 0.0;
  // The model and clip index that the two values above belong to.
  int clipModel = -1;
  int clipAnimation = -1;
  double sliderVal = 0.0;
  double speedVal = 1.0;
  std::array<double, 3> modelPosition{0.0, 0.0, 0.0};
  std::array<double, 3> modelScale{1.0, 1.0, 1.0};
  std::array<double, 3> modelRotation{0.0, 0.0, 0.0};
  QStringList recentFiles;
  // What the last export wrote and lacks, or why it failed.
  QString exportMessage;
  // While files load: the file being read and how far that read is (0 to 1).
  bool loading = false;
  QString loadingFile;
  double loadProgress = 0.0;

  LightSlot& currentLightSlot() { return lights[static_cast<size_t>(currentLight)]; }
  const LightSlot& currentLightSlot() const { return lights[static_cast<size_t>(currentLight)]; }
};

// The controller between the window document and the 3D view: user-facing state
// as properties, the commands the window calls, the recent files, the scene tree
// model and the animation clock. Lives on the GUI thread.
class Manager : public QObject
{
  Q_OBJECT
  Q_CLASSINFO("QML.Creatable", "false")
  Q_CLASSINFO("QML.UncreatableReason", "")

  Q_PROPERTY(QString playIcon READ playIcon WRITE setPlayIcon NOTIFY playIconChanged)
  Q_PROPERTY(
      QStandardItemModel* treeModel READ treeModel WRITE setTreeModel NOTIFY treeModelChanged)
  Q_PROPERTY(QStringList recentFiles READ recentFiles NOTIFY recentFilesChanged)
  Q_PROPERTY(QStringList modelNames READ modelNames NOTIFY modelNamesChanged)
  Q_PROPERTY(QString exportMessage READ exportMessage NOTIFY exportMessageChanged)
  Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
  Q_PROPERTY(QString loadingFile READ loadingFile NOTIFY loadProgressChanged)
  Q_PROPERTY(double loadProgress READ loadProgress NOTIFY loadProgressChanged)
  Q_PROPERTY(
      bool loadOnStartup READ loadOnStartup WRITE setLoadOnStartup NOTIFY loadOnStartupChanged)
  Q_PROPERTY(bool showAxes READ showAxes WRITE setShowAxes NOTIFY showAxesChanged)
  Q_PROPERTY(bool showGrid READ showGrid WRITE setShowGrid NOTIFY showGridChanged)
  Q_PROPERTY(bool showSkeleton READ showSkeleton WRITE setShowSkeleton NOTIFY showSkeletonChanged)
  Q_PROPERTY(bool sceneLight READ sceneLight WRITE setSceneLight NOTIFY sceneLightChanged)
  Q_PROPERTY(int upDirection READ upDirection WRITE setUpDirection NOTIFY upDirectionChanged)
  Q_PROPERTY(
      int rightDirection READ rightDirection WRITE setRightDirection NOTIFY rightDirectionChanged)
  Q_PROPERTY(int numberOfAnimations READ numberOfAnimations WRITE setNumberOfAnimations NOTIFY
                 numberOfAnimationsChanged)
  Q_PROPERTY(double clipDuration READ clipDuration NOTIFY clipChanged)
  Q_PROPERTY(double clipFrameRate READ clipFrameRate NOTIFY clipChanged)
  Q_PROPERTY(int currentAnimatoin READ currentAnimatoin WRITE setCurrentAnimatoin NOTIFY
                 currentAnimatoinChanged)
  Q_PROPERTY(double sliderVal READ sliderVal WRITE setSliderVal NOTIFY sliderValChanged)
  Q_PROPERTY(bool wireFrame READ wireFrame WRITE setWireFrame NOTIFY wireFrameChanged)
  Q_PROPERTY(double speedVal READ speedVal WRITE setSpeedVal NOTIFY speedValChanged)
  Q_PROPERTY(int backgroundColor READ backgroundColor WRITE setBackgroundColor NOTIFY
                 backgroundColorChanged)
  Q_PROPERTY(int cameraPosX READ cameraPosX WRITE setCameraPosX NOTIFY cameraPosXChanged)
  Q_PROPERTY(int cameraPosY READ cameraPosY WRITE setCameraPosY NOTIFY cameraPosYChanged)
  Q_PROPERTY(int cameraPosZ READ cameraPosZ WRITE setCameraPosZ NOTIFY cameraPosZChanged)
  Q_PROPERTY(int cameraFpX READ cameraFpX WRITE setCameraFpX NOTIFY cameraFpXChanged)
  Q_PROPERTY(int cameraFpY READ cameraFpY WRITE setCameraFpY NOTIFY cameraFpYChanged)
  Q_PROPERTY(int cameraFpZ READ cameraFpZ WRITE setCameraFpZ NOTIFY cameraFpZChanged)
  Q_PROPERTY(int surfaceLight READ surfaceLight WRITE setSurfaceLight NOTIFY surfaceLightChanged)
  Q_PROPERTY(int lightPosX READ lightPosX WRITE setLightPosX NOTIFY lightPosXChanged)
  Q_PROPERTY(int lightPosY READ lightPosY WRITE setLightPosY NOTIFY lightPosYChanged)
  Q_PROPERTY(int lightPosZ READ lightPosZ WRITE setLightPosZ NOTIFY lightPosZChanged)
  Q_PROPERTY(int lightFpX READ lightFpX WRITE setLightFpX NOTIFY lightFpXChanged)
  Q_PROPERTY(int lightFpY READ lightFpY WRITE setLightFpY NOTIFY lightFpYChanged)
  Q_PROPERTY(int lightFpZ READ lightFpZ WRITE setLightFpZ NOTIFY lightFpZChanged)
  Q_PROPERTY(QColor lightColor READ lightColor WRITE setLightColor NOTIFY lightColorChanged)
  Q_PROPERTY(bool showLightWidget READ showLightWidget WRITE setShowLightWidget NOTIFY
                 showLightWidgetChanged)
  Q_PROPERTY(int currentLight READ currentLight WRITE setCurrentLight NOTIFY currentLightChanged)
  Q_PROPERTY(int currentModel READ currentModel WRITE setCurrentModel NOTIFY currentModelChanged)
  Q_PROPERTY(int modelPosX READ modelPosX WRITE setModelPosX NOTIFY modelPosXChanged)
  Q_PROPERTY(int modelPosY READ modelPosY WRITE setModelPosY NOTIFY modelPosYChanged)
  Q_PROPERTY(int modelPosZ READ modelPosZ WRITE setModelPosZ NOTIFY modelPosZChanged)
  Q_PROPERTY(int modelScaleX READ modelScaleX WRITE setModelScaleX NOTIFY modelScaleXChanged)
  Q_PROPERTY(int modelScaleY READ modelScaleY WRITE setModelScaleY NOTIFY modelScaleYChanged)
  Q_PROPERTY(int modelScaleZ READ modelScaleZ WRITE setModelScaleZ NOTIFY modelScaleZChanged)
  Q_PROPERTY(int modelRotateX READ modelRotateX WRITE setModelRotateX NOTIFY modelRotateXChanged)
  Q_PROPERTY(int modelRotateY READ modelRotateY WRITE setModelRotateY NOTIFY modelRotateYChanged)
  Q_PROPERTY(int modelRotateZ READ modelRotateZ WRITE setModelRotateZ NOTIFY modelRotateZChanged)

public:
  enum TreeRoles
  {
    ModelNodeRole = Qt::UserRole + 1,
    ModelIndexRole = Qt::UserRole + 2,
  };

  using Signal = void (Manager::*)();

  explicit Manager(QObject* parent = nullptr);
  ~Manager() override;

  // Links set once at start-up.
  VtkItem* vtkItem = nullptr;
  // Ticks at the display's pace while an animation plays, stopped otherwise.
  QTimer animationTimer;
  // Monotonic seconds that playback measures its steps with; tests set their own.
  std::function<double()> wallClock;
  QGuiApplication* application = nullptr;
  QString configDir;
  QObject* slider = nullptr;

  // The node of the tree row the window last selected or ticked.
  aiNode* selectedNode = nullptr;

  // Ratio between the integer transform properties and the stored values.
  const double transformFactor = 100.0;

  ManagerState state;

  // Emits `signal` on the GUI thread: directly when called there, otherwise as a
  // queued call. Render tasks run on Qt Quick's render thread, and QML must only
  // ever see the Manager's signals on the thread it lives on; posted calls keep
  // the order in which the tasks raised them.
  void notify(Signal signal);
  // Runs `work` on the GUI thread, under the same rules as notify().
  void runOnGuiThread(std::function<void()> work);

  // Marks the running code as a render task. With Qt Quick's non-threaded render
  // loop tasks run on the GUI thread, but inside the scene graph's
  // synchronisation, where the window must not react yet: notifications raised
  // in a task are queued there too.
  class RenderTaskScope
  {
  public:
    RenderTaskScope();
    ~RenderTaskScope();
    RenderTaskScope(const RenderTaskScope&) = delete;
    RenderTaskScope& operator=(const RenderTaskScope&) = delete;
    static bool active();
  };

  // Property reads.
  QString playIcon() const { return state.playIcon; }
  QStandardItemModel* treeModel() const { return m_treeModel; }
  QStringList recentFiles() const { return state.recentFiles; }
  QStringList modelNames() const { return state.modelNames; }
  QString exportMessage() const { return state.exportMessage; }
  bool loading() const { return state.loading; }
  QString loadingFile() const { return state.loadingFile; }
  double loadProgress() const { return state.loadProgress; }
  // GUI thread: a load request reached the view, it read `fraction` of `path`, it
  // ended (after openSourceError when `failed`, always with openSourceEnd).
  void beginLoad();
  void setLoadProgress(const QString& path, double fraction);
  void endLoad(bool failed);
  // Opens the files as openModels does, without touching the recent files
  // (start-up).
  void loadFiles(const QStringList& paths);
  bool loadOnStartup() const { return state.loadOnStartup; }
  bool showAxes() const { return state.showAxes; }
  bool showGrid() const { return state.showGrid; }
  bool showSkeleton() const { return state.showSkeleton; }
  bool sceneLight() const { return state.sceneLight; }
  int upDirection() const { return state.upDirection; }
  int rightDirection() const { return state.rightDirection; }
  int numberOfAnimations() const { return state.numberOfAnimations; }
  double clipDuration() const { return state.clipDuration; }
  double clipFrameRate() const { return state.clipFrameRate; }
  // Hands the length and rate of that clip of that model to the window (from any
  // thread).
  void reportClip(int model, int animation, double duration, double frameRate);
  int currentAnimatoin() const { return state.currentAnimatoin; }
  double sliderVal() const { return state.sliderVal; }
  bool wireFrame() const { return state.wireFrame; }
  double speedVal() const { return state.speedVal; }
  int backgroundColor() const { return state.backgroundColor; }
  int cameraPosX() const { return truncated(state.cameraPosition[0]); }
  int cameraPosY() const { return truncated(state.cameraPosition[1]); }
  int cameraPosZ() const { return truncated(state.cameraPosition[2]); }
  int cameraFpX() const { return truncated(state.cameraFocalPoint[0]); }
  int cameraFpY() const { return truncated(state.cameraFocalPoint[1]); }
  int cameraFpZ() const { return truncated(state.cameraFocalPoint[2]); }
  int surfaceLight() const { return state.surfaceLight; }
  int lightPosX() const { return truncated(state.currentLightSlot().position[0]); }
  int lightPosY() const { return truncated(state.currentLightSlot().position[1]); }
  int lightPosZ() const { return truncated(state.currentLightSlot().position[2]); }
  int lightFpX() const { return truncated(state.currentLightSlot().focalPoint[0]); }
  int lightFpY() const { return truncated(state.currentLightSlot().focalPoint[1]); }
  int lightFpZ() const { return truncated(state.currentLightSlot().focalPoint[2]); }
  QColor lightColor() const { return state.currentLightSlot().color; }
  bool showLightWidget() const { return state.showLightWidget; }
  int currentLight() const { return state.currentLight; }
  int currentModel() const { return state.currentModel; }
  int modelPosX() const { return scaled(state.modelPosition[0]); }
  int modelPosY() const { return scaled(state.modelPosition[1]); }
  int modelPosZ() const { return scaled(state.modelPosition[2]); }
  int modelScaleX() const { return scaled(state.modelScale[0]); }
  int modelScaleY() const { return scaled(state.modelScale[1]); }
  int modelScaleZ() const { return scaled(state.modelScale[2]); }
  int modelRotateX() const { return scaled(state.modelRotation[0]); }
  int modelRotateY() const { return scaled(state.modelRotation[1]); }
  int modelRotateZ() const { return scaled(state.modelRotation[2]); }

  // Property writes: compare first, store and notify only on change.
  void setPlayIcon(const QString& value);
  void setTreeModel(QStandardItemModel* value);
  void setLoadOnStartup(bool value);
  void setShowAxes(bool value);
  void setShowGrid(bool value);
  void setShowSkeleton(bool value);
  void setSceneLight(bool value);
  void setUpDirection(int value);
  void setRightDirection(int value);
  void setNumberOfAnimations(int value);
  void setCurrentAnimatoin(int value);
  void setSliderVal(double value);
  void setWireFrame(bool value);
  void setSpeedVal(double value);
  void setBackgroundColor(int value);
  void setCameraPosX(int value);
  void setCameraPosY(int value);
  void setCameraPosZ(int value);
  void setCameraFpX(int value);
  void setCameraFpY(int value);
  void setCameraFpZ(int value);
  void setSurfaceLight(int value);
  void setLightPosX(int value);
  void setLightPosY(int value);
  void setLightPosZ(int value);
  void setLightFpX(int value);
  void setLightFpY(int value);
  void setLightFpZ(int value);
  void setLightColor(const QColor& value);
  void setShowLightWidget(bool value);
  void setCurrentLight(int value);
  void setCurrentModel(int value);
  void setModelPosX(int value);
  void setModelPosY(int value);
  void setModelPosZ(int value);
  void setModelScaleX(int value);
  void setModelScaleY(int value);
  void setModelScaleZ(int value);
  void setModelRotateX(int value);
  void setModelRotateY(int value);
  void setModelRotateZ(int value);

  // Recent files and settings.json (start-up and shutdown only).
  bool loadRecentFiles();
  void saveRecentFiles();

  // Scene tree. fillTreeModel may be called from a render task: the rows are
  // built there from the loaded scenes and appended on the GUI thread.
  void fillTreeModel(int firstModelIndex);
  void clearTreeModel(bool notify);

public slots:
  void timerSlot();

public:
  Q_INVOKABLE void clearRecentFiles();
  Q_INVOKABLE QString displayableFilePath(const QString& filePath) const;
  // Whether the URL names an existing file of a model format the dialogs offer.
  Q_INVOKABLE bool isModelFile(const QUrl& url) const;
  // Whether Shift is held now: a drop adds its files then (QML's drop event does
  // not carry the keyboard's state).
  Q_INVOKABLE bool shiftHeld() const;
  Q_INVOKABLE void cameraReset();
  Q_INVOKABLE void toggleWireframe();
  Q_INVOKABLE void resetScene();
  Q_INVOKABLE void openModels(const QStringList& fname);
  Q_INVOKABLE void openModelUrls(const QList<QUrl>& urls);
  Q_INVOKABLE void clearModels();
  Q_INVOKABLE void exportSceneUrl(const QUrl& url);
  Q_INVOKABLE void addModelUrl(const QUrl& url);
  // Stops the loads under way; the scene stays as it was before them.
  Q_INVOKABLE void cancelLoad();
  // Writes the 3D view as a PNG file, `scale` times its size on screen.
  Q_INVOKABLE void saveViewImageUrl(const QUrl& url, int scale);
  // Asks for the report on the current model's file; fileReportReady brings it.
  Q_INVOKABLE void requestFileReport();
  Q_INVOKABLE void sliderMoved();
  Q_INVOKABLE void updateShowGrid();
  Q_INVOKABLE void updateShowSkeleton();
  Q_INVOKABLE void updateShowAxes();
  Q_INVOKABLE void updateSceneLight();
  Q_INVOKABLE void updateDirection();
  Q_INVOKABLE void updateCameraPos();
  Q_INVOKABLE void updateCameraFp();
  Q_INVOKABLE void updateSurfaceLight();
  Q_INVOKABLE void updateLightPos();
  Q_INVOKABLE void updateLightFp();
  Q_INVOKABLE void updateLightColor();
  Q_INVOKABLE void updateBackground();
  Q_INVOKABLE void updateShowLightWidget();
  Q_INVOKABLE void updateCurrentLight();
  Q_INVOKABLE void updateModelTransform();
  Q_INVOKABLE void findAnimatedModel();
  Q_INVOKABLE void playToggle();
  // Moves the slider `frames` frames on (back when negative), a frame being 1/30 s
  // where the clip gives no rate, and poses the model there; playback stops, as
  // after any slider move.
  Q_INVOKABLE void stepFrames(int frames);
  Q_INVOKABLE void treeSelChanged(const QModelIndex& idx);
  Q_INVOKABLE void checkTreeModel(const QModelIndex& idx, bool checked);

signals:
  void playIconChanged();
  void treeModelChanged();
  void recentFilesChanged();
  void modelNamesChanged();
  void currentModelChanged();
  void loadOnStartupChanged();
  void showAxesChanged();
  void showGridChanged();
  void showSkeletonChanged();
  void sceneLightChanged();
  void wireFrameChanged();
  void upDirectionChanged();
  void rightDirectionChanged();
  void numberOfAnimationsChanged();
  void clipChanged();
  void currentAnimatoinChanged();
  void sliderValChanged();
  void speedValChanged();
  void backgroundColorChanged();
  void cameraPosXChanged();
  void cameraPosYChanged();
  void cameraPosZChanged();
  void cameraFpXChanged();
  void cameraFpYChanged();
  void cameraFpZChanged();
  void surfaceLightChanged();
  void lightPosXChanged();
  void lightPosYChanged();
  void lightPosZChanged();
  void lightFpXChanged();
  void lightFpYChanged();
  void lightFpZChanged();
  void lightColorChanged();
  void showLightWidgetChanged();
  void openSourceError();
  void openSourceEnd();
  void exportSourceError();
  void exportSourceEnd();
  // After "Save view as image": what was written, or why nothing was.
  void viewImageSaved(const QString& message);
  void fileReportReady(const QString& report);
  void exportMessageChanged();
  void loadingChanged();
  void loadProgressChanged();
  void currentLightChanged();
  void modelPosXChanged();
  void modelPosYChanged();
  void modelPosZChanged();
  void modelScaleXChanged();
  void modelScaleYChanged();
  void modelScaleZChanged();
  void modelRotateXChanged();
  void modelRotateYChanged();
  void modelRotateZChanged();

private:
  bool deliversDirectly() const;
  bool moveSliderWithClock(double seconds);
  double lastStepTime = 0.0;
  bool stepInFlight = false;
  static int truncated(double value) { return static_cast<int>(value); }
  int scaled(double value) const;

  template <typename T>
  void assign(T& field, const T& value, Signal signal);
  void assignWhole(double& field, int value, Signal signal);
  void assignScaled(double& field, int value, Signal signal);

  // The model the Manager created and owns; m_treeModel is what the property
  // currently points at.
  QStandardItemModel* const m_ownTreeModel;
  QStandardItemModel* m_treeModel;

  // What saveRecentFiles keeps of the stored settings: whether they were read in
  // this run, and whether the user emptied the recent files since.
  bool m_settingsRead = false;
  bool m_recentFilesCleared = false;
  // Load requests handed to the view that have not ended yet.
  int m_loadsRunning = 0;
};
} // namespace ML

// Tree rows carry the node they show; the window never looks inside it.
Q_DECLARE_OPAQUE_POINTER(aiNode*)
Q_DECLARE_METATYPE(aiNode*)
