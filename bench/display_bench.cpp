// SPDX-License-Identifier: GPL-3.0-or-later
// The geometry and tone commands on a 4096 x 4096 colour window, each run as
// the menu runs it (the engine command on the window's document: new
// picture, drawn onto Image and, where the command says so, ImageZm). Wall
// time of the command alone, since the commands use both cores;
// "ns_per_pixel" is nanoseconds per picture pixel. Run with
// --benchmark_repetitions=5 --benchmark_report_aggregates_only=true for
// medians.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

#include "core/matrix.h"
#include "display/display_commands.h"
#include "display/levels.h"
#include "display/tones.h"

namespace qirm {
namespace {

constexpr int kSide = 4096;

Picture RandomPicture() {
  std::mt19937 rng(1);
  Picture p(kSide, kSide);
  for (int y = 0; y < kSide; ++y) {
    std::uint8_t* row = p.Row(y);
    for (std::size_t i = 0; i < p.stride(); i += 4) {
      const std::uint32_t r = rng();
      for (std::size_t k = 0; k < 4 && i + k < p.stride(); ++k)
        row[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
    }
  }
  return p;
}

ImageDocument ColourWindow() {
  static const Picture picture = RandomPicture();
  ImageDocument doc;
  doc.kind = WindowKind::kColour;
  doc.Image = picture;
  doc.ImageZm = picture;
  return doc;
}

// Times body alone on each iteration (wall clock) and reports ns per pixel.
template <class Body>
void Timed(benchmark::State& state, Body body) {
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(elapsed);
    seconds += elapsed;
  }
  state.counters["ns_per_pixel"] = seconds * 1e9 / (double(kSide) * kSide * double(state.iterations()));
}

template <class Command>
void RunCommand(benchmark::State& state, Command command) {
  ImageDocument doc = ColourWindow();
  Timed(state, [&] {
    const Status s = command(doc);
    benchmark::DoNotOptimize(doc.Image.Row(0));
    if (!s) state.SkipWithError(s.message().c_str());
  });
}

void BM_Negative(benchmark::State& state) { RunCommand(state, NegativeCommand); }
void BM_Mirror(benchmark::State& state) { RunCommand(state, MirrorCommand); }
void BM_Flip(benchmark::State& state) { RunCommand(state, FlipCommand); }
void BM_Rotate(benchmark::State& state) {
  RunCommand(state, [](ImageDocument& d) { return RotateCommand(d); });
}
void BM_Gamma(benchmark::State& state) {
  RunCommand(state, [](ImageDocument& d) { return GammaCommand(d, GammaParams{"0.5"}); });
}
void BM_Solarize(benchmark::State& state) { RunCommand(state, SolarizeCommand); }
void BM_SolarizeWithoutVectors(benchmark::State& state) {
  const ImageDocument doc = ColourWindow();
  Timed(state, [&] { benchmark::DoNotOptimize(SolarizePictureScalar(doc.ImageZm).Row(0)); });
}
void BM_Sabattier(benchmark::State& state) {
  RunCommand(state, [](ImageDocument& d) { return SabattierCommand(d, SabattierParams{"128"}); });
}

// A 16-bit window of the same size: raw values turned, the plane and the
// shown picture rebuilt.
void BM_Rotate16Bit(benchmark::State& state) {
  IntMatrix raw;
  AllocIntMatrix(kSide, kSide, raw);
  std::mt19937 rng(2);
  for (int x = 0; x < kSide; ++x)
    for (int y = 0; y < kSide; ++y) raw[x][y] = static_cast<int>(rng() & 0xFFFF);
  ImageDocument doc;
  doc.kind = WindowKind::kRaw16;
  FillRawPlane(raw, kSide, kSide, doc.raw);
  doc.max_level = 40000;
  doc.min_level = 1000;
  doc.Image = RenderLevels(doc.raw, 40000, 1000);
  Timed(state, [&] {
    const Status s = RotateCommand(doc);
    benchmark::DoNotOptimize(doc.Image.Row(0));
    if (!s) state.SkipWithError(s.message().c_str());
  });
}

BENCHMARK(BM_Negative)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Mirror)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Flip)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Rotate)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Rotate16Bit)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Gamma)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Solarize)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_SolarizeWithoutVectors)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_Sabattier)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
}  // namespace qirm

BENCHMARK_MAIN();
