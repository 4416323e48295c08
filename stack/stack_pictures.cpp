// SPDX-License-Identifier: GPL-3.0-or-later
// The pixel work of the composite: every channel byte of every pixel is an
// independent stack of N bytes, so a row of W pixels is simply 3W stacks and
// the channels need no separate treatment. Each output row is made from the
// same row of all sources in one go, which keeps the working set (one row
// accumulator) in cache and reads every source byte once. The plain
// per-pixel definitions are in the header; tests compare with them.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

#include "core/cpu_dispatch.h"
#include "core/numbers.h"
#include "core/parallel.h"
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

// The k-th smallest distance (in doubled units) of the sorted values v[lo],
// ..., v[hi-1] from the centre c2 / 2. The k + 1 values nearest the centre
// are a run of the sorted order, and the farthest value of any run is one of
// its ends; so it is the smallest, over all runs of k + 1 values, of the
// larger distance of the run's two ends.
template <class At>
int KthDistance(const At& at, int lo, int hi, int c2, int k) {
  int best = INT32_MAX;
  for (int i = lo; i + k < hi; ++i) {
    best = std::min(best, std::max(std::abs(c2 - 2 * at(i)), std::abs(2 * at(i + k) - c2)));
  }
  return best;
}

// The clipped mean of n sorted values v[0], v[stride], ... (bytes or raw
// 16-bit values: the distances stay within int). The kept values of a pass
// are always a run of the sorted order (the test is symmetric about the
// centre), so a pass only moves the two ends of the run inward.
template <class T>
T ClipSorted(const T* v, std::ptrdiff_t stride, int n) {
  auto at = [v, stride](int k) { return static_cast<int>(v[k * stride]); };
  int lo = 0;
  int hi = n;
  if (n >= 3) {
    for (int pass = 0; pass < kClipIterations; ++pass) {
      const int m = hi - lo;
      const int c2 = at(lo + (m - 1) / 2) + at(lo + m / 2);  // twice the median
      const int mad4 = KthDistance(at, lo, hi, c2, (m - 1) / 2) + KthDistance(at, lo, hi, c2, m / 2);
      const int lo0 = lo;
      const int hi0 = hi;
      while (Rejected(c2 - 2 * at(lo), mad4)) ++lo;
      while (Rejected(2 * at(hi - 1) - c2, mad4)) --hi;
      if (lo == lo0 && hi == hi0) break;
    }
  }
  long long sum = 0;
  for (int k = lo; k < hi; ++k) sum += at(k);
  return static_cast<T>(sum / (hi - lo));
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

// The vector loops (QIRM_KERNEL) are built twice by TargetVariants, for
// AVX2 and for the x86-64 baseline, and a composite picks by the active CPU
// level when it starts; the helpers they call are inlined into each build.
#define QIRM_INLINE inline __attribute__((always_inline))
#define QIRM_KERNEL QIRM_INLINE

// Stacks processed side by side in the expected-value method: the network
// runs on whole blocks of this many stacks with byte-wise min / max.
constexpr int kLanes = 64;
// Largest stack the block path takes: its sums must fit 16 bits.
constexpr int kMaxBlockStack = 257;

// The QIRM_KERNEL loops below, built for one instruction set (KernelsFor).
struct Kernels {
  void (*sum_rows16)(const std::uint8_t* const*, std::size_t, int, std::uint16_t*);
  void (*saturate16)(const std::uint16_t*, int, std::uint8_t*);
  void (*extreme_row)(bool, const std::uint8_t* const*, std::size_t, int, std::uint8_t*);
  void (*sort_block)(const std::pair<int, int>*, std::size_t, std::uint8_t*);
  void (*clip_pass)(const std::uint8_t*, int, std::int16_t*, std::int16_t*, std::uint16_t*);
  void (*means)(const std::uint16_t*, int, std::uint8_t*);
};

struct Job {
  const Kernels* kernels;
  const std::vector<const Picture*>* sources;
  CompositeMethod method;
  int bytes;                           // 3 W
  std::vector<std::uint8_t> quotient;  // trunc(s / N) for s = 0 .. 255 N
  std::vector<std::pair<int, int>> network;
};

class ExpectedStacker;

// Scratch of one thread.
struct Scratch {
  std::vector<std::uint16_t> sum16;
  std::vector<std::uint32_t> sum32;
  std::vector<std::uint8_t> block;  // N x kLanes bytes
  std::vector<const std::uint8_t*> rows;
  std::unique_ptr<ExpectedStacker> expected;
};

template <class Sum>
QIRM_INLINE void SumRows(const std::uint8_t* const* rows, std::size_t n, int bytes, Sum* __restrict sum) {
  const std::uint8_t* __restrict first = rows[0];
  for (int i = 0; i < bytes; ++i) sum[i] = first[i];
  std::size_t k = 1;
  // Two sources a pass halve the passes over the accumulator.
  for (; k + 1 < n; k += 2) {
    const std::uint8_t* __restrict a = rows[k];
    const std::uint8_t* __restrict b = rows[k + 1];
    for (int i = 0; i < bytes; ++i) sum[i] = static_cast<Sum>(sum[i] + a[i] + b[i]);
  }
  for (; k < n; ++k) {
    const std::uint8_t* __restrict a = rows[k];
    for (int i = 0; i < bytes; ++i) sum[i] = static_cast<Sum>(sum[i] + a[i]);
  }
}

QIRM_KERNEL void SumRows16(const std::uint8_t* const* rows, std::size_t n, int bytes, std::uint16_t* sum) {
  SumRows(rows, n, bytes, sum);
}

// The sum method's bytes: totals beyond 255 saturate.
QIRM_KERNEL void Saturate16(const std::uint16_t* __restrict sum, int bytes, std::uint8_t* __restrict out) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(sum[i] < 255 ? sum[i] : 255);
}

