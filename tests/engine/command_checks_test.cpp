// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program disables a menu item where MenuCommandCheck refuses:
// that must be exactly where the command itself refuses, for every kind of
// window, or an item would stay enabled only to refuse (or be disabled
// while it would have worked). Each command runs on a copy of a window of
// each kind and its outcome is compared with the check.
#include "app/command_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "app/save_image.h"
#include "core/fits_writer.h"
#include "display/display_commands.h"
#include "display/level_presets.h"
#include "display/resample.h"
#include "display/tone_curve.h"
#include "display/window_commands.h"
#include "filters/background.h"
#include "filters/filter_commands.h"
#include "tests/support/test_files.h"

namespace qirm {
namespace {

class CommandChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("qirm-checks-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(m_dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  // A window of each kind the open command makes, 96 x 96 with some
  // texture (the background fit needs its sky boxes).
  std::vector<std::pair<std::string, Workspace>> Windows() {
    constexpr int n = 96;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(0, 40);
    std::vector<int> raw(n * n);
    Picture picture(n, n);
    std::vector<unsigned char> rgb(3 * n * n);
    FloatPlane real(n, n);
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const int v = 100 + x + y + noise(rng);
        raw[y * n + x] = 1000 + 10 * v;
        for (int c = 0; c < 3; ++c) {
          picture.Row(y)[3 * x + c] = static_cast<std::uint8_t>(v);
          rgb[3 * (y * n + x) + c] = static_cast<unsigned char>(v);
        }
        real.Row(y)[x] = 0.25f * v;
      }
    const std::string fits = (m_dir / "a.fits").string(), bmp = (m_dir / "b.bmp").string(),
                      ppm = (m_dir / "c.ppm").string(), flt = (m_dir / "d.fits").string();
    test::WriteBytes(fits, test::Fits16Bytes(n, n, raw));
    test::WriteBytes(ppm, test::Ppm6Bytes(n, n, rgb));
    EXPECT_TRUE(WritePictureFile(bmp, picture, PictureFormat::kBmp).ok());
    EXPECT_TRUE(WriteFitsFloat32(flt, real, {}).ok());
    std::vector<std::pair<std::string, Workspace>> windows;
    for (const auto& [path, type] : std::vector<std::pair<std::string, FileType>>{
             {fits, FileType::Fits}, {bmp, FileType::Bmp}, {ppm, FileType::Netpbm}, {flt, FileType::Fits}}) {
      Workspace ws;
      EXPECT_TRUE(OpenImageFile(ws, path, type).ok()) << path;
      windows.emplace_back(path, std::move(ws));
    }
    return windows;
  }

  std::filesystem::path m_dir;
};

TEST_F(CommandChecks, DisableExactlyWhatTheCommandsRefuse) {
  using Run = std::function<Status(Workspace&)>;
  auto on = [](Status (*command)(ImageDocument&)) {
    return Run([=](Workspace& ws) { return command(*ws.active()); });
  };
  const auto curve = [](Workspace& ws) {
    const int top = ws.active()->kind == WindowKind::kRaw16 ? 65535 : 255;
    return ToneCurveCommand(*ws.active(), {{{0, 0}, {double(top), double(top)}}, CurveChannel::kAll});
  };
  const struct {
    MenuCommand command;
    const char* name;
    Run run;
  } cases[] = {
      {MenuCommand::kNegative, "negative", on(NegativeCommand)},
      {MenuCommand::kMirror, "mirror", on(MirrorCommand)},
      {MenuCommand::kFlip, "flip", on(FlipCommand)},
      {MenuCommand::kRotate, "rotate", [](Workspace& ws) { return RotateCommand(*ws.active()); }},
      {MenuCommand::kResample, "resample",
       [](Workspace& ws) {
         return ResampleCommand(*ws.active(), {40, 30}, *ws.active());
       }},
      {MenuCommand::kSeparate, "separate", [](Workspace& ws) { return Separate(ws); }},
      {MenuCommand::kBackground, "background",
       [](Workspace& ws) {
         return BackgroundCommand(*ws.active(), {1, 16});
       }},
      {MenuCommand::kEdge, "edge", [](Workspace& ws) { return EdgeCommand(*ws.active(), 2.0); }},
      {MenuCommand::kBlur, "blur", [](Workspace& ws) { return BlurCommand(*ws.active(), 1.0); }},
      {MenuCommand::kHighPass, "highpass", [](Workspace& ws) { return HighPassCommand(*ws.active()); }},
      {MenuCommand::kLowPass, "lowpass", [](Workspace& ws) { return LowPassCommand(*ws.active()); }},
      {MenuCommand::kBloom, "bloom", [](Workspace& ws) { return BloomCommand(*ws.active()); }},
      {MenuCommand::kToneCurve, "curve", curve},
      {MenuCommand::kGamma, "gamma", [](Workspace& ws) { return GammaCommand(*ws.active(), {"0.5"}); }},
      {MenuCommand::kSolarize, "solarize", on(SolarizeCommand)},
      {MenuCommand::kSabattier, "sabattier",
       [](Workspace& ws) { return SabattierCommand(*ws.active(), {"100"}); }},
      {MenuCommand::kComa, "coma",
       [](Workspace& ws) {
         return ComaCommand(*ws.active(), {40, 40, 2.0});
       }},
      {MenuCommand::kContrast, "contrast", [](Workspace& ws) { return ContrastUp(ws); }},
      {MenuCommand::kLevels, "levels",
       [](Workspace& ws) { return ApplyLevelPreset(ws, LevelPreset::kPercent99); }},
  };
  for (auto& [file, ws] : Windows()) {
    for (const auto& c : cases) {
      Workspace copy;
      copy.NewWindow() = *ws.active();
      const Status check = MenuCommandCheck(c.command, ws.active());
      const Status ran = c.run(copy);
      EXPECT_EQ(check.ok(), ran.ok()) << c.name << " on " << file << ": " << ran.message();
      // "H" and "L" share one check, which names both.
      if (!check && c.command != MenuCommand::kContrast)
        EXPECT_EQ(check.message(), ran.message()) << c.name << " on " << file;
    }
  }
  // Without a window every command is refused, with one message.
  for (const auto& c : cases) {
    EXPECT_EQ(MenuCommandCheck(c.command, nullptr).message(), kNoWindowRefusal) << c.name;
  }
}

// A float window's values are neither filtered nor toned yet: the commands
// that would only have marked it edited refuse and leave it as it was.
TEST_F(CommandChecks, FloatWindowsRefuseWhatWouldChangeNothing) {
  auto windows = Windows();
  ImageDocument& real = *windows[3].second.active();
  ASSERT_EQ(real.kind, WindowKind::kFloat);
  const ImageDocument before = real;
  EXPECT_EQ(BlurCommand(real, 1.0).message(),
            "ぼかし: 浮動小数点の画像には使えません。浮動小数点の値にはまだ使えません。");
  EXPECT_FALSE(HighPassCommand(real));
  EXPECT_FALSE(LowPassCommand(real));
  EXPECT_FALSE(BloomCommand(real));
  EXPECT_FALSE(SabattierCommand(real, {"100"}));
  EXPECT_EQ(real.history, before.history);
  EXPECT_EQ(real.edited, before.edited);
  EXPECT_TRUE(real.Image == before.Image);
}

}  // namespace
}  // namespace qirm
