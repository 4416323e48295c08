// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/memory_load.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace qirm {
namespace {

namespace fs = std::filesystem;

class MemoryLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = fs::temp_directory_path() / ("qirm_meminfo_" + std::to_string(::getpid()));
  }
  void TearDown() override { fs::remove(m_path); }
  int LoadOf(const std::string& text) {
    std::ofstream(m_path) << text;
    return MemoryLoadPercent(m_path.string());
  }
  fs::path m_path;
};

TEST_F(MemoryLoadTest, PercentOfMemoryInUse) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"MemTotal:       1000 kB\nMemFree:         100 kB\nMemAvailable:    430 kB\n", 57},
      // Truncated, not rounded: 56.9 % in use.
      {"MemTotal: 1000 kB\nMemAvailable: 431 kB\n", 56},
      {"MemAvailable: 0 kB\nMemTotal: 16 kB\n", 100},
      {"MemTotal: 16 kB\nMemAvailable: 16 kB\n", 0},
      // More available than total (a racy snapshot) stays at 0.
      {"MemTotal: 16 kB\nMemAvailable: 20 kB\n", 0},
      // Large machines do not overflow: 24 GiB with 6 GiB available.
      {"MemTotal: 25165824 kB\nMemAvailable: 6291456 kB\n", 75},
      // Without MemAvailable: free + buffers + cached.
      {"MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 250 kB\n", 60},
      // Unusable files.
      {"", -1},
      {"MemAvailable: 10 kB\n", -1},
      {"MemTotal: 0 kB\nMemAvailable: 0 kB\n", -1},
      {"MemTotal: lots\nMemAvailable: 10 kB\n", -1},
      {"MemTotal: 1000 kB\nMemFree: 100 kB\n", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadOf(c.text), c.expected) << c.text;
}

TEST_F(MemoryLoadTest, MissingFile) { EXPECT_EQ(MemoryLoadPercent((m_path / "none").string()), -1); }

TEST(MemoryLoad, ThisMachine) {
  const int load = MemoryLoadPercent();
  EXPECT_GE(load, 0);
  EXPECT_LE(load, 100);
}

TEST(MemoryLoad, TextIsTheWholeNumberAndPercent) {
  EXPECT_EQ(MemoryLoadText(57), "57%");
  EXPECT_EQ(MemoryLoadText(0), "0%");
  EXPECT_EQ(MemoryLoadText(100), "100%");
}

}  // namespace
}  // namespace qirm
