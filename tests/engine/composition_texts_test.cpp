// SPDX-License-Identifier: GPL-3.0-or-later
// The composition dialog's number texts: the OK conversion and its order,
// the texts loading writes, the advanced flags, and the white-balance
// spinner's hundredths.
#include "tricolour/composition_texts.h"

#include <gtest/gtest.h>

namespace qirm {
namespace {

TEST(CompositionTexts, ConvertsEveryFieldOrStopsAtTheFirstBadOneInOkOrder) {
  CompositionFieldTexts t;
  t.Edit6 = "11";
  t.Edit9 = "12";
  t.Edit7 = "13";
  t.Edit10 = "14";
  t.Edit8 = "5";
  t.Edit11 = "6";
  t.Edit12 = "20";
  t.Edit13 = " 21 ";
  t.Edit14 = "+7";
  t.Edit15 = "1.5";
  t.Edit16 = ".05";
  t.Edit17 = "2";
  t.Edit18 = "1e1";
  CompositionSettings s;
  ASSERT_TRUE(ConvertCompositionFields(t, s));
  EXPECT_EQ(s.Star1X, 11);
  EXPECT_EQ(s.Star1Y, 12);
  EXPECT_EQ(s.Star2X, 13);
  EXPECT_EQ(s.Star2Y, 14);
  EXPECT_EQ(s.Delta1, 5);
  EXPECT_EQ(s.Delta2, 6);
  EXPECT_EQ(s.BackgroundX, 20);
  EXPECT_EQ(s.BackgroundY, 21);
  EXPECT_EQ(s.BackgroundLevel, 7);
  EXPECT_EQ(s.WhiteR, 1.5);
  EXPECT_EQ(s.WhiteG, 0.05);
  EXPECT_EQ(s.WhiteB, 2.0);
  EXPECT_EQ(s.WhiteK, 10.0);

  // Star1Y comes before Star2X although Edit7 is the lower number.
  CompositionFieldTexts bad = t;
  bad.Edit7 = "x7";
  bad.Edit9 = "y9";
  bad.Edit15 = "abc";
  CompositionSettings untouched;
  Status status = ConvertCompositionFields(bad, untouched);
  EXPECT_EQ(status.message(), "'y9' is not a valid integer value");
  EXPECT_EQ(untouched.Star1X, 0);  // nothing half-converted
  bad = t;
  bad.Edit18 = "1.0.0";
  status = ConvertCompositionFields(bad, untouched);
  EXPECT_EQ(status.message(), "'1.0.0' is not a valid floating point value");
  EXPECT_EQ(untouched.WhiteR, 1.0);
}

TEST(CompositionTexts, LoadingWritesPlainIntegersAndGeneralReals) {
  CompositionSettings s;
  s.Star2Y = -3;
  s.WhiteR = 1.0;
  s.WhiteG = 1.25;
  s.WhiteB = 0.8;
  s.WhiteK = 2.0;
  const CompositionFieldTexts t = CompositionFieldTextsOf(s);
  EXPECT_EQ(t.Edit10, "-3");
  EXPECT_EQ(t.Edit8, "10");
  EXPECT_EQ(t.Edit15 + " " + t.Edit16 + " " + t.Edit17 + " " + t.Edit18, "1 1.25 0.8 2");
}

TEST(CompositionTexts, AdvancedFlagsAreCapturedWholeOrNotAtAll) {
  AdvancedTexts t;
  t.CheckBox7 = true;
  t.Edit1 = "61000";
  t.CheckBox2 = true;
  t.CheckBox6 = true;
  AdvancedFlags f;
  ASSERT_TRUE(CaptureAdvancedFlags(t, f));
  EXPECT_TRUE(f.AntiBloomingOn);
  EXPECT_EQ(f.BloomThreshold, 61000);
  EXPECT_EQ(f.BloomThickness, 2);
  EXPECT_EQ(f.BloomLength, 5);
  EXPECT_FALSE(f.Rotate180R);
  EXPECT_TRUE(f.Rotate180G);
  EXPECT_TRUE(f.FlattenB);

  AdvancedTexts broken;
  broken.CheckBox1 = true;
  broken.Edit3 = "five";
  AdvancedFlags kept;
  EXPECT_EQ(CaptureAdvancedFlags(broken, kept).message(), "'five' is not a valid integer value");
  EXPECT_FALSE(kept.Rotate180R);
  EXPECT_EQ(AdvancedTextsOf(f).Edit1, "61000");
  EXPECT_TRUE(AdvancedTextsOf(f).CheckBox6);
}

TEST(CompositionTexts, WhiteSpinnerPositionIsTheTruncatedDecimalTimes100) {
  const struct {
    const char* text;
    int position;
  } cases[] = {{"1.5", 150},
               {"1.00", 100},
               {"1", 100},
               {".05", 5},
               {"1.05", 105},
               {"0.29", 29},
               {"1.999", 199},
               {"1.9999999999999", 199},
               {"-0.555", -55},
               {"+2.5e-1", 25},
               {"1.5E1", 1500},
               {" 3 ", 300},
               {"0.001", 0},
               {"1e30", 2147483647},
               {"-1e30", -2147483647 - 1},
               {"0e99999", 0}};
  for (const auto& c : cases) {
    int position = -12345;
    EXPECT_TRUE(WhiteSpinPosition(c.text, position)) << c.text;
    EXPECT_EQ(position, c.position) << c.text;
  }
  int position = 7;
  EXPECT_FALSE(WhiteSpinPosition("1,5", position));
  EXPECT_FALSE(WhiteSpinPosition("", position));
  EXPECT_EQ(position, 7);
}

// A click writes the text of the new position and the edit's change sets
// the position from that text: every position of the range must survive it,
// or the spinner sticks.
TEST(CompositionTexts, EveryWhiteSpinnerPositionSurvivesItsOwnText) {
  EXPECT_EQ(WhiteSpinText(151), "1.51");
  EXPECT_EQ(WhiteSpinText(5), ".05");
  EXPECT_EQ(WhiteSpinText(100), "1.00");
  for (int p = 0; p <= 2000; ++p) {
    int back = -1;
    ASSERT_TRUE(WhiteSpinPosition(WhiteSpinText(p), back));
    ASSERT_EQ(back, p) << WhiteSpinText(p);
  }
}

}  // namespace
}  // namespace qirm
