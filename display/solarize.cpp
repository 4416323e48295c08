// SPDX-License-Identifier: GPL-3.0-or-later
// Solarization: the vertical (5, 5, -4) / 6 correlation of each channel, with
// the arithmetic of Convolve, clamped to 0..255.
//
// The sum of an inside pixel is formed tap by tap in kernel order (A above,
// C the pixel, B below; w = 5/6 and w' = -4/6 as doubles):
//   s1 = RN53(w A),  s2 = RN53(RN64(s1 + w C)),  s3 = RN53(RN64(s2 + w' B))
// where RN64 is the rounding to extended precision and RN53 to a double. s2
// depends on (A, C) only and is read from a table of 65536 doubles.
//
// The vector path replaces the last step by one fused multiply-add,
// f = RN53(s2 + w' B), which rounds once. The truncated bytes are the same:
// both roundings are monotone, so each result is at least an integer k >= 1
// exactly when the exact sum x = s2 + w' B reaches a threshold: k - u/2 for
// f (u the spacing of doubles just below k) and k - u/2 - v/2 for s3 (v the
// spacing of extended values there, 2^-11 u). Both s2 and w' B are multiples
// of 2^-53, hence so is x, and no multiple of 2^-53 lies in
// [k - u/2 - v/2, k - u/2) (k - u/2 is itself such a multiple for k >= 2, and
// 1 - 2^-54 lies half-way between two of them). The engine tests check the
// claim for all 2^24 triples.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/cpu_dispatch.h"
#include "core/numbers.h"
#include "core/parallel.h"
#include "display/output_picture.h"
#include "display/tones.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define QIRM_SOLARIZE_AVX2 1
#include <immintrin.h>
#else
#define QIRM_SOLARIZE_AVX2 0
#endif

namespace qirm {
namespace {

struct Weights {
  double self;   // 5/6: the pixel and the one above
  double below;  // -4/6
};

// Normalised as Convolve normalises: the kernel's sum in extended precision,
// each weight divided by it and kept as a double. Every channel gets a fresh
// kernel, so all three use these same weights.
Weights KernelWeights() {
  const Extended sum = Extended{5} + 5 + -4;
  return {static_cast<double>(Extended{5} / sum), static_cast<double>(Extended{-4} / sum)};
}

// One tap of a Convolve sum: product and addition in extended precision,
// the partial sum kept as a double.
inline double Accumulate(double sum, double w, int v) {
  return static_cast<double>(static_cast<Extended>(sum) + static_cast<Extended>(w) * v);
}

// Truncation, negatives to 0 (Convolve), at most 255 (ClipMatrix).
inline std::uint8_t ToByte(double sum) {
  if (!(sum > 0)) return 0;
  return static_cast<std::uint8_t>(std::min(static_cast<int>(sum), 255));
}

struct Tables {
  Weights w;
  std::vector<double> above_and_self;  // s2 by (A << 8) | C
};

const Tables& SolarizeTables() {
  static const Tables tables = [] {
    Tables t;
    t.w = KernelWeights();
    t.above_and_self.resize(65536);
    for (int a = 0; a < 256; ++a)
      for (int c = 0; c < 256; ++c)
        t.above_and_self[(a << 8) | c] = Accumulate(Accumulate(0, t.w.self, a), t.w.self, c);
    return t;
  }();
  return tables;
}

// Bytes [from, n) of an inside row, exactly by the definition.
void InsideExact(const Tables& t, const std::uint8_t* above, const std::uint8_t* here,
                 const std::uint8_t* below, std::uint8_t* out, std::size_t from, std::size_t n) {
  const double* pair = t.above_and_self.data();
  for (std::size_t i = from; i < n; ++i)
    out[i] = ToByte(Accumulate(pair[(above[i] << 8) | here[i]], t.w.below, below[i]));
}

#if QIRM_SOLARIZE_AVX2
// Eight bytes a step: s2 gathered from the table, s2 + w' B fused.
__attribute__((target("avx2,fma"))) void InsideAvx2(const Tables& t, const std::uint8_t* above,
                                                    const std::uint8_t* here, const std::uint8_t* below,
                                                    std::uint8_t* out, std::size_t n) {
  const double* pair = t.above_and_self.data();
  const __m256d w_below = _mm256_set1_pd(t.w.below);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i top = _mm256_set1_epi32(255);
  const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::int64_t a8, c8, b8;
    std::memcpy(&a8, above + i, 8);
    std::memcpy(&c8, here + i, 8);
    std::memcpy(&b8, below + i, 8);
    const __m256i a = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(a8));
    const __m256i c = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(c8));
    const __m256i b = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(b8));
    const __m256i key = _mm256_or_si256(_mm256_slli_epi32(a, 8), c);
    // The masked form with a defined source: the plain one starts from an
    // undefined register, which the compiler warns about.
    const __m256d s_lo =
        _mm256_mask_i32gather_pd(_mm256_setzero_pd(), pair, _mm256_castsi256_si128(key), all, 8);
    const __m256d s_hi =
        _mm256_mask_i32gather_pd(_mm256_setzero_pd(), pair, _mm256_extracti128_si256(key, 1), all, 8);
    const __m256d b_lo = _mm256_cvtepi32_pd(_mm256_castsi256_si128(b));
    const __m256d b_hi = _mm256_cvtepi32_pd(_mm256_extracti128_si256(b, 1));
    const __m128i r_lo = _mm256_cvttpd_epi32(_mm256_fmadd_pd(w_below, b_lo, s_lo));
    const __m128i r_hi = _mm256_cvttpd_epi32(_mm256_fmadd_pd(w_below, b_hi, s_hi));
    __m256i r = _mm256_set_m128i(r_hi, r_lo);
    r = _mm256_min_epi32(_mm256_max_epi32(r, zero), top);
    __m128i bytes = _mm_packus_epi32(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
    bytes = _mm_packus_epi16(bytes, bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), bytes);
  }
  InsideExact(t, above, here, below, out, i, n);
}
#endif

