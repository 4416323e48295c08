// SPDX-License-Identifier: GPL-3.0-or-later
// Star location, clamping and the registration transforms of the tri-colour
// composition.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/cpu_dispatch.h"
#include "tests/support/compare.h"
#include "tests/support/matrices.h"
#include "tricolour/fast_transforms.h"
#include "tricolour/registration.h"
#include "tricolour/transform_rule.h"

namespace qirm {
namespace {

using test::Filled;
using test::SameMatrix;

// A Gaussian star of the given peak above a sky, centred at (sx, sy).
void AddStar(IntMatrix& m, int w, int h, double sx, double sy, double peak, double sigma) {
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      const double d2 = (x - sx) * (x - sx) + (y - sy) * (y - sy);
      m[x][y] += static_cast<int>(peak * std::exp(-d2 / (2 * sigma * sigma)));
    }
}

TEST(LocateStar, FirstMaximumInColumnThenRowOrderAndTheCentroidOfItsWindow) {
  IntMatrix m = Filled(30, 20, 0);
  m[12][9] = 500;
  m[14][7] = 500;   // same value, later column: loses
  m[12][11] = 500;  // same column, later row: loses
  const StarLocation s = LocateStar(30, 20, 13, 9, 3, m);
  EXPECT_TRUE(s.found);
  EXPECT_EQ(s.px, 12);
  EXPECT_EQ(s.py, 9);
  // Window 9..15 x 6..12 holds all three: centroid of equal weights.
  EXPECT_DOUBLE_EQ(s.cx, (12 + 14 + 12) / 3.0);
  EXPECT_DOUBLE_EQ(s.cy, (9 + 7 + 11) / 3.0);
}

TEST(LocateStar, NothingAboveZeroGivesTheBoxCentreAndNoReadOutsideTheFrame) {
  IntMatrix m = Filled(8, 8, -5);
  const StarLocation none = LocateStar(8, 8, 4, 4, 2, m);
  EXPECT_FALSE(none.found);
  EXPECT_EQ(none.px, 4);
  EXPECT_EQ(none.py, 4);
  // A peak in the corner with a box and window that would leave the frame.
  m[0][0] = 100;
  const StarLocation corner = LocateStar(8, 8, 1, 1, 5, m);
  EXPECT_TRUE(corner.found);
  EXPECT_EQ(corner.px, 0);
  EXPECT_EQ(corner.py, 0);
  EXPECT_TRUE(std::isfinite(corner.cx));
}

TEST(ClampPositions, LowerBoundsThenUpperBoundsAndTheSkyBoxInside) {
  CompositionSettings s;
  s.Delta1 = s.Delta2 = 10;
  s.BackgroundLevel = 10;
  ClampedPositions p = ClampPositions(s, 100, 80);
  EXPECT_EQ(p.star1x, 10);
  EXPECT_EQ(p.star1y, 10);
  EXPECT_EQ(p.background_x, 10);  // (0, 0) is used as (10, 10)
  EXPECT_EQ(p.background_y, 10);
  s.Star1X = s.Star2X = s.BackgroundX = 5000;
  s.Star1Y = s.Star2Y = s.BackgroundY = 5000;
  p = ClampPositions(s, 100, 80);
  EXPECT_EQ(p.star1x, 89);
  EXPECT_EQ(p.star1y, 69);
  EXPECT_EQ(p.star2x, 89);
  EXPECT_EQ(p.background_x, 89);
  // A level below 5 would let the 11 x 11 box leave the frame.
  s.BackgroundLevel = 2;
  s.BackgroundX = s.BackgroundY = 0;
  p = ClampPositions(s, 100, 80);
  EXPECT_EQ(p.background_x, 5);
  EXPECT_EQ(p.background_y, 5);
  // Absurd edits cannot overflow.
  s.Delta1 = 2000000000;
  s.Star1X = -2000000000;
  p = ClampPositions(s, 100, 80);
  EXPECT_LE(p.star1x, 1 << 30);
}

TEST(ScaleAboutCentre, ByOneKeepsEveryPixelButTheLastColumnAndRow) {
  std::mt19937 rng(7);
  const int w = 23, h = 17;
  IntMatrix m = Filled(w, h, 0), scratch;
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) m[x][y] = static_cast<int>(rng() % 60000);
  IntMatrix fast = m.Clone(), plain = m.Clone();
  ASSERT_TRUE(ScaleAboutCentre(1.0, w, h, fast, scratch));
  ASSERT_TRUE(ScaleAboutCentrePlain(1.0, w, h, plain));
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      const int expected = (x == w - 1 || y == h - 1) ? 0 : m[x][y];
      ASSERT_EQ(fast[x][y], expected) << x << "," << y;
      ASSERT_EQ(plain[x][y], expected) << x << "," << y;
    }
}