template <class Sum>
void AverageOrSumRow(const Job& job, Scratch& s, std::vector<Sum>& sum, std::uint8_t* out) {
  sum.resize(static_cast<std::size_t>(job.bytes));
  if constexpr (sizeof(Sum) == 2) {
    job.kernels->sum_rows16(s.rows.data(), s.rows.size(), job.bytes, sum.data());
    if (job.method == CompositeMethod::Sum) {
      job.kernels->saturate16(sum.data(), job.bytes, out);
      return;
    }
  } else {
    SumRows(s.rows.data(), s.rows.size(), job.bytes, sum.data());
    if (job.method == CompositeMethod::Sum) {
      for (int i = 0; i < job.bytes; ++i) out[i] = static_cast<std::uint8_t>(std::min<Sum>(sum[i], 255));
      return;
    }
  }
  const std::uint8_t* q = job.quotient.data();
  for (int i = 0; i < job.bytes; ++i) out[i] = q[sum[i]];
}

QIRM_KERNEL void ExtremeRow(bool maximum, const std::uint8_t* const* rows, std::size_t n, int bytes,
                            std::uint8_t* __restrict out) {
  std::memcpy(out, rows[0], static_cast<std::size_t>(bytes));
  for (std::size_t k = 1; k < n; ++k) {
    const std::uint8_t* __restrict a = rows[k];
    if (maximum) {
      for (int i = 0; i < bytes; ++i) out[i] = out[i] < a[i] ? a[i] : out[i];
    } else {
      for (int i = 0; i < bytes; ++i) out[i] = out[i] > a[i] ? a[i] : out[i];
    }
  }
}

// One comparator of the network on a block of stacks.
QIRM_INLINE void CompareExchange(std::uint8_t* __restrict a, std::uint8_t* __restrict b) {
  for (int l = 0; l < kLanes; ++l) {
    const std::uint8_t x = a[l];
    const std::uint8_t y = b[l];
    a[l] = x < y ? x : y;
    b[l] = x < y ? y : x;
  }
}

