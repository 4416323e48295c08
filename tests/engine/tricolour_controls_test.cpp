// SPDX-License-Identifier: GPL-3.0-or-later
// The controls of the composition dialogs that change a composition: the
// anti-blooming values, the tone curve, the peak detection method and
// several flats. Small synthetic frames whose result is known from how they
// were made; the defaults are checked against the fixed steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/fits_reader.h"
#include "tests/engine/fits_test_util.h"
#include "tests/support/test_files.h"
#include "tricolour/compose.h"
#include "tricolour/compose_options.h"
#include "tricolour/composition_texts.h"
#include "tricolour/output_stage.h"
#include "tricolour/registration.h"

namespace qirm {
namespace {

constexpr int kW = 48, kH = 32;
constexpr int kSky = 1000;

// One frame in every channel; star 1 at (9, 9), the first brightest pixel of
// the frames' 3 x 3 star at (10, 10), so that the peak rule shifts green and
// blue by nothing (red, whose hot-pixel rule lowers the star's rim, is
// shifted by one pixel right and down).
CompositionSettings OneFrameEach(const std::string& path) {
  CompositionSettings s;
  s.RedFiles = s.GreenFiles = s.BlueFiles = {path};
  s.StarMode = kStarModeOneStar;
  s.Star1X = s.Star1Y = 9;
  s.Delta1 = 5;
  s.BackgroundX = 40;
  s.BackgroundY = 24;
  return s;
}

Picture Compose(const CompositionSettings& s) {
  ImageDocument doc;
  const Status st = ComposeTricolour(s, {}, doc);
  EXPECT_TRUE(st) << st.message();
  return doc.Image;
}

std::uint8_t Green(const Picture& p, int x, int y) { return p.Row(y)[3 * x + 1]; }

// Sky with a star (a 3 x 3 plateau, whose centre the red channel's
// hot-pixel rule keeps) at (10, 10), a streak of `value` down column 30 over rows
// 5..20, and a bright pixel left of the streak at (29, 12).
class Blooming : public testing::Test {
 protected:
  std::string Frame(int value) {
    return WriteFrame(m_dir, "streak" + std::to_string(value) + ".fits", kW, kH, [&](int x, int y) {
      if (std::abs(x - 10) <= 1 && std::abs(y - 10) <= 1) return 30000;
      if (x == 30 && y >= 5 && y <= 20) return value;
      if (x == 29 && y == 12) return 5000;
      return kSky;
    });
  }
  fits_test::TempDir m_dir{true};
};

TEST_F(Blooming, UncheckedKeepsTheFixedStepAndCheckedUsesTheDialogsValues) {
  CompositionSettings s = OneFrameEach(Frame(50000));
  // The dialog's values do not count while the box is unchecked: a streak
  // below the fixed thresholds stays.
  s.Advanced.BloomThreshold = 40000;
  const Picture off = Compose(s);
  EXPECT_EQ(Green(off, 30, 8), 255);
  EXPECT_EQ(Green(off, 31, 8), 9);
  EXPECT_EQ(Green(off, 29, 12), 255);

  struct Case {
    int threshold, thickness, length;
    bool streak_stays;  // at (30, 8)
    bool spot_stays;    // the bright pixel left of the streak, at (29, 12)
  };
  const Case cases[] = {
      {40000, 1, 5, false, false},  // removed; the median of radius 1 smooths the spot away
      {40000, 0, 5, false, true},   // thickness 0: the fill alone, the spot copied into the streak
      {40000, 2, 15, false, false},
      {40000, 1, 16, true, true},  // a run of 16 is no longer than the length: a star
      {50001, 1, 5, true, true},   // below the threshold
  };
  s.Advanced.AntiBloomingOn = true;
  for (const Case& c : cases) {
    s.Advanced.BloomThreshold = c.threshold;
    s.Advanced.BloomThickness = c.thickness;
    s.Advanced.BloomLength = c.length;
    const Picture on = Compose(s);
    const std::string label =
        std::to_string(c.threshold) + " " + std::to_string(c.thickness) + " " + std::to_string(c.length);
    EXPECT_EQ(Green(on, 30, 8), c.streak_stays ? 255 : 9) << label;
    EXPECT_EQ(Green(on, 29, 12) > 9, c.spot_stays) << label;
    EXPECT_EQ(Green(on, 30, 12) > 9, c.spot_stays) << label;
  }
}

TEST_F(Blooming, CheckedWithTheFixedValuesOfGreenGivesTheUncheckedGreen) {
  // Unchecked green uses 60000, 5 and radius 1: the same as checked with
  // threshold 60000, thickness 1, length 5.
  CompositionSettings s = OneFrameEach(Frame(61000));
  const Picture off = Compose(s);
  EXPECT_EQ(Green(off, 30, 8), 9);
  s.Advanced.AntiBloomingOn = true;
  s.Advanced.BloomThreshold = 60000;
  s.Advanced.BloomThickness = 1;
  s.Advanced.BloomLength = 5;
  const Picture on = Compose(s);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) ASSERT_EQ(Green(on, x, y), Green(off, x, y)) << x << ", " << y;
  // Red and blue saturate from 63000 unchecked: the streak of 61000 stays
  // there, and goes once the dialog's 60000 counts (red is shifted by one).
  EXPECT_EQ(off.Row(7)[3 * 29 + 2], 255);
  EXPECT_EQ(on.Row(7)[3 * 29 + 2], 9);
}

TEST_F(Blooming, ValuesOutOfRangeAreRefusedOnlyWhenChecked) {
  CompositionSettings s = OneFrameEach(Frame(50000));
  s.Advanced.BloomThickness = 25;
  s.Advanced.BloomThreshold = 0;
  s.Advanced.BloomLength = -1;
  EXPECT_FALSE(Compose(s).empty());
  s.Advanced.AntiBloomingOn = true;
  const struct {
    int threshold, thickness, length;
    const char* needle;
  } cases[] = {{0, 1, 5, "threshold is 0"},
               {60000, 25, 5, "thickness is 25; it must be 0..24"},
               {60000, -1, 5, "thickness is -1"},
               {60000, 1, -1, "length is -1"}};
  for (const auto& c : cases) {
    s.Advanced.BloomThreshold = c.threshold;
    s.Advanced.BloomThickness = c.thickness;
    s.Advanced.BloomLength = c.length;
    ImageDocument doc;
    const Status st = ComposeTricolour(s, {}, doc);
    ASSERT_FALSE(st) << c.needle;
    EXPECT_NE(st.message().find(c.needle), std::string::npos) << st.message();
    EXPECT_TRUE(doc.Image.empty());
  }
}

// The curves at the black point, the sky (level 10), inside and at the
// white point; the expected values worked out with numpy's log1p, power and
// arctan.
TEST(ToneCurves, Formulas) {
  const struct {
    ToneKind kind;
    double parameter;
    int above_sky;  // c - sky, with the sky lifted to 10
    int value;      // before the clip
  } cases[] = {
      {ToneKind::kLinear, 0, -20, 0},   {ToneKind::kLinear, 0, 0, 10},    {ToneKind::kLinear, 0, 245, 255},
      {ToneKind::kLinear, 0, 290, 300}, {ToneKind::kLog, 1000, -20, 0},   {ToneKind::kLog, 1000, 0, 136},
      {ToneKind::kLog, 1000, -9, 58},   {ToneKind::kLog, 1000, 245, 255}, {ToneKind::kGamma, 2, 0, 50},
      {ToneKind::kGamma, 2.2, 90, 166}, {ToneKind::kGamma, 1, 0, 10},     {ToneKind::kGamma, 1, 245, 255},
      {ToneKind::kAtan, 100, 0, 9},     {ToneKind::kAtan, 100, -20, 0},   {ToneKind::kAtan, 200, 0, 9},
      {ToneKind::kAtan, 200, 245, 181},
  };
  for (const auto& c : cases) {
    ToneCurve curve;
    curve.sky = 1000;
    curve.kind = c.kind;
    curve.parameter = c.parameter;
    const std::string label = std::to_string(static_cast<int>(c.kind)) + " " + std::to_string(c.parameter) +
                              " " + std::to_string(c.above_sky);
    EXPECT_EQ(curve.Value(1000 + c.above_sky), c.value) << label;
    EXPECT_EQ(curve.Byte(1000 + c.above_sky), std::min(c.value, 255)) << label;
  }
  // ATAN with 200 is the classic curve for every value of a 16-bit channel.
  ToneCurve classic, chosen;
  classic.sky = chosen.sky = 812.5;
  chosen.kind = ToneKind::kAtan;
  chosen.parameter = 200;
  for (int c = -70000; c <= 70000; ++c) {
    const double v = std::max(c - 812.5 + 10, 0.0);
    ASSERT_EQ(classic.Value(c), static_cast<int>(200 * std::atan(v / 200))) << c;
    ASSERT_EQ(chosen.Value(c), classic.Value(c)) << c;
  }
}

TEST(ToneCurves, CompositionAppliesTheChosenCurveAndRefusesBadParameters) {
  fits_test::TempDir dir(true);
  const std::string frame = WriteFrame(dir, "sky.fits", kW, kH, [](int x, int y) {
    return std::abs(x - 10) <= 1 && std::abs(y - 10) <= 1 ? 30000 : kSky;
  });
  CompositionSettings s = OneFrameEach(frame);
  const Picture classic = Compose(s);
  EXPECT_EQ(Green(classic, 30, 20), 9);
  const struct {
    ToneKind kind;
    double parameter;
    int sky_byte;
  } cases[] = {{ToneKind::kAtan, 200, 9},
               {ToneKind::kLinear, 0, 10},
               {ToneKind::kLog, 1000, 136},
               {ToneKind::kGamma, 2, 50},
               {ToneKind::kGamma, 1, 10}};
  for (const auto& c : cases) {
    s.Advanced = AdvancedFlags();
    s.Advanced.Tone = c.kind;
    if (c.kind == ToneKind::kLog) s.Advanced.ToneLogParameter = c.parameter;
    if (c.kind == ToneKind::kGamma) s.Advanced.ToneGammaParameter = c.parameter;
    const Picture p = Compose(s);
    EXPECT_EQ(Green(p, 30, 20), c.sky_byte) << static_cast<int>(c.kind) << " " << c.parameter;
    EXPECT_EQ(Green(p, 10, 10), 255);  // the star, white in every curve
    if (c.kind == ToneKind::kAtan) {
      EXPECT_EQ(p, classic);
    }
  }
  // A parameter not above 0 is refused for the curve that uses it only.
  const struct {
    ToneKind kind;
    double AdvancedFlags::*parameter;
    double value;
    const char* needle;
  } refused[] = {
      {ToneKind::kLog, &AdvancedFlags::ToneLogParameter, 0, "LOG tone curve's parameter is 0"},
      {ToneKind::kGamma, &AdvancedFlags::ToneGammaParameter, -1, "gamma tone curve's parameter is -1"},
      {ToneKind::kAtan, &AdvancedFlags::ToneAtanParameter, std::nan(""), "ATAN tone curve's parameter"},
  };
  for (const auto& r : refused) {
    s.Advanced = AdvancedFlags();
    s.Advanced.*r.parameter = r.value;
    s.Advanced.Tone = ToneKind::kLinear;
    EXPECT_FALSE(Compose(s).empty()) << r.needle;  // another curve chosen
    s.Advanced.Tone = r.kind;
    ImageDocument doc;
    const Status st = ComposeTricolour(s, {}, doc);
    ASSERT_FALSE(st) << r.needle;
    EXPECT_NE(st.message().find(r.needle), std::string::npos) << st.message();
  }
}

TEST(ToneCurves, CaptureTakesTheChosenCurveAndItsParameterOnly) {
  AdvancedTexts t;
  AdvancedFlags f;
  ASSERT_TRUE(CaptureAdvancedFlags(t, f));
  EXPECT_EQ(f.Tone, ToneKind::kAtan);
  EXPECT_EQ(f.ToneAtanParameter, 200);
  t.Tone = ToneKind::kLog;
  t.Edit4 = "500";
  t.Edit6 = "not used";
  ASSERT_TRUE(CaptureAdvancedFlags(t, f));
  EXPECT_EQ(f.Tone, ToneKind::kLog);
  EXPECT_EQ(f.ToneLogParameter, 500);
  EXPECT_EQ(f.ToneAtanParameter, 200);
  t.Tone = ToneKind::kGamma;
  t.Edit5 = "2.2";
  ASSERT_TRUE(CaptureAdvancedFlags(t, f));
  EXPECT_EQ(f.ToneGammaParameter, 2.2);
  // The chosen curve's edit must hold a number; the flags stay as they were.
  t.Tone = ToneKind::kAtan;
  const Status st = CaptureAdvancedFlags(t, f);
  EXPECT_FALSE(st);
  EXPECT_NE(st.message().find("not used"), std::string::npos) << st.message();
  EXPECT_EQ(f.Tone, ToneKind::kGamma);
  // Shown back as the edits' texts.
  const AdvancedTexts back = AdvancedTextsOf(f);
  EXPECT_EQ(back.Tone, ToneKind::kGamma);
  EXPECT_EQ(back.Edit4 + " " + back.Edit5 + " " + back.Edit6, "500 2.2 200");
}

// Several flats are averaged as the darks are: each divided by the count,
// the sum truncated; the result is that of the one mean flat.
TEST(SeveralFlats, AreAveragedLikeTheDarks) {
  fits_test::TempDir dir(true);
  const auto a = [](int x, int y) { return 30000 + (x * 7 + y * 3) % 5 - (x < 8 ? 9000 : 0); };
  const auto b = [](int x, int y) { return 30001 + (x * 5 + y) % 4 + (y < 6 ? 12000 : 0); };
  const auto c = [](int x, int y) { return 29000 + (x + y) % 3; };
  CompositionSettings s = OneFrameEach(WriteFrame(dir, "light.fits", kW, kH, [](int x, int y) {
    return std::abs(x - 10) <= 1 && std::abs(y - 10) <= 1 ? 30000 : kSky + x * 4 + y;
  }));
  s.WhiteK = 0.2;  // keep the sky's slope below the clip
  s.FlatFiles = {WriteFrame(dir, "a.fits", kW, kH, a), WriteFrame(dir, "b.fits", kW, kH, b),
                 WriteFrame(dir, "c.fits", kW, kH, c)};
  CompositionSettings mean = s;
  mean.FlatFiles = {WriteFrame(dir, "mean.fits", kW, kH, [&](int x, int y) {
    const double sum = a(x, y) / 3.0 + b(x, y) / 3.0 + c(x, y) / 3.0;
    return static_cast<int>(sum);
  })};
  const Picture averaged = Compose(s);
  EXPECT_EQ(averaged, Compose(mean));
  // Not the first flat alone.
  CompositionSettings first = s;
  first.FlatFiles.resize(1);
  EXPECT_NE(averaged, Compose(first));
  // Each flat must have the frames' size.
  s.FlatFiles.push_back(WriteFrame(dir, "small.fits", 20, 20, c));
  ImageDocument doc;
  const Status st = ComposeTricolour(s, {}, doc);
  EXPECT_FALSE(st);
  EXPECT_NE(st.message().find("small.fits: the flat frame is 20 x 20"), std::string::npos) << st.message();
}

// A faint broad star at (24, 14) and, in the same box, one hot pixel that
// is the box's brightest: the peak rule follows the hot pixel, the centroid
// the star; none leaves the frame where it is.
TEST(PeakDetection, CentroidPeakAndNone) {
  fits_test::TempDir dir(true);
  const int star_x = 24, star_y = 14;
  // Frames drifted by (dx, dy); the hot pixel stays on the sensor at (27, 11).
  const auto frame = [&](int dx, int dy) {
    return WriteFrame(dir, "f" + std::to_string(dx) + "_" + std::to_string(dy) + ".fits", kW, kH,
                      [&](int x, int y) {
                        if (x == 27 && y == 11) return 5000;
                        const int u = x - dx - star_x, v = y - dy - star_y;
                        const int r2 = u * u + v * v;
                        return kSky + (r2 <= 1 ? 400 : r2 <= 4 ? 200 : r2 <= 9 ? 60 : 0);
                      });
  };
  CompositionSettings s = OneFrameEach(frame(0, 0));
  s.RedFiles = {frame(0, 0)};
  s.GreenFiles = {frame(2, -1)};
  s.BlueFiles = {frame(-3, 2)};
  s.Star1X = star_x;
  s.Star1Y = star_y;
  s.Delta1 = 8;
  const auto star_byte = [](const Picture& p, int c, int x, int y) { return p.Row(y)[3 * x + 2 - c]; };
  // Centroid: every channel's star lands on (24, 14).
  s.DetectMethod = kDetectCentroid;
  const Picture centroid = Compose(s);
  for (int c = 0; c < 3; ++c) EXPECT_GT(star_byte(centroid, c, star_x, star_y), 200) << c;
  // Peak: the hot pixel lands on (24, 14) instead (red's is cleaned away by
  // the hot-pixel rule, so red alone follows its star).
  s.DetectMethod = kDetectPeak;
  const Picture peak = Compose(s);
  EXPECT_EQ(peak, Compose([&] {
              CompositionSettings d = s;
              d.DetectMethod = 7;  // not one of the three: the classic rule
              return d;
            }()));
  EXPECT_EQ(star_byte(peak, 1, star_x, star_y), 255);  // the hot pixel
  // The green star, drifted by (2, -1), moved by the hot pixel's (3, -3).
  EXPECT_GT(star_byte(peak, 1, star_x + 2 - 3, star_y - 1 + 3), 200);
  EXPECT_EQ(star_byte(peak, 2, star_x, star_y), 255);  // blue too
  // None: each frame stays where it was taken.
  s.DetectMethod = kDetectNone;
  const Picture none = Compose(s);
  EXPECT_GT(star_byte(none, 0, star_x, star_y), 200);
  EXPECT_GT(star_byte(none, 1, star_x + 2, star_y - 1), 200);
  EXPECT_GT(star_byte(none, 2, star_x - 3, star_y + 2), 200);
  EXPECT_EQ(star_byte(none, 1, 27, 11), 255);
}

TEST(PeakDetection, BoxCentroidAboveSky) {
  IntMatrix m;
  ASSERT_TRUE(m.Allocate(20, 20));
  for (int x = 0; x < 20; ++x)
    for (int y = 0; y < 20; ++y) m[x][y] = 100;
  double cx = 0, cy = 0;
  // A flat sky has no star: the box centre.
  EXPECT_FALSE(BoxCentroidAboveSky(20, 20, 9, 8, 5, m, cx, cy));
  EXPECT_EQ(cx, 9);
  EXPECT_EQ(cy, 8);
  // Two pixels above the sky by 30 and 10: the weighted mean of their places.
  m[10][10] = 130;
  m[12][10] = 110;
  ASSERT_TRUE(BoxCentroidAboveSky(20, 20, 9, 8, 5, m, cx, cy));
  EXPECT_DOUBLE_EQ(cx, (30 * 10 + 10 * 12) / 40.0);
  EXPECT_DOUBLE_EQ(cy, 10);
  // A star at the frame's corner: windows cut at the edges.
  m[0][0] = 500;
  ASSERT_TRUE(BoxCentroidAboveSky(20, 20, 2, 2, 3, m, cx, cy));
  EXPECT_DOUBLE_EQ(cx, 0);
  EXPECT_DOUBLE_EQ(cy, 0);
}

// The five M13 frames: stars some 60 counts above a sky whose pixels
// scatter by 30. Their drifts (MANIFEST.md) against frame 3 are found by the
// centroid within a few pixels; the brightest pixel of the box is noise or
// another star, tens of pixels off.
TEST(PeakDetection, M13FramesRegisterOnTheCentroid) {
  const std::string base = std::string(QIRM_DATA_DIR) + "/registration/M13_blue_000";
  if (!std::filesystem::exists(base + "1.fits")) GTEST_SKIP() << "no shared data";
  const std::pair<int, int> drift[5] = {{25, -3}, {13, -3}, {0, 0}, {-9, 0}, {-21, 0}};
  CompositionSettings s;
  s.Star1X = 705 - 25;  // star A in frame 3
  s.Star1Y = 446 + 3;
  s.Delta1 = 30;  // the frames lie up to 25 pixels from frame 3
  int peak_misses = 0;
  for (int n = 1; n <= 5; ++n) {
    const std::string path = base + std::to_string(n) + ".fits";
    FitsHeader header;
    IntMatrix m, scratch;
    ASSERT_TRUE(ReadFitsHeader(path, header));
    ASSERT_TRUE(m.Allocate(header.width, header.height));
    ASSERT_TRUE(ReadFitsFileSignShifted(path, header, m));
    const ClampedPositions p = ClampPositions(s, header.width, header.height);
    Registration peak, centroid, none;
    ASSERT_TRUE(RegisterFrame(m, header.width, header.height, StarRegistration::kShiftOnStar1, p, {}, path,
                              false, scratch, peak));
    ASSERT_TRUE(RegisterFrame(m, header.width, header.height, StarRegistration::kShiftOnStar1, p, {}, path,
                              false, scratch, centroid, false, StarDetection::kCentroid));
    ASSERT_TRUE(RegisterFrame(m, header.width, header.height, StarRegistration::kShiftOnStar1, p, {}, path,
                              false, scratch, none, false, StarDetection::kNone));
    const auto [dx, dy] = drift[n - 1];
    EXPECT_LE(std::abs(centroid.ox - dx), 2) << "frame " << n;
    EXPECT_LE(std::abs(centroid.oy - dy), 5) << "frame " << n;
    peak_misses += std::abs(peak.ox - dx) + std::abs(peak.oy - dy) > 10;
    EXPECT_EQ(none.ox, 0);
    EXPECT_EQ(none.oy, 0);
  }
  EXPECT_GE(peak_misses, 4);
}

}  // namespace
}  // namespace qirm
