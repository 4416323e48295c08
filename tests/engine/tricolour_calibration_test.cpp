// SPDX-License-Identifier: GPL-3.0-or-later
// Hot pixels, flat, dark mean, the 180-degree turn, the running mean, and
// the output stage (flattening, sky level, tone curve, picture) of the
// tri-colour composition.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "core/cpu_dispatch.h"
#include "tests/support/compare.h"
#include "tests/support/matrices.h"
#include "tricolour/calibration.h"
#include "tricolour/calibration_kernels.h"
#include "tricolour/output_stage.h"
#include "tricolour/registration.h"
#include "tricolour/tri_numbers.h"

namespace qirm {
namespace {

using test::ExpectSameMatrix;
using test::Filled;

IntMatrix Random(int w, int h, unsigned seed, int lo, int hi) {
  std::mt19937 rng(seed);
  IntMatrix m = Filled(w, h, 0);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      // The span and the sum in 64 bits: ranges may cover most of the int range.
      const long long span = static_cast<long long>(hi) - lo + 1;
      m[x][y] = static_cast<int>(lo + static_cast<long long>(rng() % static_cast<unsigned long long>(span)));
    }
  return m;
}

double Rule(double a, std::int32_t v, int n) { return static_cast<double>(a + static_cast<Extended>(v) / n); }

TEST(RemoveHotPixels, TheRatioRuleOnTheUnchangedFrame) {
  IntMatrix m = Filled(7, 6, 100);
  m[2][2] = 300;   // 300 - 99 > 2 (100 - 99): hot
  m[3][2] = 250;   // hot as well; each takes the other's original value
  m[5][4] = 102;   // 102 - 99 = 3 > 2: hot (a step of 2 above the minimum)
  m[1][4] = 101;   // 101 - 99 = 2, not above 2: stays
  m[0][0] = 9000;  // border: never changed
  IntMatrix plain = m.Clone();
  RemoveHotPixels(7, 6, m);
  RemoveHotPixelsPlain(7, 6, plain);
  EXPECT_EQ(m[2][2], (100 + 100 + 250 + 100) / 4);
  EXPECT_EQ(m[3][2], (300 + 100 + 100 + 100) / 4);
  EXPECT_EQ(m[5][4], 100);
  EXPECT_EQ(m[1][4], 101);
  EXPECT_EQ(m[0][0], 9000);
  ExpectSameMatrix(m, plain, 7, 6);
}

// At every level the machine has (the column loop's AVX2 and baseline
// builds), on frames of any height, so the vector loop's tails show.
TEST(RemoveHotPixels, FastEqualsPlainOnNoisyFramesAtEveryLevel) {
  for (CpuLevel level : SupportedCpuLevels()) {
    const ScopedCpuLevel cap(level);
    for (unsigned seed : {1u, 2u, 3u}) {
      const int h = 45 + static_cast<int>(seed);
      SCOPED_TRACE(std::string(CpuLevelName(level)) + " height " + std::to_string(h));
      IntMatrix m = Random(67, h, seed, 0, 65535);
      IntMatrix smooth = Random(67, h, seed + 10, 900, 960);
      for (IntMatrix* f : {&m, &smooth}) {
        IntMatrix plain = f->Clone(), told = f->Clone();
        RemoveHotPixels(67, h, *f);
        RemoveHotPixels(67, h, told, /*in_16_bits=*/true);
        RemoveHotPixelsPlain(67, h, plain);
        ExpectSameMatrix(*f, plain, 67, h);
        ExpectSameMatrix(told, plain, 67, h);
      }
    }
  }
}

TEST(FlatField, DividesByTheFlatRelativeToItsMaximum) {
  IntMatrix flat = Filled(4, 3, 30000);
  flat[1][1] = 60000;  // the maximum: L = 1
  flat[2][2] = 0;      // L = 0: the value stays
  FlatField f;
  ASSERT_TRUE(f.Build(flat, 4, 3));
  EXPECT_EQ(f.fmax(), 60000.0);
  IntMatrix m = Filled(4, 3, 1001), dark = Filled(4, 3, 1);
  Calibrate(&dark, &f, 4, 3, m, 0, 4);
  EXPECT_EQ(m[1][1], 1000);
  EXPECT_EQ(m[0][0], 2000);
  EXPECT_EQ(m[2][2], 1000);
  IntMatrix none = Filled(4, 3, 0);
  EXPECT_FALSE(FlatField().Build(none, 4, 3));  // largest value 0: refused
}

// Quotients that land on or near integers (L = 1, c = 0, multiples) take the
// extended division; every other one the double product. Both must agree
// with the plain rule everywhere, negative values included.
TEST(FlatField, FastEqualsPlainOnRandomFlatsAndFrames) {
  const int w = 80, h = 50;
  IntMatrix flat = Random(w, h, 5, 0, 40000), dark = Random(w, h, 6, 0, 3000);
  flat[3][3] = 40000;
  flat[4][4] = 20000;
  flat[70][9] = 45000;  // the largest value, in the second thread's columns
  FlatField f, split;
  ASSERT_TRUE(f.Build(flat, w, h));
  // Built on two threads: the same largest value, values and divisors.
  ASSERT_TRUE(split.Build(flat, w, h, 2));
  EXPECT_EQ(split.fmax(), f.fmax());
  EXPECT_EQ(split.values(), f.values());
  EXPECT_EQ(split.divisor(), f.divisor());
  IntMatrix m = Random(w, h, 7, 0, 65535);
  for (int y = 0; y < h; ++y) m[4][y] = y * 2;
  IntMatrix plain = m.Clone();
  Calibrate(&dark, &f, w, h, m, 0, w);
  CalibratePlain(&dark, &f, w, h, plain);
  ExpectSameMatrix(m, plain, w, h);
}

// Flats whose divisors put quotients on or a hair from integers: 20000 of
// 40000 is L = 1/2 exactly (every quotient an integer), 21845 of 65535 is
// 1/3 rounded (c / L a hair from 3c), 13107 and 3855 likewise 1/5 and 1/17;
// against 32768 every L is exact and 24576 or 28672 give c / L = 4c / 3 or
// 8c / 7 (integers for multiples of 3 or 7); 1 of 65535 multiplies by 65535
// and saturates; 0 keeps the value. Every level of the kernel, with and
// without a dark, against FlatField::Apply.
TEST(FlatField, EveryKernelLevelEqualsTheRuleOnHardQuotients) {
  std::mt19937_64 rng(21);
  auto uniform = [&](std::int64_t lo, std::int64_t hi) {
    return static_cast<std::int32_t>(
        lo + static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(hi - lo + 1)));
  };
  const int h = 3001;
  const std::vector<int> hard = {21845, 13107, 3855,  255, 1,     0,     65535, 32768,
                                 20000, 10000, 16384, 3,   24576, 28672, 32767};
  for (int fmax : {65535, 40000, 32768, 1}) {
    IntMatrix flat = Filled(1, h, 0);
    for (int y = 0; y < h; ++y) {
      const int f = y % 3 ? hard[y % hard.size()] : uniform(0, 65535);
      flat[0][y] = std::min(f, fmax);
    }
    flat[0][h / 2] = fmax;
    FlatField field;
    ASSERT_TRUE(field.Build(flat, 1, h));
    for (int kind = 0; kind < 6; ++kind) {
      IntMatrix m = Filled(1, h, 0), dark = Filled(1, h, 0);
      for (int y = 0; y < h; ++y) {
        switch (kind) {
          case 0:
            m[0][y] = uniform(0, 65535);
            break;
          case 1:
            m[0][y] = uniform(-70000, 70000);
            break;
          case 2:
            m[0][y] = uniform(-20, 20);
            break;  // zeros and small quotients
          case 3:
            m[0][y] = uniform(-(1 << 30), 1 << 30);
            break;  // beyond 2^30 and saturating
          case 4:
            m[0][y] = 3 * uniform(-20000, 20000);
            break;
          // Large quotients below 2^30, where q strays furthest from c / L,
          // integers for the hard flats (357 = 3 * 7 * 17).
          default:
            m[0][y] = uniform(-(1 << 28), 1 << 28) / 357 * 357;
            break;
        }
        dark[0][y] = kind % 2 ? uniform(0, 3000) : 0;
      }
      IntMatrix expected = Filled(1, h, 0);
      for (int y = 0; y < h; ++y) expected[0][y] = field.Apply(m[0][y] - dark[0][y], 0, y);
      for (CpuLevel level : SupportedCpuLevels()) {
        const ScopedCpuLevel cap(level);
        for (int offset : {0, 5}) {
          std::vector<std::int32_t> c(m[0] + offset, m[0] + h);
          calib::SubtractAndDivide(c.data(), kind % 2 ? dark[0] + offset : nullptr,
                                   field.values().data() + offset, field.fmax(), field.divisor().data(),
                                   h - offset);
          for (int y = offset; y < h; ++y) {
            ASSERT_EQ(c[y - offset], expected[0][y])
                << "level " << CpuLevelName(level) << " fmax " << fmax << " kind " << kind << " at " << y
                << ": " << m[0][y] << " - " << dark[0][y] << " over flat " << flat[0][y];
          }
          if (kind % 2 == 0) continue;
          // The same dark in 16 bits.
          const std::vector<std::uint16_t> dark16(dark[0] + offset, dark[0] + h);
          std::vector<std::int32_t> c16(m[0] + offset, m[0] + h);
          calib::SubtractAndDivide(c16.data(), dark16.data(), field.values().data() + offset, field.fmax(),
                                   field.divisor().data(), h - offset);
          ASSERT_EQ(c16, c) << "16-bit dark, level " << CpuLevelName(level) << " kind " << kind;
        }
      }
    }
  }
}

