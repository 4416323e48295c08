// SPDX-License-Identifier: GPL-3.0-or-later
// Mirror, flip, rotate and the tone operations: worked numbers, the edge
// policies, and the fast paths (tables, row bands, threads) against plain
// per-pixel reference loops written from the definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "core/numbers.h"
#include "core/parallel.h"
#include "display/levels.h"
#include "display/mirror_flip.h"
#include "display/rotate.h"
#include "display/tones.h"
#include "filters/primitives.h"
#include "tests/support/compare.h"
#include "tests/support/cpu_levels.h"

namespace qirm {
namespace {

// ---------------------------------------------------------------- helpers

using test::SamePicture;

Picture Uniform(int w, int h, std::uint8_t v) {
  Picture p(w, h);
  for (int y = 0; y < h; ++y) std::fill(p.Row(y), p.Row(y) + p.stride(), v);
  return p;
}

Picture RandomPicture(int w, int h, std::mt19937& rng) {
  std::uniform_int_distribution<int> byte(0, 255);
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < p.stride(); ++i) p.Row(y)[i] = static_cast<std::uint8_t>(byte(rng));
  return p;
}

std::uint8_t Byte(const Picture& p, int x, int y, int k) { return p.Row(y)[3 * x + k]; }

bool IsWhite(const Picture& p, int x, int y) { return p.Color(x, y) == 0xFFFFFFu; }

// ------------------------------------------------------- reference loops

// The rotation exactly as described, pixel by pixel through the colour
// access, with the chosen stand-in for column W.
Picture ReferenceRotate(const Picture& src) {
  const int w = src.width();
  const int h = src.height();
  Picture out(w, h);
  const double c = std::cos(0.1);
  const double s = std::sin(0.1);
  const int x0 = Trunc(static_cast<Extended>(s) * (h / 2) + static_cast<Extended>(c) * (w / 2) - w / 2);
  const int y0 = Trunc(static_cast<Extended>(c) * (h / 2) - static_cast<Extended>(s) * (w / 2) - h / 2);
  for (int y = 1; y <= h - 2; ++y) {
    for (int x = 1; x <= w - 2; ++x) {
      const double sx = static_cast<double>(static_cast<Extended>(c) * x + static_cast<Extended>(s) * y - x0);
      const double sy =
          static_cast<double>(-static_cast<Extended>(s) * x + static_cast<Extended>(c) * y - y0);
      const int xs = Trunc(sx);
      const int ys = Trunc(sy);
      if (!(xs >= 1 && ys >= 1 && xs < w && ys < h)) continue;
      const double fx = sx - xs;
      const double fy = sy - ys;
      const int xr = std::min(xs + 1, w - 1);
      const std::uint32_t a = src.Color(xs, ys - 1), b = src.Color(xr, ys - 1);
      const std::uint32_t cc = src.Color(xs, ys), d = src.Color(xr, ys);
      std::uint32_t color = 0;
      for (int shift = 0; shift <= 16; shift += 8) {
        auto ch = [shift](std::uint32_t v) { return static_cast<int>((v >> shift) & 0xFF); };
        const Extended v = (1 - static_cast<Extended>(fx)) * (1 - static_cast<Extended>(fy)) * ch(a) +
                           static_cast<Extended>(fx) * (1 - static_cast<Extended>(fy)) * ch(b) +
                           (1 - static_cast<Extended>(fx)) * static_cast<Extended>(fy) * ch(cc) +
                           static_cast<Extended>(fx) * static_cast<Extended>(fy) * ch(d);
        color |= static_cast<std::uint32_t>(Trunc(v)) << shift;
      }
      out.SetColor(x, y, color);
    }
  }
  return out;
}

// Solarization through the primitives: three channel matrices, Convolve
// with a fresh (5, 5, -4) kernel each, ClipMatrix to 0..255.
Picture ReferenceSolarize(const Picture& src) {
  const int w = src.width();
  const int h = src.height();
  Picture out(w, h);
  for (int k = 0; k < 3; ++k) {
    IntMatrix m;
    EXPECT_EQ(AllocIntMatrix(w, h, m), 0);
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) m[x][y] = Byte(src, x, y, k);
    RealMatrix kernel;
    EXPECT_EQ(AllocRealMatrix(3, 3, kernel), 0);
    kernel[1][0] = 5;
    kernel[1][1] = 5;
    kernel[1][2] = -4;
    EXPECT_TRUE(Convolve(3, 3, kernel, w, h, m).ok());
    ClipMatrix(0, 255, w, h, m);
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) out.Row(y)[3 * x + k] = static_cast<std::uint8_t>(m[x][y]);
  }
  return out;
}