QIRM_KERNEL void SortBlock(const std::pair<int, int>* network, std::size_t size, std::uint8_t* rows) {
  for (std::size_t c = 0; c < size; ++c) {
    CompareExchange(rows + network[c].first * kLanes, rows + network[c].second * kLanes);
  }
}

// KthDistance for a block of stacks that all hold m sorted values.
QIRM_INLINE void KthDistances(const std::uint8_t* rows, int m, int k, const std::int16_t* __restrict c2,
                              std::int16_t* __restrict best) {
  for (int l = 0; l < kLanes; ++l) best[l] = INT16_MAX;
  for (int i = 0; i + k < m; ++i) {
    const std::uint8_t* __restrict first = rows + i * kLanes;
    const std::uint8_t* __restrict last = rows + (i + k) * kLanes;
    for (int l = 0; l < kLanes; ++l) {
      const std::int16_t below = static_cast<std::int16_t>(c2[l] - 2 * first[l]);
      const std::int16_t above = static_cast<std::int16_t>(2 * last[l] - c2[l]);
      const std::int16_t d1 = below < 0 ? static_cast<std::int16_t>(-below) : below;
      const std::int16_t d2 = above < 0 ? static_cast<std::int16_t>(-above) : above;
      const std::int16_t d = d1 > d2 ? d1 : d2;
      best[l] = d < best[l] ? d : best[l];
    }
  }
}

// One clipping pass of ClipSorted on a block of stacks that all hold m >= 3
// sorted values (rows 0 .. m-1). Gives the kept run [lo, hi) of each stack
// and the sum of all m values. Every index is the same for all stacks, so
// everything runs on whole rows of the block.
QIRM_KERNEL void ClipPass(const std::uint8_t* rows, int m, std::int16_t* __restrict lo,
                          std::int16_t* __restrict hi, std::uint16_t* __restrict sum) {
  alignas(64) std::int16_t c2[kLanes];
  alignas(64) std::int16_t da[kLanes];
  alignas(64) std::int16_t db[kLanes];
  alignas(64) std::int16_t limit[kLanes];
  const std::uint8_t* lower_middle = rows + (m - 1) / 2 * kLanes;
  const std::uint8_t* upper_middle = rows + m / 2 * kLanes;
  for (int l = 0; l < kLanes; ++l) c2[l] = static_cast<std::int16_t>(lower_middle[l] + upper_middle[l]);
  KthDistances(rows, m, (m - 1) / 2, c2, da);
  KthDistances(rows, m, m / 2, c2, db);
  // Rejected(d2, mad4) is d2 > limit with limit = max(5, floor(7413 mad4 / 4000)).
  for (int l = 0; l < kLanes; ++l) {
    const std::int32_t scaled = 7413 * (static_cast<std::int32_t>(da[l]) + db[l]) / 4000;
    limit[l] = static_cast<std::int16_t>(scaled > 5 ? scaled : 5);
  }
  // Rejected values are the ends of the sorted run: count them per side.
  for (int l = 0; l < kLanes; ++l) {
    lo[l] = 0;
    hi[l] = static_cast<std::int16_t>(m);
    sum[l] = 0;
  }
  for (int k = 0; k < m; ++k) {
    const std::uint8_t* __restrict row = rows + k * kLanes;
    for (int l = 0; l < kLanes; ++l) {
      const std::int16_t twice = static_cast<std::int16_t>(2 * row[l] - c2[l]);
      lo[l] = static_cast<std::int16_t>(lo[l] + (-twice > limit[l]));
      hi[l] = static_cast<std::int16_t>(hi[l] - (twice > limit[l]));
      sum[l] = static_cast<std::uint16_t>(sum[l] + row[l]);
    }
  }
}

