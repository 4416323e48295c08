// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/filter_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "display/levels.h"
#include "document/state_texts.h"
#include "filters/blooming.h"

namespace qirm {
namespace {

Picture RandomPicture(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> value(0, 220);
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < p.stride(); ++i) p.Row(y)[i] = static_cast<std::uint8_t>(value(rng));
  return p;
}

ImageDocument ColourDocument(const Picture& base, WindowKind kind = WindowKind::kColour) {
  ImageDocument doc;
  doc.kind = kind;
  doc.Image = base;
  doc.ImageZm = base;
  doc.edited = false;
  return doc;
}

// A 16-bit window made as the open command makes one.
ImageDocument RawDocument(const IntMatrix& raw, int w, int h, int max, int min) {
  ImageDocument doc;
  doc.kind = WindowKind::kRaw16;
  doc.Image = RenderRawLevels(raw, w, h, max, min);
  FillRawPlane(raw, w, h, doc.raw);
  doc.max_level = max;
  doc.min_level = min;
  doc.edited = false;
  return doc;
}

IntMatrix RawRamp(int w, int h) {
  IntMatrix raw;
  EXPECT_EQ(AllocIntMatrix(w, h, raw), 0);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) raw[x][y] = 1000 + 37 * x + 301 * y + ((x * 7 + y * 3) % 11) * 90;
  return raw;
}

RawPlane PlaneOf(const IntMatrix& raw, int w, int h) {
  RawPlane p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.Row(y)[x] = static_cast<std::uint16_t>(raw[x][y]);
  return p;
}

IntMatrix MatrixOf(const RawPlane& p) {
  IntMatrix raw;
  EXPECT_EQ(AllocIntMatrix(p.width, p.height, raw), 0);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) raw[x][y] = p.Row(y)[x];
  return raw;
}

// The window after a raw-value filter: plane and shown picture rebuilt.
void ExpectRawWindow(const ImageDocument& doc, const RawPlane& expected, int max, int min) {
  IntMatrix raw = MatrixOf(expected);
  EXPECT_TRUE(doc.raw == expected);
  EXPECT_TRUE(doc.ImageZm.empty());
  EXPECT_TRUE(doc.Image == RenderRawLevels(raw, expected.width, expected.height, max, min));
}

std::vector<int> Recorded(const std::function<void(const FilterProgress&)>& run) {
  std::vector<int> values;
  run([&](int v) { values.push_back(v); });
  return values;
}

// ---------------------------------------------------------- dialogs

TEST(FilterDialogs, EdgeStrengthAndBlurAmountRanges) {
  const struct {
    const char* text;
    DialogCheck::Outcome edge, blur;
  } cases[] = {
      {"1.0", DialogCheck::kAccepted, DialogCheck::kAccepted},
      {" 5 ", DialogCheck::kAccepted, DialogCheck::kAccepted},
      {"0.99", DialogCheck::kRefused, DialogCheck::kAccepted},
      {"5.01", DialogCheck::kRefused, DialogCheck::kAccepted},
      {"10", DialogCheck::kRefused, DialogCheck::kAccepted},
      {"10.5", DialogCheck::kRefused, DialogCheck::kRefused},
      {"0", DialogCheck::kRefused, DialogCheck::kRefused},
      {"-2", DialogCheck::kRefused, DialogCheck::kRefused},
      {"abc", DialogCheck::kNotANumber, DialogCheck::kNotANumber},
      {"", DialogCheck::kNotANumber, DialogCheck::kNotANumber},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckEdgeStrength(c.text).outcome, c.edge) << c.text;
    EXPECT_EQ(CheckBlurAmount(c.text).outcome, c.blur) << c.text;
  }
  EXPECT_EQ(CheckEdgeStrength("7").message, "1.0-5.0の数字を入力してください");
  EXPECT_EQ(CheckBlurAmount("0").message, "正の数字を入力してください");
  EXPECT_EQ(CheckEdgeStrength("x1").message, "'x1' is not a valid floating point value");
  EXPECT_EQ(CheckEdgeStrength("2.5").value, 2.5);
}

