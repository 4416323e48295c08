// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/numbers.h"

#include <gtest/gtest.h>

namespace qirm {
namespace {

TEST(Numbers, TruncationIsTowardZero) {
  EXPECT_EQ(Trunc(2.9L), 2);
  EXPECT_EQ(Trunc(-2.9L), -2);
  EXPECT_EQ(Trunc(-0.7L), 0);
}

TEST(Numbers, GeneralForm) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1, "1"},
      {1.1, "1.1"},
      {0.5, "0.5"},
      {0.0625, "0.0625"},
      {2, "2"},
      {1499.75, "1499.75"},
      {-2.5, "-2.5"},
      {0, "0"},
      {57, "57"},
      {1.1 * 1.1, "1.21"},
      {1e-5, "0.00001"},
      {1e-6, "1E-6"},
      {1e15, "1E15"},
      {123456789012345.0, "123456789012345"},
      {1.5e20, "1.5E20"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatGeneral(c.value), c.text) << c.value;
}

TEST(Numbers, Patterns) {
  EXPECT_EQ(FormatPercent(100), "100.0%");
  EXPECT_EQ(FormatPercent(6.25), "6.2%");  // printf rounds half to even here
  EXPECT_EQ(FormatPercent(1600), "1600.0%");
  EXPECT_EQ(FormatFixed2(1), "1.00");
  EXPECT_EQ(FormatFixed2(0.5), "0.50");
  EXPECT_EQ(FormatDot2(1), "1.00");
  EXPECT_EQ(FormatDot2(0.05), ".05");
  EXPECT_EQ(FormatDot2(-0.05), "-.05");
  EXPECT_EQ(FormatInt(-32767), "-32767");
}

TEST(Numbers, Parsing) {
  int i = 0;
  EXPECT_TRUE(ParseInt(" 42 ", i));
  EXPECT_EQ(i, 42);
  EXPECT_TRUE(ParseInt("-7", i));
  EXPECT_EQ(i, -7);
  for (const char* bad : {"", " ", "abc", "1.5", "12a", "99999999999", "+-1"}) {
    EXPECT_FALSE(ParseInt(bad, i)) << bad;
  }
  double d = 0;
  EXPECT_TRUE(ParseReal("1.0", d));
  EXPECT_EQ(d, 1.0);
  EXPECT_TRUE(ParseReal(".5", d));
  EXPECT_EQ(d, 0.5);
  EXPECT_TRUE(ParseReal("-2e3", d));
  EXPECT_EQ(d, -2000);
  for (const char* bad : {"", "inf", "nan", "1,5", "e5", "1e", "--1", "1.2.3"}) {
    EXPECT_FALSE(ParseReal(bad, d)) << bad;
  }
  EXPECT_EQ(IntConversionError("abc"), "'abc' is not a valid integer value");
}

}  // namespace
}  // namespace qirm
