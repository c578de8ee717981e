// The real program: its start-up failures, first frame and exit code, the files it
// opens at start and the list it saves at the end, and a whole session on the
// sample model: playing, exporting and quitting from the tool bar, reopening the export.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include "TestPaths.h"

namespace
{
// One run of the real program with its own configuration directory, so runs never
// see the developer's recent files or each other's. `script` holds the timed steps
// the program runs after its first frame; `window` replaces its window document.
struct ProgramRun
{
  ProgramRun() { QDir(home.path()).mkpath("config/marionette-lab"); }

  void run(const QStringList& arguments, const QString& script, const QString& window = {})
  {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("HOME", home.path());
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("MARIONETTE_LAB_SCRIPT", script);
    environment.insert("MARIONETTE_LAB_WINDOW", window);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ML_SCRIPTED_PROGRAM, arguments);
    if (!process.waitForFinished(120000))
      process.kill();
    process.waitForFinished();
    output = QString::fromUtf8(process.readAll());
    exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -3;
  }
  QString printed(const QString& property) const
  {
    const QRegularExpressionMatch match =
        QRegularExpression("^" + QRegularExpression::escape(property) + "=(.*)$",
                           QRegularExpression::MultilineOption)
            .match(output);
    return match.hasMatch() ? match.captured(1) : QStringLiteral("<not printed>");
  }
  QRect geometry(const QString& objectName) const
  {
    const QStringList values = printed("geometry:" + objectName).split(',');
    return values.size() != 4 ? QRect()
                              : QRectF(values[0].toDouble(), values[1].toDouble(),
                                       values[2].toDouble(), values[3].toDouble())
                                    .toRect();
  }
  QJsonObject settings() const
  {
    QFile file(settingsPath);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                          : QJsonObject();
  }

  QTemporaryDir home;
  QString settingsPath = home.filePath("config/marionette-lab/settings.json");
  int exitCode = -2;
  QString output;
};

bool sameColour(QRgb a, QRgb b, int tolerance = 2)
{
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The part of the view that is not background: the background is a vertical
// gradient, so a pixel differing from its row's left edge belongs to the scene.
QRect sceneArea(const QImage& image, const QRect& view)
{
  QRect area;
  for (int y = view.top() + 2; y < view.bottom() - 2; ++y)
    for (int x = view.left() + 3; x < view.right() - 2; ++x)
      if (!sameColour(image.pixel(x, y), image.pixel(view.left() + 3, y), 6))
        area |= QRect(x, y, 1, 1);
  return area;
}

TEST(StartUp, FailsWithMinusOneWithoutItsWindowOrTimeSlider)
{
  for (const auto& [document, message] : {std::pair{"broken.qml", "... failed to load main.qml"},
                                          {"no_slider.qml", "... failed to get qml ptrs"}})
  {
    ProgramRun run;
    run.run({}, {}, QString(ML_TEST_DOCUMENTS) + "/" + document);
    EXPECT_EQ(run.exitCode, 255) << run.output.toStdString(); // -1 as the parent sees it
    EXPECT_EQ(run.output.count("... failed to"), 1) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(message)) << run.output.toStdString();
  }
}

// Existing file arguments open; without any, the recent files are read and, where the
// settings ask for it, the most recent one opened. The list is saved back at the end, also
// by a run that never read it or found none, and a view with nothing loaded shows the
// window's background preset, the gradient, not VTK's black.
TEST(StartUp, OpensTheExistingFileArgumentsOrElseReadsTheRecentFiles)
{
  const QString arm = ML::Test::fixtureFile("arm_two_clips.glb");
  const QString lights = ML::Test::fixtureFile("four_lights.glb");
  const struct
  {
    QStringList arguments;
    QJsonObject settings;
    QString modelNames, recentFiles;
  } cases[] = {
      {{}, {}, "", ""},
      {{arm, "/no/such/file.glb", lights},
       {{"recentFiles", QJsonArray{"/m/a"}}},
       arm + "|" + lights,
       ""},
      {{"/no/such/file.glb", lights},
       {{"recentFiles", QJsonArray{"/m/a", "/m/b"}}},
       "",
       "/m/a|/m/b"},
      {{},
       {{"recentFiles", QJsonArray{lights, "/m/b"}}, {"loadOnStartup", true}},
       lights,
       lights + "|/m/b"},
  };
  for (const auto& start : cases)
  {
    ProgramRun run;
    QFile file(run.settingsPath);
    if (!start.settings.isEmpty() && file.open(QIODevice::WriteOnly))
      file.write(QJsonDocument(start.settings).toJson());
    file.close();
    const QString shot = run.home.filePath("shot.png");
    run.run(start.arguments, "1500:grab=" + shot +
                                 ";1550:geometry=vtkItem;1600:print=modelNames;1650:print="
                                 "recentFiles;1700:quit=7");
    EXPECT_EQ(run.exitCode, 7) << run.output.toStdString();
    EXPECT_EQ(run.printed("modelNames"), start.modelNames)
        << start.arguments.join(',').toStdString();
    EXPECT_EQ(run.printed("recentFiles"), start.recentFiles);
    EXPECT_TRUE(run.settings().contains("recentFiles"));
    EXPECT_EQ(run.settings().value("recentFiles").toArray(),
              start.settings.value("recentFiles").toArray());
    const QImage image(shot);
    const QRect view = run.geometry("vtkItem");
    ASSERT_TRUE(!image.isNull() && view.isValid()) << run.output.toStdString();
    const QColor top = image.pixelColor(view.center().x(), view.top() + 1);
    const QColor bottom = image.pixelColor(view.center().x(), view.bottom() - 1);
    EXPECT_TRUE(!start.modelNames.isEmpty() || top.lightness() > bottom.lightness() + 100)
        << "light above, dark below";
  }
}

