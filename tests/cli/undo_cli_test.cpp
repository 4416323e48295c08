// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli run with undo and redo: a sequence with undos and redos leaves the
// window exactly as the same sequence without the commands taken back (the
// saved pictures byte for byte, the state lines), on a colour and a 16-bit
// window.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/save_image.h"
#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"

namespace qirm {
namespace {

class UndoCliTest : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    Picture picture(7, 5);
    for (int y = 0; y < 5; ++y)
      for (std::size_t i = 0; i < picture.stride(); ++i)
        picture.Row(y)[i] = static_cast<std::uint8_t>(y * 29 + i * 13);
    ASSERT_TRUE(WritePictureFile((m_dir / "pic.bmp").string(), picture, PictureFormat::kBmp).ok());
    std::vector<int> raw(20 * 20);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = 1000 + static_cast<int>(i * 7 % 900);
    Write("frame.fits", test::Fits16Bytes(20, 20, raw));
  }

  // The state lines and both saved pictures after FILE COMMANDS.
  std::string Outcome(const std::string& file, const std::string& commands) {
    std::vector<std::string> args{"run", file};
    std::istringstream words(commands);
    for (std::string w; words >> w;) args.push_back(w);
    for (const char* a : {"-o", "shown.bmp", "--base", "base.bmp", "--state"}) args.push_back(a);
    const test::CliResult r = Run(args);
    EXPECT_EQ(r.code, 0) << commands << ": " << r.err;
    return r.out + test::ReadAll(m_dir / "shown.bmp") + test::ReadAll(m_dir / "base.bmp");
  }
};

TEST_F(UndoCliTest, SequencesEndWhereTheCommandsLeftStandingLead) {
  struct Case {
    const char* commands;
    const char* same_as;
  } const cases[] = {
      {"blur undo", ""},
      {"undo", ""},
      {"redo", ""},
      {"sabattier=100 undo redo", "sabattier=100"},
      {"negative highpass undo", "negative"},
      {"negative mirror undo undo redo", "negative"},
      {"negative mirror undo undo undo redo redo redo", "negative mirror"},
      {"negative undo flip redo", "flip"},  // the new command dropped negative's redo
      // A step is the whole window: redo brings back the levels and gain of
      // the moment after the blur, and the level edits follow them.
      {"blur=3.0 undo contrast-up redo", "blur=3.0"},
  };
  for (const char* file : {"pic.bmp", "frame.fits"}) {
    for (const Case& c : cases) {
      EXPECT_EQ(Outcome(file, c.commands), Outcome(file, c.same_as)) << file << ": " << c.commands;
    }
  }
  // Undo really takes something back.
  EXPECT_NE(Outcome("pic.bmp", "negative"), Outcome("pic.bmp", ""));
  EXPECT_NE(Outcome("frame.fits", "blur"), Outcome("frame.fits", ""));
}

}  // namespace
}  // namespace qirm
