// SPDX-License-Identifier: GPL-3.0-or-later
// A 16-bit 4096 x 4096 window redrawn after a level change, as the levels
// panel's drag does it (SetLevels on the active window: the lookup table and
// the shown picture from the raw plane, into the window's own picture), and
// the same into a new picture each time, as before the picture was kept.
// Opening such a frame from a FITS file in /tmp, as the open command does,
// with and without the shown picture. Wall time; read "ms" (the target of a
// drag is 8 ms, a frame at 60 per second with room for the painting),
// ns_per_pixel, and cpu_ms, the processor time of all threads per run (on a
// machine busy with other work the wall time waits for a core).
//
//   build/bench/levels_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "app/open_image.h"
#include "core/matrix.h"
#include "display/level_presets.h"
#include "display/levels.h"
#include "document/workspace.h"

namespace qirm {
namespace {

constexpr int kSide = 4096;
constexpr double kPixels = double(kSide) * kSide;

// Sky-like raw values: a level about 1200 with noise, rare bright pixels.
IntMatrix SkyValues() {
  IntMatrix raw;
  AllocIntMatrix(kSide, kSide, raw);
  std::mt19937 rng(16);
  for (int x = 0; x < kSide; ++x) {
    for (int y = 0; y < kSide; ++y) {
      const std::uint32_t r = rng();
      raw[x][y] = (r & 0xFFF) == 0 ? static_cast<int>(r >> 16) : 1200 + static_cast<int>(r % 97);
    }
  }
  return raw;
}

void OpenSkyWindow(Workspace& ws) {
  const IntMatrix raw = SkyValues();
  ImageDocument& doc = ws.NewWindow();
  doc.kind = WindowKind::kRaw16;
  doc.width = kSide;
  doc.height = kSide;
  RenderRawWindow(raw, kSide, kSide, 1400, 1100, doc.Image, doc.raw);
  doc.max_level = 1400;
  doc.min_level = 1100;
}

double CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// ns_per_pixel from the wall time; cpu_ms the processor time of all the
// threads per iteration since `cpu0`.
void PerPixel(benchmark::State& state, double cpu0) {
  state.counters["cpu_ms"] = (CpuMs() - cpu0) / static_cast<double>(state.iterations());
  state.counters["ns_per_pixel"] = benchmark::Counter(
      kPixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_LevelDrag16Bit(benchmark::State& state) {
  Workspace ws;
  OpenSkyWindow(ws);
  int step = 0;
  const double cpu0 = CpuMs();
  for (auto _ : state) {
    // The white point moving as under the mouse.
    const Status s = SetLevels(ws, 1100, 1300 + (step++ % 200));
    if (!s) state.SkipWithError(s.message().c_str());
    benchmark::DoNotOptimize(ws.active()->Image.Row(0));
  }
  PerPixel(state, cpu0);
}

void BM_LevelRenderFreshPicture(benchmark::State& state) {
  Workspace ws;
  OpenSkyWindow(ws);
  const ImageDocument& doc = *ws.active();
  int step = 0;
  const double cpu0 = CpuMs();
  for (auto _ : state) {
    Picture out = RenderLevels(doc.raw, 1300 + (step++ % 200), 1100);
    benchmark::DoNotOptimize(out.Row(0));
  }
  PerPixel(state, cpu0);
}

const std::string& FitsFrame() {
  static const std::string path = [] {
    const std::string p = "/tmp/qirm_levels_bench_4096.fits";
    if (!std::filesystem::exists(p)) {
      std::FILE* f = std::fopen(p.c_str(), "wb");
      std::string header;
      for (const char* card : {"SIMPLE  =                    T", "BITPIX  =                   16",
                               "NAXIS   =                    2", "NAXIS1  =                 4096",
                               "NAXIS2  =                 4096", "BZERO   =                32768",
                               "BSCALE  =                    1", "END"}) {
        std::string c = card;
        c.resize(80, ' ');
        header += c;
      }
      header.resize(2880, ' ');
      std::fwrite(header.data(), 1, header.size(), f);
      const IntMatrix raw = SkyValues();
      std::string row(2 * kSide, '\0');
      for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
          const int stored = raw[x][y] - 32768;
          row[2 * x] = static_cast<char>((stored >> 8) & 0xFF);
          row[2 * x + 1] = static_cast<char>(stored & 0xFF);
        }
        std::fwrite(row.data(), 1, row.size(), f);
      }
      const long long data = 2LL * kSide * kSide;
      const std::string pad(static_cast<std::size_t>((2880 - data % 2880) % 2880), '\0');
      std::fwrite(pad.data(), 1, pad.size(), f);
      std::fclose(f);
    }
    return p;
  }();
  return path;
}

void BM_OpenFits16Bit(benchmark::State& state) {
  const bool shown = state.range(0) != 0;
  const std::string& path = FitsFrame();
  const double cpu0 = CpuMs();
  for (auto _ : state) {
    ImageDocument doc;
    const Status s = LoadFitsDocument(path, doc, shown);
    if (!s) state.SkipWithError(s.message().c_str());
    benchmark::DoNotOptimize(doc.raw.values.data());
  }
  PerPixel(state, cpu0);
}

BENCHMARK(BM_LevelDrag16Bit)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LevelRenderFreshPicture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenFits16Bit)->ArgName("shown")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace qirm

BENCHMARK_MAIN();
