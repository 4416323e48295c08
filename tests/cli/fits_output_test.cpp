// SPDX-License-Identifier: GPL-3.0-or-later
// `run ... -o OUT.fits` and `--base OUT.fits`: the window's data as FITS,
// read back to the same window.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"

namespace qirm::test {
namespace {

class FitsOutputCli : public CliFixture {};

// The state lines without the caption, which saving changes.
std::string StateBody(const std::string& out) {
  const std::size_t at = out.find("Caption=");
  const std::size_t end = out.find('\n', at);
  return at == std::string::npos ? "" : out.substr(end + 1);
}

// The data of a FITS file: what follows the block holding its END card.
std::string DataOf(const std::string& bytes) {
  for (std::size_t i = 0; i + 80 <= bytes.size(); i += 80) {
    if (bytes.compare(i, 3, "END") == 0) return bytes.substr((i / 2880 + 1) * 2880);
  }
  return "";
}

TEST_F(FitsOutputCli, SixteenBitWindowsReadBackToTheSameWindow) {
  std::vector<int> raw;
  for (int i = 0; i < 30 * 30; ++i) raw.push_back(1000 + (i * 37) % 900);
  Write("frame.fits", Fits16Bytes(30, 30, raw));
  const CliResult before = Run({"run", "frame.fits", "--state"});
  ASSERT_EQ(before.code, 0);
  // -o and --base both write the data; -o retitles the window as BMP does.
  const CliResult saved = Run({"run", "frame.fits", "-o", "out.fits", "--base", "base.fts", "--state"});
  ASSERT_EQ(saved.code, 0) << saved.err;
  EXPECT_NE(saved.out.find("Caption=out.fits\n"), std::string::npos);
  EXPECT_EQ(DataOf(ReadAll(m_dir / "out.fits")), DataOf(ReadAll(m_dir / "frame.fits")));
  EXPECT_EQ(ReadAll(m_dir / "base.fts").substr(2880), ReadAll(m_dir / "out.fits").substr(2880));
  const CliResult after = Run({"run", "out.fits", "--state"});
  ASSERT_EQ(after.code, 0);
  EXPECT_EQ(StateBody(after.out), StateBody(before.out));
}

TEST_F(FitsOutputCli, ColourWindowsWriteAThreePlaneCube) {
  Write("p.ppm", Ppm6Bytes(2, 1, {10, 20, 30, 40, 50, 60}));
  const CliResult r = Run({"run", "p.ppm", "-o", "p.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string bytes = ReadAll(m_dir / "p.fits");
  ASSERT_EQ(bytes.size(), 2u * 2880);
  EXPECT_EQ(bytes.substr(80, 80), Card("BITPIX  =                    8"));
  EXPECT_EQ(bytes.substr(160, 80), Card("NAXIS   =                    3"));
  EXPECT_EQ(bytes.substr(400, 80), Card("NAXIS3  =                    3"));
  // Planes red, green, blue, each row after row.
  EXPECT_EQ(DataOf(bytes).substr(0, 6), std::string("\x0a\x28\x14\x32\x1e\x3c", 6));
}

TEST_F(FitsOutputCli, FailedWritesSayWhyAndLeaveNothing) {
  std::vector<int> raw(30 * 30, 500);
  Write("frame.fits", Fits16Bytes(30, 30, raw));
  const CliResult r = Run({"run", "frame.fits", "-o", "missing/out.fits"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("missing/out.fits"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(m_dir / "missing"));
}

TEST_F(FitsOutputCli, RealFramesWriteBackTheirStoredValues) {
  const std::string data = QIRM_DATA_DIR;
  if (!std::filesystem::is_directory(data)) GTEST_SKIP() << "no " << data;
  for (const char* file : {"fixtures/kpno_m51_B_dev_pix.fits", "colour/gc_2mass_j.fits"}) {
    SCOPED_TRACE(file);
    const std::string path = data + "/" + file;
    const CliResult before = Run({"run", path, "--state"});
    const CliResult saved = Run({"run", path, "-o", "copy.fits"});
    ASSERT_EQ(saved.code, 0) << saved.err;
    EXPECT_EQ(DataOf(ReadAll(m_dir / "copy.fits")), DataOf(ReadAll(path)));
    const CliResult after = Run({"run", "copy.fits", "--state"});
    EXPECT_EQ(StateBody(after.out), StateBody(before.out));
  }
}

}  // namespace
}  // namespace qirm::test
