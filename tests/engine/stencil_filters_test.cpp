// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/stencil_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "core/parallel.h"
#include "tests/support/compare.h"
#include "tests/support/cpu_levels.h"
#include "tests/support/pictures.h"

namespace qirm {
namespace {

using test::At;
using test::ExpectSamePicture;
using test::Flat;
using test::Grey;

Picture RandomPicture(int w, int h, std::mt19937& rng) {
  std::uniform_int_distribution<int> value(0, 255), extreme(0, 9);
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < p.stride(); ++i) {
      const int e = extreme(rng);
      p.Row(y)[i] = static_cast<std::uint8_t>(e == 0 ? 0 : e == 1 ? 255 : e == 2 ? 254 : value(rng));
    }
  return p;
}

RawPlane RandomPlane(int w, int h, std::mt19937& rng) {
  std::uniform_int_distribution<int> value(0, 65535), extreme(0, 9);
  RawPlane p(w, h);
  for (auto& v : p.values) {
    const int e = extreme(rng);
    v = static_cast<std::uint16_t>(e == 0 ? 0 : e == 1 ? 65535 : value(rng));
  }
  return p;
}

// ------------------------------------------------ reference: pixel by pixel

// One channel of a picture or plane with the edge policy: coordinates
// outside are moved to the nearest pixel inside.
struct Channel {
  std::function<int(int, int)> get;
  int w, h, full;
  int operator()(int x, int y) const { return get(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1)); }
};

int Clamp(int v, int full) { return std::clamp(v, 0, full); }

using PixelRule = std::function<int(const Channel&, int, int)>;

int EdgeRule(double s, const Channel& c, int x, int y) {
  const int lap = 4 * c(x, y) - c(x - 1, y) - c(x + 1, y) - c(x, y - 1) - c(x, y + 1);
  return Clamp(c(x, y) + EdgeDelta(s, lap), c.full);
}

int BlurRule(double a, const Channel& c, int x, int y) {
  const int d = c(x, y - 2) + c(x - 1, y - 1) + c(x + 1, y - 1) - 3 * c(x, y);
  return Clamp(c(x, y) + BlurDelta(a, d), c.full);
}

int HighPassRule(const Channel& c, int x, int y) {
  if (c(x, y) == c.full) return c.full;
  return Clamp(4 * c(x, y) - c(x - 1, y) - c(x + 1, y) - c(x, y - 1) - c(x, y + 1), c.full);
}

Picture ReferencePicture(const Picture& src, const PixelRule& rule) {
  Picture out(src.width(), src.height());
  for (int ch = 0; ch < 3; ++ch) {
    Channel c{[&](int x, int y) { return At(src, x, y, ch); }, src.width(), src.height(), 255};
    for (int y = 0; y < src.height(); ++y)
      for (int x = 0; x < src.width(); ++x) out.Row(y)[3 * x + ch] = static_cast<std::uint8_t>(rule(c, x, y));
  }
  return out;
}

Picture ReferenceLowPass(const Picture& src) {
  const Picture hp = ReferencePicture(src, HighPassRule);
  Picture out(src.width(), src.height());
  for (int ch = 0; ch < 3; ++ch) {
    Channel h{[&](int x, int y) { return At(hp, x, y, ch); }, src.width(), src.height(), 255};
    for (int y = 0; y < src.height(); ++y)
      for (int x = 0; x < src.width(); ++x) {
        const int v = 5 * At(src, x, y, ch) - h(x - 1, y) - h(x + 1, y) - h(x, y - 1) - h(x, y + 1);
        out.Row(y)[3 * x + ch] = static_cast<std::uint8_t>(Clamp(v, 255));
      }
  }
  return out;
}

RawPlane ReferencePlane(const RawPlane& src, const PixelRule& rule) {
  RawPlane out = src;
  Channel c{[&](int x, int y) { return int{src.Row(y)[x]}; }, src.width, src.height, 65535};
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) out.Row(y)[x] = static_cast<std::uint16_t>(rule(c, x, y));
  return out;
}

RawPlane ReferenceLowPass(const RawPlane& src) {
  const RawPlane hp = ReferencePlane(src, HighPassRule);
  RawPlane out = src;
  Channel h{[&](int x, int y) { return int{hp.Row(y)[x]}; }, src.width, src.height, 65535};
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) {
      const int v = 5 * src.Row(y)[x] - h(x - 1, y) - h(x + 1, y) - h(x, y - 1) - h(x, y + 1);
      out.Row(y)[x] = static_cast<std::uint16_t>(Clamp(v, 65535));
    }
  return out;
}

