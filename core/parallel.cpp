// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/parallel.h"

#include <atomic>

namespace qirm {
namespace {

std::atomic<int> g_limit{1 << 30};
// ScopedThreadCount's; 0 when none is in force.
std::atomic<int> g_count{0};

}  // namespace

int HardwareThreads() {
  static const int hardware = std::max(1u, std::thread::hardware_concurrency());
  const int count = g_count.load(std::memory_order_relaxed);
  return std::max(1, std::min(count > 0 ? count : hardware, g_limit.load(std::memory_order_relaxed)));
}

int PartCount(long long work, int max_parts) {
  if (work < kParallelMinWork) return 1;
  return std::max(1, std::min(HardwareThreads(), max_parts));
}

ScopedThreadLimit::ScopedThreadLimit(int threads) : m_previous(g_limit.load()) {
  g_limit.store(std::max(1, std::min(m_previous, threads)));
}

ScopedThreadLimit::~ScopedThreadLimit() { g_limit.store(m_previous); }

ScopedThreadCount::ScopedThreadCount(int threads) : m_previous(g_count.load()) {
  g_count.store(std::max(1, threads));
}

ScopedThreadCount::~ScopedThreadCount() { g_count.store(m_previous); }

}  // namespace qirm
