// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/primitives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "core/numbers.h"
#include "core/parallel.h"
#include "tests/support/compare.h"
#include "tests/support/cpu_levels.h"
#include "tests/support/matrices.h"

namespace qirm {
namespace {

// ---------------------------------------------------------------- helpers

using test::Filled;
using test::SameMatrix;

IntMatrix Random(int nx, int ny, int lo, int hi, std::mt19937& rng) {
  std::uniform_int_distribution<int> dist(lo, hi);
  IntMatrix m;
  EXPECT_EQ(AllocIntMatrix(nx, ny, m), 0);
  for (int x = 0; x < nx; ++x)
    for (int y = 0; y < ny; ++y) m[x][y] = dist(rng);
  return m;
}

RealMatrix Kernel(int ka, int kb, double value) {
  RealMatrix k;
  EXPECT_EQ(AllocRealMatrix(ka, kb, k), 0);
  for (int a = 0; a < ka; ++a)
    for (int b = 0; b < kb; ++b) k[a][b] = value;
  return k;
}

// Restores the allocation limit when a test that lowers it ends.
struct ByteLimit {
  explicit ByteLimit(std::size_t bytes) : saved(MatrixByteLimit()) { SetMatrixByteLimit(bytes); }
  ~ByteLimit() { SetMatrixByteLimit(saved); }
  std::size_t saved;
};

// ------------------------------------------ slow, obvious reference versions

// Per element, per tap, every test written out; partial sums stored as
// doubles after an extended-precision product and addition.
void ReferenceCorrelate(bool below, int t, int ka, int kb, RealMatrix& k, int nx, int ny, IntMatrix& m) {
  Extended s = 0;
  for (int a = 0; a < ka; ++a)
    for (int b = 0; b < kb; ++b) s += k[a][b];
  for (int a = 0; a < ka; ++a)
    for (int b = 0; b < kb; ++b) k[a][b] = static_cast<double>(static_cast<Extended>(k[a][b]) / s);
  const int shift = below ? 1 : 0;
  RealMatrix acc;
  ASSERT_EQ(AllocRealMatrix(nx, ny, acc), 0);
  for (int x = 0; x < nx; ++x) {
    for (int y = 0; y < ny; ++y) {
      if (below && m[x][y] >= t) {
        acc[x][y] = m[x][y];
        continue;
      }
      for (int a = 0; a < ka; ++a) {
        for (int b = 0; b < kb; ++b) {
          const int xx = x + a - ka / 2 + shift;
          const int yy = y + b - kb / 2 + shift;
          if (xx < 0 || xx >= nx || yy < 0 || yy >= ny) continue;
          if (k[a][b] == 0.0) continue;
          acc[x][y] = static_cast<double>(static_cast<Extended>(acc[x][y]) +
                                          static_cast<Extended>(k[a][b]) * m[xx][yy]);
        }
      }
    }
  }
  for (int x = 0; x < nx; ++x)
    for (int y = 0; y < ny; ++y) m[x][y] = acc[x][y] < 0 ? 0 : static_cast<int>(acc[x][y]);
}

// Repeated extraction of the maximum from a working square, the running
// maximum starting at -1 and replaced only by a strictly greater value.
void ReferenceMedian(int r, int nx, int ny, int i, int j, const IntMatrix& m, int& out) {
  if (!(r < i && i < nx - r && r < j && j < ny - r)) return;
  int work[50][50];
  for (int a = -r; a <= r; ++a)
    for (int b = -r; b <= r; ++b) work[a + r][b + r] = m[i + a][j + b];
  const int n = (2 * r + 1) * (2 * r + 1);
  int last = 0;
  for (int taken = 0; taken < n * 0.5; ++taken) {
    int best = -1, ba = -1, bb = -1;
    for (int a = 0; a <= 2 * r; ++a)
      for (int b = 0; b <= 2 * r; ++b)
        if (work[a][b] > best) best = work[a][b], ba = a, bb = b;
    if (ba < 0) break;  // only negative values: no defined median, 0 below
    last = best;
    work[ba][bb] = 0;
  }
  out = last;
}

// ------------------------------------------------------------- ClipMatrix

TEST(ClipMatrix, ClampsIntoTheRangeAndOnlyInsideTheExtent) {
  const int in[] = {-7, 0, 1, 254, 255, 300, INT_MIN, INT_MAX};
  const int want[] = {0, 0, 1, 254, 255, 255, 0, 255};
  IntMatrix m = Filled(8, 2, 999);
  for (int x = 0; x < 8; ++x) m[x][0] = in[x];
  ClipMatrix(0, 255, 8, 1, m);  // row 1 lies outside the extent
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(m[x][0], want[x]) << "input " << in[x];
    EXPECT_EQ(m[x][1], 999);
  }
}

TEST(ClipMatrix, ReversedRangeGivesHighEverywhereAndOversizedExtentDoesNothing) {
  IntMatrix m = Filled(2, 2, 5);
  m[1][1] = -3;
  ClipMatrix(10, 2, 2, 2, m);
  EXPECT_EQ(m[0][0], 2);
  EXPECT_EQ(m[1][1], 2);
  ClipMatrix(3, 4, 3, 2, m);  // three columns asked of a two-column matrix
  EXPECT_EQ(m[0][0], 2);
}

// ------------------------------------------------------------ WindowMedian

TEST(WindowMedian, WindowMustLieStrictlyInside) {
  std::mt19937 rng(1);
  IntMatrix m = Random(7, 7, 0, 100, rng);
  struct Case {
    int r, i, j;
    bool writes;
  };
  const Case cases[] = {
      {1, 1, 3, false},  // i = r: the window would fit, yet it is refused
      {1, 2, 3, true},  {1, 5, 3, true},   {1, 6, 3, false},  // i = nx - r
      {1, 3, 1, false}, {1, 3, 2, true},   {1, 3, 5, true},   {1, 3, 6, false},
      {0, 0, 3, false}, {0, 1, 3, true},   {2, 3, 3, true},   {2, 2, 3, false},
      {3, 3, 3, false}, {-1, 3, 3, false}, {25, 3, 3, false},
  };
  for (const Case& c : cases) {
    int out = -12345;
    WindowMedian(c.r, 7, 7, c.i, c.j, m, out);
    EXPECT_EQ(out != -12345, c.writes) << "r " << c.r << " i " << c.i << " j " << c.j;
  }
  int out = -12345;
  WindowMedian(1, 8, 7, 6, 3, m, out);  // extent larger than the matrix
  EXPECT_EQ(out, -12345);
}

TEST(WindowMedian, MedianAndTheRuleForNegativeValues) {
  struct Case {
    std::array<int, 9> values;
    int want;
  };
  const Case cases[] = {
      {{9, 1, 8, 2, 7, 3, 6, 4, 5}, 5},           // the 5th largest
      {{4, 4, 4, 4, 4, 4, 4, 4, 4}, 4},           // nine equal values
      {{-5, -4, -3, -2, -1, 0, 1, 2, 3}, 0},      // median -1 is negative
      {{-3, -2, -1, 0, 1, 2, 3, 4, 5}, 1},        //
      {{-9, -8, -7, -6, -5, -4, -3, -2, -1}, 0},  // all negative: 0 by choice
      {{7, 7, 1, 1, 1, 7, 7, 3, 2}, 3},           //
  };
  for (const Case& c : cases) {
    IntMatrix m = Filled(5, 5, 1000);  // the border must not take part
    for (int k = 0; k < 9; ++k) m[1 + k / 3][1 + k % 3] = c.values[k];
    int out = -1;
    WindowMedian(1, 5, 5, 2, 2, m, out);
    EXPECT_EQ(out, c.want) << "values starting " << c.values[0];
  }
}

TEST(WindowMedian, Radius2TakesThe13thOf25) {
  IntMatrix m = Filled(7, 7, 0);
  for (int a = 0; a < 5; ++a)
    for (int b = 0; b < 5; ++b) m[1 + a][1 + b] = 100 - (a * 5 + b) * 3;  // 100, 97, ..., 28
  int out = 0;
  WindowMedian(2, 7, 7, 3, 3, m, out);
  EXPECT_EQ(out, 100 - 12 * 3);
}

TEST(WindowMedian, MedianOfNineAgreesWithTheExtractionOnEveryOrder) {
  std::array<int, 9> perm = {-3, -1, 0, 2, 2, 5, 8, 8, 11};  // duplicates, negatives, zero
  IntMatrix m = Filled(5, 5, 0);
  do {
    for (int k = 0; k < 9; ++k) m[1 + k / 3][1 + k % 3] = perm[k];
    int fast = -7, slow = -7;
    WindowMedian(1, 5, 5, 2, 2, m, fast);
    ReferenceMedian(1, 5, 5, 2, 2, m, slow);
    ASSERT_EQ(fast, slow);
  } while (std::next_permutation(perm.begin(), perm.end()));
}

TEST(WindowMedian, AgreesWithTheExtractionForEveryRadius) {
  std::mt19937 rng(7);
  for (int r : {0, 1, 2, 3, 5, 24}) {
    const int n = 2 * r + 8;
    for (const auto& [lo, hi] :
         {std::pair{0, 20}, std::pair{-10, 10}, std::pair{-50, 3}, std::pair{0, 65535}}) {
      IntMatrix m = Random(n, n + 1, lo, hi, rng);
      for (int i = 0; i < n; ++i) {
        for (int j = 0; j <= n; ++j) {
          int fast = -7, slow = -7;
          WindowMedian(r, n, n + 1, i, j, m, fast);
          ReferenceMedian(r, n, n + 1, i, j, m, slow);
          ASSERT_EQ(fast, slow) << "r " << r << " at " << i << ", " << j << " range " << lo << ".." << hi;
        }
      }
    }
  }
}

// ---------------------------------------------------------------- Convolve

TEST(Convolve, AllOnesKernelOnConstantsDarkensEdgesAndTruncates) {
  RealMatrix k = Kernel(3, 3, 1.0);
  IntMatrix m = Filled(5, 4, 90);
  ASSERT_TRUE(Convolve(3, 3, k, 5, 4, m));
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) EXPECT_EQ(k[a][b], 1.0 / 9);
  EXPECT_EQ(m[2][2], 90);
  EXPECT_EQ(m[1][1], 90);
  EXPECT_EQ(m[0][2], 60);  // 6 of 9 taps inside
  EXPECT_EQ(m[2][3], 60);
  EXPECT_EQ(m[0][0], 40);  // 4 of 9
  EXPECT_EQ(m[4][3], 40);

