// The real program: start-up failures, the first frame and the exit code, and
// which files it opens at start.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRect>
#include <QSet>

#include "ProgramRun.h"
#include "TestPaths.h"

namespace
{
using ML::Test::ProgramRun;

QString document(const char* name)
{
  return QString(ML_TEST_DOCUMENTS) + "/" + name;
}

QString model(const char* name)
{
  return QString::fromStdString(ML::Test::sharedModel(name));
}

void writeSettings(const ProgramRun& run, const QJsonObject& object)
{
  QFile file(run.settingsPath());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QJsonDocument(object).toJson());
}

TEST(StartUpFailure, WindowWithoutSliderEndsWithMinusOne)
{
  ProgramRun run;
  run.run({}, {}, document("no_slider.qml"));
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 255) << run.output.toStdString();
  EXPECT_TRUE(run.output.contains("... failed to get qml ptrs")) << run.output.toStdString();
}

TEST(StartUpFailure, WindowWithoutViewEndsWithMinusOne)
{
  ProgramRun run;
  run.run({}, {}, document("no_view.qml"));
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_TRUE(run.output.contains("... failed to get qml ptrs")) << run.output.toStdString();
}

TEST(StartUpFailure, UnloadableDocumentEndsWithMinusOne)
{
  ProgramRun run;
  run.run({}, {}, document("broken.qml"));
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 255);
  EXPECT_TRUE(run.output.contains("... failed to load main.qml")) << run.output.toStdString();
  EXPECT_FALSE(run.output.contains("failed to get qml ptrs"));
}

TEST(StartUp, RendersTheWindowAndExitsWithTheEventLoopCode)
{
  ProgramRun run;
  const QString shot = run.home.filePath("first.png");
  run.run({}, "500:grab=" + shot +
                  ";550:geometry=vtkItem;600:print=modelNames;650:print=recentFiles;700:quit=7");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 7) << run.output.toStdString();
  EXPECT_EQ(run.printed("modelNames"), "");
  EXPECT_EQ(run.printed("recentFiles"), "");

  const QImage image(shot);
  ASSERT_FALSE(image.isNull());
  EXPECT_GE(image.width(), 400);
  // A real window: more than one colour on screen.
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 5)
  {
    for (int x = 0; x < image.width(); x += 5)
    {
      colours.insert(image.pixel(x, y));
    }
  }
  EXPECT_GT(colours.size(), 10);

  // The empty view already shows the window's background preset, the gradient.
  const QRect view = run.geometry("vtkItem");
  ASSERT_TRUE(view.isValid()) << run.output.toStdString();
  const QColor top = image.pixelColor(view.center().x(), view.top() + 1);
  const QColor bottom = image.pixelColor(view.center().x(), view.bottom() - 1);
  EXPECT_NEAR(top.red(), 216, 4);
  EXPECT_NEAR(top.green(), 211, 4);
  EXPECT_NEAR(bottom.red(), 76, 4);
  EXPECT_NEAR(bottom.blue(), 68, 4);
}

TEST(StartUpOpening, OpensEveryExistingFileArgumentAndReadsNoSettings)
{
  ProgramRun run;
  writeSettings(run, QJsonObject{{"recentFiles", QJsonArray{"/stored/a.glb"}}});
  const QString first = model("arm_two_clips.glb");
  const QString second = model("four_lights.glb");
  run.run({first, "/no/such/file.glb", second},
          "1500:print=modelNames;1550:print=recentFiles;1600:quit=0");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
  EXPECT_EQ(run.printed("modelNames"), first + "|" + second);
  EXPECT_EQ(run.printed("recentFiles"), "");
}

TEST(StartUpOpening, MissingFirstArgumentFallsBackToTheRecentFiles)
{
  ProgramRun run;
  writeSettings(run, QJsonObject{{"recentFiles", QJsonArray{"/stored/a.glb", "/stored/b.glb"}}});
  run.run({"/no/such/file.glb", model("four_lights.glb")},
          "800:print=modelNames;850:print=recentFiles;900:quit=0");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.printed("modelNames"), "");
  EXPECT_EQ(run.printed("recentFiles"), "/stored/a.glb|/stored/b.glb");
}

TEST(StartUpOpening, EmptyFirstArgumentCountsAsNone)
{
  ProgramRun run;
  writeSettings(run, QJsonObject{{"recentFiles", QJsonArray{"/stored/a.glb"}}});
  run.run({"", model("four_lights.glb")}, "800:print=modelNames;850:print=recentFiles;900:quit=0");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.printed("modelNames"), "");
  EXPECT_EQ(run.printed("recentFiles"), "/stored/a.glb");
}

TEST(StartUpOpening, LoadOnStartupOpensTheMostRecentFile)
{
  ProgramRun run;
  const QString recent = model("four_lights.glb");
  writeSettings(run, QJsonObject{{"recentFiles", QJsonArray{recent, "/stored/b.glb"}},
                                 {"loadOnStartup", true}});
  run.run({}, "1500:print=modelNames;1600:quit=0");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.printed("modelNames"), recent);
}

TEST(StartUpOpening, NoArgumentsAndNoSettingsOpenNothing)
{
  ProgramRun run;
  run.run({}, "800:print=modelNames;850:print=recentFiles;900:quit=0");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.printed("modelNames"), "");
  EXPECT_EQ(run.printed("recentFiles"), "");
}
} // namespace
