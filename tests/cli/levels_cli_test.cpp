// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli run levels=MIN,MAX and the levels panel's presets: the state the
// levels leave, the picture drawn through them and the refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/save_image.h"
#include "core/bmp_file.h"
#include "display/level_presets.h"
#include "display/levels.h"
#include "tests/support/cli_run.h"
#include "tests/support/matrices.h"
#include "tests/support/test_files.h"

namespace qirm {
namespace {

using test::CliResult;

constexpr int kW = 40, kH = 30;

// Raw value of pixel (x, y) of the test frame: a ramp 1000..2169 with one
// hot pixel.
int FrameValue(int x, int y) { return x == 5 && y == 7 ? 60000 : 1000 + x + 39 * y; }

class LevelsCliTest : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    std::vector<int> raw;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) raw.push_back(FrameValue(x, y));
    Write("frame.fits", test::Fits16Bytes(kW, kH, raw));
    Write("pic.ppm", test::Ppm6Bytes(2, 2, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}));
  }

  CliResult RunState(const std::string& file, const std::vector<std::string>& commands) {
    std::vector<std::string> args{"run", file};
    args.insert(args.end(), commands.begin(), commands.end());
    for (const char* a : {"-o", "shown.bmp", "--state"}) args.push_back(a);
    return Run(args);
  }

  Picture Shown() {
    Picture p;
    EXPECT_TRUE(ReadBmpFile((m_dir / "shown.bmp").string(), p).ok());
    return p;
  }

  // The picture the frame shows under levels min..max.
  static Picture Expected(int min, int max) {
    IntMatrix m = test::Filled(kW, kH, 0);
    for (int x = 0; x < kW; ++x)
      for (int y = 0; y < kH; ++y) m[x][y] = FrameValue(x, y);
    return RenderRawLevels(m, kW, kH, max, min);
  }
};

bool SamePixels(const Picture& a, const Picture& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (int y = 0; y < a.height(); ++y)
    if (!std::equal(a.Row(y), a.Row(y) + a.stride(), b.Row(y))) return false;
  return true;
}

TEST_F(LevelsCliTest, TypedLevelsSetBothEditsAndDrawTheFrame) {
  const CliResult r = RunState("frame.fits", {"levels=1200,1600"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\nMAX=1600\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nMIN=1200\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nEdit2=1600\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nEdit3=1200\n"), std::string::npos) << r.out;
  EXPECT_TRUE(SamePixels(Shown(), Expected(1200, 1600)));
}

TEST_F(LevelsCliTest, PresetsGiveTheirLevels) {
  struct Case {
    const char* preset;
    int min, max;
  } cases[] = {
      {"minmax", 1000, 60000},
      // 1200 values: 99 % leaves 6 on each side, 99.5 % leaves 3.
      {"99", 1006, 1000 + 39 * 29 + 39 - 6 + 1},
      {"99.5", 1003, 1000 + 39 * 29 + 39 - 3 + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.preset);
    const CliResult r = RunState("frame.fits", {std::string("levels=") + c.preset});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\nMAX=" + std::to_string(c.max) + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nMIN=" + std::to_string(c.min) + "\n"), std::string::npos) << r.out;
    EXPECT_TRUE(SamePixels(Shown(), Expected(c.min, c.max)));
  }
  // auto after another preset comes back to the levels the frame opened with.
  const CliResult opened = RunState("frame.fits", {});
  const CliResult back = RunState("frame.fits", {"levels=minmax", "levels=auto"});
  ASSERT_EQ(back.code, 0) << back.err;
  EXPECT_EQ(back.out, opened.out);
  // zscale rejects the hot pixel: the range spreads the ramp at contrast
  // 0.25 (four times its span about the median) and stops far below 60000.
  const CliResult z = RunState("frame.fits", {"levels=zscale"});
  ASSERT_EQ(z.code, 0) << z.err;
  const auto max_at = z.out.find("\nMAX=");
  ASSERT_NE(max_at, std::string::npos);
  const int zmax = std::stoi(z.out.substr(max_at + 5));
  EXPECT_GT(zmax, 2169);
  EXPECT_LT(zmax, 6000);
  EXPECT_NE(z.out.find("\nMIN=1"), std::string::npos) << z.out;
}

TEST_F(LevelsCliTest, ColourWindowsTakeLevelsOnTheirChannels) {
  Picture pic(2, 1);
  const std::uint8_t bytes[6] = {50, 100, 150, 200, 250, 0};
  std::copy(bytes, bytes + 6, pic.Row(0));
  ASSERT_TRUE(WritePictureFile((m_dir / "pic.bmp").string(), pic, PictureFormat::kBmp).ok());
  const CliResult r = RunState("pic.bmp", {"levels=50,150"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\nMAX=150\n"), std::string::npos) << r.out;
  const Picture shown = Shown();
  const auto table = LevelTable(150, 50);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(shown.Row(0)[i], table[bytes[i]]) << i;
  const CliResult mm = RunState("pic.bmp", {"levels=minmax"});
  EXPECT_NE(mm.out.find("\nMAX=250\n"), std::string::npos) << mm.out;
  EXPECT_NE(mm.out.find("\nMIN=0\n"), std::string::npos) << mm.out;
}

TEST_F(LevelsCliTest, WrongValuesAndKindsFailWithoutChangingTheWindow) {
  struct Case {
    const char* file;
    const char* command;
    const char* message;
  } cases[] = {
      {"frame.fits", "levels=1200", "levels=MIN,MAX"},
      {"frame.fits", "levels=1,2,3", "levels=MIN,MAX"},
      {"frame.fits", "levels=median", "levels=MIN,MAX"},
      {"frame.fits", "levels=abc,1600", "abc"},
      {"frame.fits", "levels=1600,1200", "最小値"},
      {"pic.ppm", "levels=zscale", "Netpbm"},
      {"pic.ppm", "levels=0,100", "Netpbm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const CliResult r = Run({"run", c.file, c.command, "--state"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

TEST_F(LevelsCliTest, ScaledFramesTakeAndShowPhysicalLevels) {
  const std::filesystem::path frame =
      std::filesystem::path(QIRM_DATA_DIR) / "fixtures/kpno_m51_B_dev_pix.fits";
  if (!std::filesystem::exists(frame)) GTEST_SKIP() << "no " << frame;
  // Signed values without BZERO: physical = raw - 32768.
  const CliResult r = RunState(frame.string(), {"levels=100,200"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\nMAX=200\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nMIN=100\n"), std::string::npos) << r.out;
  const CliResult mm = RunState(frame.string(), {"levels=minmax", "levels=auto"});
  const CliResult opened = RunState(frame.string(), {});
  EXPECT_EQ(mm.out, opened.out);
}

}  // namespace
}  // namespace qirm
