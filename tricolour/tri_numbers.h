// Truncation toward zero that cannot overflow. Values of the composition stay
// far inside the int range for any sane frame, but a degenerate flat (a pixel
// of 1 against a maximum of 65535) can multiply a value by 65535, and a
// conversion out of range would be undefined.
#pragma once

#include <climits>

#include "core/numbers.h"

namespace qirm {

// trunc(v) for |v| < 2^31; beyond, the nearest int; NaN gives 0.
inline int TruncSaturated(Extended v) {
  if (v >= static_cast<Extended>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<Extended>(INT_MIN)) return INT_MIN;
  if (!(v == v)) return 0;
  return static_cast<int>(v);
}

}  // namespace qirm
