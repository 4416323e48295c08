// SPDX-License-Identifier: GPL-3.0-or-later
// Background slope removal on synthetic frames with a known sky, stars and
// noise, and its errors.
#include "filters/background.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "display/raw_values.h"

namespace qirm {
namespace {

constexpr double kNoise = 10.0;

// A 16-bit window of w x h with sky(x, y), 300 Gaussian stars (FWHM 3 px,
// peaks up to 20000) and Gaussian noise of kNoise.
template <class Sky>
ImageDocument SyntheticFrame(int w, int h, const Sky& sky, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0, kNoise);
  std::uniform_real_distribution<double> px(0, w), py(0, h), peak(200, 20000);
  std::vector<double> values(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) values[static_cast<std::size_t>(y) * w + x] = sky(x, y) + noise(rng);
  const double s = 3.0 / 2.3548;
  for (int k = 0; k < 300; ++k) {
    const double cx = px(rng), cy = py(rng), a = peak(rng);
    for (int y = std::max(0, static_cast<int>(cy) - 12); y < std::min(h, static_cast<int>(cy) + 13); ++y)
      for (int x = std::max(0, static_cast<int>(cx) - 12); x < std::min(w, static_cast<int>(cx) + 13); ++x)
        values[static_cast<std::size_t>(y) * w + x] +=
            a * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (2 * s * s));
  }
  std::vector<std::uint16_t> raw(values.size());
  for (std::size_t i = 0; i < raw.size(); ++i)
    raw[i] = static_cast<std::uint16_t>(std::clamp(std::round(values[i]), 0.0, 65535.0));
  ImageDocument doc;
  doc.kind = WindowKind::kRaw16;
  doc.raw = RawPlane(w, h);
  doc.max_level = 3000;
  doc.min_level = 0;
  StoreRawValues(doc, raw);
  return doc;
}

// The sky of each 64 x 64 box of the result (median), as an independent
// look at what is left: the spread of these medians is the residual
// gradient.
std::vector<double> BoxMedians(const std::vector<std::uint16_t>& raw, int w, int h) {
  std::vector<double> medians;
  for (int by = 0; by + 64 <= h; by += 64)
    for (int bx = 0; bx + 64 <= w; bx += 64) {
      std::vector<int> v;
      for (int y = by; y < by + 64; ++y)
        for (int x = bx; x < bx + 64; ++x) v.push_back(raw[static_cast<std::size_t>(y) * w + x]);
      std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
      medians.push_back(v[v.size() / 2]);
    }
  return medians;
}

