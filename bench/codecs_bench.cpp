// SPDX-License-Identifier: GPL-3.0-or-later
// Picture file codecs on a 2048 x 1536 star-field-like picture: how long
// saving (BMP, JPEG at quality 70, PNG) and opening (BMP, JPEG) take.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "core/bmp_file.h"
#include "core/jpeg_file.h"
#include "core/png_file.h"

namespace {

// Dark sky with faint noise and a few bright spots: what the program saves.
qirm::Picture SkyPicture() {
  qirm::Picture p(2048, 1536);
  std::uint32_t seed = 1;
  for (int y = 0; y < p.height(); ++y) {
    std::uint8_t* row = p.Row(y);
    for (int x = 0; x < p.width(); ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>(seed >> 28);
      const bool star = (seed >> 8) % 4000 == 0;
      row[3 * x] = static_cast<std::uint8_t>(star ? 250 : 20 + noise);
      row[3 * x + 1] = static_cast<std::uint8_t>(star ? 240 : 18 + noise);
      row[3 * x + 2] = static_cast<std::uint8_t>(star ? 255 : 25 + noise);
    }
  }
  return p;
}

const qirm::Picture& Sky() {
  static const qirm::Picture picture = SkyPicture();
  return picture;
}

void BM_EncodeBmp(benchmark::State& state) {
  std::vector<std::uint8_t> bytes;
  for (auto _ : state) benchmark::DoNotOptimize(qirm::EncodeBmp(Sky(), bytes));
}
BENCHMARK(BM_EncodeBmp)->Unit(benchmark::kMillisecond);

void BM_DecodeBmp(benchmark::State& state) {
  std::vector<std::uint8_t> bytes;
  qirm::EncodeBmp(Sky(), bytes);
  qirm::Picture picture;
  for (auto _ : state) benchmark::DoNotOptimize(qirm::DecodeBmp(bytes.data(), bytes.size(), "b", picture));
}
BENCHMARK(BM_DecodeBmp)->Unit(benchmark::kMillisecond);

void BM_EncodeJpeg70(benchmark::State& state) {
  std::vector<std::uint8_t> bytes;
  for (auto _ : state) benchmark::DoNotOptimize(qirm::EncodeJpeg(Sky(), 70, bytes));
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_EncodeJpeg70)->Unit(benchmark::kMillisecond);

void BM_DecodeJpeg(benchmark::State& state) {
  std::vector<std::uint8_t> bytes;
  qirm::EncodeJpeg(Sky(), 70, bytes);
  qirm::Picture picture;
  for (auto _ : state) benchmark::DoNotOptimize(qirm::DecodeJpeg(bytes.data(), bytes.size(), "j", picture));
}
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);

void BM_EncodePng(benchmark::State& state) {
  std::vector<std::uint8_t> bytes;
  for (auto _ : state) benchmark::DoNotOptimize(qirm::EncodePng(Sky(), bytes));
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
