// SPDX-License-Identifier: GPL-3.0-or-later
// Hot pixels, dark mean, flat field, the 180-degree turn and the running
// mean of a channel.
#include "tricolour/calibration.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/cpu_dispatch.h"
#include "core/parallel.h"
#include "tricolour/calibration_kernels.h"
#include "tricolour/tri_numbers.h"

namespace qirm {

// ---------------------------------------------------------------------------
// Hot pixels.

void RemoveHotPixelsPlain(int w, int h, IntMatrix& m) {
  if (w < 3 || h < 3) return;
  IntMatrix p = m.Clone();
  for (int x = 1; x <= w - 2; ++x) {
    for (int y = 1; y <= h - 2; ++y) {
      long long mn = 65536;
      for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j) mn = std::min<long long>(mn, p[x + i][y + j]);
      const Extended base = static_cast<Extended>(mn) - 1;
      const Extended v = p[x][y] - base;
      const Extended n[4] = {p[x - 1][y] - base, p[x][y - 1] - base, p[x + 1][y] - base, p[x][y + 1] - base};
      int count = 0;
      for (Extended ni : n)
        if (v / ni > 2.0) ++count;
      if (count >= 1) {
        const long long sum = static_cast<long long>(p[x - 1][y]) + p[x][y - 1] + p[x + 1][y] + p[x][y + 1];
        m[x][y] = TruncSaturated(sum * static_cast<Extended>(0.25));
      }
    }
  }
}

