// SPDX-License-Identifier: GPL-3.0-or-later
// Star photometry of 1000 stars from a CSV list, as `qirm-cli photometry
// --csv` runs it: the list parsed, then each star's centroid, aperture, sky
// and both profile fits with the default radii. The frame is a synthetic
// 2048 x 2048 sky (noise about a level of 1000) with 1000 stars of FWHM 2 to
// 4 pixels on a jittered grid. The stars are shared between the cores as
// the command line shares them (`OneThread`: on one core). Read the wall
// time, `s_per_1000_stars`.
//
//   build/bench/photometry_bench [--benchmark_filter=Trail]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <string>

#include "core/matrix.h"
#include "core/parallel.h"
#include "display/levels.h"
#include "photometry/star_photometry.h"
#include "photometry/trail_photometry.h"

namespace {

constexpr int kSize = 2048;
constexpr int kStars = 1000;

struct Field {
  qirm::SamplePlane plane;
  qirm::ImageDocument doc;  // the same values in a 16-bit window
  std::string list;         // "x,y" lines near each star
};

const Field& TheField() {
  static Field field = [] {
    Field f;
    f.plane.width = kSize;
    f.plane.height = kSize;
    f.plane.values.resize(static_cast<std::size_t>(kSize) * kSize);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 8);
    for (double& v : f.plane.values) v = 1000 + noise(rng);
    std::uniform_real_distribution<double> jitter(-10, 10), width(2, 4), flux(2e3, 2e5);
    f.list = "x,y\n";
    for (int k = 0; k < kStars; ++k) {
      const double cx = 32 + 64 * (k % 32) + jitter(rng);
      const double cy = 32 + 64 * (k / 32) + jitter(rng);
      const double s = width(rng) / 2.3548;
      const double a = flux(rng) / (2 * std::numbers::pi * s * s);
      for (int y = static_cast<int>(cy) - 15; y <= static_cast<int>(cy) + 15; ++y)
        for (int x = static_cast<int>(cx) - 15; x <= static_cast<int>(cx) + 15; ++x)
          f.plane.values[static_cast<std::size_t>(y) * kSize + x] +=
              a * std::exp(-0.5 * ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (s * s));
      // The click misses the centre by up to two pixels, as a hand does.
      f.list += std::to_string(cx + jitter(rng) / 5) + "," + std::to_string(cy + jitter(rng) / 5) + "\n";
    }
    qirm::IntMatrix raw;
    raw.Allocate(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x)
        raw[x][y] = std::clamp(
            static_cast<int>(std::lround(f.plane.values[static_cast<std::size_t>(y) * kSize + x])), 0, 65535);
    qirm::FillRawPlane(raw, kSize, kSize, f.doc.raw);
    f.doc.kind = qirm::WindowKind::kRaw16;
    return f;
  }();
  return field;
}

void BM_PhotometryOf1000Stars(benchmark::State& state) {
  const Field& f = TheField();
  std::optional<qirm::ScopedThreadLimit> one;
  if (state.range(0) == 1) one.emplace(1);
  const qirm::StarPhotometryParams params;
  int failed_fits = 0;
  for (auto _ : state) {
    std::vector<qirm::StarPosition> positions;
    std::vector<int> bad_lines;
    qirm::ParsePositionList(f.list, positions, bad_lines);
    if (!bad_lines.empty()) state.SkipWithError("list");
    failed_fits = 0;
    std::vector<qirm::StarMeasurement> measured;
    std::vector<qirm::Status> statuses;
    qirm::MeasureStars(f.doc, qirm::PhotometryChannel::kGreen, positions, params, measured, statuses);
    for (std::size_t k = 0; k < measured.size(); ++k) {
      if (!statuses[k]) state.SkipWithError("star");
      failed_fits += std::isnan(measured[k].fwhm_gauss) + std::isnan(measured[k].fwhm_moffat);
    }
    benchmark::DoNotOptimize(measured);
  }
  state.counters["s_per_1000_stars"] = benchmark::Counter(
      static_cast<double>(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["failed_fits"] = failed_fits;
}
BENCHMARK(BM_PhotometryOf1000Stars)
    ->ArgName("OneThread")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A diagonal trail across the whole frame, width 5.
void BM_TrailAcrossTheFrame(benchmark::State& state) {
  const Field& f = TheField();
  for (auto _ : state) {
    qirm::TrailMeasurement m;
    qirm::MeasureTrail(f.plane, 10, 10, kSize - 10, kSize - 10, {5, 3}, m);
    benchmark::DoNotOptimize(m);
  }
}
BENCHMARK(BM_TrailAcrossTheFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
