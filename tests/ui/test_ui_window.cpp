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
#include "Manager.h"
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
  QString text(const char* name) const { return object(name)->property("text").toString(); }
  // Only those showing `label` (as text or display text) if given.
  QList<QQuickItem*> items(const char* type, QObject* under = nullptr, QString label = {}) const
  {
    QList<QQuickItem*> found;
    for (QObject* candidate : all(under ? under : window->contentItem()))
      if (auto* item = qobject_cast<QQuickItem*>(candidate);
          item && item->isVisible() && item->window() && item->window()->isVisible() &&
          item->inherits(type) &&
          (label.isNull() || item->property("text") == label ||
           item->property("displayText") == label))
        found.append(item);
    return found;
  }
  // Waits for popups and tooltips to come up.
  QQuickItem* itemWithText(const QString& label) const
  {
    QQuickItem* found = nullptr;
    (void)QTest::qWaitFor([&] { return found = items("QQuickItem", nullptr, label).value(0); });
    return found;
  }

  void click(QQuickItem* target, QPointF at = {-1, -1})
  {
    if (!target)
      return ADD_FAILURE() << "nothing to click";
    at = at.x() < 0 ? QPointF(target->width(), target->height()) / 2 : at;
    QTest::mouseClick(target->window(), Qt::LeftButton, Qt::NoModifier,
                      target->mapToScene(at).toPoint());
    QTest::qWait(30);
  }
  void type(QQuickItem* field, const QString& typed)
  {
    if (field->inherits("QQuickSpinBox"))
      field = field->property("contentItem").value<QQuickItem*>();
    click(field);
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    for (const QChar character : typed)
      QTest::keyClick(window, character.toLatin1());
    QTest::keyClick(window, Qt::Key_Return);
    QTest::qWait(30);
  }
  QQuickItem* menuEntry(const QString& menu, const QString& entry)
  {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !visible("fileMenu"); })); // closing takes a moment
    click(items("QQuickMenuBarItem", nullptr, menu).value(0));
    return itemWithText(entry);
  }

  void drop(const QString& path, Qt::KeyboardModifiers modifiers = {})
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
  }

  // From now on the commands' render tasks are recorded with the Manager's
  // state at the call (what the window wrote before it), not run.
  void recordTasks()
  {
    view->setTaskDispatcher([this](auto task) { tasks.emplace_back(task, manager->state); });
  }
  ML::ManagerState last(Task function) const
  {
    const Task* found = tasks.empty() ? nullptr : tasks.back().first.target<Task>();
    EXPECT_TRUE(found && *found == function) << "not the last task";
    return found ? tasks.back().second : ML::ManagerState();
  }

  bool load(const QStringList& paths = {})
  {
    if (!paths.isEmpty())
      manager->openModels(paths);
    const bool ended = QTest::qWaitFor([&] { return loadsEnded > loadsSeen; }, 60000);
    loadsSeen = loadsEnded;
    QTest::qWait(50);
    return ended;
  }

  // Written by the tests' connections, which outlive the test bodies.
  std::atomic<int> frames = 0;
  std::atomic<bool> reading = false, synchronising = false;
  int steps = 0, heard = 0, misplaced = 0;
  QList<double> progress;
  QTemporaryDir configDir;
  QQmlApplicationEngine engine;
  ML::Manager* manager = new ML::Manager(&engine);
  QQuickWindow* window = nullptr;
  QQuickWindow* splash = nullptr;
  ML::VtkItem* view = nullptr;
  std::vector<std::pair<ML::VtkItem::RenderTask, ML::ManagerState>> tasks;
  int loadsEnded = 0, loadsSeen = 0, splashShown = 0, splashAtError = -1;
};

