// SPDX-License-Identifier: GPL-3.0-or-later
#include "tricolour/simd_kernels.h"

#include <cstring>

#include "core/cpu_dispatch.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QIRM_X86 1
#endif

namespace qirm::simd {
namespace {

// One row of a weighted run through AddFast.
inline void WeightedRow(std::int32_t* t, const std::int32_t* src, int y, int a, const double* fxd, int x_side,
                        const double* fyd) {
  const int s1 = y + a, s0 = y + a + 1;
  const double wx1 = x_side ? fxd[s1] : 1 - fxd[s1];
  const double wx0 = x_side ? fxd[s0] : 1 - fxd[s0];
  const Extended ex1 = x_side ? static_cast<Extended>(fxd[s1]) : 1 - static_cast<Extended>(fxd[s1]);
  const Extended ex0 = x_side ? static_cast<Extended>(fxd[s0]) : 1 - static_cast<Extended>(fxd[s0]);
  std::int32_t value = t[y];
  AddFast(value, wx1 * fyd[s1], ex1, fyd[s1], src[s1]);
  AddFast(value, wx0 * (1 - fyd[s0]), ex0, 1 - static_cast<Extended>(fyd[s0]), src[s0]);
  t[y] = value;
}

#ifdef QIRM_X86

// One addition on four rows: out = trunc(tv + w v) where decided in doubles
// (the AddFast rule); the mask of lanes so decided.
__attribute__((target("avx2"))) inline int AddFour(__m256d tv, __m256d w, __m256d v, __m256d& out) {
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256d near = _mm256_set1_pd(1.0 / (1 << 28));
  const __m256d far = _mm256_set1_pd(1 - 1.0 / (1 << 28));
  const __m256d limit = _mm256_set1_pd(1048576.0);
  const __m256d p = _mm256_mul_pd(w, v);
  const __m256d s = _mm256_add_pd(tv, p);
  const __m256d in_range = _mm256_cmp_pd(_mm256_andnot_pd(sign, s), limit, _CMP_LT_OQ);
  const __m128i i = _mm256_cvttpd_epi32(_mm256_and_pd(s, in_range));
  const __m256d id = _mm256_cvtepi32_pd(i);
  const __m256d f = _mm256_andnot_pd(sign, _mm256_sub_pd(s, id));
  const __m256d clear = _mm256_and_pd(
      in_range, _mm256_and_pd(_mm256_cmp_pd(f, near, _CMP_GT_OQ), _mm256_cmp_pd(f, far, _CMP_LT_OQ)));
  const __m256d nothing = _mm256_cmp_pd(p, _mm256_setzero_pd(), _CMP_EQ_OQ);
  out = _mm256_blendv_pd(id, tv, nothing);
  return _mm256_movemask_pd(_mm256_or_pd(clear, nothing));
}

__attribute__((target("avx2"))) void ScaleRunAvx2(std::int32_t* t, const std::int32_t* src, int y_begin,
                                                  int y_end, int a, double axd, Extended axe,
                                                  const double* fyd, const double* gyd, const Extended* fye,
                                                  const Extended* gye) {
  const __m256d ax = _mm256_set1_pd(axd);
  int y = y_begin;
  for (; y + 4 <= y_end; y += 4) {
    const __m256d tv = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + y)));
    const __m256d v1 = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + y + a)));
    const __m256d v0 = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + y + a + 1)));
    const __m256d w1 = _mm256_mul_pd(ax, _mm256_loadu_pd(fyd + y + a));
    const __m256d w0 = _mm256_mul_pd(ax, _mm256_loadu_pd(gyd + y + a + 1));
    __m256d t1, t0;
    const int ok1 = AddFour(tv, w1, v1, t1);
    const int ok0 = AddFour(t1, w0, v0, t0);
    if ((ok1 & ok0) == 0xF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(t + y), _mm256_cvttpd_epi32(t0));
    } else {
      for (int k = 0; k < 4; ++k) {
        const int r = y + k;
        std::int32_t value = t[r];
        AddFast(value, axd * fyd[r + a], axe, fye[r + a], src[r + a]);
        AddFast(value, axd * gyd[r + a + 1], axe, gye[r + a + 1], src[r + a + 1]);
        t[r] = value;
      }
    }
  }
  for (; y < y_end; ++y) {
    std::int32_t value = t[y];
    AddFast(value, axd * fyd[y + a], axe, fye[y + a], src[y + a]);
    AddFast(value, axd * gyd[y + a + 1], axe, gye[y + a + 1], src[y + a + 1]);
    t[y] = value;
  }
}

