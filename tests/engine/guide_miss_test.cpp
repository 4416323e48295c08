// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/guide_miss.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

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
  std::uniform_int_distribution<int> value(0, 255), extreme(0, 7);
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < p.stride(); ++i) {
      const int e = extreme(rng);
      p.Row(y)[i] = static_cast<std::uint8_t>(e == 0 ? 0 : e == 1 ? 255 : value(rng));
    }
  return p;
}

const GmcSettings kDefaults;  // direction 0, flow 1, threshold 0
constexpr double kDefaultBlur = 0.2;

TEST(GuideMissCanceller, StreakKernelAtDirectionZero) {
  RealMatrix k;
  ASSERT_TRUE(StreakKernel(2, 0, k));
  ASSERT_EQ(k.count(), 7);
  double sum = 0;
  for (int a = 0; a < 7; ++a)
    for (int b = 0; b < 7; ++b) sum += k[a][b];
  EXPECT_EQ(sum, 1.0);
  EXPECT_EQ(k[0][4], -1.0);
  EXPECT_EQ(k[6][4], -1.0);
  EXPECT_EQ(k[4][4], 3.0);
  EXPECT_FALSE(StreakKernel(-1, 0, k));
}

TEST(GuideMissCanceller, FlatPictureKeepsItsLevelExceptTheOuterColumns) {
  Picture p = Flat(12, 6, 100);
  ASSERT_TRUE(GuideMissCancel(p, kDefaults, kDefaultBlur));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 12; ++x) EXPECT_EQ(At(p, x, y), (x < 2 || x > 9) ? 200 : 100) << x << "," << y;
}

TEST(GuideMissCanceller, SinglePixelIsBoostedAgainstTheTrail) {
  Picture p = Flat(15, 9, 20);
  Grey(p, 7, 4, 50);
  ASSERT_TRUE(GuideMissCancel(p, kDefaults, kDefaultBlur));
  EXPECT_EQ(At(p, 7, 4), 110);  // 3 * 50 - 20 - 20
  EXPECT_EQ(At(p, 5, 4), 0);    // 3 * 20 - 20 - 50 = -10
  EXPECT_EQ(At(p, 9, 4), 0);
  for (int x : {2, 3, 4, 6, 8, 10, 11, 12}) EXPECT_EQ(At(p, x, 4), 20) << x;
  EXPECT_EQ(At(p, 7, 3), 20);

  // Direction 90 lays the taps along the column (up to interpolation
  // weights within 1e-7 of 0 and 1).
  Picture q = Flat(9, 15, 20);
  Grey(q, 4, 7, 50);
  ASSERT_TRUE(GuideMissCancel(q, {90, 1, 0}, kDefaultBlur));
  EXPECT_NEAR(At(q, 4, 7), 110, 1);
  EXPECT_EQ(At(q, 4, 5), 0);
  EXPECT_EQ(At(q, 4, 9), 0);
  EXPECT_NEAR(At(q, 6, 7), 20, 1);
}

TEST(GuideMissCanceller, BlurStepSmoothsBelowTheThresholdAroundTheNextPixel) {
  // Threshold 256: every value is replaced by the Gaussian sum, whose
  // centre weighs the pixel one step right and down.
  Picture p = Flat(21, 21, 0);
  Grey(p, 10, 10, 80);
  ASSERT_TRUE(GuideMissCancel(p, {0, 1, 256}, 1.0));
  // After the streak step the bright pixel is 240; the Gaussian then
  // spreads it around (9, 9).
  int brightest = 0;
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 21; ++x) brightest = std::max(brightest, At(p, x, y));
  EXPECT_EQ(At(p, 9, 9), brightest);
  EXPECT_GT(At(p, 9, 9), At(p, 10, 10));
  EXPECT_EQ(At(p, 8, 9), At(p, 10, 9));
  EXPECT_EQ(At(p, 9, 8), At(p, 9, 10));

  // At threshold 0 the step changes nothing.
  Picture a = Flat(21, 21, 0), b = Flat(21, 21, 0);
  Grey(a, 10, 10, 80);
  Grey(b, 10, 10, 80);
  ASSERT_TRUE(GuideMissCancel(a, {0, 1, 0}, 5.0));
  ASSERT_TRUE(GuideMissCancel(b, {0, 1, 0}, 0.2));
  ExpectSamePicture(a, b);
}

TEST(GuideMissCanceller, StreamedRowsEqualTheLiteralSteps) {
  std::mt19937 rng(9);
  struct Case {
    int w, h, direction, flow;
    double blur;
    int threshold;
  };
  const Case cases[] = {
      {1, 1, 0, 1, 0.2, 0},        {3, 2, 0, 1, 1.0, 256},       {40, 30, 0, 1, 0.2, 0},
      {40, 30, 30, 1, 0.2, 0},     {40, 30, 90, 1, 1.0, 100},    {41, 33, 45, 2, 2.0, 256},
      {37, 60, -60, 0, 0.5, 50},   {50, 64, 400, 5, 3.0, 180},   {300, 240, 0, 1, 0.2, 0},
      {300, 240, 30, 1, 1.5, 120}, {257, 300, 135, 3, 0.7, 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << " direction " << c.direction << " flow "
                                    << c.flow << " blur " << c.blur << " threshold " << c.threshold);
    const Picture source = RandomPicture(c.w, c.h, rng);
    Picture plain = source;
    const GmcSettings s{c.direction, c.flow, c.threshold};
    ASSERT_TRUE(GuideMissCancelPlain(plain, s, c.blur));
    for (int threads : {1, 2, 3, 7}) {
      SCOPED_TRACE(testing::Message() << threads << " threads");
      ScopedThreadCount count(threads);
      test::AtEveryCpuLevel([&](CpuLevel) {
        Picture fast = source;
        ASSERT_TRUE(GuideMissCancel(fast, s, c.blur));
        ExpectSamePicture(fast, plain);
      });
    }
  }
}

TEST(GuideMissCanceller, RefusesFlowsAndBlursOutOfRange) {
  std::mt19937 rng(1);
  const Picture source = RandomPicture(10, 10, rng);
  Picture p = source;
  EXPECT_FALSE(GuideMissCancel(p, {0, -1, 0}, 0.2));
  EXPECT_FALSE(GuideMissCancel(p, {0, kMaxGmcFlow + 1, 0}, 0.2));
  EXPECT_FALSE(GuideMissCancel(p, {0, 1, 0}, 0.0));
  EXPECT_FALSE(GuideMissCancel(p, {0, 1, 0}, NAN));
  ExpectSamePicture(p, source);
}

}  // namespace
}  // namespace qirm
