// The whole program on its sample model: playing, exporting, quitting, and
// opening the exported file again.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>
#include <QRect>

#include "ProgramRun.h"

namespace
{
using ML::Test::ProgramRun;

QString sampleModel()
{
  return QStringLiteral(ML_SAMPLE_MODEL);
}

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
  {
    const QRgb background = image.pixel(view.left() + 3, y);
    for (int x = view.left() + 3; x < view.right() - 2; ++x)
    {
      if (!sameColour(image.pixel(x, y), background, 6))
      {
        area |= QRect(x, y, 1, 1);
      }
    }
  }
  return area;
}

TEST(EndToEnd, PlayingMovesOnlyTheModel)
{
  ProgramRun run;
  const QString first = run.home.filePath("a.png");
  const QString second = run.home.filePath("b.png");
  run.run({sampleModel()}, "1500:call=playToggle;2500:grab=" + first + ";3500:grab=" + second +
                               ";3600:geometry=vtkItem;3700:print=sliderVal;3800:quit=0");
  ASSERT_TRUE(run.finished);
  ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
  const QImage a(first);
  const QImage b(second);
  ASSERT_FALSE(a.isNull());
  ASSERT_EQ(a.size(), b.size());
  const QRect view = run.geometry("vtkItem");
  ASSERT_TRUE(view.isValid()) << run.output.toStdString();

  const QRect model = (sceneArea(a, view) | sceneArea(b, view)).adjusted(-2, -2, 2, 2);
  ASSERT_TRUE(model.isValid());
  int inside = 0;
  int outside = 0;
  for (int y = view.top(); y <= view.bottom(); ++y)
  {
    for (int x = view.left(); x <= view.right(); ++x)
    {
      if (!sameColour(a.pixel(x, y), b.pixel(x, y)))
      {
        (model.contains(x, y) ? inside : outside) += 1;
      }
    }
  }
  EXPECT_GT(inside, 200);
  EXPECT_EQ(outside, 0);
  EXPECT_NE(run.printed("sliderVal"), "0");
}

TEST(EndToEnd, PlayExportQuitFromTheToolBarAndReopenTheExport)
{
  ProgramRun run;
  const QString exported = run.home.filePath("scene.glb");
  const QString playing = run.home.filePath("playing.png");
  run.run({sampleModel()}, "1500:click=playButton;2500:grab=" + playing +
                               ";2600:print=playIcon;2700:export=" + exported +
                               ";3500:click=exitButton");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
  EXPECT_EQ(run.printed("playIcon"), "qrc:/marionette_lab/icons/stop.png");
  ASSERT_TRUE(QFileInfo(exported).size() > 0);

  ProgramRun reopen;
  const QString shot = reopen.home.filePath("reopened.png");
  reopen.run({exported}, "1500:print=modelNames;1550:print=numberOfAnimations;1600:grab=" + shot +
                             ";1650:geometry=vtkItem;1700:quit=0");
  ASSERT_TRUE(reopen.finished);
  EXPECT_EQ(reopen.exitCode, 0) << reopen.output.toStdString();
  EXPECT_EQ(reopen.printed("modelNames"), exported);
  EXPECT_EQ(reopen.printed("numberOfAnimations"), "1");
  const QImage image(shot);
  const QRect view = reopen.geometry("vtkItem");
  ASSERT_FALSE(image.isNull());
  ASSERT_TRUE(view.isValid());
  EXPECT_TRUE(sceneArea(image, view).width() > 50);
}
} // namespace
