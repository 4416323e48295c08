// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/levels.h"

#include <algorithm>
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

InitialLevelsResult InitialLevels(const RawPlane& plane) {
  return SampleLevels(plane.width, plane.height, [&](int x, int y) { return plane.At(x, y); });
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

// Pixel x of a 24-bit row as grey g with one 4-byte store: the fourth byte
// is the next pixel's first, written again by that pixel's store. The last
// pixel of a row takes byte stores, so nothing past the row is touched.
inline void PutGrey(std::uint8_t* row, int x, std::uint8_t g) {
  const std::uint32_t word = g * 0x01010101u;
  std::memcpy(row + 3 * x, &word, 4);
}
inline void PutLast(std::uint8_t* row, int x, std::uint8_t g) {
  row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g;
}

// Grey row of `width` values under `table`; values outside 0..65535 look it
// up by their low 16 bits.
template <class V>
void GreyRow(const V* in, int width, const LevelLut& table, std::uint8_t* row) {
  const int last = width - 1;
  for (int x = 0; x < last; ++x) PutGrey(row, x, table[static_cast<std::uint16_t>(in[x])]);
  PutLast(row, last, table[static_cast<std::uint16_t>(in[last])]);
}

// Rows of a raw matrix (m[x][y]) at a time: each band is copied out column
// by column, in the matrix's own order, into rows that then go out in the
// plane's order. 32 rows of 4096 values are 512 KiB, within the core's
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

// The plane's rows (and, where `table` is given, the shown picture's) of a
// matrix; the shown grey is looked up by the matrix value itself.
void WriteRawMatrix(const IntMatrix& raw, int width, int height, const LevelLut* table, Picture* shown,
                    RawPlane& plane) {
  ForEachRawBand(raw, width, height, [&](const std::int32_t* band, int y0, int count) {
    for (int r = 0; r < count; ++r) {
      const std::int32_t* in = band + static_cast<std::size_t>(r) * width;
      std::uint16_t* out = plane.Row(y0 + r);
      for (int x = 0; x < width; ++x) out[x] = RawFromInt(in[x]);
      if (table) GreyRow(in, width, *table, shown->Row(y0 + r));
    }
  });
}

}  // namespace

Picture RenderRawLevels(const IntMatrix& raw, int width, int height, int max, int min) {
  const LevelLut table = LevelTable(max, min);
  Picture out = Picture::Unfilled(width, height);
  ForEachRawBand(raw, width, height, [&](const std::int32_t* band, int y0, int count) {
    for (int r = 0; r < count; ++r)
      GreyRow(band + static_cast<std::size_t>(r) * width, width, table, out.Row(y0 + r));
  });
  return out;
}

void RenderPlaneRows(const RawPlane& plane, const LevelLut& table, int y0, int y1, Picture& out) {
  if (plane.width <= 0) return;
  for (int y = y0; y < y1; ++y) GreyRow(plane.Row(y), plane.width, table, out.Row(y));
}

void RenderLevelsInto(const RawPlane& plane, int max, int min, Picture& out) {
  const LevelLut table = LevelTable(max, min);
  out.ResizeUnfilled(plane.width, plane.height);
  if (plane.empty()) return;
  ParallelFor(plane.height, static_cast<long long>(plane.pixels()), [&](long long y0, long long y1) {
    RenderPlaneRows(plane, table, static_cast<int>(y0), static_cast<int>(y1), out);
  });
}

Picture RenderLevels(const RawPlane& plane, int max, int min) {
  Picture out;
  RenderLevelsInto(plane, max, min, out);
  return out;
}

void FillRawPlane(const IntMatrix& raw, int width, int height, RawPlane& plane) {
  plane.ResizeUnfilled(width, height);
  WriteRawMatrix(raw, width, height, nullptr, nullptr, plane);
}

void RenderRawWindow(const IntMatrix& raw, int width, int height, int max, int min, Picture& shown,
                     RawPlane& plane) {
  const LevelLut table = LevelTable(max, min);
  shown.ResizeUnfilled(width, height);
  plane.ResizeUnfilled(width, height);
  WriteRawMatrix(raw, width, height, &table, &shown, plane);
}

Picture HighBytePicture(const RawPlane& plane) {
  Picture out = Picture::Unfilled(plane.width, plane.height);
  for (int y = 0; y < plane.height; ++y) {
    const std::uint16_t* in = plane.Row(y);
    std::uint8_t* row = out.Row(y);
    for (int x = 0; x < plane.width; ++x) {
      row[3 * x] = row[3 * x + 1] = 0;
      row[3 * x + 2] = static_cast<std::uint8_t>(in[x] >> 8);
    }
  }
  return out;
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
