// The window document linked to a Manager and its view as start-up does, driven with real
// mouse and key events. A bare X server has no native file dialogs: Qt Quick's come up.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include <QAccessible>
#include <QDesktopServices>
#include <QMimeData>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickVTKItem.h>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <QtQml/qqml.h>

#include <assimp/scene.h>

#include "AppearanceTasks.h"
#include "CameraTasks.h"
#include "LoadTasks.h"
#include "Manager.h"
#include "PlaybackTasks.h"
#include "SelectionTasks.h"
#include "TestPaths.h"
#include "VtkItem.h"
#include "vtkMLObjectFactory.h"

namespace
{
// Qt Quick must render through OpenGL for the view, settled before the test
// main creates the application object.
const bool renderingPrepared = []
{
  QQuickVTKItem::setGraphicsApi();
  initializeRenderingExtensions();
  qmlRegisterType<ML::VtkItem>("marionette_lab", 1, 0, "VtkItem");
  qmlRegisterType<ML::Manager>("marionette_lab", 1, 0, "Manager");
  return true;
}();

QString model(const char* name)
{
  return QString::fromStdString(ML::Test::fixture(name));
}

QByteArray contents(const QString& path)
{
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Window : public ::testing::Test
{
protected:
  using Task = void (*)(ML::VtkItem*, ML::VtkItem::Data*);

  void SetUp() override
  {
    manager->configDir = configDir.path();
    engine.rootContext()->setContextProperty(
        "helpPageUrl", QUrl::fromLocalFile(QStringLiteral(ML_BINARY_DIR "/help.html")));
    engine.setInitialProperties({{"manager", QVariant::fromValue(manager)}});
    engine.load(QUrl("qrc:/main.qml"));
    window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
    ASSERT_NE(window, nullptr);
    view = window->findChild<ML::VtkItem*>("vtkItem");
    splash = window->findChild<QQuickWindow*>("splashWindow");
    ASSERT_TRUE(view && splash);
    manager->slider = window->findChild<QObject*>("slider1");
    manager->vtkItem = view;
    view->manager = manager;
    QObject::connect(manager, &ML::Manager::openSourceEnd, [this] { ++loadsEnded; });
    QObject::connect(splash, &QWindow::visibleChanged, [this](bool on) { splashShown += on; });
    QObject::connect(manager, &ML::Manager::openSourceError,
                     [this] { splashAtError = splash->isVisible(); });
    window->setPosition(0, 0);
    window->requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window) && QTest::qWaitForWindowActive(window));
    QTest::qWait(100); // the first frames settle the layouts
  }
  ~Window() override { QTest::qWait(50); } // the render thread finishes queued tasks

  // Both trees, breadth first: repeaters' items have only a visual parent,
  // popups and menus only an object parent.
  QList<QObject*> all(QObject* root) const
  {
    QList<QObject*> found{root};
    QSet<QObject*> seen{root};
    for (qsizetype i = 0; i < found.size(); ++i)
    {
      QObjectList next = found[i]->children();
      if (auto* item = qobject_cast<QQuickItem*>(found[i]))
        for (QQuickItem* child : item->childItems())
          next.append(child);
      for (QObject* child : next)
        if (!seen.contains(child))
          seen.insert(child), found.append(child);
    }
    return found;
  }
  QObject* object(const QString& name) const
  {
    for (QObject* candidate : all(window))
      if (candidate->objectName() == name)
        return candidate;
    return nullptr;
  }
  QQuickItem* item(const QString& name) const { return qobject_cast<QQuickItem*>(object(name)); }
  bool visible(const char* name) const { return object(name)->property("visible").toBool(); }
  // Visible items of a type, only those showing `text` (as text or display text) if given.
  QList<QQuickItem*> items(const char* type, QObject* under = nullptr, QString text = {}) const
  {
    QList<QQuickItem*> found;
    for (QObject* candidate : all(under ? under : window->contentItem()))
      if (auto* item = qobject_cast<QQuickItem*>(candidate);
          item && item->isVisible() && item->window() && item->window()->isVisible() &&
          item->inherits(type) &&
          (text.isNull() || item->property("text") == text ||
           item->property("displayText") == text))
        found.append(item);
    return found;
  }
  // Waits for popups and tooltips to come up.
  QQuickItem* itemWithText(const QString& text) const
  {
    QQuickItem* found = nullptr;
    (void)QTest::qWaitFor([&] { return found = items("QQuickItem", nullptr, text).value(0); });
    return found;
  }