TEST(Turn180, MovesEveryPixelToTheOppositeCorner) {
  for (int w : {3, 4}) {
    IntMatrix m = Random(w, 3, 9, 0, 1000), original = m.Clone();
    Turn180(w, 3, m);
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < 3; ++y) EXPECT_EQ(m[w - 1 - x][2 - y], original[x][y]);
  }
}

TEST(Accumulate, ShiftedSourcesAndTheFirstColumnAndRowNeverContribute) {
  IntMatrix frame = Filled(5, 4, 8);
  RealMatrix acc;
  acc.Allocate(5, 4);
  Accumulate(frame, 0, 0, 2, 5, 4, acc, 0, 5);
  EXPECT_EQ(acc[0][2], 0.0);  // column 0 of the frame
  EXPECT_EQ(acc[2][0], 0.0);  // row 0 of the frame
  EXPECT_EQ(acc[2][2], 4.0);
  Accumulate(frame, 2, -1, 2, 5, 4, acc, 0, 5);
  EXPECT_EQ(acc[2][2], 8.0);  // from (4, 1)
  EXPECT_EQ(acc[3][2], 4.0);  // source column 5: outside
  EXPECT_EQ(acc[2][1], 4.0);  // source row 0: never
  // Three thirds of 1 as the rule adds them (extended sum, kept as double).
  RealMatrix third;
  third.Allocate(2, 2);
  IntMatrix one = Filled(2, 2, 1);
  for (int k = 0; k < 3; ++k) Accumulate(one, 0, 0, 3, 2, 2, third, 0, 2);
  EXPECT_NEAR(third[1][1], 1.0, 1e-15);
}

