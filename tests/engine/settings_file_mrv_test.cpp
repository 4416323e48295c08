// SPDX-License-Identifier: GPL-3.0-or-later
// The composition settings file: the exact bytes written, reading back, the
// rules for values the dialog ignores, and every way a file can be broken.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tricolour/settings_file.h"

namespace qirm {
namespace {

namespace fs = std::filesystem;

// Every field, so that a test sees any field that went astray.
std::string Dump(const CompositionSettings& s) {
  std::ostringstream o;
  auto list = [&](const char* name, const std::vector<std::string>& v) {
    o << name << '[';
    for (const std::string& p : v) o << '<' << p << '>';
    o << "]\n";
  };
  list("R", s.RedFiles);
  list("G", s.GreenFiles);
  list("B", s.BlueFiles);
  list("D", s.DarkFiles);
  list("F", s.FlatFiles);
  o.precision(17);
  o << s.StarMode << ' ' << s.Star1X << ' ' << s.Star1Y << ' ' << s.Star2X << ' ' << s.Star2Y << ' '
    << s.Delta1 << ' ' << s.Delta2 << ' ' << s.DetectMethod << ' ' << s.BackgroundX << ' ' << s.BackgroundY
    << ' ' << s.BackgroundLevel << ' ' << s.WhiteR << ' ' << s.WhiteG << ' ' << s.WhiteB << ' ' << s.WhiteK
    << '\n';
  const AdvancedFlags& a = s.Advanced;
  o << a.AntiBloomingOn << ' ' << a.BloomThreshold << ' ' << a.BloomThickness << ' ' << a.BloomLength << ' '
    << a.Rotate180R << a.Rotate180G << a.Rotate180B << ' ' << a.FlattenR << a.FlattenG << a.FlattenB;
  return o.str();
}

// A settings value with every field away from its default.
CompositionSettings Sample() {
  CompositionSettings s;
  s.RedFiles = {"/data/m 42/red 1.fits", "/data/m 42/red 2.fits"};
  s.GreenFiles = {"  leading and trailing blanks  "};
  s.BlueFiles = {"/data/青/b.fts"};
  s.DarkFiles = {"d1.fit", "d2.fit", "d3.fit"};
  s.FlatFiles = {};
  s.StarMode = 2;
  s.Star1X = 101;
  s.Star1Y = 202;
  s.Star2X = 303;
  s.Star2Y = 404;
  s.Delta1 = 7;
  s.Delta2 = 8;
  s.DetectMethod = 0;
  s.BackgroundX = 50;
  s.BackgroundY = 60;
  s.BackgroundLevel = 12;
  s.WhiteR = 1.0;
  s.WhiteG = 1.25;
  s.WhiteB = 0.8;
  s.WhiteK = 2.0;
  s.Advanced.AntiBloomingOn = true;
  s.Advanced.BloomThreshold = 61000;
  s.Advanced.BloomThickness = 3;
  s.Advanced.BloomLength = 6;
  s.Advanced.Rotate180R = true;
  s.Advanced.FlattenB = true;
  return s;
}

class MrvFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("qirm-mrv-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(m_dir, fs::perms::owner_all, ec);
    fs::remove_all(m_dir, ec);
  }
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  fs::path m_dir;
};

TEST_F(MrvFileTest, SavedBytesAreExact) {
  ASSERT_TRUE(SaveCompositionSettings(Path("a.mrv"), Sample()));
  const std::string expected =
      "MERAVI-2 File Data of RGB composite\r\n"
      "2 Red File(s)\r\n"
      "/data/m 42/red 1.fits\r\n"
      "/data/m 42/red 2.fits\r\n"
      "1 Green File(s)\r\n"
      "  leading and trailing blanks  \r\n"
      "1 Blue File(s)\r\n"
      "/data/青/b.fts\r\n"
      "3 Dark File(s)\r\n"
      "d1.fit\r\nd2.fit\r\nd3.fit\r\n"
      "0 Flat File(s)\r\n"
      "Star(s) 2\r\n"
      "Position\r\n"
      "101 303 7\r\n"
      "202 404 8\r\n"
      "Detect 0\r\n"
      "BackGroung\r\n"
      "50 60 12\r\n"
      "WhiteBalance\r\n"
      "1 1.25 0.8 2\r\n"
      "Anti-Blooming\r\n"
      "1 61000 3 6\r\n"
      "Rotation\r\n"
      "1 0 0\r\n"
      "BackGroundSlope\r\n"
      "0 0 1\r\n";
  EXPECT_EQ(Read(Path("a.mrv")), expected);
}

TEST_F(MrvFileTest, DefaultsWithEmptyListsAndRealsInSixDigits) {
  CompositionSettings s;
  s.WhiteR = 0.05;
  s.WhiteG = 1.5;
  s.WhiteB = 1234567.0;
  s.WhiteK = 1.0 / 3.0;
  EXPECT_EQ(CompositionSettingsText(s),
            "MERAVI-2 File Data of RGB composite\r\n"
            "0 Red File(s)\r\n0 Green File(s)\r\n0 Blue File(s)\r\n0 Dark File(s)\r\n0 Flat File(s)\r\n"
            "Star(s) 0\r\nPosition\r\n0 0 10\r\n0 0 10\r\nDetect 1\r\nBackGroung\r\n0 0 10\r\n"
            "WhiteBalance\r\n0.05 1.5 1.23457e+06 0.333333\r\n"
            "Anti-Blooming\r\n0 60000 2 5\r\nRotation\r\n0 0 0\r\nBackGroundSlope\r\n0 0 0\r\n");
}

TEST_F(MrvFileTest, RoundTripKeepsEveryField) {
  const CompositionSettings saved = Sample();
  const std::string path = Path("with blank/set 1.mrv");
  fs::create_directories(m_dir / "with blank");
  ASSERT_TRUE(SaveCompositionSettings(path, saved));
  CompositionSettings loaded;
  const Status s = LoadCompositionSettings(path, loaded);
  ASSERT_TRUE(s) << s.message();
  EXPECT_EQ(Dump(loaded), Dump(saved));
}

TEST_F(MrvFileTest, SavingReplacesAnOldFileAndRefusesWhatCannotBeReadBack) {
  const std::string path = Path("keep.mrv");
  Write(path, "old contents");

  CompositionSettings broken = Sample();
  broken.DarkFiles.push_back("two\nlines.fit");
  Status s = SaveCompositionSettings(path, broken);
  EXPECT_FALSE(s);
  EXPECT_NE(s.message().find("line break"), std::string::npos) << s.message();
  EXPECT_EQ(Read(path), "old contents");

  broken = Sample();
  broken.WhiteK = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(SaveCompositionSettings(path, broken));
  EXPECT_EQ(Read(path), "old contents");

  ASSERT_TRUE(SaveCompositionSettings(path, Sample()));
  EXPECT_EQ(Read(path), CompositionSettingsText(Sample()));

  EXPECT_FALSE(SaveCompositionSettings(Path("no such folder/x.mrv"), Sample()));
}

// Values the dialog has no control state for leave the field as it was;
// the lists and numbers are always replaced.
TEST_F(MrvFileTest, ValuesOutsideTheChoicesLeaveTheFieldsAlone) {
  std::string text = CompositionSettingsText(CompositionSettings{});
  auto replace = [&](const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  };
  replace("Star(s) 0", "Star(s) 7");
  replace("Detect 1", "Detect -1");
  replace("Anti-Blooming\r\n0 60000", "Anti-Blooming\r\n2 60000");
  replace("Rotation\r\n0 0 0", "Rotation\r\n1 5 0");
  replace("BackGroundSlope\r\n0 0 0", "BackGroundSlope\r\n0 1 -3");

  CompositionSettings s = Sample();  // mode 2, method 0, blooming on, R turn, B flatten
  s.Advanced.Rotate180G = true;
  ASSERT_TRUE(ParseCompositionSettings(text, "t.mrv", s));
  EXPECT_EQ(s.StarMode, 2);
  EXPECT_EQ(s.DetectMethod, 0);
  EXPECT_TRUE(s.Advanced.AntiBloomingOn);
  EXPECT_TRUE(s.Advanced.Rotate180R);   // 1
  EXPECT_TRUE(s.Advanced.Rotate180G);   // 5: unchanged
  EXPECT_FALSE(s.Advanced.Rotate180B);  // 0
  EXPECT_FALSE(s.Advanced.FlattenR);
  EXPECT_TRUE(s.Advanced.FlattenG);
  EXPECT_TRUE(s.Advanced.FlattenB);  // -3: unchanged
  EXPECT_TRUE(s.RedFiles.empty());   // lists replaced
  EXPECT_EQ(s.Star1X, 0);
  EXPECT_EQ(s.Advanced.BloomThreshold, 60000);
}

// Files written by hand: LF line ends, numbers spread over lines, extra
// words after a label, no line end after the last value.
TEST_F(MrvFileTest, ReadsWordsAcrossLinesAndPathsAsWholeLines) {
  const std::string text =
      "MERAVI-2 File Data\nof RGB composite\n"
      "1 Red File(s) written by hand\n"
      " r 1.fit \n"
      "1 Green File(s)\r\n"
      "\n"  // an empty path line
      "0 Blue File(s)\n0 Dark File(s)\n0 Flat File(s)\n"
      "Star(s)\n1\nPosition 1 2 3\n4 5 6\nDetect 2 BackGroung 7 8 9\n"
      "WhiteBalance 1 2.5 .5 1e1\nAnti-Blooming 0 1 2 3 Rotation 0 1 0 BackGroundSlope 1 1 0";
  CompositionSettings s;
  const Status status = ParseCompositionSettings(text, "hand.mrv", s);
  ASSERT_TRUE(status) << status.message();
  EXPECT_EQ(s.RedFiles, std::vector<std::string>{" r 1.fit "});
  EXPECT_EQ(s.GreenFiles, std::vector<std::string>{""});
  EXPECT_EQ(s.StarMode, 1);
  EXPECT_EQ(s.Star1X, 1);
  EXPECT_EQ(s.Star2X, 2);
  EXPECT_EQ(s.Delta1, 3);
  EXPECT_EQ(s.Star1Y, 4);
  EXPECT_EQ(s.Star2Y, 5);
  EXPECT_EQ(s.Delta2, 6);
  EXPECT_EQ(s.DetectMethod, 2);
  EXPECT_EQ(s.BackgroundLevel, 9);
  EXPECT_EQ(s.WhiteB, 0.5);
  EXPECT_EQ(s.WhiteK, 10.0);
  EXPECT_EQ(s.Advanced.BloomLength, 3);
  EXPECT_TRUE(s.Advanced.Rotate180G);
  EXPECT_TRUE(s.Advanced.FlattenG);
  EXPECT_FALSE(s.Advanced.FlattenB);
}

// Every broken file gives a message that says what is wrong and leaves the
// settings exactly as they were.
TEST_F(MrvFileTest, BrokenFilesChangeNothing) {
  const std::string good = CompositionSettingsText(Sample());
  auto cut = [&](const std::string& marker) { return good.substr(0, good.find(marker)); };
  auto swap = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  const struct {
    const char* name;
    std::string text;
    const char* message;
  } cases[] = {
      {"empty", "", "ends before the end of the header line"},
      {"header only", "MERAVI-2 File Data of RGB composite\r\n", "ends before count of red files"},
      {"count not a number", swap("2 Red", "two Red"),
       "line 2: 'two' is not a valid integer value (count of red files)"},
      {"negative count", swap("3 Dark", "-3 Dark"), "line 9: the count of dark files is negative (-3)"},
      {"count without label", swap("1 Blue File(s)", "1"),
       "line 7: the count of blue files is not followed by \"Blue File(s)\""},
      {"fewer paths than counted", cut("d3.fit"), "the file ends after 2 of 3 dark files"},
      {"cut after the lists", cut("Star(s)"), "ends before the star mode"},
      {"mode not a number", swap("Star(s) 2", "Star(s) two"),
       "'two' is not a valid integer value (star mode)"},
      {"position missing", swap("202 404 8", "202 404"),
       "'Detect' is not a valid integer value (box size of star 2)"},
      {"position with a fraction", swap("101 303 7", "101.5 303 7"),
       "line 16: '101.5' is not a valid integer value (star 1 X)"},
      {"white not a number", swap("1 1.25 0.8 2", "1 1,25 0.8 2"),
       "'1,25' is not a valid floating point value (white balance G)"},
      {"white infinite", swap("1 1.25 0.8 2", "1 1.25 inf 2"),
       "'inf' is not a valid floating point value (white balance B)"},
      {"blooming cut", cut("1 61000"), "ends before anti-blooming on/off"},
      {"rotation cut", swap("1 0 0\r\nBackGroundSlope", "1 0 BackGroundSlope"),
       "'BackGroundSlope' is not a valid integer value (blue 180-degree turn)"},
      {"slope cut", cut("0 0 1\r\n") + "0 0", "ends before blue background correction"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CompositionSettings s;
    s.RedFiles = {"untouched.fits"};
    s.StarMode = 1;
    s.WhiteR = 1.5;
    const std::string before = Dump(s);
    const std::string path = Path("broken.mrv");
    Write(path, c.text);
    const Status status = LoadCompositionSettings(path, s);
    EXPECT_FALSE(status);
    EXPECT_NE(status.message().find(c.message), std::string::npos) << status.message();
    EXPECT_NE(status.message().find(path), std::string::npos) << status.message();
    EXPECT_EQ(Dump(s), before);
  }
}

TEST_F(MrvFileTest, FilesThatCannotBeReadAreNamed) {
  CompositionSettings s = Sample();
  const std::string before = Dump(s);
  Status status = LoadCompositionSettings(Path("missing.mrv"), s);
  EXPECT_FALSE(status);
  EXPECT_NE(status.message().find("cannot open " + Path("missing.mrv")), std::string::npos)
      << status.message();

  fs::create_directories(m_dir / "folder.mrv");
  status = LoadCompositionSettings(Path("folder.mrv"), s);
  EXPECT_FALSE(status);
  EXPECT_NE(status.message().find("folder"), std::string::npos) << status.message();
  EXPECT_EQ(Dump(s), before);
}

}  // namespace
}  // namespace qirm