  void click(QQuickItem* target, QPointF at = {-1, -1})
  {
    if (!target)
      return ADD_FAILURE() << "nothing to click";
    at = at.x() < 0 ? QPointF(target->width(), target->height()) / 2 : at;
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, target->mapToScene(at).toPoint());
    QTest::qWait(30);
  }
  // Replaces the text of a field, or of a spin box's field, then presses Return.
  void type(QQuickItem* field, const QString& text)
  {
    if (field->inherits("QQuickSpinBox"))
      field = field->property("contentItem").value<QQuickItem*>();
    click(field);
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    for (const QChar character : text)
      QTest::keyClick(window, character.toLatin1());
    QTest::keyClick(window, Qt::Key_Return);
    QTest::qWait(30);
  }
  // Opens a menu of the menu bar; its entry showing `text`.
  QQuickItem* menuEntry(const QString& menu, const QString& text)
  {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !visible("fileMenu"); })); // closing takes a moment
    click(items("QQuickMenuBarItem", nullptr, menu).value(0));
    return itemWithText(text);
  }

  // From now on the commands' render tasks are recorded with the Manager's
  // state at the call (what the window wrote before it), not run.
  void recordTasks()
  {
    view->setTaskDispatcher([this](auto task) { tasks.emplace_back(task, manager->state); });
  }
  // The Manager's state at the last queued task, which has to be `function`.
  ML::ManagerState last(Task function) const
  {
    const Task* found = tasks.empty() ? nullptr : tasks.back().first.target<Task>();
    EXPECT_TRUE(found && *found == function) << "not the last task";
    return found ? tasks.back().second : ML::ManagerState();
  }

  // Opens `paths` if any, then waits for the end of the next load not yet waited for.
  bool load(const QStringList& paths = {})
  {
    if (!paths.isEmpty())
      manager->openModels(paths);
    const bool ended = QTest::qWaitFor([&] { return loadsEnded > loadsSeen; }, 60000);
    loadsSeen = loadsEnded;
    QTest::qWait(50);
    return ended;
  }

  QTemporaryDir configDir;
  QQmlApplicationEngine engine;
  ML::Manager* manager = new ML::Manager(&engine);
  QQuickWindow* window = nullptr;
  QQuickWindow* splash = nullptr;
  ML::VtkItem* view = nullptr;
  std::vector<std::pair<ML::VtkItem::RenderTask, ML::ManagerState>> tasks;
  int loadsEnded = 0, loadsSeen = 0, splashShown = 0, splashAtError = -1;
};

// The module serves the same window document that start-up loads.
TEST(WindowResources, TheModuleHoldsTheWindowDocument)
{
  EXPECT_FALSE(contents(":/main.qml").isEmpty());
  EXPECT_EQ(contents(":/main.qml"), contents(":/marionette_lab/main.qml"));
}

