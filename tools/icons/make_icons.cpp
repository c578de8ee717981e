// Draws the window's icons at build time, so the repository carries no binary
// images: make_icons <output dir> <file name>...
// Every icon is drawn on a 64 x 64 canvas; letters are strokes, not font text, so
// no font or display is needed.
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtEndian>

#include <cstdio>
#include <functional>
#include <map>

namespace
{
constexpr int IconSize = 64;

const QColor AxisX(214, 48, 49);
const QColor AxisY(46, 160, 67);
const QColor AxisZ(38, 110, 214);
const QColor Outline(40, 40, 40);

QPen roundPen(const QColor& color, qreal width)
{
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A shaft with a filled head at `to`.
void drawArrow(QPainter& p, QPointF from, QPointF to, const QColor& color, qreal width = 5,
               qreal head = 12)
{
  const QLineF shaft(from, to);
  const QPointF dir = (from - to) / shaft.length();
  const QPointF normal(-dir.y(), dir.x());
  const QPointF base = to + dir * head;
  p.setPen(roundPen(color, width));
  // Stop the shaft just inside the head so its round cap does not poke out.
  p.drawLine(QLineF(from, base - dir));
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPolygon(QPolygonF({to, base + normal * head * 0.55, base - normal * head * 0.55}));
}

// Letters for the axis icons, drawn as strokes in a box of the given size.
void drawLetter(QPainter& p, char letter, QRectF box, const QColor& color)
{
  QPainterPath path;
  const QPointF tl = box.topLeft(), tr = box.topRight(), bl = box.bottomLeft(),
                br = box.bottomRight(), mid = box.center();
  switch (letter)
  {
  case 'X':
    path.moveTo(tl);
    path.lineTo(br);
    path.moveTo(tr);
    path.lineTo(bl);
    break;
  case 'Y':
    path.moveTo(tl);
    path.lineTo(mid);
    path.lineTo(tr);
    path.moveTo(mid);
    path.lineTo(QPointF(mid.x(), box.bottom()));
    break;
  case 'Z':
    path.moveTo(tl);
    path.lineTo(tr);
    path.lineTo(bl);
    path.lineTo(br);
    break;
  }
  p.setBrush(Qt::NoBrush);
  p.setPen(roundPen(color, 3.5));
  p.drawPath(path);
}

// Up arrow with its letter on the left of the tip, a horizontal arrow with its
// letter under the tip: the view presets of the tool bar.
void drawViewPreset(QPainter& p, char up, const QColor& upColor, char right,
                    const QColor& rightColor, bool pointsLeft)
{
  const QPointF origin(pointsLeft ? 46 : 16, 48);
  drawArrow(p, origin, QPointF(origin.x(), 6), upColor);
  const QPointF tip(pointsLeft ? 6 : 58, origin.y());
  drawArrow(p, origin, tip, rightColor);
  p.setPen(Qt::NoPen);
  p.setBrush(Outline);
  p.drawEllipse(origin, 4, 4);
  const qreal upLetterX = pointsLeft ? origin.x() - 24 : origin.x() + 10;
  drawLetter(p, up, QRectF(upLetterX, 6, 13, 16), upColor);
  const qreal rightLetterX = pointsLeft ? 6 : 45;
  drawLetter(p, right, QRectF(rightLetterX, 38 - 18, 13, 14), rightColor);
}

void drawYUpXRight(QPainter& p)
{
  drawViewPreset(p, 'Y', AxisY, 'X', AxisX, false);
}
void drawZUpYLeft(QPainter& p)
{
  drawViewPreset(p, 'Z', AxisZ, 'Y', AxisY, true);
}
void drawZUpXLeft(QPainter& p)
{
  drawViewPreset(p, 'Z', AxisZ, 'X', AxisX, true);
}

void drawAxesMarker(QPainter& p)
{
  const QPointF origin(24, 40);
  drawArrow(p, origin, QPointF(60, 40), AxisX);
  drawArrow(p, origin, QPointF(24, 4), AxisY);
  drawArrow(p, origin, QPointF(4, 60), AxisZ);
  p.setPen(Qt::NoPen);
  p.setBrush(Outline);
  p.drawEllipse(origin, 4.5, 4.5);
}

void drawOpenFolder(QPainter& p)
{
  const QColor back(222, 170, 40), front(250, 204, 80);
  p.setPen(roundPen(QColor(150, 100, 20), 2.5));
  p.setBrush(back);
  p.drawPolygon(QPolygonF({{4, 12}, {22, 12}, {27, 18}, {52, 18}, {52, 54}, {4, 54}}));
  p.setBrush(QColor(255, 255, 255));
  p.drawRect(QRectF(10, 22, 36, 20));
  p.setBrush(front);
  p.drawPolygon(QPolygonF({{14, 30}, {62, 30}, {52, 54}, {4, 54}}));
}

void drawPlus(QPainter& p, const QColor& color)
{
  p.setPen(roundPen(color.darker(130), 2.5));
  p.setBrush(color);
  p.drawEllipse(QPointF(32, 32), 28, 28);
  p.setPen(QPen(Qt::white, 9, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QLineF(32, 15, 32, 49));
  p.drawLine(QLineF(15, 32, 49, 32));
}

void drawAdd(QPainter& p)
{
  drawPlus(p, QColor(46, 160, 67));
}

void drawFloppy(QPainter& p)
{
  p.setPen(roundPen(QColor(20, 50, 110), 2.5));
  p.setBrush(QColor(50, 100, 190));
  p.drawPolygon(QPolygonF({{6, 6}, {50, 6}, {58, 14}, {58, 58}, {6, 58}}));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 205, 215));
  p.drawRect(QRectF(17, 6, 28, 18));
  p.setBrush(QColor(50, 100, 190));
  p.drawRect(QRectF(35, 9, 6, 12));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(13, 32, 38, 22), 2, 2);
  p.setPen(roundPen(QColor(150, 160, 180), 2));
  for (qreal y : {39.0, 46.0})
    p.drawLine(QLineF(18, y, 46, y));
}