__attribute__((target("avx2"))) void WeightedRunAvx2(std::int32_t* t, const std::int32_t* src, int y_begin,
                                                     int y_end, int a, const double* fxd, int x_side,
                                                     const double* fyd) {
  const __m256d one = _mm256_set1_pd(1.0);
  int y = y_begin;
  for (; y + 4 <= y_end; y += 4) {
    const __m256d tv = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t + y)));
    const __m256d v1 = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + y + a)));
    const __m256d v0 = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + y + a + 1)));
    __m256d wx1 = _mm256_loadu_pd(fxd + y + a), wx0 = _mm256_loadu_pd(fxd + y + a + 1);
    if (!x_side) {
      wx1 = _mm256_sub_pd(one, wx1);
      wx0 = _mm256_sub_pd(one, wx0);
    }
    const __m256d w1 = _mm256_mul_pd(wx1, _mm256_loadu_pd(fyd + y + a));
    const __m256d w0 = _mm256_mul_pd(wx0, _mm256_sub_pd(one, _mm256_loadu_pd(fyd + y + a + 1)));
    __m256d t1, t0;
    const int ok1 = AddFour(tv, w1, v1, t1);
    const int ok0 = AddFour(t1, w0, v0, t0);
    if ((ok1 & ok0) == 0xF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(t + y), _mm256_cvttpd_epi32(t0));
    } else {
      for (int k = 0; k < 4; ++k) WeightedRow(t, src, y + k, a, fxd, x_side, fyd);
    }
  }
  for (; y < y_end; ++y) WeightedRow(t, src, y, a, fxd, x_side, fyd);
}

// hi + lo = a + b exactly.
__attribute__((target("avx2,fma"))) inline void TwoSum4(__m256d a, __m256d b, __m256d& hi, __m256d& lo) {
  hi = _mm256_add_pd(a, b);
  const __m256d bb = _mm256_sub_pd(hi, a);
  lo = _mm256_add_pd(_mm256_sub_pd(a, _mm256_sub_pd(hi, bb)), _mm256_sub_pd(b, bb));
}

