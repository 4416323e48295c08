// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli run with background=, resample= and curve=: the same data as the
// engine's commands on the real frames, new windows and undo, and the
// dialogs' refusals as error lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "display/raw_values.h"
#include "display/resample.h"
#include "display/tone_curve.h"
#include "filters/background.h"
#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"

namespace qirm {
namespace {

class ToolsCliTest : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    std::vector<int> raw(64 * 48);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) raw[y * 64 + x] = 2000 + 5 * x + 3 * y + (x * 7 + y * 13) % 11;
    Write("frame.fits", test::Fits16Bytes(64, 48, raw));
  }

  // The raw values of a FITS file as QIRM reads it.
  static std::vector<std::uint16_t> RawOf(const std::string& path) {
    Workspace ws;
    EXPECT_TRUE(OpenImageFile(ws, path, FileType::Fits).ok()) << path;
    std::vector<std::uint16_t> raw;
    if (ws.active()) {
      EXPECT_TRUE(ReadRawValues(*ws.active(), "t", raw).ok());
    }
    return raw;
  }
};

TEST_F(ToolsCliTest, RealFrameGivesTheEnginesValues) {
  const std::string frame = std::string(QIRM_DATA_DIR) + "/registration/M13_blue_0001.fits";
  if (!std::filesystem::exists(frame)) GTEST_SKIP() << "no " << frame;
  struct Case {
    const char* command;
    std::function<void(Workspace&)> engine;
  } const cases[] = {
      {"background=poly3,64",
       [](Workspace& ws) {
         ASSERT_TRUE(BackgroundCommand(*ws.active(), {3, 64}).ok());
       }},
      {"resample=0.5,lanczos3",
       [](Workspace& ws) {
         ASSERT_TRUE(ResampleToNewWindow(ws, {696, 520, ResampleMethod::kLanczos3, false}).ok());
       }},
      {"curve=0:0,600:9000,65535:65535", [](Workspace& ws) {
         ASSERT_TRUE(
             ToneCurveCommand(*ws.active(), {{{0, 0}, {600, 9000}, {65535, 65535}}, CurveChannel::kAll})
                 .ok());
       }}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    const test::CliResult r = Run({"run", frame, c.command, "-o", "out.fits"});
    ASSERT_EQ(r.code, 0) << r.err;
    Workspace ws;
    ASSERT_TRUE(OpenImageFile(ws, frame, FileType::Fits).ok());
    c.engine(ws);
    std::vector<std::uint16_t> want;
    ASSERT_TRUE(ReadRawValues(*ws.active(), "t", want).ok());
    EXPECT_EQ(RawOf((m_dir / "out.fits").string()), want);
    EXPECT_NE(test::ReadAll(m_dir / "out.fits").find("HISTORY"), std::string::npos);
  }
}

TEST_F(ToolsCliTest, ResampleMakesTheActiveWindowAndTheOthersUndo) {
  test::CliResult r = Run({"run", "frame.fits", "resample=100x20,area", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Caption=Resample\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("DemX=100\nDemY=20\n"), std::string::npos) << r.out;
  // background and curve taken back leave the frame as read.
  ASSERT_EQ(Run({"run", "frame.fits", "-o", "plain.fits"}).code, 0);
  r = Run({"run", "frame.fits", "background=plane,16", "curve=0:100,65535:65535", "undo", "undo", "-o",
           "back.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(RawOf((m_dir / "back.fits").string()), RawOf((m_dir / "plain.fits").string()));
  r = Run({"run", "frame.fits", "background=plane,16", "-o", "flat.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(RawOf((m_dir / "flat.fits").string()), RawOf((m_dir / "plain.fits").string()));
}

TEST_F(ToolsCliTest, RefusedValuesAreErrorLines) {
  const struct {
    const char* command;
    std::string message;
  } cases[] = {
      {"background=poly4", kBackgroundModelRefused},
      {"background=plane,4", kBackgroundBoxRefused},
      {"background=plane,64", kBackgroundTooFewBoxes},  // a 64 x 48 frame holds one box
      {"resample=0", ResampleFactorRefusal(64, 48)},
      // The range this 64 x 48 frame takes.
      {"resample=1e9", "倍率は 0 より大きく 512 以下の数を入力してください（新しい大きさは 32768 まで）"},
      {"resample=2,cubic", kResampleMethodRefused},
      {"resample=0x5", kResampleSizeRefused},
      {"curve=5:1,2:3", kCurvePointsRefused},
      {"curve=0:0,255:255,r", kCurveChannelRefused},
      {"curve=0:0,70000:1", kCurveRangeRefused},
      {"curve=", "command 'curve' needs a value: curve=VALUE"},
  };
  for (const auto& c : cases) {
    const test::CliResult r = Run({"run", "frame.fits", c.command, "-o", "x.fits"});
    EXPECT_EQ(r.code, 1) << c.command;
    EXPECT_EQ(r.err, "qirm-cli: " + c.message + "\n") << c.command;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "x.fits")) << c.command;
  }
}

}  // namespace
}  // namespace qirm