TEST(FilterDialogs, ComaTextsParseInOrder) {
  ComaParams p;
  ASSERT_TRUE(ParseComaTexts("120", "-40", "2.5", p));
  EXPECT_EQ(p.x, 120);
  EXPECT_EQ(p.y, -40);
  EXPECT_EQ(p.amount, 2.5);
  EXPECT_EQ(ParseComaTexts("", "", "", p).message(), "'' is not a valid integer value");
  EXPECT_EQ(ParseComaTexts("1", "2.5", "x", p).message(), "'2.5' is not a valid integer value");
  EXPECT_EQ(ParseComaTexts("1", "2", "x", p).message(), "'x' is not a valid floating point value");
  EXPECT_EQ(p.x, 120);  // a failed reading keeps the last values
}

TEST(FilterDialogs, GuideMissPanelTakesItsEditsInOrder) {
  FilterSettings s;
  GmcTexts texts{"30", "2", "0.1", "50"};
  ASSERT_TRUE(AcceptGmcTexts(texts, s));
  EXPECT_EQ(s.gmc.direction, 30);
  EXPECT_EQ(s.gmc.flow, 2);
  EXPECT_EQ(s.blur_amount, 0.2);
  EXPECT_EQ(texts.blur, "0.2");
  EXPECT_EQ(s.gmc.threshold, 50);
  EXPECT_TRUE(s.gmc_accepted);

  // Flows outside 0..1000 are brought into range and shown.
  GmcTexts flows{"0", "-3", "1", "0"};
  ASSERT_TRUE(AcceptGmcTexts(flows, s));
  EXPECT_EQ(s.gmc.flow, 0);
  EXPECT_EQ(flows.flow, "0");
  flows.flow = "5000";
  ASSERT_TRUE(AcceptGmcTexts(flows, s));
  EXPECT_EQ(s.gmc.flow, 1000);
  EXPECT_EQ(flows.flow, "1000");

  // A bad text stops there; what was read before it keeps its new value.
  FilterSettings fresh;
  GmcTexts bad{"45", "3", "abc", "9"};
  const Status st = AcceptGmcTexts(bad, fresh);
  EXPECT_EQ(st.message(), "'abc' is not a valid floating point value");
  EXPECT_EQ(fresh.gmc.direction, 45);
  EXPECT_EQ(fresh.gmc.flow, 3);
  EXPECT_EQ(fresh.blur_amount, 1.0);
  EXPECT_EQ(fresh.gmc.threshold, 0);
  EXPECT_FALSE(fresh.gmc_accepted);
  GmcTexts late{"45", "3", "0.05", "x"};
  EXPECT_FALSE(AcceptGmcTexts(late, fresh));
  EXPECT_EQ(fresh.blur_amount, 0.2);
  EXPECT_EQ(late.blur, "0.2");
  EXPECT_FALSE(fresh.gmc_accepted);
}

// ---------------------------------------------------------- commands

TEST(FilterCommands, ColourWindowsFilterTheBasePictureIntoBothPictures) {
  const Picture base = RandomPicture(40, 30, 1);
  const struct {
    const char* name;
    std::function<Status(ImageDocument&, const FilterProgress&)> run;
    Picture expected;
  } cases[] = {
      {"edge", [](ImageDocument& d, const FilterProgress& p) { return EdgeCommand(d, 2.0, p); },
       EdgeEnhancement(base, 2.0)},
      {"blur", [](ImageDocument& d, const FilterProgress& p) { return BlurCommand(d, 1.0, p); },
       Blur(base, 1.0)},
      {"high-pass", [](ImageDocument& d, const FilterProgress& p) { return HighPassCommand(d, p); },
       HighPass(base)},
      {"low-pass", [](ImageDocument& d, const FilterProgress& p) { return LowPassCommand(d, p); },
       LowPass(base)},
  };
  for (const auto& c : cases) {
    ImageDocument doc = ColourDocument(base);
    std::vector<int> progress;
    ASSERT_TRUE(c.run(doc, [&](int v) { progress.push_back(v); })) << c.name;
    EXPECT_TRUE(doc.Image == c.expected) << c.name;
    EXPECT_TRUE(doc.ImageZm == c.expected) << c.name;
    EXPECT_EQ(doc.edited, true) << c.name;
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0) << c.name;
    EXPECT_EQ(progress.back(), 0) << c.name;
    EXPECT_EQ(*std::max_element(progress.begin(), progress.end()), 193) << c.name;  // 200 * 29 / 30
  }
}

