// SPDX-License-Identifier: GPL-3.0-or-later
// Edge enhancement, blur, high-pass and low-pass on picture rows.
//
// A row is handled as a flat array of channel values, S values a pixel (3
// for blue, green, red; 1 for raw values), so the left and right
// neighbours of value i are i - S and i + S. The first and last pixel of a
// row take their missing neighbour from themselves; the inner span has no
// ends to care about. For 8-bit channels the inner span is a plain loop
// compiled twice, for AVX2 and for any x86-64, and picked by the active CPU
// level when a filter starts. Where a real factor is involved, its effect
// on every possible integer difference is tabulated once, so each value
// costs one table load. Every path gives exactly the formulas of the header
// (the engine tests check each against a per-pixel loop).
#include "filters/stencil_filters.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/cpu_dispatch.h"
#include "core/numbers.h"
#include "core/parallel.h"

namespace qirm {
namespace {

template <class T>
constexpr int kFull = sizeof(T) == 1 ? 255 : 65535;

template <class T>
inline T Clamp(int v) {
  return static_cast<T>(v < 0 ? 0 : v > kFull<T> ? kFull<T> : v);
}

// ---------------------------------------------------------------- spans
//
// n values of a row; c the pixel itself, l and r its left and right
// neighbours, u and d the pixels above and below (for the blur: u two rows
// above, l and r the diagonal pixels of the row above). Each is built for
// AVX2 and for the baseline by TargetVariants.

#define QIRM_SPAN inline __attribute__((always_inline))

QIRM_SPAN void FivePointSpan(const std::uint8_t* __restrict c, const std::uint8_t* __restrict l,
                             const std::uint8_t* __restrict r, const std::uint8_t* __restrict u,
                             const std::uint8_t* __restrict d, std::uint8_t* __restrict out, int n,
                             const int*) {
  for (int i = 0; i < n; ++i) {
    const int v = 5 * c[i] - l[i] - r[i] - u[i] - d[i];
    out[i] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  }
}

QIRM_SPAN void HighPassSpan(const std::uint8_t* __restrict c, const std::uint8_t* __restrict l,
                            const std::uint8_t* __restrict r, const std::uint8_t* __restrict u,
                            const std::uint8_t* __restrict d, std::uint8_t* __restrict out, int n,
                            const int*) {
  for (int i = 0; i < n; ++i) {
    const int v = 4 * c[i] - l[i] - r[i] - u[i] - d[i];
    const int clamped = v < 0 ? 0 : v > 255 ? 255 : v;
    out[i] = static_cast<std::uint8_t>(c[i] == 255 ? 255 : clamped);
  }
}

QIRM_SPAN void BlurSpan(const std::uint8_t* __restrict c, const std::uint8_t* __restrict l,
                        const std::uint8_t* __restrict r, const std::uint8_t* __restrict u,
                        const std::uint8_t* __restrict, std::uint8_t* __restrict out, int n, const int*) {
  for (int i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>((5 * c[i] + u[i] + l[i] + r[i]) >> 3);
}

// The same with a real factor: delta[k] = floor(factor * k).
QIRM_SPAN void EdgeTableSpan(const std::uint8_t* __restrict c, const std::uint8_t* __restrict l,
                             const std::uint8_t* __restrict r, const std::uint8_t* __restrict u,
                             const std::uint8_t* __restrict d, std::uint8_t* __restrict out, int n,
                             const int* __restrict delta) {
  for (int i = 0; i < n; ++i) {
    const int v = c[i] + delta[4 * c[i] - l[i] - r[i] - u[i] - d[i]];
    out[i] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  }
}

QIRM_SPAN void BlurTableSpan(const std::uint8_t* __restrict c, const std::uint8_t* __restrict l,
                             const std::uint8_t* __restrict r, const std::uint8_t* __restrict u,
                             const std::uint8_t* __restrict, std::uint8_t* __restrict out, int n,
                             const int* __restrict delta) {
  for (int i = 0; i < n; ++i) {
    const int v = c[i] + delta[u[i] + l[i] + r[i] - 3 * c[i]];
    out[i] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  }
}

// ------------------------------------------------------------ row access

// A picture or raw plane seen as rows of channel values; rows outside are
// the nearest row inside.
template <class T>
struct Rows {
  const T* base;
  std::size_t stride;
  int width;
  int height;
  const T* Row(int y) const { return base + static_cast<std::size_t>(std::clamp(y, 0, height - 1)) * stride; }
};

template <class T>
struct OutRows {
  T* base;
  std::size_t stride;
  T* Row(int y) const { return base + static_cast<std::size_t>(y) * stride; }
};

Rows<std::uint8_t> In(const Picture& p) { return {p.Row(0), p.stride(), p.width(), p.height()}; }
OutRows<std::uint8_t> Out(Picture& p) { return {p.Row(0), p.stride()}; }
Rows<std::uint16_t> In(const RawPlane& p) {
  return {p.values.data(), static_cast<std::size_t>(p.width), p.width, p.height};
}
OutRows<std::uint16_t> Out(RawPlane& p) { return {p.values.data(), static_cast<std::size_t>(p.width)}; }

RawPlane NewPlane(const RawPlane& like) {
  RawPlane p;
  p.width = like.width;
  p.height = like.height;
  p.values.assign(like.values.size(), 0);
  return p;
}

bool SameSize(const Picture& a, const Picture& b) {
  return a.width() == b.width() && a.height() == b.height();
}

using Span8 = void (*)(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*, const std::uint8_t*,
                       const std::uint8_t*, std::uint8_t*, int, const int*);

// One output row of a five-point stencil: out[i] = op(C, L, R, U, D) with
// C = centre[i], L and R the values S before and after i in side (the value
// itself at the ends of the row), U = up[i], D = down[i]. span, when given,
// computes the inner values (8-bit only) and must agree with op.
template <class T, int S, class Op>
inline void StencilRow(const T* centre, const T* side, const T* up, const T* down, T* out, int width, Op op,
                       Span8 span = nullptr, const int* delta = nullptr) {
  const int n = width * S;
  if (width == 1) {
    for (int c = 0; c < S; ++c) out[c] = op(centre[c], side[c], side[c], up[c], down[c]);
    return;
  }
  for (int c = 0; c < S; ++c) out[c] = op(centre[c], side[c], side[c + S], up[c], down[c]);
  if constexpr (sizeof(T) == 1) {
    if (span) {
      span(centre + S, side, side + 2 * S, up + S, down + S, out + S, n - 2 * S, delta);
    } else {
      for (int i = S; i < n - S; ++i) out[i] = op(centre[i], side[i - S], side[i + S], up[i], down[i]);
    }
  } else {
    for (int i = S; i < n - S; ++i) out[i] = op(centre[i], side[i - S], side[i + S], up[i], down[i]);
  }
  for (int i = n - S; i < n; ++i) out[i] = op(centre[i], side[i - S], side[i], up[i], down[i]);
}

// Calls row(y) for every row, in parts on several threads for large
// pictures, and reports the progress values on the calling thread: the
// first part's as it goes, the other parts' once all of them are done.
template <class RowFn>
void ForEachRow(int height, long long pixels, const FilterProgress& progress, RowFn row) {
  int last = -1;
  auto report = [&](int y) {
    if (!progress) return;
    const int value = static_cast<int>(200LL * y / height);
    if (value != last) progress(last = value);
  };
  const int parts = PartCount(pixels, height);
  ForEachPart(height, parts, [&](int part, long long y0, long long y1) {
    for (int y = static_cast<int>(y0); y < y1; ++y) {
      if (part == 0) report(y);
      row(y);
    }
  });
  for (int y = static_cast<int>(PartStart(height, 1, parts)); y < height; ++y) report(y);
}

// The values floor(f(d)) for d in [lo, hi], read as table()[d].
class DeltaTable {
 public:
  template <class F>
  DeltaTable(int lo, int hi, F f) : m_values(static_cast<std::size_t>(hi - lo + 1)) {
    for (int d = lo; d <= hi; ++d) m_values[static_cast<std::size_t>(d - lo)] = f(d);
    m_zero = m_values.data() - lo;
  }
  const int* operator()() const { return m_zero; }

 private:
  std::vector<int> m_values;
  const int* m_zero;
};

inline int FloorToInt(Extended v) { return static_cast<int>(std::floor(v)); }

// The weight of each of the three neighbours of the blur; 1/8 exactly for
// the amount 1.
Extended BlurWeight(double amount) { return (1 - std::pow(2.0L, -static_cast<Extended>(amount))) / 4; }

// ----------------------------------------------------------- the filters

template <class T, int S>
void EdgeRows(const Rows<T>& in, const OutRows<T>& out, double strength, const FilterProgress& progress) {
  const long long pixels = static_cast<long long>(in.width) * in.height;
  if (strength == 1.0) {
    const Span8 span = TargetVariants<FivePointSpan>::For(ActiveCpuLevel());
    ForEachRow(in.height, pixels, progress, [&](int y) {
      const T* row = in.Row(y);
      StencilRow<T, S>(
          row, row, in.Row(y - 1), in.Row(y + 1), out.Row(y), in.width,
          [](int c, int l, int r, int u, int d) { return Clamp<T>(5 * c - l - r - u - d); }, span);
    });
    return;
  }
  const DeltaTable table(-4 * kFull<T>, 4 * kFull<T>, [&](int d) { return EdgeDelta(strength, d); });
  const int* delta = table();
  const Span8 span = TargetVariants<EdgeTableSpan>::For(ActiveCpuLevel());
  ForEachRow(in.height, pixels, progress, [&](int y) {
    const T* row = in.Row(y);
    StencilRow<T, S>(
        row, row, in.Row(y - 1), in.Row(y + 1), out.Row(y), in.width,
        [delta](int c, int l, int r, int u, int d) { return Clamp<T>(c + delta[4 * c - l - r - u - d]); },
        span, delta);
  });
}

// The diagonal neighbours come from the row above, the upper one from two
// rows above; the stencil's fifth input is not used.
template <class T, int S>
void BlurRows(const Rows<T>& in, const OutRows<T>& out, double amount, const FilterProgress& progress) {
  const long long pixels = static_cast<long long>(in.width) * in.height;
  if (amount == 1.0) {
    const Span8 span = TargetVariants<BlurSpan>::For(ActiveCpuLevel());
    ForEachRow(in.height, pixels, progress, [&](int y) {
      const T* up2 = in.Row(y - 2);
      StencilRow<T, S>(
          in.Row(y), in.Row(y - 1), up2, up2, out.Row(y), in.width,
          [](int c, int l, int r, int u, int) { return Clamp<T>((5 * c + u + l + r) >> 3); }, span);
    });
    return;
  }
  const Extended weight = BlurWeight(amount);
  const DeltaTable table(-3 * kFull<T>, 3 * kFull<T>, [weight](int d) { return FloorToInt(weight * d); });
  const int* delta = table();
  const Span8 span = TargetVariants<BlurTableSpan>::For(ActiveCpuLevel());
  ForEachRow(in.height, pixels, progress, [&](int y) {
    const T* up2 = in.Row(y - 2);
    StencilRow<T, S>(
        in.Row(y), in.Row(y - 1), up2, up2, out.Row(y), in.width,
        [delta](int c, int l, int r, int u, int) { return Clamp<T>(c + delta[u + l + r - 3 * c]); }, span,
        delta);
  });
}

template <class T>
inline T HighPassValue(int c, int l, int r, int u, int d) {
  const T v = Clamp<T>(4 * c - l - r - u - d);
  return c == kFull<T> ? static_cast<T>(kFull<T>) : v;
}

template <class T, int S>
void HighPassRows(const Rows<T>& in, const OutRows<T>& out, const FilterProgress& progress) {
  const Span8 span = TargetVariants<HighPassSpan>::For(ActiveCpuLevel());
  ForEachRow(in.height, static_cast<long long>(in.width) * in.height, progress, [&](int y) {
    const T* row = in.Row(y);
    StencilRow<T, S>(row, row, in.Row(y - 1), in.Row(y + 1), out.Row(y), in.width, HighPassValue<T>, span);
  });
}

// The second pass of the low-pass: the source pixel against the high-pass
// values of its neighbours. A row is formed aside and then stored, so the
// result may replace the source.
template <class T, int S>
void LowPassRows(const Rows<T>& in, const Rows<T>& hp, const OutRows<T>& out,
                 const FilterProgress& progress) {
  const Span8 span = TargetVariants<FivePointSpan>::For(ActiveCpuLevel());
  ForEachRow(in.height, static_cast<long long>(in.width) * in.height, progress, [&](int y) {
    thread_local std::vector<T> row;
    row.resize(static_cast<std::size_t>(in.width) * S);
    StencilRow<T, S>(
        in.Row(y), hp.Row(y), hp.Row(y - 1), hp.Row(y + 1), row.data(), in.width,
        [](int c, int l, int r, int u, int d) { return Clamp<T>(5 * c - l - r - u - d); }, span);
    std::memcpy(out.Row(y), row.data(), row.size() * sizeof(T));
  });
}

}  // namespace

int EdgeDelta(double strength, int d) { return FloorToInt(static_cast<Extended>(strength) * d); }

int BlurDelta(double amount, int d) { return FloorToInt(BlurWeight(amount) * d); }

bool EdgeEnhancementInto(const Picture& source, double strength, Picture& dst,
                         const FilterProgress& progress) {
  if (!SameSize(source, dst) || &source == &dst) return false;
  if (!source.empty()) EdgeRows<std::uint8_t, 3>(In(source), Out(dst), strength, progress);
  return true;
}

bool BlurInto(const Picture& source, double amount, Picture& dst, const FilterProgress& progress) {
  if (!SameSize(source, dst) || &source == &dst) return false;
  if (!source.empty()) BlurRows<std::uint8_t, 3>(In(source), Out(dst), amount, progress);
  return true;
}

bool HighPassInto(const Picture& source, Picture& dst, const FilterProgress& progress) {
  if (!SameSize(source, dst) || &source == &dst) return false;
  if (!source.empty()) HighPassRows<std::uint8_t, 3>(In(source), Out(dst), progress);
  return true;
}

bool LowPassInto(const Picture& source, Picture& hp, Picture& dst, const FilterProgress& progress) {
  if (!SameSize(source, hp) || !SameSize(source, dst) || &hp == &source || &hp == &dst) return false;
  if (source.empty()) return true;
  HighPassRows<std::uint8_t, 3>(In(source), Out(hp), progress);
  LowPassRows<std::uint8_t, 3>(In(source), In(hp), Out(dst), progress);
  return true;
}

Picture EdgeEnhancement(const Picture& source, double strength, const FilterProgress& progress) {
  Picture result(source.width(), source.height());
  EdgeEnhancementInto(source, strength, result, progress);
  return result;
}

Picture Blur(const Picture& source, double amount, const FilterProgress& progress) {
  Picture result(source.width(), source.height());
  BlurInto(source, amount, result, progress);
  return result;
}

Picture HighPass(const Picture& source, const FilterProgress& progress) {
  Picture result(source.width(), source.height());
  HighPassInto(source, result, progress);
  return result;
}

Picture LowPass(const Picture& source, const FilterProgress& progress) {
  Picture hp(source.width(), source.height());
  Picture result(source.width(), source.height());
  LowPassInto(source, hp, result, progress);
  return result;
}

RawPlane Blur(const RawPlane& source, double amount, const FilterProgress& progress) {
  RawPlane result = NewPlane(source);
  if (!source.values.empty()) BlurRows<std::uint16_t, 1>(In(source), Out(result), amount, progress);
  return result;
}

RawPlane HighPass(const RawPlane& source, const FilterProgress& progress) {
  RawPlane result = NewPlane(source);
  if (!source.values.empty()) HighPassRows<std::uint16_t, 1>(In(source), Out(result), progress);
  return result;
}

RawPlane LowPass(const RawPlane& source, const FilterProgress& progress) {
  RawPlane result = NewPlane(source);
  if (source.values.empty()) return result;
  const RawPlane hp = HighPass(source, progress);
  LowPassRows<std::uint16_t, 1>(In(source), In(hp), Out(result), progress);
  return result;
}

}  // namespace qirm
