// SPDX-License-Identifier: GPL-3.0-or-later
// The scale and rotation of a frame about its centre when the map is close
// to the identity (the registration of frames of one night: a factor within
// a few thousandths of 1, an angle of a fraction of a degree), without the
// order of additions that the plain forward spreading imposes.
//
// The plain rule adds every contribution v * weight to its target and
// truncates as it stores: t = trunc(t + w v), in source order. While t and
// w v are both >= 0 that is t + floor(w v) whatever came before, unless the
// extended sum rounds across an integer, which needs the fraction of w v
// within 2^-40 of 1. So for non-negative values every target is the sum of
// the floors of its contributions, in any order, computed in doubles where
// the fraction of w v is safely away from an integer. Everything else is
// marked on the target and that target is recomputed from its sources in
// the plain order: contributions whose fraction is too close to call,
// negative or very large values, sources whose corner is too close to a
// pixel boundary to be sure of. The left two columns and top two rows of
// targets, where sources just outside the frame bring negative weights, are
// recomputed in the plain order from the sources that reach them.
#pragma once

#include <cstdint>
#include <functional>

#include "core/matrix.h"
#include "tricolour/transform_rule.h"

namespace qirm::near_identity {

// Knobs for tests: wider margins send more targets through the plain
// recomputation. (The vector loop runs at the AVX-512 level of
// ActiveCpuLevel(), the scalar one below it.)
struct Tuning {
  double product_margin = 1.0 / 65536;            // rotation
  double scale_product_margin = 1.0 / (1 << 24);  // scale (exact coordinates)
  double coordinate_margin = 1.0 / (1LL << 32);   // rotation
  // The vector loop tries sixteen rows in floats before eight in doubles.
  bool single = true;
  // Give up (and leave m untouched) when more targets than w h / this need
  // the plain recomputation.
  int recompute_share = 128;
};

// True when the map is close enough to the identity for Apply.
bool Suits(const CentreMap& map, int w, int h);

// Spreads m (w x h, exactly the matrix's size) into scratch by the plain
// rule, clamps to 0..65535 and swaps the two matrices, so that m holds the
// result and scratch the old frame. False when the map does not suit or too
// many targets would need the plain recomputation; m is then unchanged.
bool Apply(const CentreMap& map, int w, int h, IntMatrix& m, IntMatrix& scratch, const Tuning& tuning = {});

// The same spreading, but each finished (clamped) target column X is handed
// to sink(X, column) in column order, X = 0 .. w - 1, instead of being
// written into a matrix; m is left as it is. False (nothing handed on) only
// when the map does not suit; frames that need many plain recomputations
// take the time they need.
bool ApplyTo(const CentreMap& map, int w, int h, const IntMatrix& m,
             const std::function<void(int, const std::int32_t*)>& sink, const Tuning& tuning = {});

}  // namespace qirm::near_identity
