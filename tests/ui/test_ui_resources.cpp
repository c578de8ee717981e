// The resources the window is loaded from: the document in both places, the
// module's qmldir, and the drawn icons.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QMap>

namespace
{
const QStringList iconNames = {
    "exit1.png", "y_up_x_right.png", "z_up_x_left.png", "z_up_y_left.png", "axiswidget.png",
    "info.png",  "logo.ico",         "logo.png",        "lightwidget.png", "home.png",
    "add.png",   "trans.png",        "play1.png",       "view_all1.png",   "cancel1.png",
    "stop.png",  "savedoc.png",      "open2.png",       "wireframe.png",   "grid1.png"};

QByteArray contents(const QString& path)
{
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Share of pixels that are drawn (not transparent).
double coverage(const QImage& image)
{
  int drawn = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      drawn += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
  return double(drawn) / (image.width() * image.height());
}
} // namespace

TEST(WindowResources, ModuleQmldirHasItsFourLines)
{
  EXPECT_EQ(contents(":/marionette_lab/qmldir"),
            "module marionette_lab\ntypeinfo marionette_lab.qmltypes\nprefer :/marionette_lab/\n"
            "depends QtQuick\n");
}

TEST(WindowResources, DocumentIsInTheRootAndInTheModule)
{
  const QByteArray loaded = contents(":/main.qml");
  ASSERT_FALSE(loaded.isEmpty());
  EXPECT_EQ(loaded, contents(":/marionette_lab/main.qml"));
  EXPECT_TRUE(loaded.contains("required property Manager manager"));
}

TEST(WindowResources, EveryIconIsADrawnImageInBothFolders)
{
  for (const QString& name : iconNames)
  {
    SCOPED_TRACE(name.toStdString());
    const QByteArray rootCopy = contents(":/icons/" + name);
    ASSERT_FALSE(rootCopy.isEmpty());
    EXPECT_EQ(rootCopy, contents(":/marionette_lab/icons/" + name));

    const QImage image(":/icons/" + name);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(64, 64));
    // Neither blank nor a filled square: a shape on a transparent ground.
    const double drawn = coverage(image);
    EXPECT_GT(drawn, 0.05);
    EXPECT_LT(drawn, 0.95);
  }
}

TEST(WindowResources, EveryPngIconIsADifferentPicture)
{
  QMap<QByteArray, QString> seen;
  for (const QString& name : iconNames)
  {
    if (!name.endsWith(".png"))
      continue;
    const QImage image = QImage(":/icons/" + name).convertToFormat(QImage::Format_ARGB32);
    const QByteArray pixels(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    EXPECT_FALSE(seen.contains(pixels))
        << name.toStdString() << " looks like " << seen.value(pixels).toStdString();
    seen.insert(pixels, name);
  }
  EXPECT_EQ(seen.size(), 19);
}

TEST(WindowResources, WindowIconIsAReadableIcoFile)
{
  const QByteArray ico = contents(":/icons/logo.ico");
  ASSERT_GE(ico.size(), 6);
  // ICONDIR: reserved 0, type 1 (icon), at least one image.
  EXPECT_EQ(ico.left(4), QByteArray("\x00\x00\x01\x00", 4));
  EXPECT_GE(static_cast<unsigned char>(ico[4]), 1);
  EXPECT_FALSE(QImage(":/icons/logo.ico").isNull());
}