// A per-byte formula applied pixel by pixel, no table.
template <class F>
Picture ReferenceTone(const Picture& src, F f) {
  Picture out(src.width(), src.height());
  for (int y = 0; y < src.height(); ++y)
    for (int x = 0; x < src.width(); ++x)
      for (int k = 0; k < 3; ++k) out.Row(y)[3 * x + k] = static_cast<std::uint8_t>(f(Byte(src, x, y, k)));
  return out;
}

int GammaByte(int c, double gamma) {
  const double x = static_cast<double>(c * (1.0L / 255.0L));
  return Trunc(static_cast<Extended>(std::pow(x, gamma)) * 255);
}

int SabattierByte(int c, double step) {
  const double q = static_cast<double>(static_cast<Extended>(c) * 256 / step);
  return Trunc(std::fmod(q, 256.0));
}

// ---------------------------------------------------------- mirror, flip

TEST(MirrorFlip, MirrorReversesEveryRow) {
  Picture p(3, 2);
  const std::uint32_t a = 0x010203, b = 0x040506, c = 0x070809;
  for (int y = 0; y < 2; ++y) {
    p.SetColor(0, y, a);
    p.SetColor(1, y, b);
    p.SetColor(2, y, c);
  }
  const Picture m = MirrorPicture(p);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(m.Color(0, y), c);
    EXPECT_EQ(m.Color(1, y), b);
    EXPECT_EQ(m.Color(2, y), a);
  }
}

TEST(MirrorFlip, FlipReversesTheRowOrder) {
  std::mt19937 rng(1);
  const Picture p = RandomPicture(4, 3, rng);
  const Picture f = FlipPicture(p);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(f.Color(x, y), p.Color(x, 2 - y));
  const Picture line = RandomPicture(7, 1, rng);
  EXPECT_TRUE(SamePicture(FlipPicture(line), line));
}

TEST(MirrorFlip, TwiceRestoresAnyPicture) {
  std::mt19937 rng(2);
  // Sizes on both sides of the threading threshold, odd and even.
  for (auto [w, h] : {std::pair{1, 1}, {5, 3}, {2, 9}, {301, 257}, {512, 400}}) {
    const Picture p = RandomPicture(w, h, rng);
    EXPECT_TRUE(SamePicture(MirrorPicture(MirrorPicture(p)), p)) << w << " x " << h;
    EXPECT_TRUE(SamePicture(FlipPicture(FlipPicture(p)), p)) << w << " x " << h;
  }
  const Picture big = RandomPicture(400, 300, rng);
  const Picture m = MirrorPicture(big);
  for (int y : {0, 150, 299})
    for (int x : {0, 1, 200, 399}) EXPECT_EQ(m.Color(x, y), big.Color(399 - x, y));
}

// ---------------------------------------------------------------- rotate

TEST(Rotate, ShiftsKeepTheCentre) {
  const RotationGeometry g = RotationFor(40, 30);
  EXPECT_EQ(g.x0, 1);   // trunc(0.0998 * 15 + 0.995 * 20 - 20) = trunc(1.398)
  EXPECT_EQ(g.y0, -2);  // trunc(0.995 * 15 - 0.0998 * 20 - 15) = trunc(-2.07)
  EXPECT_EQ(RotationFor(11, 11).x0,
            Trunc(static_cast<Extended>(g.s) * 5 + static_cast<Extended>(g.c) * 5 - 5));
}

TEST(Rotate, UniformPictureKeepsItsToneInsideAWhiteFrame) {
  const Picture src = Uniform(40, 30, 100);
  const Picture r = RotatePicture(src);
  const RotationGeometry g = RotationFor(40, 30);
  int white = 0, hundred = 0, ninety_nine = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const bool frame = x == 0 || y == 0 || x == 39 || y == 29;
      const double sx =
          static_cast<double>(static_cast<Extended>(g.c) * x + static_cast<Extended>(g.s) * y - g.x0);
      const double sy =
          static_cast<double>(-static_cast<Extended>(g.s) * x + static_cast<Extended>(g.c) * y - g.y0);
      const bool outside = Trunc(sx) < 1 || Trunc(sy) < 1 || Trunc(sx) >= 40 || Trunc(sy) >= 30;
      if (frame || outside) {
        EXPECT_TRUE(IsWhite(r, x, y)) << x << ", " << y;
        ++white;
        continue;
      }
      for (int k = 0; k < 3; ++k) {
        const int v = Byte(r, x, y, k);
        EXPECT_TRUE(v == 100 || v == 99) << x << ", " << y << ": " << v;
        (v == 100 ? hundred : ninety_nine)++;
      }
    }
  }
  // The frame alone is 136 pixels; the turned-in corners add more, and most
  // of the picture keeps its tone.
  EXPECT_GT(white, 136);
  EXPECT_GT(hundred, ninety_nine);
  EXPECT_TRUE(IsWhite(r, 38, 1));  // the top right corner comes from above the source
}

