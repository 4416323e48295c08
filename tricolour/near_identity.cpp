// SPDX-License-Identifier: GPL-3.0-or-later
// Order-free forward spreading for maps close to the identity; see the
// header for why the sum of floors equals the plain rule.
//
// Error bound behind the margins (frames below 2^14 pixels a side, so every
// coordinate is below 2^15 and a double's half unit there is 2^-39): the
// plain coordinate is the real one rounded to extended and then to a
// double, within 2^-39 + 2^-48 of it; the fast one, two fused multiply-adds
// (x' = fma(b, dy, fma(a, dx, cx))), within 2^-38. So the two differ by
// less than 2^-37, below the coordinate margin of 2^-32: the corner
// (the truncated coordinate) is the same, and so is whether the source
// lands inside, whenever the fast coordinate is more than the margin away
// from an integer. The fractions then differ by less than 2^-37 (inside a
// run they come from one fused multiply-add on the exact difference of the
// column's base and the corner, closer still), the weights (1 - f or f,
// products of two) by less than 2^-35.9, and for values below 2^17 the
// products w v (formed as fx v, v - fx v, times 1 - fy or fy) by less than
// 2^17 2^-35.9 plus a few roundings of a double, below 2^-18.5: with the
// fraction of the fast product more than the product margin (2^-16) away
// from an integer, both products have the same floor. The extended sum t + w v with t below 2^22
// is rounded by at most 2^-41, so it does not reach the next integer either.
#include "tricolour/near_identity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "core/cpu_dispatch.h"
#include "tricolour/tri_numbers.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QIRM_NEAR_X86 1
// Several AVX-512 intrinsics of GCC's headers start from a deliberately
// undefined register, which the uninitialised-value warnings report once
// inlined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

