// SPDX-License-Identifier: GPL-3.0-or-later
// One output column of a correlation, exact by definition or fused.
//
// The definition: every partial sum is Accumulate(s, w, v), a product and an
// addition in x87 extended precision (64-bit significand) rounded to a
// double: RN53(RN64(s + w * v)). x87 code cannot be vectorised, so where the
// processor has AVX2 and FMA the interior of a column is summed eight rows at
// a time with fused multiply-adds, RN53(s + w * v), which round once. A block
// of eight rows keeps the fused result only when one of two proofs holds for
// every row; otherwise the block is summed again the exact way.
//
// Proof A, the doubles are identical. If |v| <= 2047, w * v has at most
// 53 + 11 significant bits and is exact in both. The bits of s lie at or
// above 2^(E(s) - 52) and those of w * v at or above 2^(E(w) - 52) (E is the
// binary exponent; subnormals are taken as 2^-1023, which only makes the
// test stricter). The exact sum x = s + w * v has its leading bit at most at
// E(r) for its rounded value r. So when E(r) <= E(s) + 11 (or s = 0) and
// E(r) <= E(w) + 11, x fits in 64 bits, RN64(x) = x, and both give RN53(x).
// With non-negative weights and values the partial sums only grow and every
// non-zero partial sum is at least the smallest weight, so the test reduces
// to one comparison of the final sum with the smallest weight.
//
// Proof B, the truncated results are identical. Each step of either way is
// within 2^(Emax - 51) (1 + 2^-11) of the exact step, Emax bounding the
// exponents of the partial sums, so after n taps the two sums differ by less
// than n * 2^(Emax - 50); a margin of four over that (the sums of the other
// way may reach the next binade; forming the interval rounds) gives
// B = n * 2^(Emax - 48). If [r - 2B, r + 2B] holds no integer and does not
// straddle 0, both truncate alike; if it lies at or below 0, both give 0.
#include "filters/correlation_column.h"

#include <algorithm>
#include <cstring>

#include "core/cpu_dispatch.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define QIRM_FUSED_SUMS 1
#include <immintrin.h>
#else
#define QIRM_FUSED_SUMS 0
#endif

namespace qirm {
namespace {

// Exact partial sums of rows [ya, yb): tap after tap over the rows, so that
// the rows' dependency chains run side by side.
void SumRowsExact(const std::vector<ColumnTap>& taps, int ya, int yb, double* sums) {
  std::fill(sums, sums + (yb - ya), 0.0);
  for (const ColumnTap& tap : taps) {
    const int lo = std::max(ya, tap.y0);
    const int hi = std::min(yb, tap.y1);
    const double w = tap.w;
    for (int y = lo; y < hi; ++y) sums[y - ya] = Accumulate(sums[y - ya], w, tap.src[y]);
  }
}

void PixelsExact(const std::vector<ColumnTap>& taps, int ya, int yb, double* scratch, std::int32_t* out) {
  if (ya >= yb) return;
  SumRowsExact(taps, ya, yb, scratch);
  for (int y = ya; y < yb; ++y) out[y] = ToPixel(scratch[y - ya]);
}

#if QIRM_FUSED_SUMS

constexpr long long kExponentBits = 0x7FF0000000000000LL;
constexpr long long kElevenBinades = 11LL << 52;

long long ExponentField(double v) {
  long long bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits & kExponentBits;
}

// Proof B for four rows: r the fused sums, emax the exponent fields bounding
// the partial sums, n the number of taps.
__attribute__((target("avx2,fma"))) __m256i TruncatesAlike(__m256d r, __m256i emax, int n) {
  const __m256d zero = _mm256_setzero_pd();
  const __m256i valid = _mm256_cmpgt_epi64(emax, _mm256_set1_epi64x(49LL << 52));  // 2^(E-48) normal
  const __m256d unit = _mm256_castsi256_pd(_mm256_sub_epi64(emax, _mm256_set1_epi64x(48LL << 52)));
  const __m256d margin = _mm256_mul_pd(unit, _mm256_set1_pd(2.0 * n));
  const __m256d lo = _mm256_sub_pd(r, margin);
  const __m256d hi = _mm256_add_pd(r, margin);
  const __m256d at_most_zero = _mm256_cmp_pd(hi, zero, _CMP_LE_OQ);
  const __m256d one_integer_part =
      _mm256_and_pd(_mm256_cmp_pd(lo, zero, _CMP_GT_OQ),
                    _mm256_cmp_pd(_mm256_floor_pd(lo), _mm256_floor_pd(hi), _CMP_EQ_OQ));
  const __m256i finite = _mm256_xor_si256(
      _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_castpd_si256(r), _mm256_set1_epi64x(kExponentBits)),
                         _mm256_set1_epi64x(kExponentBits)),
      _mm256_set1_epi64x(-1));
  return _mm256_and_si256(_mm256_and_si256(valid, finite),
                          _mm256_castpd_si256(_mm256_or_pd(at_most_zero, one_integer_part)));
}

