// SPDX-License-Identifier: GPL-3.0-or-later
// The instruction sets a kernel may use, found once per process. Every
// kernel with vector paths asks ActiveCpuLevel() at its entry and picks the
// highest path at or below it; tests lower the level with ScopedCpuLevel so
// that the plain paths run too on a machine that has the vector ones.
#pragma once

#include <vector>

namespace qirm {

// Ordered: a level implies every one below it on the machines we meet.
//   kSse3:   SSE3
//   kAvx2:   AVX2 and FMA
//   kAvx512: AVX-512 F, VL, DQ and BW, and FMA
enum class CpuLevel { kScalar = 0, kSse3 = 1, kAvx2 = 2, kAvx512 = 3 };

// The highest level this machine supports (kScalar off x86-64), or lower
// where the environment's QIRM_CPU_LEVEL (scalar, sse3, avx2) says so.
CpuLevel DetectedCpuLevel();

// The level kernels may use now: the detected one, lowered by any
// ScopedCpuLevel in force. Cheap enough to call on every kernel entry.
CpuLevel ActiveCpuLevel();

// True when kernels may use `level` now.
inline bool CpuLevelActive(CpuLevel level) { return ActiveCpuLevel() >= level; }

// Every level this machine supports, kScalar first (for tests that run a
// kernel at each of them).
std::vector<CpuLevel> SupportedCpuLevels();

const char* CpuLevelName(CpuLevel level);

// Caps the active level for the lifetime of the object (tests, benchmarks).
// The cap is process-wide; nest them, and do not race them against kernels
// running on other threads.
class ScopedCpuLevel {
 public:
  explicit ScopedCpuLevel(CpuLevel cap);
  ~ScopedCpuLevel();
  ScopedCpuLevel(const ScopedCpuLevel&) = delete;
  ScopedCpuLevel& operator=(const ScopedCpuLevel&) = delete;

 private:
  int m_previous;
};

// A kernel body compiled twice, for kernels whose AVX2 speed comes from the
// compiler's vectoriser: Avx2 with the AVX2 target and Plain for the
// baseline, both calling the body (declare it always_inline, so that it is
// compiled into each). For(level) picks one; ask at the kernel's entry.
//   const auto sum = TargetVariants<SumRowsBody>::For(ActiveCpuLevel());
template <auto kBody>
struct TargetVariants;

template <class R, class... Args, R (*kBody)(Args...)>
struct TargetVariants<kBody> {
  using Function = R (*)(Args...);
#if defined(__x86_64__) || defined(__i386__)
  __attribute__((target("avx2"))) static R Avx2(Args... args) { return kBody(args...); }
#endif
  static R Plain(Args... args) { return kBody(args...); }
  static Function For(CpuLevel level) {
#if defined(__x86_64__) || defined(__i386__)
    if (level >= CpuLevel::kAvx2) return Avx2;
#endif
    (void)level;
    return Plain;
  }
};

}  // namespace qirm