namespace qirm::near_identity {

bool Suits(const CentreMap& map, int w, int h) {
  constexpr double kNear = 0.05;
  return w >= 16 && h >= 16 && w < (1 << 14) && h < (1 << 14) && std::abs(map.a - 1) <= kNear &&
         std::abs(map.f - 1) <= kNear && std::abs(map.b) <= kNear && std::abs(map.e) <= kNear;
}

namespace {

// Added to a target that must be recomputed; at or above kMarked a target
// is marked. Plain sums stay below 16 * 2^17 = 2^21; a target can be
// marked by at most about 27 sources, which keeps it below 2^31.
constexpr std::int32_t kMark = 1 << 25;
constexpr std::int32_t kMarked = 1 << 24;
constexpr std::int32_t kValueLimit = 1 << 17;  // the shortcut takes 1 .. 2^17 - 1

// n values of a buffer kept for the thread, from a 64-byte boundary, so that
// the vector loads and stores of its columns never split a cache line.
std::int32_t* LineAligned(std::vector<std::int32_t>& buffer, std::size_t n) {
  constexpr std::size_t kLine = 64 / sizeof(std::int32_t);
  buffer.resize(n + kLine);
  const std::size_t skip =
      (64 - reinterpret_cast<std::uintptr_t>(buffer.data()) % 64) % 64 / sizeof(std::int32_t);
  return buffer.data() + skip;
}

struct Context {
  const CentreMap& map;
  int w, h;
  double mc, mp;           // coordinate and product margins (mc 0: exact coordinates)
  bool single;             // the first pass of sixteen rows in floats
  std::int32_t* const* t;  // target columns by X
  // The scale's coordinates, exact: x' of every column, y' of every row;
  // and y' less its corner row, rounded to a float.
  std::vector<double> xs, ys;
  std::vector<float> fys;
};

// The fast coordinates of source (x, y) (exact for the scale).
inline void FastTarget(const Context& c, int x, int y, double& xd, double& yd) {
  if (!c.xs.empty()) {
    xd = c.xs[x];
    yd = c.ys[y];
    return;
  }
  const CentreMap& m = c.map;
  const double dy = y - m.cy;
  xd = std::fma(m.b, dy, std::fma(m.a, x - m.cx, m.cx));
  yd = std::fma(m.f, dy, std::fma(m.e, x - m.cx, m.cy));
}

// Adds kMark to the targets any corner near (xd, yd) could reach.
void MarkAround(Context& c, double xd, double yd) {
  const int x0 = static_cast<int>(std::floor(xd));
  const int y0 = static_cast<int>(std::floor(yd));
  for (int X = std::max(x0 - 1, 0); X <= std::min(x0 + 2, c.w - 1); ++X) {
    std::int32_t* column = c.t[X];
    for (int Y = std::max(y0 - 1, 0); Y <= std::min(y0 + 2, c.h - 1); ++Y) column[Y] += kMark;
  }
}

// floor(p) when p is safely away from a positive integer, else kMark. Below
// 1 the floor is 0 whatever the last bits: both products are >= 0.
__attribute__((always_inline)) inline std::int32_t Increment(double p, double mp) {
  const double fl = std::floor(p);
  const double fr = p - fl;
  return ((fr > mp || fl == 0) && fr < 1 - mp) ? static_cast<std::int32_t>(fl) : kMark;
}

// One source at the fast coordinates (xd, yd) with value v.
__attribute__((always_inline)) inline void SpreadOne(Context& c, double xd, double yd, std::int32_t v) {
  const double mc = c.mc;
  if (v == 0) return;  // adds exactly 0 wherever it lands
  if (!(xd > -1 - mc && xd < c.w - 1 + mc && yd > -1 - mc && yd < c.h - 1 + mc)) return;  // nowhere
  const int ix = static_cast<int>(xd), iy = static_cast<int>(yd);
  const double fx = xd - ix, fy = yd - iy;
  const bool regular = xd >= mc && xd < c.w - 1 - mc && yd >= mc && yd < c.h - 1 - mc && fx >= mc &&
                       fx < 1 - mc && fy >= mc && fy < 1 - mc;
  if (!regular) {
    // Left of column 0 or above row 0 every target it can reach lies in the
    // border band that is recomputed anyway.
    if (xd < 0 || yd < 0) return;
    MarkAround(c, xd, yd);
    return;
  }
  std::int32_t* t0 = c.t[ix];
  std::int32_t* t1 = c.t[ix + 1];
  if (v < 0 || v >= kValueLimit) {
    t0[iy] += kMark;
    t0[iy + 1] += kMark;
    t1[iy] += kMark;
    t1[iy + 1] += kMark;
    return;
  }
  const double vd = v;
  const double gx = 1 - fx, gy = 1 - fy;
  const double av = gx * vd, bv = fx * vd;
  t0[iy] += Increment(av * gy, c.mp);
  t0[iy + 1] += Increment(av * fy, c.mp);
  t1[iy] += Increment(bv * gy, c.mp);
  t1[iy + 1] += Increment(bv * fy, c.mp);
}

// Rows y0 .. y1 - 1 of source column x, one at a time.
__attribute__((always_inline)) inline void SpreadRows(Context& c, int x, const std::int32_t* src, int y0,
                                                      int y1) {
  for (int y = y0; y < y1; ++y) {
    double xd, yd;
    FastTarget(c, x, y, xd, yd);
    SpreadOne(c, xd, yd, src[y]);
  }
}

void ScalarColumn(Context& c, int x, const std::int32_t* src) { SpreadRows(c, x, src, 0, c.h); }

#ifdef QIRM_NEAR_X86

#define QIRM_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq,avx512bw,fma")))
#define QIRM_AVX512_STEP \
  __attribute__((target("avx512f,avx512vl,avx512dq,avx512bw,fma"), always_inline)) inline

// A contribution still to be added: lane 15 of `value` goes to
// t[column][row]. Groups of rows that continue the run take it as their
// first lane's second term instead.
struct Pending {
  int column = -1, row = -1;
  __m512i value{};
};

QIRM_AVX512 inline void Flush(Context& c, Pending& p) {
  if (p.column >= 0)
    c.t[p.column][p.row] += _mm_extract_epi32(_mm512_maskz_extracti32x4_epi32(0xF, p.value, 3), 3);
  p.column = -1;
}

// floor(a g) of every lane whose product keeps the margin mp from an
// integer, kMark on the others (NaN products, from values out of range,
// too). Formed on q = a g + mp (one rounding): the product is then safe
// exactly when q lies at least 2 mp above the integer below it, and that
// integer is its floor. Products below 1 are always safe (both products
// are >= 0, so the floor is 0): taking max(q, 0.5 + mp) lets them pass.
QIRM_AVX512 inline __m256i Increments(__m512d a, __m512d g, __m512d mp, __m512d low, __m512d two_mp) {
  const __m512d q = _mm512_max_pd(low, _mm512_fmadd_pd(a, g, mp));      // NaN stays NaN
  const __m512d fraction = _mm512_reduce_pd(q, _MM_FROUND_TO_NEG_INF);  // q - floor(q)
  const __mmask8 safe = _mm512_cmp_pd_mask(fraction, two_mp, _CMP_GE_OQ);
  return _mm256_mask_blend_epi32(safe, _mm256_set1_epi32(kMark), _mm512_maskz_cvttpd_epi32(0xFF, q));
}

// Row iy0 + j of the target column takes own[j] and below[j - 1]; the first
// lane's below[-1] is the pending value of the run before, when the run goes
// on.
QIRM_AVX512 inline void AddRun(Context& c, Pending& p, int column, int iy0, __m256i own, __m256i below) {
  __m256i carry = _mm256_setzero_si256();
  if (p.column == column && p.row == iy0) {
    carry = _mm512_maskz_extracti32x8_epi32(0xFF, p.value, 1);
    p.column = -1;
  } else {
    Flush(c, p);
  }
  std::int32_t* target = c.t[column] + iy0;
  const __m256i sum = _mm256_add_epi32(own, _mm256_alignr_epi32(below, carry, 7));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(target),
                      _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(target)), sum));
  p.column = column;
  p.row = iy0 + 8;
  p.value = _mm512_inserti32x8(_mm512_setzero_si512(), below, 1);
}

// The same for sixteen rows.
QIRM_AVX512 inline void AddRun16(Context& c, Pending& p, int column, int iy0, __m512i own, __m512i below) {
  __m512i carry = _mm512_setzero_si512();
  if (p.column == column && p.row == iy0) {
    carry = p.value;
    p.column = -1;
  } else {
    Flush(c, p);
  }
  std::int32_t* target = c.t[column] + iy0;
  const __m512i sum = _mm512_add_epi32(own, _mm512_alignr_epi32(below, carry, 15));
  _mm512_storeu_si512(target, _mm512_add_epi32(_mm512_loadu_si512(target), sum));
  p.column = column;
  p.row = iy0 + 16;
  p.value = below;
}

// floor(a g) of sixteen products in floats, with a margin m per lane (see
// VectorColumn); `unsure` gains the lanes the floats cannot settle.
QIRM_AVX512 inline __m512i IncrementsSingle(__m512 a, __m512 g, __m512 m, __m512 low, __m512 two_m,
                                            __mmask16& unsure) {
  const __m512 q = _mm512_max_ps(low, _mm512_fmadd_ps(a, g, m));
  unsure |= _mm512_cmp_ps_mask(_mm512_reduce_ps(q, _MM_FROUND_TO_NEG_INF), two_m, _CMP_LT_OQ);
  return _mm512_cvttps_epi32(q);
}

