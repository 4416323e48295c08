// SPDX-License-Identifier: GPL-3.0-or-later
// The tone curve: the monotone cubic, its table, presets, the texts of
// qirm-cli's form and the command on 16-bit and colour windows.
#include "display/tone_curve.h"

#include <gtest/gtest.h>

#include <cmath>

#include "display/raw_values.h"

namespace qirm {
namespace {

TEST(ToneCurveTool, PassesThroughItsPointsAndNeverOvershoots) {
  // Steep then flat: a natural cubic spline would overshoot past 200 and dip
  // between the flat points; the monotone one may not.
  const std::vector<CurvePoint> points = {{0, 0}, {10, 190}, {20, 200}, {100, 200}, {255, 255}};
  const MonotoneCurve curve(points);
  for (const CurvePoint& p : points) EXPECT_NEAR(curve(p.x), p.y, 1e-9);
  double last = curve(0);
  for (double x = 0; x <= 255; x += 0.25) {
    const double y = curve(x);
    EXPECT_GE(y, last - 1e-9) << x;
    last = y;
    if (x >= 20 && x <= 100) {
      EXPECT_NEAR(y, 200, 1e-9) << x;
    }
  }
  // Outside the points the curve goes on with slope 1.
  const MonotoneCurve middle({{100, 120}, {200, 180}});
  EXPECT_DOUBLE_EQ(middle(50), 70);
  EXPECT_DOUBLE_EQ(middle(230), 210);
  // Two points: a straight line.
  EXPECT_DOUBLE_EQ(MonotoneCurve({{0, 0}, {255, 127.5}})(100), 50);
}

TEST(ToneCurveTool, TablesAndPresets) {
  const std::vector<std::uint16_t> identity =
      CurveTable(PresetCurve(CurvePreset::kIdentity, 0, 65535, 0), 65535);
  for (int v = 0; v < 65536; v += 97) ASSERT_EQ(identity[v], v);
  // Presets join (lo, lo) to (hi, hi); asinh and gamma lift the dark part,
  // the S-curve lowers the dark and lifts the bright.
  const double lo = 1000, hi = 5000;
  for (CurvePreset preset : {CurvePreset::kSCurve, CurvePreset::kGamma, CurvePreset::kAsinh}) {
    const std::vector<CurvePoint> pts = PresetCurve(preset, lo, hi, 10);
    EXPECT_DOUBLE_EQ(pts.front().x, lo);
    EXPECT_DOUBLE_EQ(pts.front().y, lo);
    EXPECT_DOUBLE_EQ(pts.back().y, hi);
    const MonotoneCurve c(pts);
    const double quarter = c(lo + 0.25 * (hi - lo)), three = c(lo + 0.75 * (hi - lo));
    if (preset == CurvePreset::kSCurve) {
      EXPECT_LT(quarter, lo + 0.25 * (hi - lo));
      EXPECT_GT(three, lo + 0.75 * (hi - lo));
    } else {
      EXPECT_GT(quarter, lo + 0.5 * (hi - lo));
    }
  }
  // The asinh points lie on asinh(k t) / asinh(k).
  const MonotoneCurve asinh(PresetCurve(CurvePreset::kAsinh, 0, 1, 10));
  for (double t = 0; t <= 1; t += 0.01)
    EXPECT_NEAR(asinh(t), std::asinh(10 * t) / std::asinh(10.0), 2e-3) << t;
}

TEST(ToneCurveTool, TextsOfTheCommand) {
  ToneCurveParams p;
  ASSERT_TRUE(ParseCurveText("0:0,128:200,255:255,g", p).ok());
  ASSERT_EQ(p.points.size(), 3u);
  EXPECT_EQ(p.channel, CurveChannel::kGreen);
  EXPECT_EQ(CurveText(p), "0:0,128:200,255:255,g");
  for (const char* bad :
       {"", "0:0", "0:0,0:5", "10:0,5:5", "0:0,x:1", "0:0;255:255", "0:0,255", "0:0,255:255,k"})
    EXPECT_EQ(ParseCurveText(bad, p).message(), kCurvePointsRefused) << bad;
}

TEST(ToneCurveTool, SixteenBitRawValuesAndColourChannels) {
  ImageDocument raw;
  raw.kind = WindowKind::kRaw16;
  raw.raw = RawPlane(3, 1);
  StoreRawValues(raw, {0, 30000, 65535});
  ASSERT_TRUE(ToneCurveCommand(raw, {{{0, 65535}, {65535, 0}}, CurveChannel::kAll}).ok());
  std::vector<std::uint16_t> values;
  ASSERT_TRUE(ReadRawValues(raw, "t", values).ok());
  EXPECT_EQ(values, (std::vector<std::uint16_t>{65535, 35535, 0}));
  EXPECT_EQ(ToneCurveCommand(raw, {{{0, 0}, {255, 255}}, CurveChannel::kRed}).message(),
            kCurveChannelRefused);
  EXPECT_EQ(ToneCurveCommand(raw, {{{0, 0}, {70000, 1}}, CurveChannel::kAll}).message(), kCurveRangeRefused);

  ImageDocument colour;
  colour.kind = WindowKind::kColour;
  colour.ImageZm = Picture(2, 1);
  colour.ImageZm.SetColor(0, 0, 0x102030);  // blue 0x10, green 0x20, red 0x30
  colour.ImageZm.SetColor(1, 0, 0xFFFFFF);
  colour.Image = colour.ImageZm;
  ASSERT_TRUE(ToneCurveCommand(colour, {{{0, 255}, {255, 0}}, CurveChannel::kRed}).ok());
  EXPECT_EQ(colour.ImageZm.Color(0, 0), 0x1020CFu);
  EXPECT_EQ(colour.ImageZm.Color(1, 0), 0xFFFF00u);
  EXPECT_EQ(colour.Image, colour.ImageZm);
  EXPECT_EQ(ToneCurveCommand(colour, {{{0, 0}, {256, 255}}, CurveChannel::kAll}).message(),
            kCurveRangeRefused);
  ImageDocument netpbm;
  netpbm.kind = WindowKind::kNetpbm;
  EXPECT_FALSE(ToneCurveCommand(netpbm, {{{0, 0}, {255, 255}}, CurveChannel::kAll}).ok());
}

}  // namespace
}  // namespace qirm
