// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration kernels in three levels: the rule itself (plain), AVX2 with
// FMA (four lanes), AVX-512 (eight lanes). The fast levels decide most
// elements in doubles and leave the rest, a fraction of a percent, to the
// rule; why the doubles give the rule's bits is argued at each kernel.
#include "tricolour/calibration_kernels.h"

#include <algorithm>
#include <cstdint>

#include "core/cpu_dispatch.h"
#include "core/numbers.h"
#include "tricolour/tri_numbers.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QIRM_CALIB_X86 1
#define QIRM_AVX2 __attribute__((target("avx2,fma")))
#define QIRM_AVX512 __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl,fma")))
// Several AVX-512 intrinsics of GCC's headers start from a deliberately
// undefined register, which -Wmaybe-uninitialized reports once inlined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace qirm::calib {
namespace {

// The rules, one element each.
inline double RuleSum(double a, std::int32_t v, int n) {
  return static_cast<double>(a + static_cast<Extended>(v) / n);
}
inline std::int32_t RuleQuotient(std::int32_t c, double divisor) {
  return TruncSaturated(static_cast<Extended>(c) / divisor);
}

void AddQuotientsPlain(double* a, const std::int32_t* in, int count, int n) {
  for (int i = 0; i < count; ++i) a[i] = RuleSum(a[i], in[i], n);
}

// D: the dark's values, 32 or 16 bits.
template <class D>
void SubtractAndDividePlain(std::int32_t* c, const D* dark, const std::uint16_t* f, const double* divisor,
                            int count) {
  for (int i = 0; i < count; ++i) {
    // Unsigned subtraction: the same wrap as the vector lanes.
    const std::int32_t v = dark ? static_cast<std::int32_t>(static_cast<std::uint32_t>(c[i]) -
                                                            static_cast<std::uint32_t>(dark[i]))
                                : c[i];
    c[i] = divisor[f[i]] > 0 ? RuleQuotient(v, divisor[f[i]]) : v;
  }
}

void TruncateRunPlain(const double* a, int count, std::int32_t* out) {
  for (int i = 0; i < count; ++i) out[i] = TruncSaturated(a[i]);
}

// Elements per pass of a vector kernel; the elements it leaves to the rule
// are listed (at most all of them, plus a vector's slack) and done after it.
constexpr int kChunk = 1024;

#if defined(__x86_64__) && defined(__GNUC__)
// The vector kernels stream through whole frames, a column after the other.
// The hardware's own prefetch stops at every 4 KiB page, so each kernel asks
// for its data kAhead elements ahead (the next column's data once near the
// end of one: a frame's columns are contiguous): measured about twice as
// fast over a frame's sums. A prefetch never faults, whatever the address.
constexpr std::size_t kAhead = 1024;
template <class T>
inline void PrefetchAhead(const T* p) {
  _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(p) + kAhead * sizeof(T)),
               _MM_HINT_T0);
}
#endif

// The bits of 2^(63 - E) are kUnitBits minus those of 2^E (modulo 2^64):
// (1086 - E) << 52 = (2109 << 52) - ((E + 1023) << 52).
constexpr std::uint64_t kUnitBits = 2109ULL << 52;

#ifdef QIRM_CALIB_X86