TEST_F(Window, LoadedModelsFillTitleAnimationBoxAndTree)
{
  const QString arm = ML::Test::fixtureFile("arm_two_clips.glb"); // two clips, the cube none
  ASSERT_TRUE(load({arm, ML::Test::fixtureFile("textured_cube.glb")}));
  EXPECT_EQ(window->title(), arm);

  manager->setCurrentModel(1);
  click(item("animationComboBox"));
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
  QQuickItem* node = rows[1]; // the load's end expands the file rows one level
  ASSERT_EQ(node->property("depth").toInt(), 1);
  const auto box = [](QQuickItem* row) { return row->findChild<QQuickItem*>("nodeCheckBox"); };
  EXPECT_TRUE(!box(rows[0])->isVisible() && box(node)->isVisible() &&
              box(node)->property("checked").toBool());

  recordTasks();
  const QPointF right(node->width() - 10, 3); // clear of arrow and box
  click(node, right);
  const aiNode* picked = manager->selectedNode; // the row shows "name[...]"
  ASSERT_TRUE(picked && node->property("display").toString().startsWith(picked->mName.C_Str()));
  EXPECT_EQ(QColor(window->grabWindow().pixel(node->mapToScene(right).toPoint())).name(),
            "#578fc7");
  click(item("clearSelectionButton"));
  EXPECT_EQ(manager->selectedNode, nullptr);
  EXPECT_EQ(item("treeView")->property("currentRow").toInt(), -1);
  tasks.clear();
  click(box(node));
  EXPECT_EQ(tasks.size(), 1u);
  EXPECT_FALSE(box(node)->property("checked").toBool());
  EXPECT_EQ(manager->selectedNode, picked);

  view->setTaskDispatcher({}); // the close has to run
  click(item("closeAllButton"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->title() == "Marionette-Lab 3D"; }, 20000));
}

TEST_F(Window, ToolBarAndSidePanelsWriteTheirValueThenCallTheirCommand)
{
  // Every button and field says what it is to assistive tools; every tool button
  // shows its icon, loaded (an Image.Ready status).
  const auto buttons = items("QQuickToolButton", item("toolBar"));
  for (QQuickItem* control : buttons + items("QQuickSpinBox"))
  {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    const auto icon = items("QQuickIconImage", control);
    EXPECT_TRUE(accessible && !accessible->text(QAccessible::Name).isEmpty() &&
                (!buttons.contains(control) ||
                 (icon.size() == 1 && icon[0]->property("status").toInt() == 1)))
        << control->objectName().toStdString();
  }

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

  window->resize(window->width(), 1000); // the whole Properties page without scrolling
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
  EXPECT_TRUE(item("gridButton")->property("checked").toBool());

  QTest::mouseMove(window, item("gridButton")->mapToScene(QPointF(10, 10)).toPoint());
  EXPECT_NE(itemWithText("Show/hide grid"), nullptr);

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
  click(speed, QPointF(speed->width() * 0.45, speed->height() / 2));
  const double middle = manager->speedVal();
  EXPECT_TRUE(middle > 1.0 && middle < 5.0 &&
              std::abs(middle * 10 - std::round(middle * 10)) < 1e-6)
      << "not moved to a tenth: " << middle;

  click(item("aboutButton"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return object("aboutDialog")->property("opened").toBool(); }));
  const QString address = text("contactField");
  EXPECT_TRUE(address.contains('@') && item("contactField")->property("selectedText") == address);
}

// A window left open must cost nothing: frames come only when something changed, and
// while playing every frame shows at most one clock step. The camera's feedback to a drag
// in the view reaches the window on the GUI thread and never inside the scene graph's
// synchronisation (the test also runs under the basic render loop, which synchronises on
// the GUI thread).
TEST_F(Window, AnIdleWindowDrawsNothingPlaybackOneStepAFrameAndInputReachesTheGuiThread)
{
  ASSERT_TRUE(load({ML::Test::fixtureFile("arm_two_clips.glb")}));
  QObject::connect(window, &QQuickWindow::frameSwapped, manager, [&] { ++frames; });
  QObject::connect(manager, &ML::Manager::sliderValChanged, [&] { ++steps; });
  EXPECT_EQ(text("timeReadout"), "0.00 / 2.04 s");
  click(item("stepForwardButton"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return manager->sliderVal() > 0; }));
  EXPECT_EQ(text("timeReadout"), "0.03 / 2.04 s");
  QTest::keyClick(window, Qt::Key_Left);
  EXPECT_TRUE(QTest::qWaitFor([&] { return manager->sliderVal() == 0; }));
  QTest::keyClick(window, Qt::Key_Right);
  EXPECT_TRUE(QTest::qWaitFor([&] { return manager->sliderVal() > 0; }));
  QTest::qWait(300);

  frames = steps = 0;
  QTest::keyClick(window, Qt::Key_Space);
  QTest::qWait(1000);
  EXPECT_GT(steps, 2);
  EXPECT_LE(steps, frames + 1) << "steps queued faster than they are drawn";
  QTest::keyClick(window, Qt::Key_Space);
  QTest::qWait(300);
  frames = steps = 0;
  QTest::qWait(1000);
  EXPECT_EQ(frames + steps, 0);

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
  const QPoint from = view->mapToScene(QPointF(10, 10)).toPoint(); // the background
  QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, from);
  for (int step = 1; step <= 10; ++step)
  {
    QTest::mouseMove(window, from + QPoint(15 * step, 10 * step));
    QTest::qWait(20);
  }
  QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, from + QPoint(150, 100));
  QTest::qWait(200);
  EXPECT_GT(heard, 0);
  EXPECT_EQ(misplaced, 0);
}