void drawPlay(QPainter& p)
{
  p.setPen(roundPen(QColor(20, 110, 40), 3));
  p.setBrush(QColor(46, 170, 70));
  p.drawPolygon(QPolygonF({{14, 6}, {58, 32}, {14, 58}}));
}

void drawStop(QPainter& p)
{
  p.setPen(roundPen(QColor(140, 20, 20), 3));
  p.setBrush(QColor(214, 48, 49));
  p.drawRoundedRect(QRectF(10, 10, 44, 44), 4, 4);
}

// A box inside four corner brackets: fit the whole scene into the view.
void drawViewAll(QPainter& p)
{
  p.setBrush(Qt::NoBrush);
  p.setPen(roundPen(Outline, 5));
  const qreal a = 5, b = 59, l = 14;
  for (const auto& corner : {QPointF(a, a), QPointF(b, a), QPointF(b, b), QPointF(a, b)})
  {
    const qreal sx = corner.x() < 32 ? 1 : -1, sy = corner.y() < 32 ? 1 : -1;
    p.drawPolyline(QPolygonF({corner + QPointF(0, sy * l), corner, corner + QPointF(sx * l, 0)}));
  }
  p.setPen(roundPen(QColor(38, 110, 214), 3));
  p.setBrush(QColor(120, 170, 235));
  p.drawPolygon(QPolygonF({{20, 26}, {36, 26}, {36, 44}, {20, 44}}));
  p.setBrush(QColor(80, 140, 220));
  p.drawPolygon(QPolygonF({{20, 26}, {28, 19}, {44, 19}, {36, 26}}));
  p.drawPolygon(QPolygonF({{36, 26}, {44, 19}, {44, 37}, {36, 44}}));
}

void drawCross(QPainter& p)
{
  p.setPen(roundPen(QColor(140, 20, 20), 2.5));
  p.setBrush(QColor(214, 48, 49));
  p.drawEllipse(QPointF(32, 32), 28, 28);
  p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QLineF(20, 20, 44, 44));
  p.drawLine(QLineF(44, 20, 20, 44));
}

