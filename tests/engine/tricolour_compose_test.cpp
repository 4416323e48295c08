// SPDX-License-Identifier: GPL-3.0-or-later
// Whole compositions: synthetic frames whose result is worked out here from
// how the frames were made, the refusals, and the real frames of
// ../shared/data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/fits_reader.h"
#include "document/state_texts.h"
#include "tests/engine/fits_test_util.h"
#include "tests/support/test_files.h"
#include "tricolour/compose.h"
#include "tricolour/compose_options.h"

namespace qirm {
namespace {

namespace fs = std::filesystem;

constexpr int kW = 40, kH = 30;
constexpr int kStarX = 20, kStarY = 15;
constexpr int kDark = 200;

struct Band {
  int sky, amplitude;
  std::vector<std::pair<int, int>> shifts;  // sky -> frame: a star at (x, y) is at (x + dx, y + dy)
};

// Sky plus a 3 x 3 plateau star at (20, 15) in sky coordinates.
int Scene(const Band& b, int u, int v) {
  return b.sky + ((std::abs(u - kStarX) <= 1 && std::abs(v - kStarY) <= 1) ? b.amplitude : 0);
}

// The flat: 30000 (L = 1) but for a patch at 15000 (L = 0.5) in sensor
// columns 30..33, rows 4..7.
bool InPatch(int x, int y) { return x >= 30 && x <= 33 && y >= 4 && y <= 7; }

class SyntheticSet : public testing::Test {
 protected:
  void SetUp() override {
    // Red, green, blue with their own shifts; two frames each (sums of
    // halves are exact).
    m_bands = {
        {1000, 400, {{0, 0}, {2, -1}}}, {1200, 300, {{-1, 2}, {1, 1}}}, {800, 200, {{3, 0}, {-2, -2}}}};
    const char* names[3] = {"red", "green", "blue"};
    std::vector<std::string>* lists[3] = {&m_settings.RedFiles, &m_settings.GreenFiles,
                                          &m_settings.BlueFiles};
    for (int c = 0; c < 3; ++c) {
      for (std::size_t k = 0; k < m_bands[c].shifts.size(); ++k) {
        const Band& b = m_bands[c];
        // Plain names: clang 14 cannot capture structured bindings.
        const int dx = b.shifts[k].first, dy = b.shifts[k].second;
        lists[c]->push_back(WriteFrame(m_dir, std::string(names[c]) + std::to_string(k) + ".fits", kW, kH,
                                       [&](int x, int y) { return Scene(b, x - dx, y - dy) + kDark; }));
      }
    }
    // Two darks of the level and a third of another size: the mean keeps
    // the divisor 3, so 300 / 3 + 300 / 3 = 200. (On two threads the second
    // dark is read while the first is added.)
    for (int k = 0; k < 2; ++k)
      m_settings.DarkFiles.push_back(
          WriteFrame(m_dir, "dark" + std::to_string(k) + ".fits", kW, kH, [](int, int) { return 300; }));
    m_settings.DarkFiles.push_back(
        WriteFrame(m_dir, "dark-small.fits", 20, 20, [](int, int) { return 5000; }));
    m_settings.FlatFiles.push_back(
        WriteFrame(m_dir, "flat.fits", kW, kH, [](int x, int y) { return InPatch(x, y) ? 15000 : 30000; }));
    m_settings.StarMode = 1;
    m_settings.Star1X = kStarX;
    m_settings.Star1Y = kStarY;
    m_settings.Delta1 = 5;
  }

  // The frame value after cleaning and calibration at sensor pixel (x, y).
  // Red frames lose the rim of the plateau to the hot-pixel rule (a pixel
  // more than 1 above its smallest neighbour, which is also the 3 x 3
  // minimum, is hot): edges become (S + 3 (S + A)) / 4, corners
  // (2 S + 2 (S + A)) / 4; the centre (all four neighbours equal) stays.
  int Calibrated(int c, int k, int x, int y) const {
    const Band& b = m_bands[c];
    const auto [dx, dy] = b.shifts[k];
    const int u = x - dx, v = y - dy;
    int value = Scene(b, u, v);
    if (c == 0 && value != b.sky && !(u == kStarX && v == kStarY)) {
      const bool corner = std::abs(u - kStarX) == 1 && std::abs(v - kStarY) == 1;
      value = b.sky + (corner ? b.amplitude / 2 : 3 * b.amplitude / 4);
    }
    return InPatch(x, y) ? 2 * value : value;
  }

