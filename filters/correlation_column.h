// SPDX-License-Identifier: GPL-3.0-or-later
// One output column of a correlation (Convolve, ConvolveBelow): the sums of
// the taps that land in the column, turned into pixel values. Internal to
// filters/convolve.cpp; split out because the fast path needs its own
// proof of exactness.
#pragma once

#include <cstdint>
#include <vector>

#include "core/numbers.h"

namespace qirm {

// A non-zero weight of the kernel as it applies to one output column:
// element y of the column takes w * src[y] for rows y0 <= y < y1 (src already
// points at the source column shifted by the tap's row displacement).
struct ColumnTap {
  const std::int32_t* src;
  double w;
  int y0;
  int y1;
};

// What is known of the values the taps read, which decides whether the
// fused path may be used.
enum class SourceRange {
  kWide,         // some |value| > 2047: extended-precision sums only
  kSmall,        // every |value| <= 2047
  kSmallNonNeg,  // every value in 0..2047
};

// One step of a sum: the product and the addition run in extended precision,
// the partial sum is stored as a double (the accumulator holds doubles).
// Keeping the running sum in extended precision instead changes results:
// nine taps of 1/9 on 90 would give 89.99999999999999500 and truncate to 89.
inline double Accumulate(double sum, double w, std::int32_t v) {
  return static_cast<double>(static_cast<Extended>(sum) + static_cast<Extended>(w) * v);
}

// Truncation toward zero with negatives (and NaN) to 0 and saturation at the
// top of the int range, where a plain conversion would be undefined.
inline std::int32_t ToPixel(double sum) {
  if (!(sum > 0)) return 0;
  if (sum >= 2147483648.0) return 2147483647;
  return static_cast<std::int32_t>(sum);
}

// Whether the fused path may be taken at all: CpuLevel::kAvx2 is active.
// Ask once at the entry of a kernel.
bool HaveFusedSums();

// out[y] = ToPixel(sum over taps, in order, of w * src[y]) for 0 <= y < ny,
// every partial sum formed by Accumulate. taps are in kernel order; scratch
// is working storage of at least ny doubles. Allocates nothing.
void CorrelateColumn(const std::vector<ColumnTap>& taps, int ny, SourceRange range, bool fused,
                     double* scratch, std::int32_t* out);

}  // namespace qirm