TEST(Rotate, TurnsClockwiseOnTheScreen) {
  // A red horizontal line through the centre of a black picture: its right
  // end moves down, its left end up, by about 0.1 of the distance. (Blue
  // tells the white corners apart.)
  Picture src = Uniform(101, 101, 0);
  for (int x = 0; x < 101; ++x) src.SetColor(x, 50, 0x0000FF);
  const Picture r = RotatePicture(src);
  auto reddest_row = [&](int x) {
    int best = -1;
    for (int y = 0; y < 101; ++y)
      if (Byte(r, x, y, 0) == 0 && (best < 0 || Byte(r, x, y, 2) > Byte(r, x, best, 2))) best = y;
    return best;
  };
  EXPECT_NEAR(reddest_row(90), 54, 1);
  EXPECT_NEAR(reddest_row(10), 46, 1);
}

TEST(Rotate, TooSmallPicturesComeOutWhite) {
  for (auto [w, h] : {std::pair{1, 1}, {2, 2}, {1, 7}, {7, 2}, {2, 50}}) {
    const Picture r = RotatePicture(Uniform(w, h, 30));
    EXPECT_TRUE(SamePicture(r, Picture(w, h))) << w << " x " << h;
  }
  EXPECT_TRUE(RotatePicture(Picture()).empty());
}

TEST(Rotate, MatchesThePlainLoopAtEveryLevelOnAnyNumberOfThreads) {
  std::mt19937 rng(3);
  // Below and above the threading threshold; odd sizes; a wide and a tall one
  // where the last column and row are reached.
  for (auto size : {std::pair{3, 3}, {11, 11}, {40, 30}, {257, 255}, {600, 130}, {90, 700}}) {
    const int w = size.first, h = size.second;  // clang 14 captures no structured bindings
    const Picture src = RandomPicture(w, h, rng);
    const Picture expected = ReferenceRotate(src);
    test::AtEveryCpuLevel([&](CpuLevel) {
      for (int threads : {1, 2, 3}) {
        ScopedThreadCount count(threads);
        EXPECT_TRUE(SamePicture(RotatePicture(src), expected))
            << w << " x " << h << ", " << threads << " threads";
      }
    });
  }
}

TEST(Rotate, LastColumnStandsInForTheMissingNeighbour) {
  // Find pixels whose source column is W - 1 and check that they are the
  // vertical interpolation of that column alone.
  const int w = 60, h = 200;
  Picture src = Uniform(w, h, 0);
  for (int y = 0; y < h; ++y) src.SetColor(w - 1, y, 0xC8C8C8);  // 200
  const Picture r = RotatePicture(src);
  const RotationGeometry g = RotationFor(w, h);
  int seen = 0;
  for (int y = 1; y <= h - 2; ++y)
    for (int x = 1; x <= w - 2; ++x) {
      const double sx =
          static_cast<double>(static_cast<Extended>(g.c) * x + static_cast<Extended>(g.s) * y - g.x0);
      const double sy =
          static_cast<double>(-static_cast<Extended>(g.s) * x + static_cast<Extended>(g.c) * y - g.y0);
      if (Trunc(sx) != w - 1 || Trunc(sy) < 1 || Trunc(sy) >= h) continue;
      ++seen;
      EXPECT_GE(Byte(r, x, y, 0), 199) << x << ", " << y;
    }
  EXPECT_GT(seen, 0);
}

