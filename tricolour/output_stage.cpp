// SPDX-License-Identifier: GPL-3.0-or-later
// Background flattening, sky levels, the tone curve and the colour picture.
#include "tricolour/output_stage.h"

#include <algorithm>
#include <cmath>

#include "core/numbers.h"
#include "core/parallel.h"
#include "filters/primitives.h"
#include "tricolour/tri_numbers.h"

namespace qirm {

void FlattenLevels(int w, int h, const IntMatrix& m, double levels[4]) {
  const int bw = w / 15;
  const int bh = h / 15;
  const int x0[4] = {w / 10, (9 * w) / 10, w / 2, w / 2};
  const int y0[4] = {h / 2, h / 2, h / 10, (9 * h) / 10};
  for (int k = 0; k < 4; ++k) {
    double level = 65535.0;
    for (int x = x0[k]; x < x0[k] + bw; ++x) {
      for (int y = y0[k]; y < y0[k] + bh; ++y) {
        int median = -1;  // left as it is when the window does not fit
        WindowMedian(2, w, h, x, y, m, median);
        if (median >= 0 && median < level) level = median;
      }
    }
    levels[k] = level;
  }
}

namespace {

void Gradients(int w, int h, const IntMatrix& m, double& gx, double& gy) {
  double levels[4];
  FlattenLevels(w, h, m, levels);
  gx = static_cast<double>((static_cast<Extended>(levels[0]) - levels[1]) / w);
  gy = static_cast<double>((static_cast<Extended>(levels[2]) - levels[3]) / h);
}

}  // namespace

void FlattenBackgroundPlain(int w, int h, IntMatrix& m) {
  double gx = 0, gy = 0;
  Gradients(w, h, m, gx, gy);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y)
      m[x][y] = TruncSaturated(x * static_cast<Extended>(gx) + m[x][y] + y * static_cast<Extended>(gy));
}

void FlattenBackground(int w, int h, IntMatrix& m) {
  double gx = 0, gy = 0;
  Gradients(w, h, m, gx, gy);
  // The same sums in the same order, the products formed once per row.
  std::vector<Extended> row(h);
  for (int y = 0; y < h; ++y) row[y] = y * static_cast<Extended>(gy);
  for (int x = 0; x < w; ++x) {
    const Extended column = x * static_cast<Extended>(gx);
    std::int32_t* c = m[x];
    for (int y = 0; y < h; ++y) c[y] = TruncSaturated(column + c[y] + row[y]);
  }
}

double SkyLevel(const IntMatrix& m, int bx, int by) {
  long long sum = 0;
  for (int x = bx - 5; x <= bx + 5; ++x)
    for (int y = by - 5; y <= by + 5; ++y) sum += m[x][y];
  return static_cast<double>(static_cast<Extended>(sum) / 121);
}

int ToneCurve::Value(std::int32_t c) const { return TruncSaturated(Curve(c)); }

std::uint16_t ToneCurve::Word(std::int32_t c) const {
  // 257 x 255 = 65535: the 16-bit white is the 8-bit white.
  const int v = TruncSaturated(Curve(c) * 257);
  return static_cast<std::uint16_t>(v < 0 ? 0 : v >= 65535 ? 65535 : v);
}

double ToneCurve::Curve(std::int32_t c) const {
  double v = static_cast<double>((static_cast<Extended>(c) - sky) / divisor * gain + level);
  if (!(v >= 0)) v = 0;
  constexpr double kWhite = 255;
  switch (kind) {
    case ToneKind::kAtan:
      // atan takes and gives doubles; the quotient is rounded as it is passed.
      v = static_cast<double>(static_cast<Extended>(parameter) *
                              std::atan(static_cast<double>(v / static_cast<Extended>(parameter))));
      break;
    case ToneKind::kLinear:
      break;
    case ToneKind::kLog:
      v = kWhite * std::log1p(parameter * v / kWhite) / std::log1p(parameter);
      break;
    case ToneKind::kGamma:
      v = kWhite * std::pow(v / kWhite, 1 / parameter);
      break;
  }
  return v;
}

