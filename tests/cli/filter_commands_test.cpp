// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli run with the filter commands: what is saved, the state fields,
// the kind checks, the settings kept from one command to the next and the
// dialogs' refusals, end to end.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/save_image.h"
#include "core/bmp_file.h"
#include "filters/coma_correction.h"
#include "filters/guide_miss.h"
#include "filters/stencil_filters.h"
#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"

namespace qirm {
namespace {

using test::CliResult;

Picture RandomPicture(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 215);
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < p.stride(); ++i) p.Row(y)[i] = static_cast<std::uint8_t>(byte(rng));
  return p;
}

class FilterCliTest : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    m_picture = RandomPicture(33, 27, 8);
    ASSERT_TRUE(WritePictureFile((m_dir / "pic.bmp").string(), m_picture, PictureFormat::kBmp).ok());
    // A green streak of 9 saturated values for the blooming removal.
    m_streaked = m_picture;
    for (int y = 6; y < 15; ++y) m_streaked.Row(y)[3 * 12 + 1] = 255;
    ASSERT_TRUE(WritePictureFile((m_dir / "streak.bmp").string(), m_streaked, PictureFormat::kBmp).ok());
    std::vector<int> raw(30 * 30);
    for (int i = 0; i < 30 * 30; ++i) raw[i] = 1000 + (i * 53) % 900;
    raw[10 * 30 + 10] = 1000;
    Write("frame.fits", test::Fits16Bytes(30, 30, raw));
    std::vector<unsigned char> rgb(20 * 10 * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(i * 11 % 200);
    Write("pic.ppm", test::Ppm6Bytes(20, 10, rgb));
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
  Picture m_streaked;
};

Picture Gmc(Picture p, const GmcSettings& s, double blur) {
  EXPECT_TRUE(GuideMissCancel(p, s, blur));
  return p;
}

