// SPDX-License-Identifier: GPL-3.0-or-later
// The two registration transforms on a 2048 x 2048 sky frame, as the
// composition meets them: a factor within a thousandth of 1 and an angle of
// a few hundredths of a degree. The frame is a green frame of the generated
// set (QIRM_COMPOSE_DATA, default /tmp/qirm-compose/set2048), or a
// synthetic sky when the set is absent. Figures per frame pixel.
//
//   build/bench/registration_bench [--benchmark_filter=Rotate]
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>

#include "core/fits_reader.h"
#include "tricolour/fast_transforms.h"
#include "tricolour/transform_rule.h"

namespace {

using qirm::IntMatrix;

const IntMatrix& Frame() {
  static IntMatrix frame = [] {
    IntMatrix m;
    const char* env = std::getenv("QIRM_COMPOSE_DATA");
    const std::string path =
        std::string(env && *env ? env : "/tmp/qirm-compose/set2048") + "/green/green_00001.fits";
    qirm::FitsHeader header;
    if (qirm::ReadFitsFile(path, header, m) && header.width == 2048 && header.height == 2048) {
      qirm::ToUnsigned16(32768, 2048, 2048, m);
      return m;
    }
    m.Allocate(2048, 2048);
    std::mt19937 rng(3);
    for (int x = 0; x < 2048; ++x)
      for (int y = 0; y < 2048; ++y) m[x][y] = 900 + static_cast<int>(rng() % 400);
    return m;
  }();
  return frame;
}

template <bool kRotate, bool kPlain>
void BM_Transform(benchmark::State& state) {
  const IntMatrix& source = Frame();
  const int w = source.count(), h = source.n();
  IntMatrix m = source.Clone(), scratch;
  for (auto _ : state) {
    state.PauseTiming();
    for (int x = 0; x < w; ++x) std::copy(source[x], source[x] + h, m[x]);
    state.ResumeTiming();
    if (kPlain) {
      if (kRotate)
        qirm::RotateAboutCentrePlain(7.3e-4, w, h, m);
      else
        qirm::ScaleAboutCentrePlain(1.00041, w, h, m);
    } else {
      if (kRotate)
        qirm::RotateAboutCentre(7.3e-4, w, h, m, scratch);
      else
        qirm::ScaleAboutCentre(1.00041, w, h, m, scratch);
    }
    benchmark::DoNotOptimize(m[0][0]);
  }
  state.counters["ns_per_px"] = benchmark::Counter(static_cast<double>(w) * h * state.iterations(),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_Transform<false, false>)->Name("Scale")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Transform<true, false>)->Name("Rotate")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Transform<false, true>)
    ->Name("ScalePlain")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);
BENCHMARK(BM_Transform<true, true>)
    ->Name("RotatePlain")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
