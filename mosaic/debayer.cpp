// SPDX-License-Identifier: GPL-3.0-or-later
#include "mosaic/debayer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <type_traits>
#include <vector>

#include "core/cpu_dispatch.h"
#include "core/file_bytes.h"
#include "core/parallel.h"

namespace qirm {

namespace {

// ------------------------------------------------------------------ values

// How mosaic values enter the float working range and leave it:
// working = (value - offset) * scale, value = working / scale + offset.
struct Scaling {
  float offset = 0.0f;
  float scale = 1.0f;
  float unscale = 1.0f;
};

// Lowest and highest finite value of the mosaic.
template <class T>
void FiniteRange(ConstPlaneView mosaic, double& low, double& high) {
  const int parts = PartCount(static_cast<long long>(mosaic.width) * mosaic.height);
  std::vector<double> lows(parts, std::numeric_limits<double>::infinity());
  std::vector<double> highs(parts, -std::numeric_limits<double>::infinity());
  ForEachPart(mosaic.height, parts, [&](int part, long long begin, long long end) {
    double lo = lows[part];
    double hi = highs[part];
    for (long long y = begin; y < end; ++y) {
      const T* row = mosaic.Row<T>(static_cast<int>(y));
      for (int x = 0; x < mosaic.width; ++x) {
        const double v = row[x];
        if (!std::isfinite(v)) continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
    }
    lows[part] = lo;
    highs[part] = hi;
  });
  low = *std::min_element(lows.begin(), lows.end());
  high = *std::max_element(highs.begin(), highs.end());
}

// RCD's ratios want 0..1: a power of two brings the largest value there
// exactly; values below 0 are shifted by the minimum first.
Scaling RatioScaling(ConstPlaneView mosaic) {
  Scaling s;
  double low = 0;
  double high = 0;
  switch (mosaic.type) {
    case SampleType::kU8:
      high = 255;
      break;
    case SampleType::kU16:
      high = 65535;
      break;
    default:
      FiniteRange<float>(mosaic, low, high);
      if (!(low <= high)) low = high = 0;  // nothing finite
      break;
  }
  if (low < 0) {
    s.offset = static_cast<float>(low);
    high -= low;
  }
  int exponent = 0;
  if (high > 0) std::frexp(high, &exponent);  // high < 2^exponent
  s.scale = std::ldexp(1.0f, -exponent);
  s.unscale = std::ldexp(1.0f, exponent);
  return s;
}

template <class T>
inline float Load(T v, const Scaling& s) {
  if constexpr (std::is_same_v<T, float>) {
    if (!std::isfinite(v)) return 0.0f;
  }
  return (static_cast<float>(v) - s.offset) * s.scale;
}

// Branch-free, so that a row of them is vectorised: max(0, NaN) is 0.
template <class T>
inline T Store(float v, const Scaling& s) {
  v = v * s.unscale + s.offset;
  if constexpr (std::is_same_v<T, float>) {
    return v;
  } else {
    constexpr float kMax = std::numeric_limits<T>::max();
    const float clamped = std::min(kMax, std::max(0.0f, v));
    return static_cast<T>(clamped + 0.5f);
  }
}

// Reflection about the edge pixel: -k -> k, n - 1 + k -> n - 1 - k (n >= 2).
inline int Mirror(int i, int n) {
  const int period = 2 * (n - 1);
  i %= period;
  if (i < 0) i += period;
  return i < n ? i : period - i;
}

// ------------------------------------------------------------------ tiles

// One tile's working planes: the tile and a margin around it, `stride`
// floats a row. Buffer pixel (0, 0) is image pixel (x0 - margin, y0 - margin),
// with x0, y0 and the margin even: buffer and mosaic share their pattern.
struct Tile {
  int x0 = 0;
  int y0 = 0;
  int width = 0;  // of the tile itself
  int height = 0;
  int margin = 0;
  int stride = 0;  // width + 2 * margin
  int rows = 0;    // height + 2 * margin
};

struct Planes {
  std::vector<float> cfa;
  std::vector<float> rgb[3];
  std::vector<float> scratch[5];
  std::vector<float> line;
  void Size(std::size_t n, int scratch_planes) {
    cfa.resize(n);
    line.resize(n);
    for (auto& p : rgb) p.resize(n);
    for (int k = 0; k < scratch_planes; ++k) scratch[k].resize(n);
  }
};

template <class T>
void LoadTile(ConstPlaneView mosaic, const Tile& t, const Scaling& s, float* cfa) {
  const int left = t.x0 - t.margin;
  const int inner_begin = std::max(0, -left);                     // buffer columns read
  const int inner_end = std::min(t.stride, mosaic.width - left);  // straight from the row
  for (int j = 0; j < t.rows; ++j) {
    const T* src = mosaic.Row<T>(Mirror(t.y0 - t.margin + j, mosaic.height));
    float* out = cfa + static_cast<std::size_t>(j) * t.stride;
    for (int i = 0; i < inner_begin; ++i) out[i] = Load(src[Mirror(left + i, mosaic.width)], s);
    for (int i = inner_begin; i < inner_end; ++i) out[i] = Load(src[left + i], s);
    for (int i = std::max(inner_end, inner_begin); i < t.stride; ++i) {
      out[i] = Load(src[Mirror(left + i, mosaic.width)], s);
    }
  }
}

// Built for AVX2 and for the baseline (core/cpu_dispatch.h); element by
// element, so both give the same bytes.
template <class T>
inline __attribute__((always_inline)) void StoreTileBody(const Tile* tile, const Scaling* scaling,
                                                         const float* plane, const PlaneView* view) {
  const Tile t = *tile;
  const Scaling s = *scaling;  // a copy: no store into the plane can change it
  for (int j = 0; j < t.height; ++j) {
    const float* __restrict src = plane + static_cast<std::size_t>(j + t.margin) * t.stride + t.margin;
    T* __restrict dst = view->Row<T>(t.y0 + j) + t.x0;
    for (int i = 0; i < t.width; ++i) dst[i] = Store<T>(src[i], s);
  }
}

void StorePlane(const Tile& t, const Scaling& s, const float* plane, PlaneView out) {
  const CpuLevel level = ActiveCpuLevel();
  switch (out.type) {
    case SampleType::kU8:
      TargetVariants<StoreTileBody<std::uint8_t>>::For(level)(&t, &s, plane, &out);
      break;
    case SampleType::kU16:
      TargetVariants<StoreTileBody<std::uint16_t>>::For(level)(&t, &s, plane, &out);
      break;
    default:
      TargetVariants<StoreTileBody<float>>::For(level)(&t, &s, plane, &out);
      break;
  }
}

// ---------------------------------------------------------------- bilinear

// Rows j0 .. j1 - 1, columns i0 .. i1 - 1 of the buffer (at least 1 from
// its edges): every missing colour the mean of its nearest samples.
void BilinearTile(const float* cfa, int stride, int i0, int i1, int j0, int j1, BayerPattern pattern,
                  float* r, float* g, float* b) {
  for (int j = j0; j < j1; ++j) {
    const std::size_t row = static_cast<std::size_t>(j) * stride;
    const float* c = cfa + row;
    const float* n = c - stride;
    const float* s = c + stride;
    // The row holds green and `own` (red or blue); `other` is in the rows
    // above and below.
    const int first = BayerColour(pattern, i0, j);
    const int own = first == kBayerGreen ? BayerColour(pattern, i0 + 1, j) : first;
    float* out_own = (own == kBayerRed ? r : b) + row;
    float* out_other = (own == kBayerRed ? b : r) + row;
    float* out_g = g + row;
    const int own_start = BayerColour(pattern, i0, j) == own ? i0 : i0 + 1;
    const int green_start = own_start == i0 ? i0 + 1 : i0;
    for (int i = own_start; i < i1; i += 2) {
      out_own[i] = c[i];
      out_g[i] = (c[i - 1] + c[i + 1] + n[i] + s[i]) * 0.25f;
      out_other[i] = (n[i - 1] + n[i + 1] + s[i - 1] + s[i + 1]) * 0.25f;
    }
    for (int i = green_start; i < i1; i += 2) {
      out_g[i] = c[i];
      out_own[i] = (c[i - 1] + c[i + 1]) * 0.5f;
      out_other[i] = (n[i] + s[i]) * 0.5f;
    }
  }
}

// Bilinear from integer samples into planes of their type, straight from
// the mosaic's rows: a mean of 2 or 4 samples rounded half up, as the float
// path rounds it (its sums are exact).
template <class T>
struct BilinearRow {
  const T* c;  // this row, the one above, the one below
  const T* n;
  const T* s;
  T* own;    // the colour of this row's non-green pixels (red or blue)
  T* other;  // the colour of the rows above and below
  T* g;

  void OwnSite(int x, int l, int r) const {
    own[x] = c[x];
    g[x] = static_cast<T>((c[l] + c[r] + n[x] + s[x] + 2) >> 2);
    other[x] = static_cast<T>((n[l] + n[r] + s[l] + s[r] + 2) >> 2);
  }
  void GreenSite(int x, int l, int r) const {
    g[x] = c[x];
    own[x] = static_cast<T>((c[l] + c[r] + 1) >> 1);
    other[x] = static_cast<T>((n[x] + s[x] + 1) >> 1);
  }
};

template <class T>
void BilinearIntegerRows(ConstPlaneView mosaic, BayerPattern pattern, const PlaneView (&out)[3], long long y0,
                         long long y1) {
  const int w = mosaic.width;
  const int h = mosaic.height;
  for (int y = static_cast<int>(y0); y < y1; ++y) {
    const int first = BayerColour(pattern, 0, y);
    const int own = first == kBayerGreen ? BayerColour(pattern, 1, y) : first;
    const BilinearRow<T> row{
        mosaic.Row<T>(y),   mosaic.Row<T>(Mirror(y - 1, h)), mosaic.Row<T>(Mirror(y + 1, h)),
        out[own].Row<T>(y), out[2 - own].Row<T>(y),          out[kBayerGreen].Row<T>(y)};
    // Pixel -1 is pixel 1, pixel w is pixel w - 2.
    const bool own_even = first != kBayerGreen;
    auto site = [&](int x, int l, int r) {
      if (((x & 1) == 0) == own_even) {
        row.OwnSite(x, l, r);
      } else {
        row.GreenSite(x, l, r);
      }
    };
    site(0, 1, 1);
    int x = 1;
    if (own_even) {  // green at odd x, then own
      for (; x + 1 < w - 1; x += 2) {
        row.GreenSite(x, x - 1, x + 1);
        row.OwnSite(x + 1, x, x + 2);
      }
    } else {
      for (; x + 1 < w - 1; x += 2) {
        row.OwnSite(x, x - 1, x + 1);
        row.GreenSite(x + 1, x, x + 2);
      }
    }
    for (; x < w - 1; ++x) site(x, x - 1, x + 1);
    site(w - 1, w - 2, w - 2);
  }
}

// --------------------------------------------------------------------- RCD
//
// Each step is a loop over whole rows, so that the compiler's vectoriser
// takes it: a step meant for the red and blue pixels (or the green ones)
// computes every pixel of the row and keeps the value only where it is
// meant (a blend), which costs less than the scalar loop over every second
// pixel. Values computed at the other pixels are never read. Planes are
// finite everywhere (zeros where nothing was written yet), so that no
// wasted lane meets a NaN or a denormal.

constexpr float kEps = 1e-5f;
constexpr float kEpsSq = 1e-10f;

inline float Sq(float v) { return v * v; }

// The side of the tile a step leaves valid shrinks by each step's reach:
// the margin is the sum of the reaches (10), so that the tile itself is
// complete.
constexpr int kRcdMargin = 10;

// In row j the red and blue pixels are those with (i & 1) == RedBlueParity.
inline int RedBlueParity(BayerPattern p, int j) { return BayerColour(p, 0, j) == kBayerGreen ? 1 : 0; }

#define QIRM_ROW inline __attribute__((always_inline))

// Refined discrimination: the neighbourhood's where it is surer.
QIRM_ROW float Refined(float central, float around) {
  return std::fabs(0.5f - central) < std::fabs(0.5f - around) ? around : central;
}

// Step 1.1: the square of the vertical and horizontal high pass of the
// colour difference (coefficients 1, -3, -1, 6, -1, -3, 1).
QIRM_ROW void HighPassRow(const float* __restrict c, int w, int i0, int i1, float* __restrict v_out,
                          float* __restrict h_out) {
  const int w2 = 2 * w;
  const int w3 = 3 * w;
  for (int i = i0; i < i1; ++i) {
    v_out[i] =
        Sq((c[i - w3] - c[i - w] - c[i + w] + c[i + w3]) - 3.0f * (c[i - w2] + c[i + w2]) + 6.0f * c[i]);
    h_out[i] = Sq((c[i - 3] - c[i - 1] - c[i + 1] + c[i + 3]) - 3.0f * (c[i - 2] + c[i + 2]) + 6.0f * c[i]);
  }
}

// Step 1.2: the discrimination V / (V + H) over three pixels.
QIRM_ROW void DiscriminationRow(const float* __restrict v, const float* __restrict hh, int w, int i0, int i1,
                                float* __restrict out) {
  for (int i = i0; i < i1; ++i) {
    const float v_stat = std::max(kEpsSq, v[i - w] + v[i] + v[i + w]);
    const float h_stat = std::max(kEpsSq, hh[i - 1] + hh[i] + hh[i + 1]);
    out[i] = v_stat / (v_stat + h_stat);
  }
}

// Step 2: low pass (weights 4, 2 and 1 over 3 x 3; summed so that a flat
// field gives the same value at red and blue pixels). Read at red and blue
// pixels only.
QIRM_ROW void LowPassRow(const float* __restrict c, int w, int i0, int i1, float* __restrict out) {
  for (int i = i0; i < i1; ++i) {
    out[i] = (c[i] + 0.25f * (c[i - w - 1] + c[i - w + 1] + c[i + w - 1] + c[i + w + 1])) +
             0.5f * (c[i - w] + c[i + w] + c[i - 1] + c[i + 1]);
  }
}

// Step 3: green for the red and blue pixels of the row, computed at every
// pixel into `out` (KeepRow keeps the ones meant).
QIRM_ROW void GreenRow(const float* __restrict c, const float* __restrict l, const float* __restrict d, int w,
                       int i0, int i1, float* __restrict out) {
  const int w2 = 2 * w;
  const int w3 = 3 * w;
  const int w4 = 4 * w;
  for (int i = i0; i < i1; ++i) {
    const float disc = Refined(d[i], 0.25f * (d[i - w - 1] + d[i - w + 1] + d[i + w - 1] + d[i + w + 1]));

    const float n_grad = kEps + std::fabs(c[i - w] - c[i + w]) + std::fabs(c[i] - c[i - w2]) +
                         std::fabs(c[i - w] - c[i - w3]) + std::fabs(c[i - w2] - c[i - w4]);
    const float s_grad = kEps + std::fabs(c[i - w] - c[i + w]) + std::fabs(c[i] - c[i + w2]) +
                         std::fabs(c[i + w] - c[i + w3]) + std::fabs(c[i + w2] - c[i + w4]);
    const float w_grad = kEps + std::fabs(c[i - 1] - c[i + 1]) + std::fabs(c[i] - c[i - 2]) +
                         std::fabs(c[i - 1] - c[i - 3]) + std::fabs(c[i - 2] - c[i - 4]);
    const float e_grad = kEps + std::fabs(c[i - 1] - c[i + 1]) + std::fabs(c[i] - c[i + 2]) +
                         std::fabs(c[i + 1] - c[i + 3]) + std::fabs(c[i + 2] - c[i + 4]);

    // Each neighbour's green corrected by the ratio of the low passes.
    const float lc = l[i];
    const float n_est = c[i - w] * (1.0f + (lc - l[i - w2]) / (kEps + lc + l[i - w2]));
    const float s_est = c[i + w] * (1.0f + (lc - l[i + w2]) / (kEps + lc + l[i + w2]));
    const float w_est = c[i - 1] * (1.0f + (lc - l[i - 2]) / (kEps + lc + l[i - 2]));
    const float e_est = c[i + 1] * (1.0f + (lc - l[i + 2]) / (kEps + lc + l[i + 2]));

    // Inverse-gradient blends, written as a + t (b - a) so that equal
    // estimates give exactly that value.
    const float v_est = n_est + n_grad / (n_grad + s_grad) * (s_est - n_est);
    const float h_est = w_est + w_grad / (w_grad + e_grad) * (e_est - w_est);
    out[i] = v_est + disc * (h_est - v_est);
  }
}

// Step 4.0: the square of the diagonal high passes (P: north-west to
// south-east, Q: north-east to south-west). Read at red and blue pixels.
QIRM_ROW void DiagonalHighPassRow(const float* __restrict c, int w, int i0, int i1, float* __restrict p_out,
                                  float* __restrict q_out) {
  const int w2 = 2 * w;
  const int w3 = 3 * w;
  for (int i = i0; i < i1; ++i) {
    p_out[i] = Sq((c[i - w3 - 3] - c[i - w - 1] - c[i + w + 1] + c[i + w3 + 3]) -
                  3.0f * (c[i - w2 - 2] + c[i + w2 + 2]) + 6.0f * c[i]);
    q_out[i] = Sq((c[i - w3 + 3] - c[i - w + 1] - c[i + w - 1] + c[i + w3 - 3]) -
                  3.0f * (c[i - w2 + 2] + c[i + w2 - 2]) + 6.0f * c[i]);
  }
}

// Step 4.1: the diagonal discrimination P / (P + Q). Read at red and blue
// pixels.
QIRM_ROW void DiagonalDiscriminationRow(const float* __restrict p, const float* __restrict q, int w, int i0,
                                        int i1, float* __restrict out) {
  for (int i = i0; i < i1; ++i) {
    const float p_stat = std::max(kEpsSq, p[i - w - 1] + p[i] + p[i + w + 1]);
    const float q_stat = std::max(kEpsSq, q[i - w + 1] + q[i] + q[i + w - 1]);
    out[i] = p_stat / (p_stat + q_stat);
  }
}

// Step 4.2: for the red and blue pixels of row j, the colour missing there
// (cc: blue at red, red at blue) from the colour differences of the four
// diagonal neighbours, computed at every pixel into `out`. cc_* are that
// plane's rows above and below, g_* the green plane's.
QIRM_ROW void DiagonalColourRow(const float* __restrict cc_n3, const float* __restrict cc_n1,
                                const float* __restrict cc_s1, const float* __restrict cc_s3,
                                const float* __restrict g_n2, const float* __restrict g_n1,
                                const float* __restrict g0, const float* __restrict g_s1,
                                const float* __restrict g_s2, const float* __restrict d, int w, int i0,
                                int i1, float* __restrict out) {
  for (int i = i0; i < i1; ++i) {
    const float disc = Refined(d[i], 0.25f * (d[i - w - 1] + d[i - w + 1] + d[i + w - 1] + d[i + w + 1]));

    const float nw_grad = kEps + std::fabs(cc_n1[i - 1] - cc_s1[i + 1]) +
                          std::fabs(cc_n1[i - 1] - cc_n3[i - 3]) + std::fabs(g0[i] - g_n2[i - 2]);
    const float ne_grad = kEps + std::fabs(cc_n1[i + 1] - cc_s1[i - 1]) +
                          std::fabs(cc_n1[i + 1] - cc_n3[i + 3]) + std::fabs(g0[i] - g_n2[i + 2]);
    const float sw_grad = kEps + std::fabs(cc_n1[i + 1] - cc_s1[i - 1]) +
                          std::fabs(cc_s1[i - 1] - cc_s3[i - 3]) + std::fabs(g0[i] - g_s2[i - 2]);
    const float se_grad = kEps + std::fabs(cc_n1[i - 1] - cc_s1[i + 1]) +
                          std::fabs(cc_s1[i + 1] - cc_s3[i + 3]) + std::fabs(g0[i] - g_s2[i + 2]);

    const float nw_est = cc_n1[i - 1] - g_n1[i - 1];
    const float ne_est = cc_n1[i + 1] - g_n1[i + 1];
    const float sw_est = cc_s1[i - 1] - g_s1[i - 1];
    const float se_est = cc_s1[i + 1] - g_s1[i + 1];

    const float p_est = nw_est + nw_grad / (nw_grad + se_grad) * (se_est - nw_est);
    const float q_est = ne_est + ne_grad / (ne_grad + sw_grad) * (sw_est - ne_est);
    out[i] = g0[i] + (p_est + disc * (q_est - p_est));
  }
}

// Step 4.3: at every pixel of row j, red or blue (cc) from the colour
// differences of the four cardinal neighbours, into `out`; kept at the
// green pixels only (by GreenSitesRow), as the row itself is read here.
QIRM_ROW void CardinalColourRow(const float* __restrict cc_n3, const float* __restrict cc_n1,
                                const float* __restrict cc0, const float* __restrict cc_s1,
                                const float* __restrict cc_s3, const float* __restrict g_n1,
                                const float* __restrict g0, const float* __restrict g_s1,
                                const float* __restrict d, int w, int i0, int i1, float* __restrict out) {
  for (int i = i0; i < i1; ++i) {
    const float disc = Refined(d[i], 0.25f * (d[i - w - 1] + d[i - w + 1] + d[i + w - 1] + d[i + w + 1]));
    const float sn_abs = std::fabs(cc_n1[i] - cc_s1[i]);
    const float ew_abs = std::fabs(cc0[i - 1] - cc0[i + 1]);
    const float n_grad = kEps + std::fabs(g0[i] - g_n1[i]) + sn_abs + std::fabs(cc_n1[i] - cc_n3[i]);
    const float s_grad = kEps + std::fabs(g0[i] - g_s1[i]) + sn_abs + std::fabs(cc_s1[i] - cc_s3[i]);
    const float w_grad = kEps + std::fabs(g0[i] - g0[i - 1]) + ew_abs + std::fabs(cc0[i - 1] - cc0[i - 3]);
    const float e_grad = kEps + std::fabs(g0[i] - g0[i + 1]) + ew_abs + std::fabs(cc0[i + 1] - cc0[i + 3]);
    const float n_est = cc_n1[i] - g_n1[i];
    const float s_est = cc_s1[i] - g_s1[i];
    const float w_est = cc0[i - 1] - g0[i - 1];
    const float e_est = cc0[i + 1] - g0[i + 1];
    const float v_est = n_est + n_grad / (n_grad + s_grad) * (s_est - n_est);
    const float h_est = w_est + w_grad / (w_grad + e_grad) * (e_est - w_est);
    out[i] = g0[i] + (v_est + disc * (h_est - v_est));
  }
}

// Keeps `values` at the pixels of parity `parity` of the row.
QIRM_ROW void KeepRow(const float* __restrict values, int i0, int i1, int parity, float* __restrict out) {
  for (int i = i0; i < i1; ++i) out[i] = (i & 1) == parity ? values[i] : out[i];
}

QIRM_ROW void RcdTileBody(const Tile* tile, BayerPattern pattern, Planes* planes) {
  const Tile& t = *tile;
  const int w = t.stride;
  const int h = t.rows;
  const float* cfa = planes->cfa.data();
  float* rgb[3] = {planes->rgb[0].data(), planes->rgb[1].data(), planes->rgb[2].data()};
  float* g = rgb[kBayerGreen];
  float* vh = planes->scratch[0].data();     // vertical/horizontal discrimination
  float* hpf_a = planes->scratch[1].data();  // V, later P high-pass energy, later red at green
  float* hpf_b = planes->scratch[2].data();  // H, later Q high-pass energy, later blue at green
  float* lpf = planes->scratch[3].data();    // low pass, read at red and blue pixels
  float* pq = planes->scratch[4].data();     // diagonal discrimination
  float* line = planes->line.data();         // one row's values before KeepRow
  auto row = [w](const float* p, int j) { return p + static_cast<std::size_t>(j) * w; };
  auto row_out = [w](float* p, int j) { return p + static_cast<std::size_t>(j) * w; };

  // The known samples.
  for (int j = 0; j < h; ++j) {
    const int parity = RedBlueParity(pattern, j);
    const int own = BayerColour(pattern, parity, j);
    KeepRow(row(cfa, j), 0, w, parity, row_out(rgb[own], j));
    KeepRow(row(cfa, j), 0, w, parity ^ 1, row_out(g, j));
  }
  // Step 1: vertical and horizontal discrimination.
  for (int j = 3; j < h - 3; ++j) HighPassRow(row(cfa, j), w, 3, w - 3, row_out(hpf_a, j), row_out(hpf_b, j));
  for (int j = 4; j < h - 4; ++j)
    DiscriminationRow(row(hpf_a, j), row(hpf_b, j), w, 4, w - 4, row_out(vh, j));
  // Step 2: low pass.
  for (int j = 1; j < h - 1; ++j) LowPassRow(row(cfa, j), w, 1, w - 1, row_out(lpf, j));
  // Step 3: green at red and blue pixels.
  for (int j = 5; j < h - 5; ++j) {
    GreenRow(row(cfa, j), row(lpf, j), row(vh, j), w, 5, w - 5, line);
    KeepRow(line, 5, w - 5, RedBlueParity(pattern, j), row_out(g, j));
  }
  // Step 4.0 and 4.1: diagonal discrimination.
  for (int j = 3; j < h - 3; ++j) {
    DiagonalHighPassRow(row(cfa, j), w, 3, w - 3, row_out(hpf_a, j), row_out(hpf_b, j));
  }
  for (int j = 4; j < h - 4; ++j) {
    DiagonalDiscriminationRow(row(hpf_a, j), row(hpf_b, j), w, 4, w - 4, row_out(pq, j));
  }
  // Step 4.2: red at blue pixels, blue at red ones.
  for (int j = 7; j < h - 7; ++j) {
    const int parity = RedBlueParity(pattern, j);
    float* cc = rgb[2 - BayerColour(pattern, parity, j)];
    DiagonalColourRow(row(cc, j - 3), row(cc, j - 1), row(cc, j + 1), row(cc, j + 3), row(g, j - 2),
                      row(g, j - 1), row(g, j), row(g, j + 1), row(g, j + 2), row(pq, j), w, 7, w - 7, line);
    KeepRow(line, 7, w - 7, parity, row_out(cc, j));
  }
  // Step 4.3: red and blue at green pixels.
  for (int j = kRcdMargin; j < h - kRcdMargin; ++j) {
    const int green_parity = RedBlueParity(pattern, j) ^ 1;
    for (int c : {kBayerRed, kBayerBlue}) {
      const float* cc = rgb[c];
      float* values = row_out(c == kBayerRed ? hpf_a : hpf_b, j);
      CardinalColourRow(row(cc, j - 3), row(cc, j - 1), row(cc, j), row(cc, j + 1), row(cc, j + 3),
                        row(g, j - 1), row(g, j), row(g, j + 1), row(vh, j), w, kRcdMargin, w - kRcdMargin,
                        values);
    }
    // Both colours read this row's other colour at red and blue pixels
    // only: written back after both are found.
    KeepRow(row(hpf_a, j), kRcdMargin, w - kRcdMargin, green_parity, row_out(rgb[kBayerRed], j));
    KeepRow(row(hpf_b, j), kRcdMargin, w - kRcdMargin, green_parity, row_out(rgb[kBayerBlue], j));
  }
}

// For AVX2 and for the baseline (core/cpu_dispatch.h): the loops above are
// element by element, so both give the same bytes.
void RcdTile(const Tile& t, BayerPattern pattern, Planes& planes) {
  TargetVariants<RcdTileBody>::For(ActiveCpuLevel())(&t, pattern, &planes);
}

// ------------------------------------------------------------------- driver

struct Job {
  ConstPlaneView mosaic;
  BayerPattern pattern;
  DebayerMethod method;
  PlaneView out[3];
  Scaling scaling;
  int tile_w = 0;
  int tile_h = 0;
  int margin = 0;
  int tiles_x = 0;
  int tiles_y = 0;
};

template <class T>
void RunTiles(const Job& job, long long begin, long long end) {
  Planes planes;
  const std::size_t most =
      static_cast<std::size_t>(job.tile_w + 2 * job.margin) * (job.tile_h + 2 * job.margin);
  planes.Size(most, job.method == DebayerMethod::kRcd ? 5 : 0);
  for (long long k = begin; k < end; ++k) {
    Tile t;
    t.x0 = static_cast<int>(k % job.tiles_x) * job.tile_w;
    t.y0 = static_cast<int>(k / job.tiles_x) * job.tile_h;
    t.width = std::min(job.tile_w, job.mosaic.width - t.x0);
    t.height = std::min(job.tile_h, job.mosaic.height - t.y0);
    t.margin = job.margin;
    t.stride = t.width + 2 * t.margin;
    t.rows = t.height + 2 * t.margin;
    LoadTile<T>(job.mosaic, t, job.scaling, planes.cfa.data());
    if (job.method == DebayerMethod::kBilinear) {
      BilinearTile(planes.cfa.data(), t.stride, t.margin, t.margin + t.width, t.margin, t.margin + t.height,
                   job.pattern, planes.rgb[0].data(), planes.rgb[1].data(), planes.rgb[2].data());
    } else {
      RcdTile(t, job.pattern, planes);
    }
    for (int c = 0; c < 3; ++c) StorePlane(t, job.scaling, planes.rgb[c].data(), job.out[c]);
  }
}

bool SameSize(ConstPlaneView a, PlaneView b) {
  return a.width == b.width && a.height == b.height && !b.empty();
}

}  // namespace

const char* DebayerMethodName(DebayerMethod method) {
  return method == DebayerMethod::kBilinear ? "bilinear" : "rcd";
}

bool ParseDebayerMethod(const std::string& text, DebayerMethod& method) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "bilinear") {
    method = DebayerMethod::kBilinear;
    return true;
  }
  if (lower == "rcd") {
    method = DebayerMethod::kRcd;
    return true;
  }
  return false;
}