void FastEqualsPlain(int w, int h);

// The fast transforms gather and use doubles with an extended fallback; the
// plain loops spread in extended precision. Every byte must agree, also with
// negative values, zeros, values beyond 65535 and large factors and angles,
// at every level the machine has (the AVX2 column kernels and their plain
// loops, the near-identity vector and scalar loops).
TEST(Transforms, FastEqualsPlainForScalesAndAnglesAtEveryLevel) {
  for (CpuLevel level : SupportedCpuLevels()) {
    const ScopedCpuLevel cap(level);
    for (const auto& [w, h] : {std::pair{61, 47}, std::pair{64, 48}, std::pair{256, 130}}) {
      SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + " " + CpuLevelName(level));
      FastEqualsPlain(w, h);
    }
  }
}

void FastEqualsPlain(int w, int h) {
  std::mt19937 rng(11);
  IntMatrix m = Filled(w, h, 0), scratch;
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) m[x][y] = static_cast<int>(rng() % 70000) - 3000;
  for (int x = 0; x < 5; ++x) m[x][x] = 0;
  for (double k : {1.0, 1.0003, 0.9997, 0.93, 1.12, 2.5, 0.4}) {
    IntMatrix fast = m.Clone(), plain = m.Clone();
    ASSERT_TRUE(ScaleAboutCentre(k, w, h, fast, scratch));
    ASSERT_TRUE(ScaleAboutCentrePlain(k, w, h, plain));
    EXPECT_TRUE(SameMatrix(fast, plain, w, h)) << "scale " << k;
  }
  for (double theta : {1e-5, -0.0021, 0.02, -0.5235987755982988, 1.2, 3.0, 0.0003, -7e-4}) {
    IntMatrix fast = m.Clone(), plain = m.Clone();
    ASSERT_TRUE(RotateAboutCentre(theta, w, h, fast, scratch));
    ASSERT_TRUE(RotateAboutCentrePlain(theta, w, h, plain));
    EXPECT_TRUE(SameMatrix(fast, plain, w, h)) << "rotate " << theta;
  }
  EXPECT_FALSE(ScaleAboutCentre(std::nan(""), w, h, m, scratch));
  EXPECT_FALSE(RotateAboutCentre(INFINITY, w, h, m, scratch));
}

struct TwoStarFrame {
  IntMatrix m;
  int w = 121, h = 101;
  ClampedPositions p;
  TwoStarFrame(double turn_degrees, double scale) {
    m = Filled(w, h, 300);
    const double t = turn_degrees * M_PI / 180, cx = w * 0.5, cy = h * 0.5;
    const double stars[2][2] = {{40, 35}, {85, 70}};
    for (const auto& s : stars) {
      const double dx = (s[0] - cx) * scale, dy = (s[1] - cy) * scale;
      // Content turned by t (the inverse of the correction the frame gets).
      AddStar(m, w, h, cx + std::cos(t) * dx - std::sin(t) * dy, cy + std::sin(t) * dx + std::cos(t) * dy,
              20000, 1.8);
    }
    CompositionSettings s;
    s.Star1X = 40;
    s.Star1Y = 35;
    s.Star2X = 85;
    s.Star2Y = 70;
    s.Delta1 = s.Delta2 = 15;
    p = ClampPositions(s, w, h);
  }
};