// A run of rows y0 .. y1 - 1 of one source column whose corners are all
// (n, q + y): one corner column, consecutive corner rows. The fast
// coordinates are monotonic along a column (rounding is monotonic), and
// x' and y' - y within half a unit of the last place of monotonic values,
// so when both ends of the run keep the margin gm from the pixel
// boundaries, every row between keeps gm less two units, still far above
// the error bound.
struct Run {
  int n = 0, q = 0;
};

constexpr double kRunMargin = 1.0 / (1LL << 32);

bool EndsHold(const Context& c, int x, int y0, int y1, const Run& r) {
  if (r.n < 0 || r.n > c.w - 2 || r.q + y0 < 0 || r.q + y1 > c.h - 1) return false;
  for (int y : {y0, y1 - 1}) {
    double xd, yd;
    FastTarget(c, x, y, xd, yd);
    const double fx = xd - r.n, fy = yd - (r.q + y);
    if (!(fx >= kRunMargin && fx < 1 - kRunMargin && fy >= kRunMargin && fy < 1 - kRunMargin)) return false;
  }
  return true;
}

// The run that starts at row y (empty when y itself is not clear of the
// boundaries): its end from the slopes of x' and y' - y, checked at both
// ends and halved until it holds.
int RunFrom(const Context& c, int x, int y, Run& r) {
  double xd, yd;
  FastTarget(c, x, y, xd, yd);
  r.n = static_cast<int>(std::floor(xd));
  r.q = static_cast<int>(std::floor(yd)) - y;
  if (!EndsHold(c, x, y, y + 1, r)) return y;
  const CentreMap& m = c.map;
  const double slope_x = c.xs.empty() ? m.b : 0.0;
  const double slope_g = (c.xs.empty() ? m.f : m.k) - 1;
  auto rows = [](double value, double slope, double lo, double hi) {
    double r = 1e9;
    if (slope > 0) r = (hi - value) / slope;
    if (slope < 0) r = (lo - value) / slope;
    return std::min(r, 1e9);
  };
  const double fit = std::min(rows(xd - r.n, slope_x, kRunMargin, 1 - kRunMargin),
                              rows(yd - (r.q + y), slope_g, kRunMargin, 1 - kRunMargin));
  long long end = y + static_cast<long long>(fit) + 1;  // past the last row that fits, or about
  end = std::min<long long>({end, c.h, c.h - 1 - r.q});
  int e = static_cast<int>(std::max<long long>(end, y + 1));
  // The estimate is off by a row or so where it is off at all: a few steps
  // back first, then halving.
  for (int back = 0; back < 4 && e > y + 1 && !EndsHold(c, x, y, e, r); ++back) --e;
  while (e > y + 1 && !EndsHold(c, x, y, e, r)) e = y + 1 + (e - y - 1) / 2;
  return e;
}

// Eight sources at a time down one source column: inside a run the eight
// land on one corner column and consecutive corner rows, so their
// contributions go into the two target columns as two vector additions;
// a run's last few rows take one more step of eight with the other lanes
// empty, and rows outside runs go through SpreadOne.
//
// Sixteen rows at a time are tried first in floats, twice the lanes, and
// kept only where every product is settled; else the sixteen rows take the
// two steps of eight in doubles. Why the floats are safe, with v exact
// (below 2^17) and every float result rounded by at most 2^-24 of itself:
// - The fractions. The scale's are the doubles' (within 2^-37 of the plain
//   ones) rounded to floats: within 2^-24.9. The rotation's are row y's
//   rounded to a float (2^-25), plus j b and j (f - 1) for row y + j, in
//   one fused step (2^-25): with |b| <= 0.05 the rounded slope adds at
//   most 15 * 0.05 * 2^-24, so fx is within 2^-23.2 and fy within 2^-23.9
//   of the plain fractions (the plain coordinates along a run are affine
//   in the row to within 2^-38). 1 - fy in floats adds 2^-25: 2^-23.4.
// - The products. b = fx v is within v (2^-23.2 + 2^-24) = 2^-22.5 v of
//   the plain fx v; a = v - b within 2^-22.1 v of (1 - fx) v; a or b times
//   1 - fy or fy within 2^-22.1 v + 2^-23.4 v = 2^-21.6 v of the plain
//   product P (itself an extended product, within 2^-63 v of the real one).
// - The test. The fused a g + m lies within 2^-21.6 v + 2^-24 (v + m)
//   < 2^-21.3 v of P + m. With m = v 2^-21 (plus the doubles' product
//   margin) a lane whose q = a g + m has a fraction of at least 2 m has P
//   strictly between floor(q) and q, so the floor of q is the floor of P.
//   Products below 1/2 pass through max(q, 1/2 + m), as in the doubles.
// What a column's steps share: the map's slopes and the column's base
// coordinates, the products' margins, and the same in floats.
struct ColumnLanes {
  bool tables;    // the scale: coordinates from c.xs, c.ys, c.fys
  double bx, by;  // the column's base coordinates (x' and y' less the rows' part)
  __m512d vb, vf, vby, lanes, one, mp, low, two_mp;
  __m256i limit;
  __m512i limit16;
  __m512 one_s, half_s, margin_scale, margin_base, steps, slope_x, slope_y;
};

