// The pixel work of the composite: every channel byte of every pixel is an
// independent stack of N bytes, so a row of W pixels is simply 3W stacks and
// the channels need no separate treatment. Each output row is made from the
// same row of all sources in one go, which keeps the working set (one row
// accumulator) in cache and reads every source byte once. The plain
// per-pixel definitions are in the header; tests compare with them.
#include <algorithm>
#include <cstdint>
#include <atomic>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include "core/numbers.h"
#include "stack/composite.h"

namespace qirm {
namespace {

// ---------------------------------------------------------------- robust mean

// Rejection test of the expected-value method in integers. d2 = |2v - c2| is
// twice the distance of a value from the median (c2 = twice the median), and
// mad4 four times the MAD. Rejected when |v - median| > 2.5 * sigma with
// sigma = max(1.4826 * MAD, 1):
//   d2 / 2 > 2.5 * 1        <=>  d2 > 5
//   d2 / 2 > 2.5 * 1.4826 * mad4 / 4  <=>  4000 * d2 > 7413 * mad4
// Equality keeps the value.
inline bool Rejected(int d2, int mad4) { return d2 > 5 && 4000LL * d2 > 7413LL * mad4; }

// The clipped mean of n sorted bytes v[0], v[stride], ... . The kept values
// of a pass are always a run of the sorted order (the test is symmetric about
// the centre), so a pass only moves the two ends of the run inward.
std::uint8_t ClipSorted(const std::uint8_t* v, std::ptrdiff_t stride, int n) {
  auto at = [v, stride](int k) { return static_cast<int>(v[k * stride]); };
  int lo = 0;
  int hi = n;
  if (n >= 3) {
    for (int pass = 0; pass < kClipIterations; ++pass) {
      const int m = hi - lo;
      const int i = lo + (m - 1) / 2;  // lower middle
      const int j = lo + m / 2;        // upper middle (i when m is odd)
      const int c2 = at(i) + at(j);
      // The deviations fall towards the middle from both ends: merge the
      // left run (downwards from i) and the right run (upwards from the
      // first index past the middle) up to ranks (m-1)/2 and m/2.
      int a = i;
      int b = m % 2 ? i + 1 : j;
      int mad4 = 0;
      for (int rank = 0; rank <= m / 2; ++rank) {
        const int dl = a >= lo ? c2 - 2 * at(a) : INT32_MAX;
        const int dr = b < hi ? 2 * at(b) - c2 : INT32_MAX;
        int d;
        if (dl <= dr) {
          d = dl;
          --a;
        } else {
          d = dr;
          ++b;
        }
        if (rank == (m - 1) / 2) mad4 += d;
        if (rank == m / 2) mad4 += d;
      }
      const int lo0 = lo;
      const int hi0 = hi;
      while (Rejected(c2 - 2 * at(lo), mad4)) ++lo;
      while (Rejected(2 * at(hi - 1) - c2, mad4)) --hi;
      if (lo == lo0 && hi == hi0) break;
    }
  }
  int sum = 0;
  for (int k = lo; k < hi; ++k) sum += at(k);
  return static_cast<std::uint8_t>(sum / (hi - lo));
}

// Batcher's odd-even merge sort for any n (comparators that would touch a
// position past n are dropped, as if those held +infinity).
std::vector<std::pair<int, int>> SortingNetwork(int n) {
  std::vector<std::pair<int, int>> net;
  for (int p = 1; p < n; p <<= 1) {
    for (int k = p; k >= 1; k >>= 1) {
      for (int j = k % p; j + k < n; j += 2 * k) {
        for (int i = 0; i < std::min(k, n - j - k); ++i) {
          if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) net.emplace_back(i + j, i + j + k);
        }
      }
    }
  }
  return net;
}

// ---------------------------------------------------------------- rows

// Stacks processed side by side in the expected-value method: the network
// runs on whole blocks of this many stacks with byte-wise min / max.
constexpr int kLanes = 64;

struct Job {
  const std::vector<const Picture*>* sources;
  CompositeMethod method;
  int bytes;  // 3 W
  std::vector<std::uint8_t> quotient;  // trunc(s / N) for s = 0 .. 255 N
  std::vector<std::pair<int, int>> network;
};

// Scratch of one thread.
struct Scratch {
  std::vector<std::uint16_t> sum16;
  std::vector<std::uint32_t> sum32;
  std::vector<std::uint8_t> block;  // N x kLanes sorted bytes
  std::vector<const std::uint8_t*> rows;
};

template <class Sum>
void SumRows(const std::vector<const std::uint8_t*>& rows, int bytes, Sum* sum) {
  const std::uint8_t* first = rows[0];
  for (int i = 0; i < bytes; ++i) sum[i] = first[i];
  std::size_t k = 1;
  // Two sources a pass halve the passes over the accumulator.
  for (; k + 1 < rows.size(); k += 2) {
    const std::uint8_t* a = rows[k];
    const std::uint8_t* b = rows[k + 1];
    for (int i = 0; i < bytes; ++i) sum[i] = static_cast<Sum>(sum[i] + a[i] + b[i]);
  }
  for (; k < rows.size(); ++k) {
    const std::uint8_t* a = rows[k];
    for (int i = 0; i < bytes; ++i) sum[i] = static_cast<Sum>(sum[i] + a[i]);
  }
}

template <class Sum>
void AverageOrSumRow(const Job& job, Scratch& s, std::vector<Sum>& sum, std::uint8_t* out) {
  sum.resize(static_cast<std::size_t>(job.bytes));
  SumRows(s.rows, job.bytes, sum.data());
  if (job.method == CompositeMethod::Sum) {
    for (int i = 0; i < job.bytes; ++i) out[i] = static_cast<std::uint8_t>(std::min<Sum>(sum[i], 255));
  } else {
    const std::uint8_t* q = job.quotient.data();
    for (int i = 0; i < job.bytes; ++i) out[i] = q[sum[i]];
  }
}

void ExtremeRow(const Job& job, const std::vector<const std::uint8_t*>& rows, std::uint8_t* out) {
  std::memcpy(out, rows[0], static_cast<std::size_t>(job.bytes));
  const bool maximum = job.method == CompositeMethod::Maximum;
  for (std::size_t k = 1; k < rows.size(); ++k) {
    const std::uint8_t* a = rows[k];
    if (maximum) {
      for (int i = 0; i < job.bytes; ++i) out[i] = std::max(out[i], a[i]);
    } else {
      for (int i = 0; i < job.bytes; ++i) out[i] = std::min(out[i], a[i]);
    }
  }
}

void ExpectedRow(const Job& job, Scratch& s, std::uint8_t* out) {
  const int n = static_cast<int>(s.rows.size());
  s.block.resize(static_cast<std::size_t>(n) * kLanes);
  std::uint8_t* block = s.block.data();
  for (int pos = 0; pos < job.bytes; pos += kLanes) {
    const int lanes = std::min(kLanes, job.bytes - pos);
    for (int k = 0; k < n; ++k) {
      std::uint8_t* dst = block + k * kLanes;
      std::memcpy(dst, s.rows[static_cast<std::size_t>(k)] + pos, static_cast<std::size_t>(lanes));
      if (lanes < kLanes) std::memset(dst + lanes, 0, static_cast<std::size_t>(kLanes - lanes));
    }
    for (const auto& [i, j] : job.network) {
      std::uint8_t* a = block + i * kLanes;
      std::uint8_t* b = block + j * kLanes;
      for (int l = 0; l < kLanes; ++l) {
        const std::uint8_t x = a[l];
        const std::uint8_t y = b[l];
        a[l] = std::min(x, y);
        b[l] = std::max(x, y);
      }
    }
    const std::uint8_t* lowest = block;
    const std::uint8_t* highest = block + (n - 1) * kLanes;
    for (int l = 0; l < lanes; ++l) {
      // A stack spanning at most two levels lies within 2 of its median,
      // inside the 2.5-level floor: nothing can be rejected, the result is
      // the average.
      if (highest[l] - lowest[l] <= 2) {
        int sum = 0;
        for (int k = 0; k < n; ++k) sum += block[k * kLanes + l];
        out[pos + l] = job.quotient[static_cast<std::size_t>(sum)];
      } else {
        out[pos + l] = ClipSorted(block + l, kLanes, n);
      }
    }
  }
}

void StackRow(const Job& job, Scratch& s, int y, std::uint8_t* out) {
  s.rows.clear();
  for (const Picture* p : *job.sources) s.rows.push_back(p->Row(y));
  const std::size_t n = s.rows.size();
  switch (job.method) {
    case CompositeMethod::Maximum:
    case CompositeMethod::Minimum:
      ExtremeRow(job, s.rows, out);
      return;
    case CompositeMethod::Expected:
      if (n >= 3) {
        ExpectedRow(job, s, out);
        return;
      }
      [[fallthrough]];  // one or two pictures: the plain average
    case CompositeMethod::Average:
    case CompositeMethod::Sum:
      // 257 bytes of 255 still fit 16 bits.
      if (n <= 257) AverageOrSumRow(job, s, s.sum16, out);
      else AverageOrSumRow(job, s, s.sum32, out);
      return;
  }
}

int RowPercent(int rows_done, int height) {
  // The command's progress formula, trunc(y / (H * 0.01)), in
  // extended precision, with 0.01 the double constant.
  return Trunc(static_cast<Extended>(rows_done) / (static_cast<Extended>(height) * 0.01));
}

}  // namespace