// The running mean in doubles decides the extended rounding from an exact
// two-sum and falls back to the extended sum near midpoints; many frames of
// random values and counts, shifted, must give the plain sums bit for bit.
TEST(Accumulate, FastEqualsPlainOverManyFrames) {
  const int w = 37, h = 53;
  for (int n : {3, 7, 10, 1}) {
    RealMatrix fast, plain;
    fast.Allocate(w, h);
    plain.Allocate(w, h);
    for (int k = 0; k < 12; ++k) {
      const IntMatrix frame = Random(w, h, 100 * n + k, k % 3 ? -3000 : 0, k % 2 ? 65535 : 300);
      const int ox = k % 5 - 2, oy = 1 - k % 3;
      Accumulate(frame, ox, oy, n, w, h, fast, 0, w);
      AccumulatePlain(frame, ox, oy, n, w, h, plain, 0, w);
      for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
          ASSERT_EQ(fast[x][y], plain[x][y]) << n << " " << k << " " << x << " " << y;
    }
  }
  // Means that end on or next to a power of two, where the spacing of the
  // doubles halves below (n frames of nearly the power itself).
  for (int n : {3, 7, 10}) {
    for (int power : {256, 512, 1024, 65536}) {
      RealMatrix fast, plain;
      fast.Allocate(w, h);
      plain.Allocate(w, h);
      for (int k = 0; k < n; ++k) {
        const IntMatrix frame = Random(w, h, 7 * k + n + power, power - 3, power + 3);
        Accumulate(frame, 0, 0, n, w, h, fast, 0, w);
        AccumulatePlain(frame, 0, 0, n, w, h, plain, 0, w);
      }
      for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
          ASSERT_EQ(fast[x][y], plain[x][y]) << n << " " << power << " " << x << " " << y;
    }
  }
}