// The nearest double of (big + small) where |small| is known to within
// 2^-50 of the exact rest; mask of lanes decided.
__attribute__((target("avx2,fma"))) inline __m256d RoundPair(__m256d big, __m256d small, __m256d& decided) {
  const __m256d sign = _mm256_set1_pd(-0.0);
  const __m256i sb = _mm256_castpd_si256(big);
  const __m256i exponent = _mm256_and_si256(_mm256_srli_epi64(sb, 52), _mm256_set1_epi64x(0x7FF));
  const __m256i ok_exp = _mm256_andnot_si256(_mm256_cmpgt_epi64(exponent, _mm256_set1_epi64x(0x7FE)),
                                             _mm256_cmpgt_epi64(exponent, _mm256_set1_epi64x(60)));
  const __m256d ulp =
      _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_sub_epi64(exponent, _mm256_set1_epi64x(52)), 52));
  const __m256d half = _mm256_mul_pd(ulp, _mm256_set1_pd(0.5));
  const __m256d margin = _mm256_set1_pd(1.0 / (1LL << 50));
  const __m256d at = _mm256_andnot_pd(sign, small);
  const __m256d keep = _mm256_cmp_pd(at, _mm256_sub_pd(half, margin), _CMP_LT_OQ);
  const __m256d step = _mm256_and_pd(
      _mm256_cmp_pd(at, _mm256_add_pd(half, margin), _CMP_GT_OQ),
      _mm256_cmp_pd(at, _mm256_sub_pd(_mm256_mul_pd(ulp, _mm256_set1_pd(1.5)), margin), _CMP_LT_OQ));
  const __m256i same_sign =
      _mm256_cmpeq_epi64(_mm256_srli_epi64(_mm256_castpd_si256(small), 63), _mm256_srli_epi64(sb, 63));
  const __m256i power_of_two = _mm256_cmpeq_epi64(
      _mm256_and_si256(sb, _mm256_set1_epi64x(0x000FFFFFFFFFFFFFLL)), _mm256_setzero_si256());
  const __m256i below_power = _mm256_andnot_si256(same_sign, power_of_two);
  const __m256i stepped =
      _mm256_add_epi64(sb, _mm256_or_si256(_mm256_and_si256(same_sign, _mm256_set1_epi64x(1)),
                                           _mm256_andnot_si256(same_sign, _mm256_set1_epi64x(-1))));
  decided = _mm256_castsi256_pd(_mm256_andnot_si256(
      below_power,
      _mm256_and_si256(ok_exp, _mm256_or_si256(_mm256_castpd_si256(keep), _mm256_castpd_si256(step)))));
  return _mm256_blendv_pd(big, _mm256_castsi256_pd(stepped), step);
}

// (P + F dy) + base, P = p_hi + p_lo exact, F dy exact through FMA.
__attribute__((target("avx2,fma"))) inline __m256d Coordinate(__m256d p_hi, __m256d p_lo, __m256d f,
                                                              __m256d dy, __m256d base, __m256d& decided) {
  const __m256d q_hi = _mm256_mul_pd(f, dy);
  const __m256d q_lo = _mm256_fmsub_pd(f, dy, q_hi);
  __m256d s1, e1, s2, e2;
  TwoSum4(p_hi, q_hi, s1, e1);
  TwoSum4(s1, base, s2, e2);
  const __m256d low = _mm256_add_pd(_mm256_add_pd(p_lo, q_lo), _mm256_add_pd(e1, e2));
  return RoundPair(s2, low, decided);
}