QIRM_AVX512_STEP ColumnLanes ColumnLanesOf(const Context& c, int x) {
  const CentreMap& m = c.map;
  ColumnLanes k;
  k.tables = !c.xs.empty();
  k.bx = k.tables ? c.xs[x] : std::fma(m.a, x - m.cx, m.cx);
  k.by = std::fma(m.e, x - m.cx, m.cy);
  k.vb = _mm512_set1_pd(m.b);
  k.vf = _mm512_set1_pd(m.f);
  k.vby = _mm512_set1_pd(k.by);
  k.lanes = _mm512_set_pd(7, 6, 5, 4, 3, 2, 1, 0);
  k.one = _mm512_set1_pd(1.0);
  k.mp = _mm512_set1_pd(c.mp);
  k.low = _mm512_set1_pd(0.5 + c.mp);
  k.two_mp = _mm512_set1_pd(2 * c.mp);
  k.limit = _mm256_set1_epi32(kValueLimit);
  k.limit16 = _mm512_set1_epi32(kValueLimit);
  k.one_s = _mm512_set1_ps(1.0f);
  k.half_s = _mm512_set1_ps(0.5f);
  k.margin_scale = _mm512_set1_ps(0x1p-21f);
  k.margin_base = _mm512_set1_ps(static_cast<float>(c.mp));  // rounded, still above 0 or the margin
  k.steps = _mm512_set_ps(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  k.slope_x = _mm512_set1_ps(static_cast<float>(m.b));
  k.slope_y = _mm512_set1_ps(static_cast<float>(m.f - 1));  // f - 1 exact: f is near 1
  return k;
}

// One run's steps: its corner and the two target columns' pending values.
// Fractions come straight from the run's corner: bx - n and by - (q + y)
// are exact differences, so x' - n and y' - (q + y) come out of one fused
// multiply-add each, as close to the real values as x' and y'.
struct RunLanes {
  const Run& r;
  __m512d bx_n;     // bx - n, every lane
  __m512 fx_table;  // the same in floats (the scale's, for every row)
};

// The fractions of the eight rows from `row` in doubles.
QIRM_AVX512_STEP void FractionsOfEight(const Context& c, const ColumnLanes& k, const RunLanes& run, int row,
                                       __m512d& fx, __m512d& fy) {
  const __m512d corner_y = _mm512_add_pd(_mm512_set1_pd(run.r.q + row), k.lanes);
  if (k.tables) {
    fx = run.bx_n;
    fy = _mm512_sub_pd(_mm512_loadu_pd(c.ys.data() + row), corner_y);
  } else {
    const __m512d dy = _mm512_add_pd(_mm512_set1_pd(row - c.map.cy), k.lanes);
    fx = _mm512_fmadd_pd(k.vb, dy, run.bx_n);
    fy = _mm512_fmadd_pd(k.vf, dy, _mm512_sub_pd(k.vby, corner_y));
  }
}

// The tail's fractions: rows past the run (their lanes carry no value) are
// read only inside the column.
QIRM_AVX512_STEP void FractionsOfTail(const Context& c, const ColumnLanes& k, const RunLanes& run, int y,
                                      int rows, __m512d& fx, __m512d& fy) {
  if (k.tables) {
    const __mmask8 live = static_cast<__mmask8>((1u << rows) - 1);
    fx = run.bx_n;
    fy = _mm512_sub_pd(_mm512_maskz_loadu_pd(live, c.ys.data() + y),
                       _mm512_add_pd(_mm512_set1_pd(run.r.q + y), k.lanes));
  } else {
    FractionsOfEight(c, k, run, y, fx, fy);
  }
}

// Eight rows from y in doubles (the first `rows` of them only): their
// floors into the two target columns; y moves past them.
QIRM_AVX512_STEP void AddEight(Context& c, const ColumnLanes& k, const RunLanes& run, Pending& p0,
                               Pending& p1, const std::int32_t* src, int& y, __m512d fx, __m512d fy,
                               int rows = 8) {
  const __m256i v = rows == 8 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + y))
                              : _mm256_maskz_loadu_epi32(static_cast<__mmask8>((1u << rows) - 1), src + y);
  const int iy0 = run.r.q + y;
  // Values out of range become NaN, which no test passes.
  const __mmask8 in_range = _mm256_cmplt_epu32_mask(v, k.limit);  // 0 <= v < limit
  const __m512d vd =
      _mm512_mask_blend_pd(in_range, _mm512_set1_pd(std::nan("")), _mm512_maskz_cvtepi32_pd(0xFF, v));
  const __m512d gy = _mm512_sub_pd(k.one, fy);
  const __m512d bv = _mm512_mul_pd(fx, vd);
  const __m512d av = _mm512_sub_pd(vd, bv);  // (1 - fx) v within two roundings
  const __m256i i00 = Increments(av, gy, k.mp, k.low, k.two_mp);
  const __m256i i01 = Increments(av, fy, k.mp, k.low, k.two_mp);
  const __m256i i10 = Increments(bv, gy, k.mp, k.low, k.two_mp);
  const __m256i i11 = Increments(bv, fy, k.mp, k.low, k.two_mp);
  AddRun(c, p0, run.r.n, iy0, i00, i01);
  AddRun(c, p1, run.r.n + 1, iy0, i10, i11);
  y += rows;
}

// The fractions of the sixteen rows from y in floats: from the tables (the
// run's corner row of y is the floor of y'), or row y's (the doubles' first
// lane) and the other rows by their slopes b and f - 1 along the run.
QIRM_AVX512_STEP void FractionsOfSixteen(const Context& c, const ColumnLanes& k, const RunLanes& run, int y,
                                         __m512& fx, __m512& fy) {
  if (k.tables) {
    fx = run.fx_table;
    fy = _mm512_loadu_ps(c.fys.data() + y);
  } else {
    const CentreMap& m = c.map;
    const double fx_row = std::fma(m.b, y - m.cy, k.bx - run.r.n);
    const double fy_row = std::fma(m.f, y - m.cy, k.by - (run.r.q + y));
    fx = _mm512_fmadd_ps(k.steps, k.slope_x, _mm512_set1_ps(static_cast<float>(fx_row)));
    fy = _mm512_fmadd_ps(k.steps, k.slope_y, _mm512_set1_ps(static_cast<float>(fy_row)));
  }
}

