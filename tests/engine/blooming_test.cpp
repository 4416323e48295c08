#include "filters/blooming.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <vector>

namespace qirm {
namespace {

IntMatrix Flat(int nx, int ny, int value) {
  IntMatrix m;
  EXPECT_EQ(AllocIntMatrix(nx, ny, m), 0);
  for (int x = 0; x < nx; ++x)
    for (int y = 0; y < ny; ++y) m[x][y] = value;
  return m;
}

void SetColumn(IntMatrix& m, int x, int y0, std::initializer_list<int> values) {
  int y = y0;
  for (int v : values) m[x][y++] = v;
}

void FillColumn(IntMatrix& m, int x, int y0, int y1, int value) {
  for (int y = y0; y <= y1; ++y) m[x][y] = value;
}

// Compares whole matrices and names the first difference.
void ExpectSame(const IntMatrix& actual, const IntMatrix& expected) {
  ASSERT_EQ(actual.count(), expected.count());
  ASSERT_EQ(actual.n(), expected.n());
  for (int y = 0; y < actual.n(); ++y)
    for (int x = 0; x < actual.count(); ++x)
      if (actual[x][y] != expected[x][y]) {
        ADD_FAILURE() << "first difference at [" << x << "][" << y << "]: " << actual[x][y] << ", expected "
                      << expected[x][y];
        return;
      }
}

TEST(RemoveBlooming, RunsOfFiveAreStarsRunsOfSixAreStreaks) {
  IntMatrix five = Flat(12, 16, 10);
  FillColumn(five, 5, 5, 9, 255);
  IntMatrix kept = five.Clone();
  RemoveBlooming(222, 5, 1, 12, 16, five);
  ExpectSame(five, kept);

  IntMatrix six = Flat(12, 16, 10);
  FillColumn(six, 5, 5, 10, 255);
  RemoveBlooming(222, 5, 1, 12, 16, six);
  ExpectSame(six, Flat(12, 16, 10));
}

TEST(RemoveBlooming, OneWideStreakAndItsRightFringeBecomeTheBackground) {
  // A streak of 6 with a bright fringe of two elements on its right: the
  // fill copies the left neighbour into the streak and the value three to
  // the right of it into the fringe; the median leaves the background.
  IntMatrix m = Flat(12, 12, 40);
  FillColumn(m, 4, 3, 8, 250);
  FillColumn(m, 5, 3, 8, 150);
  FillColumn(m, 6, 3, 8, 120);
  RemoveBlooming(222, 5, 1, 12, 12, m);
  ExpectSame(m, Flat(12, 12, 40));
}

TEST(RemoveBlooming, StreakInTheFirstColumnKeepsItsValue) {
  // No left neighbour to fill from, no median window at x = 0, and flags in
  // the outermost column are not grown.
  IntMatrix m = Flat(10, 12, 30);
  FillColumn(m, 0, 2, 9, 250);
  IntMatrix before = m.Clone();
  RemoveBlooming(222, 5, 1, 10, 12, m);
  ExpectSame(m, before);
}

TEST(RemoveBlooming, NothingAtOrAboveTheThresholdChangesNothing) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> value(0, 221);
  IntMatrix m = Flat(40, 30, 0);
  for (int x = 0; x < 40; ++x)
    for (int y = 0; y < 30; ++y) m[x][y] = value(rng);
  IntMatrix before = m.Clone();
  RemoveBlooming(222, 5, 1, 40, 30, m);
  ExpectSame(m, before);
}

TEST(RemoveBlooming, AStreakOverwrittenWithAMidLevelLosesItsFlag) {
  // Streaks in columns 3 and 5. Filling column 3 replaces columns 4 and 5
  // by column 6, a mid level (t/4 < v < t/2): column 5 is no streak any
  // more, so it is neither filled nor smoothed and keeps the alternating
  // values; column 4 is grown from column 3 and smoothed.
  IntMatrix m = Flat(12, 12, 20);
  FillColumn(m, 3, 2, 8, 250);
  FillColumn(m, 5, 2, 8, 250);
  SetColumn(m, 6, 2, {60, 100, 60, 100, 60, 100, 60});
  RemoveBlooming(222, 5, 1, 12, 12, m);

  IntMatrix expected = Flat(12, 12, 20);
  SetColumn(expected, 4, 2, {20, 60, 60, 60, 60, 60, 20});
  SetColumn(expected, 5, 2, {60, 100, 60, 100, 60, 100, 60});
  SetColumn(expected, 6, 2, {60, 100, 60, 100, 60, 100, 60});
  ExpectSame(m, expected);
}

TEST(RemoveBlooming, SixteenBitStreakAndMediansClampedTo65535) {
  IntMatrix m = Flat(12, 20, 1200);
  FillColumn(m, 6, 3, 15, 65535);
  RemoveBlooming(63000, 5, 1, 12, 20, m);
  ExpectSame(m, Flat(12, 20, 1200));

  // Values beyond 16 bits: the medians are clamped before they apply.
  IntMatrix wide = Flat(12, 20, 70000);
  FillColumn(wide, 6, 3, 15, 200000);
  RemoveBlooming(100000, 5, 1, 12, 20, wide);
  IntMatrix expected = Flat(12, 20, 70000);
  for (int y = 3; y <= 15; ++y) expected[5][y] = expected[6][y] = expected[7][y] = 65535;
  expected[6][2] = expected[6][16] = 65535;
  ExpectSame(wide, expected);
}

}  // namespace
}  // namespace qirm
