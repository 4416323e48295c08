// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end tests of qirm-cli: the real binary, real files, its exact output.
#include <filesystem>
#include <string>
#include <vector>

#include "app/program_info.h"
#include "tests/support/cli_run.h"
#include "tests/support/codec_readers.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;
using CliTest = qirm::test::CliFixture;
using Result = qirm::test::CliResult;
using qirm::test::Fits16Bytes;
using qirm::test::ReadAll;

TEST_F(CliTest, HelpAndUsage) {
  Result help = Run({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("qirm-cli run FILE..."), std::string::npos);
  EXPECT_EQ(Run({"run", "--help"}).code, 0);
  Result none = Run({});
  EXPECT_EQ(none.code, 2);
  EXPECT_NE(none.err.find("usage:"), std::string::npos);
  EXPECT_EQ(Run({"frobnicate"}).code, 2);
  EXPECT_EQ(Run({"run"}).code, 2);
  EXPECT_EQ(Run({"run", "x.fits", "--type", "gif"}).code, 2);
}

TEST_F(CliTest, VersionNamesTheReleaseTheLicenceAndTheLibraries) {
  Result r = Run({"--version"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "qirm-cli " + qirm::ProgramVersionText());
  EXPECT_NE(r.out.find("GPL-3.0-or-later"), std::string::npos);
  for (const qirm::LibraryVersion& library : qirm::LibraryVersions()) {
    EXPECT_FALSE(library.version.empty()) << library.name;
    EXPECT_NE(r.out.find("  " + library.name + " " + library.version + "\n"), std::string::npos) << r.out;
  }
  EXPECT_NE(Run({"--help"}).out.find("qirm-cli --version"), std::string::npos);
  EXPECT_EQ(Run({"--version", "x"}).code, 2);
}

TEST_F(CliTest, FitsStateShowsTheInitialLevels) {
  // Samples of a 30 x 30 frame: x, y in {10, 14, 18}; one of them 1000.
  std::vector<int> raw(30 * 30, 1500);
  raw[10 * 30 + 10] = 1000;
  Write("frame.fits", Fits16Bytes(30, 30, raw));
  Result r = Run({"run", "frame.fits", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "Caption=frame.fits\nFilterI=2\nDemX=30\nDemY=30\nColN=1\nZomN=1.00\nUndoFlg=0\n"
            "Contrast=1.0\nAverage=1444.44444444444\nMinimum=1000\nMAX=1888\nMIN=1000\n"
            "Edit1=100.0%\nEdit2=1888\nEdit3=1000\n");
  // The reader's trace goes to the cache folder, never the current one.
  EXPECT_TRUE(fs::exists(m_dir / "cache" / "QIRM" / "test.dat"));
  EXPECT_FALSE(fs::exists(m_dir / "test.dat"));
}

TEST_F(CliTest, StateDescribesTheLastWindowOpened) {
  std::vector<int> dark(30 * 30, 100);
  Write("a.fts", Fits16Bytes(30, 30, dark));
  std::string ppm = "P6\n2 1\n255\n";
  ppm += std::string("\x0a\x14\x1e\x28\x32\x3c", 6);
  Write("b.ppm", ppm);
  Result r = Run({"run", "a.fts", "b.ppm", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string state = r.out.substr(r.out.find("Caption="));
  EXPECT_EQ(state,
            "Caption=Child\nFilterI=3\nDemX=2\nDemY=1\nColN=1\nZomN=1.00\nUndoFlg=0\n"
            "Contrast=1.0\nAverage= \nMinimum=\nMAX=255\nMIN=0\n"
            "Edit1=100.0%\nEdit2=255\nEdit3=0\n");
  // The reader's console traces come first, on standard output.
  EXPECT_EQ(r.out.find("declared\n"), 0u);
}

TEST_F(CliTest, TypeOptionOverridesTheExtension) {
  std::vector<int> flat(30 * 30, 700);
  Write("frame.dat", Fits16Bytes(30, 30, flat));
  EXPECT_EQ(Run({"run", "frame.dat", "--state"}).code, 1);
  Result r = Run({"run", "frame.dat", "--type", "fits", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  // A flat frame: a level window of width zero is shown, not a failure.
  EXPECT_NE(r.out.find("MAX=700\nMIN=700\n"), std::string::npos);
}

TEST_F(CliTest, UnreadableFilesFailWithOneLine) {
  Write("empty.fits", "");
  Write("garbage.ppm", "P6\nxx\n");
  for (const char* name : {"missing.fits", "empty.fits", "garbage.ppm", "missing.ppm"}) {
    Result r = Run({"run", name, "--state"});
    EXPECT_EQ(r.code, 1) << name;
    ASSERT_FALSE(r.err.empty()) << name;
    EXPECT_EQ(r.err.rfind("qirm-cli: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_EQ(r.out.find("Caption="), std::string::npos) << name;
  }
  // The reader's console text stays on standard output.
  EXPECT_NE(Run({"run", "missing.fits"}).out.find("file open error    missing.fits\n"), std::string::npos);
}

TEST_F(CliTest, LevelAndZoomCommandsRunLeftToRight) {
  std::vector<int> raw(30 * 30, 1500);
  raw[10 * 30 + 10] = 1000;  // levels 1000..1888
  Write("frame.fits", Fits16Bytes(30, 30, raw));
  Result r =
      Run({"run", "frame.fits", "contrast-up", "zoom-in", "zoom-in", "zoom-out", "min=900", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  // trunc((1888 - 1000) * 0.8 + 1000) = 1710; typing a minimum stores it
  // without drawing.
  EXPECT_NE(r.out.find("ZomN=2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("MAX=1710\nMIN=900\nEdit1=200.0%\nEdit2=1710\nEdit3=900\n"), std::string::npos)
      << r.out;

  Result bad = Run({"run", "frame.fits", "max=abc"});
  EXPECT_EQ(bad.code, 1);
  EXPECT_EQ(bad.err, "qirm-cli: 'abc' is not a valid integer value\n");
  EXPECT_EQ(Run({"run", "frame.fits", "zoom-in", "sharpen"}).code, 2);
}

TEST_F(CliTest, MeasurePrintsReadoutWidthAndExtremes) {
  std::vector<int> raw(40 * 40, 1000);
  for (int x = 19; x <= 21; ++x)
    for (int y = 19; y <= 21; ++y) raw[y * 40 + x] = 5000;
  Write("star.fits", Fits16Bytes(40, 40, raw));
  Result r = Run({"measure", "star.fits", "40", "40", "--zoom", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  // The position printed is the image pixel read, not the cursor's.
  EXPECT_EQ(r.out, "Intensity = 5000   (20,20)\nQIRM = 3.4 pxls\nMAX = 5000 , MIN = 1000\n");
  struct Case {
    const char* zoom;
    const char* X;
    const char* Y;
  };
  for (const Case& c : {Case{"0.25", "5", "5"}, Case{"1", "20", "20"}, Case{"4", "83", "81"}}) {
    SCOPED_TRACE(c.zoom);
    Result z = Run({"measure", "star.fits", c.X, c.Y, "--zoom", c.zoom});
    ASSERT_EQ(z.code, 0) << z.err;
    EXPECT_EQ(z.out, "Intensity = 5000   (20,20)\nQIRM = 3.4 pxls\nMAX = 5000 , MIN = 1000\n");
  }
  Result right = Run({"measure", "star.fits", "20", "20", "--button", "right"});
  ASSERT_EQ(right.code, 0) << right.err;
  EXPECT_EQ(right.out, "Intensity = 5000   (20,20)\nQIRM = 0.0 pxls\nMAX = 0 , MIN = 100000\n");
  EXPECT_EQ(Run({"measure", "star.fits", "400", "20"}).code, 1);
  EXPECT_EQ(Run({"measure", "star.fits", "20"}).code, 2);
}

TEST_F(CliTest, SavesShownBaseAndEveryWindow) {
  std::vector<int> raw(30 * 30, 1500);
  raw[10 * 30 + 10] = 1000;
  Write("frame.fits", Fits16Bytes(30, 30, raw));
  std::string ppm = "P6\n2 1\n255\n";
  ppm += std::string("\x0a\x14\x1e\x28\x32\x3c", 6);
  Write("pic.ppm", ppm);
  fs::create_directory(m_dir / "all");
  Result r = Run({"run", "frame.fits", "pic.ppm", "-o", "shown.bmp", "--base", "base.png", "--save-all",
                  "all", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  // Saving the shown picture as BMP retitles the window.
  EXPECT_NE(r.out.find("Caption=shown.bmp\n"), std::string::npos);
  const std::string bmp = ReadAll(m_dir / "shown.bmp");
  ASSERT_GT(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  // Bottom-up rows: the first pixel stored is the bottom-left one, (10, 20, 30).
  EXPECT_EQ(bmp.substr(54, 3), std::string("\x1e\x14\x0a", 3));
  EXPECT_EQ(ReadAll(m_dir / "base.png").substr(1, 3), "PNG");
  EXPECT_TRUE(fs::exists(m_dir / "all" / "01-frame.fits.bmp"));
  EXPECT_TRUE(fs::exists(m_dir / "all" / "02-shown.bmp.bmp"));
}

TEST_F(CliTest, SavesTheShownPictureAsTiff) {
  std::string ppm = "P6\n2 1\n255\n";
  ppm += std::string("\x0a\x14\x1e\x28\x32\xff", 6);
  Write("pic.ppm", ppm);
  ASSERT_EQ(Run({"run", "pic.ppm", "-o", "shown.tif"}).code, 0);
  int depth = 0;
  const qirm::Rgb16Picture tiff = qirm::test::ReadTiffRgb((m_dir / "shown.tif").string(), depth);
  EXPECT_EQ(depth, 8);
  EXPECT_EQ(tiff.samples, (std::vector<std::uint16_t>{10, 20, 30, 40, 50, 255}));
  Result wrong = Run({"run", "pic.ppm", "-o", "shown.gif"});
  EXPECT_EQ(wrong.code, 1);
  EXPECT_NE(wrong.err.find(".tif"), std::string::npos) << wrong.err;
}

TEST_F(CliTest, AFailedSaveLeavesNothingAtTheTarget) {
  std::vector<int> raw(30 * 30, 1500);
  Write("frame.fits", Fits16Bytes(30, 30, raw));
  Write("old.bmp", "previous contents");
  Result bad_format = Run({"run", "frame.fits", "-o", "x.gif"});
  EXPECT_EQ(bad_format.code, 1);
  EXPECT_FALSE(fs::exists(m_dir / "x.gif"));
  Result no_folder = Run({"run", "frame.fits", "-o", "missing/x.bmp"});
  EXPECT_EQ(no_folder.code, 1);
  EXPECT_EQ(no_folder.err.rfind("qirm-cli: ", 0), 0u);
  // A command that fails stops the run before anything is written.
  Result refused = Run({"run", "frame.fits", "max=x", "-o", "old.bmp"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(ReadAll(m_dir / "old.bmp"), "previous contents");
}

TEST_F(CliTest, RealFrame) {
  const fs::path frame = fs::path(QIRM_DATA_DIR) / "fixtures" / "kpno_m51_B_dev_pix.fits";
  if (!fs::exists(frame)) GTEST_SKIP() << "no shared data";
  Result r = Run({"run", frame.string(), "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Caption=kpno_m51_B_dev_pix.fits\nFilterI=2\nDemX=512\nDemY=512\n"), std::string::npos)
      << r.out;
}

}  // namespace