// trunc(sum / m) for a block. In float: sums below 2^16 are exact, and a
// quotient that is not a whole number lies at least 1/m >= 1/257 from one,
// far beyond the float's rounding of a value below 256, so the truncation
// is the integer division's.
QIRM_KERNEL void Means(const std::uint16_t* __restrict sum, int m, std::uint8_t* __restrict mean) {
  const float divisor = static_cast<float>(m);
  for (int l = 0; l < kLanes; ++l) {
    mean[l] = static_cast<std::uint8_t>(static_cast<int>(static_cast<float>(sum[l]) / divisor));
  }
}

Kernels KernelsFor(CpuLevel level) {
  return {TargetVariants<SumRows16>::For(level),  TargetVariants<Saturate16>::For(level),
          TargetVariants<ExtremeRow>::For(level), TargetVariants<SortBlock>::For(level),
          TargetVariants<ClipPass>::For(level),   TargetVariants<Means>::For(level)};
}

// Stacks still being clipped, grouped by the length m of their kept run
// (the passes need one m for the whole block). A stack whose run shrinks
// moves on to the group of its new length; every group holds at most kLanes
// stacks and is worked off when full, and all groups at the end of a chunk
// of rows, longest runs first (their stacks can only move to shorter ones).
struct ClipGroup {
  std::vector<std::uint8_t> rows;  // m rows of kLanes
  int count = 0;
  std::uint8_t passes[kLanes];  // passes done
  std::uint8_t* out[kLanes];    // where the result byte goes
};

class ExpectedStacker {
 public:
  ExpectedStacker(const Kernels& kernels, int n)
      : m_kernels(kernels), m_groups(static_cast<std::size_t>(n) + 1) {
    for (int m = 3; m <= n; ++m)
      m_groups[static_cast<std::size_t>(m)].rows.resize(static_cast<std::size_t>(m) * kLanes);
  }

  // A block of fresh stacks: n rows of kLanes, `lanes` of them real, the
  // results going to out[0 .. lanes-1].
  void Block(const Job& job, int n, std::uint8_t* rows, int lanes, std::uint8_t* out) {
    m_kernels.sort_block(job.network.data(), job.network.size(), rows);
    alignas(64) std::int16_t lo[kLanes];
    alignas(64) std::int16_t hi[kLanes];
    alignas(64) std::uint16_t sum[kLanes];
    alignas(64) std::uint8_t mean[kLanes];
    m_kernels.clip_pass(rows, n, lo, hi, sum);
    m_kernels.means(sum, n, mean);
    for (int l = 0; l < lanes; ++l) {
      if (lo[l] == 0 && hi[l] == n)
        out[l] = mean[l];
      else
        Continue(rows, l, lo[l], hi[l], 1, out + l);
    }
  }

  // Works off every group; the longest runs first.
  void Flush() {
    for (std::size_t m = m_groups.size(); m-- > 3;) {
      if (m_groups[m].count > 0) Work(static_cast<int>(m));
    }
  }

 private:
  // Stack `lane` of `rows` keeps [lo, hi) after `passes` passes.
  void Continue(const std::uint8_t* rows, int lane, int lo, int hi, int passes, std::uint8_t* out) {
    const int m = hi - lo;
    if (passes == kClipIterations || m <= 2) {
      // Done: the last pass allowed, or a run that can lose nothing more.
      int sum = 0;
      for (int k = lo; k < hi; ++k) sum += rows[k * kLanes + lane];
      *out = static_cast<std::uint8_t>(sum / m);
      return;
    }
    ClipGroup& g = m_groups[static_cast<std::size_t>(m)];
    const int slot = g.count++;
    const std::uint8_t* src = rows + lo * kLanes + lane;
    std::uint8_t* dst = g.rows.data() + slot;
    int k = 0;
    for (; k + 4 <= m; k += 4) {
      dst[0] = src[0];
      dst[kLanes] = src[kLanes];
      dst[2 * kLanes] = src[2 * kLanes];
      dst[3 * kLanes] = src[3 * kLanes];
      src += 4 * kLanes;
      dst += 4 * kLanes;
    }
    for (; k < m; ++k, src += kLanes, dst += kLanes) *dst = *src;
    g.passes[slot] = static_cast<std::uint8_t>(passes);
    g.out[slot] = out;
    if (g.count == kLanes) Work(m);
  }