// Every level of the running-mean kernel against the extended sum, step by
// step, on sums of every kind: growing means, sums that cross and land on
// powers of two, negative values and cancellation, counts from 1 to 256,
// and big accumulators whose ulp is coarser than the quotient's bits, where
// the rule's two extended roundings land on or next to midpoints between
// doubles (exact ties with counts that are powers of two).
TEST(Accumulate, EveryKernelLevelEqualsTheExtendedSum) {
  std::mt19937_64 rng(11);
  const int count = 4001;  // not a multiple of any vector width
  auto uniform = [&](std::int64_t lo, std::int64_t hi) {
    return lo + static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(hi - lo + 1));
  };
  for (int n : {1, 2, 3, 7, 10, 30, 128, 255, 256}) {
    for (int kind = 0; kind < 7; ++kind) {
      std::vector<double> start(count);
      for (double& a : start) {
        switch (kind) {
          case 0:
            a = 0;
            break;  // a fresh accumulator
          case 1:
            a = static_cast<double>(uniform(-5000, 70000)) / 3;
            break;
          case 2:
            a = std::ldexp(1.0, static_cast<int>(uniform(-3, 30))) * (uniform(0, 1) ? 1 : -1);
            break;
          case 3:  // next to a power of two, below or above
            a = std::nextafter(std::ldexp(1.0, static_cast<int>(uniform(4, 20))), uniform(0, 1) ? 0.0 : 1e9);
            break;
          case 4:
            a = std::ldexp(1.0, 56) + 16.0 * static_cast<double>(uniform(-1000, 1000));
            break;
          case 5:
            a = std::ldexp(1.0, 45) + std::ldexp(static_cast<double>(uniform(-1000, 1000)), -7);
            break;
          default:
            a = std::ldexp(static_cast<double>(uniform(1, 1LL << 53)), static_cast<int>(uniform(-60, 0)));
            break;
        }
      }
      std::vector<std::int32_t> in(count);
      for (int step = 0; step < 6; ++step) {
        for (std::int32_t& v : in) {
          switch ((step + kind) % 4) {
            case 0:
              v = static_cast<std::int32_t>(uniform(0, 65535));
              break;
            case 1:
              v = static_cast<std::int32_t>(uniform(-3000, 3000));
              break;
            case 2:
              v = static_cast<std::int32_t>(uniform(INT32_MIN, INT32_MAX));
              break;
            default:
              v = static_cast<std::int32_t>(n * uniform(-300, 300) + uniform(-1, 1));
              break;
          }
        }
        std::vector<double> rule(count);
        for (int i = 0; i < count; ++i) rule[i] = Rule(start[i], in[i], n);
        for (CpuLevel level : SupportedCpuLevels()) {
          const ScopedCpuLevel cap(level);
          for (int offset : {0, 3}) {
            std::vector<double> got(start.begin() + offset, start.end());
            calib::AddQuotients(got.data(), in.data() + offset, count - offset, n);
            for (int i = offset; i < count; ++i) {
              ASSERT_EQ(got[i - offset], rule[i])
                  << "level " << CpuLevelName(level) << " n " << n << " kind " << kind << " step " << step
                  << " at " << i << ": " << start[i] << " + " << in[i] << " / " << n;
            }
          }
        }
        start = rule;
      }
    }
  }
}