TEST(FilterCommands, ShownPictureWithGainIsReplacedByTheFilteredBase) {
  const Picture base = RandomPicture(20, 20, 2);
  ImageDocument doc = ColourDocument(base);
  doc.Image = RenderContrast(base, 1.5);
  ASSERT_TRUE(HighPassCommand(doc));
  EXPECT_TRUE(doc.Image == HighPass(base));
}

TEST(FilterCommands, KindChecks) {
  const Picture base = RandomPicture(30, 30, 3);
  IntMatrix raw = RawRamp(30, 30);
  // Edge enhancement and the coma correction take colour windows only.
  for (WindowKind kind : {WindowKind::kRaw16, WindowKind::kNetpbm}) {
    ImageDocument doc =
        kind == WindowKind::kRaw16 ? RawDocument(raw, 30, 30, 12000, 1000) : ColourDocument(base, kind);
    const ImageDocument before = doc;
    const std::string kind_name = kind == WindowKind::kRaw16 ? "16ビットの画像" : "Netpbmの画像";
    EXPECT_EQ(EdgeCommand(doc, 1.0).message().rfind("エッジ強調: " + kind_name + "には使えません。", 0), 0u);
    EXPECT_EQ(ComaCommand(doc, {15, 15, 5.0}).message().rfind("コマコレクト処理: " + kind_name, 0), 0u);
    EXPECT_TRUE(doc.Image == before.Image) << KindText(kind);
    EXPECT_TRUE(doc.ImageZm == before.ImageZm) << KindText(kind);
    EXPECT_TRUE(doc.raw == before.raw) << KindText(kind);
    EXPECT_EQ(doc.edited, false) << KindText(kind);
  }
  // The others take a Netpbm window like a colour one.
  ImageDocument netpbm = ColourDocument(base, WindowKind::kNetpbm);
  ASSERT_TRUE(BlurCommand(netpbm, 2.0));
  EXPECT_TRUE(netpbm.ImageZm == Blur(base, 2.0));
}

TEST(FilterCommands, SixteenBitWindowsFilterTheRawValues) {
  const int w = 24, h = 18, max = 9000, min = 1000;
  IntMatrix raw = RawRamp(w, h);
  raw[5][5] = 65535;  // full scale stays under the high-pass
  const RawPlane plane = PlaneOf(raw, w, h);
  {
    ImageDocument doc = RawDocument(raw, w, h, max, min);
    ASSERT_TRUE(HighPassCommand(doc));
    ExpectRawWindow(doc, HighPass(plane), max, min);
    EXPECT_EQ(doc.raw.At(5, 5), 65535);
    EXPECT_EQ(doc.edited, true);
  }
  {
    ImageDocument doc = RawDocument(raw, w, h, max, min);
    ASSERT_TRUE(LowPassCommand(doc));
    ExpectRawWindow(doc, LowPass(plane), max, min);
  }
  {
    ImageDocument doc = RawDocument(raw, w, h, max, min);
    ASSERT_TRUE(BlurCommand(doc, 3.0));
    ExpectRawWindow(doc, Blur(plane, 3.0), max, min);
  }
}