TEST_F(Window, LoadedModelsFillTitleAnimationBoxAndTree)
{
  EXPECT_EQ(window->title(), "Marionette-Lab 3D");
  const QString arm = model("arm_two_clips.glb"); // two clips, the cube none
  ASSERT_TRUE(load({arm, model("textured_cube.glb")}));
  EXPECT_EQ(window->title(), arm);

  manager->setCurrentModel(1);
  click(item("animationComboBox"));
  EXPECT_NE(itemWithText("0"), nullptr);
  click(itemWithText("1"));
  EXPECT_EQ(item("animationComboBox")->property("count").toInt(), 2);
  EXPECT_EQ(manager->currentAnimatoin(), 1);
  EXPECT_EQ(manager->currentModel(), 0); // findAnimatedModel moved on from the cube

  QList<QQuickItem*> rows;
  for (QQuickItem* row : items("QQuickItem", item("treeView")))
    if (row->property("depth").isValid() && row->property("display").isValid())
      rows.append(row);
  std::sort(rows.begin(), rows.end(), [](auto* a, auto* b) { return a->y() < b->y(); });
  ASSERT_GT(rows.size(), 2);
  EXPECT_EQ(rows[0]->property("display").toString(), "arm_two_clips.glb");
  QQuickItem* node = nullptr; // the load's end expands the file rows one level
  for (QQuickItem* row : rows)
  {
    const bool top = row->property("depth").toInt() == 0;
    auto* box = row->findChild<QQuickItem*>("nodeCheckBox"); // hidden ones are no visible items
    EXPECT_TRUE(box->isVisible() != top && (top || box->property("checked").toBool()));
    node = node || top ? node : row;
  }
  ASSERT_NE(node, nullptr);

  recordTasks();
  const QPointF right(node->width() - 10, 3); // clear of arrow and box
  click(node, right);
  EXPECT_EQ(tasks.size(), 1u);
  const aiNode* picked = manager->selectedNode; // the row shows "name[...]"
  ASSERT_TRUE(picked && node->property("display").toString().startsWith(picked->mName.C_Str()));
  EXPECT_EQ(QColor(window->grabWindow().pixel(node->mapToScene(right).toPoint())).name(),
            "#578fc7");
  click(item("clearSelectionButton"));
  EXPECT_EQ(manager->selectedNode, nullptr);
  EXPECT_EQ(item("treeView")->property("currentRow").toInt(), -1);
  tasks.clear();
  click(node->findChild<QQuickItem*>("nodeCheckBox"));
  EXPECT_EQ(tasks.size(), 1u);
  EXPECT_FALSE(node->findChild<QQuickItem*>("nodeCheckBox")->property("checked").toBool());
  EXPECT_EQ(manager->selectedNode, picked);

  view->setTaskDispatcher({}); // the close has to run
  click(item("closeAllButton"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->title() == "Marionette-Lab 3D"; }, 20000));
}

TEST_F(Window, SidePanelsWriteTheirValueThenCallTheirCommand)
{
  const QStringList light = QString("lightPosX lightPosY lightPosZ lightFpX lightFpY lightFpZ "
                                    "showLightWidgetCheckBox lightColorButton")
                                .split(' ');
  const auto enabled = [&](const QString& name) { return item(name)->isEnabled(); };
  EXPECT_TRUE(std::none_of(light.begin(), light.end(), enabled));
  recordTasks();
  click(item("lightWidgetButton"));
  EXPECT_TRUE(last(&ML::applySceneLight).sceneLight);
  EXPECT_TRUE(std::all_of(light.begin(), light.end(), enabled));
  click(itemWithText("Light 3"));
  EXPECT_EQ(last(&ML::updateCurrentLightTask).currentLight, 2);
  click(item("lightColorButton"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return visible("lightColorDialog"); }));
  object("lightColorDialog")->setProperty("selectedColor", QColor(Qt::red));
  QMetaObject::invokeMethod(object("lightColorDialog"), "accept");
  EXPECT_EQ(last(&ML::applyLightColors).lights[2].color, QColor(Qt::red));

  window->resize(800, 1000); // the whole Properties page without scrolling
  QTest::qWait(100);
  click(itemWithText("Properties"));
  tasks.clear();
  // Scale refuses the minus sign; two-decimal fields store hundredths.
  const std::tuple<const char*, const char*, int, Task> fields[] = {
      {"modelScaleX", "2.5", 250, &ML::updateModelTransformTask},
      {"modelScaleY", "-3", 300, &ML::updateModelTransformTask},
      {"modelRotateZ", "-45", -4500, &ML::updateModelTransformTask},
      {"modelPosX", "-1.5", -150, &ML::updateModelTransformTask},
      {"cameraPosX", "12.7", 127, &ML::updateCameraPosTask},
      {"cameraFpZ", "-40", -40, &ML::updateCameraFpTask},
      {"lightPosY", "25", 25, &ML::updateLightPosTask}};
  for (const auto& [field, typed, stored, task] : fields)
  {
    type(item(field), typed);
    EXPECT_EQ(manager->property(field).toInt(), stored) << field;
    last(task);
  }
  EXPECT_DOUBLE_EQ(tasks[0].second.modelScale[0], 2.5);
  EXPECT_DOUBLE_EQ(tasks[4].second.cameraPosition[0], 127.0);
  QQuickItem* scaleX = item("modelScaleX");
  EXPECT_EQ(scaleX->property("displayText").toString(), "2.50");
  click(scaleX->property("up").value<QObject*>()->property("indicator").value<QQuickItem*>());
  EXPECT_EQ(manager->modelScaleX(), 350);

  EXPECT_EQ(item("upAxisComboBox")->property("currentIndex").toInt(), 1);
  click(item("upAxisComboBox"));
  click(itemWithText("+Z"));
  EXPECT_EQ(last(&ML::updateDirectionTask).upDirection, 2); // no grid task: it redraws the grid
  EXPECT_TRUE(manager->showGrid());
  EXPECT_TRUE(item("gridButton")->property("checked").toBool());
}