// Sums one extended unit or less from a midpoint between doubles, built on
// purpose: a = 2^56 + 16 k (the ulp is 16, the extended ulp 2^-7) plus v / n
// with n a power of two, so the exact sum sits on a grid finer than the
// extended format and the rule's first rounding can land on the midpoint.
TEST(Accumulate, DoubleRoundingAtMidpointsFollowsTheRule) {
  std::mt19937 rng(3);
  const int count = 999;
  for (int n : {2, 16, 128, 256}) {
    std::vector<double> a(count);
    std::vector<std::int32_t> in(count);
    for (int i = 0; i < count; ++i) {
      a[i] = std::ldexp(1.0, 56) + 16.0 * static_cast<int>(rng() % 4096);
      // 8 n +- a little: 8 is half the ulp, a little is below the extended ulp.
      in[i] = static_cast<std::int32_t>(8 * n * (1 + 2 * static_cast<int>(rng() % 100)) +
                                        static_cast<int>(rng() % 5) - 2);
      if (i % 2) in[i] = -in[i];
    }
    for (CpuLevel level : SupportedCpuLevels()) {
      const ScopedCpuLevel cap(level);
      std::vector<double> got = a;
      calib::AddQuotients(got.data(), in.data(), count, n);
      for (int i = 0; i < count; ++i)
        ASSERT_EQ(got[i], Rule(a[i], in[i], n)) << CpuLevelName(level) << " " << n << " " << in[i];
    }
  }
}

// The dark mean is the same sum with the dark count, column by column.
TEST(AddToMean, EqualsTheExtendedSumOverTheDarks) {
  const int w = 19, h = 23, nd = 7;
  RealMatrix acc;
  acc.Allocate(w, h);
  std::vector<double> rule(w * h, 0.0);
  for (int k = 0; k < nd; ++k) {
    const IntMatrix dark = Random(w, h, 40 + k, k == 3 ? -100 : 0, 65535);
    AddToMean(dark, nd, w, h, acc, 0, w);
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) rule[x * h + y] = Rule(rule[x * h + y], dark[x][y], nd);
  }
  IntMatrix mean = Filled(w, h, 0);
  TruncateMean(acc, w, h, mean, 0, w);
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      ASSERT_EQ(acc[x][y], rule[x * h + y]) << x << " " << y;
      ASSERT_EQ(mean[x][y], TruncSaturated(rule[x * h + y]));
    }
  }
}

// The dark mean is kept in 16 bits when every value fits, else in 32; both
// calibrate as the 32-bit matrix does.
TEST(DarkFrame, NarrowWhenTheMeanFitsAndWideOtherwise) {
  const int w = 70, h = 33;
  IntMatrix flat_values = Random(w, h, 50, 1000, 40000);
  FlatField flat;
  ASSERT_TRUE(flat.Build(flat_values, w, h));
  const IntMatrix frame = Random(w, h, 51, 0, 65535);
  for (double odd : {0.0, -0.5, 65535.9, -1.0, 65536.0, -70000.0, std::nan("")}) {
    RealMatrix acc;
    acc.Allocate(w, h);
    std::mt19937 rng(52);
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) acc[x][y] = (rng() % 6553500) / 100.0;
    acc[w - 1][h - 1] = odd;  // in the second thread's columns
    IntMatrix mean = Filled(w, h, 0);
    TruncateMean(acc, w, h, mean, 0, w);
    const bool fits = mean[w - 1][h - 1] >= 0 && mean[w - 1][h - 1] <= 65535;
    for (int threads : {1, 2}) {
      DarkFrame dark;
      ASSERT_TRUE(dark.FromMean(acc, w, h, threads));
      EXPECT_EQ(dark.narrow(), fits) << odd;
      for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) ASSERT_EQ(dark.at(x, y), mean[x][y]) << odd << " at " << x << ", " << y;
      // Clearing the accumulator on the way gives the same frame.
      RealMatrix cleared;
      cleared.Allocate(w, h);
      for (int x = 0; x < w; ++x) std::copy(acc[x], acc[x] + h, cleared[x]);
      DarkFrame again;
      ASSERT_TRUE(again.FromMean(cleared, w, h, threads, /*clear=*/true));
      EXPECT_EQ(again.narrow(), fits);
      for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
          ASSERT_EQ(again.at(x, y), mean[x][y]) << odd << " at " << x << ", " << y;
          ASSERT_EQ(cleared[x][y], 0.0);
        }
      for (const FlatField* f :
           {static_cast<const FlatField*>(&flat), static_cast<const FlatField*>(nullptr)}) {
        IntMatrix a = frame.Clone(), b = frame.Clone(), c = frame.Clone(), d = frame.Clone();
        Calibrate(&dark, f, w, h, a, 0, w);
        CalibratePlain(&dark, f, w, h, b);
        Calibrate(&mean, f, w, h, c, 0, w);
        ExpectSameMatrix(a, c, w, h);
        ExpectSameMatrix(b, c, w, h);
        if (!f) {
          SubtractDark(dark, w, h, d, threads);
          ExpectSameMatrix(d, c, w, h);
        }
      }
    }
  }
}