// ---------------------------------------------------------------------------
// a + v / n.
//
// The rule rounds twice to the extended format (the quotient Q = v / n to
// q_e, the sum a + q_e to s_e) and then s_e to a double. In doubles:
//   q    = v * (1 / n), within 1.5 ulp of Q; rem = v - q n is exact through
//        the FMA (v and q n are multiples of q's ulp, rem below 2^53 of
//        them), so Q = q + rem / n exactly;
//   s, e the exact two-sum of a and q, and t = e + rem / n (rounded): the
//        rest a + Q - s;
//   r    = s + t (rounded), the candidate, and h = (s - r) + t.
// The test: |h| + margin < half, where half is half the spacing of doubles
// at r (r (1 - 2^-53) takes the smaller spacing below a power of two) and
// margin = 2^-63 (|q| + |r|). Why a lane that passes gives the rule's r:
// margin < half <= 2^-53 |r| forces |q| < 2^10 |r|, so |rem / n| and |t|
// are below 2^-40 |r|; s and r then lie within a factor 2 of each other,
// s - r is exact and h is exactly s + t - r. So a + Q - r differs from h by
// the rounding of t alone (below 2^-92 |r|), and the extended roundings move
// s_e from a + Q by at most 2^-64 (|Q| + |a + q_e|), together less than
// margin. s_e thus lies strictly inside r's rounding interval. Near
// midpoints, sums that cancel (the margin outgrows the spacing), zero, tiny
// (below 2^-900), infinite and NaN sums fail the test and go to the rule.
// One more test passes the exact ties that sums of whole quotients meet
// all the time (a dark mean of values divisible by the count: 70.8 + 64
// lies midway between two doubles): where rem = 0, Q = q and a + q = s + e
// exactly; if e is a multiple of 2^-63 of s's exponent, s + e fits the
// extended format, so the rule rounds a + q once, to nearest-even as the
// double sum did: the result is s (= r).
// A fused multiply-add the compiler may form here only removes a rounding.
//
// Most vectors are settled by a shorter test, for lanes with v >= 0 and
// a >= 0 (the sums of a mean of non-negative frames), where no sum
// cancels:
// - X = a + Q >= Q, so the extended roundings move s_e from X by at most
//   2^-64 (Q + X) (1 + 2^-64) <= 2^-62.9 X, and X - r differs from h by
//   less than 2^-100 r (as above). A lane whose |h| stays below
//   half (1 - 2^-7) has X within half of r, so X <= 2 r, r <= 2 power and
//   2^-62.9 X + 2^-100 r < 2^-60.8 power = 2^-7.8 half: s_e lies strictly
//   inside r's rounding interval, and the rule gives r.
// - Where rem = 0 (Q = q) and both a and q are at least 2^-10 s, their
//   exponents differ by 10 or less, so a + q has at most 64 significant
//   bits: the rule's sum is exact and rounds to a double as s did, and r = s
//   (t = e, s + e = a + q).
// Zero, tiny, infinite and NaN sums fail the first (their power is 0,
// infinite or NaN) and reach the second only as 0 + 0. A vector with a lane
// that passes neither takes the full test.