std::string ToneParameterProblem(ToneKind kind, double parameter) {
  if (kind == ToneKind::kLinear) return {};
  if (!std::isfinite(parameter) || !(parameter > 0)) {
    const char* name = kind == ToneKind::kLog ? "LOG" : kind == ToneKind::kGamma ? "gamma" : "ATAN";
    return std::string("the ") + name + " tone curve's parameter is " + FormatGeneral(parameter) +
           "; it must be a number above 0";
  }
  return {};
}

std::uint8_t ToneCurve::Byte(std::int32_t c) const {
  const int v = Value(c);
  return static_cast<std::uint8_t>(v < 0 ? 0 : v >= 255 ? 255 : v);
}

void ToneChannel(const IntMatrix& m, int w, int h, const ToneCurve& curve, std::vector<std::uint8_t>& bytes) {
  const std::size_t n = static_cast<std::size_t>(w) * h;
  bytes.resize(n);
  std::int32_t lo = m[0][0], hi = m[0][0];
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      lo = std::min(lo, m[x][y]);
      hi = std::max(hi, m[x][y]);
    }
  const long long range = static_cast<long long>(hi) - lo + 1;
  if (range <= (1LL << 22) && range <= static_cast<long long>(n)) {
    // Every value of the range once: the curve costs an atan, the pixels
    // then only a look-up.
    std::vector<std::uint8_t> table(static_cast<std::size_t>(range));
    for (long long k = 0; k < range; ++k) table[k] = curve.Byte(static_cast<std::int32_t>(lo + k));
    for (int x = 0; x < w; ++x) {
      const std::int32_t* c = m[x];
      std::uint8_t* out = bytes.data() + static_cast<std::size_t>(x) * h;
      for (int y = 0; y < h; ++y) out[y] = table[c[y] - lo];
    }
    return;
  }
  for (int x = 0; x < w; ++x) {
    const std::int32_t* c = m[x];
    std::uint8_t* out = bytes.data() + static_cast<std::size_t>(x) * h;
    for (int y = 0; y < h; ++y) out[y] = curve.Byte(c[y]);
  }
}

Picture ChannelsToPicture(int w, int h, const std::vector<std::uint8_t>& r,
                          const std::vector<std::uint8_t>& g, const std::vector<std::uint8_t>& b) {
  Picture picture(w, h);
  // Blocks of 64 columns keep the column reads and row writes in cache.
  constexpr int kBlock = 64;
  for (int xb = 0; xb < w; xb += kBlock) {
    const int xe = std::min(w, xb + kBlock);
    for (int y = 0; y < h; ++y) {
      std::uint8_t* row = picture.Row(y);
      for (int x = xb; x < xe; ++x) {
        const std::size_t i = static_cast<std::size_t>(x) * h + y;
        row[3 * x] = b[i];
        row[3 * x + 1] = g[i];
        row[3 * x + 2] = r[i];
      }
    }
  }
  return picture;
}