Status Debayer(ConstPlaneView mosaic, BayerPattern pattern, DebayerMethod method, PlaneView red,
               PlaneView green, PlaneView blue, const DebayerOptions& options) {
  if (mosaic.empty() || mosaic.type == SampleType::kF64) {
    return Status::Error("debayer: the mosaic is empty or of 64-bit samples");
  }
  if (mosaic.width < 2 || mosaic.height < 2) {
    return Status::Error("debayer: a " + std::to_string(mosaic.width) + " x " +
                         std::to_string(mosaic.height) + " mosaic is smaller than one 2 x 2 cell");
  }
  for (PlaneView out : {red, green, blue}) {
    if (!SameSize(mosaic, out) || out.type == SampleType::kF64) {
      return Status::Error(
          "debayer: the colour planes must be the mosaic's size, of 8, 16 or 32-bit samples");
    }
  }
  const PlaneView out[3] = {red, green, blue};
  const bool integer = mosaic.type == SampleType::kU8 || mosaic.type == SampleType::kU16;
  if (method == DebayerMethod::kBilinear && !options.plain && integer && red.type == mosaic.type &&
      green.type == mosaic.type && blue.type == mosaic.type) {
    const long long pixels = static_cast<long long>(mosaic.width) * mosaic.height;
    ParallelFor(mosaic.height, pixels, [&](long long y0, long long y1) {
      if (mosaic.type == SampleType::kU8) {
        BilinearIntegerRows<std::uint8_t>(mosaic, pattern, out, y0, y1);
      } else {
        BilinearIntegerRows<std::uint16_t>(mosaic, pattern, out, y0, y1);
      }
    });
    return Status::Ok();
  }
  Job job{mosaic, pattern, method, {red, green, blue}, {}, 0, 0, 0, 0, 0};
  if (method == DebayerMethod::kRcd) {
    job.scaling = RatioScaling(mosaic);
    job.margin = kRcdMargin;
  } else {
    job.margin = 2;
  }
  // Square tiles for RCD's many planes to stay in cache; for bilinear, wide
  // short bands (three planes, little reuse).
  int side = options.plain      ? 1 << 30
             : options.tile > 0 ? options.tile
                                : (method == DebayerMethod::kRcd ? 192 : 0);
  side += side & 1;  // even, so that every tile starts on the pattern's origin
  job.tile_w = side > 0 ? side : 1024;
  job.tile_h = side > 0 ? side : 32;
  job.tile_w = std::min(job.tile_w, mosaic.width + (mosaic.width & 1));
  job.tile_h = std::min(job.tile_h, mosaic.height + (mosaic.height & 1));
  job.tiles_x = (mosaic.width + job.tile_w - 1) / job.tile_w;
  job.tiles_y = (mosaic.height + job.tile_h - 1) / job.tile_h;
  const long long tiles = static_cast<long long>(job.tiles_x) * job.tiles_y;
  const long long pixels = static_cast<long long>(mosaic.width) * mosaic.height;
  try {
    // The plain path runs on the calling thread.
    const long long work = options.plain ? 0 : pixels;
    ParallelFor(tiles, work, [&](long long begin, long long end) {
      switch (mosaic.type) {
        case SampleType::kU8:
          RunTiles<std::uint8_t>(job, begin, end);
          break;
        case SampleType::kU16:
          RunTiles<std::uint16_t>(job, begin, end);
          break;
        default:
          RunTiles<float>(job, begin, end);
          break;
      }
    });
  } catch (const std::bad_alloc&) {
    return Status::Error("debayer: not enough memory");
  }
  return Status::Ok();
}

