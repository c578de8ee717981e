// The controller as the window and the render side use it: its properties, signals,
// commands and their render tasks, the recent files and settings file, the scene tree.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <vtkCamera.h>

#include <assimp/scene.h>

#include <array>
#include <functional>
#include <thread>

#include "AssimpImporter.h"
#include "CameraTasks.h"
#include "LoadTasks.h"
#include "MessageLog.h"
#include "SignalTrace.h"
#include "TestPaths.h"
#include "ViewHarness.h"

namespace ML::Test
{
namespace
{
QStringList numbered(int count)
{
  QStringList list;
  for (int i = 0; i < count; ++i)
    list.append("/m/f" + QString::number(i));
  return list;
}

class ManagerTest : public ::testing::Test
{
protected:
  QString copy(const QString& name, const char* source = "textured_cube.glb")
  {
    QFile::copy(fixtureFile(source), dir.filePath(name));
    return dir.filePath(name);
  }
  QStandardItem* row(int index) { return h.manager.treeModel()->item(index); }
  const aiScene* scene(size_t model) { return h.item.models.at(model)->importer->Scene; }
  // Whether the row and all below it point into the scene of the model its index
  // names: rows of unloaded scenes must never reach the render tasks.
  bool live(const QStandardItem* item)
  {
    const size_t model = item->data(Manager::ModelIndexRole).toUInt();
    bool result =
        model < h.item.models.size() &&
        sceneContainsNode(scene(model), item->data(Manager::ModelNodeRole).value<aiNode*>());
    for (int i = 0; i < item->rowCount(); ++i)
      result = result && live(item->child(i));
    return result;
  }

