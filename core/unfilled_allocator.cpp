#include "core/unfilled_allocator.h"

#include <sys/mman.h>

#include <cstdlib>

namespace qirm {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}  // namespace

std::uint8_t* AllocateBlock(std::size_t n) {
  if (n < 4 * kHugePage) return static_cast<std::uint8_t*>(::operator new(n));
  // Whole huge pages, aligned, so that every one of them can be a huge page.
  const std::size_t bytes = (n + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, bytes);
  if (!p) throw std::bad_alloc();
  madvise(p, bytes, MADV_HUGEPAGE);
  return static_cast<std::uint8_t*>(p);
}

void FreeBlock(std::uint8_t* p, std::size_t n) noexcept {
  if (n < 4 * kHugePage)
    ::operator delete(p);
  else
    std::free(p);
}

}  // namespace qirm
