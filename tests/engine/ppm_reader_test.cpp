// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ppm_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace qirm {
namespace {

namespace fs = std::filesystem;

class PpmReader : public testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("qirm_ppm_" + std::to_string(::getpid()) + "_" +
                                         testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (m_dir / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  // Reads the file, keeping what the reader printed in m_trace.
  Status Read(const std::string& path) {
    testing::internal::CaptureStdout();
    Status s = ReadPpmFile(path, m_w, m_h, m_r, m_g, m_b);
    m_trace = testing::internal::GetCapturedStdout();
    return s;
  }

  void ExpectRefused(const std::string& path, const std::string& why) {
    m_w = m_h = 99;
    const Status s = Read(path);
    EXPECT_FALSE(s) << why;
    EXPECT_NE(s.message().find(path), std::string::npos) << why << ": " << s.message();
    EXPECT_EQ(m_w, 0) << why;
    EXPECT_EQ(m_h, 0) << why;
    EXPECT_TRUE(m_r.empty() && m_g.empty() && m_b.empty()) << why;
  }

  fs::path m_dir;
  int m_w = 0, m_h = 0;
  IntMatrix m_r, m_g, m_b;
  std::string m_trace;
};

const std::string kSixBytes = "\x0A\x14\x1E\x28\x32\x3C";  // 10 20 30 40 50 60

TEST_F(PpmReader, ReadsTheTwoByOneExampleWithItsTraces) {
  ASSERT_TRUE(Read(Write("a.ppm", "P6\n2 1\n255\n" + kSixBytes)));
  EXPECT_EQ(m_w, 2);
  EXPECT_EQ(m_h, 1);
  EXPECT_EQ(m_r[0][0], 10);
  EXPECT_EQ(m_g[0][0], 20);
  EXPECT_EQ(m_b[0][0], 30);
  EXPECT_EQ(m_r[1][0], 40);
  EXPECT_EQ(m_g[1][0], 50);
  EXPECT_EQ(m_b[1][0], 60);
  EXPECT_EQ(m_trace,
            "declared\n"
            "2 P6\n"  // the second word first
            "extended  unsigned char 1D \n"
            "2 1 6\n"
            "1 2\n"  // height, then width
            "opened head\n"
            "extended\n"
            "reading ...\n");
}

TEST_F(PpmReader, SkipsOneCommentLineAfterTheTag) {
  ASSERT_TRUE(Read(Write("c.ppm", "P6\n# made by hand 3 4\n2 1\n255\n" + kSixBytes)));
  EXPECT_EQ(m_w, 2);
  EXPECT_EQ(m_h, 1);
  EXPECT_EQ(m_r[1][0], 40);
  EXPECT_EQ(m_b[1][0], 60);
  EXPECT_EQ(m_trace,
            "declared\n"
            "# P6\n"
            " made by hand 3 4\n\n"  // the skipped text keeps its line break
            "if\n"
            "extended  unsigned char 1D \n"
            "2 1 6\n"
            "1 2\n"
            "opened head\n"
            "extended\n"
            "reading ...\n");

  // "#" at the end of its line: nothing but the line break is skipped.
  ASSERT_TRUE(Read(Write("c2.ppm", "P6 #\n2 1 255 " + kSixBytes)));
  EXPECT_EQ(m_g[0][0], 20);
  // The rest of a comment line may be up to 199 bytes with its line break.
  ASSERT_TRUE(Read(Write("c3.ppm", "P6\n# " + std::string(197, 'x') + "\n2 1\n255\n" + kSixBytes)));
  EXPECT_EQ(m_b[1][0], 60);
}

TEST_F(PpmReader, TakesBytesAsTheyAreAndFillsMissingDataWithZero) {
  // Maximum value 100: no scaling, 200 stays 200.
  ASSERT_TRUE(Read(Write("m.ppm", std::string("P6\n1 1\n100\n") + "\xC8\x64\x00")));
  EXPECT_EQ(m_r[0][0], 200);
  EXPECT_EQ(m_g[0][0], 100);

  // 2 x 2 with only the first two of four pixels present.
  ASSERT_TRUE(Read(Write("h.ppm", "P6\n2 2\n255\n" + kSixBytes)));
  EXPECT_EQ(m_r[1][0], 40);
  for (int x = 0; x < 2; ++x) {
    EXPECT_EQ(m_r[x][1], 0);
    EXPECT_EQ(m_g[x][1], 0);
    EXPECT_EQ(m_b[x][1], 0);
  }
  // No data at all, not even the separator: a black picture.
  ASSERT_TRUE(Read(Write("n.ppm", "P6 3 2 255")));
  EXPECT_EQ(m_w, 3);
  EXPECT_EQ(m_b[2][1], 0);
}

TEST_F(PpmReader, ReadsRowsTopFirstIntoColumnFirstMatrices) {
  std::string data;
  for (int k = 0; k < 6; ++k) data += static_cast<char>(k);  // grey 3 x 2
  ASSERT_TRUE(Read(Write("g.pgm", "P5\n3 2\n255\n" + data)));
  EXPECT_EQ(m_w, 3);
  EXPECT_EQ(m_h, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(m_r[x][y], y * 3 + x);
      EXPECT_EQ(m_g[x][y], y * 3 + x);
      EXPECT_EQ(m_b[x][y], y * 3 + x);
    }
  EXPECT_NE(m_trace.find("3 2 6\n"), std::string::npos) << m_trace;
}

TEST_F(PpmReader, RefusesWhatItCannotInterpret) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"blank", "  \n\t \n"},
      {"ascii colour", "P3\n2 1\n255\n10 20 30 40 50 60\n"},
      {"ascii grey", "P2\n2 1\n255\n10 20\n"},
      {"ascii bitmap", "P1\n2 1\n1 0\n"},
      {"binary bitmap", "P4\n8 1\n\xff"},
      {"not netpbm", "BM\x36\x00\x00\x00"},
      {"binary junk", std::string(100, '\x01')},
      {"tag only", "P6"},
      {"joined comment", "P6\n#comment\n2 1\n255\n" + kSixBytes},
      {"comment elsewhere", "P6\n2 1\n# late\n255\n" + kSixBytes},
      {"two comments", "P6\n# one\n# two\n2 1\n255\n" + kSixBytes},
      {"comment over 199", "P6\n# " + std::string(250, 'x') + "\n2 1\n255\n" + kSixBytes},
      {"no width", "P6\nwide 1\n255\n"},
      {"no height", "P6\n2\n"},
      {"zero width", "P6\n0 1\n255\n"},
      {"zero height", "P6\n2 0\n255\n"},
      {"negative width", "P6\n-2 1\n255\n"},
      {"negative height", "P6\n2 -1\n255\n"},
      {"wide", "P6\n16001 1\n255\n"},
      {"tall", "P5\n1 16001\n255\n"},
      {"overflowing", "P6\n99999999999999999999 99999999999999999999\n255\n"},
      {"no maximum", "P6\n2 1\n"},
      {"16-bit", "P6\n2 1\n65535\n" + kSixBytes + kSixBytes},
      {"maximum 256", "P5\n2 1\n256\n\x01\x02"},
      {"maximum 0", "P6\n2 1\n0\n" + kSixBytes},
      {"endless blanks", "P6" + std::string(70000, ' ') + "2 1 255\n"},
  };
  for (const auto& c : cases) ExpectRefused(Write(std::string(c.name) + ".ppm", c.bytes), c.name);
}

