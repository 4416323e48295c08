#include "app/star_width.h"

#include <gtest/gtest.h>

#include "core/matrix.h"
#include "display/levels.h"

namespace qirm {
namespace {

// A colour window whose green channel is `background` with `bright` on the
// listed pixels.
ImageDocument ColourWindow(int w, int h, int background) {
  ImageDocument doc;
  doc.kind = WindowKind::kColour;
  doc.zoom = 1.00;
  doc.Image = Picture(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) doc.Image.SetColor(x, y, 0x000000u | (background << 8));
  return doc;
}

void SetGreen(ImageDocument& doc, int x, int y, int g) {
  doc.Image.Row(y)[3 * x + 1] = static_cast<std::uint8_t>(g);
}

std::string WidthLabel(const ImageDocument& doc, int X, int Y, MouseButton button = MouseButton::Left) {
  StarWidthResult r;
  std::string error;
  EXPECT_TRUE(StarWidthAt(doc, X, Y, button, r, error)) << error;
  return r.label;
}

TEST(StarWidth, WorkedBoxes) {
  ImageDocument single = ColourWindow(50, 50, 20);
  SetGreen(single, 25, 25, 200);
  EXPECT_EQ(WidthLabel(single, 25, 25), "QIRM = 1.1 pxls");

  ImageDocument square = ColourWindow(50, 50, 20);
  for (int x = 24; x <= 26; ++x)
    for (int y = 24; y <= 26; ++y) SetGreen(square, x, y, 200);
  EXPECT_EQ(WidthLabel(square, 25, 25), "QIRM = 3.4 pxls");

  EXPECT_EQ(WidthLabel(ColourWindow(50, 50, 77), 25, 25), "QIRM = 0.0 pxls");

  ImageDocument hole = ColourWindow(50, 50, 200);
  SetGreen(hole, 25, 25, 0);
  EXPECT_EQ(WidthLabel(hole, 25, 25), "QIRM = 23.7 pxls");

  EXPECT_EQ(WidthLabel(single, 25, 25, MouseButton::Right), "QIRM = 0.0 pxls");
}

TEST(StarWidth, RawValuesAndTheExtremesText) {
  IntMatrix raw;
  ASSERT_EQ(AllocIntMatrix(40, 40, raw), 0);
  for (int x = 0; x < 40; ++x)
    for (int y = 0; y < 40; ++y) raw[x][y] = 1000;
  raw[20][20] = 60000;
  raw[21][20] = 40000;
  ImageDocument doc;
  doc.kind = WindowKind::kRaw16;
  doc.zoom = 1.00;
  SplitRawPlanes(raw, 40, 40, doc.ImageZm, doc.ImageZm2);
  doc.Image = RenderRawLevels(raw, 40, 40, 2000, 1000);
  StarWidthResult r;
  std::string error;
  ASSERT_TRUE(StarWidthAt(doc, 20, 20, MouseButton::Left, r, error));
  EXPECT_EQ(r.measured.count, 2);
  EXPECT_EQ(r.extremes, "MAX = 60000 , MIN = 1000");
  ASSERT_TRUE(StarWidthAt(doc, 20, 20, MouseButton::Middle, r, error));
  EXPECT_EQ(r.extremes, "MAX = 0 , MIN = 100000");
}

TEST(StarWidth, BoxPositionsOutsideThePictureAreLeftOut) {
  ImageDocument doc = ColourWindow(5, 5, 10);
  SetGreen(doc, 0, 0, 250);
  StarWidthResult r;
  std::string error;
  ASSERT_TRUE(StarWidthAt(doc, 0, 0, MouseButton::Left, r, error));
  EXPECT_EQ(r.measured.count, 1);
  EXPECT_EQ(r.measured.min, 10);
}

TEST(CursorReadout, ZoomDividesThePositionButNotTheText) {
  ImageDocument doc = ColourWindow(60, 40, 0);
  doc.Image.SetColor(50, 30, 0x030201);  // blue 3, green 2, red 1
  doc.zoom = 2;
  std::string label, error;
  ASSERT_TRUE(CursorReadout(doc, 100, 60, label, error));
  EXPECT_EQ(label, "R=1  G=2  B=3   (100,60)");
  EXPECT_FALSE(CursorReadout(doc, 200, 60, label, error));  // beyond the picture

  IntMatrix raw;
  ASSERT_EQ(AllocIntMatrix(2, 2, raw), 0);
  raw[1][1] = 40000;
  ImageDocument fits;
  fits.kind = WindowKind::kRaw16;
  fits.zoom = 1.00;
  SplitRawPlanes(raw, 2, 2, fits.ImageZm, fits.ImageZm2);
  ASSERT_TRUE(CursorReadout(fits, 1, 1, label, error));
  EXPECT_EQ(label, "Intensity = 40000   (1,1)");

  // A window nothing has been put in has no zoom to read with.
  fits.zoom.reset();
  EXPECT_FALSE(CursorReadout(fits, 1, 1, label, error));
  EXPECT_EQ(error, "'' is not a valid floating point value");
}

TEST(CapturePosition, ModesAndButtons) {
  std::string error;
  StarPick pick;
  pick.mode = StarPick::Mode::TwoStars;
  ASSERT_TRUE(CapturePosition(pick, MouseButton::Left, 1, 2, error));
  ASSERT_TRUE(CapturePosition(pick, MouseButton::Left, 3, 4, error));
  ASSERT_TRUE(CapturePosition(pick, MouseButton::Left, 5, 6, error));
  EXPECT_EQ(pick.Edit6 + "," + pick.Edit9, "5,6");
  EXPECT_EQ(pick.Edit7 + "," + pick.Edit10, "3,4");
  EXPECT_EQ(pick.Edit19, "2");
  ASSERT_TRUE(CapturePosition(pick, MouseButton::Right, 7, 8, error));
  EXPECT_EQ(pick.Edit12 + "," + pick.Edit13, "7,8");
  EXPECT_EQ(pick.Edit7, "3");

  StarPick one;
  one.mode = StarPick::Mode::OneStar;
  ASSERT_TRUE(CapturePosition(one, MouseButton::Left, 9, 10, error));
  ASSERT_TRUE(CapturePosition(one, MouseButton::Left, 11, 12, error));
  EXPECT_EQ(one.Edit6 + "," + one.Edit9, "11,12");
  EXPECT_EQ(one.Edit7, "");

  StarPick none;
  ASSERT_TRUE(CapturePosition(none, MouseButton::Left, 1, 1, error));
  EXPECT_EQ(none.Edit6, "");
}

}  // namespace
}  // namespace qirm
