#include "display/levels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/numbers.h"
#include "core/parallel.h"

namespace qirm {

namespace {

// The sampling of InitialLevels over any store of raw values.
template <typename Value>
InitialLevelsResult SampleLevels(int width, int height, Value value) {
  const LevelGrid grid = InitialLevelGrid(width, height);
  LevelSums sums;
  for (int x = grid.start; x < grid.x_end; x += grid.step) {
    for (int y = grid.start; y < grid.y_end; y += grid.step) sums.Add(value(x, y));
  }
  return LevelsFromSums(sums);
}

}  // namespace

LevelGrid InitialLevelGrid(int width, int height) {
  if (width > 20 && height > 20) return {10, 4, width - 10, height - 10};
  return {0, 1, std::max(width, 0), std::max(height, 0)};
}

InitialLevelsResult LevelsFromSums(const LevelSums& sums) {
  InitialLevelsResult r;
  r.samples = sums.samples;
  if (r.samples == 0) return r;  // no pixels at all: levels 0..0
  // Sum / count in extended precision, kept as a double like every value
  // that lives between steps.
  r.mean = static_cast<double>(static_cast<Extended>(sums.sum) / r.samples);
  r.min = sums.smallest;
  r.max = Trunc((static_cast<Extended>(r.mean) - sums.smallest) * 2 + sums.smallest);
  return r;
}

InitialLevelsResult InitialLevels(const IntMatrix& raw, int width, int height) {
  return SampleLevels(width, height, [&raw](int x, int y) { return raw[x][y]; });
}

InitialLevelsResult InitialLevels(const Picture& high, const Picture& low) {
  const int width = std::min(high.width(), low.width());
  const int height = std::min(high.height(), low.height());
  return SampleLevels(width, height, [&](int x, int y) { return RawValue(high, low, x, y); });
}

LevelLut LevelTable(int max, int min) {
  // 1/255 is folded as an extended constant; the product is stored as a
  // double. Spans such as 33 and 35 then map max to 254, not 255.
  const int span = max == min ? 1 : max - min;
  const double scale = static_cast<double>(span * (1.0L / 255.0L));
  LevelLut table{};
  for (int v = 0; v < 65536; ++v) {
    const Extended q = static_cast<Extended>(v - min) / scale;
    // Clamp in the real domain first: a trunc of a huge quotient would
    // overflow int.
    int g;
    if (q >= 256)
      g = 255;
    else if (q <= -1)
      g = 0;
    else
      g = std::clamp(Trunc(q), 0, 255);
    table[v] = static_cast<std::uint8_t>(g);
  }
  return table;
}

namespace {

// Rows of a 16-bit window from raw values, row after row (`values` holds
// `count` rows of `width`): the high-byte and low-byte planes and, where
// `table` is given, the grey picture under it. Every byte of those rows is
// written. Values outside 0..65535 split as the division by 256 gives and
// look up the table by their low 16 bits, as they always have.
// Pixel x of a 24-bit row as (0, 0, v), and as grey g, with one 4-byte
// store each: the fourth byte is the next pixel's first, written again by
// that pixel's store (and 0 in a plane anyway). The last pixel of a row
// takes byte stores, so nothing past the row is touched.
inline void PutPlane(std::uint8_t* row, int x, std::uint8_t v) {
  constexpr int kShift = std::endian::native == std::endian::little ? 16 : 8;
  const std::uint32_t word = std::uint32_t{v} << kShift;
  std::memcpy(row + 3 * x, &word, 4);
}
inline void PutGrey(std::uint8_t* row, int x, std::uint8_t g) {
  const std::uint32_t word = g * 0x01010101u;
  std::memcpy(row + 3 * x, &word, 4);
}
inline void PutLast(std::uint8_t* row, int x, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  row[3 * x] = b;
  row[3 * x + 1] = g;
  row[3 * x + 2] = r;
}

// Rows of a 16-bit window from raw values, row after row (`values` holds
// `count` rows of `width`): the high-byte and low-byte planes and, where
// `table` is given, the grey picture under it. Every byte of those rows is
// written. Values outside 0..65535 split as the division by 256 gives and
// look up the table by their low 16 bits, as they always have.
template <class V>
void WriteRawRowsT(const V* values, int width, int y0, int count, const LevelLut* table, Picture* shown,
                   Picture& high, Picture& low) {
  if (width <= 0) return;
  const int last = width - 1;
  for (int r = 0; r < count; ++r) {
    const V* in = values + static_cast<std::size_t>(r) * width;
    std::uint8_t* hi = high.Row(y0 + r);
    std::uint8_t* lo = low.Row(y0 + r);
    for (int x = 0; x < last; ++x) {
      const int v = in[x];
      PutPlane(hi, x, static_cast<std::uint8_t>(v / 256));
      PutPlane(lo, x, static_cast<std::uint8_t>(v % 256));
    }
    PutLast(hi, last, 0, 0, static_cast<std::uint8_t>(in[last] / 256));
    PutLast(lo, last, 0, 0, static_cast<std::uint8_t>(in[last] % 256));
    if (table) {
      std::uint8_t* row = shown->Row(y0 + r);
      for (int x = 0; x < last; ++x) PutGrey(row, x, (*table)[static_cast<std::uint16_t>(in[x])]);
      const std::uint8_t g = (*table)[static_cast<std::uint16_t>(in[last])];
      PutLast(row, last, g, g, g);
    }
  }
}

// Rows of a raw matrix (m[x][y]) at a time: each band is copied out column
// by column, in the matrix's own order, into rows that then go out in the
// pictures' order. 32 rows of 4096 values are 512 KiB, within the core's
// cache.
constexpr int kBandRows = 32;

// Calls rows(band, y0, count) for every band of rows of the matrix, the
// band's values copied out row after row; bands shared between the cores.
// The buffers are taken here, so that a lack of memory is thrown on the
// calling thread.
template <class Rows>
void ForEachRawBand(const IntMatrix& raw, int width, int height, const Rows& rows) {
  if (width <= 0 || height <= 0) return;
  const int parts = std::max(
      1, std::min(PartCount(static_cast<long long>(width) * height), (height + kBandRows - 1) / kBandRows));
  std::vector<std::vector<std::int32_t>> bands(static_cast<std::size_t>(parts));
  for (auto& band : bands) band.resize(static_cast<std::size_t>(kBandRows) * width);
  ForEachPart(
      height, parts,
      [&](int part, long long begin, long long end) {
        std::int32_t* band = bands[static_cast<std::size_t>(part)].data();
        for (int y0 = static_cast<int>(begin); y0 < end; y0 += kBandRows) {
          const int count = static_cast<int>(std::min<long long>(kBandRows, end - y0));
          for (int x = 0; x < width; ++x) {
            const std::int32_t* column = raw[x] + y0;
            std::int32_t* out = band + x;
            for (int r = 0; r < count; ++r) out[static_cast<std::size_t>(r) * width] = column[r];
          }
          rows(band, y0, count);
        }
      },
      kBandRows);
}

void WriteRawMatrix(const IntMatrix& raw, int width, int height, const LevelLut* table, Picture* shown,
                    Picture& high, Picture& low) {
  ForEachRawBand(raw, width, height, [&](const std::int32_t* band, int y0, int count) {
    WriteRawRowsT(band, width, y0, count, table, shown, high, low);
  });
}

// The grey rows y0 .. y1 - 1 of the window's planes under `table`, the
// first `width` pixels of each.
void RenderPlaneRows(const Picture& high, const Picture& low, const LevelLut& table, int width, int y0,
                     int y1, Picture& out) {
  if (width <= 0) return;
  const int last = width - 1;
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* hi = high.Row(y) + 2;
    const std::uint8_t* lo = low.Row(y) + 2;
    std::uint8_t* row = out.Row(y);
    for (int x = 0; x < last; ++x) PutGrey(row, x, table[256 * hi[3 * x] + lo[3 * x]]);
    const std::uint8_t g = table[256 * hi[3 * last] + lo[3 * last]];
    // The last pixel of a narrower part of a wider picture: its next pixel
    // is not this row's to write.
    PutLast(row, last, g, g, g);
  }
}

}  // namespace