std::uint8_t RobustStackMean(std::vector<std::uint8_t>& values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return ClipSorted(values.data(), 1, static_cast<int>(values.size()));
}

Picture StackPictures(const std::vector<const Picture*>& sources, CompositeMethod method,
                      const std::function<void(int)>& progress) {
  if (sources.empty()) return Picture();
  const int w = sources[0]->width();
  const int h = sources[0]->height();
  Picture result(w, h);
  if (result.empty()) return result;

  Job job;
  job.sources = &sources;
  job.method = method;
  job.bytes = 3 * w;
  const int n = static_cast<int>(sources.size());
  if (method == CompositeMethod::Average || method == CompositeMethod::Expected) {
    job.quotient.resize(static_cast<std::size_t>(255) * n + 1);
    for (std::size_t s = 0; s < job.quotient.size(); ++s) job.quotient[s] = static_cast<std::uint8_t>(s / n);
  }
  if (method == CompositeMethod::Expected && n >= 3) job.network = SortingNetwork(n);

  // Rows go out in small chunks to whoever is free; the calling thread also
  // works and is the only one that reports progress.
  constexpr int kChunk = 8;
  std::atomic<int> next{0};
  std::atomic<int> done{0};
  auto work = [&](bool report) {
    Scratch scratch;
    int last = -1;
    for (;;) {
      const int y0 = next.fetch_add(kChunk);
      if (y0 >= h) break;
      if (report && progress) {
        const int percent = RowPercent(done.load(), h);
        if (percent != last) progress(last = percent);
      }
      const int y1 = std::min(h, y0 + kChunk);
      for (int y = y0; y < y1; ++y) StackRow(job, scratch, y, result.Row(y));
      done.fetch_add(y1 - y0);
    }
  };

  const long long volume = static_cast<long long>(w) * h * n;
  const unsigned cores = std::thread::hardware_concurrency();
  const int threads = volume >= (1LL << 20) ? static_cast<int>(std::clamp(cores, 1u, 8u)) : 1;
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(work, false);
    } catch (const std::system_error&) {
      break;  // the calling thread does the rest
    }
  }
  work(true);
  for (std::thread& t : helpers) t.join();
  return result;
}

}  // namespace qirm
