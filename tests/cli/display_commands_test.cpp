// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli run with the geometry and tone commands: what is saved, the state
// fields, the kind checks and the dialogs' refusals, end to end.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/save_image.h"
#include "core/bmp_file.h"
#include "display/levels.h"
#include "display/mirror_flip.h"
#include "display/rotate.h"
#include "display/tones.h"
#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"

namespace qirm {
namespace {

using test::CliResult;

Picture RandomPicture(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < p.stride(); ++i) p.Row(y)[i] = static_cast<std::uint8_t>(byte(rng));
  return p;
}

class DisplayCliTest : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    m_picture = RandomPicture(23, 17, 7);
    ASSERT_TRUE(WritePictureFile((m_dir / "pic.bmp").string(), m_picture, PictureFormat::kBmp).ok());
    std::vector<int> raw(30 * 30, 1500);
    raw[10 * 30 + 10] = 1000;  // levels 1000..1888
    Write("frame.fits", test::Fits16Bytes(30, 30, raw));
    Write("pic.ppm", test::Ppm6Bytes(2, 2, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}));
  }

  Picture Saved(const std::string& name) {
    Picture p;
    EXPECT_TRUE(ReadBmpFile((m_dir / name).string(), p).ok()) << name;
    return p;
  }

  // Runs FILE COMMANDS -o shown.bmp --base base.bmp --state.
  CliResult RunAndSave(const std::string& file, const std::vector<std::string>& commands) {
    std::vector<std::string> args{"run", file};
    args.insert(args.end(), commands.begin(), commands.end());
    for (const char* a : {"-o", "shown.bmp", "--base", "base.bmp", "--state"}) args.push_back(a);
    return Run(args);
  }

  Picture m_picture;
};

TEST_F(DisplayCliTest, ColourCommandsGiveTheEngineResults) {
  const struct {
    std::vector<std::string> commands;
    Picture shown;
    Picture base;
    const char* undo;
  } cases[] = {
      {{"negative"}, NegativePicture(m_picture), NegativePicture(m_picture), "0"},
      {{"mirror"}, MirrorPicture(m_picture), MirrorPicture(m_picture), "0"},
      {{"flip"}, FlipPicture(m_picture), FlipPicture(m_picture), "0"},
      {{"rotate"}, RotatePicture(m_picture), RotatePicture(m_picture), "1"},
      {{"gamma=0.5"}, GammaPicture(m_picture, 0.5), m_picture, "1"},
      {{"solarize"}, SolarizePicture(m_picture), m_picture, "1"},
      {{"sabattier=128"}, SabattierPicture(m_picture, 128), m_picture, "1"},
      // Left to right; tone results start from the base each time.
      {{"mirror", "flip", "negative"},
       NegativePicture(FlipPicture(MirrorPicture(m_picture))),
       NegativePicture(FlipPicture(MirrorPicture(m_picture))),
       "0"},
      {{"solarize", "gamma=2"}, GammaPicture(m_picture, 2), m_picture, "1"},
  };
  for (const auto& c : cases) {
    std::string what;
    for (const auto& w : c.commands) what += w + " ";
    const CliResult r = RunAndSave("pic.bmp", c.commands);
    ASSERT_EQ(r.code, 0) << what << r.err;
    EXPECT_EQ(r.err, "") << what;
    EXPECT_TRUE(Saved("shown.bmp") == c.shown) << what;
    EXPECT_TRUE(Saved("base.bmp") == c.base) << what;
    EXPECT_NE(r.out.find(std::string("\nUndoFlg=") + c.undo + "\n"), std::string::npos) << what << r.out;
  }
}

