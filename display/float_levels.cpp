// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/float_levels.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/numbers.h"
#include "core/parallel.h"

namespace qirm {

namespace {

bool PlaneRange(const FloatPlane& plane, double& lo, double& hi) {
  const int parts = std::max(1, std::min(PartCount(static_cast<long long>(plane.pixels())), plane.height));
  std::vector<float> los(parts, std::numeric_limits<float>::infinity());
  std::vector<float> his(parts, -std::numeric_limits<float>::infinity());
  ForEachPart(plane.height, parts, [&](int part, long long y0, long long y1) {
    float l = los[part], h = his[part];
    for (long long y = y0; y < y1; ++y) {
      const float* row = plane.Row(static_cast<int>(y));
      for (int x = 0; x < plane.width; ++x) {
        const float v = row[x];
        if (!std::isfinite(v)) continue;
        l = std::min(l, v);
        h = std::max(h, v);
      }
    }
    los[part] = l;
    his[part] = h;
  });
  lo = *std::min_element(los.begin(), los.end());
  hi = *std::max_element(his.begin(), his.end());
  return lo <= hi;
}

}  // namespace

bool FiniteRange(const FloatPlane* planes, int count, double& lo, double& hi) {
  lo = std::numeric_limits<double>::infinity();
  hi = -lo;
  for (int p = 0; p < count; ++p) {
    double l = 0, h = 0;
    if (!PlaneRange(planes[p], l, h)) continue;
    lo = std::min(lo, l);
    hi = std::max(hi, h);
  }
  return lo <= hi;
}

FitsScaling FloatLevelGrid(double lo, double hi) {
  if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) lo = hi = 0;
  double range = hi - lo;
  if (!(range > 0)) range = std::max(std::fabs(lo), 1.0);
  // The smallest power of two that puts the range on kFloatLevelSpan levels.
  int exponent = 0;
  std::frexp(range / kFloatLevelSpan, &exponent);
  const double step = std::ldexp(1.0, exponent);
  // Level 0 is the smallest value itself: the presets that reach it show it.
  const double offset = lo;
  FitsScaling grid;
  grid.bscale = step;
  grid.bzero = offset + 32768.0 * step;
  return grid;
}

InitialLevelsResult InitialFloatLevels(const FloatPlane* planes, int count, const FitsScaling& grid) {
  Extended sum = 0;
  long long samples = 0;
  double smallest = std::numeric_limits<double>::infinity();
  for (int p = 0; p < count; ++p) {
    const FloatPlane& plane = planes[p];
    const LevelGrid g = InitialLevelGrid(plane.width, plane.height);
    for (int y = g.start; y < g.y_end; y += g.step) {
      const float* row = plane.Row(y);
      for (int x = g.start; x < g.x_end; x += g.step) {
        if (!std::isfinite(row[x])) continue;
        const double level = LevelOf(grid, row[x]);
        sum += level;
        ++samples;
        smallest = std::min(smallest, level);
      }
    }
  }
  InitialLevelsResult r;
  r.samples = samples;
  if (samples == 0) return r;
  r.mean = static_cast<double>(sum / samples);
  r.min = static_cast<int>(std::floor(smallest));
  r.max = Trunc((static_cast<Extended>(r.mean) - r.min) * 2 + r.min);
  if (r.max <= r.min) r.max = r.min + 1;
  return r;
}

void RenderFloatLevelsInto(const FloatPlane& plane, const FitsScaling& grid, int max, int min, Picture& out) {
  out.ResizeUnfilled(plane.width, plane.height);
  if (plane.empty()) return;
  // g = (L(v) - min) / scale as one multiply: (v - at_min) * per_value.
  const double scale = std::max(1.0, static_cast<double>(max) - min) / 255.0;
  const double at_min = grid.bzero - 32768.0 * grid.bscale + grid.bscale * min;
  const double per_value = 1.0 / (grid.bscale * scale);
  const std::uint8_t undefined[3] = {kUndefinedColour & 0xFF, (kUndefinedColour >> 8) & 0xFF,
                                     (kUndefinedColour >> 16) & 0xFF};
  ParallelFor(plane.height, static_cast<long long>(plane.pixels()), [&](long long y0, long long y1) {
    for (long long y = y0; y < y1; ++y) {
      const float* in = plane.Row(static_cast<int>(y));
      std::uint8_t* row = out.Row(static_cast<int>(y));
      for (int x = 0; x < plane.width; ++x, row += 3) {
        const float v = in[x];
        if (!std::isfinite(v)) {
          row[0] = undefined[0], row[1] = undefined[1], row[2] = undefined[2];
          continue;
        }
        const double g = (v - at_min) * per_value;
        const std::uint8_t grey = g <= 0 ? 0 : g >= 255 ? 255 : static_cast<std::uint8_t>(g);
        row[0] = row[1] = row[2] = grey;
      }
    }
  });
}