// Sixteen rows from y in floats, added only when every product is settled
// (y then moves past them); false leaves them to the doubles.
QIRM_AVX512_STEP bool AddSixteenInFloats(Context& c, const ColumnLanes& k, const RunLanes& run, Pending& p0,
                                         Pending& p1, const std::int32_t* src, int& y) {
  __m512 fx, fy;
  FractionsOfSixteen(c, k, run, y, fx, fy);
  const __m512i v = _mm512_loadu_si512(src + y);
  __mmask16 unsure = _mm512_cmpge_epu32_mask(v, k.limit16);  // out of range: the doubles mark it
  const __m512 vs = _mm512_cvtepi32_ps(v);
  const __m512 margin = _mm512_fmadd_ps(vs, k.margin_scale, k.margin_base);
  const __m512 two_margin = _mm512_add_ps(margin, margin);
  const __m512 low_s = _mm512_add_ps(k.half_s, margin);
  const __m512 gy = _mm512_sub_ps(k.one_s, fy);
  const __m512 bv = _mm512_mul_ps(fx, vs);
  const __m512 av = _mm512_sub_ps(vs, bv);
  const __m512i i00 = IncrementsSingle(av, gy, margin, low_s, two_margin, unsure);
  const __m512i i01 = IncrementsSingle(av, fy, margin, low_s, two_margin, unsure);
  const __m512i i10 = IncrementsSingle(bv, gy, margin, low_s, two_margin, unsure);
  const __m512i i11 = IncrementsSingle(bv, fy, margin, low_s, two_margin, unsure);
  if (unsure != 0) return false;
  const int iy0 = run.r.q + y;
  AddRun16(c, p0, run.r.n, iy0, i00, i01);
  AddRun16(c, p1, run.r.n + 1, iy0, i10, i11);
  y += 16;
  return true;
}

QIRM_AVX512 void VectorColumn(Context& c, int x, const std::int32_t* src) {
  const ColumnLanes k = ColumnLanesOf(c, x);
  Pending p0, p1;
  for (int y = 0; y < c.h;) {
    Run r;
    const int e = RunFrom(c, x, y, r);
    // A run's last rows, fewer than eight, take a step of eight whose other
    // lanes hold 0 (they add 0 to eight targets and carry 0) where those
    // targets lie inside the column; else they go one at a time.
    const bool tail_fits = r.q + y + 8 <= c.h - 1;  // for a run that starts or ends near y
    if (e - y < 8 && !(e > y && tail_fits)) {
      SpreadRows(c, x, src, y, std::max(e, y + 1));
      y = std::max(e, y + 1);
      continue;
    }
    const RunLanes run{r, _mm512_set1_pd(k.bx - r.n), _mm512_set1_ps(static_cast<float>(k.bx - r.n))};
    __m512d fx, fy;
    while (c.single && y + 16 <= e) {
      if (AddSixteenInFloats(c, k, run, p0, p1, src, y)) continue;
      __m512d fx1, fy1;
      FractionsOfEight(c, k, run, y, fx, fy);
      FractionsOfEight(c, k, run, y + 8, fx1, fy1);
      AddEight(c, k, run, p0, p1, src, y, fx, fy);
      AddEight(c, k, run, p0, p1, src, y, fx1, fy1);
    }
    while (y + 8 <= e) {
      FractionsOfEight(c, k, run, y, fx, fy);
      AddEight(c, k, run, p0, p1, src, y, fx, fy);
    }
    if (y < e && r.q + y + 8 <= c.h - 1) {
      const int rows = e - y;
      FractionsOfTail(c, k, run, y, rows, fx, fy);
      AddEight(c, k, run, p0, p1, src, y, fx, fy, rows);
    }
    SpreadRows(c, x, src, y, e);
    y = e;
  }
  Flush(c, p0);
  Flush(c, p1);
}

#endif

// The targets of the two left columns and the two top rows.
struct Band {
  Band(int w, int h)
      : w(w), h(h), left(static_cast<std::size_t>(2) * h, 0), top(static_cast<std::size_t>(2) * w, 0) {}
  std::int32_t& at(int X, int Y) {
    return X < 2 ? left[static_cast<std::size_t>(X) * h + Y] : top[static_cast<std::size_t>(Y) * w + X];
  }
  int w, h;
  std::vector<std::int32_t> left, top;
};