// With v, n and mn integers and base = mn - 1, every (n - base) is at least
// 1, so (v - base) / (n - base) > 2 is exactly v - base > 2 (n - base)
// (the quotient of integers below 2^33 is never rounded across 2), and
// some neighbour passes exactly when the smallest of the four does:
// v + mn - 1 > 2 min4. The replacement sum * 0.25 of non-negative values is
// sum >> 2. The pixels are read from two saved columns (x - 1 and x as they
// were) and the untouched column x + 1. For values in 0 .. 2^28 all of it
// fits 32-bit integers and the loop has no branch, so it vectorises; the
// body is compiled once for AVX2 and once for the baseline.
namespace {

__attribute__((always_inline)) inline void HotColumnBody(const std::int32_t* __restrict left,
                                                         const std::int32_t* __restrict centre,
                                                         const std::int32_t* __restrict right, int h,
                                                         std::int32_t* __restrict out) {
  for (int y = 1; y <= h - 2; ++y) {
    const std::int32_t l = left[y], r = right[y], u = centre[y - 1], d = centre[y + 1], v = centre[y];
    const std::int32_t min4 = std::min(std::min(l, r), std::min(u, d));
    std::int32_t mn = std::min(min4, v);
    mn = std::min(mn, std::min(std::min(left[y - 1], left[y + 1]), std::min(right[y - 1], right[y + 1])));
    mn = std::min(mn, 65536);
    const std::int32_t sum = l + r + u + d;
    out[y] = v + mn - 1 > 2 * min4 ? (sum >> 2) : v;
  }
}

void HotColumnBaseline(const std::int32_t* __restrict left, const std::int32_t* __restrict centre,
                       const std::int32_t* __restrict right, int h, std::int32_t* __restrict out) {
  HotColumnBody(left, centre, right, h, out);
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void HotColumnAvx2(const std::int32_t* __restrict left,
                                                   const std::int32_t* __restrict centre,
                                                   const std::int32_t* __restrict right, int h,
                                                   std::int32_t* __restrict out) {
  HotColumnBody(left, centre, right, h, out);
}
#endif

using HotColumnFn = void (*)(const std::int32_t*, const std::int32_t*, const std::int32_t*, int,
                             std::int32_t*);

HotColumnFn HotColumnAtLevel() {
#if defined(__x86_64__) && defined(__GNUC__)
  if (CpuLevelActive(CpuLevel::kAvx2)) return HotColumnAvx2;
#endif
  return HotColumnBaseline;
}

}  // namespace

void RemoveHotPixels(int w, int h, IntMatrix& m, bool in_16_bits) {
  if (w < 3 || h < 3) return;
  for (int x = 0; x < w && !in_16_bits; ++x) {
    const std::int32_t* c = m[x];
    for (int y = 0; y < h; ++y) {
      if (c[y] < 0 || c[y] > (1 << 28)) {
        RemoveHotPixelsPlain(w, h, m);
        return;
      }
    }
  }
  const HotColumnFn hot_column = HotColumnAtLevel();
  std::vector<std::int32_t> left(m[0], m[0] + h), centre(h);
  for (int x = 1; x <= w - 2; ++x) {
    std::copy(m[x], m[x] + h, centre.begin());
    hot_column(left.data(), centre.data(), m[x + 1], h, m[x]);
    left.swap(centre);
  }
}

// ---------------------------------------------------------------------------
// Dark mean.

void AddToMean(const IntMatrix& frame, int nd, int /*w*/, int h, RealMatrix& acc, int x_begin, int x_end) {
  for (int x = x_begin; x < x_end; ++x) calib::AddQuotients(acc[x], frame[x], h, nd);
}

void TruncateMean(const RealMatrix& acc, int /*w*/, int h, IntMatrix& out, int x_begin, int x_end) {
  for (int x = x_begin; x < x_end; ++x) calib::TruncateRun(acc[x], h, out[x]);
}

bool DarkFrame::FromMean(RealMatrix& acc, int w, int h, int threads, bool clear) {
  m_wide.Release();
  m_narrow.clear();
  m_h = h;
  const std::size_t cells = static_cast<std::size_t>(w) * h;
  try {
    m_narrow.resize(cells);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const int parts = ColumnParts(threads, w);
  auto column = [&](int part) { return static_cast<int>(PartStart(w, part, parts)); };
  // Columns that fit are cleared at once, while still in cache; the others
  // keep their sums for the 32-bit frame.
  std::vector<char> fits(w, 1);
  RunInParts(parts, [&](int part) {
    for (int x = column(part); x < column(part + 1); ++x) {
      fits[x] = calib::TruncateRun16(acc[x], h, m_narrow.data() + static_cast<std::size_t>(x) * h);
      if (clear && fits[x]) std::fill(acc[x], acc[x] + h, 0.0);
    }
  });
  if (std::all_of(fits.begin(), fits.end(), [](char f) { return f != 0; })) return true;
  if (!m_wide.Allocate(w, h)) return false;
  RunInParts(parts, [&](int part) {
    for (int x = column(part); x < column(part + 1); ++x) {
      if (fits[x]) {
        std::copy(narrow_column(x), narrow_column(x) + h, m_wide[x]);
      } else {
        TruncateMean(acc, w, h, m_wide, x, x + 1);
        if (clear) std::fill(acc[x], acc[x] + h, 0.0);
      }
    }
  });
  decltype(m_narrow)().swap(m_narrow);
  return true;
}

void DarkFrame::SubtractFrom(int x, int h, std::int32_t* c) const {
  if (narrow()) {
    const std::uint16_t* d = narrow_column(x);
    for (int y = 0; y < h; ++y) c[y] -= d[y];
  } else {
    const std::int32_t* d = wide_column(x);
    for (int y = 0; y < h; ++y) c[y] -= d[y];
  }
}

void SubtractDark(const DarkFrame& dark, int w, int h, IntMatrix& m, int threads) {
  const int parts = ColumnParts(threads, w);
  RunInParts(parts, [&](int part) {
    const int x_end = static_cast<int>(PartStart(w, part + 1, parts));
    for (int x = static_cast<int>(PartStart(w, part, parts)); x < x_end; ++x) dark.SubtractFrom(x, h, m[x]);
  });
}

// ---------------------------------------------------------------------------
// Flat.

bool FlatField::Build(const IntMatrix& flat, int w, int h, int threads) {
  // Every value is written below, on the cores that read the flat.
  m_flat.clear();
  m_flat.resize(static_cast<std::size_t>(w) * h);
  // The largest value, as the rule takes it (from 0.0, a strictly larger
  // value replaces it), is the largest of the parts' largest values.
  const int parts = ColumnParts(threads, w);
  std::vector<double> highs(parts, 0.0);
  RunInParts(parts, [&](int part) {
    // Integers compared as integers (the loop then runs in vectors): their
    // largest, from 0, converts exactly to the double the rule finds.
    std::int32_t high = 0;
    const int x_end = static_cast<int>(PartStart(w, part + 1, parts));
    for (int x = static_cast<int>(PartStart(w, part, parts)); x < x_end; ++x) {
      const std::int32_t* in = flat[x];
      std::uint16_t* out = m_flat.data() + static_cast<std::size_t>(x) * h;
      for (int y = 0; y < h; ++y) {
        high = std::max(high, in[y]);
        // Sign-shifted frames hold 0..65535; anything else is kept in range
        // here and handled by the rule below through m_divisor.
        out[y] = static_cast<std::uint16_t>(std::clamp(in[y], 0, 65535));
      }
    }
    highs[part] = high;
  });
  const double fmax = *std::max_element(highs.begin(), highs.end());
  m_fmax = fmax;
  m_h = h;
  if (!(fmax > 0)) {
    m_flat.clear();
    return false;
  }
  m_divisor.assign(65536, 0.0);
  RunInParts(parts, [&](int part) {
    for (long long f = PartStart(65536, part, parts); f < PartStart(65536, part + 1, parts); ++f)
      m_divisor[f] = static_cast<double>(static_cast<Extended>(f) / fmax);
  });
  return true;
}

int FlatField::Apply(int c, int x, int y) const {
  const double l = m_divisor[m_flat[static_cast<std::size_t>(x) * m_h + y]];
  if (!(l > 0)) return c;
  return TruncSaturated(static_cast<Extended>(c) / l);
}

void CalibratePlain(const IntMatrix* dark, const FlatField* flat, int w, int h, IntMatrix& m) {
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      if (dark) m[x][y] = m[x][y] - (*dark)[x][y];
      if (flat) m[x][y] = flat->Apply(m[x][y], x, y);
    }
  }
}

