// SPDX-License-Identifier: GPL-3.0-or-later
// Filtering primitives on a 2048 x 2048 matrix of 8-bit values. Each run
// times only the call itself (manual time: the fresh copy of the input is
// made outside); "ns_per_element" is nanoseconds per matrix element.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

#include "filters/primitives.h"

namespace qirm {
namespace {

constexpr int kSide = 2048;

IntMatrix RandomPicture() {
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> dist(0, 255);
  IntMatrix m;
  AllocIntMatrix(kSide, kSide, m);
  for (int x = 0; x < kSide; ++x)
    for (int y = 0; y < kSide; ++y) m[x][y] = dist(rng);
  return m;
}

RealMatrix Kernel(int k, double value) {
  RealMatrix kernel;
  AllocRealMatrix(k, k, kernel);
  for (int a = 0; a < k; ++a)
    for (int b = 0; b < k; ++b) kernel[a][b] = value;
  return kernel;
}

// Runs body once per iteration on a fresh copy of the picture and kernel,
// timing the body only.
template <class Body>
void TimeOnFreshCopies(benchmark::State& state, const RealMatrix& kernel, double elements, Body body) {
  const IntMatrix source = RandomPicture();
  double seconds = 0;
  for (auto _ : state) {
    IntMatrix m = source.Clone();
    RealMatrix k = kernel.Clone();
    const auto start = std::chrono::steady_clock::now();
    body(k, m);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(m[0][0]);
    state.SetIterationTime(elapsed);
    seconds += elapsed;
  }
  state.counters["ns_per_element"] = seconds * 1e9 / (elements * static_cast<double>(state.iterations()));
}

void BM_Convolve3x3(benchmark::State& state) {
  TimeOnFreshCopies(state, Kernel(3, 1.0), double(kSide) * kSide,
                    [](RealMatrix& k, IntMatrix& m) { Convolve(3, 3, k, kSide, kSide, m); });
}
BENCHMARK(BM_Convolve3x3)->Unit(benchmark::kMillisecond)->UseManualTime();

// The guide-miss streak kernel of flow 1 turned by 30 degrees: 5 x 5, the
// zero taps skipped.
void BM_ConvolveTurnedStreak5x5(benchmark::State& state) {
  RealMatrix streak = Kernel(5, 0.0);
  streak[0][2] = -1;
  streak[4][2] = -1;
  streak[2][2] = 3;
  RotateMatrix(30, 5, 5, streak);
  TimeOnFreshCopies(state, streak, double(kSide) * kSide,
                    [](RealMatrix& k, IntMatrix& m) { Convolve(5, 5, k, kSide, kSide, m); });
}
BENCHMARK(BM_ConvolveTurnedStreak5x5)->Unit(benchmark::kMillisecond)->UseManualTime();

// Threshold above every value: every element takes the 3 x 3 sum.
void BM_ConvolveBelow3x3(benchmark::State& state) {
  TimeOnFreshCopies(state, Kernel(3, 1.0), double(kSide) * kSide,
                    [](RealMatrix& k, IntMatrix& m) { ConvolveBelow(256, 3, 3, k, kSide, kSide, m); });
}
BENCHMARK(BM_ConvolveBelow3x3)->Unit(benchmark::kMillisecond)->UseManualTime();

// The blur of the guide-miss canceller at its minimum amount 0.2: weights
// down to exp(-8 / 0.04) of the centre, tiny enough that the exact sums
// need the extended-precision path for most elements.
void BM_ConvolveBelowGaussian5x5(benchmark::State& state) {
  RealMatrix gauss = Kernel(5, 0.0);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j)
      gauss[i][j] = std::exp(-(i - 2.0) * (i - 2.0) / 0.04 - (j - 2.0) * (j - 2.0) / 0.04);
  TimeOnFreshCopies(state, gauss, double(kSide) * kSide,
                    [](RealMatrix& k, IntMatrix& m) { ConvolveBelow(256, 5, 5, k, kSide, kSide, m); });
}
BENCHMARK(BM_ConvolveBelowGaussian5x5)->Unit(benchmark::kMillisecond)->UseManualTime();

// The default threshold 0: no element is below it, nothing is summed.
void BM_ConvolveBelowNothingBelow(benchmark::State& state) {
  TimeOnFreshCopies(state, Kernel(5, 1.0), double(kSide) * kSide,
                    [](RealMatrix& k, IntMatrix& m) { ConvolveBelow(0, 5, 5, k, kSide, kSide, m); });
}
BENCHMARK(BM_ConvolveBelowNothingBelow)->Unit(benchmark::kMillisecond)->UseManualTime();

// Every element whose window the median accepts, one call each.
template <int R>
void BM_WindowMedian(benchmark::State& state) {
  const IntMatrix m = RandomPicture();
  long long total = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int x = R + 1; x < kSide - R; ++x)
      for (int y = R + 1; y < kSide - R; ++y) {
        int out = 0;
        WindowMedian(R, kSide, kSide, x, y, m, out);
        total += out;
      }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(total);
    state.SetIterationTime(elapsed);
    seconds += elapsed;
  }
  const double elements = double(kSide - 2 * R - 1) * (kSide - 2 * R - 1);
  state.counters["ns_per_element"] = seconds * 1e9 / (elements * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_WindowMedian<1>)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_WindowMedian<2>)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_ClipMatrix(benchmark::State& state) {
  TimeOnFreshCopies(state, Kernel(1, 1.0), double(kSide) * kSide,
                    [](RealMatrix&, IntMatrix& m) { ClipMatrix(10, 240, kSide, kSide, m); });
}
BENCHMARK(BM_ClipMatrix)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
}  // namespace qirm

BENCHMARK_MAIN();
