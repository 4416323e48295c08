// SPDX-License-Identifier: GPL-3.0-or-later
// Storage for large arrays whose every element the caller writes next:
// pictures, planes, calibration frames. Nothing is filled on allocation (a
// pass over fresh memory would cost as much as the write itself) and large
// blocks are aligned to huge pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace qirm {

// Large blocks start on a 2 MiB boundary and fill whole 2 MiB blocks.
std::uint8_t* AllocateBlock(std::size_t bytes);
void FreeBlock(std::uint8_t* p, std::size_t bytes) noexcept;

// A vector's resize with it leaves new elements as they come.
template <class T>
struct UnfilledAllocator {
  using value_type = T;
  UnfilledAllocator() = default;
  template <class U>
  UnfilledAllocator(const UnfilledAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return reinterpret_cast<T*>(AllocateBlock(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept {
    FreeBlock(reinterpret_cast<std::uint8_t*>(p), n * sizeof(T));
  }
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(static_cast<Args&&>(args)...);
  }
  template <class U>
  bool operator==(const UnfilledAllocator<U>&) const {
    return true;
  }
};

}  // namespace qirm
