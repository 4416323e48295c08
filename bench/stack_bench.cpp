// Composite stacking of 16 colour pictures of 4096 x 4096, per method. The
// counter s_per_px_img is the wall time (shown as "1.2n" for 1.2 ns) per colour pixel per image.
//
//   build/bench/stack_bench
//
// "Sky" pictures are a gradient with noise of a few levels and rare outliers,
// as real frames are; "noise" pictures are uniform random bytes, the worst
// case of the expected value (almost every stack needs clipping).
#include <benchmark/benchmark.h>

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

const std::vector<Picture>& Pictures(bool sky) {
  static std::vector<Picture> sets[2];
  std::vector<Picture>& set = sets[sky ? 1 : 0];
  if (!set.empty()) return set;
  Rng rng{sky ? 1u : 2u};
  for (int k = 0; k < kImages; ++k) {
    Picture p(kSide, kSide);
    for (int y = 0; y < kSide; ++y) {
      std::uint8_t* row = p.Row(y);
      for (int i = 0; i < 3 * kSide; ++i) {
        const std::uint32_t r = rng.Next();
        if (!sky) {
          row[i] = static_cast<std::uint8_t>(r);
          continue;
        }
        // Roughly normal noise of sigma 4 from four uniform nibbles.
        int v = 40 + (i / 3 + y) % 160 + static_cast<int>((r & 15) + ((r >> 4) & 15) + ((r >> 8) & 15) +
                                                         ((r >> 12) & 15)) / 2 - 15;
        if (((r >> 16) & 1023) < 5) v = 255;  // a hot pixel or a trail, one in 200
        row[i] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
    set.push_back(std::move(p));
  }
  return set;
}

void Stack(benchmark::State& state, CompositeMethod method, bool sky) {
  const std::vector<Picture>& pictures = Pictures(sky);
  std::vector<const Picture*> sources;
  for (const Picture& p : pictures) sources.push_back(&p);
  for (auto _ : state) {
    Picture out = qirm::StackPictures(sources, method);
    benchmark::DoNotOptimize(out.Row(0));
  }
  state.counters["s_per_px_img"] = benchmark::Counter(
      static_cast<double>(kSide) * kSide * kImages,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK_CAPTURE(Stack, average, CompositeMethod::Average, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Stack, sum, CompositeMethod::Sum, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Stack, maximum, CompositeMethod::Maximum, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Stack, minimum, CompositeMethod::Minimum, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Stack, expected_sky, CompositeMethod::Expected, true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Stack, expected_noise, CompositeMethod::Expected, false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