__attribute__((target("avx2,fma"))) int RotateTargetsAvx2(int w, int h, double p_hi, double p_lo, double m_hi,
                                                          double m_lo, double c, double s, double cx,
                                                          double cy, const double* dy, std::int32_t* ix,
                                                          std::int32_t* iy, double* fx, double* fy,
                                                          std::uint8_t* exact) {
  const __m256d ph = _mm256_set1_pd(p_hi), pl = _mm256_set1_pd(p_lo);
  const __m256d mh = _mm256_set1_pd(m_hi), ml = _mm256_set1_pd(m_lo);
  const __m256d cc = _mm256_set1_pd(c), ss = _mm256_set1_pd(s);
  const __m256d bx = _mm256_set1_pd(cx), by = _mm256_set1_pd(cy);
  const __m256d minus_one = _mm256_set1_pd(-1.0);
  const __m256d wx = _mm256_set1_pd(w - 1.0), hy = _mm256_set1_pd(h - 1.0);
  int near = 0;
  int y = 0;
  for (; y + 4 <= h; y += 4) {
    const __m256d d = _mm256_loadu_pd(dy + y);
    __m256d okx, oky;
    const __m256d xd = Coordinate(ph, pl, ss, d, bx, okx);
    const __m256d yd = Coordinate(mh, ml, cc, d, by, oky);
    const __m256d inside = _mm256_and_pd(
        _mm256_and_pd(_mm256_cmp_pd(xd, minus_one, _CMP_GT_OQ), _mm256_cmp_pd(xd, wx, _CMP_LT_OQ)),
        _mm256_and_pd(_mm256_cmp_pd(yd, minus_one, _CMP_GT_OQ), _mm256_cmp_pd(yd, hy, _CMP_LT_OQ)));
    const __m128i ixv = _mm256_cvttpd_epi32(_mm256_and_pd(xd, inside));
    const __m128i iyv = _mm256_cvttpd_epi32(_mm256_and_pd(yd, inside));
    const __m128i inside32 = _mm256_cvtpd_epi32(_mm256_and_pd(inside, _mm256_set1_pd(1.0)));  // 1 or 0
    // ix = -1 outside: ixv where inside, else -1.
    const __m128i ix_out =
        _mm_sub_epi32(_mm_mullo_epi32(_mm_add_epi32(ixv, _mm_set1_epi32(1)), inside32), _mm_set1_epi32(1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(ix + y), ix_out);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(iy + y), iyv);
    _mm256_storeu_pd(fx + y, _mm256_sub_pd(xd, _mm256_cvtepi32_pd(ixv)));
    _mm256_storeu_pd(fy + y, _mm256_sub_pd(yd, _mm256_cvtepi32_pd(iyv)));
    const int ok = _mm256_movemask_pd(_mm256_and_pd(okx, oky));
    if (ok == 0xF) {
      std::memset(exact + y, 0, 4);
    } else {
      for (int k = 0; k < 4; ++k) {
        exact[y + k] = !(ok & (1 << k));
        near += exact[y + k];
      }
    }
  }
  for (; y < h; ++y) {
    exact[y] = 1;
    ++near;
  }
  return near;
}

#endif

}  // namespace

int RotateTargets(int w, int h, double p_hi, double p_lo, double m_hi, double m_lo, double c, double s,
                  double cx, double cy, const double* dy, std::int32_t* ix, std::int32_t* iy, double* fx,
                  double* fy, std::uint8_t* exact) {
#ifdef QIRM_X86
  if (CpuLevelActive(CpuLevel::kAvx2))
    return RotateTargetsAvx2(w, h, p_hi, p_lo, m_hi, m_lo, c, s, cx, cy, dy, ix, iy, fx, fy, exact);
#endif
  (void)w, (void)h, (void)p_hi, (void)p_lo, (void)m_hi, (void)m_lo, (void)c, (void)s, (void)cx, (void)cy,
      (void)dy, (void)ix, (void)iy, (void)fx, (void)fy, (void)exact;
  return -1;
}

void WeightedRun(std::int32_t* t, const std::int32_t* src, int y_begin, int y_end, int a, const double* fxd,
                 int x_side, const double* fyd) {
#ifdef QIRM_X86
  if (CpuLevelActive(CpuLevel::kAvx2)) return WeightedRunAvx2(t, src, y_begin, y_end, a, fxd, x_side, fyd);
#endif
  for (int y = y_begin; y < y_end; ++y) WeightedRow(t, src, y, a, fxd, x_side, fyd);
}

void ScaleRun(std::int32_t* t, const std::int32_t* src, int y_begin, int y_end, int a, double axd,
              Extended axe, const double* fyd, const double* gyd, const Extended* fye, const Extended* gye) {
#ifdef QIRM_X86
  if (CpuLevelActive(CpuLevel::kAvx2))
    return ScaleRunAvx2(t, src, y_begin, y_end, a, axd, axe, fyd, gyd, fye, gye);
#endif
  for (int y = y_begin; y < y_end; ++y) {
    std::int32_t value = t[y];
    AddFast(value, axd * fyd[y + a], axe, fye[y + a], src[y + a]);
    AddFast(value, axd * gyd[y + a + 1], axe, gye[y + a + 1], src[y + a + 1]);
    t[y] = value;
  }
}

}  // namespace qirm::simd
