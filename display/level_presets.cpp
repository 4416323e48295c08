// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/level_presets.h"

#include <algorithm>
#include <cmath>

#include "core/parallel.h"
#include "display/float_levels.h"
#include "display/levels.h"
#include "document/kind_refusal.h"

namespace qirm {

bool ParseLevelPreset(const std::string& text, LevelPreset& preset) {
  static const std::pair<const char*, LevelPreset> kNames[] = {{"auto", LevelPreset::kAuto},
                                                               {"minmax", LevelPreset::kMinMax},
                                                               {"99.5", LevelPreset::kPercent995},
                                                               {"99", LevelPreset::kPercent99},
                                                               {"zscale", LevelPreset::kZscale}};
  for (const auto& [name, value] : kNames) {
    if (text == name) {
      preset = value;
      return true;
    }
  }
  return false;
}

bool HasLevelValues(const ImageDocument& doc) {
  if (doc.kind == WindowKind::kRaw16) return !doc.raw.empty();
  if (HasFloatValues(doc)) return DataWidth(doc) > 0 && DataHeight(doc) > 0;
  return doc.kind == WindowKind::kColour && !doc.ImageZm.empty();
}

std::vector<std::int64_t> ValueCounts(const ImageDocument& doc) {
  if (!HasLevelValues(doc)) return {};
  if (HasFloatValues(doc)) return FloatLevelCounts(FloatPlanes(doc), FloatPlaneCount(doc), doc.scaling);
  if (doc.kind == WindowKind::kRaw16) {
    const int width = doc.raw.width;
    const int height = doc.raw.height;
    // Rows shared between the cores, each part with counts of its own, added
    // up at the end (counts do not depend on the order). Sky frames repeat a
    // few values: two tables, alternate pixels, keep one count's increment
    // from waiting for the last.
    const long long pixels = static_cast<long long>(width) * height;
    const int parts = std::max(1, std::min(PartCount(pixels), height));
    std::vector<std::vector<std::uint32_t>> part_counts(static_cast<std::size_t>(parts));
    for (auto& c : part_counts) c.assign(2 * 65536, 0);  // on this thread: a lack of memory throws here
    ForEachPart(height, parts, [&](int part, long long y0, long long y1) {
      std::vector<std::uint32_t>& c = part_counts[static_cast<std::size_t>(part)];
      std::uint32_t* a = c.data();
      std::uint32_t* b = c.data() + 65536;
      for (long long y = y0; y < y1; ++y) {
        const std::uint16_t* in = doc.raw.Row(static_cast<int>(y));
        int x = 0;
        for (; x + 1 < width; x += 2) {
          ++a[in[x]];
          ++b[in[x + 1]];
        }
        if (x < width) ++a[in[x]];
      }
    });
    // 32-bit counts: a part holds far fewer than 2^32 pixels.
    std::vector<std::int64_t> counts(65536, 0);
    for (const auto& c : part_counts) {
      for (int v = 0; v < 65536; ++v) counts[v] += std::int64_t{c[v]} + c[65536 + v];
    }
    return counts;
  }
  std::vector<std::int64_t> counts(256, 0);
  const Picture& base = doc.ImageZm;
  for (int y = 0; y < base.height(); ++y) {
    const std::uint8_t* row = base.Row(y);
    for (std::size_t i = 0; i < base.stride(); ++i) ++counts[row[i]];
  }
  return counts;
}

namespace {

std::int64_t Total(const std::vector<std::int64_t>& counts) {
  std::int64_t n = 0;
  for (std::int64_t c : counts) n += c;
  return n;
}

// The value at 0-based rank k of the values in sorted order.
int ValueAtRank(const std::vector<std::int64_t>& counts, std::int64_t k) {
  std::int64_t seen = 0;
  for (std::size_t v = 0; v < counts.size(); ++v) {
    seen += counts[v];
    if (seen > k) return static_cast<int>(v);
  }
  return counts.empty() ? 0 : static_cast<int>(counts.size()) - 1;
}

}  // namespace

LevelPair MinMaxLevels(const std::vector<std::int64_t>& counts) { return PercentileLevels(counts, 100); }

LevelPair PercentileLevels(const std::vector<std::int64_t>& counts, double percent) {
  const std::int64_t n = Total(counts);
  if (n == 0) return {};
  const double tail = std::clamp((100.0 - percent) / 200.0, 0.0, 0.5);
  // At most the lower middle rank, so the lower level never passes the upper.
  const auto k = std::min((n - 1) / 2, static_cast<std::int64_t>(std::floor(static_cast<double>(n) * tail)));
  return {ValueAtRank(counts, k), ValueAtRank(counts, n - 1 - k)};
}

std::vector<std::int64_t> Histogram(const std::vector<std::int64_t>& counts, int bins, int lo, int hi) {
  std::vector<std::int64_t> out(std::max(bins, 0), 0);
  if (bins <= 0 || hi < lo || counts.empty()) return out;
  const long long span = static_cast<long long>(hi) - lo + 1;
  const int first = std::max(lo, 0);
  const int last = std::min<long long>(hi, static_cast<long long>(counts.size()) - 1);
  for (int v = first; v <= last; ++v) out[(static_cast<long long>(v) - lo) * bins / span] += counts[v];
  return out;
}

std::vector<double> ZscaleSamples(const ImageDocument& doc) {
  std::vector<double> samples;
  if (!HasLevelValues(doc)) return samples;
  const bool raw16 = doc.kind == WindowKind::kRaw16;
  const int width = DataWidth(doc);
  const int height = DataHeight(doc);
  // A square grid of at most about 1000 points, centred in its cells.
  constexpr double kGridPoints = 1000;
  const int step = std::max(1, static_cast<int>(std::ceil(std::sqrt(double(width) * height / kGridPoints))));
  for (int y = step / 2; y < height; y += step) {
    for (int x = step / 2; x < width; x += step) {
      if (raw16) {
        samples.push_back(doc.raw.At(x, y));
      } else if (HasFloatValues(doc)) {
        // Undefined pixels are no sample; levels on the window's grid.
        for (int p = 0; p < FloatPlaneCount(doc); ++p)
          if (const float v = FloatPlanes(doc)[p].At(x, y); std::isfinite(v))
            samples.push_back(LevelOf(doc.scaling, v));
      } else {
        const std::uint8_t* p = doc.ImageZm.Row(y) + 3 * x;
        samples.insert(samples.end(), {double(p[0]), double(p[1]), double(p[2])});
      }
    }
  }
  return samples;
}

// zscale as published with IRAF's display task (and used by SAOImage DS9):
// sort the sample, fit a straight line to value against normalised rank,
// reject points further than krej = 2.5 sigma from the line, growing each
// rejection by 1 % of the sample (ngrow), refit, at most 5 iterations,
// stopping when nothing more is rejected or fewer than half the points
// (min 5) remain. The range is median - (c - 1) * slope / contrast and
// median + (n - c) * slope / contrast, c the 1-based centre (n + 1) / 2,
// slope per rank; without a good fit it is the sample's range.
ZscaleRange ZscaleLevels(std::vector<double> samples, double contrast) {
  const auto n = static_cast<std::int64_t>(samples.size());
  if (n == 0) return {};
  std::sort(samples.begin(), samples.end());
  const double zmin = samples.front();
  const double zmax = samples.back();
  constexpr double kRej = 2.5;
  constexpr int kMaxIterations = 5;
  constexpr std::int64_t kMinPixels = 5;
  const std::int64_t minpix = std::max(kMinPixels, static_cast<std::int64_t>(n * 0.5));
  if (n < minpix || n < 2) return {zmin, zmax};
  const std::int64_t ngrow = std::max<std::int64_t>(1, static_cast<std::int64_t>(n * 0.01 + 0.5));
  const std::int64_t c0 = (n - 1) / 2;  // 0-based centre
  const double median = n % 2 ? samples[c0] : 0.5 * (samples[c0] + samples[c0 + 1]);

  const double xscale = 2.0 / double(n - 1);
  std::vector<char> bad(n, 0);
  std::int64_t ngood = n, last = n + 1;
  double slope = 0, intercept = 0;
  for (int iter = 0; iter < kMaxIterations && ngood < last && ngood >= minpix; ++iter) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::int64_t i = 0; i < n; ++i) {
      if (bad[i]) continue;
      const double x = i * xscale - 1;
      sx += x;
      sy += samples[i];
      sxx += x * x;
      sxy += x * samples[i];
    }
    const double m = double(ngood);
    const double det = m * sxx - sx * sx;
    slope = det != 0 ? (m * sxy - sx * sy) / det : 0;
    intercept = (sy - slope * sx) / m;