  // The normalised kernel stays as it is on a second call. Nine products
  // 1/9 * 10 summed as doubles give 9.999999999999998: truncated, 9.
  IntMatrix ten = Filled(5, 5, 10);
  ASSERT_TRUE(Convolve(3, 3, k, 5, 5, ten));
  EXPECT_EQ(k[1][1], 1.0 / 9);
  EXPECT_EQ(ten[2][2], 9);
}

TEST(Convolve, NormalisedKernelIsLeftUnchangedByAnotherCall) {
  std::vector<RealMatrix> kernels;
  for (int n = 1; n <= 7; ++n) kernels.push_back(Kernel(n, n, 1.0));
  RealMatrix gauss = Kernel(5, 5, 0.0);  // the blur kernel of flow 1, blur 1
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) gauss[i][j] = std::exp(-(i - 2.0) * (i - 2.0) - (j - 2.0) * (j - 2.0));
  kernels.push_back(std::move(gauss));
  for (RealMatrix& k : kernels) {
    const int n = k.count();
    IntMatrix m = Filled(1, 1, 1);
    ASSERT_TRUE(Convolve(n, n, k, 1, 1, m));
    RealMatrix once = k.Clone();
    ASSERT_TRUE(ConvolveBelow(0, n, n, k, 1, 1, m));
    for (int a = 0; a < n; ++a)
      for (int b = 0; b < n; ++b) EXPECT_EQ(k[a][b], once[a][b]) << n << "x" << n << " at " << a << ", " << b;
  }
}