// The plain rule for the band's targets: every source that can reach them,
// in source order.
void BorderBand(const Context& c, const IntMatrix& src, Band& band) {
  const CentreMap& m = c.map;
  const int w = c.w, h = c.h;
  auto in_band = [](int X, int Y) { return X < 2 || Y < 2; };
  // Rows of source column x whose fast coordinate lies below 2.01 (a
  // corner of 0 or 1), as a range [lo, hi) of rows, with a row to spare.
  auto below = [&](double base, double slope, int& lo, int& hi) {
    constexpr double kEdge = 2.01;
    if (slope == 0) {
      lo = 0;
      hi = base < kEdge ? h : 0;
      return;
    }
    const double cross = std::clamp(m.cy + (kEdge - base) / slope, -4.0, h + 4.0);
    if (slope > 0) {
      lo = 0;
      hi = std::clamp(static_cast<int>(std::floor(cross)) + 2, 0, h);
    } else {
      lo = std::clamp(static_cast<int>(std::ceil(cross)) - 2, 0, h);
      hi = h;
    }
  };
  for (int x = 0; x < w; ++x) {
#ifdef QIRM_NEAR_X86
    // A few rows of every column, 8 KiB apart in a frame of 2048 rows: the
    // top of a column further on is asked for now, or each would wait for
    // memory in turn.
    if (x + 16 < w) _mm_prefetch(reinterpret_cast<const char*>(src[x + 16]), _MM_HINT_T0);
#endif
    int lo1, hi1, lo2, hi2;
    below(std::fma(m.a, x - m.cx, m.cx), m.b, lo1, hi1);
    below(std::fma(m.e, x - m.cx, m.cy), m.f, lo2, hi2);
    if (lo1 >= hi1) lo1 = hi1 = 0;
    if (lo2 >= hi2) lo2 = hi2 = 0;
    if (lo2 < lo1) {
      std::swap(lo1, lo2);
      std::swap(hi1, hi2);
    }
    // The two ranges in row order, the second from where the first ends.
    const int ranges[2][2] = {{lo1, hi1}, {std::max(lo2, hi1), hi2}};
    const std::int32_t* column = src[x];
    for (const auto& r : ranges) {
      for (int y = r[0]; y < r[1]; ++y) {
        double xd, yd;
        if (c.xs.empty()) {
          // Sources whose fast coordinates keep well off the band (their
          // corners are 2 or more, within far less than the margin) are
          // left out before the exact coordinates are formed.
          FastTarget(c, x, y, xd, yd);
          if (xd >= 2 + 1e-6 && yd >= 2 + 1e-6) continue;
          ExactTarget(m, x, y, xd, yd);
        } else {
          xd = c.xs[x];  // the same values, tabulated
          yd = c.ys[y];
        }
        if (!(xd > -1.0 && xd < w - 1.0 && yd > -1.0 && yd < h - 1.0)) continue;
        const int ix = static_cast<int>(xd), iy = static_cast<int>(yd);
        const Extended fx = xd - ix, fy = yd - iy;
        const std::int32_t v = column[y];
        const Extended wx[2] = {1 - fx, fx}, wy[2] = {1 - fy, fy};
        for (int sy = 0; sy < 2; ++sy)
          for (int sx = 0; sx < 2; ++sx) {
            if (!in_band(ix + sx, iy + sy)) continue;
            std::int32_t& t = band.at(ix + sx, iy + sy);
            t = TruncSaturated(static_cast<Extended>(t) + wx[sx] * wy[sy] * v);
          }
      }
    }
  }
}

// One target (X >= 2, Y >= 2) by the plain rule: the sources near its
// preimage, in source order, that have a corner reaching it.
std::int32_t Recompute(const Context& c, const IntMatrix& src, int X, int Y) {
  const CentreMap& m = c.map;
  const double tx = X - m.cx, ty = Y - m.cy;
  const double det = m.a * m.f - m.b * m.e;
  const int xs = static_cast<int>(std::lround((m.f * tx - m.b * ty) / det + m.cx));
  const int ys = static_cast<int>(std::lround((-m.e * tx + m.a * ty) / det + m.cy));
  std::int32_t t = 0;
  for (int x = std::max(xs - 2, 0); x <= std::min(xs + 2, c.w - 1); ++x) {
    for (int y = std::max(ys - 2, 0); y <= std::min(ys + 2, c.h - 1); ++y) {
      double xd, yd;
      ExactTarget(m, x, y, xd, yd);
      if (!(xd > -1.0 && xd < c.w - 1.0 && yd > -1.0 && yd < c.h - 1.0)) continue;
      const int sx = X - static_cast<int>(xd), sy = Y - static_cast<int>(yd);
      if (sx < 0 || sx > 1 || sy < 0 || sy > 1) continue;
      const Extended fx = xd - static_cast<int>(xd), fy = yd - static_cast<int>(yd);
      const Extended weight = (sx ? fx : 1 - fx) * (sy ? fy : 1 - fy);
      t = TruncSaturated(static_cast<Extended>(t) + weight * src[x][y]);
    }
  }
  return t;
}

// out = in clamped to 0..65535; returns the largest value of in (a plain
// loop the compiler vectorises, once for AVX2 and once for the baseline).
// For a buffer read again at once.
__attribute__((always_inline)) inline std::int32_t ClampIntoBody(const std::int32_t* in, std::int32_t* out,
                                                                 int n) {
  std::int32_t high = INT32_MIN;
  for (int i = 0; i < n; ++i) {
    high = std::max(high, in[i]);
    out[i] = std::min(std::max(in[i], 0), 65535);
  }
  return high;
}

std::int32_t ClampIntoCachedBaseline(const std::int32_t* in, std::int32_t* out, int n) {
  return ClampIntoBody(in, out, n);
}

#ifdef QIRM_NEAR_X86
__attribute__((target("avx2"))) std::int32_t ClampIntoCachedAvx2(const std::int32_t* in, std::int32_t* out,
                                                                 int n) {
  return ClampIntoBody(in, out, n);
}

