// The menu bar, used with the mouse: recent files, the check marks of the View
// menu, the animation toggle and the help page.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include "RenderTasks.h"
#include "WindowFixture.h"

namespace
{
using ML::Test::sharedModelPath;
using ML::Test::WindowFixture;

// Receives what the program asks the desktop to open.
class UrlCatcher : public QObject
{
  Q_OBJECT

public:
  QList<QUrl> urls;

public slots:
  void open(const QUrl& url) { urls.append(url); }
};

class WindowMenus : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_NE(f.window, nullptr) << "the window document did not load";
    ASSERT_NE(f.view, nullptr);
    ASSERT_TRUE(f.shown);
  }

  QObject* recentMenu() { return f.object("recentFilesSubMenu"); }
  int recentItems() { return f.object("recentFilesInstantiator")->property("count").toInt(); }
  QObject* recentItem(int index)
  {
    QObject* menuItem = nullptr;
    QMetaObject::invokeMethod(f.object("recentFilesInstantiator"), "objectAt",
                              Q_RETURN_ARG(QObject*, menuItem), Q_ARG(int, index));
    return menuItem;
  }
  bool isOpen(QObject* popup) { return popup->property("opened").toBool(); }

  // Opens File > Recent Files with the mouse.
  void openRecentFiles()
  {
    f.openMenu("&File");
    ASSERT_TRUE(QTest::qWaitFor([&] { return isOpen(f.object("fileMenu")); }, 3000));
    QQuickItem* entry = f.subMenuItem(recentMenu());
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(entry->isEnabled());
    f.click(entry);
    ASSERT_TRUE(QTest::qWaitFor([&] { return isOpen(recentMenu()); }, 3000));
  }

  void clickMenuItem(const char* menu, const char* item)
  {
    f.openMenu(menu);
    QQuickItem* entry = f.item(item);
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return entry->isVisible(); }, 3000));
    f.click(entry);
  }

  WindowFixture f;
};

TEST_F(WindowMenus, RecentFilesFollowOpensAndClearing)
{
  // Empty list: the submenu cannot be opened.
  f.openMenu("&File");
  ASSERT_TRUE(QTest::qWaitFor([&] { return isOpen(f.object("fileMenu")); }, 3000));
  EXPECT_EQ(recentItems(), 0);
  EXPECT_FALSE(f.subMenuItem(recentMenu())->isEnabled());
  // Close it the way a user does, with a click beside it.
  f.click(f.itemWithText("Spot Light"));
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return !f.object("fileMenu")->property("visible").toBool(); }, 3000));

  const QString path = sharedModelPath("arm_two_clips.glb");
  ASSERT_TRUE(f.openModels({path}));
  ASSERT_EQ(recentItems(), 1);
  openRecentFiles();
  QObject* fileItem = recentItem(0);
  ASSERT_NE(fileItem, nullptr);
  const QString shown = f.manager->displayableFilePath(path);
  EXPECT_EQ(fileItem->property("text").toString(), shown);
  EXPECT_EQ(fileItem->objectName(), shown + "MenuItem");
  // It draws the full path, above the separator and "Clear Recent Files".
  auto* drawn = fileItem->property("contentItem").value<QQuickItem*>();
  EXPECT_EQ(drawn->property("text").toString(), path);
  QQuickItem* clear = f.item("clearRecentFilesMenuItem");
  EXPECT_LT(qobject_cast<QQuickItem*>(fileItem)->y(), clear->y());
  f.screenshot("recent-files");

  f.click(clear);
  EXPECT_TRUE(f.manager->recentFiles().isEmpty());
  EXPECT_EQ(recentItems(), 0);
  f.openMenu("&File");
  ASSERT_TRUE(QTest::qWaitFor([&] { return isOpen(f.object("fileMenu")); }, 3000));
  EXPECT_FALSE(f.subMenuItem(recentMenu())->isEnabled());
}