Picture RenderRawLevels(const IntMatrix& raw, int width, int height, int max, int min) {
  const LevelLut table = LevelTable(max, min);
  Picture out = Picture::Unfilled(width, height);
  ForEachRawBand(raw, width, height, [&](const std::int32_t* band, int y0, int count) {
    for (int r = 0; r < count; ++r) {
      const std::int32_t* in = band + static_cast<std::size_t>(r) * width;
      std::uint8_t* row = out.Row(y0 + r);
      for (int x = 0; x + 1 < width; ++x) PutGrey(row, x, table[static_cast<std::uint16_t>(in[x])]);
      const std::uint8_t g = table[static_cast<std::uint16_t>(in[width - 1])];
      PutLast(row, width - 1, g, g, g);
    }
  });
  return out;
}

void RenderLevelsInto(const Picture& high, const Picture& low, int max, int min, Picture& out) {
  const LevelLut table = LevelTable(max, min);
  const int width = std::min(high.width(), low.width());
  const int height = std::min(high.height(), low.height());
  if (width == low.width() && height == low.height()) {
    out.ResizeUnfilled(width, height);
  } else {
    // Planes of two sizes: the part outside either stays white.
    out.Resize(low.width(), low.height());
  }
  if (width <= 0 || height <= 0) return;
  ParallelFor(height, static_cast<long long>(width) * height, [&](long long y0, long long y1) {
    RenderPlaneRows(high, low, table, width, static_cast<int>(y0), static_cast<int>(y1), out);
  });
}

