// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel matrices: two-dimensional arrays of int32 or double, indexed m[x][y]
// with the column first. A W x H image is a matrix of count = W columns of
// n = H elements each.
//
// A matrix owns its storage (no leak is possible; moving transfers it), and
// the four classic operations are kept as the way code creates and releases
// matrices:
//   AllocIntMatrix / AllocRealMatrix: 0 on success, 1 on failure; every
//     element is 0 afterwards. The integer variant prints "Alloc Error  !!\n"
//     when a column cannot be obtained.
//   FreeIntMatrix / FreeRealMatrix: release everything; always 0.
// Callers never assume that column x + 1 follows column x in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace qirm {

template <class T>
class Matrix {
 public:
  Matrix() = default;
  Matrix(Matrix&&) noexcept = default;
  Matrix& operator=(Matrix&&) noexcept = default;
  Matrix(const Matrix&) = delete;
  Matrix& operator=(const Matrix&) = delete;

  T* operator[](int x) { return m_columns[x]; }
  const T* operator[](int x) const { return m_columns[x]; }

  int count() const { return m_count; }  // number of columns (first index)
  int n() const { return m_n; }          // elements per column (second index)
  bool empty() const { return m_count == 0 || m_n == 0; }

  // Zero-filled count x n storage; false (and nothing held) when it cannot be
  // obtained or exceeds the allocation limit.
  bool Allocate(int count, int n);
  void Release();
  Matrix Clone() const;

 private:
  struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
  };
  std::unique_ptr<T, FreeDeleter> m_storage;
  std::unique_ptr<T*[]> m_columns;
  int m_count = 0;
  int m_n = 0;
};

using IntMatrix = Matrix<std::int32_t>;
using RealMatrix = Matrix<double>;

int AllocIntMatrix(int count, int n, IntMatrix& m);
int FreeIntMatrix(int count, int n, IntMatrix& m);
int AllocRealMatrix(int count, int n, RealMatrix& m);
int FreeRealMatrix(int count, int n, RealMatrix& m);

// Upper bound on the bytes of one matrix, so that a hostile size fails
// cleanly instead of exhausting memory. Tests lower it to force failures.
void SetMatrixByteLimit(std::size_t bytes);
std::size_t MatrixByteLimit();

}  // namespace qirm