TEST_F(Window, ToolBarButtonsAndSliders)
{
  const auto buttons = items("QQuickToolButton", item("toolBar"));
  for (QQuickItem* button : buttons)
  {
    const auto icon = items("QQuickIconImage", button);
    EXPECT_TRUE(icon.size() == 1 && icon[0]->property("status").toInt() == 1) // Image.Ready
        << button->objectName().toStdString();
  }
  // Every button and field says what it is to assistive tools.
  QList<QQuickItem*> controls = buttons + items("QQuickSpinBox");
  for (QQuickItem* control : controls)
  {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    EXPECT_TRUE(accessible && !accessible->text(QAccessible::Name).isEmpty())
        << control->objectName().toStdString();
  }
  QTest::mouseMove(window, item("gridButton")->mapToScene(QPointF(10, 10)).toPoint());
  EXPECT_NE(itemWithText("Show/hide grid"), nullptr);

  recordTasks();
  // Both axes are written before the one direction update.
  const std::tuple<const char*, int, int> presets[] = {
      {"viewZUpYLeftButton", 2, 4}, {"viewZUpXLeftButton", 2, 3}, {"viewYUpButton", 1, 0}};
  for (const auto& [button, up, right] : presets)
  {
    tasks.clear();
    click(item(button));
    const auto state = last(&ML::updateDirectionTask);
    EXPECT_TRUE(tasks.size() == 1 && state.upDirection == up && state.rightDirection == right)
        << button;
  }

  QQuickItem* speed = item("speedSlider");
  auto* handle = speed->property("handle").value<QQuickItem*>();
  const auto dragTo = [&](qreal x)
  {
    const QPointF from = handle->mapToScene(QPointF(handle->width(), handle->height()) / 2);
    const QPointF to = speed->mapToScene(QPointF(x, speed->height() / 2));
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, from.toPoint());
    QTest::mouseMove(window, ((from + to) / 2).toPoint());
    QTest::mouseMove(window, to.toPoint());
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, to.toPoint());
    return manager->speedVal();
  };
  EXPECT_NEAR(dragTo(-200), 0.1, 1e-9);
  EXPECT_NEAR(dragTo(speed->width() + 200), 5.0, 1e-9);
  const double middle = dragTo(speed->width() * 0.45);
  EXPECT_TRUE(middle > 0.1 && middle < 5.0 &&
              std::abs(middle * 10 - std::round(middle * 10)) < 1e-6)
      << middle;

  click(item("aboutButton"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return object("aboutDialog")->property("opened").toBool(); }));
  const QString address = item("contactField")->property("text").toString();
  EXPECT_TRUE(address.contains('@') && item("contactField")->property("selectedText") == address);
}