// Eight elements from a, in: each sum stored where a test settles it, the
// rest (returned) left to the rule. kFull: all eight are live, and plain
// loads and stores serve.
template <bool kFull>
QIRM_AVX512 inline __mmask8 AddQuotients8(double* a, const std::int32_t* in, __m512d nd, __m512d inv,
                                          __mmask8 live) {
  const __m512d below = _mm512_set1_pd(1 - 0x1p-53);
  const __m512d half_scale = _mm512_set1_pd(0x1p-53);
  const __m512d margin_scale = _mm512_set1_pd(0x1p-63);
  const __m512d tiny = _mm512_set1_pd(0x1p-900);
  const __m512d exponent_bits = _mm512_castsi512_pd(_mm512_set1_epi64(0x7FF0000000000000LL));
  const __m512i unit_bits = _mm512_set1_epi64(static_cast<long long>(kUnitBits));
  const __m512d quick_scale = _mm512_set1_pd(0x1p-53 * (1 - 0x1p-7));
  const __m512d span = _mm512_set1_pd(0x1p-10);
  const __m256i vi =
      kFull ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)) : _mm256_maskz_loadu_epi32(live, in);
  const __m512d v = _mm512_cvtepi32_pd(vi);
  const __m512d av = kFull ? _mm512_loadu_pd(a) : _mm512_maskz_loadu_pd(live, a);
  const __m512d q = _mm512_mul_pd(v, inv);
  const __m512d rem = _mm512_fnmadd_pd(q, nd, v);
  const __m512d s = _mm512_add_pd(av, q);
  const __m512d bb = _mm512_sub_pd(s, av);
  const __m512d e = _mm512_add_pd(_mm512_sub_pd(av, _mm512_sub_pd(s, bb)), _mm512_sub_pd(q, bb));
  const __m512d t = _mm512_fmadd_pd(rem, inv, e);
  const __m512d r = _mm512_add_pd(s, t);
  const __m512d h = _mm512_add_pd(_mm512_sub_pd(s, r), t);
  const __m512d power = _mm512_and_pd(_mm512_mul_pd(r, below), exponent_bits);
  // The shorter tests (see above).
  const __mmask8 sure = _mm512_mask_cmp_pd_mask(_mm256_cmpge_epi32_mask(vi, _mm256_setzero_si256()), av,
                                                _mm512_setzero_pd(), _CMP_GE_OQ);
  const __mmask8 near =
      _mm512_mask_cmp_pd_mask(sure, _mm512_abs_pd(h), _mm512_mul_pd(power, quick_scale), _CMP_LT_OQ);
  const __m512d least = _mm512_mul_pd(s, span);
  __mmask8 whole = _mm512_mask_cmp_pd_mask(sure & ~near, rem, _mm512_setzero_pd(), _CMP_EQ_OQ);
  whole = _mm512_mask_cmp_pd_mask(whole, av, least, _CMP_GE_OQ);
  whole = _mm512_mask_cmp_pd_mask(whole, q, least, _CMP_GE_OQ);
  if (((near | whole) & live) == live) {
    if (kFull)
      _mm512_storeu_pd(a, r);
    else
      _mm512_mask_storeu_pd(a, live, r);
    return 0;
  }
  const __m512d half = _mm512_mul_pd(power, half_scale);
  const __m512d margin = _mm512_mul_pd(_mm512_add_pd(_mm512_abs_pd(q), _mm512_abs_pd(r)), margin_scale);
  // e in units of 2^-63 of r's exponent (= s's where it matters).
  const __m512d scale =
      _mm512_castsi512_pd(_mm512_sub_epi64(unit_bits, _mm512_castpd_si512(_mm512_and_pd(r, exponent_bits))));
  const __m512d units = _mm512_mul_pd(e, scale);
  __mmask8 exact = _mm512_cmp_pd_mask(rem, _mm512_setzero_pd(), _CMP_EQ_OQ);
  exact = _mm512_mask_cmp_pd_mask(exact, _mm512_roundscale_pd(units, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC),
                                  units, _CMP_EQ_OQ);
  __mmask8 ok = _mm512_cmp_pd_mask(_mm512_add_pd(_mm512_abs_pd(h), margin), half, _CMP_LT_OQ);
  ok = _mm512_mask_cmp_pd_mask(live & (ok | exact), power, tiny, _CMP_GE_OQ);
  _mm512_mask_storeu_pd(a, ok, r);
  return live & static_cast<__mmask8>(~ok);
}

QIRM_AVX512 void AddQuotientsAvx512(double* a, const std::int32_t* in, int count, int n) {
  const __m512d nd = _mm512_set1_pd(n);
  const __m512d inv = _mm512_set1_pd(1.0 / n);
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  alignas(32) std::int32_t rest[kChunk + 8];
  for (int start = 0; start < count; start += kChunk) {
    const int end = std::min(count, start + kChunk);
    int left = 0;
    for (int i = start; i < end; i += 8) {
      PrefetchAhead(a + i);
      if (i % 16 == 0) PrefetchAhead(in + i);
      const __mmask8 undecided =
          end - i >= 8
              ? AddQuotients8<true>(a + i, in + i, nd, inv, 0xFF)
              : AddQuotients8<false>(a + i, in + i, nd, inv, static_cast<__mmask8>((1u << (end - i)) - 1));
      if (undecided) {
        const __m256i index = _mm256_add_epi32(lane, _mm256_set1_epi32(i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rest + left),
                            _mm256_maskz_compress_epi32(undecided, index));
        left += __builtin_popcount(undecided);
      }
    }
    for (int k = 0; k < left; ++k) a[rest[k]] = RuleSum(a[rest[k]], in[rest[k]], n);
  }
}