  void Work(int m) {
    ClipGroup& g = m_groups[static_cast<std::size_t>(m)];
    alignas(64) std::int16_t lo[kLanes];
    alignas(64) std::int16_t hi[kLanes];
    alignas(64) std::uint16_t sum[kLanes];
    alignas(64) std::uint8_t mean[kLanes];
    m_kernels.clip_pass(g.rows.data(), m, lo, hi, sum);
    m_kernels.means(sum, m, mean);
    const int count = g.count;
    for (int l = 0; l < count; ++l) {
      // Stacks move only to shorter runs, never into this group.
      if (lo[l] == 0 && hi[l] == m)
        *g.out[l] = mean[l];
      else
        Continue(g.rows.data(), l, lo[l], hi[l], g.passes[l] + 1, g.out[l]);
    }
    g.count = 0;
  }

  const Kernels& m_kernels;
  std::vector<ClipGroup> m_groups;
};

void ExpectedRow(const Job& job, Scratch& s, std::uint8_t* out) {
  const int n = static_cast<int>(s.rows.size());
  if (n > kMaxBlockStack) {
    // Beyond 16-bit sums: one stack at a time.
    std::vector<std::uint8_t>& v = s.block;
    for (int i = 0; i < job.bytes; ++i) {
      v.clear();
      for (const std::uint8_t* row : s.rows) v.push_back(row[i]);
      std::sort(v.begin(), v.end());
      out[i] = ClipSorted<std::uint8_t>(v.data(), 1, n);
    }
    return;
  }
  if (!s.expected) s.expected = std::make_unique<ExpectedStacker>(*job.kernels, n);
  s.block.resize(static_cast<std::size_t>(n) * kLanes);
  std::uint8_t* block = s.block.data();
  for (int pos = 0; pos < job.bytes; pos += kLanes) {
    const int lanes = std::min(kLanes, job.bytes - pos);
    for (int k = 0; k < n; ++k) {
      std::uint8_t* dst = block + k * kLanes;
      std::memcpy(dst, s.rows[static_cast<std::size_t>(k)] + pos, static_cast<std::size_t>(lanes));
      if (lanes < kLanes) std::memset(dst + lanes, 0, static_cast<std::size_t>(kLanes - lanes));
    }
    s.expected->Block(job, n, block, lanes, out + pos);
  }
}

// The end of a chunk of rows: every result byte of its rows is written.
void FinishChunk(Scratch& s) {
  if (s.expected) s.expected->Flush();
}