std::vector<std::int64_t> FloatLevelCounts(const FloatPlane* planes, int count, const FitsScaling& grid) {
  double lo = 0, hi = 0;
  if (!FiniteRange(planes, count, lo, hi)) return std::vector<std::int64_t>(1, 0);
  const double top = std::clamp(std::floor(LevelOf(grid, hi) + 0.5), 0.0, 4 * kFloatLevelSpan);
  const std::size_t n = static_cast<std::size_t>(top) + 1;
  const int height = planes[0].height;
  const int parts =
      std::max(1, std::min(PartCount(static_cast<long long>(planes[0].pixels()) * count), height));
  std::vector<std::vector<std::int64_t>> counts(static_cast<std::size_t>(parts));
  for (auto& c : counts) c.assign(n, 0);
  ForEachPart(height, parts, [&](int part, long long y0, long long y1) {
    std::int64_t* c = counts[static_cast<std::size_t>(part)].data();
    const double offset = grid.bzero - 32768.0 * grid.bscale, per_value = 1.0 / grid.bscale;
    for (int p = 0; p < count; ++p) {
      for (long long y = y0; y < y1; ++y) {
        const float* row = planes[p].Row(static_cast<int>(y));
        for (int x = 0; x < planes[p].width; ++x) {
          if (!std::isfinite(row[x])) continue;
          const double level = std::clamp(std::floor((row[x] - offset) * per_value + 0.5), 0.0, top);
          ++c[static_cast<std::size_t>(level)];
        }
      }
    }
  });
  for (int part = 1; part < parts; ++part)
    for (std::size_t i = 0; i < n; ++i) counts[0][i] += counts[static_cast<std::size_t>(part)][i];
  return std::move(counts[0]);
}

void RenderColourLevelsInto(const FloatPlane (&planes)[3], const FitsScaling& grid, int max, int min,
                            Picture& out) {
  const FloatPlane& red = planes[0];
  out.ResizeUnfilled(red.width, red.height);
  if (red.empty()) return;
  const double scale = std::max(1.0, static_cast<double>(max) - min) / 255.0;
  const double at_min = grid.bzero - 32768.0 * grid.bscale + grid.bscale * min;
  const double per_value = 1.0 / (grid.bscale * scale);
  ParallelFor(red.height, 3LL * static_cast<long long>(red.pixels()), [&](long long y0, long long y1) {
    for (long long y = y0; y < y1; ++y) {
      const float* in[3] = {planes[0].Row(static_cast<int>(y)), planes[1].Row(static_cast<int>(y)),
                            planes[2].Row(static_cast<int>(y))};
      std::uint8_t* row = out.Row(static_cast<int>(y));
      for (int x = 0; x < red.width; ++x, row += 3) {
        if (!std::isfinite(in[0][x]) || !std::isfinite(in[1][x]) || !std::isfinite(in[2][x])) {
          row[0] = kUndefinedColour & 0xFF, row[1] = (kUndefinedColour >> 8) & 0xFF;
          row[2] = (kUndefinedColour >> 16) & 0xFF;
          continue;
        }
        for (int c = 0; c < 3; ++c) {
          const double g = (in[c][x] - at_min) * per_value;
          row[2 - c] = g <= 0 ? 0 : g >= 255 ? 255 : static_cast<std::uint8_t>(g);  // blue, green, red
        }
      }
    }
  });
}

void RenderFloatWindow(ImageDocument& doc, int max, int min) {
  if (doc.kind == WindowKind::kDeepColour)
    RenderColourLevelsInto(doc.colour, doc.scaling, max, min, doc.Image);
  else
    RenderFloatLevelsInto(doc.real, doc.scaling, max, min, doc.Image);
}

void SetUpFloatWindow(ImageDocument& doc, bool shown) {
  double lo = 0, hi = 0;
  FiniteRange(FloatPlanes(doc), FloatPlaneCount(doc), lo, hi);
  doc.scaling = FloatLevelGrid(lo, hi);
  const InitialLevelsResult levels = InitialFloatLevels(FloatPlanes(doc), FloatPlaneCount(doc), doc.scaling);
  doc.min_level = levels.min;
  doc.max_level = levels.max;
  doc.mean = levels.mean;
  doc.minimum = levels.min;
  if (shown) RenderFloatWindow(doc, doc.max_level, doc.min_level);
}

}  // namespace qirm
