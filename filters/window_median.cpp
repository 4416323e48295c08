// SPDX-License-Identifier: GPL-3.0-or-later
// WindowMedian: the median of a square window around one element.
//
// The value is the (N+1)/2-th largest of the N = (2r+1)^2 window values,
// raised to 0 when it is negative. That is what repeatedly extracting the
// maximum gives when extracted elements are overwritten with 0 and the
// running maximum starts at -1: once a non-negative value has been taken,
// the zeros left behind outrank every negative value. Selection gives the
// same value without the repeated scans: a fixed sequence of minima and
// maxima for 3 x 3, counting up to 7 x 7, nth_element beyond.
#include <algorithm>
#include <array>
#include <cstdint>

#include "filters/primitives.h"

namespace qirm {
namespace {

constexpr int kMaxRadius = 24;  // the working square holds at most 49 x 49 values

// Selections of values, which compile to conditional moves: with image data
// the comparisons are unpredictable, and branches would cost more than the
// arithmetic.
inline std::int32_t Min(std::int32_t a, std::int32_t b) { return b < a ? b : a; }
inline std::int32_t Max(std::int32_t a, std::int32_t b) { return a < b ? b : a; }

inline void Sort3(std::int32_t& a, std::int32_t& b, std::int32_t& c) {
  const auto sort_pair = [](std::int32_t& lo, std::int32_t& hi) {
    const std::int32_t t = Min(lo, hi);
    hi = Max(lo, hi);
    lo = t;
  };
  sort_pair(a, b);
  sort_pair(b, c);
  sort_pair(a, b);
}

inline std::int32_t Median3(std::int32_t a, std::int32_t b, std::int32_t c) {
  return Max(Min(a, b), Min(Max(a, b), c));
}

// Median of a 3 x 3 window: sort each column's three values; the median is
// the median of the largest of the minima, the median of the middles and
// the smallest of the maxima.
std::int32_t MedianOfNine(std::array<std::int32_t, 9>& p) {
  Sort3(p[0], p[1], p[2]);
  Sort3(p[3], p[4], p[5]);
  Sort3(p[6], p[7], p[8]);
  const std::int32_t largest_min = Max(Max(p[0], p[3]), p[6]);
  const std::int32_t middle = Median3(p[1], p[4], p[7]);
  const std::int32_t smallest_max = Min(Min(p[2], p[5]), p[8]);
  return Median3(largest_min, middle, smallest_max);
}

// The median of n values (n odd) as the value with fewer than n/2 + 1
// values below it and more than n/2 at or below it. Quadratic, but the
// counting loops have no branches and vectorise, which beats a selection
// algorithm on the 25 or 49 values of the small windows.
std::int32_t MedianByCounting(const std::int32_t* v, int n) {
  const int half = n / 2;
  for (int i = 0;; ++i) {
    int below = 0, at_most = 0;
    for (int k = 0; k < n; ++k) {
      below += v[k] < v[i];
      at_most += v[k] <= v[i];
    }
    if (below <= half && half < at_most) return v[i];
  }
}

// Any radius: a copy of the window, then counting or selection. Kept apart
// from the 3 x 3 case so that its large working array does not weigh on
// that one.
std::int32_t MedianOfWindow(int r, const IntMatrix& m, int i, int j) {
  std::array<std::int32_t, (2 * kMaxRadius + 1) * (2 * kMaxRadius + 1)> values;
  const int side = 2 * r + 1;
  int n = 0;
  for (int a = -r; a <= r; ++a) {
    const std::int32_t* column = m[i + a] + (j - r);
    for (int b = 0; b < side; ++b) values[n++] = column[b];
  }
  if (r <= 3) return MedianByCounting(values.data(), n);
  std::nth_element(values.begin(), values.begin() + n / 2, values.begin() + n);
  return values[n / 2];
}

}  // namespace

void WindowMedian(int r, int nx, int ny, int i, int j, const IntMatrix& m, int& out) {
  if (r < 0 || r > kMaxRadius) return;
  if (nx > m.count() || ny > m.n()) return;
  // Strictly inside on both sides: i = r is refused although its window fits.
  if (!(r < i && i < nx - r && r < j && j < ny - r)) return;

  std::int32_t median;
  if (r == 1) {
    std::array<std::int32_t, 9> p;
    for (int a = 0; a < 3; ++a) {
      const std::int32_t* column = m[i - 1 + a] + (j - 1);
      p[3 * a] = column[0];
      p[3 * a + 1] = column[1];
      p[3 * a + 2] = column[2];
    }
    median = MedianOfNine(p);
  } else {
    median = MedianOfWindow(r, m, i, j);
  }
  out = median < 0 ? 0 : median;
}

}  // namespace qirm
