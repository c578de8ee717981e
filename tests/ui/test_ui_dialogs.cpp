// File dialogs, the splash window, the error messages, the About box and the
// light colour dialog. Under a bare X server there is no native dialog service,
// so the file dialogs come up as Qt Quick dialogs that can be clicked through.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "RenderTasks.h"
#include "WindowFixture.h"

namespace
{
using ML::Test::sharedModelPath;
using ML::Test::WindowFixture;

class WindowDialogs : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_NE(f.window, nullptr) << "the window document did not load";
    ASSERT_NE(f.view, nullptr);
    ASSERT_TRUE(f.shown);
    splash = f.window->findChild<QQuickWindow*>("splashWindow");
    ASSERT_NE(splash, nullptr);
    QObject::connect(splash, &QWindow::visibleChanged,
                     [this](bool visible) { splashShown += visible ? 1 : 0; });
  }

  // The native dialog of one of the window's file dialogs, and the dialog that
  // shows instead under a bare X server.
  QObject* nativeDialog(const char* rootProperty)
  {
    auto* chooser = f.window->property(rootProperty).value<QObject*>();
    return chooser ? chooser->property("nativeDialog").value<QObject*>() : nullptr;
  }
  QObject* shownDialog(const char* rootProperty)
  {
    auto* chooser = f.window->property(rootProperty).value<QObject*>();
    return chooser ? chooser->property("fallbackDialog").value<QObject*>() : nullptr;
  }

  bool isVisible(QObject* dialog) { return dialog && dialog->property("visible").toBool(); }

  // Opens the dialog with its tool button, goes to `folder`, picks the GLB
  // filter (the first one is FBX), clicks the file and then the accept button.
  void chooseFile(const char* button, const char* rootProperty, const QString& folder,
                  const QString& fileName)
  {
    f.click(f.item(button));
    QObject* dialog = shownDialog(rootProperty);
    ASSERT_TRUE(QTest::qWaitFor([&] { return isVisible(dialog); }, 5000));
    dialog->setProperty("currentFolder", QUrl::fromLocalFile(folder));
    QQuickItem* filterBox = nullptr;
    for (QQuickItem* box : f.itemsOfType("QQuickComboBox"))
      if (box->property("displayText").toString() == "FBX Autodesk(*.fbx)")
        filterBox = box;
    ASSERT_NE(filterBox, nullptr);
    f.click(filterBox);
    QQuickItem* glb = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (glb = f.itemWithText("glTF Binary(*.glb)")) != nullptr; }, 3000));
    f.click(glb);
    QQuickItem* entry = nullptr;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return (entry = f.itemWithText(fileName)) != nullptr; }, 5000));
    f.click(entry);
    QQuickItem* accept = f.itemWithText("Open");
    ASSERT_NE(accept, nullptr);
    f.click(accept);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !isVisible(dialog); }, 5000));
  }

  WindowFixture f;
  QQuickWindow* splash = nullptr;
  int splashShown = 0;
};

TEST_F(WindowDialogs, CancellingAFileDialogChangesNothing)
{
  f.recordTasks();
  const QList<QPair<const char*, const char*>> dialogs = {{"openButton", "openModelDialog"},
                                                          {"addButton", "addModelDialog"},
                                                          {"exportButton", "exportSceneDialog"}};
  for (const auto& [button, property] : dialogs)
  {
    SCOPED_TRACE(button);
    f.click(f.item(button));
    QObject* dialog = shownDialog(property);
    ASSERT_TRUE(QTest::qWaitFor([&] { return isVisible(dialog); }, 5000));
    if (QString(property) == "openModelDialog")
      f.screenshot("open-dialog");
    QQuickItem* cancel = f.itemWithText("Cancel");
    ASSERT_NE(cancel, nullptr);
    f.click(cancel);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !isVisible(dialog); }, 5000));
  }
  EXPECT_TRUE(f.tasks.empty());
  EXPECT_EQ(splashShown, 0);
  EXPECT_TRUE(f.manager->recentFiles().isEmpty());
  EXPECT_TRUE(f.manager->modelNames().isEmpty());
}

TEST_F(WindowDialogs, FileDialogsOfferTheModelFormatsInOrder)
{
  const QStringList models = {"FBX Autodesk(*.fbx)", "glTF Khronos(*.gltf)", "glTF Binary(*.glb)",
                              "DAE Collada(*.dae)", "All files (*)"};
  const QStringList exports = {"glTF Binary(*.glb)", "glTF Khronos(*.gltf)", "DAE Collada(*.dae)",
                               "FBX Autodesk(*.fbx)", "All files (*)"};
  for (const char* dialog : {"openModelDialog", "addModelDialog"})
  {
    EXPECT_EQ(nativeDialog(dialog)->property("nameFilters").toStringList(), models);
    EXPECT_EQ(shownDialog(dialog)->property("nameFilters").toStringList(), models);
  }
  EXPECT_EQ(nativeDialog("exportSceneDialog")->property("nameFilters").toStringList(), exports);
  // Several files to open, one to add, one to save.
  EXPECT_EQ(nativeDialog("openModelDialog")->property("fileMode").toInt(), 1);
  EXPECT_EQ(shownDialog("openModelDialog")->property("fileMode").toInt(), 1);
  EXPECT_EQ(nativeDialog("addModelDialog")->property("fileMode").toInt(), 0);
  EXPECT_EQ(nativeDialog("exportSceneDialog")->property("fileMode").toInt(), 2);
}