__attribute__((target("avx2,fma"))) void StorePixels(__m256d r, std::int32_t* out) {
  const __m256d clamped = _mm256_min_pd(_mm256_max_pd(r, _mm256_setzero_pd()), _mm256_set1_pd(2147483647.0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_cvttpd_epi32(clamped));
}

__attribute__((target("avx2,fma"))) inline __m256d Load4(const std::int32_t* p) {
  return _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Rows [ya, yb), where every tap lands, in blocks of eight; the rest and
// every block without a proof go the exact way.
__attribute__((target("avx2,fma"))) void FusedRows(const std::vector<ColumnTap>& taps, int ya, int yb,
                                                   bool monotone, double* scratch, std::int32_t* out) {
  const int n = static_cast<int>(taps.size());
  const __m256i exponent = _mm256_set1_epi64x(kExponentBits);
  const __m256i slack = _mm256_set1_epi64x(kElevenBinades);
  const __m256d zero = _mm256_setzero_pd();
  // E(w) + 11 as exponent fields; weights beyond 2^1012 overflow into the
  // sign and fail every test.
  const auto weight_limit = [](double w) { return ExponentField(w) + kElevenBinades; };
  long long smallest_weight_limit = kExponentBits;  // monotone: E(w_min) + 11
  for (const ColumnTap& tap : taps)
    smallest_weight_limit = std::min(smallest_weight_limit, weight_limit(tap.w));
  const __m256i monotone_limit = _mm256_set1_epi64x(smallest_weight_limit);

  int y = ya;
  for (; y + 8 <= yb; y += 8) {
    __m256d s0 = zero, s1 = zero;
    __m256i e0, e1;        // exponent fields of the final sums
    __m256i emax0, emax1;  // exponent fields bounding every partial sum
    bool identical;
    if (monotone) {
      for (const ColumnTap& tap : taps) {
        const __m256d w = _mm256_set1_pd(tap.w);
        s0 = _mm256_fmadd_pd(w, Load4(tap.src + y), s0);
        s1 = _mm256_fmadd_pd(w, Load4(tap.src + y + 4), s1);
      }
      e0 = _mm256_and_si256(_mm256_castpd_si256(s0), exponent);
      e1 = _mm256_and_si256(_mm256_castpd_si256(s1), exponent);
      emax0 = e0;
      emax1 = e1;
      const __m256i failed = _mm256_or_si256(
          _mm256_or_si256(_mm256_cmpgt_epi64(e0, monotone_limit), _mm256_cmpeq_epi64(e0, exponent)),
          _mm256_or_si256(_mm256_cmpgt_epi64(e1, monotone_limit), _mm256_cmpeq_epi64(e1, exponent)));
      identical = _mm256_testz_si256(failed, failed);
    } else {
      // The limit that s sets for the next sum: E(s) + 11, none while s = 0.
      __m256i slim0 = exponent, slim1 = exponent;
      __m256i failed = _mm256_setzero_si256();
      emax0 = emax1 = _mm256_setzero_si256();
      e0 = e1 = _mm256_setzero_si256();
      for (const ColumnTap& tap : taps) {
        const __m256d w = _mm256_set1_pd(tap.w);
        const __m256i wlim = _mm256_set1_epi64x(weight_limit(tap.w));
        s0 = _mm256_fmadd_pd(w, Load4(tap.src + y), s0);
        s1 = _mm256_fmadd_pd(w, Load4(tap.src + y + 4), s1);
        e0 = _mm256_and_si256(_mm256_castpd_si256(s0), exponent);
        e1 = _mm256_and_si256(_mm256_castpd_si256(s1), exponent);
        failed = _mm256_or_si256(
            failed, _mm256_or_si256(_mm256_cmpgt_epi64(e0, slim0), _mm256_cmpgt_epi64(e0, wlim)));
        failed = _mm256_or_si256(
            failed, _mm256_or_si256(_mm256_cmpgt_epi64(e1, slim1), _mm256_cmpgt_epi64(e1, wlim)));
        slim0 = _mm256_or_si256(
            _mm256_add_epi64(e0, slack),
            _mm256_and_si256(_mm256_castpd_si256(_mm256_cmp_pd(s0, zero, _CMP_EQ_OQ)), exponent));
        slim1 = _mm256_or_si256(
            _mm256_add_epi64(e1, slack),
            _mm256_and_si256(_mm256_castpd_si256(_mm256_cmp_pd(s1, zero, _CMP_EQ_OQ)), exponent));
        // The fields sit in the high halves with zero low halves, so a
        // 32-bit maximum is the 64-bit one.
        emax0 = _mm256_max_epi32(emax0, e0);
        emax1 = _mm256_max_epi32(emax1, e1);
      }
      failed = _mm256_or_si256(
          failed, _mm256_or_si256(_mm256_cmpeq_epi64(e0, exponent), _mm256_cmpeq_epi64(e1, exponent)));
      identical = _mm256_testz_si256(failed, failed);
    }
    if (!identical) {
      const __m256i alike = _mm256_and_si256(TruncatesAlike(s0, emax0, n), TruncatesAlike(s1, emax1, n));
      if (_mm256_movemask_pd(_mm256_castsi256_pd(alike)) != 0xF) {
        PixelsExact(taps, y, y + 8, scratch, out);
        continue;
      }
    }
    StorePixels(s0, out + y);
    StorePixels(s1, out + y + 4);
  }
  PixelsExact(taps, y, yb, scratch, out);
}

#endif  // QIRM_FUSED_SUMS

}  // namespace

bool HaveFusedSums() {
#if QIRM_FUSED_SUMS
  return CpuLevelActive(CpuLevel::kAvx2);
#else
  return false;
#endif
}

void CorrelateColumn(const std::vector<ColumnTap>& taps, int ny, SourceRange range, bool fused,
                     double* scratch, std::int32_t* out) {
  if (taps.empty()) {
    std::fill(out, out + ny, 0);
    return;
  }
#if QIRM_FUSED_SUMS
  if (fused && range != SourceRange::kWide) {
    int top = 0, bottom = ny;  // the rows where every tap lands
    bool monotone = range == SourceRange::kSmallNonNeg;
    for (const ColumnTap& tap : taps) {
      top = std::max(top, tap.y0);
      bottom = std::min(bottom, tap.y1);
      monotone = monotone && tap.w > 0;
    }
    if (top < bottom) {
      PixelsExact(taps, 0, top, scratch, out);
      FusedRows(taps, top, bottom, monotone, scratch, out);
      PixelsExact(taps, bottom, ny, scratch, out);
      return;
    }
  }
#else
  (void)range;
  (void)fused;
#endif
  PixelsExact(taps, 0, ny, scratch, out);
}

}  // namespace qirm
