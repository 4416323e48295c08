// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a 4096 x 4096 16-bit FITS frame: the reader (ReadFitsFile into a
// pre-created matrix, then ToUnsigned16), the same with the matrix created
// each time, the parts on their own, and in the same run cfitsio
// (fits_read_img into 16-bit integers), astropy (fits.getdata, timed by
// fits_read_astropy.py) and a bare read of the file from the page cache.
// Every figure is in the counter ns_per_pixel.
//
// The frame is written once to /tmp; the reader's "test.dat" goes to the
// user's cache folder as always.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/fits_pixels.h"
#include "core/fits_reader.h"
#include "core/matrix.h"

#ifdef QIRM_HAVE_CFITSIO
#include <fitsio.h>
#endif

namespace {

using qirm::IntMatrix;

constexpr int kSide = 4096;
constexpr long long kPixels = static_cast<long long>(kSide) * kSide;
constexpr long long kDataBytes = 2 * kPixels;
// The same data bytes twice: signed values (no BZERO), and a camera's
// unsigned values (BZERO 32768), which cfitsio and astropy convert. The
// benchmarks' argument "bzero" picks the file.
const char* const kPaths[2] = {"/tmp/qirm_fits_read_bench_4096.fits",
                               "/tmp/qirm_fits_read_bench_4096_bzero.fits"};

std::string Card(const std::string& text) {
  std::string card = text;
  card.resize(80, ' ');
  return card;
}

void WriteBenchFile(const char* path, bool bzero) {
  const long long size = 2880 + (kDataBytes + 2879) / 2880 * 2880;
  std::error_code error;
  if (std::filesystem::file_size(path, error) == static_cast<std::uintmax_t>(size)) return;
  std::string header = Card("SIMPLE  =                    T") + Card("BITPIX  =                   16") +
                       Card("NAXIS   =                    2") + Card("NAXIS1  =                 4096") +
                       Card("NAXIS2  =                 4096");
  if (bzero) header += Card("BSCALE  =                    1") + Card("BZERO   =                32768");
  header += Card("END");
  header.resize(2880, ' ');
  std::vector<char> data(static_cast<std::size_t>(size - 2880), '\0');
  std::uint32_t state = 2463534242u;
  for (long long i = 0; i < kDataBytes; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    data[i] = static_cast<char>(state >> 24);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

const char* PathOf(const benchmark::State& state) { return kPaths[state.range(0)]; }

// Wall-clock time and the CPU time of all the process's threads: on a busy
// machine the first waits for the cores, the second still tells the work.
struct Start {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  double cpu_ns = CpuNanoseconds();

  static double CpuNanoseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e9 + t.tv_nsec;
  }
};

void ReportPerPixel(benchmark::State& state, const Start& start) {
  const double ns =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start.wall).count();
  const double pixels = static_cast<double>(state.iterations()) * kPixels;
  state.counters["ns_per_pixel"] = ns / pixels;
  state.counters["cpu_ns_per_pixel"] = (Start::CpuNanoseconds() - start.cpu_ns) / pixels;
}

// With --benchmark_repetitions: the least of the runs, the figure least
// disturbed by whatever else the machine is doing.
double Least(const std::vector<double>& v) { return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end()); }

void Check(benchmark::State& state, const qirm::Status& s) {
  if (!s.ok()) state.SkipWithError(s.message().c_str());
}

// The main figure: ReadFitsFile into a pre-created matrix, then the shift.
void BM_ReadFitsFileAndShift(benchmark::State& state) {
  qirm::FitsHeader header;
  IntMatrix m;
  qirm::AllocIntMatrix(kSide, kSide, m);
  const Start start;
  for (auto _ : state) {
    Check(state, qirm::ReadFitsFile(PathOf(state), header, m));
    qirm::ToUnsigned16(32768, kSide, kSide, m);
    benchmark::DoNotOptimize(m[kSide - 1][kSide - 1]);
  }
  ReportPerPixel(state, start);
}
BENCHMARK(BM_ReadFitsFileAndShift)
    ->ArgName("bzero")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