// ------------------------------------------------------- worked numbers

TEST(StencilFilters, FlatPictureEverywhereIncludingTheBorders) {
  const Picture flat = Flat(9, 7, 100);
  ExpectSamePicture(EdgeEnhancement(flat, 1.0), flat);
  ExpectSamePicture(EdgeEnhancement(flat, 4.5), flat);
  ExpectSamePicture(Blur(flat, 1.0), flat);
  ExpectSamePicture(Blur(flat, 6.0), flat);
  ExpectSamePicture(HighPass(flat), Flat(9, 7, 0));
  ExpectSamePicture(LowPass(flat), Flat(9, 7, 255));  // 5 * 100 - 0, clamped
}

TEST(StencilFilters, HighPassKeepsSaturatedChannels) {
  Picture p = Flat(5, 5, 0);
  p.Row(2)[3 * 2 + 0] = 255;                          // blue saturated among zeros
  p.Row(2)[3 * 2 + 1] = 254;                          // green: 4 * 254 = 1016, clamped
  p.Row(2)[3 * 2 + 2] = 10;                           // red: 40
  for (int x = 0; x < 5; ++x) p.Row(0)[3 * x] = 255;  // saturated whatever the neighbours
  const Picture hp = HighPass(p);
  EXPECT_EQ(At(hp, 2, 2, 0), 255);
  EXPECT_EQ(At(hp, 2, 2, 1), 255);
  EXPECT_EQ(At(hp, 2, 2, 2), 40);
  EXPECT_EQ(At(hp, 2, 1, 0), 0);  // 0 - 255 - 255
  for (int x = 0; x < 5; ++x) EXPECT_EQ(At(hp, x, 0, 0), 255);
}

TEST(StencilFilters, EdgeEnhancementOfOneBrightPixel) {
  Picture p = Flat(5, 5, 0);
  Grey(p, 2, 2, 200);
  const Picture e = EdgeEnhancement(p, 1.0);
  EXPECT_EQ(At(e, 2, 2), 255);  // 1000
  for (auto [x, y] : {std::pair{1, 2}, {3, 2}, {2, 1}, {2, 3}}) EXPECT_EQ(At(e, x, y), 0);

  // The strength scales the Laplacian: 14 on 10 gives 14 + s * 16 at the
  // pixel and 10 + floor(s * -4) beside it.
  Picture q = Flat(5, 5, 10);
  Grey(q, 2, 2, 14);
  const struct {
    double strength;
    int centre, side;
  } cases[] = {{1.0, 30, 6}, {1.25, 34, 5}, {2.0, 46, 2}, {5.0, 94, 0}};
  for (const auto& c : cases) {
    const Picture r = EdgeEnhancement(q, c.strength);
    EXPECT_EQ(At(r, 2, 2), c.centre) << c.strength;
    EXPECT_EQ(At(r, 3, 2), c.side) << c.strength;
    EXPECT_EQ(At(r, 0, 0), 10) << c.strength;
  }
}

TEST(StencilFilters, BlurStencilLooksUpward) {
  // Each pixel mixes itself (5/8) with the pixel two rows above and the two
  // diagonal pixels of the row above (1/8 each), so one bright pixel
  // spreads two rows down and diagonally down.
  Picture p = Flat(11, 11, 0);
  Grey(p, 5, 5, 80);
  const Picture b = Blur(p, 1.0);
  EXPECT_EQ(At(b, 5, 5), 50);
  EXPECT_EQ(At(b, 5, 7), 10);
  EXPECT_EQ(At(b, 4, 6), 10);
  EXPECT_EQ(At(b, 6, 6), 10);
  int lit = 0;
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 11; ++x) lit += At(b, x, y) != 0;
  EXPECT_EQ(lit, 4);

  // The amount moves the weights from the pixel alone (near 0) towards the
  // plain mean of the four (large amounts).
  const struct {
    double amount;
    int centre, spread;
  } cases[] = {{0.001, 79, 0}, {0.5, 62, 5}, {1.0, 50, 10}, {3.0, 27, 17}, {10.0, 20, 19}};
  for (const auto& c : cases) {
    const Picture r = Blur(p, c.amount);
    EXPECT_EQ(At(r, 5, 5), c.centre) << c.amount;
    EXPECT_EQ(At(r, 5, 7), c.spread) << c.amount;
  }
}

