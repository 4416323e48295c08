// SPDX-License-Identifier: GPL-3.0-or-later
// The filter commands on 4096 x 4096 pictures. Each run times only the
// command (manual time: the fresh copy of the input is made outside);
// "ns_per_pixel" is nanoseconds per picture pixel, "ns_per_element" per
// matrix element.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>

#include "document/image_document.h"
#include "filters/blooming.h"
#include "filters/filter_commands.h"
#include "filters/guide_miss.h"
#include "filters/stencil_filters.h"

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

// A colour picture with the texture of a photograph: smooth gradients, noise
// and a few saturated spots.
Picture ColourPicture() {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> noise(-12, 12);
  Picture p(kSide, kSide);
  for (int y = 0; y < kSide; ++y) {
    std::uint8_t* row = p.Row(y);
    for (int x = 0; x < kSide; ++x) {
      const int base = (x * 255 / kSide + y * 128 / kSide) / 2;
      row[3 * x + 0] = static_cast<std::uint8_t>(std::clamp(base + noise(rng), 0, 255));
      row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(base + 40 + noise(rng), 0, 255));
      row[3 * x + 2] = static_cast<std::uint8_t>(
          (x / 64 + y / 64) % 17 == 0 ? 255 : std::clamp(base + 80 + noise(rng), 0, 255));
    }
  }
  return p;
}

const Picture& SharedColourPicture() {
  static const Picture picture = ColourPicture();
  return picture;
}

// Times body(source, a, b) on the shared colour picture, with a and b
// pictures of its size made beforehand (a command writes into the window's
// pictures, which exist already).
template <class Body>
void TimePictureFilter(benchmark::State& state, Body body) {
  const Picture& source = SharedColourPicture();
  Picture a(kSide, kSide), b(kSide, kSide);
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    body(source, a, b);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(a.Row(0)[0]);
    state.SetIterationTime(elapsed);
    seconds += elapsed;
  }
  state.counters["ns_per_pixel"] =
      seconds * 1e9 / (double(kSide) * kSide * static_cast<double>(state.iterations()));
}

void BM_EdgeEnhancement(benchmark::State& state) {
  const double strength = state.range(0) / 10.0;
  TimePictureFilter(state,
                    [&](const Picture& p, Picture& a, Picture&) { EdgeEnhancementInto(p, strength, a); });
}
BENCHMARK(BM_EdgeEnhancement)->Arg(10)->Arg(25)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_Blur(benchmark::State& state) {
  const double amount = state.range(0) / 10.0;
  TimePictureFilter(state, [&](const Picture& p, Picture& a, Picture&) { BlurInto(p, amount, a); });
}
BENCHMARK(BM_Blur)->Arg(10)->Arg(35)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_HighPass(benchmark::State& state) {
  TimePictureFilter(state, [](const Picture& p, Picture& a, Picture&) { HighPassInto(p, a); });
}
BENCHMARK(BM_HighPass)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_LowPass(benchmark::State& state) {
  TimePictureFilter(state, [](const Picture& p, Picture& a, Picture& b) { LowPassInto(p, a, b); });
}
BENCHMARK(BM_LowPass)->Unit(benchmark::kMillisecond)->UseManualTime();

// --- whole commands on a colour window of 4096 x 4096 (its two pictures
// exist, as in a window; a fresh copy for each run is made outside the
// timing).

template <class Command>
void TimeCommand(benchmark::State& state, Command command) {
  ImageDocument doc;
  doc.kind = WindowKind::kColour;
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    doc.Image = SharedColourPicture();
    doc.ImageZm = SharedColourPicture();
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    command(doc);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(doc.Image.Row(0)[0]);
    state.SetIterationTime(elapsed);
    seconds += elapsed;
  }
  state.counters["ns_per_pixel"] =
      seconds * 1e9 / (double(kSide) * kSide * static_cast<double>(state.iterations()));
}

void BM_Command_Edge(benchmark::State& state) {
  TimeCommand(state, [](ImageDocument& d) { EdgeCommand(d, 1.0); });
}
BENCHMARK(BM_Command_Edge)->Unit(benchmark::kMillisecond)->UseManualTime();
void BM_Command_Blur(benchmark::State& state) {
  TimeCommand(state, [](ImageDocument& d) { BlurCommand(d, 1.0); });
}
BENCHMARK(BM_Command_Blur)->Unit(benchmark::kMillisecond)->UseManualTime();
void BM_Command_HighPass(benchmark::State& state) {
  TimeCommand(state, [](ImageDocument& d) { HighPassCommand(d); });
}
BENCHMARK(BM_Command_HighPass)->Unit(benchmark::kMillisecond)->UseManualTime();
void BM_Command_LowPass(benchmark::State& state) {
  TimeCommand(state, [](ImageDocument& d) { LowPassCommand(d); });
}
BENCHMARK(BM_Command_LowPass)->Unit(benchmark::kMillisecond)->UseManualTime();
void BM_Command_Bloom(benchmark::State& state) {
  TimeCommand(state, [](ImageDocument& d) { BloomCommand(d); });
}
BENCHMARK(BM_Command_Bloom)->Unit(benchmark::kMillisecond)->UseManualTime();
void BM_Command_Coma(benchmark::State& state) {
  TimeCommand(state, [](ImageDocument& d) { ComaCommand(d, {kSide / 2, kSide / 2, 1.0}); });
}
BENCHMARK(BM_Command_Coma)->Unit(benchmark::kMillisecond)->UseManualTime();

// The guide-miss canceller, flow 1, blur 0.2: direction 0 with threshold 0
// (the panel's defaults), a turned direction, and a threshold that sends
// every value through the Gaussian; then the literal matrix steps.
void BM_Command_Gmc(benchmark::State& state) {
  const GmcSettings settings{static_cast<int>(state.range(0)), 1, static_cast<int>(state.range(1))};
  TimeCommand(state, [&](ImageDocument& d) { GmcCommand(d, settings, 0.2); });
}
BENCHMARK(BM_Command_Gmc)
    ->Args({0, 0})
    ->Args({30, 0})
    ->Args({0, 256})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

void BM_GmcPlainMatrices(benchmark::State& state) {
  TimeCommand(state, [](ImageDocument& d) { GuideMissCancelPlain(d.Image, GmcSettings{}, 0.2); });
}
BENCHMARK(BM_GmcPlainMatrices)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

// The longest trail (flow 1000: a 2003 x 2003 kernel) on a 40 x 40 picture,
// the case where the kernel's far zero weights must cost next to nothing
// (about a second of processor time for the whole qirm-cli run was once the
// measure). cpu_ms counts the processor time of every thread.
void BM_GuideMissLongTrailSmallPicture(benchmark::State& state) {
  Picture source(40, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) source.SetColor(x, y, 0x5A5A5A);
  double cpu_ms = 0;
  for (auto _ : state) {
    Picture p = source;
    const std::clock_t start = std::clock();
    GuideMissCancel(p, GmcSettings{0, kMaxGmcFlow, 0}, 0.2);
    cpu_ms += 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    benchmark::DoNotOptimize(p);
  }
  state.counters["cpu_ms"] = benchmark::Counter(cpu_ms / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_GuideMissLongTrailSmallPicture)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qirm

BENCHMARK_MAIN();
