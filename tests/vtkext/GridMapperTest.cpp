#include "OffscreenView.h"
#include "vtkMLOpenGLGridMapper.h"

#include <vtkActor.h>
#include <vtkProperty.h>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace ML::Test;

namespace
{
std::string printed(vtkObject* object)
{
  std::ostringstream out;
  object->PrintSelf(out, vtkIndent().GetNextIndent());
  return out.str();
}

std::vector<std::string> lastLines(const std::string& text, size_t count)
{
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
  {
    lines.push_back(line);
  }
  return {lines.end() - static_cast<std::ptrdiff_t>(count), lines.end()};
}
} // namespace

TEST(GridMapper, BoundsAreASlabAroundTheXZPlaneSizedByTheFadeDistance)
{
  vtkNew<vtkMLOpenGLGridMapper> mapper;
  const double* bounds = mapper->GetBounds();
  const double expected[6] = {-10, 10, -0.0001, 0.0001, -10, 10};
  for (int i = 0; i < 6; ++i)
  {
    EXPECT_DOUBLE_EQ(bounds[i], expected[i]) << "bound " << i;
  }

  mapper->SetFadeDistance(2.5);
  double copy[6];
  mapper->GetBounds(copy);
  EXPECT_DOUBLE_EQ(copy[0], -2.5);
  EXPECT_DOUBLE_EQ(copy[1], 2.5);
  EXPECT_DOUBLE_EQ(copy[3], 0.0001);
  EXPECT_DOUBLE_EQ(copy[5], 2.5);
}

TEST(GridMapper, PrintSelfEndsWithTheGridSettings)
{
  vtkNew<vtkMLOpenGLGridMapper> mapper;
  const std::vector<std::string> lines = lastLines(printed(mapper), 3);
  EXPECT_EQ(lines[0], "  FadeDistance: 10");
  EXPECT_EQ(lines[1], "  UnitSquare: 1");
  EXPECT_EQ(lines[2], "  Subdivisions: 10");

  mapper->SetUnitSquare(100);
  EXPECT_EQ(lastLines(printed(mapper), 2)[0], "  UnitSquare: 100");
}

TEST(GridMapper, SettersModifyOnlyOnChange)
{
  vtkNew<vtkMLOpenGLGridMapper> mapper;
  mapper->SetFadeDistance(20.0);
  mapper->SetUnitSquare(10.0);
  mapper->SetSubdivisions(5);
  mapper->SetGridOffset(1.0, 2.0, 3.0);
  mapper->SetAxis1Color(1.0f, 0.0f, 0.0f, 1.0f);
  mapper->SetAxis2Color(0.0f, 0.0f, 1.0f, 1.0f);
  const vtkMTimeType settled = mapper->GetMTime();

  const double offset[3] = {1.0, 2.0, 3.0};
  const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
  const float blue[4] = {0.0f, 0.0f, 1.0f, 1.0f};
  mapper->SetFadeDistance(20.0);
  mapper->SetUnitSquare(10.0);
  mapper->SetSubdivisions(5);
  mapper->SetGridOffset(offset);
  mapper->SetAxis1Color(red);
  mapper->SetAxis2Color(blue);
  EXPECT_EQ(mapper->GetMTime(), settled);

  mapper->SetAxis2Color(0.0f, 0.0f, 1.0f, 0.5f);
  EXPECT_GT(mapper->GetMTime(), settled);
  const vtkMTimeType afterAlpha = mapper->GetMTime();
  mapper->SetGridOffset(1.0, 2.0, 3.5);
  EXPECT_GT(mapper->GetMTime(), afterAlpha);
}

// The grid seen from straight above on black, with white lines: a pixel's
// brightness is the line colour times the fragment alpha. 481 pixels with 20
// pixels to a unit put every major line and both axes on pixel centres.
class GridRender : public ::testing::Test
{
protected:
  static constexpr int Size = 481;
  static constexpr int Centre = Size / 2;
  static constexpr int PixelsPerUnit = 20;

  GridRender() : view(Size, Size)
  {
    view.lookAlongMinusY(Size / (2.0 * PixelsPerUnit));
    mapper->SetFadeDistance(10.0);
    mapper->SetUnitSquare(1.0);
    mapper->SetSubdivisions(4);
    mapper->SetAxis1Color(1.0f, 0.0f, 0.0f, 1.0f);
    mapper->SetAxis2Color(0.0f, 1.0f, 0.0f, 1.0f);
    actor->SetMapper(mapper);
    actor->ForceTranslucentOn();
    actor->GetProperty()->SetColor(1.0, 1.0, 1.0);
  }

  // Model X grows to the right, model Z downwards on screen.
  const unsigned char* at(const Frame& frame, double x, double z) const
  {
    return frame.pixel(Centre + static_cast<int>(std::lround(x * PixelsPerUnit)),
                       Centre - static_cast<int>(std::lround(z * PixelsPerUnit)));
  }