// A window left open must cost nothing: frames come only when something changed.
// Stopped, the time readout and the frame step; while playing, every frame shows
// at most one clock step and the clip moves on.
TEST_F(Window, AnIdleWindowDrawsNothingAndPlaybackDrawsOneStepAFrame)
{
  ASSERT_TRUE(load({model("arm_two_clips.glb")}));
  int frames = 0, steps = 0;
  QObject::connect(window, &QQuickWindow::frameSwapped, manager, [&] { ++frames; });
  QObject::connect(manager, &ML::Manager::sliderValChanged, [&] { ++steps; });
  QTest::qWait(300); // the load's own frames
  frames = 0;
  QTest::qWait(1000);
  EXPECT_EQ(frames, 0);

  // Stopped, the readout shows the clip's start and length; a step moves one frame.
  EXPECT_EQ(item("timeReadout")->property("text").toString(), "0.00 / 2.04 s");
  click(item("stepForwardButton"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return manager->sliderVal() > 0; }));
  EXPECT_EQ(item("timeReadout")->property("text").toString(), "0.03 / 2.04 s");
  QTest::qWait(300);
  frames = 0;

  manager->findAnimatedModel();
  manager->playToggle();
  QTest::qWait(1000);
  EXPECT_GT(manager->sliderVal(), 0.0);
  EXPECT_GT(steps, 2);
  EXPECT_LE(steps, frames + 1) << "steps queued faster than they are drawn";

  manager->playToggle();
  QTest::qWait(300);
  frames = steps = 0;
  QTest::qWait(1000);
  EXPECT_EQ(frames + steps, 0);
}

// A big file loads beside a view that keeps drawing: playback of the model shown goes
// on, the busy window follows the read, and a cancelled open leaves the scene as it was.
TEST_F(Window, LoadsRunBesideAPlayingViewAndACancelledOneKeepsTheScene)
{
  const QString arm = model("arm_two_clips.glb"), sheet = model("sheet_500k.glb");
  ASSERT_TRUE(load({arm}));
  manager->findAnimatedModel();
  manager->playToggle();
  // Frames swapped between the first progress report and the end of the load: a
  // load inside the scene graph's synchronisation would allow none.
  std::atomic<bool> reading = false;
  std::atomic<int> frames = 0;
  QList<double> progress;
  QObject::connect(
      window, &QQuickWindow::frameSwapped, window, [&] { frames += reading ? 1 : 0; },
      Qt::DirectConnection);
  QObject::connect(manager, &ML::Manager::loadProgressChanged,
                   [&]
                   {
                     progress.append(manager->loadProgress());
                     reading = true;
                   });
  QObject::connect(manager, &ML::Manager::openSourceEnd, [&] { reading = false; });
  QTest::qWait(200);
  const double playedBefore = manager->sliderVal();
  manager->addModelUrl(QUrl::fromLocalFile(sheet));
  ASSERT_TRUE(load());
  EXPECT_GT(frames, 0) << "the view stopped drawing while the file loaded";
  EXPECT_NE(manager->sliderVal(), playedBefore);
  ASSERT_GT(progress.size(), 3);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end() - 1)) << "progress went back";
  EXPECT_EQ(progress.last(), 0.0); // the end clears it
  EXPECT_EQ(manager->modelNames(), QStringList({arm, sheet}));

  // Opened the way the dialog does, then cancelled from the busy window.
  QMetaObject::invokeMethod(
      window, "openModelFiles",
      Q_ARG(QVariant, QVariant::fromValue(QList<QUrl>{QUrl::fromLocalFile(sheet)})));
  ASSERT_TRUE(splash->isVisible());
  auto* cancel = splash->findChild<QQuickItem*>("cancelLoadButton");
  ASSERT_NE(cancel, nullptr);
  QTest::mouseClick(splash, Qt::LeftButton, Qt::NoModifier,
                    cancel->mapToScene(QPointF(cancel->width(), cancel->height()) / 2).toPoint());
  ASSERT_TRUE(load());
  EXPECT_FALSE(splash->isVisible());
  EXPECT_EQ(manager->modelNames(), QStringList({arm, sheet}));
  EXPECT_EQ(manager->treeModel()->rowCount(), 2);
  EXPECT_EQ(manager->recentFiles().value(0), sheet);
  manager->playToggle();
}

