// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/blooming.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <random>
#include <vector>

#include "core/fits_reader.h"
#include "core/parallel.h"
#include "filters/primitives.h"
#include "tests/support/compare.h"

namespace qirm {
namespace {

using test::ExpectSameMatrix;

// The steps exactly as they read, over whole flag matrices: the reference
// for the sparse implementation.
void PlainRemoveBlooming(int t, int l, int r, int nx, int ny, IntMatrix& m) {
  constexpr int kStreak = 255;
  IntMatrix f, g, md;
  ASSERT_EQ(AllocIntMatrix(nx, ny, f) + AllocIntMatrix(nx, ny, g) + AllocIntMatrix(nx, ny, md), 0);
  for (int x = 0; x < nx; ++x)
    for (int y = 0; y < ny; ++y)
      if (m[x][y] >= t) f[x][y] = kStreak;
  for (int x = 0; x < nx; ++x) {
    for (int y = 0; y < ny;) {
      int k = 0;
      while (y + k < ny && f[x][y + k] == kStreak) ++k;
      if (k <= l)
        for (int i = 0; i < k; ++i) f[x][y + i] = 0;
      y += k + 1;
    }
  }
  for (int y = 0; y < ny; ++y) {
    bool filled = false;
    for (int x = 0; x < nx; ++x) {
      if (t * 0.25 < m[x][y] && m[x][y] < t * 0.5) f[x][y] = 125;
      if (filled && m[x][y] < t && x < nx - 2) {
        m[x + 1][y] = m[x + 2][y];
        m[x][y] = m[x + 1][y];
      }
      if (m[x][y] >= t && x > 0 && f[x][y] == kStreak) {
        m[x][y] = m[x - 1][y];
        filled = true;
      } else {
        filled = false;
      }
    }
  }
  for (int x = 1; x < nx - 1; ++x)
    for (int y = 1; y < ny - 1; ++y)
      if (f[x][y - 1] == kStreak || f[x][y + 1] == kStreak || f[x - 1][y] == kStreak ||
          f[x + 1][y] == kStreak)
        g[x][y] = kStreak;
  for (int x = 1; x < nx - 1; ++x)
    for (int y = 1; y < ny - 1; ++y)
      if (g[x][y] == kStreak) f[x][y] = kStreak;
  for (int y = 0; y < ny; ++y)
    for (int x = 1; x < nx; ++x)
      if (f[x][y] == kStreak || g[x][y] == kStreak) WindowMedian(r, nx, ny, x, y, m, md[x][y]);
  ClipMatrix(0, 65535, nx, ny, md);
  for (int x = 0; x < nx; ++x)
    for (int y = 0; y < ny; ++y)
      if (md[x][y] > 0) m[x][y] = md[x][y];
}

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

TEST(RemoveBlooming, RunsOfFiveAreStarsRunsOfSixAreStreaks) {
  IntMatrix five = Flat(12, 16, 10);
  FillColumn(five, 5, 5, 9, 255);
  IntMatrix kept = five.Clone();
  RemoveBlooming(222, 5, 1, 12, 16, five);
  ExpectSameMatrix(five, kept);

  IntMatrix six = Flat(12, 16, 10);
  FillColumn(six, 5, 5, 10, 255);
  RemoveBlooming(222, 5, 1, 12, 16, six);
  ExpectSameMatrix(six, Flat(12, 16, 10));
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
  ExpectSameMatrix(m, Flat(12, 12, 40));
}

TEST(RemoveBlooming, StreakInTheFirstColumnKeepsItsValue) {
  // No left neighbour to fill from, no median window at x = 0, and flags in
  // the outermost column are not grown.
  IntMatrix m = Flat(10, 12, 30);
  FillColumn(m, 0, 2, 9, 250);
  IntMatrix before = m.Clone();
  RemoveBlooming(222, 5, 1, 10, 12, m);
  ExpectSameMatrix(m, before);
}

TEST(RemoveBlooming, NothingAtOrAboveTheThresholdChangesNothing) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> value(0, 221);
  IntMatrix m = Flat(40, 30, 0);
  for (int x = 0; x < 40; ++x)
    for (int y = 0; y < 30; ++y) m[x][y] = value(rng);
  IntMatrix before = m.Clone();
  RemoveBlooming(222, 5, 1, 40, 30, m);
  ExpectSameMatrix(m, before);
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
  ExpectSameMatrix(m, expected);
}

TEST(RemoveBlooming, SixteenBitStreakAndMediansClampedTo65535) {
  IntMatrix m = Flat(12, 20, 1200);
  FillColumn(m, 6, 3, 15, 65535);
  RemoveBlooming(63000, 5, 1, 12, 20, m);
  ExpectSameMatrix(m, Flat(12, 20, 1200));

  // Values beyond 16 bits: the medians are clamped before they apply.
  IntMatrix wide = Flat(12, 20, 70000);
  FillColumn(wide, 6, 3, 15, 200000);
  RemoveBlooming(100000, 5, 1, 12, 20, wide);
  IntMatrix expected = Flat(12, 20, 70000);
  for (int y = 3; y <= 15; ++y) expected[5][y] = expected[6][y] = expected[7][y] = 65535;
  expected[6][2] = expected[6][16] = 65535;
  ExpectSameMatrix(wide, expected);
}

// Random frames with streaks, fringes, mid levels and star cores, from
// sparse to dense, against the literal steps.
struct Scene {
  int nx, ny, t, l, r;
  int streaks;     // saturated column runs
  int background;  // upper end of the random background
  int saturated;   // value of the streaks
  double hot;      // chance of a single element >= t anywhere
};

IntMatrix Paint(const Scene& s, std::mt19937& rng) {
  IntMatrix m = Flat(s.nx, s.ny, 0);
  std::uniform_int_distribution<int> bg(-s.background / 20, s.background);
  std::uniform_real_distribution<double> chance(0, 1);
  std::uniform_int_distribution<int> mid(s.t / 4, s.t / 2 + 1);
  for (int x = 0; x < s.nx; ++x)
    for (int y = 0; y < s.ny; ++y) {
      const double c = chance(rng);
      m[x][y] = c < s.hot ? s.saturated : c < 2 * s.hot ? mid(rng) : bg(rng);
    }
  std::uniform_int_distribution<int> px(0, s.nx - 1), py(0, s.ny - 1), len(1, s.ny), width(1, 4);
  for (int k = 0; k < s.streaks; ++k) {
    const int x0 = px(rng), y0 = py(rng), y1 = std::min(s.ny, y0 + len(rng)), w = width(rng);
    for (int x = x0; x < std::min(s.nx, x0 + w); ++x) {
      for (int y = y0; y < y1; ++y) m[x][y] = s.saturated;
      if (x0 + w + 1 < s.nx && chance(rng) < 0.5)
        for (int y = y0; y < y1; ++y) m[x0 + w + 1][y] = mid(rng);
    }
  }
  return m;
}

TEST(RemoveBlooming, SameAsTheLiteralSteps) {
  const Scene scenes[] = {
      {40, 30, 222, 5, 1, 6, 200, 255, 0.01},
      {1, 9, 222, 5, 1, 1, 200, 255, 0.3},
      {2, 9, 222, 1, 1, 2, 200, 255, 0.3},
      {9, 1, 222, 0, 1, 2, 200, 255, 0.3},
      {3, 3, 222, 0, 1, 3, 255, 255, 0.5},
      {67, 50, 222, 2, 0, 12, 230, 250, 0.05},
      {70, 45, 222, 5, 2, 10, 240, 255, 0.1},
      {130, 80, 63000, 5, 1, 20, 65535, 65535, 0.001},
      {64, 64, 222, 5, 3, 40, 255, 255, 0.4},
      {65, 33, 222, -1, 1, 5, 220, 222, 0.2},
      {50, 40, 222, 5, 25, 8, 200, 255, 0.02},
      {50, 40, 100000, 5, 1, 8, 90000, 200000, 0.02},
      {1100, 1000, 60000, 5, 1, 20, 30000, 65535, 0.0001},
  };
  std::mt19937 rng(1234);
  for (const Scene& s : scenes) {
    for (int trial = 0; trial < 3; ++trial) {
      SCOPED_TRACE(testing::Message() << s.nx << " x " << s.ny << " t " << s.t << " l " << s.l << " r " << s.r
                                      << " trial " << trial);
      const IntMatrix source = Paint(s, rng);
      IntMatrix plain = source.Clone();
      PlainRemoveBlooming(s.t, s.l, s.r, s.nx, s.ny, plain);
      // Large matrices have their columns scanned in parts.
      for (int threads : {1, 2, 3, 7}) {
        ScopedThreadCount count(threads);
        IntMatrix fast = source.Clone();
        RemoveBlooming(s.t, s.l, s.r, s.nx, s.ny, fast);
        ExpectSameMatrix(fast, plain);
        if (static_cast<long long>(s.nx) * s.ny < kParallelMinWork) break;
      }
    }
  }
}

TEST(RemoveBlooming, WorksOnTheLeadingBlockOnly) {
  std::mt19937 rng(5);
  IntMatrix m = Paint({30, 30, 222, 5, 1, 8, 200, 255, 0.02}, rng);
  IntMatrix plain = m.Clone();
  RemoveBlooming(222, 5, 1, 20, 25, m);
  PlainRemoveBlooming(222, 5, 1, 20, 25, plain);
  ExpectSameMatrix(m, plain);
  IntMatrix before = m.Clone();
  RemoveBlooming(222, 5, 1, 31, 30, m);  // larger than the matrix: nothing
  ExpectSameMatrix(m, before);
}

TEST(RemoveBlooming, RealFrameSameAsTheLiteralSteps) {
  // M13 through a blue filter: sky about 510, a dense cluster core. With
  // low thresholds the bright stars become long column runs of every size.
  const std::filesystem::path frame =
      std::filesystem::path(QIRM_DATA_DIR) / "registration" / "M13_blue_0001.fits";
  if (!std::filesystem::exists(frame)) GTEST_SKIP() << "no shared data";
  FitsHeader header;
  ASSERT_TRUE(ReadFitsHeader(frame.string(), header).ok());
  IntMatrix m;
  ASSERT_EQ(AllocIntMatrix(header.width, header.height, m), 0);
  ASSERT_TRUE(ReadFitsFile(frame.string(), header, m).ok());
  for (int t : {600, 1500, 4000}) {
    SCOPED_TRACE(t);
    IntMatrix fast = m.Clone(), plain = m.Clone();
    RemoveBlooming(t, 5, 1, header.width, header.height, fast);
    PlainRemoveBlooming(t, 5, 1, header.width, header.height, plain);
    ExpectSameMatrix(fast, plain);
    long long changed = 0;
    for (int x = 0; x < header.width; ++x)
      for (int y = 0; y < header.height; ++y) changed += fast[x][y] != m[x][y];
    EXPECT_GT(changed, 0);
  }
}

}  // namespace
}  // namespace qirm