TEST(Rotate, ProgressRisesOnTheCallingThreadAndStaysBelow100) {
  for (auto [w, h] : {std::pair{40, 30}, {700, 500}}) {
    std::vector<int> values;
    const auto caller = std::this_thread::get_id();
    bool other_thread = false;
    RotatePicture(Uniform(w, h, 9), [&](int p) {
      values.push_back(p);
      other_thread |= std::this_thread::get_id() != caller;
    });
    ASSERT_FALSE(values.empty());
    EXPECT_FALSE(other_thread);
    EXPECT_EQ(values.front(), 0);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_LT(values.back(), 100);
    if (h == 30) {
      EXPECT_EQ(values.size(), 28u);  // one per row, each value new
    }
  }
}

TEST(Rotate, RawValuesInterpolateBetweenTheirSources) {
  // A ramp across multiples of 256: each computed value lies between the
  // smallest and largest of its four sources, which rotating the high and
  // low bytes apart would break.
  const int w = 64, h = 48;
  std::vector<std::uint16_t> raw(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) raw[y * w + x] = static_cast<std::uint16_t>(200 + 37 * x + 11 * y);
  const auto r = RotateRawValues(raw, w, h, 65535);
  const RotationGeometry g = RotationFor(w, h);
  for (int y = 1; y <= h - 2; ++y)
    for (int x = 1; x <= w - 2; ++x) {
      const double sx =
          static_cast<double>(static_cast<Extended>(g.c) * x + static_cast<Extended>(g.s) * y - g.x0);
      const double sy =
          static_cast<double>(-static_cast<Extended>(g.s) * x + static_cast<Extended>(g.c) * y - g.y0);
      const int xs = Trunc(sx), ys = Trunc(sy);
      if (xs < 1 || ys < 1 || xs >= w || ys >= h) {
        EXPECT_EQ(r[y * w + x], 65535);
        continue;
      }
      const int xr = std::min(xs + 1, w - 1);
      const int lo =
          std::min({raw[(ys - 1) * w + xs], raw[(ys - 1) * w + xr], raw[ys * w + xs], raw[ys * w + xr]});
      const int hi =
          std::max({raw[(ys - 1) * w + xs], raw[(ys - 1) * w + xr], raw[ys * w + xs], raw[ys * w + xr]});
      EXPECT_GE(r[y * w + x], lo - 1) << x << ", " << y;
      EXPECT_LE(r[y * w + x], hi) << x << ", " << y;
    }
  for (int x = 0; x < w; ++x) EXPECT_EQ(r[x], 65535);
}

// ----------------------------------------------------------------- tones

TEST(Tones, NegativeWorkedValuesAndTwice) {
  const ToneTable t = NegativeTable();
  EXPECT_EQ(t[0], 255);
  EXPECT_EQ(t[200], 55);
  EXPECT_EQ(t[255], 0);
  std::mt19937 rng(4);
  const Picture p = RandomPicture(300, 250, rng);
  EXPECT_TRUE(SamePicture(NegativePicture(NegativePicture(p)), p));
}

TEST(Tones, GammaOneNeverRaisesAndOftenLowersByOne) {
  const ToneTable t = GammaTable(1.0);
  int lowered = 0;
  for (int c = 0; c < 256; ++c) {
    EXPECT_TRUE(t[c] == c || t[c] == c - 1) << c << " -> " << int(t[c]);
    lowered += t[c] == c - 1;
  }
  EXPECT_GT(lowered, 0);
  EXPECT_EQ(t[0], 0);
}

TEST(Tones, GammaWorkedValues) {
  EXPECT_EQ(GammaTable(0.5)[64], 127);  // sqrt(0.25098...) * 255 = 127.75...
  const ToneTable bright = GammaTable(0.5);
  const ToneTable dark = GammaTable(2.0);
  for (int c = 1; c < 255; ++c) {
    EXPECT_GE(bright[c], c - 1) << c;
    EXPECT_LE(dark[c], c) << c;
  }
  EXPECT_EQ(dark[255], 255);
  EXPECT_EQ(dark[0], 0);
  // Not a gamma the command accepts: the table changes nothing.
  for (double g : {0.0, -1.0, std::nan("")}) EXPECT_EQ(GammaTable(g)[77], 77) << g;
}

TEST(Tones, SabattierFolds) {
  const struct {
    double step;
    int c;
    int out;
  } cases[] = {
      {255, 0, 0},     {255, 100, 100}, {255, 254, 254}, {255, 255, 0},  // c * 256/255 = c + c/255
      {128, 100, 200}, {128, 128, 0},   {128, 200, 144},                 // folded once
      {64, 63, 252},   {64, 64, 0},     {64, 255, 252},  {1000, 255, 65},
      {1e-310, 0, 0},  {1e-310, 7, 7},  // no finite q: the byte stays
  };
  for (const auto& c : cases) EXPECT_EQ(SabattierTable(c.step)[c.c], c.out) << c.step << " " << c.c;
  for (double step : {0.0, -5.0}) EXPECT_EQ(SabattierTable(step)[90], 90);
}