// Dragging in the view turns the camera; its feedback reaches the window on the GUI
// thread and never inside the scene graph's synchronisation (the test also runs
// under the basic render loop, where that happens on the GUI thread).
TEST_F(Window, ViewInputReachesTheWindowOnTheGuiThreadOutsideTheSynchronisation)
{
  ASSERT_TRUE(load({model("arm_two_clips.glb")}));
  bool synchronising = false;
  int heard = 0, misplaced = 0;
  QObject::connect(
      window, &QQuickWindow::beforeSynchronizing, window, [&] { synchronising = true; },
      Qt::DirectConnection);
  QObject::connect(
      window, &QQuickWindow::afterSynchronizing, window, [&] { synchronising = false; },
      Qt::DirectConnection);
  const auto probe = [&]
  {
    ++heard;
    misplaced +=
        synchronising || QThread::currentThread() != QCoreApplication::instance()->thread();
  };
  for (auto signal : {&ML::Manager::cameraPosXChanged, &ML::Manager::cameraPosYChanged,
                      &ML::Manager::cameraPosZChanged})
    QObject::connect(manager, signal, probe);
  // A left drag from the background turns the camera around the model.
  const QPoint from = view->mapToScene(QPointF(10, 10)).toPoint();
  QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, from);
  for (int step = 1; step <= 10; ++step)
  {
    QMouseEvent move(QEvent::MouseMove, from + QPoint(15 * step, 10 * step),
                     window->mapToGlobal(from + QPoint(15 * step, 10 * step)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    QTest::qWait(20);
  }
  QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, from + QPoint(150, 100));
  QTest::qWait(200);
  EXPECT_GT(heard, 0);
  EXPECT_EQ(misplaced, 0);
}

// Files dropped on the window: model files open, with Shift they join the scene;
// anything else is refused with the open error and the scene stays.
TEST_F(Window, DroppedModelFilesOpenOrJoinWithShift)
{
  const auto drop = [this](const QString& path, Qt::KeyboardModifiers modifiers = {})
  {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at = view->mapToScene(QPointF(view->width() / 2, view->height() / 2)).toPoint();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(window, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(window, &move);
    QDropEvent dropped(at, Qt::CopyAction, &mime, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(window, &dropped);
  };
  const QString arm = model("arm_two_clips.glb"), cube = model("textured_cube.glb");
  drop(arm);
  ASSERT_TRUE(load());
  QTest::keyPress(window, Qt::Key_Shift, Qt::ShiftModifier); // held, as a user would
  drop(cube, Qt::ShiftModifier);
  QTest::keyRelease(window, Qt::Key_Shift);
  ASSERT_TRUE(load());
  EXPECT_EQ(manager->modelNames(), QStringList({arm, cube}));
  drop(model("checker.png"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return visible("openErrorDialog"); }));
  EXPECT_EQ(manager->modelNames(), QStringList({arm, cube}));
}

// The keys a user reaches for: the file commands with Ctrl, Space to play and stop,
// the arrows to step a frame, Home to frame the scene; the menus show the keys.
// Alt+F opens the File menu every time: no tool button takes a menu's letter.
// The View menu also opens the file report.
TEST_F(Window, KeyboardShortcutsRunTheirCommands)
{
  ASSERT_TRUE(load({model("arm_two_clips.glb")}));
  for (int press = 0; press < 2; ++press)
  {
    QTest::keyClick(window, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return visible("fileMenu"); })) << press;
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !visible("fileMenu"); }));
  }
  QTest::keyClick(window, Qt::Key_Right);
  EXPECT_TRUE(QTest::qWaitFor([&] { return manager->sliderVal() > 0; }));
  QTest::keyClick(window, Qt::Key_Left);
  EXPECT_TRUE(QTest::qWaitFor([&] { return manager->sliderVal() == 0; }));
  const QString stopped = manager->playIcon();
  QTest::keyClick(window, Qt::Key_Space);
  EXPECT_NE(manager->playIcon(), stopped);
  QTest::keyClick(window, Qt::Key_Space);
  EXPECT_EQ(manager->playIcon(), stopped);

  // The file report (View › File report..) shows in a dialog.
  manager->requestFileReport();
  ASSERT_TRUE(QTest::qWaitFor([&] { return visible("fileReportDialog"); }));
  EXPECT_TRUE(
      object("fileReportArea")->property("text").toString().startsWith(model("arm_two_clips.glb")));
  click(itemWithText("Close"));

  QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
  auto* dialog = object("openModelDialog")->property("fallbackDialog").value<QObject*>();
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->property("visible").toBool(); }));
}

