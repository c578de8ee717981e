// The GUI side of opening, adding, closing and exporting, and the recent files
// with their settings file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

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

QStringList numbered(const QString& prefix, int count)
{
  QStringList list;
  for (int i = 0; i < count; ++i)
  {
    list.append(prefix + QString::number(i));
  }
  return list;
}

// settings.json in a temporary configuration directory.
class SettingsFile
{
public:
  SettingsFile() { this->Path = this->Dir.path() + "/settings.json"; }

  QString configDir() const { return this->Dir.path(); }
  const QString& path() const { return this->Path; }

  void write(const QJsonObject& object) const { writeRaw(QJsonDocument(object).toJson()); }
  void writeRaw(const QByteArray& bytes) const
  {
    QFile file(this->Path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
  }
  QJsonObject read() const
  {
    QFile file(this->Path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(file.readAll()).object();
  }
  QStringList storedRecentFiles() const
  {
    QStringList list;
    for (const QJsonValue& value : read().value("recentFiles").toArray())
    {
      list.append(value.toString());
    }
    return list;
  }

private:
  QTemporaryDir Dir;
  QString Path;
};

// A Manager at start-up: reads the settings when told to, saves them at the end.
struct Session
{
  explicit Session(const SettingsFile& settings) { manager.configDir = settings.configDir(); }
  Manager manager;
};
} // namespace

TEST(RecentFilesSettings, MissingFileIsNotLoaded)
{
  SettingsFile settings;
  Session run(settings);
  EXPECT_FALSE(run.manager.loadRecentFiles());
  EXPECT_TRUE(run.manager.state.recentFiles.isEmpty());
}

TEST(RecentFilesSettings, LoadKeepsStringEntriesInOrder)
{
  SettingsFile settings;
  settings.write({{"recentFiles", QJsonArray{7, "/m/a.glb", QJsonValue(), "/m/b.fbx", true}},
                  {"loadOnStartup", true}});
  Session run(settings);
  EXPECT_TRUE(run.manager.loadRecentFiles());
  EXPECT_EQ(run.manager.state.recentFiles, QStringList({"/m/a.glb", "/m/b.fbx"}));
  EXPECT_TRUE(run.manager.state.loadOnStartup);
}

TEST(RecentFilesSettings, UnparsableFileLoadsAsEmpty)
{
  SettingsFile settings;
  settings.writeRaw("{ \"recentFiles\": [");
  Session run(settings);
  EXPECT_TRUE(run.manager.loadRecentFiles());
  EXPECT_TRUE(run.manager.state.recentFiles.isEmpty());
}

TEST(RecentFilesSettings, NextStartShowsMostRecentFirstAndOtherKeysStay)
{
  SettingsFile settings;
  settings.write(
      {{"recentFiles", QJsonArray{"/m/old1.glb", "/m/old2.glb"}}, {"windowWidth", 1280}});
  ViewHarness h;
  h.manager.configDir = settings.configDir();
  ASSERT_TRUE(h.manager.loadRecentFiles());
  h.manager.openModels({shared("textured_cube.glb")});
  h.runTasks();
  h.manager.saveRecentFiles();

  EXPECT_EQ(settings.storedRecentFiles(),
            QStringList({shared("textured_cube.glb"), "/m/old1.glb", "/m/old2.glb"}));
  EXPECT_EQ(settings.read().value("windowWidth").toInt(), 1280);

  Session next(settings);
  ASSERT_TRUE(next.manager.loadRecentFiles());
  EXPECT_EQ(next.manager.state.recentFiles.value(0), shared("textured_cube.glb"));
}

TEST(RecentFilesSettings, EachRunPutsItsOpensFirst)
{
  SettingsFile settings;
  QTemporaryDir models;
  QStringList paths;
  for (const char* name : {"a.glb", "b.glb", "c.glb"})
  {
    paths.append(models.path() + "/" + name);
    ASSERT_TRUE(QFile::copy(shared("textured_cube.glb"), paths.last()));
  }
  {
    ViewHarness h;
    h.manager.configDir = settings.configDir();
    EXPECT_FALSE(h.manager.loadRecentFiles());
    h.manager.openModels({paths[0]});
    h.manager.openModels({paths[1]});
    h.runTasks();
    h.manager.saveRecentFiles();
  }
  EXPECT_EQ(settings.storedRecentFiles(), QStringList({paths[1], paths[0]}));
  {
    ViewHarness h;
    h.manager.configDir = settings.configDir();
    ASSERT_TRUE(h.manager.loadRecentFiles());
    EXPECT_EQ(h.manager.state.recentFiles, QStringList({paths[1], paths[0]}));
    h.manager.openModels({paths[2]});
    h.runTasks();
    h.manager.saveRecentFiles();
  }
  EXPECT_EQ(settings.storedRecentFiles(), QStringList({paths[2], paths[1], paths[0]}));
}

TEST(RecentFilesSettings, RunWithoutReadingSettingsKeepsStoredEntries)
{
  SettingsFile settings;
  settings.write(
      {{"recentFiles", QJsonArray{"/m/old1.glb", "/m/new.glb"}}, {"loadOnStartup", true}});
  Session run(settings);
  run.manager.state.recentFiles = QStringList{"/m/new.glb"};
  run.manager.saveRecentFiles();

  EXPECT_EQ(settings.storedRecentFiles(), QStringList({"/m/new.glb", "/m/old1.glb"}));
  EXPECT_TRUE(settings.read().value("loadOnStartup").toBool());
}

TEST(RecentFilesSettings, ClearedListStaysCleared)
{
  SettingsFile settings;
  settings.write({{"recentFiles", QJsonArray{"/m/a.glb", "/m/b.glb"}}});
  Session run(settings);
  ASSERT_TRUE(run.manager.loadRecentFiles());
  run.manager.clearRecentFiles();
  run.manager.state.recentFiles.prepend("/m/c.glb");
  run.manager.saveRecentFiles();
  EXPECT_EQ(settings.storedRecentFiles(), QStringList({"/m/c.glb"}));

  Session emptied(settings);
  ASSERT_TRUE(emptied.manager.loadRecentFiles());
  emptied.manager.clearRecentFiles();
  emptied.manager.saveRecentFiles();
  EXPECT_TRUE(settings.storedRecentFiles().isEmpty());
}

TEST(RecentFilesSettings, SavedListHoldsTwentyDistinctEntries)
{
  SettingsFile settings;
  settings.write({{"recentFiles", QJsonArray::fromStringList(numbered("/m/stored", 25))}});
  Session run(settings);
  ASSERT_TRUE(run.manager.loadRecentFiles());
  EXPECT_EQ(run.manager.state.recentFiles.size(), 25);
  run.manager.state.recentFiles.prepend("/m/stored3");
  run.manager.saveRecentFiles();

  QStringList expected = numbered("/m/stored", 20);
  expected.move(3, 0);
  EXPECT_EQ(settings.storedRecentFiles(), expected);
}

TEST(RecentFilesSettings, UnparsableFileIsSetAside)
{
  SettingsFile settings;
  settings.writeRaw("not json at all");
  Session run(settings);
  run.manager.state.recentFiles = QStringList{"/m/a.glb"};
  run.manager.saveRecentFiles();

  QFile aside(settings.path() + ".bad");
  ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
  EXPECT_EQ(aside.readAll(), QByteArray("not json at all"));
  EXPECT_EQ(settings.storedRecentFiles(), QStringList({"/m/a.glb"}));
}

TEST(RecentFilesSettings, MissingConfigDirectoryIsCreated)
{
  QTemporaryDir root;
  Manager manager;
  manager.configDir = root.path() + "/config/marionette";
  manager.state.recentFiles = QStringList{"/m/a.glb"};
  manager.saveRecentFiles();
  EXPECT_TRUE(QFile::exists(manager.configDir + "/settings.json"));
}

TEST(RecentFilesSettings, UnwritableLocationIsReported)
{
  QTemporaryDir root;
  QFile blocker(root.path() + "/plain-file");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  Manager manager;
  manager.configDir = blocker.fileName() + "/config";
  MessageLog log;
  manager.saveRecentFiles();
  EXPECT_TRUE(log.contains("Unable to create "));
  EXPECT_TRUE(log.contains(manager.configDir + "/settings.json"));
}

TEST(RecentFilesSettings, LoadOnStartupIsPersisted)
{
  SettingsFile settings;
  {
    Session run(settings);
    run.manager.setLoadOnStartup(true);
    run.manager.saveRecentFiles();
  }
  Session next(settings);
  ASSERT_TRUE(next.manager.loadRecentFiles());
  EXPECT_TRUE(next.manager.state.loadOnStartup);
  next.manager.setLoadOnStartup(false);
  next.manager.saveRecentFiles();
  EXPECT_FALSE(settings.read().value("loadOnStartup").toBool(true));
}

TEST(RecentFiles, OpenMovesThePathToTheFront)
{
  ViewHarness h;
  const QString cube = shared("textured_cube.glb");
  h.manager.state.recentFiles = QStringList{"/m/a.glb", cube, "/m/b.glb"};
  SignalTrace trace(h.manager);
  h.manager.openModels({cube, "/m/not-checked.glb"});
  EXPECT_EQ(h.manager.state.recentFiles, QStringList({cube, "/m/a.glb", "/m/b.glb"}));
  EXPECT_EQ(trace.count("recentFilesChanged"), 1);
}

TEST(RecentFiles, OnlyTheFirstPathOfAnOpenIsRecorded)
{
  ViewHarness h;
  h.manager.openModels({shared("textured_cube.glb"), shared("four_lights.glb")});
  EXPECT_EQ(h.manager.state.recentFiles, QStringList({shared("textured_cube.glb")}));
}

TEST(RecentFiles, PathsDifferingInLetterCaseAreDistinct)
{
  QTemporaryDir dir;
  const QString lower = dir.path() + "/model.glb";
  const QString upper = dir.path() + "/Model.glb";
  ASSERT_TRUE(QFile::copy(shared("textured_cube.glb"), lower));
  ASSERT_TRUE(QFile::copy(shared("textured_cube.glb"), upper));
  ViewHarness h;
  h.manager.openModels({lower});
  h.manager.openModels({upper});
  EXPECT_EQ(h.manager.state.recentFiles, QStringList({upper, lower}));
}

TEST(RecentFiles, OpenDropsTheOldestBeyondTwenty)
{
  ViewHarness h;
  h.manager.state.recentFiles = numbered("/m/f", 20);
  h.manager.openModels({shared("textured_cube.glb")});
  EXPECT_EQ(h.manager.state.recentFiles.size(), 20);
  EXPECT_EQ(h.manager.state.recentFiles.first(), shared("textured_cube.glb"));
  EXPECT_EQ(h.manager.state.recentFiles.last(), "/m/f18");
}

TEST(RecentFiles, ClearEmitsOnlyWhenSomethingGoes)
{
  Manager manager;
  manager.state.recentFiles = QStringList{"/m/a.glb"};
  SignalTrace trace(manager);
  manager.clearRecentFiles();
  manager.clearRecentFiles();
  EXPECT_TRUE(manager.state.recentFiles.isEmpty());
  EXPECT_EQ(trace.count("recentFilesChanged"), 1);
}

TEST(OpenCommand, EmptyListOnlyEndsTheRequest)
{
  ViewHarness h;
  SignalTrace trace(h.manager);
  h.manager.openModels({});
  EXPECT_EQ(trace.names, QStringList({"openSourceEnd"}));
  EXPECT_TRUE(h.pending.empty());
}

TEST(OpenCommand, MissingFirstPathReportsErrorAndChangesNothing)
{
  ViewHarness h;
  h.manager.openModels({shared("textured_cube.glb")});
  h.runTasks();
  const QStringList recent = h.manager.state.recentFiles;
  const int rows = h.manager.treeModel()->rowCount();

  SignalTrace trace(h.manager);
  MessageLog log;
  h.manager.openModels({"/no/such/model.glb", shared("textured_cube.glb")});
  EXPECT_TRUE(log.contains(" Does not exist"));
  EXPECT_TRUE(log.contains("/no/such/model.glb"));
  EXPECT_EQ(trace.names, QStringList({"openSourceError", "openSourceEnd"}));
  EXPECT_TRUE(h.pending.empty());
  EXPECT_EQ(h.manager.state.recentFiles, recent);
  EXPECT_EQ(h.manager.state.modelNames, QStringList({shared("textured_cube.glb")}));
  EXPECT_EQ(h.manager.treeModel()->rowCount(), rows);
}

TEST(OpenCommand, ClearsTheTreeAndQueuesOneLoad)
{
  ViewHarness h;
  h.manager.openModels({shared("textured_cube.glb")});
  h.runTasks();
  ASSERT_EQ(h.manager.treeModel()->rowCount(), 1);

  SignalTrace trace(h.manager);
  const QStringList paths{shared("arm_two_clips.glb"), shared("four_lights.glb")};
  h.manager.openModels(paths);
  EXPECT_EQ(h.manager.treeModel()->rowCount(), 0);
  EXPECT_EQ(trace.names,
            QStringList({"recentFilesChanged", "treeModelChanged", "modelNamesChanged"}));
  EXPECT_EQ(h.manager.state.modelNames, paths);
  EXPECT_EQ(h.pending.size(), 1u);
}

TEST(OpenCommand, UnusualExtensionIsLoggedAndOpened)
{
  QTemporaryDir dir;
  const struct
  {
    const char* source;
    const char* copy;
    bool unusual;
  } cases[] = {
      {"textured_cube.glb", "cube.Glb", true},
      {"", "box.obj", true},
      {"arm_two_clips.fbx", "arm.FBX", false},
      {"textured_cube.glb", "cube.glb", false},
  };
  for (const auto& file : cases)
  {
    const QString copy = dir.path() + "/" + file.copy;
    const QString source =
        *file.source ? shared(file.source) : QString::fromStdString(assimpModel("OBJ/box.obj"));
    ASSERT_TRUE(QFile::copy(source, copy));
    ViewHarness h;
    MessageLog log;
    h.manager.openModels({copy});
    EXPECT_EQ(log.count(" has bad extension"), file.unusual ? 1 : 0) << file.copy;
    h.runTasks();
    EXPECT_EQ(h.item.models.size(), 1u) << file.copy;
  }
}

TEST(OpenCommand, UrlsBecomeLocalPaths)
{
  ViewHarness h;
  const QString cube = shared("textured_cube.glb");
  h.manager.openModelUrls({QUrl::fromLocalFile(cube), QUrl("https://example.org/a.glb")});
  EXPECT_EQ(h.manager.state.modelNames, QStringList({cube, QString()}));

  SignalTrace trace(h.manager);
  h.manager.openModelUrls({QUrl("https://example.org/a.glb")});
  EXPECT_EQ(trace.names, QStringList({"openSourceError", "openSourceEnd"}));
}

TEST(AddCommand, WithoutLoadedModelOnlyEndsTheRequest)
{
  ViewHarness h;
  SignalTrace trace(h.manager);
  h.manager.addModelUrl(QUrl::fromLocalFile(shared("textured_cube.glb")));
  EXPECT_EQ(trace.names, QStringList({"openSourceEnd"}));
  EXPECT_TRUE(h.pending.empty());
  EXPECT_TRUE(h.manager.state.modelNames.isEmpty());
}

TEST(AddCommand, MissingPathReportsErrorAndChangesNothing)
{
  ViewHarness h;
  h.manager.openModels({shared("textured_cube.glb")});
  h.runTasks();
  SignalTrace trace(h.manager);
  MessageLog log;
  h.manager.addModelUrl(QUrl::fromLocalFile("/no/such/model.glb"));
  EXPECT_TRUE(log.contains(" Does not exist"));
  EXPECT_EQ(trace.names, QStringList({"openSourceError", "openSourceEnd"}));
  EXPECT_TRUE(h.pending.empty());
  EXPECT_EQ(h.manager.state.modelNames, QStringList({shared("textured_cube.glb")}));
}

TEST(AddCommand, AppendsThePathAndLeavesRecentFiles)
{
  ViewHarness h;
  h.manager.openModels({shared("textured_cube.glb")});
  h.runTasks();
  const QStringList recent = h.manager.state.recentFiles;
  h.manager.addModelUrl(QUrl::fromLocalFile(shared("four_lights.glb")));
  EXPECT_EQ(h.manager.state.modelNames,
            QStringList({shared("textured_cube.glb"), shared("four_lights.glb")}));
  EXPECT_EQ(h.manager.state.recentFiles, recent);
  EXPECT_EQ(h.pending.size(), 1u);
}

TEST(CloseCommand, EmptiesNamesBeforeTheTaskRuns)
{
  ViewHarness h;
  h.manager.openModels({shared("textured_cube.glb")});
  h.runTasks();
  QStringList namesSeen;
  QObject watcher;
  QObject::connect(&h.manager, &Manager::modelNamesChanged, &watcher,
                   [&] { namesSeen.append(h.manager.modelNames().join(',')); });

  h.manager.clearModels();
  EXPECT_EQ(h.manager.treeModel()->rowCount(), 0);
  EXPECT_TRUE(h.manager.state.modelNames.isEmpty());
  EXPECT_EQ(namesSeen, QStringList({shared("textured_cube.glb")}));
  h.runTasks();
  EXPECT_TRUE(h.item.models.empty());
  EXPECT_EQ(namesSeen.last(), QString());
}

TEST(ExportCommand, UrlBecomesTheExportFileName)
{
  ViewHarness h;
  h.manager.exportSceneUrl(QUrl::fromLocalFile("/tmp/out dir/scene.glb"));
  EXPECT_EQ(exportFileName, "/tmp/out dir/scene.glb");
  EXPECT_EQ(h.pending.size(), 1u);
}

TEST(DisplayableFilePath, OnlyLocalFileUrlsGiveAPath)
{
  Manager manager;
  EXPECT_EQ(manager.displayableFilePath("file:///tmp/a%20b.glb"), "/tmp/a b.glb");
  EXPECT_EQ(manager.displayableFilePath("file:///tmp/a b.glb"), "/tmp/a b.glb");
  EXPECT_EQ(manager.displayableFilePath("/tmp/a.glb"), QString());
  EXPECT_EQ(manager.displayableFilePath("https://example.org/a.glb"), QString());
  EXPECT_EQ(manager.displayableFilePath(QString()), QString());
}
} // namespace ML::Test