// The same into the frame, straight to memory (the result is not read again
// soon, which saves reading every line first).
QIRM_AVX512 std::int32_t ClampIntoStream(const std::int32_t* in, std::int32_t* out, int n) {
  int head = static_cast<int>((64 - reinterpret_cast<std::uintptr_t>(out) % 64) % 64 / 4);
  if (reinterpret_cast<std::uintptr_t>(out) % 4 != 0 || head > n) head = n;
  std::int32_t high = ClampIntoCachedAvx2(in, out, head);
  __m512i highs = _mm512_set1_epi32(high);
  const __m512i zero = _mm512_setzero_si512(), top = _mm512_set1_epi32(65535);
  int i = head;
  for (; i + 16 <= n; i += 16) {
    const __m512i v = _mm512_loadu_si512(in + i);
    highs = _mm512_max_epi32(highs, v);
    _mm512_stream_si512(reinterpret_cast<__m512i*>(out + i),
                        _mm512_min_epi32(_mm512_max_epi32(v, zero), top));
  }
  return std::max(_mm512_reduce_max_epi32(highs), ClampIntoCachedAvx2(in + i, out + i, n - i));
}
#endif

using ClampIntoFn = std::int32_t (*)(const std::int32_t*, std::int32_t*, int);

// The clamp of finished columns at `level`; `stream`: into a frame not
// read again soon.
ClampIntoFn ClampIntoAt(CpuLevel level, bool stream) {
#ifdef QIRM_NEAR_X86
  if (stream && level >= CpuLevel::kAvx512) return ClampIntoStream;
  if (level >= CpuLevel::kAvx2) return ClampIntoCachedAvx2;
#endif
  (void)level, (void)stream;
  return ClampIntoCachedBaseline;
}

// Target columns live in a small ring while sources can still reach them:
// source columns are taken in order, the corner column grows with the
// source column, so once column x is done no later source reaches a target
// left of the lowest corner of column x + 1. Such targets are finished
// (marked ones recomputed, the band's taken from its plain sums, clamped)
// and handed on in column order: finish(X, out) writes column X into out,
// given by column_for(X), and then done(X) is called. So the additions stay
// in cache and the result is written once. With may_decline, false when too
// many targets need the plain recomputation (before anything is handed on
// that matters: the caller then drops the result).
template <class ColumnFor, class Done>
bool Spread(const CentreMap& map, int w, int h, const IntMatrix& m, const Tuning& tuning, bool may_decline,
            bool stream, const ColumnFor& column_for, const Done& done) {
  Context c{map, w, h, tuning.coordinate_margin, tuning.product_margin, tuning.single, nullptr, {}, {}, {}};
  const CpuLevel level = ActiveCpuLevel();
  const ClampIntoFn clamp_into = ClampIntoAt(level, stream);
  if (!map.rotate) {
    // The scale's coordinates per column and per row are exact and cheap:
    // no margin for them, and a tighter one for the products, whose error
    // is then only their own rounding (below 2^-33 for values below 2^17).
    c.xs.resize(w);
    c.ys.resize(h);
    double unused;
    for (int x = 0; x < w; ++x) ExactTarget(map, x, 0, c.xs[x], unused);
    for (int y = 0; y < h; ++y) ExactTarget(map, 0, y, unused, c.ys[y]);
    c.fys.resize(h);
    for (int y = 0; y < h; ++y) c.fys[y] = static_cast<float>(c.ys[y] - std::floor(c.ys[y]));
    c.mc = 0;
    c.mp = tuning.scale_product_margin;
  }
  // The target columns source column x can write: the corners of its
  // extreme rows (x' is monotonic along the column), one to the left and two
  // to the right for the marks around uncertain corners.
  std::vector<int> lo(w + 1), hi(w);
  int width = 1;
  for (int x = 0; x < w; ++x) {
    double x0, x1, unused;
    FastTarget(c, x, 0, x0, unused);
    FastTarget(c, x, h - 1, x1, unused);
    lo[x] = static_cast<int>(std::clamp(std::floor(std::min(x0, x1)) - 1, 0.0, static_cast<double>(w)));
    hi[x] = static_cast<int>(std::clamp(std::floor(std::max(x0, x1)) + 2, -1.0, w - 1.0));
    width = std::max(width, hi[x] - lo[x] + 2);
  }
  lo[w] = w;
  if (static_cast<long long>(width) * h > (1LL << 24)) return false;
  // The band first: its targets are finished with their columns.
  Band band(w, h);
  BorderBand(c, m, band);
  thread_local std::vector<std::int32_t> ring_buffer;
  std::int32_t* const ring = LineAligned(ring_buffer, static_cast<std::size_t>(width) * h);
  std::vector<std::int32_t*> columns(w);
  for (int X = 0; X < w; ++X) columns[X] = ring + static_cast<std::size_t>(X % width) * h;
  c.t = columns.data();

  const long long allowed = static_cast<long long>(w) * h / std::max(1, tuning.recompute_share);
  long long recomputed = 0;
  int opened = 0, finished = 0;
  auto open_to = [&](int X) {
    for (; opened <= X; ++opened) std::memset(columns[opened], 0, sizeof(std::int32_t) * h);
  };
  auto clamp = [](std::int32_t v) { return std::min(std::max(v, 0), 65535); };
  // Finishes the targets left of X.
  auto finish_to = [&](int X) {
    for (; finished < X; ++finished) {
      open_to(finished);
      const std::int32_t* column = columns[finished];
      std::int32_t* out = column_for(finished);
      const std::int32_t high = clamp_into(column, out, h);
      if (finished < 2) {
        for (int Y = 0; Y < h; ++Y) out[Y] = clamp(band.at(finished, Y));
      } else {
        for (int Y = 0; Y < std::min(2, h); ++Y) out[Y] = clamp(band.at(finished, Y));
        if (high >= kMarked) {
          for (int Y = 2; Y < h; ++Y) {
            if (column[Y] < kMarked) continue;
            if (++recomputed > allowed && may_decline) return false;
            out[Y] = clamp(Recompute(c, m, finished, Y));
          }
        }
      }
      done(finished);
    }
    return true;
  };
#ifdef QIRM_NEAR_X86
  const bool vector = level >= CpuLevel::kAvx512;
#endif
  for (int x = 0; x < w; ++x) {
    // Targets left of lo[x] are done before the ring takes new columns, so
    // the open ones, lo[x] .. hi[x], never share a place in it.
    if (!finish_to(lo[x])) return false;
    open_to(hi[x]);
#ifdef QIRM_NEAR_X86
    if (vector)
      VectorColumn(c, x, m[x]);
    else
      ScalarColumn(c, x, m[x]);
#else
    ScalarColumn(c, x, m[x]);
#endif
    if (!finish_to(lo[x + 1])) return false;
  }
#ifdef QIRM_NEAR_X86
  if (stream && vector) _mm_sfence();  // the streamed stores before anything reads them
#endif
  return true;
}

}  // namespace

