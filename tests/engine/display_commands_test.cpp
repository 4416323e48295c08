// SPDX-License-Identifier: GPL-3.0-or-later
// The geometry and tone commands on a window document: which kinds they act
// on, which pictures they draw onto, UndoFlg, progress, the dialog checks and
// the 16-bit rotation of the raw values.
#include "display/display_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/numbers.h"
#include "display/levels.h"
#include "display/rotate.h"
#include "display/tones.h"
#include "document/state_texts.h"

namespace qirm {
namespace {

RawPlane RandomPlane(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> value(0, 65535);
  RawPlane p(w, h);
  for (std::uint16_t& v : p.values) v = static_cast<std::uint16_t>(value(rng));
  return p;
}

Picture RandomPicture(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < p.stride(); ++i) p.Row(y)[i] = static_cast<std::uint8_t>(byte(rng));
  return p;
}

// A window of the given kind: a shown picture that differs from the base
// picture (as after a contrast step) or, for kind "2", from the raw plane
// under the levels; UndoFlg "0".
ImageDocument Window(const std::string& kind, int w = 24, int h = 18) {
  ImageDocument doc;
  doc.kind = kind == "1" ? WindowKind::kColour : kind == "2" ? WindowKind::kRaw16 : WindowKind::kNetpbm;
  if (doc.kind == WindowKind::kRaw16)
    doc.raw = RandomPlane(w, h, 13);
  else
    doc.ImageZm = RandomPicture(w, h, 11);
  doc.Image = RandomPicture(w, h, 12);
  doc.edited = false;
  doc.max_level = 40000;
  doc.min_level = 100;
  return doc;
}

struct Outcome {
  bool image = false;
  bool base = false;
  bool raw = false;
  std::string undo;
  std::string error;  // empty when the command succeeded
};

Outcome RunOn(ImageDocument& doc, const std::function<Status(ImageDocument&)>& command) {
  const ImageDocument before = doc;
  const Status status = command(doc);
  return {!(doc.Image == before.Image), !(doc.ImageZm == before.ImageZm), !(doc.raw == before.raw),
          EditedText(doc), status ? "" : status.message()};
}

TEST(DisplayCommands, KindsPicturesAndUndoFlag) {
  const GammaParams gamma{"2.0"};
  const SabattierParams step{"100"};
  // A refusal (error) names the command in the menu's words and changes
  // nothing.
  const struct {
    const char* name;
    std::function<Status(ImageDocument&)> command;
    const char* kind;
    bool image, base, raw;
    const char* undo;
    const char* error;
  } cases[] = {
      {"negative", NegativeCommand, "1", true, true, false, "0", nullptr},
      {"negative", NegativeCommand, "2", true, false, true, "0", nullptr},
      {"negative", NegativeCommand, "3", false, false, false, "0", "ネガ反転: Netpbmの画像には使えません。"},
      {"mirror", MirrorCommand, "1", true, true, false, "0", nullptr},
      {"mirror", MirrorCommand, "2", true, false, true, "0", nullptr},
      {"mirror", MirrorCommand, "3", false, false, false, "0", "左右反転: Netpbmの画像には使えません。"},
      {"flip", FlipCommand, "1", true, true, false, "0", nullptr},
      {"flip", FlipCommand, "2", true, false, true, "0", nullptr},
      {"flip", FlipCommand, "3", false, false, false, "0", "上下反転: Netpbmの画像には使えません。"},
      {"rotate", [](ImageDocument& d) { return RotateCommand(d); }, "1", true, true, false, "1", nullptr},
      {"rotate", [](ImageDocument& d) { return RotateCommand(d); }, "2", true, false, true, "1", nullptr},
      {"rotate", [](ImageDocument& d) { return RotateCommand(d); }, "3", true, true, false, "1", nullptr},
      {"gamma", [&](ImageDocument& d) { return GammaCommand(d, gamma); }, "1", true, false, false, "1",
       nullptr},
      {"gamma", [&](ImageDocument& d) { return GammaCommand(d, gamma); }, "2", false, false, false, "0",
       "ガンマ: 16ビットの画像には使えません。"},
      {"gamma", [&](ImageDocument& d) { return GammaCommand(d, gamma); }, "3", false, false, false, "0",
       "ガンマ: Netpbmの画像には使えません。"},
      {"solarize", SolarizeCommand, "1", true, false, false, "1", nullptr},
      {"solarize", SolarizeCommand, "2", false, false, false, "0",
       "ソラリゼーション: 16ビットの画像には使えません。"},
      {"solarize", SolarizeCommand, "3", false, false, false, "0",
       "ソラリゼーション: Netpbmの画像には使えません。"},
      {"sabattier", [&](ImageDocument& d) { return SabattierCommand(d, step); }, "1", true, false, false, "1",
       nullptr},
      {"sabattier", [&](ImageDocument& d) { return SabattierCommand(d, step); }, "2", true, false, false, "1",
       nullptr},
      {"sabattier", [&](ImageDocument& d) { return SabattierCommand(d, step); }, "3", true, false, false, "1",
       nullptr},
  };
  for (const auto& c : cases) {
    ImageDocument doc = Window(c.kind);
    const Outcome o = RunOn(doc, c.command);
    const std::string what = std::string(c.name) + " on kind " + c.kind;
    EXPECT_EQ(o.image, c.image) << what;
    EXPECT_EQ(o.base, c.base) << what;
    EXPECT_EQ(o.raw, c.raw) << what;
    EXPECT_EQ(o.undo, c.undo) << what;
    if (c.error) {
      // The reason follows the command and the kind.
      EXPECT_EQ(o.error.rfind(c.error, 0), 0u) << what << ": " << o.error;
      EXPECT_GT(o.error.size(), std::string(c.error).size()) << what;
    } else {
      EXPECT_EQ(o.error, "") << what;
    }
  }
}

// Raw values 0..65535 of a w x h window, with the extremes and values that
// cross multiples of 256 between neighbours, and the window made of them.
std::vector<std::uint16_t> RawValues(int w, int h) {
  std::vector<std::uint16_t> raw(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint16_t>(i * 2741 + 17);
  raw[0] = 0;
  raw[1] = 65535;
  raw[2] = 255;
  raw[3] = 256;
  return raw;
}

ImageDocument RawWindow(const std::vector<std::uint16_t>& raw, int w, int h, int max, int min) {
  IntMatrix m;
  EXPECT_EQ(AllocIntMatrix(w, h, m), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m[x][y] = raw[static_cast<std::size_t>(y) * w + x];
  ImageDocument doc;
  doc.kind = WindowKind::kRaw16;
  FillRawPlane(m, w, h, doc.raw);
  doc.max_level = max;
  doc.min_level = min;
  doc.Image = RenderLevels(doc.raw, max, min);
  doc.edited = false;
  return doc;
}

TEST(DisplayCommands, SixteenBitNegativeMirrorAndFlipWorkOnTheRawValues) {
  // Large enough to be cut between threads; odd sizes catch an off-by-one
  // in the reversal.
  const int w = 301, h = 257, max = 50000, min = 3000;
  const std::vector<std::uint16_t> raw = RawValues(w, h);
  const auto at = [&](int x, int y) { return static_cast<int>(raw[static_cast<std::size_t>(y) * w + x]); };
  const struct {
    const char* name;
    Status (*command)(ImageDocument&);
    std::function<int(int, int)> expected;
    int new_max, new_min;  // the levels after
  } cases[] = {
      // The negative turns the levels over with the values: the picture
      // stays as visible as before, in negative.
      {"negative", NegativeCommand, [&](int x, int y) { return 65535 - at(x, y); }, 65535 - min, 65535 - max},
      {"mirror", MirrorCommand, [&](int x, int y) { return at(w - 1 - x, y); }, max, min},
      {"flip", FlipCommand, [&](int x, int y) { return at(x, h - 1 - y); }, max, min},
  };
  for (const auto& c : cases) {
    ImageDocument doc = RawWindow(raw, w, h, max, min);
    ASSERT_TRUE(c.command(doc).ok()) << c.name;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        ASSERT_EQ(doc.raw.At(x, y), c.expected(x, y)) << c.name << " " << x << ", " << y;
      }
    EXPECT_TRUE(doc.ImageZm.empty()) << c.name;
    // Shown with the window's levels; UndoFlg kept as for colour.
    EXPECT_EQ(doc.max_level, c.new_max) << c.name;
    EXPECT_EQ(doc.min_level, c.new_min) << c.name;
    EXPECT_EQ(doc.Image, RenderLevels(doc.raw, c.new_max, c.new_min)) << c.name;
    EXPECT_EQ(doc.edited, false) << c.name;
    // Each is its own inverse, levels and all.
    ASSERT_TRUE(c.command(doc).ok());
    EXPECT_EQ(doc.raw, RawWindow(raw, w, h, max, min).raw) << c.name;
    EXPECT_EQ(doc.max_level, max) << c.name;
    EXPECT_EQ(doc.min_level, min) << c.name;
  }
  // Shown through the turned levels, each pixel of the negative is the
  // negative of the positive's grey, within the levels' rounding.
  {
    ImageDocument doc = RawWindow(raw, w, h, max, min);
    const Picture positive = doc.Image;
    ASSERT_TRUE(NegativeCommand(doc).ok());
    for (int y = 0; y < h; y += 7)
      for (int x = 0; x < w; x += 5) {
        const int before = positive.Row(y)[3 * x], after = doc.Image.Row(y)[3 * x];
        ASSERT_LE(std::abs(255 - before - after), 1) << x << ", " << y;
      }
  }

  // A plane whose values do not fill its size: an error, nothing changed.
  ImageDocument broken = RawWindow(raw, w, h, max, min);
  broken.raw.values.pop_back();
  const ImageDocument before = broken;
  EXPECT_FALSE(MirrorCommand(broken));
  EXPECT_EQ(broken.raw, before.raw);
  EXPECT_EQ(broken.Image, before.Image);
}

TEST(DisplayCommands, ResultsStartFromTheBasePicture) {
  ImageDocument doc = Window("1");
  const Picture base = doc.ImageZm;
  ASSERT_TRUE(NegativeCommand(doc).ok());
  EXPECT_EQ(doc.Image, NegativePicture(base));
  EXPECT_EQ(doc.ImageZm, doc.Image);

  // Tone results are only shown: a second tone command starts from the base
  // again, not from the shown result.
  ASSERT_TRUE(SolarizeCommand(doc).ok());
  ASSERT_TRUE(GammaCommand(doc, GammaParams{"0.5"}).ok());
  EXPECT_EQ(doc.Image, GammaPicture(NegativePicture(base), 0.5));
  EXPECT_EQ(doc.ImageZm, NegativePicture(base));

  // Sabattier on a 16-bit window folds the high bytes of its raw values
  // (red = v / 256) as they stand.
  ImageDocument raw = Window("2");
  Picture high(raw.raw.width, raw.raw.height);
  for (int y = 0; y < high.height(); ++y)
    for (int x = 0; x < high.width(); ++x) high.SetColor(x, y, raw.raw.At(x, y) >> 8);
  ASSERT_TRUE(SabattierCommand(raw, SabattierParams{"128"}).ok());
  EXPECT_EQ(raw.Image, SabattierPicture(high, 128));
}

TEST(DisplayCommands, DialogChecks) {
  const struct {
    std::string text;
    DialogCheck::Outcome gamma;
    DialogCheck::Outcome step;
  } cases[] = {
      {"1.0", DialogCheck::kAccepted, DialogCheck::kAccepted},
      {" 2.5 ", DialogCheck::kAccepted, DialogCheck::kAccepted},
      {"1e-3", DialogCheck::kAccepted, DialogCheck::kAccepted},
      {"0", DialogCheck::kRefused, DialogCheck::kRefused},
      {"-0.5", DialogCheck::kRefused, DialogCheck::kRefused},
      {"", DialogCheck::kNotANumber, DialogCheck::kNotANumber},
      {"abc", DialogCheck::kNotANumber, DialogCheck::kNotANumber},
      {"1,5", DialogCheck::kNotANumber, DialogCheck::kNotANumber},
  };
  for (const auto& c : cases) {
    const DialogCheck g = CheckGamma(GammaParams{c.text});
    const DialogCheck s = CheckSabattier(SabattierParams{c.text});
    EXPECT_EQ(g.outcome, c.gamma) << "'" << c.text << "'";
    EXPECT_EQ(s.outcome, c.step) << "'" << c.text << "'";
    if (c.gamma == DialogCheck::kRefused) {
      EXPECT_EQ(g.message, "整数を入力してください");
      EXPECT_EQ(s.message, "正の数字を入力してください");
    } else if (c.gamma == DialogCheck::kNotANumber) {
      EXPECT_EQ(g.message, RealConversionError(c.text));
      EXPECT_EQ(s.message, RealConversionError(c.text));
    }
  }
  EXPECT_DOUBLE_EQ(CheckGamma(GammaParams{}).value, 1.0);
  EXPECT_DOUBLE_EQ(CheckSabattier(SabattierParams{}).value, 255.0);
}

TEST(DisplayCommands, RefusedValuesFromAFrameClosedDialogDrawNothing) {
  for (const char* text : {"0", "-2"}) {
    ImageDocument doc = Window("1");
    EXPECT_FALSE(RunOn(doc, [&](ImageDocument& d) { return GammaCommand(d, GammaParams{text}); }).image)
        << text;
    EXPECT_EQ(doc.edited, false);
    EXPECT_FALSE(
        RunOn(doc, [&](ImageDocument& d) { return SabattierCommand(d, SabattierParams{text}); }).image)
        << text;
    EXPECT_EQ(doc.edited, false);
  }
}

TEST(DisplayCommands, TextThatIsNoNumberStopsBeforeDrawing) {
  ImageDocument doc = Window("1");
  const ImageDocument before = doc;
  const Status g = GammaCommand(doc, GammaParams{"x"});
  EXPECT_EQ(g.message(), RealConversionError("x"));
  const Status s = SabattierCommand(doc, SabattierParams{"y"});
  EXPECT_EQ(s.message(), RealConversionError("y"));
  EXPECT_EQ(doc.Image, before.Image);
  EXPECT_EQ(doc.edited, false);
  // The gamma command looks at the kind before it reads the text.
  ImageDocument raw = Window("2");
  EXPECT_EQ(GammaCommand(raw, GammaParams{"x"}).message().rfind("ガンマ: 16ビットの画像", 0), 0u);
}

TEST(DisplayCommands, RotationReportsRowsThenZero) {
  ImageDocument doc = Window("1", 40, 30);
  std::vector<int> values;
  ASSERT_TRUE(RotateCommand(doc, [&](int p) { values.push_back(p); }).ok());
  ASSERT_GE(values.size(), 2u);
  EXPECT_EQ(values.front(), 0);
  EXPECT_GT(values[values.size() - 2], 90);
  EXPECT_EQ(values.back(), 0);
  EXPECT_EQ(doc.Image, RotatePicture(Window("1", 40, 30).ImageZm));
}

TEST(DisplayCommands, SixteenBitRotationKeepsThePlanesInStep) {
  // Raw values that cross multiples of 256 between neighbours.
  const int w = 50, h = 40;
  IntMatrix m;
  ASSERT_EQ(AllocIntMatrix(w, h, m), 0);
  std::vector<std::uint16_t> raw(w * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) raw[y * w + x] = static_cast<std::uint16_t>(m[x][y] = 1000 + 61 * x + 7 * y);
  ImageDocument doc;
  doc.kind = WindowKind::kRaw16;
  FillRawPlane(m, w, h, doc.raw);
  doc.max_level = 4000;
  doc.min_level = 900;
  doc.Image = RenderLevels(doc.raw, 4000, 900);
  ASSERT_TRUE(RotateCommand(doc).ok());

  const std::vector<std::uint16_t> expected = RotateRawValues(raw, w, h, 65535);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      ASSERT_EQ(doc.raw.At(x, y), expected[y * w + x]) << x << ", " << y;
    }
  EXPECT_EQ(doc.Image, RenderLevels(doc.raw, 4000, 900));
  EXPECT_EQ(doc.Image.Color(0, 0), 0xFFFFFFu);  // the frame shows white
  EXPECT_EQ(doc.edited, true);
}

}  // namespace
}  // namespace qirm