TEST(Convolve, IsACorrelationShiftingBySizeOverTwo) {
  // Only K[0][kb/2] set: every element takes the value ka/2 before it.
  for (const auto& [ka, kb] : {std::pair{3, 3}, std::pair{5, 3}, std::pair{4, 1}, std::pair{2, 2}}) {
    RealMatrix k = Kernel(ka, kb, 0.0);
    k[0][kb / 2] = 2.0;
    IntMatrix m = Filled(8, 3, 0);
    for (int x = 0; x < 8; ++x)
      for (int y = 0; y < 3; ++y) m[x][y] = 10 * x + y + 1;
    ASSERT_TRUE(Convolve(ka, kb, k, 8, 3, m));
    EXPECT_EQ(k[0][kb / 2], 1.0);
    for (int x = 0; x < 8; ++x)
      for (int y = 0; y < 3; ++y) {
        const int src = x - ka / 2;
        EXPECT_EQ(m[x][y], src >= 0 ? 10 * src + y + 1 : 0) << ka << "x" << kb << " at " << x << ", " << y;
      }
  }
}

TEST(Convolve, UsesOnlyTheLeadingBlockAndClampsNegativesToZero) {
  // A 3 x 3 kernel passed in a 4 x 4 matrix whose last row and column hold
  // junk. Weights 5, 5, -4 down a column (sum 6): top row 5/6*P - 4/6*P,
  // bottom row 10/6*P.
  RealMatrix k = Kernel(4, 4, 77.0);
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) k[a][b] = 0;
  k[1][0] = 5;
  k[1][1] = 5;
  k[1][2] = -4;
  IntMatrix m = Filled(3, 4, 100);
  m[1][3] = 250;  // makes row 2 negative: (500 + 500 - 1000) / 6 ... -> 0
  m[0][3] = 200;
  ASSERT_TRUE(Convolve(3, 3, k, 3, 4, m));
  EXPECT_EQ(k[3][3], 77.0);
  EXPECT_EQ(m[2][0], 16);  // 83.33 - 66.67
  EXPECT_EQ(m[2][1], 100);
  EXPECT_EQ(m[2][3], 166);  // 166.67
  EXPECT_EQ(m[1][2], 0);    // 5/6*100 + 5/6*100 - 4/6*250 = 0: float noise, never below 0
  EXPECT_EQ(m[0][2], 33);   // 166.67 - 133.33
}