TEST_F(DisplayCliTest, KindChecks) {
  // Shown picture of each file without commands, to compare with.
  const CliResult plain_fits = RunAndSave("frame.fits", {});
  ASSERT_EQ(plain_fits.code, 0) << plain_fits.err;
  const Picture fits_shown = Saved("shown.bmp");
  const CliResult plain_ppm = RunAndSave("pic.ppm", {});
  ASSERT_EQ(plain_ppm.code, 0) << plain_ppm.err;
  const Picture ppm_shown = Saved("shown.bmp");

  // A command the window's kind does not take fails with exit 1 and its
  // message, and nothing is saved.
  const struct {
    const char* file;
    const char* command;
    bool changes;
    const char* refusal;
  } cases[] = {
      {"frame.fits", "negative", true, nullptr},
      {"frame.fits", "mirror", true, nullptr},
      {"frame.fits", "flip", true, nullptr},
      {"frame.fits", "gamma=0.5", false, "ガンマ: 16ビットの画像には使えません。"},
      {"frame.fits", "solarize", false, "ソラリゼーション: 16ビットの画像には使えません。"},
      {"frame.fits", "separate", false, "RGB分解: 16ビットの画像には使えません。"},
      {"frame.fits", "sabattier=100", true, nullptr},
      {"frame.fits", "rotate", true, nullptr},
      {"pic.ppm", "negative", false, "ネガ反転: Netpbmの画像には使えません。"},
      {"pic.ppm", "mirror", false, "左右反転: Netpbmの画像には使えません。"},
      {"pic.ppm", "flip", false, "上下反転: Netpbmの画像には使えません。"},
      {"pic.ppm", "gamma=0.5", false, "ガンマ: Netpbmの画像には使えません。"},
      {"pic.ppm", "solarize", false, "ソラリゼーション: Netpbmの画像には使えません。"},
      {"pic.ppm", "sabattier=100", true, nullptr},
      {"pic.ppm", "rotate", true, nullptr},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(m_dir / "shown.bmp");
    const CliResult r = RunAndSave(c.file, {c.command});
    if (c.refusal) {
      EXPECT_EQ(r.code, 1) << c.file << " " << c.command;
      EXPECT_EQ(r.err.rfind(std::string("qirm-cli: ") + c.refusal, 0), 0u)
          << c.file << " " << c.command << ": " << r.err;
      EXPECT_FALSE(std::filesystem::exists(m_dir / "shown.bmp")) << c.file << " " << c.command;
      continue;
    }
    ASSERT_EQ(r.code, 0) << c.file << " " << c.command << ": " << r.err;
    const Picture before = std::string(c.file) == "pic.ppm" ? ppm_shown : fits_shown;
    EXPECT_EQ(!(Saved("shown.bmp") == before), c.changes) << c.file << " " << c.command;
    const bool edited = std::string(c.command) == "rotate" || std::string(c.command) == "sabattier=100";
    EXPECT_NE(r.out.find(std::string("\nUndoFlg=") + (edited ? "1" : "0") + "\n"), std::string::npos)
        << c.file << " " << c.command;
  }
}

TEST_F(DisplayCliTest, SixteenBitNegativeMirrorAndFlipWorkOnTheRawValues) {
  // frame.fits: 1500 everywhere, 1000 at (10, 10); levels 1000..1888.
  const struct {
    const char* command;
    int x, y;  // where the 1000 ends up
    int high_byte_of_1500;
  } cases[] = {
      {"negative", 10, 10, (65535 - 1500) / 256},
      {"mirror", 19, 10, 1500 / 256},
      {"flip", 10, 19, 1500 / 256},
  };
  for (const auto& c : cases) {
    const CliResult r = RunAndSave("frame.fits", {c.command});
    ASSERT_EQ(r.code, 0) << c.command << ": " << r.err;
    const Picture base = Saved("base.bmp");
    EXPECT_EQ(base.Color(3, 3), static_cast<std::uint32_t>(c.high_byte_of_1500)) << c.command;
    const Picture shown = Saved("shown.bmp");
    if (std::string(c.command) == "negative") {
      // The levels turn over with the values (63647..64535): 1500, now
      // 64035, shows as trunc(388 / (888/255)) = 111, and 1000, now 64535,
      // stands on the white level (254 for this span, as the level table
      // rounds).
      EXPECT_EQ(shown.Color(3, 3), 0x6F6F6Fu);
      EXPECT_EQ(shown.Color(10, 10), 0xFEFEFEu);
      EXPECT_NE(r.out.find("\nMAX=64535\nMIN=63647\n"), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("\nEdit2=64535\nEdit3=63647\n"), std::string::npos) << r.out;
    } else {
      EXPECT_EQ(shown.Color(c.x, c.y), 0u) << c.command;       // 1000 is the minimum level
      EXPECT_EQ(shown.Color(10, 10), 0x8F8F8Fu) << c.command;  // 1500 elsewhere
    }
  }
}