TEST_F(PpmReader, AcceptsTheLargestSideWithoutData) {
  ASSERT_TRUE(Read(Write("big.pgm", "P5 16000 2 255\n")));
  EXPECT_EQ(m_w, 16000);
  EXPECT_EQ(m_r[15999][1], 0);
}

TEST_F(PpmReader, MissingFileIsReportedOnTheConsoleAndAsAnError) {
  const std::string path = (m_dir / "absent.ppm").string();
  ExpectRefused(path, "absent");
  EXPECT_EQ(m_trace, "declared\nCouldn't find " + path + "\n");
  ExpectRefused(m_dir.string(), "a folder");
}

TEST_F(PpmReader, FailedAllocationsReleaseEverything) {
  const std::string path = Write("ten.ppm", "P6\n10 10\n255\n" + std::string(300, '\x05'));
  const std::size_t saved = MatrixByteLimit();
  SetMatrixByteLimit(299);  // not even the 300 data bytes
  ExpectRefused(path, "data buffer");
  EXPECT_EQ(m_trace.find("extended"), std::string::npos) << m_trace;
  SetMatrixByteLimit(399);  // the data, but no 10 x 10 int matrix
  ExpectRefused(path, "matrices");
  EXPECT_NE(m_trace.find("opened head\nAlloc Error  !!\n"), std::string::npos) << m_trace;
  SetMatrixByteLimit(saved);
  ASSERT_TRUE(Read(path));
  EXPECT_EQ(m_b[9][9], 5);
}

}  // namespace
}  // namespace qirm
