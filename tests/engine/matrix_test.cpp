// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/matrix.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "core/picture.h"

namespace qirm {
namespace {

TEST(Matrix, CreatedZeroFilledAndIndexedColumnFirst) {
  IntMatrix m;
  ASSERT_EQ(AllocIntMatrix(3, 2, m), 0);
  EXPECT_EQ(m.count(), 3);
  EXPECT_EQ(m.n(), 2);
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 2; ++y) EXPECT_EQ(m[x][y], 0);
  m[2][1] = 7;  // the last element: m[W-1][H-1]
  EXPECT_EQ(m[2][1], 7);
  EXPECT_EQ(FreeIntMatrix(3, 2, m), 0);
  EXPECT_TRUE(m.empty());

  RealMatrix one;
  ASSERT_EQ(AllocRealMatrix(1, 1, one), 0);
  EXPECT_EQ(one[0][0], 0.0);
  EXPECT_EQ(FreeRealMatrix(1, 1, one), 0);
}

TEST(Matrix, ReallocationClearsOldContents) {
  IntMatrix m;
  ASSERT_EQ(AllocIntMatrix(2, 2, m), 0);
  m[1][1] = 5;
  ASSERT_EQ(AllocIntMatrix(2, 2, m), 0);
  EXPECT_EQ(m[1][1], 0);
}

TEST(Matrix, FailureHoldsNothingAndReportsOne) {
  const std::size_t saved = MatrixByteLimit();
  SetMatrixByteLimit(1000);
  IntMatrix m;
  testing::internal::CaptureStdout();
  EXPECT_EQ(AllocIntMatrix(100, 100, m), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Alloc Error  !!\n");
  EXPECT_TRUE(m.empty());
  RealMatrix r;
  testing::internal::CaptureStdout();
  EXPECT_EQ(AllocRealMatrix(100, 100, r), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  SetMatrixByteLimit(saved);
  // Sizes whose product overflows fail instead of wrapping around.
  testing::internal::CaptureStdout();
  EXPECT_EQ(AllocIntMatrix(std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), m), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(AllocIntMatrix(0, 5, m), 0);
  EXPECT_TRUE(m.empty());
}

TEST(Matrix, CloneIsIndependent) {
  IntMatrix m;
  ASSERT_EQ(AllocIntMatrix(2, 3, m), 0);
  m[1][2] = 9;
  IntMatrix c = m.Clone();
  m[1][2] = 1;
  EXPECT_EQ(c[1][2], 9);
}

// Vector kernels take columns a cache line at a time: the values start on a
// 64-byte boundary, small and large blocks alike, zeroed, and a clone keeps
// every value.
TEST(Matrix, ValuesStartOnACacheLineZeroedAndCloneWhole) {
  for (int n : {1, 3, 2048}) {
    IntMatrix m;
    RealMatrix r;
    ASSERT_TRUE(m.Allocate(5, n));
    ASSERT_TRUE(r.Allocate(5, n));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(m[0]) % 64, 0u) << n;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(r[0]) % 64, 0u) << n;
    for (int x = 0; x < 5; ++x)
      for (int y = 0; y < n; ++y) {
        ASSERT_EQ(m[x][y], 0);
        m[x][y] = x * n + y;
      }
    const IntMatrix c = m.Clone();
    for (int x = 0; x < 5; ++x)
      for (int y = 0; y < n; ++y) ASSERT_EQ(c[x][y], x * n + y);
  }
}

TEST(Picture, StartsWhiteAndPacksColourBlueHigh) {
  Picture p(2, 2);
  EXPECT_EQ(p.Color(1, 1), 0xFFFFFFu);
  p.Row(0)[0] = 1;  // blue
  p.Row(0)[1] = 2;  // green
  p.Row(0)[2] = 3;  // red
  EXPECT_EQ(p.Color(0, 0), 1u * 65536 + 2u * 256 + 3u);
  p.SetColor(1, 0, 0x0A0B0C);
  EXPECT_EQ(p.Row(0)[3], 0x0A);
  EXPECT_EQ(p.Row(0)[5], 0x0C);
}

TEST(Picture, DrawClipsToTheTarget) {
  Picture dst(3, 3);
  Picture src(2, 2);
  src.SetColor(0, 0, 0);
  src.SetColor(1, 1, 0x010203);
  dst.Draw(src, 2, 2);
  EXPECT_EQ(dst.Color(2, 2), 0u);
  EXPECT_EQ(dst.Color(1, 1), 0xFFFFFFu);
  dst.Draw(src, -1, -1);
  EXPECT_EQ(dst.Color(0, 0), 0x010203u);
}

}  // namespace
}  // namespace qirm