QIRM_AVX2 void AddQuotientsAvx2(double* a, const std::int32_t* in, int count, int n) {
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d nd = _mm256_set1_pd(n);
  const __m256d inv = _mm256_set1_pd(1.0 / n);
  const __m256d below = _mm256_set1_pd(1 - 0x1p-53);
  const __m256d half_scale = _mm256_set1_pd(0x1p-53);
  const __m256d margin_scale = _mm256_set1_pd(0x1p-63);
  const __m256d tiny = _mm256_set1_pd(0x1p-900);
  const __m256d exponent_bits = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FF0000000000000LL));
  const __m256i unit_bits = _mm256_set1_epi64x(static_cast<long long>(kUnitBits));
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m256d v = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)));
    const __m256d av = _mm256_loadu_pd(a + i);
    const __m256d q = _mm256_mul_pd(v, inv);
    const __m256d rem = _mm256_fnmadd_pd(q, nd, v);
    const __m256d s = _mm256_add_pd(av, q);
    const __m256d bb = _mm256_sub_pd(s, av);
    const __m256d e = _mm256_add_pd(_mm256_sub_pd(av, _mm256_sub_pd(s, bb)), _mm256_sub_pd(q, bb));
    const __m256d t = _mm256_fmadd_pd(rem, inv, e);
    const __m256d r = _mm256_add_pd(s, t);
    const __m256d h = _mm256_add_pd(_mm256_sub_pd(s, r), t);
    const __m256d power = _mm256_and_pd(_mm256_mul_pd(r, below), exponent_bits);
    const __m256d half = _mm256_mul_pd(power, half_scale);
    const __m256d margin =
        _mm256_mul_pd(_mm256_add_pd(_mm256_andnot_pd(sign, q), _mm256_andnot_pd(sign, r)), margin_scale);
    const __m256d scale = _mm256_castsi256_pd(
        _mm256_sub_epi64(unit_bits, _mm256_castpd_si256(_mm256_and_pd(r, exponent_bits))));
    const __m256d units = _mm256_mul_pd(e, scale);
    const __m256d exact = _mm256_and_pd(
        _mm256_cmp_pd(rem, _mm256_setzero_pd(), _CMP_EQ_OQ),
        _mm256_cmp_pd(_mm256_round_pd(units, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC), units, _CMP_EQ_OQ));
    const __m256d ok = _mm256_and_pd(
        _mm256_cmp_pd(power, tiny, _CMP_GE_OQ),
        _mm256_or_pd(exact,
                     _mm256_cmp_pd(_mm256_add_pd(_mm256_andnot_pd(sign, h), margin), half, _CMP_LT_OQ)));
    const int bits = _mm256_movemask_pd(ok);
    if (bits == 0xF) {
      _mm256_storeu_pd(a + i, r);
    } else {
      alignas(32) double out[4];
      _mm256_store_pd(out, r);
      for (int k = 0; k < 4; ++k) a[i + k] = (bits >> k) & 1 ? out[k] : RuleSum(a[i + k], in[i + k], n);
    }
  }
  AddQuotientsPlain(a + i, in + i, count - i, n);
}

// ---------------------------------------------------------------------------
// trunc(c / L), L = (double)((extended)f / fmax).
//
// q = c * (fmax / f) in doubles: four roundings of at most 2^-53 each (the
// two of L, the division, the product; the one of L to extended is 2^-64)
// put q within 3.01 * 2^-53 |Q| of Q = c / L, and the rule's extended
// quotient lies within 2^-64 |Q| of Q; for |q| < 2^30 both are below
// 3.7e-7. So where q lies more than 1e-6 from every integer, the rule's
// quotient lies strictly between the same two integers as q and truncates
// alike (and below 2^31 no saturation applies). The rest goes to the rule.
// f = 0 (L = 0, as fmax is at least 1) keeps the value. A division per
// pixel costs less than looking 1 / L up in a table of 65536 doubles.