class UrlCatcher : public QObject
{
  Q_OBJECT
public slots:
  void open(const QUrl& url) { urls.append(url); }

public:
  QList<QUrl> urls;
};

TEST_F(Window, MenusKeepRecentFilesShareTheToolButtonsChecksAndOpenTheHelpPage)
{
  const auto openRecentFiles = [&]
  {
    click(menuEntry("&File", "Recent Files"));
    return QTest::qWaitFor([&] { return visible("recentFilesSubMenu"); });
  };
  EXPECT_FALSE(menuEntry("&File", "Recent Files")->isEnabled());
  click(itemWithText("Spot Light")); // a click beside the menu closes it
  const QString cube = model("textured_cube.glb"), arm = model("arm_two_clips.glb");
  ASSERT_TRUE(load({cube}) && load({arm}));
  ASSERT_TRUE(openRecentFiles());
  click(itemWithText(cube)); // the entry shows the full path
  ASSERT_TRUE(load());
  EXPECT_EQ(manager->modelNames(), QStringList({cube}));
  EXPECT_EQ(manager->recentFiles(), QStringList({cube, arm}));
  EXPECT_EQ(splashShown, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !visible("fileMenu"); }));

  ASSERT_TRUE(openRecentFiles());
  click(item("clearRecentFilesMenuItem"));
  EXPECT_TRUE(manager->recentFiles().isEmpty());
  EXPECT_FALSE(menuEntry("&File", "Recent Files")->isEnabled());
  click(itemWithText("Spot Light"));

  recordTasks();
  click(item("wireframeButton"));
  EXPECT_TRUE(last(&ML::applyWireframe).wireFrame);
  click(item("gridButton"));
  EXPECT_TRUE(last(&ML::applyGrid).showGrid);
  click(menuEntry("&View", "&Axes"));
  EXPECT_TRUE(last(&ML::applyAxes).showAxes);
  EXPECT_TRUE(object("gridMenuItem")->property("checked").toBool());
  EXPECT_TRUE(item("axesButton")->property("checked").toBool());
  manager->setShowGrid(false); // whoever changes the Manager
  EXPECT_FALSE(item("gridButton")->property("checked").toBool());
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  click(menuEntry("&Help", "Readme/Privacy Policy"));
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(catcher.urls.size(), 1);
  EXPECT_TRUE(contents(catcher.urls[0].toLocalFile()).contains("Privacy policy"));
}