TEST(StencilFilters, ProgressRunsDownTheRowsOncePerPass) {
  const Picture p = Flat(4, 10, 50);
  std::vector<int> seen;
  const FilterProgress record = [&](int v) { seen.push_back(v); };
  HighPass(p, record);
  EXPECT_EQ(seen, (std::vector<int>{0, 20, 40, 60, 80, 100, 120, 140, 160, 180}));
  seen.clear();
  LowPass(p, record);
  EXPECT_EQ(seen.size(), 20u);
  EXPECT_EQ(seen[10], 0);

  // A picture large enough for two threads reports the same sequence.
  const Picture big = Flat(400, 300, 50);
  seen.clear();
  Blur(big, 1.0, record);
  ASSERT_EQ(seen.size(), 200u);
  for (int v = 0; v < 200; ++v) EXPECT_EQ(seen[v], v);
}

// ----------------------------------------------- fast paths = reference

// The 8-bit spans at every CPU level, the rows cut into 1 to 7 parts.
TEST(StencilFilters, EveryPathEqualsThePixelLoop) {
  std::mt19937 rng(11);
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 6}, {6, 1}, {2, 2}, {3, 5}, {17, 13}, {300, 260}};
  const double strengths[] = {1.0, 1.7, 5.0};
  const double amounts[] = {1.0, 0.3, 2.5, 10.0};
  for (auto [w, h] : sizes) {
    SCOPED_TRACE(testing::Message() << w << " x " << h);
    const Picture p = RandomPicture(w, h, rng);
    std::vector<Picture> edge, blur;
    for (double s : strengths)
      edge.push_back(
          ReferencePicture(p, [s](const Channel& c, int x, int y) { return EdgeRule(s, c, x, y); }));
    for (double a : amounts)
      blur.push_back(
          ReferencePicture(p, [a](const Channel& c, int x, int y) { return BlurRule(a, c, x, y); }));
    const Picture high = ReferencePicture(p, HighPassRule);
    const Picture low = ReferenceLowPass(p);
    for (int threads : {1, 2, 3, 7}) {
      SCOPED_TRACE(testing::Message() << threads << " threads");
      ScopedThreadCount count(threads);
      test::AtEveryCpuLevel([&](CpuLevel) {
        for (std::size_t i = 0; i < std::size(strengths); ++i)
          ExpectSamePicture(EdgeEnhancement(p, strengths[i]), edge[i]);
        for (std::size_t i = 0; i < std::size(amounts); ++i) ExpectSamePicture(Blur(p, amounts[i]), blur[i]);
        ExpectSamePicture(HighPass(p), high);
        ExpectSamePicture(LowPass(p), low);
      });
    }

    const RawPlane raw = RandomPlane(w, h, rng);
    for (double a : {1.0, 0.7, 9.0})
      EXPECT_TRUE(Blur(raw, a) ==
                  ReferencePlane(raw, [a](const Channel& c, int x, int y) { return BlurRule(a, c, x, y); }));
    EXPECT_TRUE(HighPass(raw) == ReferencePlane(raw, HighPassRule));
    EXPECT_TRUE(LowPass(raw) == ReferenceLowPass(raw));
  }
}

TEST(StencilFilters, IntoExistingPictures) {
  std::mt19937 rng(4);
  const Picture source = RandomPicture(300, 240, rng);
  // The low-pass may write over its source (the window's base picture).
  Picture in_place = source, hp(300, 240);
  ASSERT_TRUE(LowPassInto(in_place, hp, in_place));
  ExpectSamePicture(in_place, LowPass(source));
  ExpectSamePicture(hp, HighPass(source));

  Picture wrong(300, 239), copy = source;
  EXPECT_FALSE(HighPassInto(source, wrong));
  EXPECT_FALSE(EdgeEnhancementInto(copy, 1.0, copy));  // would read what it writes
  EXPECT_FALSE(LowPassInto(source, copy, copy));
  ExpectSamePicture(copy, source);
}

TEST(StencilFilters, EmptyPicturesGiveEmptyResults) {
  EXPECT_TRUE(HighPass(Picture()).empty());
  EXPECT_TRUE(LowPass(RawPlane()).values.empty());
  EXPECT_TRUE(Blur(Picture(), 2.0).empty());
}

}  // namespace
}  // namespace qirm