TEST(Convolve, SaturatesInsteadOfOverflowing) {
  RealMatrix k = Kernel(2, 1, 0.0);
  k[0][0] = -2;
  k[1][0] = 3;  // sum 1; at x = 0 the -2 tap (x - 1) falls outside
  IntMatrix m = Filled(2, 1, 2000000000);
  ASSERT_TRUE(Convolve(2, 1, k, 2, 1, m));
  EXPECT_EQ(m[0][0], INT_MAX);     // 3 * 2e9 = 6e9
  EXPECT_EQ(m[1][0], 2000000000);  // -2 * 2e9 + 3 * 2e9
}

TEST(Convolve, RefusesWhatItCannotComputeAndChangesNothing) {
  IntMatrix m = Filled(4, 4, 50);
  RealMatrix zero_sum = Kernel(3, 3, 0.0);
  zero_sum[0][1] = 1;
  zero_sum[2][1] = -1;
  Status s = Convolve(3, 3, zero_sum, 4, 4, m);
  EXPECT_FALSE(s);
  EXPECT_NE(s.message().find("sum"), std::string::npos) << s.message();
  EXPECT_EQ(zero_sum[0][1], 1.0);

  RealMatrix k = Kernel(3, 3, 1.0);
  EXPECT_FALSE(Convolve(4, 3, k, 4, 4, m));  // kernel larger than its matrix
  EXPECT_FALSE(Convolve(0, 3, k, 4, 4, m));  // empty kernel
  EXPECT_FALSE(Convolve(3, 3, k, 5, 4, m));  // extent larger than the matrix
  EXPECT_FALSE(ConvolveBelow(9, 3, 3, k, 4, 5, m));
  RealMatrix nan = Kernel(1, 1, std::nan(""));
  EXPECT_FALSE(Convolve(1, 1, nan, 4, 4, m));
  EXPECT_EQ(k[0][0], 1.0);
  {
    ByteLimit limit(9 * sizeof(double) - 1);  // not even the normalised kernel
    s = Convolve(3, 3, k, 4, 4, m);
  }
  EXPECT_FALSE(s);
  EXPECT_NE(s.message().find("memory"), std::string::npos) << s.message();
  EXPECT_EQ(k[0][0], 1.0);
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 4; ++y) EXPECT_EQ(m[x][y], 50);

  IntMatrix tall = Filled(4, 40, 50);
  RealMatrix one = Kernel(1, 1, 2.0);
  {
    ByteLimit limit(40 * sizeof(int) - 1);  // the kernel, but not one working column
    s = ConvolveBelow(100, 1, 1, one, 4, 40, tall);
  }
  EXPECT_FALSE(s);
  EXPECT_NE(s.message().find("memory"), std::string::npos) << s.message();
  EXPECT_EQ(one[0][0], 2.0);
  EXPECT_EQ(tall[0][0], 50);
}