void drawInfo(QPainter& p)
{
  p.setPen(roundPen(QColor(20, 60, 140), 2.5));
  p.setBrush(QColor(38, 110, 214));
  p.drawEllipse(QPointF(32, 32), 28, 28);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(32, 17), 5, 5);
  p.drawRoundedRect(QRectF(27.5, 26, 9, 26), 2, 2);
}

// A door with an arrow leaving through it.
void drawExit(QPainter& p)
{
  p.setPen(roundPen(QColor(90, 60, 30), 3));
  p.setBrush(QColor(170, 120, 70));
  p.drawRect(QRectF(6, 6, 30, 52));
  p.setBrush(QColor(120, 80, 40));
  p.drawPolygon(QPolygonF({{6, 6}, {24, 12}, {24, 62}, {6, 58}}));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(240, 200, 80));
  p.drawEllipse(QPointF(20, 36), 2.5, 2.5);
  drawArrow(p, QPointF(30, 32), QPointF(62, 32), QColor(214, 48, 49), 6, 14);
}

void drawHome(QPainter& p)
{
  p.setPen(roundPen(QColor(120, 40, 20), 3));
  p.setBrush(QColor(200, 70, 40));
  p.drawPolygon(QPolygonF({{32, 4}, {62, 30}, {2, 30}}));
  p.setPen(roundPen(QColor(90, 70, 50), 3));
  p.setBrush(QColor(240, 225, 190));
  p.drawRect(QRectF(10, 30, 44, 28));
  p.setBrush(QColor(130, 85, 45));
  p.drawRect(QRectF(27, 40, 11, 18));
}

// Four-way move arrows with a scale corner: the model transform.
void drawTransform(QPainter& p)
{
  const QColor color(38, 110, 214);
  const QPointF c(32, 32);
  for (const auto& tip : {QPointF(32, 3), QPointF(61, 32), QPointF(32, 61), QPointF(3, 32)})
    drawArrow(p, c, tip, color, 5, 13);
  p.setPen(roundPen(QColor(20, 60, 140), 2));
  p.setBrush(Qt::white);
  p.drawEllipse(c, 6, 6);
}

// Cube with all twelve edges; the hidden ones dashed.
void drawWireframe(QPainter& p)
{
  const QPointF front[4] = {{8, 22}, {42, 22}, {42, 56}, {8, 56}};
  const QPointF offset(14, -14);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(90, 90, 90), 2.5, Qt::DashLine, Qt::RoundCap));
  const QPointF hidden = front[3] + offset;
  p.drawLine(QLineF(front[3], hidden));
  p.drawLine(QLineF(hidden, front[0] + offset));
  p.drawLine(QLineF(hidden, front[2] + offset));
  p.setPen(roundPen(QColor(30, 30, 30), 3.5));
  for (int i = 0; i < 4; ++i)
    p.drawLine(QLineF(front[i], front[(i + 1) % 4]));
  for (int i : {0, 1, 2})
    p.drawLine(QLineF(front[i], front[i] + offset));
  p.drawLine(QLineF(front[0] + offset, front[1] + offset));
  p.drawLine(QLineF(front[1] + offset, front[2] + offset));
}

// A ground grid seen at a slant, with its two axis lines coloured.
void drawGrid(QPainter& p)
{
  const QPolygonF plane({{16, 14}, {48, 14}, {62, 54}, {2, 54}});
  auto onPlane = [&](qreal u, qreal v)
  {
    const QPointF top = plane[0] + (plane[1] - plane[0]) * u;
    const QPointF bottom = plane[3] + (plane[2] - plane[3]) * u;
    return top + (bottom - top) * v;
  };
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(225, 230, 238));
  p.drawPolygon(plane);
  p.setPen(roundPen(QColor(80, 80, 90), 2.2));
  for (int i = 0; i <= 4; ++i)
  {
    const qreal t = i / 4.0;
    if (i == 2)
      continue;
    p.drawLine(QLineF(onPlane(t, 0), onPlane(t, 1)));
    p.drawLine(QLineF(onPlane(0, t), onPlane(1, t)));
  }
  p.setPen(roundPen(AxisX, 3));
  p.drawLine(QLineF(onPlane(0, 0.5), onPlane(1, 0.5)));
  p.setPen(roundPen(AxisZ, 3));
  p.drawLine(QLineF(onPlane(0.5, 0), onPlane(0.5, 1)));
}