TEST_F(DisplayCliTest, SixteenBitRotationRedrawsFromBothPlanes) {
  const CliResult r = RunAndSave("frame.fits", {"rotate"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Picture shown = Saved("shown.bmp");
  // The frame and the turned-in corners are white; inside, 1500 shows as
  // trunc(500 / (888/255)) = 143 under the window's levels.
  EXPECT_EQ(shown.Color(0, 0), 0xFFFFFFu);
  EXPECT_EQ(shown.Color(29, 29), 0xFFFFFFu);
  EXPECT_EQ(shown.Color(20, 20), 0x8F8F8Fu);
  // The base of a 16-bit window is the high bytes of its raw values:
  // 1500 / 256 = 5 in red.
  EXPECT_EQ(Saved("base.bmp").Color(20, 20), 5u);
}

TEST_F(DisplayCliTest, RefusedDialogValuesFailWithTheDialogsMessage) {
  const struct {
    const char* file;
    const char* command;
    const char* message;
  } cases[] = {
      {"pic.bmp", "gamma=0", "整数を入力してください"},
      {"pic.bmp", "gamma=-1.5", "整数を入力してください"},
      // The dialog is shown before the kind is looked at.
      {"frame.fits", "gamma=0", "整数を入力してください"},
      {"pic.bmp", "gamma=abc", "'abc' is not a valid floating point value"},
      {"pic.bmp", "sabattier=0", "正の数字を入力してください"},
      {"pic.bmp", "sabattier=-128", "正の数字を入力してください"},
      {"frame.fits", "sabattier=x", "'x' is not a valid floating point value"},
  };
  for (const auto& c : cases) {
    const CliResult r = Run({"run", c.file, "negative", c.command, "-o", "out.bmp"});
    EXPECT_EQ(r.code, 1) << c.command;
    EXPECT_EQ(r.err, std::string("qirm-cli: ") + c.message + "\n") << c.command;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "out.bmp")) << c.command;
  }
  EXPECT_EQ(Run({"run", "pic.bmp", "mirror", "negative=1"}).code, 2);
}

TEST_F(DisplayCliTest, RealPictureAndFrame) {
  const std::filesystem::path data = QIRM_DATA_DIR;
  const auto bmp = data / "derived" / "DERIVED_m67_dss_1059x1059_8bit_gray.bmp";
  const auto fits = data / "fixtures" / "kpno_m51_B_dev_pix.fits";
  if (!std::filesystem::exists(bmp) || !std::filesystem::exists(fits)) GTEST_SKIP() << "no shared data";
  Picture picture;
  ASSERT_TRUE(ReadBmpFile(bmp.string(), picture).ok());
  const CliResult r = RunAndSave(bmp.string(), {"rotate", "solarize"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Saved("shown.bmp") == SolarizePicture(RotatePicture(picture)));
  EXPECT_TRUE(Saved("base.bmp") == RotatePicture(picture));

  // A 512 x 512 frame: the raw values turn, the shown picture is redrawn.
  const CliResult f = RunAndSave(fits.string(), {"rotate"});
  ASSERT_EQ(f.code, 0) << f.err;
  EXPECT_NE(f.out.find("\nUndoFlg=1\n"), std::string::npos);
  const Picture shown = Saved("shown.bmp");
  EXPECT_EQ(shown.width(), 512);
  EXPECT_EQ(shown.Color(0, 0), 0xFFFFFFu);
  EXPECT_EQ(shown.Color(511, 511), 0xFFFFFFu);
}

}  // namespace
}  // namespace qirm