TEST(EndToEnd, PlayExportAndQuitFromTheToolBarThenReopenTheExport)
{
  ProgramRun run;
  const QString a = run.home.filePath("a.png");
  const QString b = run.home.filePath("b.png");
  const QString exported = run.home.filePath("scene.glb");
  run.run({ML_SAMPLE_MODEL}, "1500:click=playButton;2500:grab=" + a + ";3500:grab=" + b +
                                 ";3600:geometry=vtkItem;3800:export=" + exported +
                                 ";4500:click=exitButton");
  ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();

  // A second apart, the playing model moved and nothing else in the view did.
  const QImage first(a);
  const QImage second(b);
  const QRect view = run.geometry("vtkItem");
  ASSERT_TRUE(!first.isNull() && first.size() == second.size() && view.isValid());
  const QRect model = (sceneArea(first, view) | sceneArea(second, view)).adjusted(-2, -2, 2, 2);
  int inside = 0;
  int outside = 0;
  for (int y = view.top(); y <= view.bottom(); ++y)
    for (int x = view.left(); x <= view.right(); ++x)
      if (!sameColour(first.pixel(x, y), second.pixel(x, y)))
        (model.contains(x, y) ? inside : outside) += 1;
  EXPECT_GT(inside, 200);
  EXPECT_EQ(outside, 0);

  ProgramRun reopen;
  const QString shot = reopen.home.filePath("reopened.png");
  reopen.run({exported}, "1500:print=modelNames;1550:print=numberOfAnimations;1600:grab=" + shot +
                             ";1650:geometry=vtkItem;1700:quit=0");
  EXPECT_EQ(reopen.exitCode, 0) << reopen.output.toStdString();
  EXPECT_EQ(reopen.printed("modelNames"), exported);
  EXPECT_EQ(reopen.printed("numberOfAnimations"), "1");
  EXPECT_GT(sceneArea(QImage(shot), reopen.geometry("vtkItem")).width(), 50);
}
// The converter: no window, the window's merge, a one-line reason and nothing left
// behind on failure.
TEST(CommandLine, ExportsMergedFilesWithoutAWindowOrSaysWhyNot)
{
  QTemporaryDir dir;
  const auto convert = [](const QStringList& arguments)
  {
    QProcess process;
    process.start(ML_PROGRAM, arguments);
    process.waitForFinished(120000);
    return std::pair{process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
  };
  const QString out = dir.filePath("both.glb");
  const auto [status, errors] =
      convert({"--export", out, ML::Test::fixtureFile("arm_two_clips.fbx"),
               ML::Test::fixtureFile("textured_cube.gltf")});
  EXPECT_EQ(status, 0) << errors.toStdString();
  Assimp::Importer reader;
  const aiScene* both = reader.ReadFile(out.toStdString(), 0);
  ASSERT_NE(both, nullptr);
  EXPECT_EQ(both->mNumMeshes, 2u);
  EXPECT_EQ(both->mNumAnimations, 2u);
  EXPECT_EQ(both->mNumTextures, 1u) << "the cube's image travels inside";

  for (const QStringList& arguments :
       {QStringList{"--export", dir.filePath("a.glb"), dir.filePath("missing.fbx")},
        QStringList{"--export", dir.filePath("a.obj"), ML::Test::fixtureFile("arm_two_clips.fbx")},
        QStringList{"--export", dir.filePath("a.glb")}})
  {
    const auto [failed, reason] = convert(arguments);
    EXPECT_NE(failed, 0) << arguments.join(' ').toStdString();
    EXPECT_EQ(reason.count('\n'), 1) << reason.toStdString();
    EXPECT_TRUE(reason.startsWith("marionette-lab: ")) << reason.toStdString();
  }
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
            QStringList{"both.glb"});
  EXPECT_TRUE(convert({"--help"}).first == 0);
}
} // namespace
