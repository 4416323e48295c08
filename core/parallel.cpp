#include "core/parallel.h"

#include <atomic>

namespace qirm {
namespace {

std::atomic<int> g_limit{1 << 30};

}  // namespace

int HardwareThreads() {
  static const int hardware = std::max(1u, std::thread::hardware_concurrency());
  return std::max(1, std::min(hardware, g_limit.load(std::memory_order_relaxed)));
}

int PartCount(long long work, int max_parts) {
  if (work < kParallelMinWork) return 1;
  return std::max(1, std::min(HardwareThreads(), max_parts));
}

ScopedThreadLimit::ScopedThreadLimit(int threads) : m_previous(g_limit.load()) {
  g_limit.store(std::max(1, std::min(m_previous, threads)));
}

ScopedThreadLimit::~ScopedThreadLimit() { g_limit.store(m_previous); }

}  // namespace qirm