TEST(FilterCommands, BloomRemovesStreaksAndLeavesUndoFlag) {
  Picture base(16, 20);
  for (int y = 0; y < 20; ++y) std::fill(base.Row(y), base.Row(y) + base.stride(), std::uint8_t{30});
  for (int y = 4; y < 14; ++y) base.Row(y)[3 * 7 + 2] = 250;  // a red streak of 10
  ImageDocument doc = ColourDocument(base);
  const std::vector<int> progress =
      Recorded([&](const FilterProgress& p) { ASSERT_TRUE(BloomCommand(doc, p)); });
  EXPECT_EQ(progress, (std::vector<int>{20, 40, 60, 80, 100, 0}));
  Picture flat(16, 20);
  for (int y = 0; y < 20; ++y) std::fill(flat.Row(y), flat.Row(y) + flat.stride(), std::uint8_t{30});
  EXPECT_TRUE(doc.ImageZm == flat);
  EXPECT_TRUE(doc.Image == flat);
  EXPECT_EQ(doc.edited, false);

  // 16-bit: the streak criterion is the high byte 222, on the raw values.
  IntMatrix raw;
  ASSERT_EQ(AllocIntMatrix(16, 20, raw), 0);
  for (int x = 0; x < 16; ++x)
    for (int y = 0; y < 20; ++y) raw[x][y] = 3000;
  for (int y = 4; y < 14; ++y) raw[7][y] = 60000, raw[11][y] = 56000;  // high bytes 234 and 218
  ImageDocument fits = RawDocument(raw, 16, 20, 20000, 2000);
  ASSERT_TRUE(BloomCommand(fits));
  IntMatrix expected = raw.Clone();
  RemoveBlooming(222 * 256, 5, 1, 16, 20, expected);
  EXPECT_EQ(expected[7][8], 3000);
  EXPECT_EQ(expected[11][8], 56000);
  ExpectRawWindow(fits, PlaneOf(expected, 16, 20), 20000, 2000);
}

TEST(FilterCommands, BloomOnALargePictureEqualsTheChannelsOneByOne) {
  // Large enough for the channel matrices to be filled on two threads.
  const int w = 700, h = 500;
  Picture base = RandomPicture(w, h, 6);
  std::mt19937 rng(6);
  std::uniform_int_distribution<int> px(0, w - 1), py(0, h - 40), ch(0, 2), len(3, 39);
  for (int k = 0; k < 300; ++k) {
    const int x = px(rng), y0 = py(rng), c = ch(rng), n = len(rng);
    for (int y = y0; y < y0 + n; ++y) base.Row(y)[3 * x + c] = 240;
  }
  Picture expected = base;
  for (int c = 0; c < 3; ++c) {
    IntMatrix m;
    ASSERT_EQ(AllocIntMatrix(w, h, m), 0);
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) m[x][y] = base.Row(y)[3 * x + c];
    RemoveBlooming(222, 5, 1, w, h, m);
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) expected.Row(y)[3 * x + c] = static_cast<std::uint8_t>(m[x][y]);
  }
  ASSERT_FALSE(expected == base);
  ImageDocument doc = ColourDocument(base);
  ASSERT_TRUE(BloomCommand(doc));
  EXPECT_TRUE(doc.ImageZm == expected);
  EXPECT_TRUE(doc.Image == expected);
}

TEST(FilterCommands, ComaDrawsOnTheShownPictureOnly) {
  const Picture base = RandomPicture(50, 40, 4);
  ImageDocument doc = ColourDocument(base);
  ASSERT_TRUE(ComaCommand(doc, {10, 30, 8.0}));
  EXPECT_TRUE(doc.Image == ComaCorrect(base, {10, 30, 8.0}));
  EXPECT_FALSE(doc.Image == base);
  EXPECT_TRUE(doc.ImageZm == base);
  EXPECT_EQ(doc.edited, true);
}

TEST(FilterCommands, GuideMissChangesTheShownPictureOnly) {
  const Picture base = RandomPicture(50, 40, 5);
  ImageDocument doc = ColourDocument(base);
  doc.Image = RenderContrast(base, 0.8);
  Picture expected = doc.Image;
  ASSERT_TRUE(GuideMissCancel(expected, {20, 2, 0}, 0.5));
  ASSERT_TRUE(GmcCommand(doc, {20, 2, 0}, 0.5));
  EXPECT_TRUE(doc.Image == expected);
  EXPECT_TRUE(doc.ImageZm == base);
  EXPECT_EQ(doc.edited, false);
}

}  // namespace
}  // namespace qirm
