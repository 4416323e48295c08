// The filter commands on 4096 x 4096 pictures. Each run times only the
// command (manual time: the fresh copy of the input is made outside);
// "ns_per_pixel" is nanoseconds per picture pixel, "ns_per_element" per
// matrix element.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "filters/blooming.h"

namespace qirm {
namespace {

constexpr int kSide = 4096;

// A 16-bit frame: sky of about 1000 with noise, 2000 faint stars with short
// saturated cores, and 20 blooming streaks of 3 to 8 columns, 100 to 800
// rows, through bright stars.
IntMatrix SixteenBitFrameWithStreaks() {
  std::mt19937 rng(2);
  std::normal_distribution<double> noise(1000, 30);
  IntMatrix m;
  AllocIntMatrix(kSide, kSide, m);
  for (int x = 0; x < kSide; ++x)
    for (int y = 0; y < kSide; ++y) m[x][y] = std::clamp(static_cast<int>(noise(rng)), 0, 65535);
  std::uniform_int_distribution<int> pos(10, kSide - 11);
  for (int k = 0; k < 2000; ++k) {
    const int cx = pos(rng), cy = pos(rng);
    for (int x = cx - 2; x <= cx + 2; ++x)
      for (int y = cy - 2; y <= cy + 2; ++y) m[x][y] = (x == cx && y == cy) ? 65535 : 20000;
  }
  std::uniform_int_distribution<int> width(3, 8), length(100, 800);
  for (int k = 0; k < 20; ++k) {
    const int x0 = pos(rng) % (kSide - 20), y0 = pos(rng) % (kSide - 900), w = width(rng), len = length(rng);
    for (int x = x0; x < x0 + w; ++x)
      for (int y = y0; y < y0 + len; ++y) m[x][y] = 65535;
    for (int y = y0; y < y0 + len; ++y) m[x0 + w][y] = m[x0 + w + 1][y] = 40000;  // bright fringe
  }
  return m;
}

void BM_RemoveBlooming16BitStreaks(benchmark::State& state) {
  const IntMatrix source = SixteenBitFrameWithStreaks();
  double seconds = 0;
  for (auto _ : state) {
    IntMatrix m = source.Clone();
    const auto start = std::chrono::steady_clock::now();
    RemoveBlooming(63000, 5, 1, kSide, kSide, m);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(m[0][0]);
    state.SetIterationTime(elapsed);
    seconds += elapsed;
  }
  state.counters["ns_per_element"] =
      seconds * 1e9 / (double(kSide) * kSide * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_RemoveBlooming16BitStreaks)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
}  // namespace qirm

BENCHMARK_MAIN();