// The callers' whole sequence: header pass, matrix created, read, shift,
// matrix released.
void BM_HeaderAllocReadShift(benchmark::State& state) {
  const Start start;
  for (auto _ : state) {
    qirm::FitsHeader header;
    Check(state, qirm::ReadFitsHeader(PathOf(state), header));
    IntMatrix m;
    qirm::AllocIntMatrix(header.width, header.height, m);
    Check(state, qirm::ReadFitsFile(PathOf(state), header, m));
    qirm::ToUnsigned16(32768, header.width, header.height, m);
    benchmark::DoNotOptimize(m[kSide - 1][kSide - 1]);
    qirm::FreeIntMatrix(header.width, header.height, m);
  }
  ReportPerPixel(state, start);
}
BENCHMARK(BM_HeaderAllocReadShift)
    ->ArgName("bzero")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

void BM_ReadFitsFileOnly(benchmark::State& state) {
  qirm::FitsHeader header;
  IntMatrix m;
  qirm::AllocIntMatrix(kSide, kSide, m);
  const Start start;
  for (auto _ : state) {
    Check(state, qirm::ReadFitsFile(PathOf(state), header, m));
    benchmark::DoNotOptimize(m[kSide - 1][kSide - 1]);
  }
  ReportPerPixel(state, start);
}
BENCHMARK(BM_ReadFitsFileOnly)
    ->ArgName("bzero")
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

// On the frame's values: the shift must not depend on their order.
void BM_ToUnsigned16Only(benchmark::State& state) {
  qirm::FitsHeader header;
  IntMatrix m;
  qirm::AllocIntMatrix(kSide, kSide, m);
  Check(state, qirm::ReadFitsFile(PathOf(state), header, m));
  const Start start;
  for (auto _ : state) {
    qirm::ToUnsigned16(32768, kSide, kSide, m);
    benchmark::DoNotOptimize(m[kSide - 1][kSide - 1]);
  }
  ReportPerPixel(state, start);
}
BENCHMARK(BM_ToUnsigned16Only)
    ->ArgName("bzero")
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

// The pixel data alone by the fast path with 1 or 2 threads, and by the
// plain byte-by-byte reference.
void BM_PixelsFast(benchmark::State& state) {
  IntMatrix m;
  qirm::AllocIntMatrix(kSide, kSide, m);
  std::FILE* file = std::fopen(PathOf(state), "rb");
  const Start start;
  for (auto _ : state) {
    Check(state, qirm::fits::ReadBigEndian16(file, PathOf(state), 2880, kSide, kSide, m,
                                             static_cast<int>(state.range(1))));
    benchmark::DoNotOptimize(m[kSide - 1][kSide - 1]);
  }
  ReportPerPixel(state, start);
  std::fclose(file);
}
BENCHMARK(BM_PixelsFast)
    ->ArgNames({"bzero", "threads"})
    ->Args({0, 1})
    ->Args({0, 2})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

void BM_PixelsPlain(benchmark::State& state) {
  IntMatrix m;
  qirm::AllocIntMatrix(kSide, kSide, m);
  std::FILE* file = std::fopen(PathOf(state), "rb");
  const Start start;
  for (auto _ : state) {
    Check(state, qirm::fits::ReadBigEndian16Plain(file, PathOf(state), 2880, kSide, kSide, m));
    benchmark::DoNotOptimize(m[kSide - 1][kSide - 1]);
  }
  ReportPerPixel(state, start);
  std::fclose(file);
}
BENCHMARK(BM_PixelsPlain)
    ->ArgName("bzero")
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least)
    ->Iterations(3);

// The floor: the file's bytes copied from the page cache, nothing else.
void BM_PageCacheRead(benchmark::State& state) {
  std::vector<char> buffer(static_cast<std::size_t>(2880 + kDataBytes));
  const Start start;
  for (auto _ : state) {
    const int fd = ::open(PathOf(state), O_RDONLY);
    std::size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t got = ::read(fd, buffer.data() + done, buffer.size() - done);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    benchmark::DoNotOptimize(buffer.data());
  }
  ReportPerPixel(state, start);
}
BENCHMARK(BM_PageCacheRead)
    ->ArgName("bzero")
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);