template <class D>
QIRM_AVX512 inline __m256i LoadDark8(__mmask8 live, const D* dark) {
  if constexpr (sizeof(D) == 2)
    return _mm256_cvtepu16_epi32(_mm_maskz_loadu_epi16(live, dark));
  else
    return _mm256_maskz_loadu_epi32(live, dark);
}

template <class D>
QIRM_AVX2 inline __m128i LoadDark4(const D* dark) {
  if constexpr (sizeof(D) == 2)
    return _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dark)));
  else
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(dark));
}

// Eight elements from c + i: their quotients stored where clear, the rest
// (returned) left to the rule. kFull: all eight are live, and plain loads
// serve.
template <bool kFull, class D>
QIRM_AVX512 inline __mmask8 SubtractAndDivide8(std::int32_t* c, const D* dark, const std::uint16_t* f,
                                               __m512d top, __mmask8 live) {
  const __m512d big = _mm512_set1_pd(0x1p30);
  const __m512d near = _mm512_set1_pd(1e-6);
  const __m512d far = _mm512_set1_pd(1 - 1e-6);
  __m256i v, fi;
  if constexpr (kFull) {
    v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c));
    if (dark) {
      if constexpr (sizeof(D) == 2) {
        v = _mm256_sub_epi32(v,
                             _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(dark))));
      } else {
        v = _mm256_sub_epi32(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dark)));
      }
    }
    fi = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f)));
  } else {
    v = _mm256_maskz_loadu_epi32(live, c);
    if (dark) v = _mm256_sub_epi32(v, LoadDark8(live, dark));
    fi = _mm256_cvtepu16_epi32(_mm_maskz_loadu_epi16(live, f));
  }
  const __mmask8 divide = _mm256_test_epi32_mask(fi, fi);
  const __m512d q = _mm512_mul_pd(_mm512_cvtepi32_pd(v), _mm512_div_pd(top, _mm512_cvtepi32_pd(fi)));
  __mmask8 clear = _mm512_mask_cmp_pd_mask(divide, _mm512_abs_pd(q), big, _CMP_LT_OQ);
  const __m256i tr = _mm512_cvttpd_epi32(q);
  const __m512d frac = _mm512_abs_pd(_mm512_sub_pd(q, _mm512_cvtepi32_pd(tr)));
  clear = _mm512_mask_cmp_pd_mask(clear, frac, near, _CMP_GT_OQ);
  clear = _mm512_mask_cmp_pd_mask(clear, frac, far, _CMP_LT_OQ);
  // The value itself where kept or left to the rule (which reads it).
  if constexpr (kFull) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(c), _mm256_mask_blend_epi32(clear, v, tr));
  } else {
    _mm256_mask_storeu_epi32(c, live, _mm256_mask_blend_epi32(clear, v, tr));
  }
  return live & divide & static_cast<__mmask8>(~clear);
}