// A skeleton: a chain of bones from a hip joint, each joint a dot.
void drawSkeleton(QPainter& p)
{
  const QPointF joints[] = {{32, 54}, {32, 34}, {18, 20}, {46, 20}, {32, 10}};
  const int parents[] = {-1, 0, 1, 1, 1};
  p.setPen(roundPen(QColor(200, 40, 160), 4));
  for (int j = 1; j < 5; ++j)
    p.drawLine(QLineF(joints[parents[j]], joints[j]));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 210, 40));
  for (const QPointF& joint : joints)
    p.drawEllipse(joint, 5, 5);
}

// A spot light: lamp housing casting a cone of light on the ground.
void drawSpotLight(QPainter& p)
{
  QLinearGradient beam(QPointF(22, 20), QPointF(44, 58));
  beam.setColorAt(0, QColor(255, 220, 60, 230));
  beam.setColorAt(1, QColor(255, 240, 150, 60));
  p.setPen(Qt::NoPen);
  p.setBrush(beam);
  p.drawPolygon(QPolygonF({{22, 24}, {32, 16}, {62, 54}, {30, 62}}));
  p.setBrush(QColor(255, 230, 90));
  p.drawEllipse(QPointF(46, 58), 16, 5);
  p.save();
  p.translate(20, 18);
  p.rotate(40);
  p.setPen(roundPen(QColor(30, 30, 30), 2.5));
  p.setBrush(QColor(90, 90, 100));
  p.drawPolygon(QPolygonF({{-7, -16}, {7, -16}, {12, 6}, {-12, 6}}));
  p.setBrush(QColor(255, 240, 120));
  p.drawRect(QRectF(-12, 6, 24, 4));
  p.restore();
}

// The logo: a wooden control bar with strings holding a jointed figure.
void drawMarionette(QPainter& p)
{
  const QColor wood(150, 95, 45), string(110, 110, 110), body(220, 90, 50), limb(60, 90, 170);
  const QPointF hands[2] = {{13, 36}, {51, 36}};
  const QPointF feet[2] = {{22, 61}, {42, 61}};
  const QPointF head(32, 22), neck(32, 28), hip(32, 46);

  p.setPen(roundPen(string, 1.2));
  p.drawLine(QLineF(6, 5, hands[0].x(), hands[0].y()));
  p.drawLine(QLineF(58, 5, hands[1].x(), hands[1].y()));
  p.drawLine(QLineF(32, 5, head.x(), head.y() - 6));
  p.drawLine(QLineF(20, 9, feet[0].x() - 4, 50));
  p.drawLine(QLineF(44, 9, feet[1].x() + 4, 50));

  p.setPen(roundPen(wood.darker(140), 1.5));
  p.setBrush(wood);
  p.drawRoundedRect(QRectF(3, 2, 58, 6), 3, 3);
  p.drawRoundedRect(QRectF(18, 6, 28, 5), 2, 2);

  p.setPen(roundPen(limb, 5));
  p.drawPolyline(QPolygonF({hands[0], QPointF(20, 34), QPointF(26, 31)}));
  p.drawPolyline(QPolygonF({hands[1], QPointF(44, 34), QPointF(38, 31)}));
  p.drawPolyline(QPolygonF({feet[0] + QPointF(-4, 0), QPointF(feet[0].x() - 4, 53), hip}));
  p.drawPolyline(QPolygonF({feet[1] + QPointF(4, 0), QPointF(feet[1].x() + 4, 53), hip}));

  p.setPen(roundPen(body.darker(150), 1.5));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(25, neck.y(), 14, hip.y() - neck.y() + 2), 4, 4);
  p.setBrush(QColor(245, 210, 170));
  p.drawEllipse(head, 6.5, 6.5);
  p.setPen(Qt::NoPen);
  p.setBrush(wood.darker(150));
  for (const auto& joint : {hands[0], hands[1]})
    p.drawEllipse(joint, 2.5, 2.5);
}

