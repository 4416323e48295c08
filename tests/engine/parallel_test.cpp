// SPDX-License-Identifier: GPL-3.0-or-later
// The parallel layer and the CPU-level dispatch: every cut covers the work
// exactly once, the caps hold and come off again.
#include "core/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "core/cpu_dispatch.h"

namespace qirm {
namespace {

TEST(Parallel, PartStartCutsAtMultiplesOfTheStep) {
  const struct {
    long long n;
    int parts;
    long long step;
    std::vector<long long> starts;  // parts + 1 values
  } cases[] = {
      // Less than one step (7 of 8) all goes to the last part.
      {10, 1, 1, {0, 10}},           {10, 2, 1, {0, 5, 10}}, {10, 3, 1, {0, 3, 6, 10}},
      {100, 3, 8, {0, 32, 64, 100}}, {7, 2, 8, {0, 0, 7}},   {0, 2, 1, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    for (int k = 0; k <= c.parts; ++k)
      EXPECT_EQ(PartStart(c.n, k, c.parts, c.step), c.starts[static_cast<std::size_t>(k)])
          << c.n << " / " << c.parts << " step " << c.step << ", part " << k;
  }
}

TEST(Parallel, PartCountStaysOnOneThreadForSmallWork) {
  EXPECT_EQ(PartCount(0), 1);
  EXPECT_EQ(PartCount(kParallelMinWork - 1), 1);
  EXPECT_EQ(PartCount(kParallelMinWork), HardwareThreads());
  EXPECT_EQ(PartCount(kParallelMinWork, 1), 1);
  EXPECT_EQ(PartCount(1LL << 40, 0), 1);
  EXPECT_GE(HardwareThreads(), 1);
}

// Every n, step and thread count: the ranges ParallelFor hands out are
// disjoint, non-empty, cut at multiples of the step and cover [0, n).
TEST(Parallel, RangesCoverEveryItemExactlyOnce) {
  for (int threads : {1, 2, 3, 7, 64}) {
    ScopedThreadCount count(threads);
    for (long long n : {0LL, 1LL, 2LL, 5LL, 63LL, 64LL, 65LL, 1000LL, 100003LL}) {
      for (long long step : {1LL, 8LL, 64LL}) {
        SCOPED_TRACE(testing::Message() << threads << " threads, n " << n << ", step " << step);
        std::vector<std::atomic<int>> hits(static_cast<std::size_t>(n));
        std::mutex mutex;
        std::vector<std::pair<long long, long long>> ranges;
        ParallelFor(
            n, kParallelMinWork,
            [&](long long begin, long long end) {
              for (long long i = begin; i < end; ++i) hits[static_cast<std::size_t>(i)]++;
              std::lock_guard<std::mutex> lock(mutex);
              ranges.emplace_back(begin, end);
            },
            step);
        for (long long i = 0; i < n; ++i)
          ASSERT_EQ(hits[static_cast<std::size_t>(i)].load(), 1) << "item " << i;
        EXPECT_LE(ranges.size(), static_cast<std::size_t>(threads));
        if (n >= threads * step) {
          EXPECT_EQ(ranges.size(), static_cast<std::size_t>(threads));
        }
        for (auto [begin, end] : ranges) {
          EXPECT_LT(begin, end);
          EXPECT_TRUE(begin % step == 0) << begin;
        }
      }
    }
  }
}

TEST(Parallel, ForEachPartCallsEveryPartWithItsOwnRange) {
  const long long n = 1001;
  const int parts = 4;
  std::vector<std::pair<long long, long long>> seen(parts, {-1, -1});
  ForEachPart(
      n, parts,
      [&](int part, long long begin, long long end) {
        seen[static_cast<std::size_t>(part)] = {begin, end};
      },
      8);
  for (int k = 0; k < parts; ++k) {
    EXPECT_EQ(seen[static_cast<std::size_t>(k)].first, PartStart(n, k, parts, 8));
    EXPECT_EQ(seen[static_cast<std::size_t>(k)].second, PartStart(n, k + 1, parts, 8));
  }
}

TEST(Parallel, PartZeroRunsOnTheCallingThread) {
  const std::thread::id caller = std::this_thread::get_id();
  std::thread::id part0;
  RunInParts(3, [&](int part) {
    if (part == 0) part0 = std::this_thread::get_id();
  });
  EXPECT_EQ(part0, caller);
}

// A part that cannot get its memory must not end the program: the
// exception reaches the caller after every part has ended, whichever part
// threw (part 0 is the caller's own).
TEST(Parallel, AnExceptionOfAnyPartReachesTheCallerAfterAllParts) {
  const ScopedThreadCount four(4);
  for (const int thrower : {0, 1, 3}) {
    SCOPED_TRACE(thrower);
    std::atomic<int> ended{0};
    EXPECT_THROW(RunInParts(4,
                            [&](int part) {
                              if (part == thrower) throw std::bad_alloc();
                              ++ended;
                            }),
                 std::bad_alloc);
    EXPECT_EQ(ended, 3);
    ended = 0;
    EXPECT_THROW(ParallelFor(1000, 1LL << 40,
                             [&](long long begin, long long) {
                               if (begin == PartStart(1000, thrower, 4)) throw std::length_error("size");
                               ++ended;
                             }),
                 std::length_error);
    EXPECT_EQ(ended, 3);
  }
}

TEST(Parallel, ThreadLimitOfOneRunsEverythingInline) {
  ScopedThreadLimit one(1);
  EXPECT_EQ(HardwareThreads(), 1);
  EXPECT_EQ(PartCount(1LL << 40), 1);
  const std::thread::id caller = std::this_thread::get_id();
  std::set<std::thread::id> threads;
  int calls = 0;
  ParallelFor(1 << 20, 1LL << 40, [&](long long begin, long long end) {
    ++calls;
    threads.insert(std::this_thread::get_id());
    EXPECT_EQ(begin, 0);
    EXPECT_EQ(end, 1 << 20);
  });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(threads, std::set<std::thread::id>{caller});
}

TEST(Parallel, ThreadLimitsNestAndComeOff) {
  const int hardware = HardwareThreads();
  {
    ScopedThreadCount nine(9);  // more than the machine may have
    EXPECT_EQ(HardwareThreads(), 9);
    EXPECT_EQ(PartCount(kParallelMinWork), 9);
    ScopedThreadLimit four(4);
    EXPECT_EQ(HardwareThreads(), 4);
  }
  EXPECT_EQ(HardwareThreads(), hardware);
  {
    ScopedThreadLimit three(3);
    EXPECT_EQ(HardwareThreads(), std::min(hardware, 3));
    {
      ScopedThreadLimit five(5);  // never raises an outer cap
      EXPECT_EQ(HardwareThreads(), std::min(hardware, 3));
      ScopedThreadLimit one(1);
      EXPECT_EQ(HardwareThreads(), 1);
    }
    EXPECT_EQ(HardwareThreads(), std::min(hardware, 3));
  }
  EXPECT_EQ(HardwareThreads(), hardware);
}

TEST(CpuDispatch, SupportedLevelsRunFromScalarToTheDetectedOne) {
  const std::vector<CpuLevel> levels = SupportedCpuLevels();
  ASSERT_FALSE(levels.empty());
  EXPECT_EQ(levels.front(), CpuLevel::kScalar);
  EXPECT_EQ(levels.back(), DetectedCpuLevel());
  for (std::size_t i = 0; i < levels.size(); ++i) EXPECT_EQ(static_cast<int>(levels[i]), static_cast<int>(i));
  EXPECT_EQ(ActiveCpuLevel(), DetectedCpuLevel());
  EXPECT_STREQ(CpuLevelName(CpuLevel::kScalar), "scalar");
  EXPECT_STREQ(CpuLevelName(CpuLevel::kAvx512), "avx512");
}

TEST(CpuDispatch, ScopedLevelCapsNestsAndRestores) {
  const CpuLevel detected = DetectedCpuLevel();
  for (CpuLevel outer : SupportedCpuLevels()) {
    {
      ScopedCpuLevel cap(outer);
      EXPECT_EQ(ActiveCpuLevel(), outer);
      for (CpuLevel inner : {CpuLevel::kScalar, CpuLevel::kAvx512}) {
        ScopedCpuLevel again(inner);  // lowers, never raises
        EXPECT_EQ(ActiveCpuLevel(), std::min(outer, inner));
        EXPECT_EQ(CpuLevelActive(CpuLevel::kScalar), true);
        EXPECT_EQ(CpuLevelActive(CpuLevel::kAvx2), std::min(outer, inner) >= CpuLevel::kAvx2);
      }
      EXPECT_EQ(ActiveCpuLevel(), outer);
    }
    EXPECT_EQ(ActiveCpuLevel(), detected);
  }
}

// Both variants give the body's result; For follows the active level.
int AddBody(int a, int b) { return a + b; }

TEST(CpuDispatch, TargetVariantsFollowTheLevel) {
  using Add = TargetVariants<AddBody>;
  EXPECT_EQ(Add::Plain(2, 3), 5);
  EXPECT_EQ(Add::For(CpuLevel::kScalar), &Add::Plain);
  EXPECT_EQ(Add::For(CpuLevel::kSse3), &Add::Plain);
#if defined(__x86_64__) || defined(__i386__)
  EXPECT_EQ(Add::For(CpuLevel::kAvx2), &Add::Avx2);
  EXPECT_EQ(Add::For(CpuLevel::kAvx512), &Add::Avx2);
  if (CpuLevelActive(CpuLevel::kAvx2)) {
    EXPECT_EQ(Add::Avx2(2, 3), 5);
  }
#endif
}

}  // namespace
}  // namespace qirm