Picture RenderLevels(const Picture& high, const Picture& low, int max, int min) {
  Picture out;
  RenderLevelsInto(high, low, max, min, out);
  return out;
}

void SplitRawPlanes(const IntMatrix& raw, int width, int height, Picture& high, Picture& low) {
  high.ResizeUnfilled(width, height);
  low.ResizeUnfilled(width, height);
  WriteRawMatrix(raw, width, height, nullptr, nullptr, high, low);
}

void RenderRawWindow(const IntMatrix& raw, int width, int height, int max, int min, Picture& shown,
                     Picture& high, Picture& low) {
  const LevelLut table = LevelTable(max, min);
  shown.ResizeUnfilled(width, height);
  high.ResizeUnfilled(width, height);
  low.ResizeUnfilled(width, height);
  WriteRawMatrix(raw, width, height, &table, &shown, high, low);
}

void WriteRawRows(const std::uint16_t* values, int width, int y0, int count, const LevelLut* table,
                  Picture* shown, Picture& high, Picture& low) {
  WriteRawRowsT(values, width, y0, count, table, shown, high, low);
}

Picture RenderContrast(const Picture& base, double gain) {
  std::uint8_t table[256];
  for (int c = 0; c < 256; ++c) {
    const Extended product = static_cast<Extended>(c) * gain;
    table[c] = product >= 255 ? 255 : static_cast<std::uint8_t>(std::max(Trunc(product), 0));
  }
  Picture out(base.width(), base.height());
  const std::size_t bytes = base.stride();
  for (int y = 0; y < base.height(); ++y) {
    const std::uint8_t* in = base.Row(y);
    std::uint8_t* row = out.Row(y);
    for (std::size_t i = 0; i < bytes; ++i) row[i] = table[in[i]];
  }
  return out;
}

int ScaledMaxLevel(int max, int min, double factor) {
  return Trunc(static_cast<Extended>(max - min) * factor + min);
}

bool ZoomStep(double& z, ZoomDirection direction) {
  if (direction == ZoomDirection::In) {
    if (z >= 16) return false;
    z *= 2;
  } else {
    if (!(z > 0.0625)) return false;
    z /= 2;
  }
  return true;
}

double NearestZoom(double z) {
  const double rounded = std::exp2(std::round(std::log2(z)));
  return std::clamp(rounded, kMinZoom, kMaxZoom);
}

bool ParseZoomText(const std::string& text, double& z) {
  std::string number = text;
  while (!number.empty() && (number.back() == ' ' || number.back() == '%')) number.pop_back();
  while (!number.empty() && number.front() == ' ') number.erase(number.begin());
  double percent = 0;
  if (!ParseReal(number, percent) || !(percent > 0) || !std::isfinite(percent)) return false;
  z = NearestZoom(percent / 100);
  return true;
}

double FitZoom(int w, int h, int view_w, int view_h) {
  for (double z = kMaxZoom; z > kMinZoom; z /= 2) {
    if (w * z <= view_w && h * z <= view_h) return z;
  }
  return kMinZoom;
}

}  // namespace qirm
