// SPDX-License-Identifier: GPL-3.0-or-later
// Composite stacking of 16 colour pictures of 4096 x 4096, per method. The
// counter s_per_px_img is the wall time (shown as "1.2n" for 1.2 ns) per colour pixel per image.
//
//   build/bench/stack_bench
//
// "Sky" pictures are a gradient with noise of a few levels and rare outliers,
// as real frames are (a third of the stacks lose a value to the clipping);
// "heavy tails" pictures carry Cauchy noise instead, a stress case for the
// expected value (nearly every stack loses values, many over several passes).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "stack/composite.h"

namespace {

using qirm::CompositeMethod;
using qirm::Picture;

constexpr int kSide = 4096;
constexpr int kImages = 16;

// A small fast generator: the data only has to look like frames.
struct Rng {
  std::uint64_t s;
  std::uint32_t Next() {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(s >> 33);
  }
};

enum class Data { Sky, HeavyTails };

const std::vector<Picture>& Pictures(Data data) {
  static std::vector<Picture> sets[2];
  const bool sky = data == Data::Sky;
  std::vector<Picture>& set = sets[sky ? 0 : 1];
  if (!set.empty()) return set;
  // Cauchy noise of scale 4 through a table of its quantiles.
  std::vector<int> cauchy(1 << 16);
  for (std::size_t i = 0; i < cauchy.size(); ++i) {
    const double u = (static_cast<double>(i) + 0.5) / static_cast<double>(cauchy.size());
    cauchy[i] = static_cast<int>(std::lround(std::clamp(4 * std::tan(M_PI * (u - 0.5)), -300.0, 300.0)));
  }
  Rng rng{sky ? 1u : 2u};
  for (int k = 0; k < kImages; ++k) {
    Picture p(kSide, kSide);
    for (int y = 0; y < kSide; ++y) {
      std::uint8_t* row = p.Row(y);
      for (int i = 0; i < 3 * kSide; ++i) {
        const std::uint32_t r = rng.Next();
        int v = 40 + (i / 3 + y) % 160;
        if (sky) {
          // Roughly normal noise of sigma 4.6 from four uniform nibbles.
          v += static_cast<int>((r & 15) + ((r >> 4) & 15) + ((r >> 8) & 15) + ((r >> 12) & 15)) / 2 - 15;
          if (((r >> 16) & 1023) < 5) v = 255;  // a hot pixel or a trail, one in 200
        } else {
          v += cauchy[r & 0xFFFF];
        }
        row[i] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
    set.push_back(std::move(p));
  }
  return set;
}

void Stack(benchmark::State& state, CompositeMethod method, Data data) {
  const std::vector<Picture>& pictures = Pictures(data);
  std::vector<const Picture*> sources;
  for (const Picture& p : pictures) sources.push_back(&p);
  for (auto _ : state) {
    Picture out = qirm::StackPictures(sources, method);
    benchmark::DoNotOptimize(out.Row(0));
  }
  state.counters["s_per_px_img"] =
      benchmark::Counter(static_cast<double>(kSide) * kSide * kImages,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK_CAPTURE(Stack, average, CompositeMethod::Average, Data::Sky)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Stack, sum, CompositeMethod::Sum, Data::Sky)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Stack, maximum, CompositeMethod::Maximum, Data::Sky)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Stack, minimum, CompositeMethod::Minimum, Data::Sky)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Stack, expected_sky, CompositeMethod::Expected, Data::Sky)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Stack, expected_heavy_tails, CompositeMethod::Expected, Data::HeavyTails)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