TEST_F(Window, FileDialogsCancelOrLoadBehindTheSplashAndFailuresShowTheirMessage)
{
  const QStringList models = {"FBX Autodesk(*.fbx)", "glTF Khronos(*.gltf)", "glTF Binary(*.glb)",
                              "DAE Collada(*.dae)", "All files (*)"};
  const QStringList exports = {models[2], models[1], models[3], models[0], models[4]};
  // Several files to open, one to add, one to save (the path dialog of ours asks).
  const std::tuple<const char*, const char*, QStringList, int> dialogs[] = {
      {"openButton", "openModelDialog", models, 1},
      {"addButton", "addModelDialog", models, 0},
      {"exportButton", "exportSceneDialog", exports, 2}};
  QObject* shown = nullptr;
  const auto open = [&](const char* button, const char* chooser)
  {
    click(item(button));
    shown = object(chooser)->property("fallbackDialog").value<QObject*>();
    return QTest::qWaitFor([&] { return shown->property("visible").toBool(); });
  };
  recordTasks();
  for (const auto& [button, chooser, filters, mode] : dialogs)
  {
    const auto* dialog =
        object(chooser)->property(mode == 2 ? "nativeDialog" : "fallbackDialog").value<QObject*>();
    EXPECT_EQ(dialog->property("nameFilters").toStringList(), filters);
    EXPECT_EQ(dialog->property("fileMode").toInt(), mode);
    ASSERT_TRUE(open(button, chooser));
    click(itemWithText("Cancel"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown->property("visible").toBool(); }));
  }
  EXPECT_TRUE(tasks.empty() && manager->recentFiles().isEmpty() && splashShown == 0);
  view->setTaskDispatcher({});

  // In the file's folder under the GLB filter: the file, then "Open".
  const auto choose = [&](const char* button, const char* chooser, const QString& path)
  {
    ASSERT_TRUE(open(button, chooser));
    shown->setProperty("currentFolder", QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
    if (QQuickItem* filter = items("QQuickComboBox", nullptr, "FBX Autodesk(*.fbx)").value(0))
    {
      click(filter); // the first one, until the dialog was used
      click(itemWithText("glTF Binary(*.glb)"));
    }
    click(itemWithText(QFileInfo(path).fileName()));
    click(itemWithText("Open"));
  };
  const QString arm = QFileInfo(model("arm_two_clips.glb")).absoluteFilePath();
  const QString cube = QFileInfo(model("textured_cube.glb")).absoluteFilePath();
  choose("openButton", "openModelDialog", arm);
  EXPECT_EQ(splashShown, 1);
  ASSERT_TRUE(load());
  choose("addButton", "addModelDialog", cube);
  EXPECT_EQ(splashShown, 2);
  ASSERT_TRUE(load());
  EXPECT_FALSE(splash->isVisible());
  EXPECT_EQ(manager->modelNames(), QStringList({arm, cube}));

  // The export asks for a path; "#" needs escaping in a URL.
  ASSERT_TRUE(open("exportButton", "exportSceneDialog"));
  type(item("exportPathField"), "/nonexistent-folder/scene.glb");
  ASSERT_TRUE(QTest::qWaitFor([&] { return visible("exportErrorDialog"); }, 60000));
  EXPECT_NE(itemWithText("Unable to export into the scene."), nullptr);
  EXPECT_TRUE(object("exportErrorDialog")
                  ->property("informativeText")
                  .toString()
                  .startsWith("Cannot write in /nonexistent-folder"));
  click(itemWithText("OK"));
  ASSERT_TRUE(open("exportButton", "exportSceneDialog"));
  type(item("exportPathField"), configDir.filePath("scene #1.glb"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return visible("statusLabel"); }, 60000));
  EXPECT_TRUE(
      item("statusLabel")->property("text").toString().startsWith("Exported scene #1.glb ("));
  EXPECT_GT(QFileInfo(configDir.filePath("scene #1.glb")).size(), 0);

  ASSERT_TRUE(QFile::copy(":/main.qml", configDir.filePath("broken.glb")));
  choose("openButton", "openModelDialog", configDir.filePath("broken.glb"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return visible("openErrorDialog"); }, 60000));
  EXPECT_NE(itemWithText("Unable to open the file(s)."), nullptr);
  EXPECT_EQ(splashShown, 3);
  EXPECT_EQ(splashAtError, 0); // hidden already then, not only at the load's end
}
} // namespace

#include "test_ui_window.moc"