  // settings.json in `dir`, shared by runs of the program.
  void writeSettings(const QByteArray& bytes)
  {
    QFile file(dir.filePath("settings.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes));
  }
  QJsonObject settings()
  {
    QFile file(dir.filePath("settings.json"));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
  }
  QStringList stored()
  {
    return QVariant(settings().value("recentFiles").toArray().toVariantList()).toStringList();
  }
  // Reads the file at start unless started with file arguments, saves at the end.
  void run(const std::function<void(Manager&)>& during, bool withFileArguments = false)
  {
    Manager run;
    run.configDir = dir.path();
    if (!withFileArguments)
      run.loadRecentFiles();
    during(run);
    run.saveRecentFiles();
  }

  QTemporaryDir dir;
  ViewHarness h;
  Manager& manager = h.manager;
};

TEST_F(ManagerTest, PropertiesFollowTheWriteRules)
{
  QStandardItemModel other;
  QStandardItemModel* own = manager.treeModel();
  const QMetaObject* meta = manager.metaObject();
  SignalTrace trace(manager);
  for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
  {
    const QMetaProperty property = meta->property(i);
    if (!property.isWritable())
      continue;
    // Written as QML writes; 29 / 100 * 100 is not exact in binary.
    const QByteArray name = property.name();
    const QMap<int, QVariant> values{{QMetaType::Int, name == "currentLight" ? 2 : 29},
                                     {QMetaType::Bool, !property.read(&manager).toBool()},
                                     {QMetaType::Double, 0.5},
                                     {QMetaType::QColor, QColor(10, 20, 30)},
                                     {QMetaType::QString, "qrc:/other.png"}};
    const QVariant value = values.value(property.typeId(), QVariant::fromValue(&other));
    trace.clear();
    property.write(&manager, value);
    property.write(&manager, value);
    EXPECT_EQ(property.read(&manager), value) << name.data();
    EXPECT_EQ(trace.count(property.notifySignal().name()), 1) << name.data();
  }
  EXPECT_TRUE(own->parent() == &manager && other.parent() == nullptr);
  manager.setTreeModel(own);

  // The light values went to the first light; now the third is current.
  EXPECT_EQ(manager.lightColor(), QColor(255, 255, 255));
  manager.setCurrentLight(0);
  EXPECT_EQ(manager.lightColor(), QColor(10, 20, 30));
  trace.clear();
  manager.setCurrentLight(3);
  manager.setCurrentLight(-1);
  EXPECT_EQ(manager.currentLight(), 0);
  EXPECT_EQ(trace.count("currentLightChanged"), 0);

  for (int value : {-29, 57, 1, -999999, 1000000})
    EXPECT_EQ((manager.setModelRotateZ(value), manager.modelRotateZ()), value);
  manager.setModelScaleX(150);
  EXPECT_DOUBLE_EQ(manager.state.modelScale[0], 1.5);

  // Property, value written, value kept, notifications so far.
  trace.clear();
  const std::tuple<const char*, double, double, int> steps[] = {
      {"sliderVal", 1.0, 1.0, 1},          {"sliderVal", 1.5, 0.0, 2},
      {"sliderVal", -0.5, 0.0, 3},         {"sliderVal", 0.25, 0.25, 4},
      {"sliderVal", 0.25 + 1e-7, 0.25, 4}, {"speedVal", 2.0, 2.0, 1},
      {"speedVal", 0.0, 1.0, 2},           {"speedVal", -3.0, 1.0, 3},
      {"speedVal", 1.0 + 5e-8, 1.0, 3}};
  for (const auto& [name, written, kept, emitted] : steps)
  {
    manager.setProperty(name, written);
    EXPECT_DOUBLE_EQ(manager.property(name).toDouble(), kept) << name << written;
    EXPECT_EQ(trace.count(QString(name) + "Changed"), emitted) << name << written;
  }
}

TEST_F(ManagerTest, SignalsReachTheWindowOnTheGuiThreadAfterTheRenderTask)
{
  SignalTrace trace(manager);
  h.data->renderer->GetActiveCamera()->SetPosition(12.7, -3.9, 100.2);
  h.data->renderer->GetActiveCamera()->SetFocalPoint(0.0, 0.0, -3.5);
  std::thread(
      [&]
      {
        manager.setNumberOfAnimations(3);
        manager.state.sceneLight = true;
        manager.notify(&Manager::sceneLightChanged);
        manager.runOnGuiThread([&] { emit manager.openSourceEnd(); });
        onCameraChanged(nullptr, 0, h.data, nullptr);
      })
      .join();
  EXPECT_EQ(manager.numberOfAnimations(), 3);

  QCoreApplication::processEvents();
  EXPECT_EQ(trace.names, (QStringList{"numberOfAnimationsChanged", "sceneLightChanged",
                                      "openSourceEnd", "cameraPosXChanged", "cameraPosYChanged",
                                      "cameraPosZChanged", "cameraFpZChanged"}));
  // The window shows whole units, cut toward zero.
  EXPECT_EQ((std::array{manager.cameraPosX(), manager.cameraPosY(), manager.cameraPosZ(),
                        manager.cameraFpZ()}),
            (std::array{12, -3, 100, -3}));

  // Qt Quick's non-threaded render loop runs render tasks on the GUI thread.
  trace.names.clear();
  {
    Manager::RenderTaskScope task;
    manager.setShowGrid(true);
    manager.runOnGuiThread([&] { emit manager.openSourceEnd(); });
  }
  manager.setShowAxes(true);
  EXPECT_EQ(trace.names, QStringList{"showAxesChanged"});
  QCoreApplication::processEvents();
  EXPECT_EQ(trace.names, (QStringList{"showAxesChanged", "showGridChanged", "openSourceEnd"}));
  EXPECT_EQ(trace.threads, QList<QThread*>(trace.threads.size(), manager.thread()));
}

TEST_F(ManagerTest, AnimationControlsPickTheAnimatedModelAndQueueOneStepAtATimeWhilePlaying)
{
  h.open({fixtureFile("textured_cube.glb"), fixtureFile("arm_two_clips.fbx"),
          fixtureFile("arm_two_clips.glb")});
  for (const auto& [current, chosen] : {std::pair{0, 1}, {2, 2}, {-1, 1}, {3, 1}})
  {
    manager.state.currentModel = current;
    manager.findAnimatedModel();
    EXPECT_EQ(manager.state.currentModel, chosen) << current;
  }

  h.open({fixtureFile("textured_cube.glb"), fixtureFile("four_lights.glb")});
  manager.state.currentModel = 5;
  manager.findAnimatedModel();
  EXPECT_EQ(manager.state.currentModel, 5);

  SignalTrace trace(manager);
  const QString stopped = manager.playIcon();
  manager.playToggle();
  EXPECT_NE(manager.playIcon(), stopped);
  EXPECT_TRUE(manager.animationTimer.isActive());
  // A step is queued only once the one before it has run: a slow view draws every
  // step it gets instead of falling behind.
  manager.timerSlot();
  manager.timerSlot();
  EXPECT_EQ(h.pending.size(), 2u); // the start and one step
  h.runTasks();
  manager.timerSlot();
  EXPECT_EQ(h.pending.size(), 1u);
  manager.playToggle();
  EXPECT_EQ(manager.playIcon(), stopped);
  EXPECT_EQ(trace.count("playIconChanged"), 2);
  EXPECT_EQ(h.pending.size(), 1u); // stopping queues nothing
  // The first tick after stopping stops the clock: an idle window wakes nobody.
  h.runTasks();
  manager.timerSlot();
  EXPECT_TRUE(h.pending.empty());
  EXPECT_FALSE(manager.animationTimer.isActive());
}

TEST_F(ManagerTest, ViewCommandsApplyTheValuesCurrentWhenTheirTaskRuns)
{
  for (auto command :
       {&Manager::updateShowAxes, &Manager::updateSceneLight, &Manager::updateBackground,
        &Manager::updateDirection, &Manager::updateCameraPos, &Manager::updateCameraFp,
        &Manager::updateCurrentLight, &Manager::updateLightPos, &Manager::updateLightFp})
    std::invoke(command, manager);
  const QVariantMap values{{"showAxes", true}, {"sceneLight", true},  {"backgroundColor", 3},
                           {"upDirection", 2}, {"rightDirection", 4}, {"cameraPosY", 20},
                           {"cameraFpZ", 6},   {"currentLight", 1},   {"lightPosX", 7},
                           {"lightFpY", 3}}; // in name order: currentLight before the light values
  for (auto value = values.begin(); value != values.end(); ++value)
    manager.setProperty(value.key().toLatin1(), *value);
  const double blue = h.data->renderer->GetBackground()[2];
  EXPECT_FALSE(h.data->axesWidget->GetEnabled());
  h.runTasks();
  EXPECT_TRUE(h.data->axesWidget->GetEnabled());
  EXPECT_TRUE(h.data->lights[1]->GetSwitch());
  EXPECT_NE(h.data->renderer->GetBackground()[2], blue);
  expectNear(h.data->renderer->GetEnvironmentUp(), {0.0, 0.0, 1.0});
  expectNear(h.data->renderer->GetEnvironmentRight(), {0.0, -1.0, 0.0});
  vtkCamera* camera = h.data->renderer->GetActiveCamera();
  expectNear(camera->GetFocalPoint(), {0.0, 0.0, 6.0});
  expectNear(h.data->lights[1]->GetPosition(), {7.0, 0.0, 0.0});
  expectNear(h.data->lights[1]->GetFocalPoint(), {0.0, 3.0, 0.0});
  EXPECT_NE(h.data->lights[2]->GetPosition()[0], 7.0);

  manager.setCameraPosX(10);
  h.runTasks();
  expectNear(camera->GetPosition(), {0.0, 20.0, 0.0});
  manager.updateCameraPos();
  h.runTasks();
  expectNear(camera->GetPosition(), {10.0, 20.0, 0.0});
}

TEST_F(ManagerTest, OpenRecordsOnlyItsFirstPathInFrontAndKeepsTheSceneUntilTheFilesAreIn)
{
  const QString lower = copy("model.glb");
  const QString upper = copy("Model.glb");
  h.open({lower});
  manager.state.recentFiles = QStringList{"/m/a.glb", lower} + numbered(17); // 19 of 20

  SignalTrace trace(manager);
  manager.openModels({upper, lower});
  EXPECT_EQ(trace.events(), QStringList({"recentFilesChanged"}));
  EXPECT_EQ(manager.state.recentFiles, QStringList({upper, "/m/a.glb", lower}) + numbered(17));
  EXPECT_TRUE(manager.loading());
  EXPECT_EQ(manager.treeModel()->rowCount(), 1);
  EXPECT_EQ(manager.state.modelNames, QStringList({lower}));
  h.runTasks();
  EXPECT_FALSE(manager.loading());
  EXPECT_EQ(manager.treeModel()->rowCount(), 2);
  EXPECT_EQ(manager.state.modelNames, QStringList({upper, lower}));

  manager.openModels({lower});
  EXPECT_EQ(manager.state.recentFiles.mid(0, 3), QStringList({lower, upper, "/m/a.glb"}));
  h.runTasks();
  const QString third = copy("third.glb"); // a full list drops its oldest entry
  manager.openModels({third});
  EXPECT_EQ(manager.state.recentFiles,
            QStringList({third, lower, upper, "/m/a.glb"}) + numbered(16));
  h.runTasks();

  // An unusual extension is logged and the file still opened.
  for (const auto& [path, unusual] : {std::pair{copy("cube.Glb"), true},
                                      {QString::fromStdString(assimpModel("OBJ/box.obj")), true},
                                      {copy("arm.FBX", "arm_two_clips.fbx"), false}})
  {
    MessageLog log;
    manager.openModelUrls({QUrl::fromLocalFile(path)});
    EXPECT_EQ(log.count("extension"), unusual ? 1 : 0) << path.toStdString();
    h.runTasks();
    EXPECT_EQ(h.item.models.size(), 1u) << path.toStdString();
  }
}

TEST_F(ManagerTest, RequestsThatLoadNothingOnlyReportAndEndAndACloseEmptiesTheNamesAtOnce)
{
  const QString cube = fixtureFile("textured_cube.glb");
  const QStringList ends{"openSourceEnd"};
  const QStringList fails{"openSourceError", "openSourceEnd"};
  const std::pair<std::function<void()>, QStringList> requests[] = {
      {[&] { manager.addModelUrl(QUrl::fromLocalFile(cube)); }, ends}, // nothing to add to
      {[&] { h.open({cube}); }, {}},
      {[&] { manager.openModels({}); }, ends},
      {[&] {
         manager.openModels({"/no/such.glb", cube});
       },
       fails},
      {[&] { manager.openModelUrls({QUrl("https://example.org/a.glb")}); }, fails},
      {[&] { manager.addModelUrl(QUrl::fromLocalFile("/no/such.glb")); }, fails},
  };
  for (const auto& [request, signalNames] : requests)
  {
    const QStringList recent = manager.state.recentFiles;
    const QStringList names = manager.state.modelNames;
    SignalTrace trace(manager);
    MessageLog log;
    request();
    if (signalNames.isEmpty())
      continue;
    EXPECT_EQ(trace.events(), signalNames);
    EXPECT_EQ(log.count(" Does not exist"), signalNames == fails ? 1 : 0);
    EXPECT_TRUE(h.pending.empty());
    EXPECT_EQ(manager.state.recentFiles, recent);
    EXPECT_EQ(manager.state.modelNames, names);
    EXPECT_EQ(manager.treeModel()->rowCount(), names.size());
  }

  manager.addModelUrl(QUrl::fromLocalFile(fixtureFile("four_lights.glb")));
  h.runTasks();
  EXPECT_EQ(manager.state.modelNames, QStringList({cube, fixtureFile("four_lights.glb")}));
  EXPECT_EQ(manager.state.recentFiles, QStringList{cube});

  // A close empties the names at once; the window hears of it while the old ones last.
  const QString names = manager.modelNames().join(',');
  QStringList namesSeen;
  QObject watcher;
  QObject::connect(&manager, &Manager::modelNamesChanged, &watcher,
                   [&] { namesSeen.append(manager.modelNames().join(',')); });
  manager.clearModels();
  EXPECT_TRUE(manager.state.modelNames.isEmpty());
  EXPECT_EQ(namesSeen, QStringList{names});
  h.runTasks();
  EXPECT_EQ(namesSeen.last(), QString());

  EXPECT_EQ(manager.displayableFilePath("file:///tmp/a%20b.glb"), "/tmp/a b.glb");
  EXPECT_EQ(manager.displayableFilePath("https://example.org/a.glb"), "");
}

TEST_F(ManagerTest, EachRunSavesTheRecentFilesAsTheUserSawThemMostRecentFirst)
{
  writeSettings(QJsonDocument({{"recentFiles", QJsonArray{7, "/m/a", QJsonValue(), "/m/b", true}},
                               {"windowWidth", 1280}})
                    .toJson());
  run([](Manager& m) { m.state.recentFiles.prepend("/m/c"); });
  EXPECT_EQ(stored(), QStringList({"/m/c", "/m/a", "/m/b"}));
  run([](Manager& m) { m.state.recentFiles = {"/m/b"}; }, true); // unread
  EXPECT_EQ(stored(), QStringList({"/m/b", "/m/c", "/m/a"}));
  // Started with files, the menu is empty: clearing it leaves the history alone.
  run([](Manager& m) { m.clearRecentFiles(); }, true);
  EXPECT_EQ(stored(), QStringList({"/m/b", "/m/c", "/m/a"}));

  run(
      [](Manager& m)
      {
        SignalTrace trace(m);
        m.clearRecentFiles();
        m.clearRecentFiles();
        EXPECT_EQ(trace.count("recentFilesChanged"), 1);
        m.state.recentFiles.prepend("/m/d");
        m.setLoadOnStartup(true);
      });
  EXPECT_EQ(stored(), QStringList{"/m/d"});
  run([](Manager& m) { m.state.recentFiles = numbered(25); }, true);
  EXPECT_EQ(stored(), numbered(20));
  EXPECT_TRUE(settings().value("loadOnStartup").toBool());
  run([](Manager& m) { EXPECT_TRUE(m.state.loadOnStartup); });
  run([](Manager& m) { m.setLoadOnStartup(false); });
  EXPECT_FALSE(settings().value("loadOnStartup").toBool(true));
  EXPECT_EQ(settings().value("windowWidth").toInt(), 1280);

  // A damaged file is set aside, a missing directory created, an unusable one reported.
  writeSettings(QByteArray("not json at all"));
  run([](Manager& m) { m.state.recentFiles = {"/m/a.glb"}; });
  QFile aside(dir.filePath("settings.json.bad"));
  ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
  EXPECT_EQ(aside.readAll(), QByteArray("not json at all"));
  EXPECT_EQ(stored(), QStringList({"/m/a.glb"}));

  manager.configDir = dir.filePath("new/marionette");
  EXPECT_FALSE(manager.loadRecentFiles());
  manager.saveRecentFiles();
  EXPECT_TRUE(QFile::exists(manager.configDir + "/settings.json"));

  manager.configDir = dir.filePath("settings.json/config"); // below a plain file
  MessageLog log;
  manager.saveRecentFiles();
  EXPECT_TRUE(log.contains(manager.configDir + "/settings.json"));
}

// "Marionette" holds "Figure" with four meshes, "Hips" with the skeleton and no mesh,
// and "ControlBar" with "Crossbar" below it.
TEST_F(ManagerTest, TreeRowsFollowTheNodeTreeAndHandTheirNodeToTheRenderSide)
{
  h.open({fixtureFile("textured_cube.glb"), ML_BINARY_DIR "/samples/marionette.glb"});
  QStandardItem* top = row(1);
  EXPECT_EQ(top->text(), "marionette.glb");
  EXPECT_FALSE(top->isCheckable());
  EXPECT_EQ(top->data(Manager::ModelNodeRole).value<aiNode*>(), scene(1)->mRootNode);
  ASSERT_TRUE(top->rowCount() == 3 && top->child(0)->rowCount() == 0 &&
              top->child(2)->rowCount() == 1);
  for (const auto& [item, text] : {std::pair{top->child(0), "Figure[4]"},
                                   {top->child(1), "Hips[0]"},
                                   {top->child(2)->child(0), "Crossbar[1]"}})
  {
    EXPECT_EQ(item->text(), text);
    EXPECT_TRUE(item->isCheckable() && item->checkState() == Qt::Checked) << text;
    EXPECT_EQ(item->data(Manager::ModelIndexRole).toInt(), 1) << text;
  }
  EXPECT_TRUE(live(top));

  SignalTrace trace(manager);
  manager.treeSelChanged(top->child(1)->index());
  EXPECT_EQ(manager.state.currentModel, 1);
  EXPECT_EQ(trace.count("currentModelChanged"), 0);
  manager.checkTreeModel(top->child(2)->child(0)->index(), false);
  EXPECT_EQ(top->child(2)->child(0)->checkState(), Qt::Checked); // the window's check box owns it

  manager.addModelUrl(QUrl::fromLocalFile(fixtureFile("arm_two_clips.glb")));
  h.runTasks();
  ASSERT_EQ(manager.treeModel()->rowCount(), 3);
  EXPECT_EQ(row(1), top);
  EXPECT_EQ(row(2)->data(Manager::ModelIndexRole).toInt(), 2);

  // Only rows of loaded scenes stay.
  for (bool inSync : {false, true})
  {
    manager.openModels({fixtureFile("textured_cube.glb")});
    manager.openModels({fixtureFile("four_lights.glb"), fixtureFile("arm_two_clips.glb")});
    if (inSync) // as the scene graph runs them: GUI work they raise waits until all ran
    {
      Manager::RenderTaskScope scope;
      for (; !h.pending.empty(); h.pending.pop_front())
        h.pending.front()(&h.item, h.data);
    }
    h.runTasks();
    ASSERT_EQ(manager.treeModel()->rowCount(), 2) << inSync;
    EXPECT_TRUE(live(row(0)) && live(row(1))) << inSync;
  }

  manager.addModelUrl(QUrl::fromLocalFile(unreadableFile));
  h.runTasks();
  ASSERT_EQ(manager.treeModel()->rowCount(), 2);
  EXPECT_TRUE(live(row(0)) && live(row(1)));

  manager.openModels({fixtureFile("four_lights.glb"), unreadableFile});
  h.runTasks();
  EXPECT_EQ(manager.treeModel()->rowCount(), 0);

  manager.openModels({fixtureFile("textured_cube.glb")});
  manager.clearModels();
  h.runTasks();
  EXPECT_EQ(manager.treeModel()->rowCount(), 0);
}
} // namespace
} // namespace ML::Test
