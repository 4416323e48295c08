// SPDX-License-Identifier: GPL-3.0-or-later
// Column kernels of the calibration and of the running means, each exactly
// its extended-precision rule (see calibration.h) at every level, for every
// input. The fast levels work in doubles where that provably gives the
// rule's bits and hand the few remaining elements to the rule itself.
#pragma once

#include <cstdint>

namespace qirm::calib {

// Each kernel takes the highest of its paths (AVX-512, AVX2 with FMA, the
// rule) that ActiveCpuLevel() allows; tests cap it with ScopedCpuLevel to
// run every path the machine has.

// a[i] = (double)(a[i] + (extended)in[i] / n) for i < count; n > 0.
void AddQuotients(double* a, const std::int32_t* in, int count, int n);

// c[i] -= dark[i] (when dark is not null); then, where L = divisor[f[i]] is
// above 0, c[i] = TruncSaturated((extended)c[i] / L). The divisors are
// FlatField's: divisor[f] = (double)((extended)f / fmax), fmax >= 1.
void SubtractAndDivide(std::int32_t* c, const std::int32_t* dark, const std::uint16_t* f, double fmax,
                       const double* divisor, int count);

// The same with a dark of 16-bit values.
void SubtractAndDivide(std::int32_t* c, const std::uint16_t* dark, const std::uint16_t* f, double fmax,
                       const double* divisor, int count);

// out[i] = TruncSaturated(a[i]).
void TruncateRun(const double* a, int count, std::int32_t* out);
// The same into 16 bits: true when every value lies in 0..65535 (the others
// are stored cut to their low 16 bits).
bool TruncateRun16(const double* a, int count, std::uint16_t* out);

}  // namespace qirm::calib