void Solarize(const Picture& source, bool allow_vectors, Picture& out) {
  const int w = source.width();
  const int h = source.height();
  PrepareOutput(out, w, h);
  if (source.empty()) return;
  const Tables& t = SolarizeTables();
  const double* pair = t.above_and_self.data();
  const std::size_t bytes = source.stride();
#if QIRM_SOLARIZE_AVX2
  const bool vectors = allow_vectors && CpuLevelActive(CpuLevel::kAvx2);
#else
  [[maybe_unused]] const bool vectors = false;
  (void)allow_vectors;
#endif

  ParallelFor(h, static_cast<long long>(w) * h, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const std::uint8_t* here = source.Row(y);
      const std::uint8_t* above = y > 0 ? source.Row(y - 1) : nullptr;
      const std::uint8_t* below = y + 1 < h ? source.Row(y + 1) : nullptr;
      std::uint8_t* row = out.Row(y);
      if (above && below) {
#if QIRM_SOLARIZE_AVX2
        if (vectors) {
          InsideAvx2(t, above, here, below, row, bytes);
          continue;
        }
#endif
        InsideExact(t, above, here, below, row, 0, bytes);
      } else if (above) {  // bottom row: nothing below
        for (std::size_t i = 0; i < bytes; ++i) row[i] = ToByte(pair[(above[i] << 8) | here[i]]);
      } else if (below) {  // top row: nothing above
        for (std::size_t i = 0; i < bytes; ++i)
          row[i] = ToByte(Accumulate(Accumulate(0, t.w.self, here[i]), t.w.below, below[i]));
      } else {  // a single row: the pixel's own tap
        for (std::size_t i = 0; i < bytes; ++i) row[i] = ToByte(Accumulate(0, t.w.self, here[i]));
      }
    }
  });
}

}  // namespace

Picture SolarizePicture(const Picture& source) {
  Picture out;
  Solarize(source, true, out);
  return out;
}

Picture SolarizePictureScalar(const Picture& source) {
  Picture out;
  Solarize(source, false, out);
  return out;
}

void SolarizeInto(const Picture& source, Picture& out) { Solarize(source, true, out); }

}  // namespace qirm