void StackRow(const Job& job, Scratch& s, int y, std::uint8_t* out) {
  s.rows.clear();
  for (const Picture* p : *job.sources) s.rows.push_back(p->Row(y));
  const std::size_t n = s.rows.size();
  switch (job.method) {
    case CompositeMethod::Maximum:
    case CompositeMethod::Minimum:
      job.kernels->extreme_row(job.method == CompositeMethod::Maximum, s.rows.data(), n, job.bytes, out);
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
      if (n <= 257)
        AverageOrSumRow(job, s, s.sum16, out);
      else
        AverageOrSumRow(job, s, s.sum32, out);
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
  return ClipSorted<std::uint8_t>(values.data(), 1, static_cast<int>(values.size()));
}

std::uint16_t RobustStackMean16(std::vector<std::uint16_t>& values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return ClipSorted<std::uint16_t>(values.data(), 1, static_cast<int>(values.size()));
}

std::vector<std::uint16_t> StackRawValues(const std::vector<const std::uint16_t*>& sources, int width,
                                          int height, CompositeMethod method,
                                          const std::function<void(int)>& progress) {
  if (sources.empty() || width <= 0 || height <= 0) return {};
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t n = sources.size();
  std::vector<std::uint16_t> result(w * static_cast<std::size_t>(height));
  if (progress) progress(0);
  std::atomic<int> done{0};
  const int parts = PartCount(static_cast<long long>(width) * height * static_cast<long long>(n));
  // Part 0 runs on the calling thread, the only one that reports.
  ForEachPart(height, parts, [&](int part, long long y0, long long y1) {
    std::vector<std::uint64_t> sum(w);
    std::vector<std::uint16_t> stack(n);
    int last = 0;
    for (long long y = y0; y < y1; ++y) {
      if (part == 0 && progress) {
        const int percent = RowPercent(done.load(), height);
        if (percent != last) progress(last = percent);
      }
      const std::size_t offset = static_cast<std::size_t>(y) * w;
      std::uint16_t* out = result.data() + offset;
      switch (method) {
        case CompositeMethod::Average:
        case CompositeMethod::Sum:
          std::fill(sum.begin(), sum.end(), 0);
          for (const std::uint16_t* source : sources) {
            const std::uint16_t* in = source + offset;
            for (std::size_t x = 0; x < w; ++x) sum[x] += in[x];
          }
          if (method == CompositeMethod::Average) {
            for (std::size_t x = 0; x < w; ++x) out[x] = static_cast<std::uint16_t>(sum[x] / n);
          } else {
            for (std::size_t x = 0; x < w; ++x)
              out[x] = static_cast<std::uint16_t>(std::min<std::uint64_t>(sum[x], 65535));
          }
          break;
        case CompositeMethod::Maximum:
        case CompositeMethod::Minimum: {
          const bool maximum = method == CompositeMethod::Maximum;
          std::memcpy(out, sources[0] + offset, w * sizeof(std::uint16_t));
          for (std::size_t k = 1; k < n; ++k) {
            const std::uint16_t* in = sources[k] + offset;
            for (std::size_t x = 0; x < w; ++x)
              out[x] = maximum ? std::max(out[x], in[x]) : std::min(out[x], in[x]);
          }
          break;
        }
        case CompositeMethod::Expected:
          for (std::size_t x = 0; x < w; ++x) {
            for (std::size_t k = 0; k < n; ++k) stack[k] = sources[k][offset + x];
            std::sort(stack.begin(), stack.end());
            out[x] = ClipSorted<std::uint16_t>(stack.data(), 1, static_cast<int>(n));
          }
          break;
      }
      done.fetch_add(1);
    }
  });
  return result;
}

Picture StackPictures(const std::vector<const Picture*>& sources, CompositeMethod method,
                      const std::function<void(int)>& progress) {
  if (sources.empty()) return Picture();
  const int w = sources[0]->width();
  const int h = sources[0]->height();
  Picture result(w, h);
  if (result.empty()) return result;

  const Kernels kernels = KernelsFor(ActiveCpuLevel());
  Job job;
  job.kernels = &kernels;
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
  // Progress starts at 0 before any thread runs: the helpers may take every
  // chunk before the calling thread gets one.
  if (progress) progress(0);
  auto work = [&](bool report) {
    Scratch scratch;
    int last = 0;
    for (;;) {
      const int y0 = next.fetch_add(kChunk);
      if (y0 >= h) break;
      if (report && progress) {
        const int percent = RowPercent(done.load(), h);
        if (percent != last) progress(last = percent);
      }
      const int y1 = std::min(h, y0 + kChunk);
      for (int y = y0; y < y1; ++y) StackRow(job, scratch, y, result.Row(y));
      FinishChunk(scratch);
      done.fetch_add(y1 - y0);
    }
  };

  // A part whose thread could not start runs on the calling thread, which
  // then reports for it too.
  const std::thread::id caller = std::this_thread::get_id();
  RunInParts(PartCount(static_cast<long long>(w) * h * n, 8),
             [&](int) { work(std::this_thread::get_id() == caller); });
  return result;
}

}  // namespace qirm