namespace {

// How many target columns the result must trail the sources by when it is
// written over them: a target's recomputation reads sources back to its
// preimage less 2, and a source column is read while targets up to its
// image are open. Both lie within |x - preimage| of the column, bounded by
// the map's distortion over the frame; a few columns to spare.
int TrailingColumns(const CentreMap& map, int w, int h) {
  const double det = map.a * map.f - map.b * map.e;
  const double forward = std::abs(map.a - 1) * w / 2 + std::abs(map.b) * h / 2;
  const double backward = std::abs(1 - map.f / det) * w / 2 + std::abs(map.b / det) * h / 2;
  return static_cast<int>(std::ceil(std::max(forward, backward))) + 6;
}

// Values the shortcut cannot take (below 0, 2^17 and above); each marks its
// targets for the plain recomputation. A plain loop the compiler
// vectorises, once for AVX2 and once for the baseline.
__attribute__((always_inline)) inline long long OutsideCountBody(const std::int32_t* v, long long n) {
  long long count = 0;
  for (long long i = 0; i < n; ++i)
    count += static_cast<std::uint32_t>(v[i]) >= static_cast<std::uint32_t>(kValueLimit);
  return count;
}

long long OutsideCountBaseline(const std::int32_t* v, long long n) { return OutsideCountBody(v, n); }

#ifdef QIRM_NEAR_X86
__attribute__((target("avx2"))) long long OutsideCountAvx2(const std::int32_t* v, long long n) {
  return OutsideCountBody(v, n);
}
#endif

// The same for the whole frame, estimated from every eighth column: it
// only decides whether the shortcut is worth taking (each such value sends
// its targets through the slower plain recomputation), never what the
// result is, so a sample that misses some only costs time.
long long OutsideEstimate(const IntMatrix& m, int w, int h) {
  long long (*outside_count)(const std::int32_t*, long long) = OutsideCountBaseline;
#ifdef QIRM_NEAR_X86
  if (CpuLevelActive(CpuLevel::kAvx2)) outside_count = OutsideCountAvx2;
#endif
  constexpr int kEvery = 8;
  long long count = 0;
  int columns = 0;
  for (int x = 0; x < w; x += kEvery, ++columns) count += outside_count(m[x], h);
  return count * w / columns;
}

// A finished column into the frame. Plain stores: the next step (the star
// location and the rotation) reads the frame again at once, from the cache
// where it still is.
void CopyColumn(const std::int32_t* in, std::int32_t* out, int n) {
  std::memcpy(out, in, sizeof(std::int32_t) * n);
}

}  // namespace

bool Apply(const CentreMap& map, int w, int h, IntMatrix& m, IntMatrix& scratch, const Tuning& tuning) {
  if (!Suits(map, w, h) || m.count() != w || m.n() != h) return false;
  // Over the frame itself, the finished columns trailing the sources in a
  // small ring, when that ring is small: no second frame is needed. A frame
  // with many values the shortcut cannot take is declined here, before
  // anything is written (the frame is then the caller's to transform).
  const int trail = TrailingColumns(map, w, h);
  if (static_cast<long long>(trail + 1) * h <= (1LL << 22)) {
    const long long allowed = static_cast<long long>(w) * h / std::max(1, tuning.recompute_share);
    if (4 * OutsideEstimate(m, w, h) > allowed) return false;
    thread_local std::vector<std::int32_t> delay_buffer;
    std::int32_t* const delay = LineAligned(delay_buffer, static_cast<std::size_t>(trail + 1) * h);
    auto slot = [&](int X) { return delay + static_cast<std::size_t>(X % (trail + 1)) * h; };
    const bool done = Spread(map, w, h, m, tuning, false, false, slot, [&](int X) {
      if (X >= trail) CopyColumn(slot(X - trail), m[X - trail], h);
    });
    if (!done) return false;  // declined before anything was written
    for (int X = std::max(0, w - trail); X < w; ++X) CopyColumn(slot(X), m[X], h);
    return true;
  }
  if ((scratch.count() != w || scratch.n() != h) && !scratch.Allocate(w, h)) return false;
  if (!Spread(
          map, w, h, m, tuning, true, true, [&](int X) { return scratch[X]; }, [](int) {}))
    return false;
  std::swap(m, scratch);
  return true;
}

bool ApplyTo(const CentreMap& map, int w, int h, const IntMatrix& m,
             const std::function<void(int, const std::int32_t*)>& sink, const Tuning& tuning) {
  if (!Suits(map, w, h) || m.count() != w || m.n() != h) return false;
  thread_local std::vector<std::int32_t> column_buffer;
  std::int32_t* const column = LineAligned(column_buffer, static_cast<std::size_t>(h));
  return Spread(
      map, w, h, m, tuning, false, false, [&](int) { return column; }, [&](int X) { sink(X, column); });
}

}  // namespace qirm::near_identity
