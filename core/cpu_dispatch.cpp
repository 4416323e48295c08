// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/cpu_dispatch.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace qirm {
namespace {

CpuLevel Detect() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  const bool fma = __builtin_cpu_supports("fma");
  if (fma && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx2"))
    return CpuLevel::kAvx512;
  if (fma && __builtin_cpu_supports("avx2")) return CpuLevel::kAvx2;
  if (__builtin_cpu_supports("sse3")) return CpuLevel::kSse3;
#endif
  return CpuLevel::kScalar;
}

// The cap set by ScopedCpuLevel; the top level when none is in force.
std::atomic<int> g_cap{static_cast<int>(CpuLevel::kAvx512)};

// QIRM_CPU_LEVEL=scalar|sse3|avx2 makes the process behave as on a machine
// that has no more than that: how the test suite proves itself for
// processors without AVX-512 on one that has it. Never raises the level.
CpuLevel Limited(CpuLevel detected) {
  const char* wanted = std::getenv("QIRM_CPU_LEVEL");
  if (!wanted) return detected;
  for (CpuLevel level : {CpuLevel::kScalar, CpuLevel::kSse3, CpuLevel::kAvx2, CpuLevel::kAvx512})
    if (std::strcmp(wanted, CpuLevelName(level)) == 0) return std::min(detected, level);
  return detected;
}

}  // namespace

CpuLevel DetectedCpuLevel() {
  static const CpuLevel detected = Limited(Detect());
  return detected;
}

CpuLevel ActiveCpuLevel() {
  return std::min(DetectedCpuLevel(), static_cast<CpuLevel>(g_cap.load(std::memory_order_relaxed)));
}

std::vector<CpuLevel> SupportedCpuLevels() {
  std::vector<CpuLevel> levels;
  for (int l = 0; l <= static_cast<int>(DetectedCpuLevel()); ++l) levels.push_back(static_cast<CpuLevel>(l));
  return levels;
}

const char* CpuLevelName(CpuLevel level) {
  switch (level) {
    case CpuLevel::kScalar:
      return "scalar";
    case CpuLevel::kSse3:
      return "sse3";
    case CpuLevel::kAvx2:
      return "avx2";
    case CpuLevel::kAvx512:
      return "avx512";
  }
  return "?";
}

ScopedCpuLevel::ScopedCpuLevel(CpuLevel cap) : m_previous(g_cap.load()) {
  g_cap.store(std::min(m_previous, static_cast<int>(cap)));
}

ScopedCpuLevel::~ScopedCpuLevel() { g_cap.store(m_previous); }

}  // namespace qirm
