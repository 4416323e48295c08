// SPDX-License-Identifier: GPL-3.0-or-later
// The comparison helpers of tests/support/compare.h made to fail on purpose:
// what a failure says, where it is reported, and the files it leaves.
#include "tests/support/compare.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "core/bmp_file.h"
#include "tests/support/matrices.h"
#include "tests/support/pictures.h"

namespace qirm {
namespace {

namespace fs = std::filesystem;

using test::ExpectSameMatrix;
using test::ExpectSamePicture;
using test::Filled;
using test::Flat;
using test::SameMatrix;
using test::SamePicture;

// Points the helpers at a fresh folder of their own for the test and
// restores the environment afterwards.
class CompareFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("qirm-compare-test-" + std::to_string(::getpid()));
    fs::remove_all(m_dir);
    if (const char* old = std::getenv("TEST_UNDECLARED_OUTPUTS_DIR")) m_old = old;
    ::setenv("TEST_UNDECLARED_OUTPUTS_DIR", m_dir.c_str(), 1);
  }
  void TearDown() override {
    if (m_old) {
      ::setenv("TEST_UNDECLARED_OUTPUTS_DIR", m_old->c_str(), 1);
    } else {
      ::unsetenv("TEST_UNDECLARED_OUTPUTS_DIR");
    }
    fs::remove_all(m_dir);
  }

  // Where a failure of this test saves the file with the given ending.
  fs::path Saved(const std::string& ending) const {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return m_dir / (std::string(info->test_suite_name()) + "." + info->name() + ending);
  }

  fs::path m_dir;
  std::optional<std::string> m_old;
};

Picture ReadBack(const fs::path& path) {
  Picture p;
  EXPECT_TRUE(ReadBmpFile(path.string(), p)) << path;
  return p;
}

// The samples of a 16-bit binary PGM file, after checking its header.
std::vector<int> ReadPgm16(const fs::path& path, int w, int h) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n65535\n";
  EXPECT_EQ(bytes.substr(0, header.size()), header) << path;
  EXPECT_EQ(bytes.size(), header.size() + 2u * w * h) << path;
  std::vector<int> samples;
  for (std::size_t i = header.size(); i + 1 < bytes.size(); i += 2)
    samples.push_back(static_cast<unsigned char>(bytes[i]) << 8 | static_cast<unsigned char>(bytes[i + 1]));
  return samples;
}

TEST_F(CompareFailure, PictureNamesEachDifferenceAndSavesActualExpectedAndAMap) {
  const Picture expected = Flat(6, 4, 10);
  Picture actual = Flat(6, 4, 10);
  actual.Row(1)[3 * 4 + 2] = 255;  // x 4, y 1, red
  actual.Row(3)[0] = 0;            // x 0, y 3, blue
  std::string message =
      "pictures differ in 2 of 72 bytes; first difference at x 4, y 1, channel 2: 255, expected 10\n"
      "  x 0, y 3, channel 0: 0, expected 10";
  message += "\n  actual: " + Saved(".actual.bmp").string();
  message += "\n  expected: " + Saved(".expected.bmp").string();
  message += "\n  diff: " + Saved(".diff.bmp").string();
  EXPECT_NONFATAL_FAILURE(ExpectSamePicture(actual, expected), message);

  EXPECT_TRUE(ReadBack(Saved(".actual.bmp")) == actual);
  EXPECT_TRUE(ReadBack(Saved(".expected.bmp")) == expected);
  // The map: red where a byte differs, the expected picture at a quarter elsewhere.
  const Picture map = ReadBack(Saved(".diff.bmp"));
  ASSERT_EQ(map.width(), 6);
  ASSERT_EQ(map.height(), 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool differs = (x == 4 && y == 1) || (x == 0 && y == 3);
      EXPECT_EQ(map.Color(x, y), differs ? 0x0000FFu : 0x020202u) << x << ", " << y;
    }
}

TEST_F(CompareFailure, ReportedAtTheCallersLine) {
  ::testing::TestPartResultArray failures;
  int line = 0;
  {
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
    line = __LINE__ + 1;
    ExpectSameMatrix(Filled(3, 3, 1), Filled(3, 3, 2));
  }
  ASSERT_EQ(failures.size(), 1);
  const ::testing::TestPartResult& failure = failures.GetTestPartResult(0);
  EXPECT_TRUE(failure.nonfatally_failed());
  EXPECT_EQ(fs::path(failure.file_name()).filename(), "compare_test.cpp");
  EXPECT_EQ(failure.line_number(), line);
}

