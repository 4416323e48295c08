// SPDX-License-Identifier: GPL-3.0-or-later
// Truncation toward zero that cannot overflow. Values of the composition stay
// far inside the int range for any sane frame, but a degenerate flat (a pixel
// of 1 against a maximum of 65535) can multiply a value by 65535, and a
// conversion out of range would be undefined.
#pragma once

#include <algorithm>
#include <climits>

#include "core/numbers.h"

namespace qirm {

// trunc(v) for |v| < 2^31; beyond, the nearest int; NaN gives 0.
//
// Not a plain cast: converting an extended value to an integer with
// truncation makes the compiler switch the x87 rounding mode twice per
// value (fldcw), which costs more than the rest of a pixel's arithmetic.
// The value is rounded to the nearest double instead (no mode switch),
// truncated there, and corrected by one where that rounding crossed an
// integer (only then can the two truncations differ).
inline int TruncSaturated(Extended v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<Extended>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<Extended>(INT_MIN)) return INT_MIN;
  int i = static_cast<int>(static_cast<double>(v));
  if (v >= 0) {
    if (static_cast<Extended>(i) > v) --i;
  } else if (static_cast<Extended>(i) < v) {
    ++i;
  }
  return i;
}

inline int TruncSaturated(double v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

// Star positions and registration offsets are kept well inside the int range
// so that x +- delta and the like never overflow, whatever the edits or the
// frame held.
inline int BoundedCoordinate(long long v) { return static_cast<int>(std::clamp(v, -(1LL << 30), 1LL << 30)); }

}  // namespace qirm