TEST(Background, ResidualGradientFallsBelowTheNoiseForEachModel) {
  const int w = 1024, h = 768;
  struct Case {
    const char* name;
    int degree;
    double (*sky)(int, int);
  };
  const Case cases[] = {
      {"plane", 1, [](int x, int y) { return 1000.0 + 0.3 * x - 0.2 * y; }},
      {"poly2", 2,
       [](int x, int y) { return 1500.0 + 0.25 * x + 4e-4 * (x - 300.0) * (y - 500.0) - 6e-4 * y * y; }},
      {"poly3", 3,
       [](int x, int y) {
         const double u = (x - 512.0) / 512, v = (y - 384.0) / 384;
         return 2000.0 + 150 * u - 80 * v + 60 * u * u * u - 40 * u * v * v + 30 * v * v;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageDocument doc = SyntheticFrame(w, h, c.sky, 7);
    std::vector<std::uint16_t> before;
    ASSERT_TRUE(ReadRawValues(doc, "test", before).ok());
    const std::vector<double> b = BoxMedians(before, w, h);
    double true_mean = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) true_mean += c.sky(x, y);
    true_mean /= static_cast<double>(w) * h;

    std::vector<BackgroundFit> fits;
    ASSERT_TRUE(BackgroundCommand(doc, {c.degree, 64}, &fits).ok());
    ASSERT_EQ(fits.size(), 1u);
    std::vector<std::uint16_t> after;
    ASSERT_TRUE(ReadRawValues(doc, "test", after).ok());
    const std::vector<double> a = BoxMedians(after, w, h);
    const auto [bmin, bmax] = std::minmax_element(b.begin(), b.end());
    const auto [amin, amax] = std::minmax_element(a.begin(), a.end());
    // The model against the true sky, everywhere on the frame.
    double worst = 0;
    for (int y = 0; y < h; y += 8)
      for (int x = 0; x < w; x += 8) worst = std::max(worst, std::fabs(fits[0].Model(x, y) - c.sky(x, y)));
    std::printf(
        "[ %s ] box sky spread %.1f -> %.2f (noise %.0f); model - true sky at most %.2f; "
        "mean level %.2f (true %.2f); boxes used %d of %zu\n",
        c.name, *bmax - *bmin, *amax - *amin, kNoise, worst, fits[0].mean_level, true_mean,
        fits[0].boxes_used, fits[0].boxes.size());
    EXPECT_LT(*amax - *amin, kNoise);
    EXPECT_LT(worst, kNoise / 2);
    EXPECT_NEAR(fits[0].mean_level, true_mean, 1.0);
    // Boxes with bright stars on them were left out.
    EXPECT_LT(fits[0].boxes_used, static_cast<int>(fits[0].boxes.size()));
  }
}

TEST(Background, ColourChannelsEachGetTheirOwnModelAndTheModelPreview) {
  const int w = 256, h = 192;
  ImageDocument doc;
  doc.kind = WindowKind::kColour;
  doc.ImageZm = Picture(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = doc.ImageZm.Row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(40 + x / 4);   // blue: slope in x
      p[1] = static_cast<std::uint8_t>(100);          // green: flat
      p[2] = static_cast<std::uint8_t>(150 - y / 4);  // red: slope in y
    }
  doc.Image = doc.ImageZm;
  ImageDocument preview = doc;
  std::vector<BackgroundFit> fits;
  ASSERT_TRUE(BackgroundCommand(doc, {1, 32}, &fits).ok());
  ASSERT_EQ(fits.size(), 3u);
  for (int y = 0; y < h; y += 7)
    for (int x = 0; x < w; x += 7) {
      const std::uint8_t* p = doc.ImageZm.Row(y) + 3 * x;
      EXPECT_NEAR(p[0], 40 + (w - 1) / 8.0, 1.0) << x << ", " << y;
      EXPECT_EQ(p[1], 100);
      EXPECT_NEAR(p[2], 150 - (h - 1) / 8.0, 1.0) << x << ", " << y;
    }
  EXPECT_EQ(doc.Image, doc.ImageZm);
  EXPECT_EQ(doc.history.back(), "background plane 32");
  // The preview's model reproduces the slopes themselves.
  ASSERT_TRUE(BackgroundCommand(preview, {1, 32}, nullptr, true).ok());
  EXPECT_NEAR(preview.ImageZm.Row(10)[3 * 200], 40 + 200 / 4, 1.0);
}

TEST(Background, RefusedValuesAndTooFewBoxes) {
  BackgroundParams p;
  EXPECT_TRUE(ParseBackgroundParams("poly3", "64", p).ok());
  EXPECT_EQ(p.degree, 3);
  for (const auto& [model, box, message] : std::vector<std::tuple<std::string, std::string, const char*>>{
           {"poly4", "64", kBackgroundModelRefused},
           {"plane", "7", kBackgroundBoxRefused},
           {"plane", "1025", kBackgroundBoxRefused},
           {"plane", "abc", kBackgroundBoxRefused}}) {
    EXPECT_EQ(ParseBackgroundParams(model, box, p).message(), message) << model << " " << box;
  }
  // A 100 x 100 frame in 64-pixel boxes has one box: no plane fits it.
  ImageDocument doc = SyntheticFrame(
      100, 100, [](int, int) { return 500.0; }, 1);
  const ImageDocument before = doc;
  EXPECT_EQ(BackgroundCommand(doc, {1, 64}).message(), kBackgroundTooFewBoxes);
  EXPECT_EQ(doc.ImageZm, before.ImageZm);
  ImageDocument empty;
  EXPECT_FALSE(BackgroundCommand(empty, {1, 64}).ok());
}

}  // namespace
}  // namespace qirm
