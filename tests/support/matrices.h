// SPDX-License-Identifier: GPL-3.0-or-later
// Small matrices for engine tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "core/matrix.h"

namespace qirm::test {

// A w x h matrix with every element set to value.
inline IntMatrix Filled(int w, int h, int value) {
  IntMatrix m;
  EXPECT_TRUE(m.Allocate(w, h));
  for (int x = 0; x < w; ++x) std::fill(m[x], m[x] + h, value);
  return m;
}

}  // namespace qirm::test