void Calibrate(const IntMatrix* dark, const FlatField* flat, int /*w*/, int h, IntMatrix& m, int x_begin,
               int x_end) {
  for (int x = x_begin; x < x_end; ++x) {
    std::int32_t* c = m[x];
    const std::int32_t* d = dark ? (*dark)[x] : nullptr;
    if (flat) {
      const std::uint16_t* f = flat->values().data() + static_cast<std::size_t>(x) * h;
      calib::SubtractAndDivide(c, d, f, flat->fmax(), flat->divisor().data(), h);
    } else if (d) {
      for (int y = 0; y < h; ++y) c[y] -= d[y];
    }
  }
}

void CalibratePlain(const DarkFrame* dark, const FlatField* flat, int w, int h, IntMatrix& m) {
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      if (dark) m[x][y] = m[x][y] - dark->at(x, y);
      if (flat) m[x][y] = flat->Apply(m[x][y], x, y);
    }
  }
}

void Calibrate(const DarkFrame* dark, const FlatField* flat, int w, int h, IntMatrix& m, int x_begin,
               int x_end) {
  if (!dark) return Calibrate(static_cast<const IntMatrix*>(nullptr), flat, w, h, m, x_begin, x_end);
  for (int x = x_begin; x < x_end; ++x) {
    std::int32_t* c = m[x];
    if (flat) {
      const std::uint16_t* f = flat->values().data() + static_cast<std::size_t>(x) * h;
      if (dark->narrow()) {
        calib::SubtractAndDivide(c, dark->narrow_column(x), f, flat->fmax(), flat->divisor().data(), h);
      } else {
        calib::SubtractAndDivide(c, dark->wide_column(x), f, flat->fmax(), flat->divisor().data(), h);
      }
    } else {
      dark->SubtractFrom(x, h, c);
    }
  }
}

// ---------------------------------------------------------------------------

void Turn180(int w, int h, IntMatrix& m) {
  for (int x = 0; x < w / 2; ++x) {
    std::int32_t* a = m[x];
    std::int32_t* b = m[w - 1 - x];
    for (int y = 0; y < h; ++y) std::swap(a[y], b[h - 1 - y]);
  }
  if (w % 2) {
    std::int32_t* a = m[w / 2];
    std::reverse(a, a + h);
  }
}

void AccumulatePlain(const IntMatrix& frame, int ox, int oy, int n, int w, int h, RealMatrix& acc,
                     int x_begin, int x_end) {
  for (int x = x_begin; x < x_end; ++x) {
    for (int y = 0; y < h; ++y) {
      const long long sx = static_cast<long long>(x) + ox, sy = static_cast<long long>(y) + oy;
      if (sx > 0 && sx < w && sy > 0 && sy < h) {
        acc[x][y] = static_cast<double>(acc[x][y] + static_cast<Extended>(frame[sx][sy]) / n);
      }
    }
  }
}

void Accumulate(const IntMatrix& frame, int ox, int oy, int n, int w, int h, RealMatrix& acc, int x_begin,
                int x_end) {
  if (n <= 0) {
    AccumulatePlain(frame, ox, oy, n, w, h, acc, x_begin, x_end);
    return;
  }
  // Rows whose source row y + oy lies in 1 .. h - 1.
  const long long y0 = std::max<long long>(0, 1LL - oy);
  const long long y1 = std::min<long long>(h, static_cast<long long>(h) - oy);
  if (y0 >= y1) return;
  for (int x = x_begin; x < x_end; ++x) {
    const long long sx = static_cast<long long>(x) + ox;
    if (sx <= 0 || sx >= w) continue;
    calib::AddQuotients(acc[x] + y0, frame[static_cast<int>(sx)] + (y0 + oy), static_cast<int>(y1 - y0), n);
  }
}

void AccumulateFrameColumn(const std::int32_t* column, int sx, int ox, int oy, int n, int w, int h,
                           RealMatrix& acc) {
  const long long x = static_cast<long long>(sx) - ox;
  if (sx <= 0 || sx >= w || x < 0 || x >= w) return;
  const long long y0 = std::max<long long>(0, 1LL - oy);
  const long long y1 = std::min<long long>(h, static_cast<long long>(h) - oy);
  if (y0 >= y1) return;
  double* a = acc[static_cast<int>(x)];
  if (n <= 0) {
    for (long long y = y0; y < y1; ++y)
      a[y] = static_cast<double>(a[y] + static_cast<Extended>(column[y + oy]) / n);
    return;
  }
  calib::AddQuotients(a + y0, column + (y0 + oy), static_cast<int>(y1 - y0), n);
}

int ColumnParts(int threads, int w) { return std::clamp(threads, 1, std::max(1, w / 32)); }

int ColumnProgress(int x, int w) { return Trunc(x / (w * static_cast<Extended>(0.01))); }

}  // namespace qirm