TEST(RegisterFrame, IdenticalToTheReferenceNeedsNoTransformAndNoShift) {
  TwoStarFrame ref(0, 1);
  ReferenceGeometry g;
  ASSERT_TRUE(MeasureReferenceGeometry(ref.m, ref.w, ref.h, ref.p, "ref", g));
  IntMatrix scratch;
  Registration r;
  ASSERT_TRUE(
      RegisterFrame(ref.m, ref.w, ref.h, StarRegistration::kTwoStars, ref.p, g, "frame", false, scratch, r));
  EXPECT_EQ(r.scale, 1.0);
  EXPECT_EQ(r.theta, 0.0);
  EXPECT_EQ(r.dX, 0);
  EXPECT_EQ(r.dY, 0);
  EXPECT_EQ(r.ox, 0);
  EXPECT_EQ(r.oy, 0);
}

TEST(RegisterFrame, AFrameTurnedBy30DegreesIsTurnedBack) {
  TwoStarFrame ref(0, 1), turned(30, 1.02);
  ReferenceGeometry g;
  ASSERT_TRUE(MeasureReferenceGeometry(ref.m, ref.w, ref.h, ref.p, "ref", g));
  IntMatrix scratch, plain = turned.m.Clone();
  Registration r, rp;
  ASSERT_TRUE(RegisterFrame(turned.m, turned.w, turned.h, StarRegistration::kTwoStars, turned.p, g, "frame",
                            false, scratch, r));
  ASSERT_TRUE(RegisterFrame(plain, turned.w, turned.h, StarRegistration::kTwoStars, turned.p, g, "frame",
                            true, scratch, rp));
  // The slope angle grew by 30 degrees; the rotation by that angle maps the
  // content back (x' = cos t (x - c) + sin t (y - c) turns it by -t).
  EXPECT_NEAR(r.theta, 30 * M_PI / 180, 0.02);
  EXPECT_NEAR(r.scale, 1 / 1.02, 0.01);
  EXPECT_EQ(r.ox, rp.ox);
  EXPECT_EQ(r.oy, rp.oy);
  EXPECT_TRUE(SameMatrix(turned.m, plain, turned.w, turned.h));
  // After the turn and the shift both stars sit where the reference has them.
  for (const auto& star : {std::pair{40, 35}, std::pair{85, 70}}) {
    const StarLocation s = LocateStar(turned.w, turned.h, star.first + r.ox, star.second + r.oy, 3, turned.m);
    EXPECT_NEAR(s.cx - r.ox, star.first, 1.5);
    EXPECT_NEAR(s.cy - r.oy, star.second, 1.5);
  }
}

TEST(RegisterFrame, OneStarModeShiftsThePeakOntoStarOne) {
  IntMatrix m = Filled(50, 40, 100), scratch;
  m[27][18] = 900;
  CompositionSettings s;
  s.Star1X = 25;
  s.Star1Y = 20;
  s.Delta1 = 5;
  Registration r;
  ASSERT_TRUE(RegisterFrame(m, 50, 40, StarRegistration::kShiftOnStar1, ClampPositions(s, 50, 40), {}, "f",
                            false, scratch, r));
  EXPECT_EQ(r.ox, 2);
  EXPECT_EQ(r.oy, -2);
}

TEST(ReferenceGeometry, StarsWithTheSameCentroidXAreRefused) {
  IntMatrix m = Filled(60, 60, 10);
  m[30][15] = 5000;
  m[30][45] = 5000;
  CompositionSettings s;
  s.Star1X = 30;
  s.Star1Y = 15;
  s.Star2X = 30;
  s.Star2Y = 45;
  s.Delta1 = s.Delta2 = 4;
  ReferenceGeometry g;
  const Status st = MeasureReferenceGeometry(m, 60, 60, ClampPositions(s, 60, 60), "green1.fits", g);
  ASSERT_FALSE(st);
  EXPECT_NE(st.message().find("green1.fits"), std::string::npos);
  EXPECT_NE(st.message().find("same centroid x"), std::string::npos);
  // A box with nothing above 0 is refused too, naming the star.
  IntMatrix dark = Filled(60, 60, 0);
  const Status none = MeasureReferenceGeometry(dark, 60, 60, ClampPositions(s, 60, 60), "g.fits", g);
  ASSERT_FALSE(none);
  EXPECT_NE(none.message().find("star 1"), std::string::npos);
}

}  // namespace
}  // namespace qirm
