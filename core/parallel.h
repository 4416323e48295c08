// SPDX-License-Identifier: GPL-3.0-or-later
// The one way engine code shares work between the machine's cores. Work is
// a range of items (rows, columns, pixels) cut into contiguous parts; part 0
// runs on the calling thread. Results never depend on the cut: every caller
// writes only its own part's output.
#pragma once

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace qirm {

// Work of fewer pixels (or elements) than this runs on the calling thread:
// starting a thread costs about as much as this many pixels of the lightest
// kernel.
inline constexpr long long kParallelMinWork = 1 << 16;

// The threads work may use: the hardware's, capped by ScopedThreadLimit.
int HardwareThreads();

// How many parts work of `work` pixels is cut into: 1 below
// kParallelMinWork, otherwise HardwareThreads() (at most `max_parts`).
int PartCount(long long work, int max_parts = 1 << 30);

// Where part k of `parts` even shares of n items starts, at a multiple of
// `step`; part `parts` starts at n.
inline long long PartStart(long long n, int k, int parts, long long step = 1) {
  if (k >= parts) return n;
  return std::min(n, n / step * k / parts * step);
}

// Runs work(0) .. work(parts - 1), part 0 on the calling thread. A thread
// that cannot be started runs its part on the calling thread instead. An
// exception from any part (std::bad_alloc of a part's buffers) reaches the
// caller once every part has ended: left in a thread of its own it would
// end the program.
template <class Work>
void RunInParts(int parts, const Work& work) {
  std::vector<std::thread> extra;
  extra.reserve(parts > 1 ? parts - 1 : 0);
  std::vector<std::exception_ptr> thrown(parts > 1 ? parts : 1);
  const auto run = [&work, &thrown](int part) {
    try {
      work(part);
    } catch (...) {
      thrown[part] = std::current_exception();
    }
  };
  for (int part = 1; part < parts; ++part) {
    try {
      extra.emplace_back(run, part);
    } catch (const std::system_error&) {
      run(part);
    }
  }
  if (parts > 0) run(0);
  for (std::thread& t : extra) t.join();
  for (const std::exception_ptr& e : thrown)
    if (e) std::rethrow_exception(e);
}

// Calls work(begin, end) on disjoint ranges covering [0, n), cut at
// multiples of `step`, in PartCount(work_pixels) parts at the same time.
template <class Work>
void ParallelFor(long long n, long long work_pixels, const Work& work, long long step = 1) {
  const int parts = n <= step ? 1 : PartCount(work_pixels);
  if (parts <= 1) {
    if (n > 0) work(0LL, n);
    return;
  }
  RunInParts(parts, [&](int k) {
    const long long begin = PartStart(n, k, parts, step);
    const long long end = PartStart(n, k + 1, parts, step);
    if (begin < end) work(begin, end);
  });
}

// Calls work(part, begin, end) for every part 0 .. parts - 1 at the same
// time, part k on [PartStart(n, k, parts, step), PartStart(n, k + 1, parts,
// step)), which may be empty. For callers that keep something per part
// (errors, found items) or let only part 0, the calling thread's, report.
template <class Work>
void ForEachPart(long long n, int parts, const Work& work, long long step = 1) {
  RunInParts(parts, [&](int k) { work(k, PartStart(n, k, parts, step), PartStart(n, k + 1, parts, step)); });
}

// Caps HardwareThreads() for the lifetime of the object (tests compare one
// thread with several; benchmarks time both).
class ScopedThreadLimit {
 public:
  explicit ScopedThreadLimit(int threads);
  ~ScopedThreadLimit();
  ScopedThreadLimit(const ScopedThreadLimit&) = delete;
  ScopedThreadLimit& operator=(const ScopedThreadLimit&) = delete;

 private:
  int m_previous;
};

// Sets HardwareThreads() to `threads` for the lifetime of the object, more
// than the machine has if asked (tests that cut work into more parts than
// this machine has cores). A ScopedThreadLimit still caps it.
class ScopedThreadCount {
 public:
  explicit ScopedThreadCount(int threads);
  ~ScopedThreadCount();
  ScopedThreadCount(const ScopedThreadCount&) = delete;
  ScopedThreadCount& operator=(const ScopedThreadCount&) = delete;

 private:
  int m_previous;
};

}  // namespace qirm
