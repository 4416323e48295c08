// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/matrix.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace qirm {
namespace {

// 4 GiB: far above any frame the readers accept (16000 x 16000 int32 is
// about 1 GiB), far below what would take the machine down.
std::atomic<std::size_t> g_byte_limit{std::size_t{4} << 30};

}  // namespace

void SetMatrixByteLimit(std::size_t bytes) { g_byte_limit = bytes; }
std::size_t MatrixByteLimit() { return g_byte_limit; }

template <class T>
bool Matrix<T>::Allocate(int count, int n) {
  Release();
  if (count < 0 || n < 0) return false;
  const std::size_t cells = static_cast<std::size_t>(count) * static_cast<std::size_t>(n);
  if (n != 0 && cells / static_cast<std::size_t>(n) != static_cast<std::size_t>(count)) return false;
  if (cells > g_byte_limit / sizeof(T)) return false;

  std::unique_ptr<T*[]> columns(new (std::nothrow) T*[count > 0 ? count : 1]);
  if (!columns) return false;
  // calloc: large blocks come straight from the kernel already zeroed. The
  // values start on a 64-byte boundary (a cache line, a 512-bit vector): a
  // large block from calloc starts 16 bytes past a page, which would split
  // every vector load and store of a column across two lines.
  constexpr std::size_t kAlign = 64;
  constexpr std::size_t kPad = (kAlign + sizeof(T) - 1) / sizeof(T);
  std::unique_ptr<T, FreeDeleter> storage(static_cast<T*>(std::calloc(cells + kPad, sizeof(T))));
  if (!storage) return false;
  const std::uintptr_t raw = reinterpret_cast<std::uintptr_t>(storage.get());
  T* base = storage.get() + ((kAlign - raw % kAlign) % kAlign) / sizeof(T);
  for (int x = 0; x < count; ++x) columns[x] = base + static_cast<std::size_t>(x) * n;

  m_storage = std::move(storage);
  m_columns = std::move(columns);
  m_count = count;
  m_n = n;
  return true;
}

template <class T>
void Matrix<T>::Release() {
  m_columns.reset();
  m_storage.reset();
  m_count = 0;
  m_n = 0;
}

template <class T>
Matrix<T> Matrix<T>::Clone() const {
  Matrix copy;
  if (m_count == 0 || !copy.Allocate(m_count, m_n)) return copy;
  if (m_n > 0) {
    std::memcpy(copy[0], (*this)[0], static_cast<std::size_t>(m_count) * m_n * sizeof(T));
  }
  return copy;
}

template class Matrix<std::int32_t>;
template class Matrix<double>;

int AllocIntMatrix(int count, int n, IntMatrix& m) {
  if (m.Allocate(count, n)) return 0;
  std::fputs("Alloc Error  !!\n", stdout);
  return 1;
}

int FreeIntMatrix(int /*count*/, int /*n*/, IntMatrix& m) {
  m.Release();
  return 0;
}

int AllocRealMatrix(int count, int n, RealMatrix& m) { return m.Allocate(count, n) ? 0 : 1; }

int FreeRealMatrix(int /*count*/, int /*n*/, RealMatrix& m) {
  m.Release();
  return 0;
}

}  // namespace qirm