TEST_F(WindowDialogs, OpeningAFileShowsTheSplashUntilTheLoadEnds)
{
  const QString path = sharedModelPath("arm_two_clips.glb");
  const int before = f.loadsEnded;
  chooseFile("openButton", "openModelDialog", QFileInfo(path).absolutePath(), "arm_two_clips.glb");
  EXPECT_EQ(splashShown, 1);
  ASSERT_TRUE(f.waitForLoadEnd(before));

  EXPECT_FALSE(f.isSplashVisible());
  EXPECT_EQ(f.manager->modelNames(), QStringList({QFileInfo(path).absoluteFilePath()}));
  EXPECT_EQ(f.window->title(), QFileInfo(path).absoluteFilePath());
  f.screenshot("main-window");
}

TEST_F(WindowDialogs, AddingAFileShowsTheSplashAndAppendsTheModel)
{
  const QString cube = sharedModelPath("textured_cube.glb");
  ASSERT_TRUE(f.openModels({cube}));
  const int before = f.loadsEnded;
  chooseFile("addButton", "addModelDialog", QFileInfo(cube).absolutePath(), "arm_two_clips.glb");
  EXPECT_EQ(splashShown, 1);
  ASSERT_TRUE(f.waitForLoadEnd(before));
  EXPECT_FALSE(f.isSplashVisible());
  ASSERT_EQ(f.manager->modelNames().size(), 2);
  EXPECT_TRUE(f.manager->modelNames().last().endsWith("arm_two_clips.glb"));
}

TEST_F(WindowDialogs, AFailedLoadShowsTheOpenErrorAndHidesTheSplash)
{
  QTemporaryDir dir;
  QFile broken(dir.filePath("broken.glb"));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("this is not a model file");
  broken.close();

  chooseFile("openButton", "openModelDialog", dir.path(), "broken.glb");
  EXPECT_EQ(splashShown, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.loadErrors > 0; }, 60000));
  QObject* message = f.object("openErrorDialog");
  ASSERT_TRUE(QTest::qWaitFor([&] { return isVisible(message); }, 5000));
  EXPECT_EQ(message->property("text").toString(), "Unable to open the file(s).");
  EXPECT_NE(f.itemWithText("Unable to open the file(s)."), nullptr);
  EXPECT_FALSE(f.isSplashVisible());
  f.screenshot("open-error");

  f.click(f.itemWithText("OK"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !isVisible(message); }, 5000));
}

TEST_F(WindowDialogs, AFailedExportShowsTheExportError)
{
  ASSERT_TRUE(f.openModels({sharedModelPath("textured_cube.glb")}));
  f.manager->exportSceneUrl(QUrl::fromLocalFile("/nonexistent-folder/scene.glb"));
  QObject* message = f.object("exportErrorDialog");
  ASSERT_TRUE(QTest::qWaitFor([&] { return isVisible(message); }, 60000));
  EXPECT_EQ(message->property("text").toString(), "Unable to export into the scene.");
  EXPECT_NE(f.itemWithText("Unable to export into the scene."), nullptr);
  EXPECT_FALSE(isVisible(f.object("openErrorDialog")));
  EXPECT_EQ(splashShown, 0);
}

TEST_F(WindowDialogs, SavingInTheExportDialogWritesTheFile)
{
  ASSERT_TRUE(f.openModels({sharedModelPath("textured_cube.glb")}));
  QTemporaryDir dir;
  // A name that needs escaping in a URL.
  const QString target = dir.filePath("scene #1.glb");
  f.click(f.item("exportButton"));
  QObject* dialog = shownDialog("exportSceneDialog");
  ASSERT_TRUE(QTest::qWaitFor([&] { return isVisible(dialog); }, 5000));
  QQuickItem* name = f.item("exportPathField");
  EXPECT_TRUE(name->property("text").toString().endsWith("/scene.glb"));
  f.typeText(name, target);
  f.screenshot("export-dialog");
  f.click(f.itemWithText("Save"));

  EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(target).size() > 0; }, 60000));
  EXPECT_EQ(splashShown, 0);
}

TEST_F(WindowDialogs, AboutShowsTheProgramAndASelectedContactAddress)
{
  QObject* about = f.object("aboutDialog");
  f.click(f.item("aboutButton"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return about->property("opened").toBool(); }, 5000));
  EXPECT_NE(f.itemWithText("Marionette Lab 1.2"), nullptr);
  EXPECT_NE(f.itemWithText("For 3D model animation"), nullptr);
  QQuickItem* contact = f.item("contactField");
  const QString address = contact->property("text").toString();
  EXPECT_TRUE(address.contains('@'));
  EXPECT_EQ(contact->property("selectedText").toString(), address);
  EXPECT_GE(about->property("width").toReal(), 340);
  f.screenshot("about");

  f.click(f.itemWithText("OK"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !about->property("visible").toBool(); }, 5000));
}

TEST_F(WindowDialogs, LightColourDialogWritesTheColourThenAppliesIt)
{
  f.manager->setSceneLight(true);
  f.recordTasks();
  f.click(f.item("lightColorButton"));
  QObject* dialog = f.object("lightColorDialog");
  ASSERT_TRUE(QTest::qWaitFor([&] { return isVisible(dialog); }, 5000));
  EXPECT_EQ(dialog->property("title").toString(), "Select light color");

  dialog->setProperty("selectedColor", QColor(255, 0, 0));
  QMetaObject::invokeMethod(dialog, "accept");
  EXPECT_EQ(f.manager->lightColor(), QColor(255, 0, 0));
  const auto* task = f.lastQueued(&ML::applyLightColors);
  ASSERT_NE(task, nullptr);
  EXPECT_EQ(task->state.lights[0].color, QColor(255, 0, 0));
}
} // namespace