template <class D>
QIRM_AVX512 void SubtractAndDivideAvx512(std::int32_t* c, const D* dark, const std::uint16_t* f, double fmax,
                                         const double* divisor, int count) {
  const __m512d top = _mm512_set1_pd(fmax);
  const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  alignas(32) std::int32_t rest[kChunk + 8];
  for (int start = 0; start < count; start += kChunk) {
    const int end = std::min(count, start + kChunk);
    int left = 0;
    for (int i = start; i < end; i += 8) {
      if (i % 16 == 0) PrefetchAhead(c + i);
      if (i % 32 == 0) {
        if (dark) PrefetchAhead(dark + i);
        PrefetchAhead(f + i);
      }
      const D* d = dark ? dark + i : nullptr;
      const __mmask8 undecided =
          end - i >= 8
              ? SubtractAndDivide8<true>(c + i, d, f + i, top, 0xFF)
              : SubtractAndDivide8<false>(c + i, d, f + i, top, static_cast<__mmask8>((1u << (end - i)) - 1));
      if (undecided) {
        const __m256i index = _mm256_add_epi32(lane, _mm256_set1_epi32(i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rest + left),
                            _mm256_maskz_compress_epi32(undecided, index));
        left += __builtin_popcount(undecided);
      }
    }
    for (int k = 0; k < left; ++k) c[rest[k]] = RuleQuotient(c[rest[k]], divisor[f[rest[k]]]);
  }
}

template <class D>
QIRM_AVX2 void SubtractAndDivideAvx2(std::int32_t* c, const D* dark, const std::uint16_t* f, double fmax,
                                     const double* divisor, int count) {
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d big = _mm256_set1_pd(0x1p30);
  const __m256d near = _mm256_set1_pd(1e-6);
  const __m256d far = _mm256_set1_pd(1 - 1e-6);
  const __m256d top = _mm256_set1_pd(fmax);
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
    if (dark) v = _mm_sub_epi32(v, LoadDark4(dark + i));
    const __m128i fi = _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(f + i)));
    const __m256d fd = _mm256_cvtepi32_pd(fi);
    const __m256d q = _mm256_mul_pd(_mm256_cvtepi32_pd(v), _mm256_div_pd(top, fd));
    const __m256d keep = _mm256_cmp_pd(fd, _mm256_setzero_pd(), _CMP_EQ_OQ);
    const __m256d small = _mm256_cmp_pd(_mm256_andnot_pd(sign, q), big, _CMP_LT_OQ);
    const __m128i tr = _mm256_cvttpd_epi32(_mm256_and_pd(q, small));
    const __m256d frac = _mm256_andnot_pd(sign, _mm256_sub_pd(q, _mm256_cvtepi32_pd(tr)));
    const __m256d clear = _mm256_and_pd(
        small, _mm256_and_pd(_mm256_cmp_pd(frac, near, _CMP_GT_OQ), _mm256_cmp_pd(frac, far, _CMP_LT_OQ)));
    const int keep_bits = _mm256_movemask_pd(keep);
    const int clear_bits = _mm256_movemask_pd(clear) & ~keep_bits;
    if ((keep_bits | clear_bits) == 0xF) {
      const __m128i keep32 = _mm_cmpeq_epi32(fi, _mm_setzero_si128());
      _mm_storeu_si128(reinterpret_cast<__m128i*>(c + i), _mm_blendv_epi8(tr, v, keep32));
    } else {
      alignas(16) std::int32_t vs[4], ts[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(vs), v);
      _mm_store_si128(reinterpret_cast<__m128i*>(ts), tr);
      for (int k = 0; k < 4; ++k) {
        if ((keep_bits >> k) & 1)
          c[i + k] = vs[k];
        else if ((clear_bits >> k) & 1)
          c[i + k] = ts[k];
        else
          c[i + k] = RuleQuotient(vs[k], divisor[f[i + k]]);
      }
    }
  }
  SubtractAndDividePlain(c + i, dark ? dark + i : nullptr, f + i, divisor, count - i);
}

// ---------------------------------------------------------------------------
// TruncSaturated(a): clamped to the int range (both ends are doubles, and
// truncation of anything between them fits), NaN to 0.