TEST(TruncateMean, EveryLevelSaturatesAndMapsNaNToZero) {
  const double nan = std::nan("");
  std::vector<double> values = {0.0,      -0.0,          0.999999,      -0.999999,     1.5,
                                -1.5,     2147483646.9,  2147483647.0,  2147483647.5,  2147483648.0,
                                1e300,    -2147483648.0, -2147483648.9, -2147483649.0, -1e300,
                                nan,      HUGE_VAL,      -HUGE_VAL,     12345.678,     -12345.678,
                                4.9e-324, 65535.99999};
  for (CpuLevel level : SupportedCpuLevels()) {
    const ScopedCpuLevel cap(level);
    for (int offset = 0; offset < 5; ++offset) {
      const int count = static_cast<int>(values.size()) - offset;
      std::vector<std::int32_t> out(count, 77);
      calib::TruncateRun(values.data() + offset, count, out.data());
      for (int i = 0; i < count; ++i)
        ASSERT_EQ(out[i], TruncSaturated(values[offset + i]))
            << CpuLevelName(level) << " " << values[offset + i];
    }
  }
}

TEST(ColumnProgress, RunsFromZeroTo99AcrossTheColumns) {
  EXPECT_EQ(ColumnProgress(0, 2048), 0);
  EXPECT_EQ(ColumnProgress(2047, 2048), 99);
  EXPECT_EQ(ColumnProgress(21, 2048), 1);
  EXPECT_EQ(ColumnProgress(20, 2048), 0);
}

// ---------------------------------------------------------------------------
// Output stage.

TEST(FlattenBackground, EqualRegionLevelsChangeNothing) {
  IntMatrix m = Filled(150, 90, 1234), plain = m.Clone();
  FlattenBackground(150, 90, m);
  FlattenBackgroundPlain(150, 90, plain);
  ExpectSameMatrix(m, Filled(150, 90, 1234), 150, 90);
  ExpectSameMatrix(plain, m, 150, 90);
}

TEST(FlattenBackground, ASkyRisingByOnePerColumnIsLoweredOnTheRight) {
  const int w = 150, h = 90;
  IntMatrix m = Filled(w, h, 0);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) m[x][y] = 1000 + x;
  double levels[4];
  FlattenLevels(w, h, m, levels);
  EXPECT_EQ(levels[0], 1015);  // first column of A: w / 10
  EXPECT_EQ(levels[1], 1135);  // first column of B: 9 w / 10
  EXPECT_EQ(levels[2], 1075);  // C and D: column w / 2, flat in y
  EXPECT_EQ(levels[3], 1075);
  IntMatrix plain = m.Clone();
  FlattenBackground(w, h, m);
  FlattenBackgroundPlain(w, h, plain);
  ExpectSameMatrix(m, plain, w, h);
  // gx = -120 / 150 = -0.8: the sky now rises by 0.2 per column.
  EXPECT_EQ(m[0][5], 1000);
  EXPECT_EQ(m[149][5], 1029);  // 1149 - 119.2 (0.8 just above 0.8 as a double)
  EXPECT_EQ(m[100][5], 1019);  // 1100 - 80.00000000000000444: just below 1020
}