// Kernel families for the comparison with the plain loops.
enum class Weights { kMixed, kPositive, kPositiveWithTiny, kOnes };

RealMatrix RandomKernel(int ka, int kb, Weights kind, std::mt19937& rng) {
  std::uniform_real_distribution<double> mixed(-0.5, 2.0), positive(0.01, 1.0);
  std::bernoulli_distribution zero(0.3), tiny(0.3);
  RealMatrix k = Kernel(ka, kb, 1.0);
  for (int a = 0; a < ka; ++a)
    for (int b = 0; b < kb; ++b) {
      switch (kind) {
        case Weights::kMixed:
          k[a][b] = zero(rng) ? 0.0 : mixed(rng);
          break;
        case Weights::kPositive:
          k[a][b] = positive(rng);
          break;
        case Weights::kPositiveWithTiny:
          k[a][b] = tiny(rng) ? 1e-12 * positive(rng) : positive(rng);
          break;
        case Weights::kOnes:
          break;
      }
    }
  if (kind == Weights::kMixed) k[ka / 2][kb / 2] = 3.0;  // keeps the sum well away from 0
  return k;
}

// Every path of the summing code against the plain loops: kernels of even
// and odd sizes with zero, negative, tiny and equal weights; values of 8 and
// 11 bits, signed, 16-bit, and of only three levels (sums land on or next to
// integers); matrices smaller and larger than the kernel, one big enough for
// several threads; at every CPU level (the fused sums from AVX2 on).
TEST(Convolve, AgreesWithThePlainLoopsElementForElement) {
  std::mt19937 rng(42);
  const std::pair<int, int> kernel_sizes[] = {{1, 1}, {1, 3}, {3, 1}, {2, 2}, {3, 3}, {4, 4},
                                              {5, 5}, {7, 3}, {2, 5}, {6, 1}, {9, 9}};
  const std::pair<int, int> matrix_sizes[] = {{1, 1}, {1, 9}, {9, 1}, {2, 3}, {4, 4}, {37, 23}, {300, 260}};
  const std::pair<int, int> value_ranges[] = {{0, 255}, {0, 2047}, {-2047, 2047}, {0, 65535}, {0, 2}};
  for (Weights kind : {Weights::kMixed, Weights::kPositive, Weights::kPositiveWithTiny, Weights::kOnes}) {
    for (const auto& ka_kb : kernel_sizes) {
      const auto ka = ka_kb.first, kb = ka_kb.second;  // captured below: no structured binding for clang 14
      for (const auto& nx_ny : matrix_sizes) {
        const auto nx = nx_ny.first, ny = nx_ny.second;  // captured below: no structured binding for clang 14
        if (nx * ny > 10000 && ka * kb > 25) continue;   // keeps the slow loops quick
        for (const auto& lo_hi : value_ranges) {
          const auto lo = lo_hi.first,
                     hi = lo_hi.second;  // captured below: no structured binding for clang 14
          RealMatrix k = RandomKernel(ka, kb, kind, rng);
          RealMatrix k_ref = k.Clone();
          IntMatrix m = Random(nx, ny, lo, hi, rng);
          if (hi == 2) {  // three levels: multiples of 90
            for (int x = 0; x < nx; ++x)
              for (int y = 0; y < ny; ++y) m[x][y] *= 90;
          }
          IntMatrix want = m.Clone();
          ReferenceCorrelate(false, 0, ka, kb, k_ref, nx, ny, want);
          auto check = [&](const std::string& how) {
            RealMatrix kernel = k.Clone();
            IntMatrix got = m.Clone();
            ASSERT_TRUE(Convolve(ka, kb, kernel, nx, ny, got));
            ASSERT_TRUE(SameMatrix(got, want, nx, ny))
                << static_cast<int>(kind) << ": " << ka << "x" << kb << " on " << nx << "x" << ny
                << " values " << lo << ".." << hi << ", " << how;
            for (int a = 0; a < ka; ++a)
              for (int b = 0; b < kb; ++b) ASSERT_EQ(kernel[a][b], k_ref[a][b]);
          };
          test::AtEveryCpuLevel([&](CpuLevel level) { check(CpuLevelName(level)); });
          // Only the large matrix is cut into bands of columns.
          if (nx * ny < 10000) continue;
          for (int threads : {1, 3, 7}) {
            ScopedThreadCount count(threads);
            check(std::to_string(threads) + " threads");
          }
        }
      }
    }
  }
}

