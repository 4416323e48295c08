// SPDX-License-Identifier: GPL-3.0-or-later
// Column kernels of the general transforms with AVX2 paths, taken when
// ActiveCpuLevel() allows AVX2 with FMA. Each gives exactly the result of
// its plain rule (see transform_rule.h); the tests compare them at every
// level on random data.
#pragma once

#include <cstdint>

#include "core/numbers.h"
#include "tricolour/tri_numbers.h"

namespace qirm::simd {

// The targets of one source column of a rotation: the coordinates
//   x' = (double)((P + s dy[y]) + cx),  y' = (double)((M + c dy[y]) + cy)
// as the extended rule forms them, where P = c dx and M = -s dx are exact
// extended products given as pairs (hi + lo) and every c dy, s dy is exact
// in the extended format (|dy| below 2^11: 53 + 11 bits); then the corner
// (ix = -1 where x' or y' leaves -1 .. w - 1, -1 .. h - 1) and fractions.
// The exact sums are formed as double pairs; where the extended roundings
// (below 2^-51 here) could move a sum across a midpoint of doubles, or at
// powers of two, exact[y] is set and the caller fills that row in extended
// precision. Returns the count of those; -1 below the AVX2 level (nothing
// is written).
int RotateTargets(int w, int h, double p_hi, double p_lo, double m_hi, double m_lo, double c, double s,
                  double cx, double cy, const double* dy, std::int32_t* ix, std::int32_t* iy, double* fx,
                  double* fy, std::uint8_t* exact);

// One contribution of the transforms, t = trunc(t + (ax by) v), in doubles
// where that is provably the same: the double sum t + (a b) v lies within
// 6e-10 of the extended one for |t|, |v| and the sum below 2^20, so unless
// it lies within 2^-28 of an integer both truncate alike. Otherwise (and for
// out-of-range sums) the extended rule decides. A value of 0 or a weight of
// 0 adds exactly 0 either way. wd is the double product of the weights.
inline void AddFast(std::int32_t& t, double wd, Extended ax, Extended by, std::int32_t v) {
  if (v == 0 || wd == 0) return;
  const double s = t + wd * v;
  constexpr double kNear = 1.0 / (1 << 28);
  if (s > -1048576.0 && s < 1048576.0) {
    const int i = static_cast<int>(s);
    const double f = s - i;  // exact
    if ((f > kNear && f < 1 - kNear) || (f < -kNear && f > -1 + kNear)) {
      t = i;
      return;
    }
  }
  t = TruncSaturated(static_cast<Extended>(t) + ax * by * v);
}

// Target rows y_begin .. y_end - 1 of one target column from one source
// column of a scaling, where row Y takes source row Y + a with the weight
// f, then source row Y + a + 1 with the weight 1 - f (the regular case of a
// factor near 1): t[Y] = add(add(t[Y], ax f[Y+a], src[Y+a]), ax g[Y+a+1],
// src[Y+a+1]) with AddFast. Four rows at a time on AVX2.
void ScaleRun(std::int32_t* t, const std::int32_t* src, int y_begin, int y_end, int a, double axd,
              Extended axe, const double* fyd, const double* gyd, const Extended* fye, const Extended* gye);

// The same with a weight per source row instead of one per column (the
// rotation, whose fractions change along a column): row Y takes source row
// Y + a with the weight wx[Y+a] fy[Y+a], then Y + a + 1 with
// wx[Y+a+1] (1 - fy[Y+a+1]), where wx is 1 - fx (x_side 0) or fx (x_side 1).
// The extended weights of the exact rule are formed from the doubles.
void WeightedRun(std::int32_t* t, const std::int32_t* src, int y_begin, int y_end, int a, const double* fxd,
                 int x_side, const double* fyd);

}  // namespace qirm::simd
