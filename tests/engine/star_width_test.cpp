// SPDX-License-Identifier: GPL-3.0-or-later
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
  FillRawPlane(raw, 40, 40, doc.raw);
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

TEST(CursorReadout, PrintsTheImagePixelItReadsAtEveryZoom) {
  ImageDocument doc = ColourWindow(60, 40, 0);
  doc.Image.SetColor(52, 32, 0x030201);  // blue 3, green 2, red 1
  struct Case {
    double zoom;
    int X, Y;  // a cursor position on pixel (52, 32) of the shown picture
  };
  for (const Case& c :
       {Case{0.25, 13, 8}, Case{0.5, 26, 16}, Case{1, 52, 32}, Case{2, 105, 65}, Case{4, 211, 130}}) {
    SCOPED_TRACE(c.zoom);
    doc.zoom = c.zoom;
    std::string label, error;
    ASSERT_TRUE(CursorReadout(doc, c.X, c.Y, label, error));
    EXPECT_EQ(label, "R=1  G=2  B=3   (52,32)");
    int x = -1, y = -1;
    ASSERT_TRUE(ImagePixelAt(doc, c.X, c.Y, x, y, error));
    EXPECT_EQ(x, 52);
    EXPECT_EQ(y, 32);
  }
  doc.zoom = 2;
  std::string label, error;
  EXPECT_FALSE(CursorReadout(doc, 200, 60, label, error));  // beyond the picture
  EXPECT_TRUE(error.empty());

  IntMatrix raw;
  ASSERT_EQ(AllocIntMatrix(2, 2, raw), 0);
  raw[1][1] = 40000;
  ImageDocument fits;
  fits.kind = WindowKind::kRaw16;
  fits.zoom = 1.00;
  FillRawPlane(raw, 2, 2, fits.raw);
  ASSERT_TRUE(CursorReadout(fits, 1, 1, label, error));
  EXPECT_EQ(label, "Intensity = 40000   (1,1)");

  // A window nothing has been put in has no zoom to read with.
  fits.zoom.reset();
  EXPECT_FALSE(CursorReadout(fits, 1, 1, label, error));
  EXPECT_EQ(error, "'' is not a valid floating point value");
  int x = 0, y = 0;
  EXPECT_FALSE(ImagePixelAt(fits, 1, 1, x, y, error));
}

// The measurement, the readout and the captured position all find the star
// at the same image pixel, whatever the zoom it is clicked at.
TEST(StarWidth, SameStarAtEveryZoom) {
  ImageDocument doc = ColourWindow(80, 80, 20);
  for (int x = 39; x <= 41; ++x)
    for (int y = 31; y <= 33; ++y) SetGreen(doc, x, y, 200);
  for (double zoom : {0.25, 1.0, 4.0}) {
    SCOPED_TRACE(zoom);
    doc.zoom = zoom;
    const int X = static_cast<int>(40 * zoom + zoom / 2), Y = static_cast<int>(32 * zoom + zoom / 2);
    EXPECT_EQ(WidthLabel(doc, X, Y), "QIRM = 3.4 pxls");
    std::string label, error;
    ASSERT_TRUE(CursorReadout(doc, X, Y, label, error));
    EXPECT_EQ(label, "R=0  G=200  B=0   (40,32)");
    int x = 0, y = 0;
    ASSERT_TRUE(ImagePixelAt(doc, X, Y, x, y, error));
    StarPick pick;
    pick.mode = StarPick::Mode::OneStar;
    ASSERT_TRUE(CapturePosition(pick, MouseButton::Left, x, y, error));
    EXPECT_EQ(pick.Edit6 + "," + pick.Edit9, "40,32");
  }
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