TEST_F(CompareFailure, MatrixListsAFewDifferencesAndSavesBothScaledAlike) {
  IntMatrix expected = Filled(5, 4, 100), actual = Filled(5, 4, 100);
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 4; ++y) actual[x][y] = -5;
  expected[4][3] = actual[4][3] = 70000;  // equal, but beyond 16 bits
  // Column by column: the first and eight more are listed, [2][1] and the
  // rest only counted.
  std::string message = "matrices differ in 12 of 20 elements; first difference at [0][0]: -5, expected 100";
  for (const char* where : {"[0][1]", "[0][2]", "[0][3]", "[1][0]", "[1][1]", "[1][2]", "[1][3]", "[2][0]"})
    message += std::string("\n  ") + where + ": -5, expected 100";
  message += "\n  and 3 more\n  saved scaled: 0 is -5, 65535 is 70000";
  message += "\n  actual: " + Saved(".actual.pgm").string();
  EXPECT_NONFATAL_FAILURE(ExpectSameMatrix(actual, expected), message);

  // One scale for both files: -5 is 0 and 70000 is 65535 in either. Rows
  // from y = 0: [4][0] is the fifth sample, [4][3] the last.
  const std::vector<int> a = ReadPgm16(Saved(".actual.pgm"), 5, 4);
  const std::vector<int> e = ReadPgm16(Saved(".expected.pgm"), 5, 4);
  ASSERT_EQ(a.size(), 20u);
  ASSERT_EQ(e.size(), 20u);
  EXPECT_EQ(a[0], 0);
  EXPECT_EQ(a[19], 65535);
  EXPECT_EQ(e[19], 65535);
  EXPECT_EQ(a[4], e[4]);  // [4][0], 100 in both
  EXPECT_GT(e[0], 0);
  EXPECT_TRUE(fs::exists(Saved(".diff.bmp")));
}

TEST_F(CompareFailure, SixteenBitValuesSavedAsTheyAreAndALaterFailureGetsItsOwnFiles) {
  IntMatrix expected = Filled(3, 2, 0), actual = Filled(3, 2, 0);
  actual[1][0] = 65535;
  actual[2][1] = 7;
  EXPECT_FALSE(SameMatrix(actual, expected, 3, 2));
  EXPECT_EQ(ReadPgm16(Saved(".actual.pgm"), 3, 2), (std::vector<int>{0, 65535, 0, 0, 0, 7}));

  // Only the 1 x 1 corner is compared: the differences outside do not count.
  actual[0][0] = 1;
  const ::testing::AssertionResult second = SameMatrix(actual, expected, 1, 1);
  EXPECT_NE(std::string(second.message()).find("matrices differ in 1 of 1 elements"), std::string::npos)
      << second.message();
  EXPECT_EQ(ReadPgm16(Saved("-2.actual.pgm"), 1, 1), std::vector<int>{1});
  EXPECT_EQ(ReadPgm16(Saved(".actual.pgm"), 3, 2)[1], 65535);  // the first failure's file kept
}

TEST_F(CompareFailure, SizesThatDoNotMatchFailWithoutReadingBeyondEitherEnd) {
  EXPECT_NONFATAL_FAILURE(ExpectSamePicture(Flat(3, 2, 0), Flat(2, 3, 0)),
                          "picture size 3 x 2, expected 2 x 3");
  EXPECT_NONFATAL_FAILURE(ExpectSameMatrix(Filled(3, 2, 0), Filled(3, 3, 0)),
                          "matrix size 3 x 2, expected 3 x 3");
  EXPECT_NONFATAL_FAILURE(ExpectSameMatrix(Filled(3, 2, 0), Filled(4, 4, 0), 4, 2),
                          "cannot compare 4 x 2 elements of matrices of 3 x 2 and 4 x 4");
}

TEST_F(CompareFailure, EqualDataPassesAndLeavesNoFiles) {
  EXPECT_TRUE(SamePicture(Flat(4, 3, 255), Flat(4, 3, 255)));
  EXPECT_TRUE(SameMatrix(Filled(4, 3, -1), Filled(4, 3, -1)));
  IntMatrix big = Filled(5, 5, 9);
  big[4][4] = 0;
  EXPECT_TRUE(SameMatrix(big, Filled(4, 4, 9), 4, 4));
  EXPECT_FALSE(fs::exists(m_dir));
}

}  // namespace
}  // namespace qirm