  // The registration shift: the first brightest pixel of the box is the
  // plateau's centre in red and its top-left pixel in green and blue.
  std::pair<int, int> Shift(int c, int k) const {
    const auto [dx, dy] = m_bands[c].shifts[k];
    return c == 0 ? std::pair{dx, dy} : std::pair{dx - 1, dy - 1};
  }

  int Channel(int c, int x, int y) const {
    const int n = static_cast<int>(m_bands[c].shifts.size());
    double sum = 0;
    for (int k = 0; k < n; ++k) {
      const auto [ox, oy] = Shift(c, k);
      const int sx = x + ox, sy = y + oy;
      if (sx > 0 && sx < kW && sy > 0 && sy < kH) sum += Calibrated(c, k, sx, sy) / 2.0;
    }
    return static_cast<int>(sum);
  }

  int ExpectedByte(int c, int x, int y) const {
    // Background (0, 0) with level 10 is used as (10, 10).
    double sky = 0;
    for (int i = 5; i <= 15; ++i)
      for (int j = 5; j <= 15; ++j) sky += Channel(c, i, j);
    sky /= 121;
    double v = Channel(c, x, y) - sky + 10;
    if (v < 0) v = 0;
    const int t = static_cast<int>(200 * std::atan(v / 200));
    return std::min(t, 255);
  }