TEST_F(FilterCliTest, ColourCommandsGiveTheEngineResults) {
  const Picture& p = m_picture;
  const Picture edged = EdgeEnhancement(p, 2.5);
  const struct {
    std::vector<std::string> commands;
    Picture shown;
    Picture base;
    const char* undo;
  } cases[] = {
      {{"edge"}, EdgeEnhancement(p, 1.0), EdgeEnhancement(p, 1.0), "1"},
      {{"edge=2.5"}, edged, edged, "1"},
      {{"blur"}, Blur(p, 1.0), Blur(p, 1.0), "1"},
      {{"blur=7"}, Blur(p, 7.0), Blur(p, 7.0), "1"},
      {{"highpass"}, HighPass(p), HighPass(p), "1"},
      {{"lowpass"}, LowPass(p), LowPass(p), "1"},
      {{"coma=5,8,10"}, ComaCorrect(p, {5, 8, 10.0}), p, "1"},
      {{"gmc=30,2,0.5,100"}, Gmc(p, {30, 2, 100}, 0.5), p, "0"},
      // Settings stay from one command to the next: the strength, and the
      // blur amount; the guide-miss panel's blur amount is its own.
      {{"edge=2.5", "edge"}, EdgeEnhancement(edged, 2.5), EdgeEnhancement(edged, 2.5), "1"},
      {{"gmc=0,1,3,0", "blur"}, Blur(p, 1.0), Blur(p, 1.0), "1"},
      {{"blur=4", "gmc=0,1,3,0", "blur"}, Blur(Blur(p, 4.0), 4.0), Blur(Blur(p, 4.0), 4.0), "1"},
      {{"gmc=0,1,0.05,256"}, Gmc(p, {0, 1, 256}, 0.2), p, "0"},
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

TEST_F(FilterCliTest, BloomRemovesTheStreak) {
  const CliResult r = RunAndSave("streak.bmp", {"bloom"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Picture shown = Saved("shown.bmp");
  EXPECT_TRUE(shown == Saved("base.bmp"));
  for (int y = 6; y < 15; ++y) EXPECT_LT(shown.Row(y)[3 * 12 + 1], 222) << y;
  EXPECT_NE(r.out.find("\nUndoFlg=0\n"), std::string::npos);
  // Without a streak nothing changes.
  ASSERT_EQ(RunAndSave("pic.bmp", {"bloom"}).code, 0);
  EXPECT_TRUE(Saved("shown.bmp") == m_picture);
}

TEST_F(FilterCliTest, KindChecks) {
  const CliResult plain_fits = RunAndSave("frame.fits", {});
  ASSERT_EQ(plain_fits.code, 0) << plain_fits.err;
  const Picture fits_shown = Saved("shown.bmp"), fits_base = Saved("base.bmp");
  const CliResult plain_ppm = RunAndSave("pic.ppm", {});
  ASSERT_EQ(plain_ppm.code, 0) << plain_ppm.err;
  const Picture ppm_shown = Saved("shown.bmp");

  const struct {
    const char* file;
    const char* command;
    bool shown, base;
    const char* undo;
  } cases[] = {
      {"frame.fits", "highpass", true, true, "1"},
      {"frame.fits", "blur=2", true, true, "1"},
      {"frame.fits", "gmc=0,1,0.2,0", true, false, "0"},
      {"pic.ppm", "lowpass", true, true, "1"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunAndSave(c.file, {c.command});
    ASSERT_EQ(r.code, 0) << c.file << " " << c.command << ": " << r.err;
    const bool fits = std::string(c.file) == "frame.fits";
    EXPECT_EQ(!(Saved("shown.bmp") == (fits ? fits_shown : ppm_shown)), c.shown)
        << c.file << " " << c.command;
    if (fits) {
      EXPECT_EQ(!(Saved("base.bmp") == fits_base), c.base) << c.command;
    }
    EXPECT_NE(r.out.find(std::string("\nUndoFlg=") + c.undo + "\n"), std::string::npos)
        << c.file << " " << c.command;
  }

  // Edge enhancement and the coma correction take colour pictures only: exit
  // 1 with the reason, nothing saved.
  const struct {
    const char* file;
    const char* command;
    const char* refusal;
  } refused[] = {
      {"frame.fits", "edge", "エッジ強調: 16ビットの画像には使えません。"},
      {"frame.fits", "coma=3,3,5", "コマコレクト処理: 16ビットの画像には使えません。"},
      {"pic.ppm", "edge=3", "エッジ強調: Netpbmの画像には使えません。"},
      {"pic.ppm", "coma=3,3,5", "コマコレクト処理: Netpbmの画像には使えません。"},
  };
  for (const auto& c : refused) {
    std::filesystem::remove(m_dir / "shown.bmp");
    const CliResult r = RunAndSave(c.file, {c.command});
    EXPECT_EQ(r.code, 1) << c.file << " " << c.command;
    EXPECT_EQ(r.err.rfind(std::string("qirm-cli: ") + c.refusal, 0), 0u)
        << c.file << " " << c.command << ": " << r.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "shown.bmp")) << c.file << " " << c.command;
  }
}

TEST_F(FilterCliTest, RefusedDialogValuesFailWithTheDialogsMessage) {
  const struct {
    const char* file;
    const char* command;
    const char* message;
  } cases[] = {
      {"pic.bmp", "edge=0.5", "1.0-5.0の数字を入力してください"},
      {"pic.bmp", "edge=5.5", "1.0-5.0の数字を入力してください"},
      // The dialog is shown before the kind is looked at.
      {"frame.fits", "edge=9", "1.0-5.0の数字を入力してください"},
      {"pic.bmp", "edge=abc", "'abc' is not a valid floating point value"},
      {"pic.bmp", "blur=0", "正の数字を入力してください"},
      {"pic.bmp", "blur=10.5", "正の数字を入力してください"},
      {"pic.bmp", "coma=,,", "'' is not a valid integer value"},
      {"pic.bmp", "coma=1,2.5,3", "'2.5' is not a valid integer value"},
      {"pic.bmp", "coma=1,2", "coma needs X,Y,AMOUNT"},
      {"pic.bmp", "gmc=0,1,x,0", "'x' is not a valid floating point value"},
      {"pic.bmp", "gmc=0,1,0.2", "gmc needs DIRECTION,FLOW,BLUR,THRESHOLD"},
  };
  for (const auto& c : cases) {
    const CliResult r = Run({"run", c.file, "highpass", c.command, "-o", "out.bmp"});
    EXPECT_EQ(r.code, 1) << c.command;
    EXPECT_EQ(r.err, std::string("qirm-cli: ") + c.message + "\n") << c.command;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "out.bmp")) << c.command;
  }
  EXPECT_EQ(Run({"run", "pic.bmp", "edge", "highpass=2"}).code, 2);
  EXPECT_EQ(Run({"run", "pic.bmp", "edge", "coma"}).code, 2);
}

TEST_F(FilterCliTest, RealPictureAndFrame) {
  const std::filesystem::path data = QIRM_DATA_DIR;
  const auto bmp = data / "derived" / "DERIVED_m67_dss_1059x1059_8bit_gray.bmp";
  const auto fits = data / "fixtures" / "kpno_m51_B_dev_pix.fits";
  if (!std::filesystem::exists(bmp) || !std::filesystem::exists(fits)) GTEST_SKIP() << "no shared data";
  Picture picture;
  ASSERT_TRUE(ReadBmpFile(bmp.string(), picture).ok());
  const CliResult r = RunAndSave(bmp.string(), {"edge=1.5", "gmc=45,1,0.2,0"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Picture edged = EdgeEnhancement(picture, 1.5);
  EXPECT_TRUE(Saved("base.bmp") == edged);
  EXPECT_TRUE(Saved("shown.bmp") == Gmc(edged, {45, 1, 0}, 0.2));

  // A 512 x 512 frame: blooming removal and high-pass on the raw values.
  const CliResult f = RunAndSave(fits.string(), {"bloom", "highpass"});
  ASSERT_EQ(f.code, 0) << f.err;
  EXPECT_NE(f.out.find("\nUndoFlg=1\n"), std::string::npos);
  EXPECT_EQ(Saved("shown.bmp").width(), 512);
}

}  // namespace
}  // namespace qirm
