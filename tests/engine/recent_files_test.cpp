// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recent_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qirm {
namespace {

namespace fs = std::filesystem;

TEST(RecentFiles, NewestFirstWithoutDuplicatesAndTenAtMost) {
  std::vector<std::string> list;
  for (int i = 0; i < 12; ++i) AddRecentFile(list, "/d/f" + std::to_string(i) + ".fits");
  ASSERT_EQ(list.size(), kRecentFilesKept);
  EXPECT_EQ(list.front(), "/d/f11.fits");
  EXPECT_EQ(list.back(), "/d/f2.fits");
  AddRecentFile(list, "/d/f5.fits");  // opened again: to the front, once
  EXPECT_EQ(list.size(), kRecentFilesKept);
  EXPECT_EQ(list[0], "/d/f5.fits");
  EXPECT_EQ(std::count(list.begin(), list.end(), "/d/f5.fits"), 1);
  AddRecentFile(list, "");
  AddRecentFile(list, "/d/two\nlines.fits");
  EXPECT_EQ(list[0], "/d/f5.fits");
  RemoveRecentFile(list, "/d/f5.fits");
  EXPECT_EQ(list[0], "/d/f11.fits");
  EXPECT_EQ(list.size(), kRecentFilesKept - 1);
}

TEST(RecentFiles, LivesBesideTheSettingsFile) {
  EXPECT_EQ(RecentFilesPath("QIRM.ini"), "QIRM-recent.txt");
  EXPECT_EQ(RecentFilesPath("/home/u/.config/QIRM/QIRM.ini"), "/home/u/.config/QIRM/QIRM-recent.txt");
}

TEST(RecentFiles, FileRoundTripAndDamagedFiles) {
  const fs::path dir = fs::temp_directory_path() / ("qirm_recent_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / kRecentFileName).string();
  EXPECT_TRUE(ReadRecentFiles(path).empty());  // none yet

  const std::vector<std::string> list = {"/a b/M13 green.fits", "/x/日本語.bmp", "rel.pgm"};
  ASSERT_TRUE(WriteRecentFiles(path, list).ok());
  EXPECT_EQ(ReadRecentFiles(path), list);

  // Written by hand or by another system: blank lines, CR LF, repeats and
  // more than ten entries.
  std::ofstream(path, std::ios::binary) << "\n/a.fits\r\n/a.fits\n\n/b.fits\n"
                                        << "/1\n/2\n/3\n/4\n/5\n/6\n/7\n/8\n/9\n/10\n";
  const std::vector<std::string> read = ReadRecentFiles(path);
  ASSERT_EQ(read.size(), kRecentFilesKept);
  EXPECT_EQ(read[0], "/a.fits");
  EXPECT_EQ(read[1], "/b.fits");
  EXPECT_EQ(read[9], "/8");

  // A folder that cannot be written: an error, the old file whole.
  EXPECT_FALSE(WriteRecentFiles((dir / "missing" / kRecentFileName).string(), list).ok());
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qirm