TEST(Convolve, WorksOnTheLeadingBlockOfALargerMatrix) {
  std::mt19937 rng(3);
  IntMatrix m = Random(10, 10, 0, 255, rng);
  IntMatrix want = m.Clone();
  RealMatrix k = Kernel(3, 3, 1.0), k_ref = Kernel(3, 3, 1.0);
  ReferenceCorrelate(false, 0, 3, 3, k_ref, 6, 7, want);
  ASSERT_TRUE(Convolve(3, 3, k, 6, 7, m));
  EXPECT_TRUE(SameMatrix(m, want, 10, 10));  // outside the 6 x 7 block untouched
}

// ----------------------------------------------------------- ConvolveBelow

TEST(ConvolveBelow, ThresholdZeroLeavesNonNegativeValuesAlone) {
  std::mt19937 rng(5);
  IntMatrix m = Random(20, 20, 0, 255, rng);
  IntMatrix before = m.Clone();
  RealMatrix k = Kernel(5, 5, 1.0);
  ASSERT_TRUE(ConvolveBelow(0, 5, 5, k, 20, 20, m));
  EXPECT_TRUE(SameMatrix(m, before, 20, 20));
  EXPECT_EQ(k[2][2], 1.0 / 25);

  // Values at or above the threshold are kept, but a kept negative value
  // becomes 0 like every other result.
  IntMatrix negative = Filled(3, 3, -5);
  ASSERT_TRUE(ConvolveBelow(-10, 3, 3, k, 3, 3, negative));
  EXPECT_EQ(negative[1][1], 0);
}