// A big file loads beside a view that keeps drawing: playback of the model shown goes
// on, the busy window follows the read, and a cancelled open leaves the scene as it was.
TEST_F(Window, LoadsRunBesideAPlayingViewAndACancelledOneKeepsTheScene)
{
  const QString arm = ML::Test::fixtureFile("arm_two_clips.glb"),
                sheet = ML::Test::fixtureFile("sheet_500k.glb");
  ASSERT_TRUE(load({arm}));
  QTest::keyClick(window, Qt::Key_Space);
  // Frames swapped while the file is read, when only the playing model changes the
  // window: a load inside the scene graph's synchronisation would allow none.
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
  manager->addModelUrl(QUrl::fromLocalFile(sheet));
  ASSERT_TRUE(load());
  EXPECT_GT(frames, 0) << "the view stopped drawing while the file loaded";
  ASSERT_GT(progress.size(), 3);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end() - 1)) << "progress went back";
  EXPECT_EQ(progress.last(), 0.0); // the end clears it
  EXPECT_EQ(manager->modelNames(), QStringList({arm, sheet}));

  drop(sheet);
  click(splash->findChild<QQuickItem*>("cancelLoadButton"));
  ASSERT_TRUE(load());
  EXPECT_FALSE(splash->isVisible());
  EXPECT_EQ(manager->modelNames(), QStringList({arm, sheet}));
  EXPECT_EQ(manager->treeModel()->rowCount(), 2);
  manager->playToggle();
}

class UrlCatcher : public QObject
{
  Q_OBJECT
public:
  Q_INVOKABLE void open(const QUrl& url) { urls.append(url); }
  QList<QUrl> urls;
};

// Alt+F opens the File menu every time: no tool button takes a menu's letter.
TEST_F(Window, MenusKeepRecentFilesShareTheToolButtonsChecksAndOpenTheHelpPage)
{
  const auto openRecentFiles = [&]
  {
    click(menuEntry("&File", "Recent Files"));
    return QTest::qWaitFor([&] { return visible("recentFilesSubMenu"); });
  };
  EXPECT_FALSE(menuEntry("&File", "Recent Files")->isEnabled());
  click(itemWithText("Spot Light")); // a click beside the menu closes it
  const QString cube = ML::Test::fixtureFile("textured_cube.glb"),
                arm = ML::Test::fixtureFile("arm_two_clips.glb");
  ASSERT_TRUE(load({cube}) && load({arm}));
  for (int press = 0; press < 2; ++press)
  {
    QTest::keyClick(window, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return visible("fileMenu"); })) << press;
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !visible("fileMenu"); }));
  }
  click(menuEntry("&View", "File &report.."));
  ASSERT_TRUE(QTest::qWaitFor([&] { return visible("fileReportDialog"); }));
  EXPECT_TRUE(text("fileReportArea").startsWith(arm));
  click(itemWithText("Close"));
  ASSERT_TRUE(openRecentFiles());
  click(itemWithText(cube)); // the entry shows the full path
  ASSERT_TRUE(load());
  EXPECT_EQ(manager->modelNames(), QStringList({cube}));
  EXPECT_EQ(manager->recentFiles(), QStringList({cube, arm}));
  EXPECT_EQ(splashShown, 0);

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
  QFile page(catcher.urls.value(0).toLocalFile());
  EXPECT_TRUE(page.open(QIODevice::ReadOnly) && page.readAll().contains("Privacy policy"));

  QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier);
  auto* dialog = object("openModelDialog")->property("fallbackDialog").value<QObject*>();
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->property("visible").toBool(); }));
}

