// SPDX-License-Identifier: GPL-3.0-or-later
// The order-free transforms for maps near the identity must give every
// pixel exactly as the plain forward spreading does, including the border
// band, the recomputed targets and the values the shortcut refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "core/cpu_dispatch.h"
#include "tests/support/compare.h"
#include "tricolour/fast_transforms.h"
#include "tricolour/near_identity.h"
#include "tricolour/transform_rule.h"

namespace qirm {
namespace {

using near_identity::Tuning;
using test::ExpectSameMatrix;

// Sky with stars, a few zeros, sparse negatives and a few values beyond the
// shortcut's range: what calibrated frames hold.
IntMatrix Frame(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  IntMatrix m;
  m.Allocate(w, h);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      const unsigned r = rng();
      int v = 300 + static_cast<int>(r % 4000);
      if (r % 97 == 0) v = 60000 + static_cast<int>(rng() % 5000);
      if (r % 389 == 0) v = -static_cast<int>(rng() % 200) - 1;
      if (r % 401 == 0) v = 0;
      if (r % 3001 == 0) v = 200000 + static_cast<int>(rng() % 1000);
      m[x][y] = v;
    }
  return m;
}

CentreMap MapOf(bool rotate, double p, int w, int h) {
  return rotate ? RotateMap(p, w, h) : ScaleMap(p, w, h);
}

IntMatrix Plain(bool rotate, double p, int w, int h, const IntMatrix& m) {
  IntMatrix out = m.Clone();
  const Status s = rotate ? RotateAboutCentrePlain(p, w, h, out) : ScaleAboutCentrePlain(p, w, h, out);
  EXPECT_TRUE(s);
  return out;
}

struct Case {
  bool rotate;
  double p;
};

const Case kCases[] = {
    {false, 1.0003}, {false, 0.99912}, {false, 1.02},  {false, 0.955},     {true, 1e-5},
    {true, -0.0021}, {true, 0.02},     {true, -0.049}, {true, 0.00071234}, {false, 1.0000001},
};

// Sizes odd and even, the vector groups of eight rows cut at the bottom.
const std::pair<int, int> kSizes[] = {{64, 48}, {131, 77}, {300, 203}};

// Every level the machine has: the vector loop at AVX-512, with its first
// pass in floats and in doubles alone; the scalar loop below it (with the
// AVX2 and the baseline build of the clamp).
TEST(NearIdentity, EqualsThePlainRuleForScalesAndAnglesAtEveryLevel) {
  for (const auto& size : kSizes) {
    // Plain names: clang 14 cannot capture structured bindings.
    const int w = size.first, h = size.second;
    const IntMatrix m = Frame(w, h, static_cast<unsigned>(w * 7 + h));
    for (const Case& c : kCases) {
      const IntMatrix plain = Plain(c.rotate, c.p, w, h, m);
      for (CpuLevel level : SupportedCpuLevels()) {
        const ScopedCpuLevel cap(level);
        for (bool single : {true, false}) {
          if (!single && level < CpuLevel::kAvx512) continue;  // no float pass to leave out
          SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + (c.rotate ? " rotate " : " scale ") +
                       std::to_string(c.p) + " " + CpuLevelName(level) + (single ? "" : " doubles"));
          IntMatrix fast = m.Clone(), scratch;
          Tuning tuning;
          tuning.single = single;
          tuning.recompute_share = 1;
          ASSERT_TRUE(near_identity::Apply(MapOf(c.rotate, c.p, w, h), w, h, fast, scratch, tuning));
          ExpectSameMatrix(fast, plain, w, h);
          // Handed on column by column, in order, once each: the same columns.
          IntMatrix sunk = Frame(w, h, 1);
          int next = 0;
          ASSERT_TRUE(near_identity::ApplyTo(
              MapOf(c.rotate, c.p, w, h), w, h, m,
              [&](int X, const std::int32_t* column) {
                EXPECT_EQ(X, next++);
                std::copy(column, column + h, sunk[X]);
              },
              tuning));
          EXPECT_EQ(next, w);
          ExpectSameMatrix(sunk, plain, w, h);
        }
      }
    }
  }
}

// Margins so wide that nearly every target goes through the recomputation
// (products) or every source counts as near a pixel boundary (coordinates):
// the plain-order paths alone must rebuild the whole frame.
TEST(NearIdentity, RecomputedTargetsAloneRebuildTheFrame) {
  const int w = 97, h = 61;
  const IntMatrix m = Frame(w, h, 5);
  for (const Case& c : {Case{false, 1.004}, Case{true, -0.013}}) {
    for (int which = 0; which < 2; ++which) {
      SCOPED_TRACE(std::string(c.rotate ? "rotate" : "scale") + (which ? " coordinates" : " products"));
      Tuning tuning;
      tuning.recompute_share = 1;
      if (which)
        tuning.coordinate_margin = 0.49;
      else
        tuning.product_margin = tuning.scale_product_margin = 0.49;
      IntMatrix fast = m.Clone(), scratch;
      ASSERT_TRUE(near_identity::Apply(MapOf(c.rotate, c.p, w, h), w, h, fast, scratch, tuning));
      ExpectSameMatrix(fast, Plain(c.rotate, c.p, w, h, m), w, h);
    }
  }
}

// A frame mostly below 0 would need the slow recomputation nearly
// everywhere: the shortcut declines and leaves the frame alone, and the
// public transform still gives the plain result.
TEST(NearIdentity, DeclinesFramesFullOfNegativeValues) {
  const int w = 80, h = 60;
  IntMatrix m = Frame(w, h, 9);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; y += 2) m[x][y] = -50 - x;
  IntMatrix fast = m.Clone(), scratch;
  EXPECT_FALSE(near_identity::Apply(RotateMap(0.003, w, h), w, h, fast, scratch));
  ExpectSameMatrix(fast, m, w, h);
  ASSERT_TRUE(RotateAboutCentre(0.003, w, h, fast, scratch));
  ExpectSameMatrix(fast, Plain(true, 0.003, w, h, m), w, h);
}

// Bright frames (values near 65535, whose floats carry the largest errors):
// the first pass in floats must leave every product it cannot settle to
// the doubles.
TEST(NearIdentity, BrightFramesEqualThePlainRule) {
  const int w = 160, h = 130;
  std::mt19937 rng(17);
  IntMatrix m;
  m.Allocate(w, h);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) m[x][y] = 40000 + static_cast<int>(rng() % 25000);
  for (const Case& c :
       {Case{false, 0.99937}, Case{false, 1.0123}, Case{true, 0.0173}, Case{true, -0.00041}}) {
    SCOPED_TRACE(std::string(c.rotate ? "rotate " : "scale ") + std::to_string(c.p));
    IntMatrix fast = m.Clone(), scratch;
    ASSERT_TRUE(near_identity::Apply(MapOf(c.rotate, c.p, w, h), w, h, fast, scratch));
    ExpectSameMatrix(fast, Plain(c.rotate, c.p, w, h, m), w, h);
  }
}

TEST(NearIdentity, OnlyMapsCloseToTheIdentitySuit) {
  EXPECT_TRUE(near_identity::Suits(ScaleMap(1.04, 100, 100), 100, 100));
  EXPECT_FALSE(near_identity::Suits(ScaleMap(1.2, 100, 100), 100, 100));
  EXPECT_FALSE(near_identity::Suits(RotateMap(0.3, 100, 100), 100, 100));
  EXPECT_FALSE(near_identity::Suits(RotateMap(0.01, 10, 100), 10, 100));
}

}  // namespace
}  // namespace qirm