#ifdef QIRM_HAVE_CFITSIO
// The whole image through fits_read_img into 16-bit integers of `type`;
// cfitsio's status (NUM_OVERFLOW when values were clipped to the type).
int ReadWithCfitsio(int which, int type, std::vector<unsigned short>& values) {
  fitsfile* f = nullptr;
  int status = 0;
  int any_null = 0;
  unsigned short null_value = 0;
  fits_open_file(&f, kPaths[which], READONLY, &status);
  fits_read_img(f, type, 1, kPixels, &null_value, values.data(), &any_null, &status);
  int close_status = 0;
  fits_close_file(f, &close_status);
  return status != 0 ? status : close_status;
}

// Signed data into TSHORT; the BZERO 32768 file into TUSHORT, the type its
// values fit, and into TSHORT, where cfitsio clips half of them
// (NUM_OVERFLOW, accepted here: only the time counts).
void BM_Cfitsio(benchmark::State& state) {
  std::vector<unsigned short> values(static_cast<std::size_t>(kPixels));
  const int which = static_cast<int>(state.range(0));
  const int type = state.range(1) == 0 ? TSHORT : TUSHORT;
  const Start start;
  for (auto _ : state) {
    const int status = ReadWithCfitsio(which, type, values);
    if (status != 0 && status != NUM_OVERFLOW) state.SkipWithError("cfitsio failed");
    benchmark::DoNotOptimize(values.data());
  }
  ReportPerPixel(state, start);
}
BENCHMARK(BM_Cfitsio)
    ->ArgNames({"bzero", "unsigned"})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Least);
#endif

// astropy times itself (ten reads after a warm-up); the mean is reported.
void BM_Astropy(benchmark::State& state) {
  const std::string command = std::string("/usr/bin/python3 '") + QIRM_BENCH_DIR + "/fits_read_astropy.py' " +
                              PathOf(state) + " 10 2>/dev/null";
  for (auto _ : state) {
    double mean = 0.0, best = 0.0;
    long long pixels = 0;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    const bool ok = pipe && std::fscanf(pipe, "%lf %lf %lld", &mean, &best, &pixels) == 3;
    if (pipe) ::pclose(pipe);
    if (!ok || pixels != kPixels) {
      state.SkipWithError("astropy not available");
      break;
    }
    state.SetIterationTime(mean);
    state.counters["ns_per_pixel"] = mean * 1e9 / kPixels;
    state.counters["best_ns_per_pixel"] = best * 1e9 / kPixels;
  }
}
BENCHMARK(BM_Astropy)
    ->ArgName("bzero")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Before timing anything: the reader's raw values must be cfitsio's values
// (signed + 32768 for the first file, as they are for the second).
bool SameAsCfitsio(int which) {
#ifdef QIRM_HAVE_CFITSIO
  std::vector<unsigned short> values(static_cast<std::size_t>(kPixels));
  if (ReadWithCfitsio(which, which == 0 ? TSHORT : TUSHORT, values) != 0) return false;
  qirm::FitsHeader header;
  IntMatrix m;
  if (!qirm::ReadFitsHeader(kPaths[which], header).ok() ||
      qirm::AllocIntMatrix(header.width, header.height, m) != 0 ||
      !qirm::ReadFitsFile(kPaths[which], header, m).ok()) {
    return false;
  }
  qirm::ToUnsigned16(32768, header.width, header.height, m);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const unsigned short v = values[static_cast<std::size_t>(y) * kSide + x];
      if (m[x][y] != (which == 0 ? static_cast<short>(v) + 32768 : v)) return false;
    }
  }
#else
  (void)which;
#endif
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  WriteBenchFile(kPaths[0], false);
  WriteBenchFile(kPaths[1], true);
  if (!SameAsCfitsio(0) || !SameAsCfitsio(1)) {
    std::fprintf(stderr, "the reader's values differ from cfitsio's\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