  fits_test::TempDir m_dir{true};
  std::vector<Band> m_bands;
  CompositionSettings m_settings;
};

TEST_F(SyntheticSet, ResultWorkedOutFromTheFrames) {
  std::vector<int> progress;
  std::vector<std::string> notices;
  ImageDocument doc;
  MainState main;
  ASSERT_TRUE(ComposeTricolour(
      m_settings, [&](int v) { progress.push_back(v); }, doc, &main,
      [&](const std::string& m) { notices.push_back(m); }));
  ASSERT_EQ(doc.Image.width(), kW);
  ASSERT_EQ(doc.Image.height(), kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(doc.Image.Row(y)[3 * x + 2 - c], ExpectedByte(c, x, y))
            << "channel " << c << " at (" << x << ", " << y << ")";
  // The sky shows as 9 everywhere all frames cover it.
  EXPECT_EQ(doc.Image.Row(10)[3 * 10], 9);
  EXPECT_EQ(doc.Image, doc.ImageZm);
  EXPECT_EQ(doc.kind, WindowKind::kColour);
  EXPECT_EQ(doc.channels, 3);
  EXPECT_EQ(ZoomFactorText(doc), "1.00");
  EXPECT_EQ(doc.edited, false);
  EXPECT_EQ(doc.width, 40);
  EXPECT_EQ(doc.height, 30);
  EXPECT_EQ(doc.max_level, 255);
  EXPECT_EQ(doc.min_level, 0);
  EXPECT_EQ(doc.caption, "Child");
  EXPECT_EQ(ZoomPercentText(main), "100.0%");
  EXPECT_EQ(main.max_edit.text, "255");
  EXPECT_EQ(main.min_edit.text, "0");
  EXPECT_EQ(main.max_spin, 255);
  EXPECT_EQ(main.min_spin, 0);
  ASSERT_EQ(notices, std::vector<std::string>{"Resolution Error !!"});
  // 10, 30, the darks' columns, 20, then every frame's columns and the
  // channel marks, 90, 100, 0; no value twice in a row.
  ASSERT_GE(progress.size(), 10u);
  EXPECT_EQ(progress[0], 10);
  EXPECT_EQ(progress[1], 30);
  EXPECT_EQ(progress[2], 0);
  const std::vector<int> tail(progress.end() - 4, progress.end());
  EXPECT_EQ(tail, (std::vector<int>{70, 90, 100, 0}));
  for (int mark : {20, 50, 60}) EXPECT_NE(std::find(progress.begin(), progress.end(), mark), progress.end());
  for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_NE(progress[i], progress[i - 1]);
}

TEST_F(SyntheticSet, PlainSingleThreadedRunGivesTheSameBytes) {
  for (int run = 0; run < 5; ++run) {
    // Every star mode with the peak rule, then two stars with the centroid
    // and with no shift.
    const int mode = std::min(run, 2);
    m_settings.StarMode = mode;
    m_settings.DetectMethod = run < 3 ? kDetectPeak : run == 3 ? kDetectCentroid : kDetectNone;
    m_settings.Star2X = 32;
    m_settings.Star2Y = 6;  // the bright flat patch in frame coordinates serves as star 2
    m_settings.Delta2 = 4;
    m_settings.Advanced.Rotate180G = mode == 1;
    m_settings.Advanced.FlattenB = true;
    ImageDocument fast, one, plain;
    ComposeOptions single, reference;
    single.threads = 1;
    reference.plain = true;
    ASSERT_TRUE(ComposeTricolourWith({}, m_settings, {}, fast, nullptr, {}));
    ASSERT_TRUE(ComposeTricolourWith(single, m_settings, {}, one, nullptr, {}));
    ASSERT_TRUE(ComposeTricolourWith(reference, m_settings, {}, plain, nullptr, {}));
    EXPECT_EQ(fast.Image, plain.Image) << "run " << run;
    EXPECT_EQ(one.Image, plain.Image) << "run " << run;
  }
}

// Asked for, the result keeps the channels as the tone curve takes them and
// the toned result with 16 bits per channel, the same from the fast and the
// plain run; not asked for, it keeps neither.
TEST_F(SyntheticSet, SixteenBitAndLinearResultsOnlyWhenAsked) {
  ImageDocument bare;
  ASSERT_TRUE(ComposeTricolour(m_settings, {}, bare, nullptr, {}));
  EXPECT_TRUE(bare.deep.empty());
  for (const std::vector<float>& plane : bare.linear) EXPECT_TRUE(plane.empty());

  ComposeOptions fast, plain;
  fast.keep_16_bits = fast.keep_linear = plain.keep_16_bits = plain.keep_linear = true;
  plain.plain = true;
  ImageDocument a, b;
  ASSERT_TRUE(ComposeTricolourWith(fast, m_settings, {}, a, nullptr, {}));
  ASSERT_TRUE(ComposeTricolourWith(plain, m_settings, {}, b, nullptr, {}));
  EXPECT_EQ(a.Image, bare.Image);
  ASSERT_EQ(a.deep.width, kW);
  ASSERT_EQ(a.deep.height, kH);
  EXPECT_TRUE(a.deep == b.deep);
  for (int c = 0; c < 3; ++c) {
    ASSERT_EQ(a.linear[c].size(), static_cast<std::size_t>(kW * kH));
    EXPECT_TRUE(a.linear[c] == b.linear[c]) << "channel " << c;
  }
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(a.linear[c][y * kW + x], Channel(c, x, y))
            << "channel " << c << " at (" << x << ", " << y << ")";
        const int word = a.deep.Row(y)[3 * x + c];
        ASSERT_EQ(word / 257, a.Image.Row(y)[3 * x + 2 - c])
            << "channel " << c << " at (" << x << ", " << y << ")";
      }
}

TEST_F(SyntheticSet, RefusalsNameTheFileOrFieldAndTheReason) {
  struct Case {
    std::function<void(CompositionSettings&)> change;
    std::string needle;
  };
  const std::string small = WriteFrame(m_dir, "small.fits", 20, 20, [](int, int) { return 5; });
  const std::string zero_flat = WriteFrame(m_dir, "zero.fits", kW, kH, [](int, int) { return 0; });
  const std::string garbage = m_dir.File("garbage.fits");
  fits_test::WriteBytes(garbage, "not a FITS file");
  const std::vector<Case> cases = {
      {[&](CompositionSettings& s) { s.BlueFiles.push_back(small); },
       "small.fits: the blue frame is 20 x 20"},
      {[&](CompositionSettings& s) { s.FlatFiles.insert(s.FlatFiles.begin(), small); },
       "small.fits: the flat"},
      {[&](CompositionSettings& s) { s.FlatFiles.assign(1, zero_flat); }, "zero.fits: the flat's"},
      {[&](CompositionSettings& s) { s.FlatFiles.assign(2, zero_flat); },
       "the mean of the 2 flats: the flat's"},
      {[&](CompositionSettings& s) { s.FlatFiles.push_back(small); }, "small.fits: the flat"},
      {[&](CompositionSettings& s) { s.RedFiles.push_back(garbage); }, "garbage.fits"},
      {[&](CompositionSettings& s) { s.GreenFiles.push_back(m_dir.File("missing.fits")); }, "missing.fits"},
      {[&](CompositionSettings& s) { s.WhiteG = 0; }, "WhiteG (G =) is 0"},
      {[&](CompositionSettings& s) { s.DarkFiles.assign(257, s.DarkFiles[0]); }, "the dark list holds 257"},
      {[&](CompositionSettings& s) { s.RedFiles.push_back(std::string(256, 'a')); }, "256 bytes long"},
      {[&](CompositionSettings& s) {
         s.StarMode = 2;
         s.Star2X = kStarX;
         s.Star2Y = kStarY;
       },
       "same centroid x"},
  };
  for (const Case& c : cases) {
    CompositionSettings s = m_settings;
    c.change(s);
    ImageDocument doc;
    const Status st = ComposeTricolour(s, {}, doc);
    ASSERT_FALSE(st) << c.needle;
    EXPECT_NE(st.message().find(c.needle), std::string::npos) << st.message();
    EXPECT_TRUE(doc.Image.empty());
  }
  // An empty colour list ends the run silently, with no result.
  CompositionSettings s = m_settings;
  s.GreenFiles.clear();
  ImageDocument doc;
  std::vector<int> progress;
  EXPECT_TRUE(ComposeTricolour(
      s, [&](int v) { progress.push_back(v); }, doc));
  EXPECT_TRUE(doc.Image.empty());
  EXPECT_TRUE(progress.empty());
}

TEST_F(SyntheticSet, TwoIdenticalFramesGiveTheSameChannelAsOne) {
  CompositionSettings one = m_settings, two = m_settings;
  one.DarkFiles.clear();
  one.FlatFiles.clear();
  for (auto* l : {&one.RedFiles, &one.GreenFiles, &one.BlueFiles}) l->resize(1);
  two = one;
  two.RedFiles.push_back(two.RedFiles[0]);
  ImageDocument a, b;
  ASSERT_TRUE(ComposeTricolour(one, {}, a));
  ASSERT_TRUE(ComposeTricolour(two, {}, b));
  EXPECT_EQ(a.Image, b.Image);
}

// Noisy frames with sub-pixel star shifts, noisy darks and flat: means that
// land anywhere between doubles, quotients of every kind, small rotations
// and scales. The fast two-thread run (two workers even on one core) and
// the plain single-threaded steps must agree byte for byte in every star
// mode, whatever the numbers of darks and flats (which decide the order and
// the matrices of the reads that run ahead during the setup).
TEST(NoisySet, FastRunEqualsThePlainSteps) {
  fits_test::TempDir dir(true);
  const int w = 160, h = 120;
  std::mt19937 rng(99);
  std::normal_distribution<double> noise(0, 25);
  auto frame = [&](const std::string& name, double base, double dx, double dy, double turn) {
    return WriteFrame(dir, name, w, h, [&](int x, int y) {
      double v = base + noise(rng) + 0.3 * x;
      for (const auto& star : {std::pair{60.0, 50.0}, std::pair{115.0, 80.0}}) {
        const double cx = 80 + std::cos(turn) * (star.first - 80) - std::sin(turn) * (star.second - 60) + dx;
        const double cy = 60 + std::sin(turn) * (star.first - 80) + std::cos(turn) * (star.second - 60) + dy;
        v += 9000 * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / 5.0);
      }
      return static_cast<int>(std::clamp(v, 0.0, 65535.0));
    });
  };
  CompositionSettings s;
  std::vector<std::string> darks, flats;
  for (int k = 0; k < 3; ++k) {
    s.RedFiles.push_back(frame("r" + std::to_string(k), 900, 1.3 * k, -0.7 * k, 0.002 * k));
    s.GreenFiles.push_back(frame("g" + std::to_string(k), 1100, -0.6 * k, 1.1 * k, -0.003 * k));
    s.BlueFiles.push_back(frame("b" + std::to_string(k), 1300, 0.4 * k, 0.9 * k, 0.004 * k));
    darks.push_back(frame("d" + std::to_string(k), 300, 0, 0, 0));
  }
  for (int k = 0; k < 2; ++k) {
    flats.push_back(WriteFrame(dir, "flat" + std::to_string(k) + ".fits", w, h, [&](int x, int y) {
      return static_cast<int>(30000 + 2000 * std::sin(x * 0.05) + noise(rng) * 4 + y);
    }));
  }
  s.Star1X = 60;
  s.Star1Y = 50;
  s.Star2X = 115;
  s.Star2Y = 80;
  s.Delta1 = s.Delta2 = 6;
  s.BackgroundX = 20;
  s.BackgroundY = 100;
  s.WhiteR = 1.3;
  s.WhiteK = 0.7;
  s.Advanced.FlattenG = true;
  const std::pair<int, int> calibrations[] = {{3, 1}, {0, 0}, {1, 0}, {0, 2}, {2, 2}};
  for (const auto& [nd, nf] : calibrations) {
    s.DarkFiles.assign(darks.begin(), darks.begin() + nd);
    s.FlatFiles.assign(flats.begin(), flats.begin() + nf);
    for (int mode : {0, 1, 2}) {
      s.StarMode = mode;
      ImageDocument fast, plain;
      ComposeOptions two, reference;
      two.threads = 2;
      reference.plain = true;
      ASSERT_TRUE(ComposeTricolourWith(two, s, {}, fast, nullptr, {}));
      ASSERT_TRUE(ComposeTricolourWith(reference, s, {}, plain, nullptr, {}));
      EXPECT_EQ(fast.Image, plain.Image) << "mode " << mode << ", " << nd << " darks, " << nf << " flats";
    }
  }
}

// ---------------------------------------------------------------------------
// Real frames.

std::string Data(const std::string& name) { return std::string(QIRM_DATA_DIR) + "/" + name; }

// Centroid of one channel's bytes above their box median, around (x, y).
std::pair<double, double> ByteCentroid(const Picture& p, int channel, int x, int y, int r) {
  double s = 0, sx = 0, sy = 0;
  for (int j = y - r; j <= y + r; ++j)
    for (int i = x - r; i <= x + r; ++i) {
      const double v = p.Row(j)[3 * i + channel];
      s += v;
      sx += v * i;
      sy += v * j;
    }
  return {sx / s, sy / s};
}

// Real stars with known drifts: 400 x 400 crops of the M51 frame taken at
// offsets, so that a star at (x, y) of the first crop is at (x - ox, y - oy)
// of the others. Whichever crops make the channels, the star lands on the
// star-1 position and a second star in one place in all three channels.
//
// (The M13 frames of registration/ cannot serve here: their stars rise some
// 60 counts above a sky whose pixels scatter by 30, so the brightest pixel
// of a box, which is what registration aligns on, wanders by several
// pixels from frame to frame.)
TEST(RealFrames, DriftedCropsOfM51AreRegisteredInEveryChannel) {
  const std::string source = Data("fixtures/kpno_m51_B_dev_pix.fits");
  if (!fs::exists(source)) GTEST_SKIP() << "no shared data";
  fits_test::TempDir dir(true);
  FitsHeader header;
  ASSERT_TRUE(ReadFitsHeader(source, header));
  IntMatrix m51;
  ASSERT_TRUE(m51.Allocate(header.width, header.height));
  ASSERT_TRUE(ReadFitsFile(source, header, m51));
  ToUnsigned16(32768, header.width, header.height, m51);
  const std::pair<int, int> offsets[] = {{0, 0}, {7, -4}, {-5, 9}, {3, 3}, {-8, -6}, {6, 8}};
  std::vector<std::string> crops;
  for (const auto& offset : offsets) {
    const int ox = offset.first, oy = offset.second;  // clang 14 captures no structured bindings
    crops.push_back(WriteFrame(dir, "crop" + std::to_string(crops.size()) + ".fits", 400, 400,
                               [&](int x, int y) { return m51[50 + ox + x][50 + oy + y]; }));
  }
  CompositionSettings s;
  s.RedFiles = {crops[0], crops[1]};
  s.GreenFiles = {crops[2], crops[3]};
  s.BlueFiles = {crops[4], crops[5]};
  // Stars of the frame (1-based (404.5, 274.3) and (224.3, 131.2)) in the
  // green reference crop (offset (-5, 9)).
  s.Star1X = 403 - 50 + 5;
  s.Star1Y = 273 - 50 - 9;
  s.Star2X = 223 - 50 + 5;
  s.Star2Y = 130 - 50 - 9;
  s.Delta1 = s.Delta2 = 20;  // the crops lie up to 15 pixels from the reference crop
  s.BackgroundX = 40;
  s.BackgroundY = 360;
  s.BackgroundLevel = 0;
  s.WhiteK = 0.02;  // keep the stars below the clip
  for (int mode : {1, 2}) {
    s.StarMode = mode;
    ImageDocument doc;
    const Status st = ComposeTricolour(s, {}, doc);
    ASSERT_TRUE(st) << st.message();
    // Within a pixel: registration aligns the brightest pixel, and in red
    // the hot-pixel rule flattens a star's core (a peak always stands more
    // than twice as far above its 3 x 3 minimum as its neighbours do), so
    // the brightest pixel there may be a neighbour of the centre.
    std::pair<double, double> b_green = ByteCentroid(doc.Image, 1, s.Star2X, s.Star2Y, 4);
    for (int c = 0; c < 3; ++c) {
      const auto a = ByteCentroid(doc.Image, c, s.Star1X, s.Star1Y, 3);
      EXPECT_NEAR(a.first, s.Star1X, 1.0) << "mode " << mode << " channel " << c;
      EXPECT_NEAR(a.second, s.Star1Y, 1.0) << "mode " << mode << " channel " << c;
      const auto b = ByteCentroid(doc.Image, c, s.Star2X, s.Star2Y, 4);
      // Two-star mode also scales and turns each frame by its measured star
      // pair, which moves star 2 by a fraction of a pixel more.
      const double tolerance = mode == 2 ? 1.5 : 1.0;
      EXPECT_NEAR(b.first, b_green.first, tolerance) << "mode " << mode << " channel " << c;
      EXPECT_NEAR(b.second, b_green.second, tolerance) << "mode " << mode << " channel " << c;
    }
  }
}

// The M13 frames still compose end to end, in two-star mode, with every
// drift found within the sizes of its boxes.
TEST(RealFrames, M13FramesCompose) {
  if (!fs::exists(Data("registration/M13_blue_0001.fits"))) GTEST_SKIP() << "no shared data";
  fits_test::TempDir dir(true);
  CompositionSettings s;
  auto frame = [](int n) { return Data("registration/M13_blue_000" + std::to_string(n) + ".fits"); };
  s.RedFiles = {frame(1), frame(2)};
  s.GreenFiles = {frame(3)};
  s.BlueFiles = {frame(4), frame(5)};
  s.StarMode = 2;
  s.Star1X = 704 - 25;
  s.Star1Y = 446 + 3;
  s.Star2X = 690 - 25;
  s.Star2Y = 553 + 3;
  s.Delta1 = s.Delta2 = 30;
  ImageDocument doc;
  const Status st = ComposeTricolour(s, {}, doc);
  ASSERT_TRUE(st) << st.message();
  EXPECT_EQ(doc.Image.width(), 1392);
  EXPECT_EQ(doc.Image.height(), 1040);
}

// Three bands of one field on one pixel grid: a picture with a dark sky,
// bright stars, and channels that differ.
TEST(RealFrames, SdssBandsGiveASaneColourPicture) {
  if (!fs::exists(Data("colour/reprojected_sdss_i.fits"))) GTEST_SKIP() << "no shared data";
  fits_test::TempDir dir(true);
  CompositionSettings s;
  s.RedFiles = {Data("colour/reprojected_sdss_i.fits")};
  s.GreenFiles = {Data("colour/reprojected_sdss_r.fits")};
  s.BlueFiles = {Data("colour/reprojected_sdss_g.fits")};
  s.StarMode = 1;
  s.Star1X = 612;
  s.Star1Y = 352;
  s.Delta1 = 8;
  s.BackgroundX = 60;
  s.BackgroundY = 440;
  ImageDocument doc;
  const Status st = ComposeTricolour(s, {}, doc);
  ASSERT_TRUE(st) << st.message();
  ASSERT_EQ(doc.Image.width(), 682);
  ASSERT_EQ(doc.Image.height(), 496);
  long long sum[3] = {}, differ = 0, bright = 0;
  for (int y = 0; y < 496; ++y)
    for (int x = 0; x < 682; ++x) {
      const std::uint8_t* p = doc.Image.Row(y) + 3 * x;
      for (int c = 0; c < 3; ++c) sum[c] += p[c];
      differ += p[0] != p[1] || p[1] != p[2];
      bright += p[0] == 255 && p[1] == 255 && p[2] == 255;
    }
  for (int c = 0; c < 3; ++c) {
    const double mean = static_cast<double>(sum[c]) / (682 * 496);
    EXPECT_GT(mean, 3) << "channel " << c;   // sky lifted to about 9
    EXPECT_LT(mean, 60) << "channel " << c;  // not washed out
  }
  EXPECT_GT(differ, 1000);
  EXPECT_GT(bright, 10);  // star cores
  // The reference star sits on the star-1 position in all three channels.
  EXPECT_EQ(doc.Image.Row(352)[3 * 612], 255);
  EXPECT_EQ(doc.Image.Row(352)[3 * 612 + 1], 255);
  EXPECT_EQ(doc.Image.Row(352)[3 * 612 + 2], 255);
}

}  // namespace
}  // namespace qirm