    double sum = 0, sum2 = 0;
    std::vector<double> residual(n);
    for (std::int64_t i = 0; i < n; ++i) {
      residual[i] = samples[i] - (intercept + slope * (i * xscale - 1));
      if (bad[i]) continue;
      sum += residual[i];
      sum2 += residual[i] * residual[i];
    }
    const double mean = sum / m;
    const double threshold = kRej * std::sqrt(std::max(0.0, sum2 / m - mean * mean));
    std::vector<char> next = bad;
    for (std::int64_t i = 0; i < n; ++i) {
      if (std::abs(residual[i]) <= threshold) continue;
      // Grow the rejection over ngrow points around the deviant.
      const std::int64_t from = std::max<std::int64_t>(0, i - ngrow / 2);
      const std::int64_t to = std::min<std::int64_t>(n - 1, i + (ngrow - 1) / 2);
      for (std::int64_t j = from; j <= to; ++j) next[j] = 1;
    }
    bad.swap(next);
    last = ngood;
    ngood = std::count(bad.begin(), bad.end(), 0);
  }
  if (ngood < minpix) return {zmin, zmax};
  double per_rank = slope * xscale;
  if (contrast > 0) per_rank /= contrast;
  return {std::max(zmin, median - double(c0) * per_rank),
          std::min(zmax, median + double(n - c0 - 1) * per_rank)};
}

