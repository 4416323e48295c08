// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/coma_correction.h"

#include <gtest/gtest.h>

#include <random>

#include "core/parallel.h"
#include "tests/support/pictures.h"

namespace qirm {
namespace {

using test::At;
using test::Grey;

Picture RandomPicture(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> value(0, 255);
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < p.stride(); ++i) p.Row(y)[i] = static_cast<std::uint8_t>(value(rng));
  return p;
}

TEST(ComaCorrection, AmountZeroIsTheIdentity) {
  const Picture p = RandomPicture(120, 90, 1);
  EXPECT_TRUE(ComaCorrect(p, {60, 45, 0.0}) == p);
  EXPECT_TRUE(ComaCorrect(p, {-500, 4000, 0.0}) == p);
}

TEST(ComaCorrection, SameBytesHoweverTheRowsAreCut) {
  // Large enough to be cut into bands; the axis off the picture on one side.
  const Picture p = RandomPicture(300, 260, 5);
  for (const ComaParams params : {ComaParams{150, 130, 6.0}, ComaParams{-40, 30, -11.0}}) {
    Picture one_thread;
    {
      ScopedThreadCount one(1);
      one_thread = ComaCorrect(p, params);
    }
    for (int threads : {2, 3, 7}) {
      ScopedThreadCount count(threads);
      EXPECT_TRUE(ComaCorrect(p, params) == one_thread)
          << params.x << ", " << params.y << ", " << params.amount << ": " << threads << " threads";
    }
  }
}

TEST(ComaCorrection, TheAxisPixelAndFlatAreasDoNotChange) {
  const Picture p = RandomPicture(101, 81, 2);
  for (double amount : {0.5, 3.0, -7.0, 40.0}) {
    const Picture r = ComaCorrect(p, {37, 52, amount});
    for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(At(r, 37, 52, ch), At(p, 37, 52, ch)) << amount;
  }
  Picture flat(64, 48);
  for (int y = 0; y < 48; ++y) std::fill(flat.Row(y), flat.Row(y) + flat.stride(), std::uint8_t{77});
  EXPECT_TRUE(ComaCorrect(flat, {10, 5, 12.5}) == flat);
}

TEST(ComaCorrection, SymmetricAboutTheAxis) {
  // A picture symmetric under the half turn about the axis, and one
  // symmetric about the vertical line through it, stay so exactly.
  const int w = 121, h = 91, ax = 60, ay = 45;
  const Picture base = RandomPicture(w, h, 3);
  Picture turn(w, h), mirror(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int ch = 0; ch < 3; ++ch) {
        turn.Row(y)[3 * x + ch] =
            static_cast<std::uint8_t>((At(base, x, y, ch) + At(base, w - 1 - x, h - 1 - y, ch)) / 2);
        mirror.Row(y)[3 * x + ch] =
            static_cast<std::uint8_t>((At(base, x, y, ch) + At(base, w - 1 - x, y, ch)) / 2);
      }
  for (double amount : {1.0, 4.5, -9.0, 60.0}) {
    const Picture t = ComaCorrect(turn, {ax, ay, amount});
    const Picture m = ComaCorrect(mirror, {ax, ay, amount});
    EXPECT_FALSE(t == turn) << amount;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int ch = 0; ch < 3; ++ch) {
          ASSERT_EQ(At(t, x, y, ch), At(t, w - 1 - x, h - 1 - y, ch)) << amount << " at " << x << "," << y;
          ASSERT_EQ(At(m, x, y, ch), At(m, w - 1 - x, y, ch)) << amount << " at " << x << "," << y;
        }
  }
}

TEST(ComaCorrection, MovesTheTailsLightBackIntoTheHead) {
  // A star 80 pixels right of the axis whose tail fades over 4 pixels
  // outward: amount 5 describes that tail (5 * 80 / 100).
  Picture p(201, 41);
  for (int y = 0; y < 41; ++y) std::fill(p.Row(y), p.Row(y) + p.stride(), std::uint8_t{10});
  const int star[] = {150, 90, 60, 35, 20};
  for (int i = 0; i < 5; ++i) Grey(p, 180 + i, 20, star[i]);
  const auto tail_sum = [](const Picture& r) {
    int sum = 0;
    for (int x = 181; x <= 184; ++x) sum += At(r, x, 20);
    return sum;
  };
  const Picture r = ComaCorrect(p, {100, 20, 5.0});
  EXPECT_GT(At(r, 180, 20), 150);
  EXPECT_LT(tail_sum(r), tail_sum(p));
  EXPECT_LT(At(r, 184, 20), 20);
  EXPECT_EQ(At(r, 176, 20), 10);  // towards the axis from the head: only sky there
  EXPECT_EQ(At(r, 180, 10), 10);  // away from the star

  // A negative amount treats tails that point towards the axis: the same
  // star with the axis far to its right.
  const Picture inward = ComaCorrect(p, {260, 20, -5.0});
  EXPECT_GT(At(inward, 180, 20), 150);
  EXPECT_LT(tail_sum(inward), tail_sum(p));
  EXPECT_LT(At(inward, 184, 20), 20);
  // With the tail on the wrong side for the model, the star is not helped.
  EXPECT_GE(tail_sum(ComaCorrect(p, {260, 20, 5.0})), tail_sum(p));
}

TEST(ComaCorrection, RefusesWrongTargets) {
  Picture p = RandomPicture(10, 10, 4), small(9, 10);
  EXPECT_FALSE(ComaCorrectInto(p, {5, 5, 1.0}, small));
  EXPECT_FALSE(ComaCorrectInto(p, {5, 5, 1.0}, p));
}

}  // namespace
}  // namespace qirm
