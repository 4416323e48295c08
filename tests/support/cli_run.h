// SPDX-License-Identifier: GPL-3.0-or-later
// Running the real qirm-cli binary from GoogleTest: a fixture with a fresh
// working folder per test (also the user's cache and configuration folders), Run() with the exit code and
// both output streams (RunWithMemoryLimit() under ulimit -v), and Write() / ReadAll() for the files around
// it. Tests that include it are built into cli_tests, which defines QIRM_CLI_PATH.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qirm::test {

struct CliResult {
  int code = -1;
  std::string out;
  std::string err;
};

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// One shell word, whatever it holds.
inline std::string ShellQuote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class CliFixture : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    m_dir = std::filesystem::temp_directory_path() /
            ("qirm-cli-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  // Runs qirm-cli with args in the test's folder.
  CliResult Run(const std::vector<std::string>& args) { return RunAfter("", args); }

  // Runs it with its address space limited to `kib` KiB (ulimit -v): what
  // it cannot allocate then fails as it would on a machine out of memory.
  CliResult RunWithMemoryLimit(long long kib, const std::vector<std::string>& args) {
    return RunAfter("ulimit -v " + std::to_string(kib) + " && ", args);
  }

  // Runs qirm-cli with args after the shell words `before`.
  CliResult RunAfter(const std::string& before, const std::vector<std::string>& args) {
    // The user's folders are the test's own: "cache/QIRM/test.dat", ...
    std::string command = "cd " + ShellQuote(m_dir.string()) + " && " + before +
                          "XDG_CACHE_HOME=" + ShellQuote((m_dir / "cache").string()) +
                          " XDG_CONFIG_HOME=" + ShellQuote((m_dir / "config").string()) + " " +
                          ShellQuote(QIRM_CLI_PATH);
    for (const auto& a : args) command += " " + ShellQuote(a);
    command += " >out.txt 2>err.txt";
    CliResult r;
    const int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadAll(m_dir / "out.txt");
    r.err = ReadAll(m_dir / "err.txt");
    return r;
  }

  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    std::ofstream(m_dir / name, std::ios::binary) << bytes;
    return m_dir / name;
  }

  std::filesystem::path m_dir;
};

}  // namespace qirm::test
