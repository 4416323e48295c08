// RemoveBlooming: streaks of saturated values along picture columns are
// filled from their left neighbours and smoothed with a window median.
//
// Steps, each over the whole matrix:
//   1. flag every element >= t;
//   2. along each column, drop runs of l or fewer flags (star cores);
//   3. along each row, fill flagged elements from the left and replace the
//      two elements right of a filled stretch; mid-level values (t/4 .. t/2)
//      lose their flag;
//   4-5. grow the flags by one element (4-neighbours, interior only);
//   6-8. replace every flagged or grown element by the median of its window
//      in the filled matrix (all medians first, clamped to 0..65535; a
//      median of 0 is not applied).
#include "filters/blooming.h"

#include "filters/primitives.h"

namespace qirm {
namespace {

constexpr int kStreak = 255;
constexpr int kMidLevel = 125;

}  // namespace

void RemoveBlooming(int t, int l, int r, int nx, int ny, IntMatrix& m) {
  if (nx <= 0 || ny <= 0 || nx > m.count() || ny > m.n()) return;
  IntMatrix f, g, md;
  if (AllocIntMatrix(nx, ny, f) || AllocIntMatrix(nx, ny, g) || AllocIntMatrix(nx, ny, md)) return;

  // 1. Mark.
  for (int x = 0; x < nx; ++x)
    for (int y = 0; y < ny; ++y)
      if (m[x][y] >= t) f[x][y] = kStreak;

  // 2. Keep only runs longer than l along each column.
  for (int x = 0; x < nx; ++x) {
    for (int y = 0; y < ny;) {
      int k = 0;
      while (y + k < ny && f[x][y + k] == kStreak) ++k;
      if (k <= l)
        for (int i = 0; i < k; ++i) f[x][y + i] = 0;
      y += k + 1;
    }
  }

  // 3. Fill along rows.
  const double quarter = t * 0.25;
  const double half = t * 0.5;
  for (int y = 0; y < ny; ++y) {
    bool filled = false;
    for (int x = 0; x < nx; ++x) {
      if (quarter < m[x][y] && m[x][y] < half) f[x][y] = kMidLevel;
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

  // 4. Grow, 5. merge.
  for (int x = 1; x < nx - 1; ++x)
    for (int y = 1; y < ny - 1; ++y)
      if (f[x][y - 1] == kStreak || f[x][y + 1] == kStreak || f[x - 1][y] == kStreak || f[x + 1][y] == kStreak)
        g[x][y] = kStreak;
  for (int x = 1; x < nx - 1; ++x)
    for (int y = 1; y < ny - 1; ++y)
      if (g[x][y] == kStreak) f[x][y] = kStreak;

  // 6. Medians of the filled matrix, all before any element changes.
  for (int y = 0; y < ny; ++y)
    for (int x = 1; x < nx; ++x)
      if (f[x][y] == kStreak || g[x][y] == kStreak) WindowMedian(r, nx, ny, x, y, m, md[x][y]);

  // 7. Clamp, 8. apply.
  ClipMatrix(0, 65535, nx, ny, md);
  for (int x = 0; x < nx; ++x)
    for (int y = 0; y < ny; ++y)
      if (md[x][y] > 0) m[x][y] = md[x][y];
}

}  // namespace qirm