using Painter = std::function<void(QPainter&)>;

const std::map<QString, Painter>& painters()
{
  static const std::map<QString, Painter> table = {
      {"exit1.png", drawExit},
      {"y_up_x_right.png", drawYUpXRight},
      {"z_up_x_left.png", drawZUpXLeft},
      {"z_up_y_left.png", drawZUpYLeft},
      {"axiswidget.png", drawAxesMarker},
      {"info.png", drawInfo},
      {"logo.ico", drawMarionette},
      {"logo.png", drawMarionette},
      {"lightwidget.png", drawSpotLight},
      {"home.png", drawHome},
      {"add.png", drawAdd},
      {"trans.png", drawTransform},
      {"play1.png", drawPlay},
      {"view_all1.png", drawViewAll},
      {"cancel1.png", drawCross},
      {"stop.png", drawStop},
      {"savedoc.png", drawFloppy},
      {"open2.png", drawOpenFolder},
      {"wireframe.png", drawWireframe},
      {"grid1.png", drawGrid},
      {"skeleton.png", drawSkeleton},
  };
  return table;
}

QImage render(const Painter& paint)
{
  QImage image(IconSize, IconSize, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paint(painter);
  painter.end();
  return image;
}

// An ICO file whose single entry is a PNG image (understood by every reader
// since Windows Vista), for Qt builds without the ico image plugin.
bool writePngIco(const QImage& image, const QString& path)
{
  QByteArray png;
  {
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
      return false;
  }
  QByteArray ico;
  auto put16 = [&](quint16 v)
  {
    const quint16 le = qToLittleEndian(v);
    ico.append(reinterpret_cast<const char*>(&le), 2);
  };
  auto put32 = [&](quint32 v)
  {
    const quint32 le = qToLittleEndian(v);
    ico.append(reinterpret_cast<const char*>(&le), 4);
  };
  put16(0); // reserved
  put16(1); // type: icon
  put16(1); // one image
  ico.append(char(image.width() % 256));
  ico.append(char(image.height() % 256));
  ico.append(char(0)); // no palette
  ico.append(char(0)); // reserved
  put16(1);            // colour planes
  put16(32);           // bits per pixel
  put32(static_cast<quint32>(png.size()));
  put32(6 + 16); // offset of the image data: header plus one directory entry
  ico.append(png);

  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size();
}

bool save(const QImage& image, const QString& path)
{
  if (!path.endsWith(".ico"))
    return image.save(path, "PNG");
  if (QImageWriter::supportedImageFormats().contains("ico") && image.save(path, "ICO"))
    return true;
  return writePngIco(image, path);
}
} // namespace

int main(int argc, char** argv)
{
  // The application object only makes Qt's image plugins (ico) findable.
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 3)
  {
    std::fprintf(stderr, "usage: make_icons <output dir> <file name>...\n");
    return 2;
  }
  const QDir outDir(args[1]);
  if (!outDir.exists() && !QDir().mkpath(outDir.path()))
  {
    std::fprintf(stderr, "cannot create %s\n", qPrintable(outDir.path()));
    return 1;
  }
  for (const QString& name : args.mid(2))
  {
    const auto found = painters().find(name);
    if (found == painters().end())
    {
      std::fprintf(stderr, "no drawing for icon %s\n", qPrintable(name));
      return 1;
    }
    if (!save(render(found->second), outDir.filePath(name)))
    {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(outDir.filePath(name)));
      return 1;
    }
  }
  return 0;
}