namespace {

// A channel's bytes by value: a table over its range where that is small
// enough (as ToneChannel decides), else the curve itself.
struct ToneLookup {
  const ToneCurve* curve = nullptr;
  std::int32_t lo = 0;
  std::vector<std::uint8_t> table;
};

// Column where part k of `parts` starts, at a multiple of `step`.
int ColumnStart(int w, int k, int parts, int step) { return static_cast<int>(PartStart(w, k, parts, step)); }

ToneLookup MakeLookup(const IntMatrix& m, int w, int h, const ToneCurve& curve, int parts) {
  ToneLookup t;
  t.curve = &curve;
  std::vector<std::int32_t> los(parts, m[0][0]), his(parts, m[0][0]);
  RunInParts(parts, [&](int part) {
    std::int32_t lo = los[part], hi = his[part];
    for (int x = ColumnStart(w, part, parts, 1); x < ColumnStart(w, part + 1, parts, 1); ++x) {
      const std::int32_t* c = m[x];
      for (int y = 0; y < h; ++y) {
        lo = std::min(lo, c[y]);
        hi = std::max(hi, c[y]);
      }
    }
    los[part] = lo;
    his[part] = hi;
  });
  const std::int32_t lo = *std::min_element(los.begin(), los.end());
  const std::int32_t hi = *std::max_element(his.begin(), his.end());
  const long long range = static_cast<long long>(hi) - lo + 1;
  if (range <= (1LL << 22) && range <= static_cast<long long>(w) * h) {
    t.lo = lo;
    t.table.resize(static_cast<std::size_t>(range));
    RunInParts(parts, [&](int part) {
      const long long end = PartStart(range, part + 1, parts);
      for (long long k = PartStart(range, part, parts); k < end; ++k)
        t.table[k] = curve.Byte(static_cast<std::int32_t>(lo + k));
    });
  }
  return t;
}

}  // namespace

void ToneInto(Picture& picture, int channel, const IntMatrix& m, int w, int h, const ToneCurve& curve,
              int threads) {
  const int parts = std::clamp(threads, 1, std::max(1, w / 256));
  const ToneLookup lookup = MakeLookup(m, w, h, curve, parts);
  const std::uint8_t* table = lookup.table.empty() ? nullptr : lookup.table.data() - lookup.lo;
  const int offset = 2 - channel;  // blue first in the picture's bytes
  // Tiles of 128 columns by 256 rows: each column part is toned in one
  // sweep into a small buffer, and the rows are then written from it, the
  // buffer read from the nearest cache.
  constexpr int kCols = 128, kRows = 256;
  RunInParts(parts, [&](int part) {
    std::vector<std::uint8_t> toned(static_cast<std::size_t>(kCols) * kRows);
    for (int xb = ColumnStart(w, part, parts, kCols); xb < ColumnStart(w, part + 1, parts, kCols);
         xb += kCols) {
      const int n = std::min(w, xb + kCols) - xb;
      for (int yb = 0; yb < h; yb += kRows) {
        const int rows = std::min(h, yb + kRows) - yb;
        for (int k = 0; k < n; ++k) {
          const std::int32_t* column = m[xb + k] + yb;
          std::uint8_t* out = toned.data() + static_cast<std::size_t>(k) * kRows;
          if (table) {
            for (int r = 0; r < rows; ++r) out[r] = table[column[r]];
          } else {
            for (int r = 0; r < rows; ++r) out[r] = curve.Byte(column[r]);
          }
        }
        for (int r = 0; r < rows; ++r) {
          std::uint8_t* row = picture.Row(yb + r) + 3 * xb + offset;
          for (int k = 0; k < n; ++k) row[3 * k] = toned[static_cast<std::size_t>(k) * kRows + r];
        }
      }
    }
  });
}

void ToneInto16(Rgb16Picture& picture, int channel, const IntMatrix& m, int w, int h,
                const ToneCurve& curve) {
  std::int32_t lo = m[0][0], hi = m[0][0];
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      lo = std::min(lo, m[x][y]);
      hi = std::max(hi, m[x][y]);
    }
  const long long range = static_cast<long long>(hi) - lo + 1;
  std::vector<std::uint16_t> table;
  if (range <= (1LL << 22) && range <= static_cast<long long>(w) * h) {
    table.resize(static_cast<std::size_t>(range));
    for (long long k = 0; k < range; ++k) table[k] = curve.Word(static_cast<std::int32_t>(lo + k));
  }
  // Rows outer for the picture's writes; the matrix is read across columns.
  for (int y = 0; y < h; ++y) {
    std::uint16_t* row = picture.Row(y) + channel;
    for (int x = 0; x < w; ++x) {
      const std::int32_t c = m[x][y];
      row[3 * x] = table.empty() ? curve.Word(c) : table[c - lo];
    }
  }
}

}  // namespace qirm
