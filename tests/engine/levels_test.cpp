// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/levels.h"

#include <gtest/gtest.h>

#include "core/numbers.h"
#include "tests/support/matrices.h"

namespace qirm {
namespace {

using test::Filled;

TEST(InitialLevels, SpansFromMinimumToTwiceTheMeanDistance) {
  // Samples sit at x, y = 10, 14, ... < size - 10: in a 30 x 30 frame that is
  // 10, 14, 18 on each axis, nine samples.
  IntMatrix m = Filled(30, 30, 0);
  const int values[9] = {1000, 1500, 2000, 1500, 1500, 1500, 1000, 2000, 1500};
  int k = 0;
  for (int x = 10; x < 20; x += 4)
    for (int y = 10; y < 20; y += 4) m[x][y] = values[k++];
  const InitialLevelsResult r = InitialLevels(m, 30, 30);
  EXPECT_EQ(r.samples, 9);
  EXPECT_EQ(r.min, 1000);
  EXPECT_EQ(r.mean, 1500);
  EXPECT_EQ(r.max, 2000);
}

TEST(InitialLevels, MeanIsWrittenInTheGeneralForm) {
  IntMatrix m = Filled(26, 26, 10);  // samples at (10|14|18... <16): 10, 14
  m[10][10] = 11;                    // four samples: 11, 10, 10, 10
  const InitialLevelsResult r = InitialLevels(m, 26, 26);
  EXPECT_EQ(r.samples, 4);
  EXPECT_EQ(FormatGeneral(r.mean), "10.25");
  EXPECT_EQ(r.max, 10);  // trunc(0.25 * 2 + 10)
}

TEST(InitialLevels, SmallFramesAreSampledEverywhere) {
  IntMatrix m = Filled(5, 20, 300);
  m[4][19] = 100;
  const InitialLevelsResult r = InitialLevels(m, 5, 20);
  EXPECT_EQ(r.samples, 100);
  EXPECT_EQ(r.min, 100);
  EXPECT_EQ(r.max, 100 + Trunc((r.mean - 100) * 2.0L));
}

TEST(LevelTable, WorkedValues) {
  const auto t = LevelTable(2000, 1000);
  EXPECT_EQ(t[1500], 127);  // 500 / (1000/255) = 127.5
  EXPECT_EQ(t[999], 0);
  EXPECT_EQ(t[1000], 0);
  EXPECT_EQ(t[2000], 255);
  EXPECT_EQ(t[65535], 255);
}

TEST(LevelTable, ValueAtMaximumDependsOnTheDoubleScale) {
  const struct {
    int span;
    int grey;
  } cases[] = {{255, 255}, {510, 255}, {800, 255}, {1000, 255}, {33, 254}, {35, 254}};
  for (const auto& c : cases) {
    EXPECT_EQ(LevelTable(100 + c.span, 100)[100 + c.span], c.grey) << "span " << c.span;
  }
}

TEST(LevelTable, DegenerateWindowsNeverFail) {
  const auto flat = LevelTable(500, 500);  // zero width: a window of width 1
  EXPECT_EQ(flat[499], 0);
  EXPECT_EQ(flat[500], 0);
  EXPECT_EQ(flat[501], 255);
  const auto inverted = LevelTable(100, 600);  // negative span: dark above min
  EXPECT_EQ(inverted[700], 0);
  EXPECT_EQ(inverted[0], 255);
}

TEST(RawPlane, FilledAndRenderedAsTheRawRendering) {
  IntMatrix m = Filled(3, 2, 0);
  const int values[6] = {0, 40000, 65535, 1234, 32768, 255};
  for (int i = 0; i < 6; ++i) m[i % 3][i / 3] = values[i];
  RawPlane plane;
  FillRawPlane(m, 3, 2, plane);
  ASSERT_EQ(plane.width, 3);
  ASSERT_EQ(plane.height, 2);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(plane.At(i % 3, i / 3), values[i]);
  EXPECT_EQ(RenderLevels(plane, 40000, 1000), RenderRawLevels(m, 3, 2, 40000, 1000));
  const Picture shown = RenderLevels(plane, 2000, 1000);
  EXPECT_EQ(shown.Color(1, 0), 0xFFFFFFu);
  EXPECT_EQ(shown.Color(0, 0), 0u);
  // The base picture form: the high byte in red, blue and green 0.
  const Picture high = HighBytePicture(plane);
  EXPECT_EQ(high.Color(1, 0), 156u);  // 40000 = 156 * 256 + 64
  EXPECT_EQ(high.Color(2, 0), 255u);
  EXPECT_EQ(high.Color(0, 1), 4u);
}

TEST(RawPlane, MatrixValuesOutsideSixteenBitsKeepTheirByteSplit) {
  // What the two byte planes once held of such values: byte(v / 256) and
  // byte(v % 256), division towards zero.
  const struct {
    int v, raw;
  } cases[] = {{-1, 255}, {-256, 65280}, {-257, 65535}, {65536, 0}, {70000, 4464}, {12345, 12345}};
  for (const auto& c : cases) {
    EXPECT_EQ(RawFromInt(c.v), c.raw) << c.v;
    IntMatrix m = Filled(1, 1, c.v);
    RawPlane plane;
    FillRawPlane(m, 1, 1, plane);
    EXPECT_EQ(plane.At(0, 0), c.raw) << c.v;
  }
}

TEST(Contrast, GainPerChannelClampedAt255) {
  Picture base(2, 1);
  base.Row(0)[0] = 200;
  base.Row(0)[1] = 240;
  base.Row(0)[2] = 0;
  const Picture out = RenderContrast(base, 1.0 * 1.1);
  EXPECT_EQ(out.Row(0)[0], 220);
  EXPECT_EQ(out.Row(0)[1], 255);
  EXPECT_EQ(out.Row(0)[2], 0);
  EXPECT_EQ(FormatGeneral(1.0 * 1.1), "1.1");
  EXPECT_EQ(FormatGeneral(1.1 * 1.1), "1.21");
}

TEST(Contrast, LevelSpanFactorsTruncate) {
  EXPECT_EQ(ScaledMaxLevel(1000, 200, 0.8), 840);
  EXPECT_EQ(ScaledMaxLevel(1000, 200, 1.2), 1159);  // 1.2 is held just below 1.2
  EXPECT_EQ(ScaledMaxLevel(1000, 200, 1), 1000);
}

TEST(Zoom, NineStepsBetweenTheLimits) {
  double z = 1;
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(ZoomStep(z, ZoomDirection::In));
  EXPECT_EQ(z, 16);
  EXPECT_EQ(FormatPercent(z * 100), "1600.0%");
  EXPECT_FALSE(ZoomStep(z, ZoomDirection::In));
  EXPECT_EQ(z, 16);
  z = 1;
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(ZoomStep(z, ZoomDirection::Out));
  EXPECT_EQ(z, 0.0625);
  EXPECT_EQ(FormatGeneral(z), "0.0625");
  EXPECT_FALSE(ZoomStep(z, ZoomDirection::Out));
  EXPECT_EQ(z, 0.0625);
}

TEST(Zoom, TypedZoomsBecomeTheNearestPowerOfTwo) {
  struct Case {
    const char* text;
    double zoom;
  };
  for (const Case& c : {Case{"100.0%", 1}, Case{"200", 2}, Case{" 50 % ", 0.5}, Case{"150", 2},
                        Case{"140", 1}, Case{"6.25%", 0.0625}, Case{"1", 0.0625}, Case{"1600.0%", 16},
                        Case{"100000", 16}, Case{"35", 0.25}}) {
    SCOPED_TRACE(c.text);
    double z = 0;
    ASSERT_TRUE(ParseZoomText(c.text, z));
    EXPECT_EQ(z, c.zoom);
  }
  for (const char* bad : {"", "%", "abc", "0", "-100", "0%", "1e999", "nan"}) {
    SCOPED_TRACE(bad);
    double z = 7;
    EXPECT_FALSE(ParseZoomText(bad, z));
    EXPECT_EQ(z, 7);
  }
}

TEST(Zoom, FitToWindowTakesTheLargestPowerOfTwoThatFits) {
  EXPECT_EQ(FitZoom(100, 100, 800, 600), 4);  // 400 x 400; 800 would not fit in height
  EXPECT_EQ(FitZoom(4096, 4096, 800, 600), 0.125);
  EXPECT_EQ(FitZoom(600, 600, 600, 600), 1);  // exactly fitting counts
  EXPECT_EQ(FitZoom(10, 10, 1000, 1000), 16);
  EXPECT_EQ(FitZoom(100000, 10, 800, 600), 0.0625);  // nothing fits: the smallest
}

}  // namespace
}  // namespace qirm