TEST(ConvolveBelow, ThresholdAboveEverythingIsConvolveWithTapsMovedByOne) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> weight(0.0, 1.0);
  for (const auto& [ka, kb] : {std::pair{3, 3}, std::pair{5, 5}, std::pair{4, 2}}) {
    RealMatrix k = Kernel(ka, kb, 0.0);
    // The same weights two places further into a kernel two larger: its
    // displacements a + 2 - (ka + 2) / 2 equal a - ka / 2 + 1.
    RealMatrix moved = Kernel(ka + 2, kb + 2, 0.0);
    for (int a = 0; a < ka; ++a)
      for (int b = 0; b < kb; ++b) moved[a + 2][b + 2] = k[a][b] = weight(rng);
    IntMatrix m = Random(31, 17, 0, 255, rng);
    IntMatrix want = m.Clone();
    ASSERT_TRUE(ConvolveBelow(256, ka, kb, k, 31, 17, m));
    ASSERT_TRUE(Convolve(ka + 2, kb + 2, moved, 31, 17, want));
    EXPECT_TRUE(SameMatrix(m, want, 31, 17)) << ka << "x" << kb;
  }
  // For a 5 x 5 kernel the displacements run -1 .. +3: a single tap at
  // [4][4] takes the element three further along both axes.
  RealMatrix corner = Kernel(5, 5, 0.0);
  corner[4][4] = 1;
  IntMatrix m = Filled(6, 6, 0);
  m[4][5] = 7;
  ASSERT_TRUE(ConvolveBelow(1000, 5, 5, corner, 6, 6, m));
  EXPECT_EQ(m[1][2], 7);
  EXPECT_EQ(m[4][5], 0);
}

TEST(ConvolveBelow, DecidesAndSumsOnTheValuesBeforeTheCall) {
  std::mt19937 rng(13);
  for (const auto& [ka, kb] : {std::pair{3, 3}, std::pair{5, 5}, std::pair{2, 4}, std::pair{1, 1}}) {
    for (const auto& [nx, ny] : {std::pair{1, 1}, std::pair{3, 2}, std::pair{40, 33}, std::pair{400, 300}}) {
      RealMatrix k = Kernel(ka, kb, 1.0), k_ref = Kernel(ka, kb, 1.0);
      if (ka * kb > 1) k[0][0] = k_ref[0][0] = 0.0;
      IntMatrix m = Random(nx, ny, -20, 255, rng);
      m[0][0] = 255;  // some columns fully at or above the threshold
      for (int x = 0; x < nx; x += 3)
        for (int y = 0; y < ny; ++y) m[x][y] = 200;
      IntMatrix want = m.Clone();
      ReferenceCorrelate(true, 128, ka, kb, k_ref, nx, ny, want);
      ASSERT_TRUE(ConvolveBelow(128, ka, kb, k, nx, ny, m));
      ASSERT_TRUE(SameMatrix(m, want, nx, ny)) << ka << "x" << kb << " on " << nx << "x" << ny;
    }
  }
}

// ------------------------------------------------------------ RotateMatrix

RealMatrix RealRandom(int nx, int ny, std::mt19937& rng) {
  std::uniform_real_distribution<double> dist(-3.0, 3.0);
  RealMatrix m;
  EXPECT_EQ(AllocRealMatrix(nx, ny, m), 0);
  for (int x = 0; x < nx; ++x)
    for (int y = 0; y < ny; ++y) m[x][y] = dist(rng);
  return m;
}

