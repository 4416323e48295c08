// SPDX-License-Identifier: GPL-3.0-or-later
// Demosaicing a 6000 x 4000 (24 megapixel) 16-bit mosaic into three 16-bit
// planes, bilinear and RCD, on 2 threads (and on 1, for the scaling). The
// mosaic is a sky-like field: a level with noise, stars and a gradient, so
// that RCD's directions vary as on a real frame. Wall time; read "ms"
// (targets on 2 threads: bilinear 60 ms, RCD 600 ms), ns_per_pixel, and
// cpu_ms, the processor time of all threads per run (on a busy machine the
// wall time waits for a core).
//
//   build/bench/debayer_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/parallel.h"
#include "mosaic/debayer.h"

namespace qirm {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr double kPixels = double(kWidth) * kHeight;

const std::vector<std::uint16_t>& SkyMosaic() {
  static const std::vector<std::uint16_t> mosaic = [] {
    std::vector<std::uint16_t> m(static_cast<std::size_t>(kWidth) * kHeight);
    std::mt19937 rng(24);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        m[static_cast<std::size_t>(y) * kWidth + x] =
            static_cast<std::uint16_t>(2048 + x / 8 + y / 16 + static_cast<int>(rng() % 200));
    for (int k = 0; k < 20000; ++k) {
      const int cx = static_cast<int>(rng() % kWidth);
      const int cy = static_cast<int>(rng() % kHeight);
      const double peak = 1000 + rng() % 40000;
      for (int y = std::max(0, cy - 6); y < std::min(kHeight, cy + 7); ++y)
        for (int x = std::max(0, cx - 6); x < std::min(kWidth, cx + 7); ++x) {
          std::uint16_t& v = m[static_cast<std::size_t>(y) * kWidth + x];
          v = static_cast<std::uint16_t>(
              std::min(65535.0, v + peak * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / 4.5)));
        }
    }
    return m;
  }();
  return mosaic;
}

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

void BM_Debayer(benchmark::State& state, DebayerMethod method) {
  const int threads = static_cast<int>(state.range(0));
  ScopedThreadCount count(threads);
  const std::vector<std::uint16_t>& mosaic = SkyMosaic();
  std::vector<std::uint16_t> out[3];
  for (auto& p : out) p.resize(mosaic.size());
  const ConstPlaneView in = ConstPlaneView::Of<std::uint16_t>(mosaic.data(), kWidth, kHeight);
  const double cpu0 = CpuMs();
  for (auto _ : state) {
    const Status s =
        Debayer(in, BayerPattern::kRGGB, method, PlaneView::Of<std::uint16_t>(out[0].data(), kWidth, kHeight),
                PlaneView::Of<std::uint16_t>(out[1].data(), kWidth, kHeight),
                PlaneView::Of<std::uint16_t>(out[2].data(), kWidth, kHeight));
    if (!s) state.SkipWithError(s.message().c_str());
    benchmark::DoNotOptimize(out[1].data());
  }
  state.counters["cpu_ms"] = (CpuMs() - cpu0) / static_cast<double>(state.iterations());
  state.counters["ns_per_pixel"] = benchmark::Counter(
      kPixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK_CAPTURE(BM_Debayer, bilinear, DebayerMethod::kBilinear)
    ->Arg(2)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Debayer, rcd, DebayerMethod::kRcd)
    ->Arg(2)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace qirm

BENCHMARK_MAIN();
