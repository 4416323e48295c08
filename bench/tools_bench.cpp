// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis tools on 4096 x 4096 frames: background fit and subtraction
// (plane and degree 3) on 16-bit values, and Lanczos-3 resampling by 0.5
// and by 2 of 16-bit values and of a colour picture. Each run times only
// the work (manual time: the copy of the input is made outside);
// "ns_per_pixel" is nanoseconds per source pixel. The peers' figures on the
// same pictures come from bench/resample_compare.sh.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "display/resample.h"
#include "filters/background.h"

namespace qirm {
namespace {

constexpr int kSide = 4096;

// Sky of about 1000 with a slope and a curved term, noise of 10, 3000 stars.
const std::vector<std::uint16_t>& SkyFrame() {
  static const std::vector<std::uint16_t> frame = [] {
    std::vector<std::uint16_t> v(static_cast<std::size_t>(kSide) * kSide);
    std::mt19937 rng(4);
    std::normal_distribution<float> noise(0, 10);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) {
        const double u = x / double(kSide) - 0.5, w = y / double(kSide) - 0.5;
        v[static_cast<std::size_t>(y) * kSide + x] = static_cast<std::uint16_t>(
            std::clamp(1000 + 300 * u - 200 * w + 150 * u * u * u + noise(rng), 0.0, 65535.0));
      }
    std::uniform_int_distribution<int> pos(5, kSide - 6);
    for (int k = 0; k < 3000; ++k) {
      const int cx = pos(rng), cy = pos(rng);
      for (int y = cy - 3; y <= cy + 3; ++y)
        for (int x = cx - 3; x <= cx + 3; ++x)
          v[static_cast<std::size_t>(y) * kSide + x] += static_cast<std::uint16_t>(
              20000 * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / 2.0));
    }
    return v;
  }();
  return frame;
}

// Runs prepare() untimed and work() timed on each iteration, and reports
// ns_per_pixel of the source frame.
template <class Prepare, class Work>
void TimeWork(benchmark::State& state, Prepare prepare, Work work) {
  double seconds = 0;
  for (auto _ : state) {
    prepare();
    const auto start = std::chrono::steady_clock::now();
    work();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(elapsed);
    seconds += elapsed;
  }
  state.counters["ns_per_pixel"] = seconds / state.iterations() / (double(kSide) * kSide) * 1e9;
}

void BM_BackgroundFitAndSubtract(benchmark::State& state) {
  const int degree = static_cast<int>(state.range(0));
  const std::vector<std::uint16_t>& source = SkyFrame();
  std::vector<std::uint16_t> v;
  TimeWork(
      state, [&] { v = source; },
      [&] {
        BackgroundFit fit;
        if (!FitBackground(v.data(), kSide, kSide, 1, kSide, {degree, 64}, fit))
          state.SkipWithError("fit failed");
        SubtractBackground(v.data(), kSide, kSide, 1, kSide, fit, 65535);
        benchmark::DoNotOptimize(v[0]);
      });
}
BENCHMARK(BM_BackgroundFitAndSubtract)->Arg(1)->Arg(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// The two parts of degree 3 apart: range(0) 0 the fit, 1 the subtraction.
void BM_BackgroundParts(benchmark::State& state) {
  const std::vector<std::uint16_t>& source = SkyFrame();
  BackgroundFit fit;
  FitBackground(source.data(), kSide, kSide, 1, kSide, {3, 64}, fit);
  std::vector<std::uint16_t> v;
  TimeWork(
      state, [&] { v = source; },
      [&] {
        if (state.range(0) == 0)
          FitBackground(v.data(), kSide, kSide, 1, kSide, {3, 64}, fit);
        else
          SubtractBackground(v.data(), kSide, kSide, 1, kSide, fit, 65535);
        benchmark::DoNotOptimize(v[0]);
      });
}
BENCHMARK(BM_BackgroundParts)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// range(0): the factor in percent.
void BM_Lanczos3Raw16(benchmark::State& state) {
  const double factor = state.range(0) / 100.0;
  const std::vector<std::uint16_t>& source = SkyFrame();
  const int side = static_cast<int>(kSide * factor);
  TimeWork(
      state, [] {},
      [&] {
        std::vector<std::uint16_t> out =
            ResampleRaw(source, kSide, kSide, {side, side, ResampleMethod::kLanczos3, false});
        benchmark::DoNotOptimize(out[0]);
      });
}
BENCHMARK(BM_Lanczos3Raw16)->Arg(50)->Arg(200)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Lanczos3Colour(benchmark::State& state) {
  const double factor = state.range(0) / 100.0;
  Picture source(kSide, kSide);
  const std::vector<std::uint16_t>& sky = SkyFrame();
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const int v = std::min(255, sky[static_cast<std::size_t>(y) * kSide + x] / 8);
      std::uint8_t* p = source.Row(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(v);
      p[1] = static_cast<std::uint8_t>(v * 3 / 4);
      p[2] = static_cast<std::uint8_t>(v / 2);
    }
  const int side = static_cast<int>(kSide * factor);
  TimeWork(
      state, [] {},
      [&] {
        Picture out = ResamplePicture(source, {side, side, ResampleMethod::kLanczos3, false});
        benchmark::DoNotOptimize(out.Row(0)[0]);
      });
}
BENCHMARK(BM_Lanczos3Colour)->Arg(50)->Arg(200)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qirm

BENCHMARK_MAIN();
