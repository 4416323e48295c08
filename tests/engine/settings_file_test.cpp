// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "core/user_dirs.h"

namespace qirm {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("qirm_settings_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_path = (m_dir / kSettingsFileName).string();
  }
  void TearDown() override { fs::remove_all(m_dir); }

  void WriteText(const std::string& text) { std::ofstream(m_path, std::ios::binary) << text; }
  std::string ReadText() const {
    std::ifstream in(m_path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path m_dir;
  std::string m_path;
};

TEST_F(SettingsFileTest, WritesTheFourLines) {
  ASSERT_TRUE(WriteSettingsFile(m_path, {120, 200, 925, 712}).ok());
  const std::string text = ReadText();
  std::istringstream lines(text);
  std::string line[4];
  for (auto& l : line) ASSERT_TRUE(std::getline(lines, l));
  EXPECT_EQ(line[0], "Quorvan");
  EXPECT_EQ(line[1], "Window 120 200 925 712");
  EXPECT_EQ(line[2], "This is the initial file for Quorvan");
  EXPECT_FALSE(line[3].empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1);
}

TEST_F(SettingsFileTest, RoundTripsNegativeAndLargeNumbers) {
  const WindowPlacement p{-56, -62, 32000, 1};
  ASSERT_TRUE(WriteSettingsFile(m_path, p).ok());
  EXPECT_EQ(ReadSettingsFile(m_path), p);
  // Overwrites an earlier file completely.
  const WindowPlacement q{1, 2, 3, 4};
  ASSERT_TRUE(WriteSettingsFile(m_path, q).ok());
  EXPECT_EQ(ReadSettingsFile(m_path), q);
}

TEST_F(SettingsFileTest, ReadsWordsAfterTheFirstLine) {
  const struct {
    const char* text;
    std::optional<WindowPlacement> expected;
  } cases[] = {
      {"Quorvan\nWindow 10 20 800 600\nThis is the initial file for Quorvan\nx\n",
       WindowPlacement{10, 20, 800, 600}},
      // Blanks, tabs and line breaks all separate words; the tag is not checked.
      {"Quorvan\n  Window\t10\n20 800   600", WindowPlacement{10, 20, 800, 600}},
      {"Quorvan\r\nWindow 10 20 800 600\r\n", WindowPlacement{10, 20, 800, 600}},
      {"a first line of several words\nWin -1 -2 3 4\n", WindowPlacement{-1, -2, 3, 4}},
      // Not four integers: nothing, never a partial placement.
      {"", std::nullopt},
      {"Quorvan\n", std::nullopt},
      {"Quorvan\nWindow 10 20 800\n", std::nullopt},
      {"Quorvan\nWindow 10 20 eight 600\n", std::nullopt},
      {"Quorvan\n10 20 800 600\n", std::nullopt},
      {"Quorvan\nWindow 10 20 800 99999999999\n", std::nullopt},
      // The first line is skipped even when it looks like the placement.
      {"Window 10 20 800 600\n", std::nullopt},
  };
  for (const auto& c : cases) {
    WriteText(c.text);
    EXPECT_EQ(ReadSettingsFile(m_path), c.expected) << c.text;
  }
}

TEST_F(SettingsFileTest, MissingFileReadsAsNothing) {
  EXPECT_EQ(ReadSettingsFile(m_path), std::nullopt);
  EXPECT_EQ(ReadSettingsFile(m_dir.string()), std::nullopt);  // a folder
}

TEST_F(SettingsFileTest, FailedWriteReportsAndKeepsTheOldFile) {
  ASSERT_TRUE(WriteSettingsFile(m_path, {10, 20, 800, 600}).ok());
  const std::string good = ReadText();
  // Block the temporary file with a folder of its name: the write fails even
  // for root, which ignores permission bits.
  const fs::path blocker = m_path + "." + std::to_string(::getpid()) + ".tmp";
  fs::create_directory(blocker);
  const Status status = WriteSettingsFile(m_path, {1, 2, 3, 4});
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find(".tmp"), std::string::npos) << status.message();
  EXPECT_EQ(ReadText(), good);
}

TEST_F(SettingsFileTest, FailedWriteInAVanishedFolder) {
  const fs::path gone = m_dir / "gone";
  fs::create_directory(gone);
  fs::remove(gone);
  const Status status = WriteSettingsFile((gone / kSettingsFileName).string(), {1, 2, 3, 4});
  EXPECT_FALSE(status.ok());
  EXPECT_FALSE(status.message().empty());
}

// Sets an environment variable for one scope (unset: nullptr) and puts the
// old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_old)
      ::setenv(m_name, m_old->c_str(), 1);
    else
      ::unsetenv(m_name);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

TEST(UserDirs, FollowTheXdgVariablesElseTheHomeFolder) {
  struct Case {
    const char* config;  // XDG_CONFIG_HOME (nullptr: unset)
    const char* cache;   // XDG_CACHE_HOME
    const char* home;
    std::string config_dir;
    std::string cache_dir;
  };
  const Case cases[] = {
      {"/x/conf", "/x/cache", "/home/u", "/x/conf/QIRM", "/x/cache/QIRM"},
      {nullptr, nullptr, "/home/u", "/home/u/.config/QIRM", "/home/u/.cache/QIRM"},
      // Empty and relative values are to be ignored.
      {"", "", "/home/u", "/home/u/.config/QIRM", "/home/u/.cache/QIRM"},
      {"conf", "./cache", "/home/u", "/home/u/.config/QIRM", "/home/u/.cache/QIRM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config_dir + " " + c.cache_dir);
    ScopedEnv config("XDG_CONFIG_HOME", c.config);
    ScopedEnv cache("XDG_CACHE_HOME", c.cache);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(UserConfigDir(), c.config_dir);
    EXPECT_EQ(UserCacheDir(), c.cache_dir);
    EXPECT_EQ(SettingsFilePath(), c.config_dir + "/QIRM.ini");
    EXPECT_EQ(TraceFilePath(), c.cache_dir + "/test.dat");
  }
}

// The program's own load and save: the configuration folder is made on the
// first save; an old file in the current folder is read only while the
// configuration folder has none.
TEST_F(SettingsFileTest, LoadAndSaveUseTheConfigurationFolder) {
  const fs::path config = m_dir / "xdg" / "config";
  ScopedEnv xdg("XDG_CONFIG_HOME", config.c_str());
  const fs::path previous = fs::current_path();
  fs::current_path(m_dir);
  EXPECT_EQ(LoadSettings(), std::nullopt);

  WriteText("Quorvan\nWindow 1 2 300 400\n");  // the old file in the current folder
  EXPECT_EQ(LoadSettings(), (WindowPlacement{1, 2, 300, 400}));

  ASSERT_TRUE(SaveSettings({5, 6, 700, 800}).ok());
  EXPECT_TRUE(fs::exists(config / "QIRM" / "QIRM.ini"));
  EXPECT_EQ((fs::status(config / "QIRM").permissions() & fs::perms::all), fs::perms::owner_all);
  EXPECT_EQ(LoadSettings(), (WindowPlacement{5, 6, 700, 800}));
  EXPECT_EQ(ReadText(), "Quorvan\nWindow 1 2 300 400\n");  // the old one untouched

  // A damaged file in the configuration folder is not replaced by the old one.
  std::ofstream(config / "QIRM" / "QIRM.ini") << "Quorvan\nWindow x\n";
  EXPECT_EQ(LoadSettings(), std::nullopt);
  fs::current_path(previous);

  // No folder can be made under a file: an error, nothing written.
  std::ofstream(m_dir / "blocker") << "x";
  ScopedEnv blocked("XDG_CONFIG_HOME", (m_dir / "blocker").c_str());
  const Status status = SaveSettings({1, 2, 3, 4});
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("blocker"), std::string::npos) << status.message();
}

}  // namespace
}  // namespace qirm