TEST(Tones, TablesMatchThePlainLoops) {
  std::mt19937 rng(5);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {520, 300}}) {
    const Picture p = RandomPicture(w, h, rng);
    EXPECT_TRUE(SamePicture(NegativePicture(p), ReferenceTone(p, [](int c) { return 255 - c; })));
    for (double g : {0.3, 1.0, 2.2})
      EXPECT_TRUE(SamePicture(GammaPicture(p, g), ReferenceTone(p, [g](int c) { return GammaByte(c, g); })))
          << g;
    Picture in_place = p;  // the source may be its own output
    ApplyToneTable(in_place, GammaTable(0.3), in_place);
    EXPECT_TRUE(SamePicture(in_place, GammaPicture(p, 0.3)));
    for (double s : {255.0, 128.0, 37.5, 300.0})
      EXPECT_TRUE(
          SamePicture(SabattierPicture(p, s), ReferenceTone(p, [s](int c) { return SabattierByte(c, s); })))
          << s;
  }
}

TEST(Solarize, UniformToneChangesOnlyTopAndBottom) {
  const Picture r = SolarizePicture(Uniform(6, 5, 100));
  for (int x = 0; x < 6; ++x)
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(Byte(r, x, 0, k), 16);   // 5/6 * 100 - 4/6 * 100
      EXPECT_EQ(Byte(r, x, 4, k), 166);  // 10/6 * 100
      for (int y = 1; y < 4; ++y) EXPECT_EQ(Byte(r, x, y, k), 100);
    }
  // Bright ground: the bottom row clamps at 255.
  EXPECT_EQ(Byte(SolarizePicture(Uniform(1, 3, 200)), 0, 2, 0), 255);
}

TEST(Solarize, BrightRowOnDarkGround) {
  Picture src = Uniform(4, 9, 60);
  for (int x = 0; x < 4; ++x) src.SetColor(x, 4, 0xB4B4B4);  // 180
  const Picture r = SolarizePicture(src);
  const int expected[9] = {10, 60, 60, 0, 160, 160, 60, 60, 100};
  for (int y = 0; y < 9; ++y)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Byte(r, 2, y, k), expected[y]) << "row " << y;
}

TEST(Solarize, EveryNeighbourTripleMatchesTheConvolution) {
  // Row 1 of a 3-row picture sees every (above, self, below) triple once over
  // the 256 pictures; rows 0 and 2 cover the edge cases. The reference goes
  // through Convolve and ClipMatrix.
  const int pixels = 65536 / 3 + 1;
  Picture src(pixels, 3);
  for (int b = 0; b < 256; ++b) {
    for (int i = 0; i < 3 * pixels; ++i) {
      const int pair = i % 65536;
      src.Row(0)[i] = static_cast<std::uint8_t>(pair >> 8);
      src.Row(1)[i] = static_cast<std::uint8_t>(pair & 0xFF);
      src.Row(2)[i] = static_cast<std::uint8_t>(b);
    }
    const Picture expected = ReferenceSolarize(src);
    ASSERT_TRUE(SamePicture(SolarizePicture(src), expected)) << "below = " << b;
    ASSERT_TRUE(SamePicture(SolarizePictureScalar(src), expected)) << "below = " << b;
  }
}

TEST(Solarize, MatchesTheConvolutionOnAnySize) {
  std::mt19937 rng(6);
  for (auto size : {std::pair{1, 1}, {3, 1}, {1, 4}, {2, 2}, {17, 9}, {300, 260}}) {
    const int w = size.first, h = size.second;  // clang 14 captures no structured bindings
    const Picture p = RandomPicture(w, h, rng);
    const Picture expected = ReferenceSolarize(p);
    test::AtEveryCpuLevel([&](CpuLevel) {
      for (int threads : {1, 2, 3}) {
        ScopedThreadCount count(threads);
        EXPECT_TRUE(SamePicture(SolarizePicture(p), expected))
            << w << " x " << h << ", " << threads << " threads";
      }
    });
    EXPECT_TRUE(SamePicture(SolarizePictureScalar(p), expected)) << w << " x " << h;
  }
}

}  // namespace
}  // namespace qirm