// Files chosen in a dialog or dropped on the window open behind the splash window; a
// dialog's add or a drop with Shift held joins the scene. A drop of anything else is
// refused with the open error and the scene stays.
TEST_F(Window, FileDialogsCancelOrLoadBehindTheSplashAndFailuresShowTheirMessage)
{
  // Several files to open, one to add, one to save (the path dialog of ours asks).
  const std::tuple<const char*, const char*, int> dialogs[] = {
      {"openButton", "openModelDialog", 1},
      {"addButton", "addModelDialog", 0},
      {"exportButton", "exportSceneDialog", 2}};
  QObject* shown = nullptr;
  const auto open = [&](const char* button, const char* chooser)
  {
    click(item(button));
    shown = object(chooser)->property("fallbackDialog").value<QObject*>();
    return QTest::qWaitFor([&] { return shown->property("visible").toBool(); });
  };
  recordTasks();
  for (const auto& [button, chooser, mode] : dialogs)
  {
    const auto* dialog =
        object(chooser)->property(mode == 2 ? "nativeDialog" : "fallbackDialog").value<QObject*>();
    EXPECT_EQ(dialog->property("fileMode").toInt(), mode);
    ASSERT_TRUE(open(button, chooser));
    click(itemWithText("Cancel"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shown->property("visible").toBool(); }));
  }
  EXPECT_TRUE(tasks.empty() && manager->recentFiles().isEmpty() && splashShown == 0);
  view->setTaskDispatcher({});

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
  const QString arm = ML::Test::fixtureFile("arm_two_clips.glb"),
                cube = ML::Test::fixtureFile("textured_cube.glb");
  choose("openButton", "openModelDialog", arm);
  ASSERT_TRUE(load());
  choose("addButton", "addModelDialog", cube);
  ASSERT_TRUE(load());
  EXPECT_EQ(manager->modelNames(), QStringList({arm, cube}));
  drop(cube);
  ASSERT_TRUE(load());
  QTest::keyPress(window, Qt::Key_Shift, Qt::ShiftModifier); // held, as a user would
  drop(arm, Qt::ShiftModifier);
  QTest::keyRelease(window, Qt::Key_Shift);
  ASSERT_TRUE(load());
  EXPECT_EQ(manager->modelNames(), QStringList({cube, arm}));
  drop(ML::Test::fixtureFile("checker.png"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return visible("openErrorDialog"); }));
  EXPECT_EQ(manager->modelNames(), QStringList({cube, arm}));
  click(itemWithText("OK"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !visible("openErrorDialog"); }));

  // The export asks for a path; "#" needs escaping in a URL.
  ASSERT_TRUE(open("exportButton", "exportSceneDialog"));
  type(item("exportPathField"), "/nonexistent-folder/scene.glb");
  ASSERT_TRUE(QTest::qWaitFor([&] { return visible("exportErrorDialog"); }, 60000));
  const QVariant reason = object("exportErrorDialog")->property("informativeText");
  EXPECT_TRUE(reason.toString().contains("/nonexistent-folder"));
  click(itemWithText("OK"));
  ASSERT_TRUE(open("exportButton", "exportSceneDialog"));
  type(item("exportPathField"), configDir.filePath("scene #1.glb"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return visible("statusLabel"); }, 60000));
  EXPECT_TRUE(text("statusLabel").startsWith("Exported scene #1.glb ("));
  EXPECT_GT(QFileInfo(configDir.filePath("scene #1.glb")).size(), 0);

  ASSERT_TRUE(QFile::copy(":/main.qml", configDir.filePath("broken.glb")));
  choose("openButton", "openModelDialog", configDir.filePath("broken.glb"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return visible("openErrorDialog"); }, 60000));
  EXPECT_EQ(splashShown, 5);   // one for each file chosen or dropped
  EXPECT_EQ(splashAtError, 0); // hidden already then, not only at the load's end
}
} // namespace

#include "test_ui_window.moc"
