// Column kernels of the composition with AVX2 paths, chosen at run time.
// Each gives exactly the result of its plain rule (see calibration.h); the
// tests compare them on random data.
#pragma once

#include <cstdint>

#include "core/numbers.h"

namespace qirm::simd {

bool HaveAvx2();

// a[i] = (double)((extended)a[i] + q) for i < count, where q is the extended
// quotient in[i] / n, given as the exact pair hi[v - lo] + lo_part[v - lo]
// (hi the nearest double, the pair the exact value). The sum is rounded to
// the extended format and then to a double, as the rule reads; in doubles
// this is done with an exact two-sum and the rounding decided from the
// error term, and wherever that cannot be decided safely (a sum near a
// midpoint between doubles, at a power of two, near 0) the extended sum is
// formed instead.
void AccumulateColumn(double* a, const std::int32_t* in, int count, const double* hi, const double* lo_part,
                      std::int32_t lo, int n);

// c[i] = trunc(c[i] * inverse[f[i]]) unless inverse is 0 (then c stays);
// exact[i] = 1 where the double product lies within 1e-6 of an integer or
// beyond 2^30 (the caller then divides exactly). Returns the count of those.
int FlatColumn(std::int32_t* c, const std::uint16_t* f, const double* inverse, int count, std::uint8_t* exact);

}  // namespace qirm::simd