TEST(FlattenBackground, FramesTooSmallForTheRegionsAreLeftAlone) {
  IntMatrix m = Random(14, 12, 3, 0, 100), original = m.Clone();
  FlattenBackground(14, 12, m);
  ExpectSameMatrix(m, original, 14, 12);
}

TEST(ToneCurve, WorkedValues) {
  ToneCurve sky;  // divisors 1, level 10
  sky.sky = 500;
  EXPECT_EQ(sky.Byte(500), 9);  // 200 atan(0.05) = 9.99
  ToneCurve bare;
  bare.level = 0;
  EXPECT_EQ(bare.Value(255), 181);
  EXPECT_EQ(bare.Byte(656), 254);
  EXPECT_EQ(bare.Byte(657), 255);
  EXPECT_LT(bare.Value(2000000000), 315);
  EXPECT_EQ(bare.Byte(-40), 0);  // below 0 before the curve
  // WhiteK = 2 doubles the sky-subtracted signal, WhiteR = 2 halves it.
  ToneCurve k2 = sky, r2 = sky;
  k2.gain = 2;
  r2.divisor = 2;
  EXPECT_EQ(sky.Value(550), static_cast<int>(200 * std::atan(60 / 200.0)));  // 58
  EXPECT_EQ(k2.Value(550), static_cast<int>(200 * std::atan(110 / 200.0)));  // 100
  EXPECT_EQ(r2.Value(550), static_cast<int>(200 * std::atan(35 / 200.0)));   // 34
  EXPECT_EQ(sky.Value(550), 58);
  EXPECT_EQ(k2.Value(550), 100);
  EXPECT_EQ(r2.Value(550), 34);
}

TEST(ToneChannel, TableAndPixelByPixelAgree) {
  ToneCurve c;
  c.sky = 1234.5;
  c.divisor = 0.8;
  c.gain = 1.7;
  IntMatrix narrow = Random(40, 30, 4, -500, 3000), wide = Random(40, 30, 5, -2000000000, 2000000000);
  for (IntMatrix* m : {&narrow, &wide}) {
    std::vector<std::uint8_t> bytes;
    ToneChannel(*m, 40, 30, c, bytes);
    for (int x = 0; x < 40; ++x)
      for (int y = 0; y < 30; ++y) ASSERT_EQ(bytes[x * 30 + y], c.Byte((*m)[x][y]));
  }
}

TEST(SkyLevel, TheBackgroundPointAtTheOriginIsUsedAs10And10) {
  IntMatrix m = Filled(40, 30, 0);
  for (int x = 0; x < 40; ++x)
    for (int y = 0; y < 30; ++y) m[x][y] = x + 100 * y;
  CompositionSettings s;  // BackgroundX = BackgroundY = 0, level 10
  const ClampedPositions p = ClampPositions(s, 40, 30);
  EXPECT_EQ(SkyLevel(m, p.background_x, p.background_y), 10 + 1000);  // columns and rows 5..15
}

TEST(ChannelsToPicture, PixelZeroShowsRedGreenBlue) {
  std::vector<std::uint8_t> r(6, 0), g(6, 0), b(6, 0);
  r[0] = 200;
  g[0] = 100;
  b[0] = 50;
  r[1] = 7;  // column 0, row 1
  const Picture p = ChannelsToPicture(2, 3, r, g, b);
  EXPECT_EQ(p.Row(0)[0], 50);
  EXPECT_EQ(p.Row(0)[1], 100);
  EXPECT_EQ(p.Row(0)[2], 200);
  EXPECT_EQ(p.Row(1)[2], 7);
}

