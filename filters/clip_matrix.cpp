// SPDX-License-Identifier: GPL-3.0-or-later
// ClipMatrix: clamp every element into a range.
#include <cstdint>

#include "filters/primitives.h"

namespace qirm {

void ClipMatrix(int lo, int hi, int nx, int ny, IntMatrix& m) {
  if (nx <= 0 || ny <= 0 || nx > m.count() || ny > m.n()) return;
  for (int x = 0; x < nx; ++x) {
    std::int32_t* column = m[x];
    for (int y = 0; y < ny; ++y) {
      std::int32_t v = column[y];
      if (v < lo) v = lo;
      if (v >= hi) v = hi;  // >= rather than >: same outcome, kept as the rule reads
      column[y] = v;
    }
  }
}

}  // namespace qirm