  OffscreenView view;
  vtkNew<vtkMLOpenGLGridMapper> mapper;
  vtkNew<vtkActor> actor;
};

TEST_F(GridRender, MajorLinesPeakAtTheLineAlphaAndFadeOutRadially)
{
  const Frame frame = view.renderOnly(actor);
  frame.saveIfRequested("grid");

  // Away from the axes every pixel is grey; the brightest are the major lines
  // nearest the centre, at alpha 0.6 times a radial fade close to 1.
  int brightestGrey = 0;
  int brightestBeyondFade = 0;
  for (int y = 0; y < Size; ++y)
  {
    for (int x = 0; x < Size; ++x)
    {
      const int dx = x - Centre;
      const int dy = y - Centre;
      const double radius = std::hypot(dx, dy) / PixelsPerUnit;
      const unsigned char* p = frame.pixel(x, y);
      if (std::abs(dx) > 2 && std::abs(dy) > 2)
      {
        EXPECT_EQ(p[0], p[1]) << x << "," << y;
        EXPECT_EQ(p[1], p[2]) << x << "," << y;
        brightestGrey = std::max(brightestGrey, int(p[0]));
      }
      if (radius >= 10.0)
      {
        brightestBeyondFade = std::max(brightestBeyondFade, frame.brightness(x, y));
      }
    }
  }
  EXPECT_GE(brightestGrey, 148);
  EXPECT_LE(brightestGrey, 154);
  EXPECT_EQ(brightestBeyondFade, 0);

  // On a major line the brightness follows 0.6 (1 - r^2 / F^2).
  EXPECT_NEAR(at(frame, 3.0, 4.0)[0], 0.6 * 255 * (1.0 - 25.0 / 100.0), 2.0);
  EXPECT_NEAR(at(frame, 6.0, 6.0)[0], 0.6 * 255 * (1.0 - 72.0 / 100.0), 2.0);
  // Between lines nothing is drawn.
  EXPECT_EQ(at(frame, 2.4, 3.6)[0], 0);
}

TEST_F(GridRender, MinorLinesAreFainterAndFadeWithZoom)
{
  const Frame frame = view.renderOnly(actor);

  // A minor line (every quarter unit) away from the major lines: alpha 0.6 times
  // the minor opacity 0.5 times the zoom fade, 1 - (1/20 unit per pixel) * F = 0.5.
  const double radialFade = 1.0 - (2.25 * 2.25 + 3.6 * 3.6) / 100.0;
  EXPECT_NEAR(at(frame, 2.25, 3.6)[0], 0.15 * 255 * radialFade, 2.0);

  // Zooming out until a unit is 10 pixels fades the minor lines out completely.
  view.lookAlongMinusY(Size / double(PixelsPerUnit));
  const Frame zoomedOut = view.render();
  zoomedOut.saveIfRequested("grid-zoomed-out");
  EXPECT_EQ(zoomedOut.brightness(Centre + 22, Centre + 36), 0);
  EXPECT_GT(zoomedOut.brightness(Centre + 20, Centre + 36), 0);
}

TEST_F(GridRender, AxisLinesTakeTheirColoursAndUniformChangesNeedNoRebuild)
{
  const Frame frame = view.renderOnly(actor);
  // Axis 1 runs along model X through the origin: the line colour blended 0.8
  // towards red, with alpha 0.92, faded at x = 2.5 by 1 - 6.25/100.
  const double fade = 1.0 - 6.25 / 100.0;
  const unsigned char* onAxis1 = at(frame, 2.5, 0.0);
  EXPECT_NEAR(onAxis1[0], 255 * 0.92 * fade, 2.0);
  EXPECT_NEAR(onAxis1[1], 255 * 0.2 * 0.92 * fade, 2.0);
  EXPECT_NEAR(onAxis1[2], 255 * 0.2 * 0.92 * fade, 2.0);
  const unsigned char* onAxis2 = at(frame, 0.0, -2.5);
  EXPECT_NEAR(onAxis2[0], 255 * 0.2 * 0.92 * fade, 2.0);
  EXPECT_NEAR(onAxis2[1], 255 * 0.92 * fade, 2.0);
  // Where they cross, axis 1 wins.
  EXPECT_GT(at(frame, 0.0, 0.0)[0], 200);

  mapper->SetAxis1Color(0.0f, 0.0f, 1.0f, 1.0f);
  mapper->SetGridOffset(0.5, 0.0, 0.0);
  const Frame changed = view.render();
  changed.saveIfRequested("grid-changed");
  EXPECT_NEAR(at(changed, 2.0, 0.0)[2], 255 * 0.92 * (1.0 - 4.0 / 100.0), 2.0);
  // The offset moved the lines across X, axis 2 included, by half a unit: only a
  // grey minor line is left at x = 0.
  const unsigned char* formerAxis2 = at(changed, 0.0, -2.5);
  EXPECT_EQ(formerAxis2[0], formerAxis2[1]);
  EXPECT_GT(at(changed, 0.5, -2.5)[1], 200);
}