TEST_F(WindowMenus, ARecentFileOpensWithoutTheSplash)
{
  const QString cube = sharedModelPath("textured_cube.glb");
  const QString arm = sharedModelPath("arm_two_clips.glb");
  ASSERT_TRUE(f.openModels({cube}));
  ASSERT_TRUE(f.openModels({arm}));
  ASSERT_EQ(f.manager->recentFiles(), QStringList({arm, cube}));

  auto* splash = f.window->findChild<QQuickWindow*>("splashWindow");
  int splashShown = 0;
  QObject::connect(splash, &QWindow::visibleChanged, [&](bool visible) { splashShown += visible; });

  openRecentFiles();
  QObject* cubeItem = recentItem(1);
  ASSERT_NE(cubeItem, nullptr);
  const int before = f.loadsEnded;
  f.click(qobject_cast<QQuickItem*>(cubeItem));
  ASSERT_TRUE(f.waitForLoadEnd(before));

  EXPECT_EQ(f.manager->modelNames(), QStringList({cube}));
  EXPECT_EQ(f.manager->recentFiles(), QStringList({cube, arm}));
  EXPECT_EQ(splashShown, 0);
}

TEST_F(WindowMenus, ViewMenuChecksFollowTheManagerAndApplyTheirSetting)
{
  f.manager->setShowAxes(true);
  EXPECT_TRUE(f.object("axesMenuItem")->property("checked").toBool());
  EXPECT_FALSE(f.object("lightWidgetMenuItem")->property("enabled").toBool());

  f.recordTasks();
  clickMenuItem("&View", "axesMenuItem");
  EXPECT_FALSE(f.manager->showAxes());
  ASSERT_EQ(f.queued(&ML::applyAxes), 1);
  EXPECT_FALSE(f.lastQueued(&ML::applyAxes)->state.showAxes);
  EXPECT_FALSE(f.item("axesButton")->property("checked").toBool());

  clickMenuItem("&View", "sceneLightMenuItem");
  EXPECT_TRUE(f.manager->sceneLight());
  EXPECT_EQ(f.queued(&ML::applySceneLight), 1);
  EXPECT_TRUE(f.object("lightWidgetMenuItem")->property("enabled").toBool());

  clickMenuItem("&View", "lightWidgetMenuItem");
  EXPECT_FALSE(f.manager->showLightWidget());
  EXPECT_EQ(f.queued(&ML::updateShowLightWidgetTask), 1);
  EXPECT_FALSE(f.item("showLightWidgetCheckBox")->property("checked").toBool());
}

TEST_F(WindowMenus, AnimationToggleKeepsItsOwnCheckMark)
{
  f.recordTasks();
  clickMenuItem("&Animation", "toggleMenuItem");
  EXPECT_EQ(f.queued(&ML::playToggleTask), 1);
  EXPECT_EQ(f.manager->playIcon(), "qrc:/marionette_lab/icons/stop.png");
  EXPECT_TRUE(f.object("toggleMenuItem")->property("checked").toBool());

  // Stopping with the tool button leaves the menu's check mark alone.
  f.click(f.item("playButton"));
  EXPECT_EQ(f.manager->playIcon(), "qrc:/marionette_lab/icons/play1.png");
  EXPECT_TRUE(f.object("toggleMenuItem")->property("checked").toBool());
}

TEST_F(WindowMenus, HelpOpensTheLocalHelpPage)
{
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  clickMenuItem("&Help", "helpMenuItem");
  QDesktopServices::unsetUrlHandler("file");

  ASSERT_EQ(catcher.urls.size(), 1);
  QFile page(catcher.urls.first().toLocalFile());
  ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << catcher.urls.first().toString().toStdString();
  const QByteArray html = page.readAll();
  EXPECT_TRUE(html.contains("Privacy policy"));
  EXPECT_TRUE(html.contains("Marionette Lab"));
}

TEST_F(WindowMenus, QuitEndsTheProgram)
{
  QSignalSpy quit(&f.engine, &QQmlEngine::quit);
  clickMenuItem("&File", "quitMenuItem");
  EXPECT_EQ(quit.count(), 1);
}
} // namespace

#include "test_ui_menus.moc"