QIRM_AVX512 void TruncateRunAvx512(const double* a, int count, std::int32_t* out) {
  const __m512d lo = _mm512_set1_pd(-2147483648.0), hi = _mm512_set1_pd(2147483647.0);
  for (int i = 0; i < count; i += 8) {
    PrefetchAhead(a + i);
    const __mmask8 live = count - i >= 8 ? 0xFF : static_cast<__mmask8>((1u << (count - i)) - 1);
    const __m512d v = _mm512_maskz_loadu_pd(live, a + i);
    const __mmask8 number = _mm512_cmp_pd_mask(v, v, _CMP_ORD_Q);
    const __m512d clamped = _mm512_maskz_min_pd(number, _mm512_max_pd(v, lo), hi);
    _mm256_mask_storeu_epi32(out + i, live, _mm512_cvttpd_epi32(clamped));
  }
}

QIRM_AVX2 void TruncateRunAvx2(const double* a, int count, std::int32_t* out) {
  const __m256d lo = _mm256_set1_pd(-2147483648.0), hi = _mm256_set1_pd(2147483647.0);
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m256d v = _mm256_loadu_pd(a + i);
    const __m256d number = _mm256_cmp_pd(v, v, _CMP_ORD_Q);
    const __m256d clamped = _mm256_and_pd(number, _mm256_min_pd(_mm256_max_pd(v, lo), hi));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_cvttpd_epi32(clamped));
  }
  TruncateRunPlain(a + i, count - i, out + i);
}

#endif

}  // namespace

void AddQuotients(double* a, const std::int32_t* in, int count, int n) {
#ifdef QIRM_CALIB_X86
  const CpuLevel level = ActiveCpuLevel();
  if (level >= CpuLevel::kAvx512) return AddQuotientsAvx512(a, in, count, n);
  if (level >= CpuLevel::kAvx2) return AddQuotientsAvx2(a, in, count, n);
#endif
  AddQuotientsPlain(a, in, count, n);
}

namespace {

template <class D>
void SubtractAndDivideAt(std::int32_t* c, const D* dark, const std::uint16_t* f, double fmax,
                         const double* divisor, int count) {
#ifdef QIRM_CALIB_X86
  const CpuLevel level = ActiveCpuLevel();
  if (level >= CpuLevel::kAvx512) return SubtractAndDivideAvx512(c, dark, f, fmax, divisor, count);
  if (level >= CpuLevel::kAvx2) return SubtractAndDivideAvx2(c, dark, f, fmax, divisor, count);
#endif
  (void)fmax;
  SubtractAndDividePlain(c, dark, f, divisor, count);
}

}  // namespace

void SubtractAndDivide(std::int32_t* c, const std::int32_t* dark, const std::uint16_t* f, double fmax,
                       const double* divisor, int count) {
  SubtractAndDivideAt(c, dark, f, fmax, divisor, count);
}

void SubtractAndDivide(std::int32_t* c, const std::uint16_t* dark, const std::uint16_t* f, double fmax,
                       const double* divisor, int count) {
  SubtractAndDivideAt(c, dark, f, fmax, divisor, count);
}

void TruncateRun(const double* a, int count, std::int32_t* out) {
#ifdef QIRM_CALIB_X86
  const CpuLevel level = ActiveCpuLevel();
  if (level >= CpuLevel::kAvx512) return TruncateRunAvx512(a, count, out);
  if (level >= CpuLevel::kAvx2) return TruncateRunAvx2(a, count, out);
#endif
  TruncateRunPlain(a, count, out);
}

bool TruncateRun16(const double* a, int count, std::uint16_t* out) {
  // Through 32 bits a chunk at a time (the same rule), then narrowed.
  std::int32_t wide[kChunk];
  bool fits = true;
  for (int start = 0; start < count; start += kChunk) {
    const int n = std::min(kChunk, count - start);
    TruncateRun(a + start, n, wide);
    std::uint32_t above = 0;  // negative values wrap far above 65535
    for (int i = 0; i < n; ++i) {
      above |= static_cast<std::uint32_t>(wide[i]) >> 16;
      out[start + i] = static_cast<std::uint16_t>(wide[i]);
    }
    fits = fits && above == 0;
  }
  return fits;
}

}  // namespace qirm::calib