// Toning each channel into the picture equals the plain route (byte planes,
// then the picture), with tables and, for a channel of huge range, without,
// in any order of channels, for a size that is not a multiple of the tiles.
TEST(ToneInto, EqualsToningEachChannelThenComposing) {
  // Wide enough, the columns and the table are split between two threads
  // (the split falls inside a tile row of 128 columns).
  for (const auto& [w, threads] : {std::pair{150, 1}, std::pair{700, 2}}) {
    const int h = 37;
    IntMatrix r = Random(w, h, 6, -500, 9000), g = Random(w, h, 7, 0, 65535), b = Random(w, h, 8, 100, 400);
    IntMatrix wide = Random(w, h, 9, -2000000000, 2000000000);
    ToneCurve curves[3];
    curves[0].sky = 300.25;
    curves[1].divisor = 1.3;
    curves[2].gain = 2.5;
    for (const IntMatrix* red : {&r, &wide}) {
      std::vector<std::uint8_t> bytes[3];
      ToneChannel(*red, w, h, curves[0], bytes[0]);
      ToneChannel(g, w, h, curves[1], bytes[1]);
      ToneChannel(b, w, h, curves[2], bytes[2]);
      const Picture expected = ChannelsToPicture(w, h, bytes[0], bytes[1], bytes[2]);
      Picture picture(w, h);
      const IntMatrix* planes[3] = {red, &g, &b};
      for (int c : {1, 0, 2}) ToneInto(picture, c, *planes[c], w, h, curves[c], threads);
      EXPECT_TRUE(picture == expected) << w << " on " << threads << " threads";
    }
  }
}

// The 16-bit curve: the same curve on 0..65535 for every kind; its 8-bit
// reading (word / 257) is always the byte, black stays 0 and white 65535.
TEST(ToneCurve, WordIsTheByteWithEightMoreBits) {
  const std::pair<ToneKind, double> kinds[] = {{ToneKind::kAtan, 200},  {ToneKind::kLinear, 0},
                                               {ToneKind::kLog, 1000},  {ToneKind::kGamma, 1.0},
                                               {ToneKind::kGamma, 2.2}, {ToneKind::kAtan, 7}};
  for (const auto& [kind, parameter] : kinds) {
    ToneCurve c;
    c.sky = 812.5;
    c.divisor = 1.3;
    c.gain = 0.9;
    c.kind = kind;
    c.parameter = parameter;
    SCOPED_TRACE(static_cast<int>(kind));
    int previous = -1, finer = 0;
    for (std::int32_t v = -3000; v <= 70000; ++v) {
      const int word = c.Word(v), byte = c.Byte(v);
      ASSERT_EQ(word / 257, byte) << v;
      ASSERT_GE(word, previous) << v;  // every curve rises
      if (word % 257 != 0) ++finer;
      previous = word;
    }
    EXPECT_EQ(c.Word(-3000), 0);
    EXPECT_GT(finer, 100) << "the low byte should carry information";
    // atan with 7 never climbs above 7 pi / 2; every other curve reaches white.
    if (parameter != 7) {
      EXPECT_EQ(c.Word(2000000000), 65535);
    }
  }
  ToneCurve bare;  // 200 atan(v / 200) reaches 255 at v = 657
  bare.level = 0;
  EXPECT_EQ(bare.Word(657), 65535);
  EXPECT_EQ(bare.Word(100), static_cast<int>(257 * (200 * std::atan(0.5))));  // 23831
  EXPECT_EQ(bare.Word(100), 23831);
}

TEST(ToneInto16, EqualsWordOfEveryPixel) {
  const int w = 33, h = 21;
  IntMatrix narrow = Random(w, h, 11, -500, 3000), wide = Random(w, h, 12, -2000000000, 2000000000);
  ToneCurve curves[3];
  curves[0].sky = 300.25;
  curves[1].kind = ToneKind::kLog;
  curves[1].parameter = 1000;
  curves[2].gain = 2.5;
  const IntMatrix* planes[3] = {&narrow, &wide, &narrow};
  Rgb16Picture picture(w, h);
  for (int c : {2, 0, 1}) ToneInto16(picture, c, *planes[c], w, h, curves[c]);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(picture.Row(y)[3 * x + c], curves[c].Word((*planes[c])[x][y]));
}

}  // namespace
}  // namespace qirm