TEST(RotateMatrix, ZeroDegreesKeepsOddSizedMatricesExactly) {
  std::mt19937 rng(17);
  for (const auto& [nx, ny] :
       {std::pair{1, 1}, std::pair{3, 3}, std::pair{5, 5}, std::pair{7, 7}, std::pair{5, 3}}) {
    RealMatrix m = RealRandom(nx, ny, rng);
    RealMatrix before = m.Clone();
    ASSERT_TRUE(RotateMatrix(0, nx, ny, m));
    for (int x = 0; x < nx; ++x)
      for (int y = 0; y < ny; ++y)
        EXPECT_EQ(m[x][y], before[x][y]) << nx << "x" << ny << " at " << x << ", " << y;
  }
}

TEST(RotateMatrix, NinetyDegreesTurnsContentCounterClockwise) {
  const int n = 7, c = 3;
  RealMatrix m;
  ASSERT_EQ(AllocRealMatrix(n, n, m), 0);
  m[c + 2][c] = 1;  // two steps along +x ...
  ASSERT_TRUE(RotateMatrix(90, n, n, m));
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      const double want = (x == c && y == c - 2) ? 1.0 : 0.0;  // ... become two steps along -y
      EXPECT_NEAR(m[x][y], want, 1e-6) << x << ", " << y;
    }
  EXPECT_NE(m[c][c - 2], 1.0);  // pi as 3.1415926: close, not exact
}

TEST(RotateMatrix, StreakKernelAt45DegreesSumsToAbout183) {
  // Flow amount 1: taps -1, +3, -1 at [0][2], [2][2], [4][2] of a 5 x 5.
  RealMatrix k;
  ASSERT_EQ(AllocRealMatrix(5, 5, k), 0);
  k[0][2] = -1;
  k[2][2] = 3;
  k[4][2] = -1;
  ASSERT_TRUE(RotateMatrix(45, 5, 5, k));
  double sum = 0;
  for (int a = 0; a < 5; ++a)
    for (int b = 0; b < 5; ++b) sum += k[a][b];
  EXPECT_NEAR(sum, 1.83, 0.005);
  EXPECT_DOUBLE_EQ(k[2][2], 3.0);  // the centre stays where it is
  // The outer taps land between elements, on the diagonal through the centre.
  EXPECT_LT(k[0][4], 0);
  EXPECT_LT(k[4][0], 0);
  EXPECT_EQ(k[0][0], 0);
}

TEST(RotateMatrix, EvenAndTinySizesStayInsideTheMatrix) {
  std::mt19937 rng(19);
  for (int nx = 1; nx <= 6; ++nx)
    for (int ny = 1; ny <= 6; ++ny)
      for (double angle : {-720.0, -30.0, 13.0, 90.0, 180.0, 271.5}) {
        RealMatrix m = RealRandom(nx, ny, rng);
        ASSERT_TRUE(RotateMatrix(angle, nx, ny, m));
        for (int x = 0; x < nx; ++x)
          for (int y = 0; y < ny; ++y) ASSERT_TRUE(std::isfinite(m[x][y]));
      }
}

TEST(RotateMatrix, RefusesWhatItCannotComputeAndChangesNothing) {
  RealMatrix m;
  ASSERT_EQ(AllocRealMatrix(5, 5, m), 0);
  m[3][2] = 1;
  EXPECT_FALSE(RotateMatrix(std::nan(""), 5, 5, m));
  EXPECT_FALSE(RotateMatrix(INFINITY, 5, 5, m));
  EXPECT_FALSE(RotateMatrix(30, 6, 5, m));
  Status s;
  {
    ByteLimit limit(5 * 5 * sizeof(double));  // the work matrix is four times that
    s = RotateMatrix(30, 5, 5, m);
  }
  EXPECT_FALSE(s);
  EXPECT_NE(s.message().find("memory"), std::string::npos) << s.message();
  EXPECT_EQ(m[3][2], 1.0);
  EXPECT_EQ(m[2][2], 0.0);
}

}  // namespace
}  // namespace qirm