namespace {

// Levels that show nothing but one value: a frame whose values are mostly
// one (a counts map of zeros, a mask) puts both percentiles, or the sampled
// mean and minimum, on it, and the window goes black and white at one step.
// A float window's grid is so fine that levels one step apart show as
// little.
bool Collapsed(const ImageDocument& doc, const LevelPair& levels) {
  return levels.max - levels.min <= (HasFloatValues(doc) ? 1 : 0);
}

}  // namespace

bool PresetLevels(const ImageDocument& doc, LevelPreset preset, LevelPair& levels) {
  if (!HasLevelValues(doc)) return false;
  const bool raw16 = doc.kind == WindowKind::kRaw16;
  switch (preset) {
    case LevelPreset::kMinMax:
      levels = MinMaxLevels(ValueCounts(doc));
      return true;
    case LevelPreset::kAuto:
      if (raw16) {
        const InitialLevelsResult r = InitialLevels(doc.raw);
        levels = {r.min, r.max};
      } else if (HasFloatValues(doc)) {
        const InitialLevelsResult r = InitialFloatLevels(FloatPlanes(doc), FloatPlaneCount(doc), doc.scaling);
        levels = {r.min, r.max};
      } else {
        levels = {0, 255};
      }
      break;
    case LevelPreset::kPercent995:
    case LevelPreset::kPercent99: {
      levels = PercentileLevels(ValueCounts(doc), preset == LevelPreset::kPercent995 ? 99.5 : 99);
      break;
    }
    case LevelPreset::kZscale: {
      const ZscaleRange z = ZscaleLevels(ZscaleSamples(doc));
      levels = {static_cast<int>(std::lround(z.z1)), static_cast<int>(std::lround(z.z2))};
      return true;
    }
  }
  // The automatic presets fall back to the data's whole range (which is
  // one value only when every pixel has it).
  if (Collapsed(doc, levels)) levels = MinMaxLevels(ValueCounts(doc));
  return true;
}

void RenderWindowLevels(ImageDocument& doc) {
  if (doc.kind == WindowKind::kRaw16) {
    RenderLevelsInto(doc.raw, doc.max_level, doc.min_level, doc.Image);
  } else if (HasFloatValues(doc)) {
    RenderFloatWindow(doc, doc.max_level, doc.min_level);
  } else if (doc.kind == WindowKind::kColour) {
    const auto table = LevelTable(doc.max_level, doc.min_level);
    const Picture& base = doc.ImageZm;
    Picture out(base.width(), base.height());
    for (int y = 0; y < base.height(); ++y) {
      const std::uint8_t* in = base.Row(y);
      std::uint8_t* row = out.Row(y);
      for (std::size_t i = 0; i < base.stride(); ++i) row[i] = table[in[i]];
    }
    doc.Image = std::move(out);
  }
}

namespace {

Status RefuseKind(const ImageDocument& doc) {
  return KindRefused("レベル", doc.kind, "カラー画像、16ビットと浮動小数点の画像にだけ使えます。");
}

}  // namespace

Status LevelsKindCheck(const ImageDocument& doc) {
  return HasLevelValues(doc) ? Status::Ok() : RefuseKind(doc);
}

Status TypeLevels(Workspace& ws, const std::string& min_text, const std::string& max_text) {
  ImageDocument* doc = ws.active();
  if (doc && !HasLevelValues(*doc)) return RefuseKind(*doc);
  const MainState before = ws.main();
  const int old_max = doc ? doc->max_level : 0;
  const int old_min = doc ? doc->min_level : 0;
  auto restore = [&] {
    ws.main() = before;
    if (doc) {
      doc->max_level = old_max;
      doc->min_level = old_min;
    }
  };
  Status s = ws.TypeMinLevel(min_text);
  if (s) s = ws.TypeMaxLevel(max_text);
  if (!s) {
    restore();
    return s;
  }
  if (!doc) return Status::Ok();
  if (doc->min_level > doc->max_level) {
    restore();
    return Status::Error("レベル: 最小値 " + min_text + " が最大値 " + max_text +
                         " より大きくなっています。");
  }
  RenderWindowLevels(*doc);
  return Status::Ok();
}

Status SetLevels(Workspace& ws, int min, int max) {
  ImageDocument* doc = ws.active();
  if (!doc) return Status::Ok();
  if (!HasLevelValues(*doc)) return RefuseKind(*doc);
  ws.SetMinLevel(min);
  ws.SetMaxLevel(max);
  RenderWindowLevels(*doc);
  return Status::Ok();
}

Status ApplyLevelPreset(Workspace& ws, LevelPreset preset) {
  ImageDocument* doc = ws.active();
  if (!doc) return Status::Ok();
  LevelPair levels;
  if (!PresetLevels(*doc, preset, levels)) return RefuseKind(*doc);
  return SetLevels(ws, levels.min, levels.max);
}

}  // namespace qirm