Status Debayer(const SampleImage& mosaic, BayerPattern pattern, DebayerMethod method, SampleImage& colour) {
  return Debayer(mosaic, pattern, method, mosaic.type(), colour);
}

Status Debayer(const SampleImage& mosaic, BayerPattern pattern, DebayerMethod method, SampleType type,
               SampleImage& colour) {
  if (mosaic.channels() != 1) return Status::Error("debayer: a colour-filter mosaic has one channel");
  if (mosaic.empty()) return Status::Error("debayer: the mosaic is empty");
  if (const std::string memory = CheckMemoryFor(mosaic.width(), mosaic.height(), 3 * SampleBytes(type) + 3);
      !memory.empty()) {
    return Status::Error("debayer: " + memory);
  }
  SampleImage out;
  if (Status status = out.Allocate(mosaic.width(), mosaic.height(), 3, type); !status) {
    return Status::Error("debayer: " + status.message());
  }
  if (Status status = Debayer(mosaic.plane(0), pattern, method, out.plane(0), out.plane(1), out.plane(2));
      !status) {
    return status;
  }
  for (const std::string& card : mosaic.cards) {
    const std::string key = card.substr(0, 8);
    if (key == "BAYERPAT" || key == "XBAYROFF" || key == "YBAYROFF") continue;
    out.cards.push_back(card);
  }
  colour = std::move(out);
  return Status::Ok();
}

bool BayerPatternFromCards(const SampleImage& mosaic, BayerPattern& pattern) {
  std::string value;
  if (!mosaic.FindCard("BAYERPAT", value) || !ParseBayerPattern(value, pattern)) return false;
  auto offset = [&](const char* keyword) {
    std::string text;
    if (!mosaic.FindCard(keyword, text)) return 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    return std::isfinite(v) ? static_cast<int>(static_cast<long long>(std::fmod(std::fabs(v), 2.0))) : 0;
  };
  pattern = ShiftedBayerPattern(pattern, offset("XBAYROFF"), offset("YBAYROFF"));
  return true;
}

}  // namespace qirm
