// SPDX-License-Identifier: GPL-3.0-or-later
// The whole tri-colour composition on a set made by
// ../shared/bench/gen_data.py (10 red, 10 green, 10 blue, 5 darks, 1 flat),
// two-star mode, with the time of each stage. The set's folder comes from
// QIRM_COMPOSE_DATA (default /tmp/qirm-compose/set2048); the settings are
// those bench/compose_settings.sh writes for it.
//
//   build/bench/compose_bench                        Google Benchmark runs
//   build/bench/compose_bench --stages [--plain] [--threads N] [--mode M]
//                                                    one run, stage times
//   build/bench/compose_bench --same                 fast and plain results
//                                                    compared byte for byte
//   build/bench/compose_bench --offsets [--mode M]   each frame's registration
// QIRM_COMPOSE_SETTINGS, when set, names a settings file to run instead.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tricolour/compose.h"
#include "tricolour/compose_options.h"
#include "tricolour/settings_file.h"

namespace {

namespace fs = std::filesystem;

std::string DataDir() {
  const char* env = std::getenv("QIRM_COMPOSE_DATA");
  return env && *env ? env : "/tmp/qirm-compose/set2048";
}

// The settings as bench/compose_settings.sh writes them for the set (both
// stars from its truth file), loaded as qirm-cli compose loads them, so the
// benchmark and the comparison script run the same job.
bool Settings(qirm::CompositionSettings& s, int mode) {
  if (const char* given = std::getenv("QIRM_COMPOSE_SETTINGS"); given && *given) {
    const qirm::Status loaded = qirm::LoadCompositionSettings(given, s);
    if (!loaded) std::fprintf(stderr, "%s\n", loaded.message().c_str());
    return loaded && !s.RedFiles.empty() && !s.GreenFiles.empty() && !s.BlueFiles.empty();
  }
  const std::string dir = DataDir();
  if (!fs::is_regular_file(dir + "/truth.json")) return false;
  const std::string mrv = (fs::temp_directory_path() / ("compose_bench-" + std::to_string(getpid()) + "-m" +
                                                        std::to_string(mode) + ".mrv"))
                              .string();
  const std::string command = std::string("'") + QIRM_BENCH_DIR + "/compose_settings.sh' '" + dir + "' '" +
                              mrv + "' " + std::to_string(mode);
  if (std::system(command.c_str()) != 0) return false;
  const qirm::Status loaded = qirm::LoadCompositionSettings(mrv, s);
  fs::remove(mrv);
  if (!loaded) {
    std::fprintf(stderr, "%s\n", loaded.message().c_str());
    return false;
  }
  return !s.RedFiles.empty() && !s.GreenFiles.empty() && !s.BlueFiles.empty();
}

long long FramePixels(const qirm::CompositionSettings& s, const qirm::ImageDocument& d) {
  const long long frames = s.RedFiles.size() + s.GreenFiles.size() + s.BlueFiles.size();
  return frames * d.Image.width() * d.Image.height();
}

void BM_Compose(benchmark::State& state) {
  qirm::CompositionSettings s;
  if (!Settings(s, static_cast<int>(state.range(0)))) {
    state.SkipWithError(("no set at " + DataDir()).c_str());
    return;
  }
  qirm::ComposeOptions options;
  options.threads = static_cast<int>(state.range(1));
  long long pixels = 0;
  for (auto _ : state) {
    qirm::ImageDocument doc;
    const qirm::Status st = qirm::ComposeTricolourWith(options, s, {}, doc, nullptr, {});
    if (!st) {
      state.SkipWithError(st.message().c_str());
      return;
    }
    pixels = FramePixels(s, doc);
  }
  state.counters["ns_per_frame_px"] =
      benchmark::Counter(static_cast<double>(pixels) * 1e-9,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Compose)->Args({2, 2})->Args({2, 1})->Args({1, 2})->Unit(benchmark::kMillisecond)->UseRealTime();

int Stages(int argc, char** argv) {
  qirm::ComposeOptions options;
  int mode = 2;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--plain")) options.plain = true;
    if (!std::strcmp(argv[i], "--threads") && i + 1 < argc) options.threads = std::atoi(argv[++i]);
    if (!std::strcmp(argv[i], "--mode") && i + 1 < argc) mode = std::atoi(argv[++i]);
  }
  qirm::CompositionSettings s;
  if (!Settings(s, mode)) {
    std::fprintf(stderr, "no set at %s\n", DataDir().c_str());
    return 1;
  }
  qirm::ComposeOptions::Timings t;
  options.timings = &t;
  qirm::ImageDocument doc;
  if (qirm::Status st = qirm::ComposeTricolourWith(options, s, {}, doc, nullptr, {}); !st) {
    std::fprintf(stderr, "%s\n", st.message().c_str());
    return 1;
  }
  const double px = static_cast<double>(FramePixels(s, doc));
  std::printf(
      "RESULT compose threads=%d plain=%d mode=%d total_s=%.3f ns_per_frame_px=%.2f stages: setup=%.3f "
      "read=%.3f clean=%.3f calibrate=%.3f register=%.3f accumulate=%.3f channel_end=%.3f output=%.3f "
      "(frame stages summed over threads)\n",
      options.threads, options.plain ? 1 : 0, mode, t.total, t.total * 1e9 / px, t.setup, t.read, t.clean,
      t.calibrate, t.register_, t.accumulate, t.channel_end, t.output);
  return 0;
}

// What registration made of every light frame, one line each:
// "FRAME name ox oy scale theta" (bench/compose_check.py compares them with
// the set's truth).
int Offsets(int argc, char** argv) {
  int mode = 2;
  for (int i = 1; i < argc; ++i)
    if (!std::strcmp(argv[i], "--mode") && i + 1 < argc) mode = std::atoi(argv[++i]);
  qirm::CompositionSettings s;
  if (!Settings(s, mode)) {
    std::fprintf(stderr, "no set at %s\n", DataDir().c_str());
    return 1;
  }
  const std::vector<std::string>* lists[3] = {&s.RedFiles, &s.GreenFiles, &s.BlueFiles};
  qirm::ComposeOptions options;
  options.registered = [&](int channel, int k, const qirm::Registration& r) {
    std::printf("FRAME %s %d %d %.17g %.17g\n", fs::path((*lists[channel])[k]).filename().c_str(), r.ox, r.oy,
                r.scale, r.theta);
  };
  qirm::ImageDocument doc;
  if (qirm::Status st = qirm::ComposeTricolourWith(options, s, {}, doc, nullptr, {}); !st) {
    std::fprintf(stderr, "%s\n", st.message().c_str());
    return 1;
  }
  return 0;
}

int Same() {
  qirm::CompositionSettings s;
  if (!Settings(s, 2)) {
    std::fprintf(stderr, "no set at %s\n", DataDir().c_str());
    return 1;
  }
  qirm::ComposeOptions fast, plain;
  plain.plain = true;
  qirm::ImageDocument a, b;
  if (!qirm::ComposeTricolourWith(fast, s, {}, a, nullptr, {}) ||
      !qirm::ComposeTricolourWith(plain, s, {}, b, nullptr, {})) {
    std::fprintf(stderr, "composition failed\n");
    return 1;
  }
  const bool same = a.Image == b.Image;
  std::printf("RESULT same=%s\n", same ? "yes" : "NO");
  return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--stages")) return Stages(argc, argv);
    if (!std::strcmp(argv[i], "--same")) return Same();
    if (!std::strcmp(argv[i], "--offsets")) return Offsets(argc, argv);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
