// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/workspace.h"

#include <gtest/gtest.h>

#include "core/matrix.h"
#include "display/levels.h"
#include "display/window_commands.h"
#include "document/state_texts.h"

namespace qirm {
namespace {

ImageDocument& AddColourWindow(Workspace& ws, std::uint32_t colour) {
  ImageDocument& doc = ws.NewWindow();
  doc.kind = WindowKind::kColour;
  doc.ImageZm = Picture(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) doc.ImageZm.SetColor(x, y, colour);
  doc.Image = doc.ImageZm;
  doc.width = 4;
  doc.height = 3;
  doc.zoom = 1.00;
  return doc;
}

ImageDocument& AddRawWindow(Workspace& ws, int value, int max, int min) {
  IntMatrix raw;
  EXPECT_EQ(AllocIntMatrix(2, 2, raw), 0);
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 2; ++y) raw[x][y] = value;
  ImageDocument& doc = ws.NewWindow();
  doc.kind = WindowKind::kRaw16;
  FillRawPlane(raw, 2, 2, doc.raw);
  doc.Image = RenderRawLevels(raw, 2, 2, max, min);
  doc.width = doc.height = 2;
  doc.zoom = 1.00;
  EXPECT_TRUE(ws.TypeMaxLevel(std::to_string(max)));
  EXPECT_TRUE(ws.TypeMinLevel(std::to_string(min)));
  return doc;
}

TEST(Workspace, CommandsWithoutAWindowDoNothing) {
  Workspace ws;
  const MainState before = ws.main();
  bool changed = true;
  EXPECT_TRUE(ContrastUp(ws));
  EXPECT_TRUE(SpinClick(ws, LevelSpin::kMaximum, 1));
  EXPECT_TRUE(Zoom(ws, ZoomDirection::In, changed));
  EXPECT_FALSE(changed);
  EXPECT_TRUE(Separate(ws));
  EXPECT_TRUE(ws.windows().empty());
  EXPECT_EQ(ws.main().zoom, before.zoom);
  EXPECT_EQ(ws.main().max_spin, before.max_spin);
}

TEST(Workspace, ColourGainAccumulatesFromTheUnchangedBase) {
  Workspace ws;
  ImageDocument& doc = AddColourWindow(ws, 200u | (240u << 8));  // red 200, green 240
  ASSERT_TRUE(ContrastUp(ws));
  EXPECT_EQ(GainText(doc), "1.1");
  EXPECT_EQ(doc.Image.Row(0)[2], 220);
  EXPECT_EQ(doc.Image.Row(0)[1], 255);
  ASSERT_TRUE(ContrastUp(ws));
  EXPECT_EQ(GainText(doc), "1.21");
  EXPECT_EQ(doc.Image.Row(0)[2], 242);  // trunc(200 * 1.21)
  EXPECT_EQ(doc.ImageZm.Row(0)[2], 200);
  ASSERT_TRUE(ContrastDown(ws));
  EXPECT_EQ(GainText(doc), "1.1");
}

TEST(Workspace, LevelSpanFromTheMainEdits) {
  Workspace ws;
  ImageDocument& doc = AddRawWindow(ws, 900, 1000, 200);
  ASSERT_TRUE(ContrastUp(ws));
  EXPECT_EQ(ws.main().max_edit.text, "840");
  EXPECT_EQ(doc.max_level, 840);
  EXPECT_EQ(ws.main().max_spin, 840);
  EXPECT_EQ(doc.Image.Row(0)[0], 255);  // 900 lies above the new maximum
  ASSERT_TRUE(ws.TypeMaxLevel("1000"));
  ASSERT_TRUE(ContrastDown(ws));
  EXPECT_EQ(ws.main().max_edit.text, "1159");
  EXPECT_EQ(doc.min_level, 200);

  ImageDocument& netpbm = ws.NewWindow();
  netpbm.kind = WindowKind::kNetpbm;
  const Status refused = ContrastUp(ws);
  EXPECT_EQ(refused.message().rfind("コントラスト H: Netpbmの画像には使えません。", 0), 0u)
      << refused.message();
  EXPECT_EQ(GainText(netpbm), "1.0");
  EXPECT_EQ(ws.main().max_edit.text, "1159");
}

TEST(Workspace, TypedLevelTextsStayInTheEditUntilTheyParse) {
  Workspace ws;
  ImageDocument& doc = AddRawWindow(ws, 900, 1000, 200);
  ASSERT_TRUE(ws.TypeMaxLevel(" 1200"));
  EXPECT_EQ(ws.main().max_edit.text, " 1200");
  EXPECT_EQ(doc.max_level, 1200);

  const Status typed = ws.TypeMaxLevel("12a");
  EXPECT_EQ(typed.message(), "'12a' is not a valid integer value");
  EXPECT_EQ(ws.main().max_edit.text, "12a");
  EXPECT_EQ(doc.max_level, 1200);
  // A command that needs the level reports the text the user left there.
  const Status up = ContrastUp(ws);
  EXPECT_EQ(up.message(), "'12a' is not a valid integer value");
  // A spin click steps from the window's level and writes over the text.
  ASSERT_TRUE(SpinClick(ws, LevelSpin::kMaximum, +1));
  EXPECT_EQ(ws.main().max_edit.text, "1210");
}

TEST(Workspace, StateTextsOfAFreshAndAnUsedWindow) {
  ImageDocument fresh;
  MainState main;
  const std::vector<std::pair<std::string, std::string>> expected_fresh = {
      {"Caption", "Child"}, {"FilterI", ""}, {"DemX", ""},        {"DemY", ""},     {"ColN", ""},
      {"ZomN", ""},         {"UndoFlg", ""}, {"Contrast", "1.0"}, {"Average", " "}, {"Minimum", ""},
      {"MAX", "255"},       {"MIN", "0"},    {"Edit1", ""},       {"Edit2", "0"},   {"Edit3", "0"},
  };
  EXPECT_EQ(StateLines(fresh, main), expected_fresh);

  Workspace ws;
  ImageDocument& doc = AddColourWindow(ws, 0);
  doc.mean = 1499.75;
  doc.minimum = -3;
  doc.edited = true;
  bool changed = false;
  ASSERT_TRUE(Zoom(ws, ZoomDirection::In, changed));
  ASSERT_TRUE(Zoom(ws, ZoomDirection::Out, changed));
  ASSERT_TRUE(ContrastUp(ws));
  ASSERT_TRUE(ContrastDown(ws));
  const std::vector<std::pair<std::string, std::string>> expected_used = {
      {"Caption", "Child"}, {"FilterI", "1"}, {"DemX", "4"},       {"DemY", "3"},          {"ColN", ""},
      {"ZomN", "1"},        {"UndoFlg", "1"}, {"Contrast", "1"},   {"Average", "1499.75"}, {"Minimum", "-3"},
      {"MAX", "255"},       {"MIN", "0"},     {"Edit1", "100.0%"}, {"Edit2", "0"},         {"Edit3", "0"},
  };
  EXPECT_EQ(StateLines(doc, ws.main()), expected_used);
}

TEST(Workspace, SpinClicksStepOnlyFromTheWindowsLevel) {
  Workspace ws;
  ImageDocument& doc = AddRawWindow(ws, 900, 1000, 200);
  ASSERT_TRUE(SpinClick(ws, LevelSpin::kMaximum, +1));
  EXPECT_EQ(doc.max_level, 1010);
  EXPECT_EQ(ws.main().max_edit.text, "1010");
  ASSERT_TRUE(SpinClick(ws, LevelSpin::kMinimum, -1));
  EXPECT_EQ(doc.min_level, 190);
  EXPECT_EQ(ws.main().min_edit.text, "190");
  // The spin followed another window: the click only brings it back.
  ws.main().max_spin = 5;
  ASSERT_TRUE(SpinClick(ws, LevelSpin::kMaximum, +1));
  EXPECT_EQ(doc.max_level, 1010);
  EXPECT_EQ(ws.main().max_spin, 1010);
  // Levels above 32767 fit the spin.
  ASSERT_TRUE(ws.TypeMaxLevel("40000"));
  ASSERT_TRUE(SpinClick(ws, LevelSpin::kMaximum, +1));
  EXPECT_EQ(doc.max_level, 40010);
  ASSERT_TRUE(ws.TypeMaxLevel("65535"));
  ASSERT_TRUE(SpinClick(ws, LevelSpin::kMaximum, +1));
  EXPECT_EQ(doc.max_level, 65535);
}

TEST(Workspace, SetZoomTakesTheNearestAllowedZoom) {
  Workspace ws;
  bool changed = true;
  ASSERT_TRUE(SetZoom(ws, 2, changed));  // no window: nothing
  EXPECT_FALSE(changed);
  ImageDocument& doc = AddColourWindow(ws, 0);
  ASSERT_TRUE(SetZoom(ws, 3, changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(ZoomFactorText(doc), "4");
  EXPECT_EQ(ZoomPercentText(ws.main()), "400.0%");
  ASSERT_TRUE(SetZoom(ws, 4, changed));
  EXPECT_FALSE(changed);
  ASSERT_TRUE(SetZoom(ws, 1, changed));
  EXPECT_EQ(ZoomFactorText(doc), "1");
  EXPECT_EQ(ZoomPercentText(ws.main()), "100.0%");
  EXPECT_FALSE(SetZoom(ws, 0, changed));
  EXPECT_EQ(*doc.zoom, 1);
}

TEST(Workspace, ZoomTexts) {
  Workspace ws;
  ImageDocument& doc = AddColourWindow(ws, 0);
  bool changed = false;
  ASSERT_TRUE(Zoom(ws, ZoomDirection::In, changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(ZoomFactorText(doc), "2");
  EXPECT_EQ(ZoomPercentText(ws.main()), "200.0%");
  ASSERT_TRUE(Zoom(ws, ZoomDirection::Out, changed));
  ASSERT_TRUE(Zoom(ws, ZoomDirection::Out, changed));
  EXPECT_EQ(ZoomFactorText(doc), "0.5");
  EXPECT_EQ(ZoomPercentText(ws.main()), "50.0%");
  doc.zoom = 16;
  ASSERT_TRUE(Zoom(ws, ZoomDirection::In, changed));
  EXPECT_FALSE(changed);
  EXPECT_EQ(ZoomFactorText(doc), "16");

  ws.Activate(&doc);
  EXPECT_EQ(ZoomPercentText(ws.main()), "1600.0%");
}

TEST(Workspace, SeparationMakesThreeGreyWindowsFromTheBase) {
  Workspace ws;
  ImageDocument& source = AddColourWindow(ws, 10u << 16 | 20u << 8 | 30u);  // blue 10, green 20, red 30
  source.Image = RenderContrast(source.ImageZm, 2.0);                       // what is shown does not matter
  ASSERT_TRUE(Separate(ws));
  ASSERT_EQ(ws.windows().size(), 4u);
  const struct {
    const char* caption;
    std::uint32_t grey;
  } expected[] = {{"Blue", 0x0A0A0A}, {"Green", 0x141414}, {"Red", 0x1E1E1E}};
  for (int i = 0; i < 3; ++i) {
    const ImageDocument& w = *ws.windows()[i + 1];
    EXPECT_EQ(w.caption, expected[i].caption);
    EXPECT_EQ(w.Image.Color(3, 2), expected[i].grey);
    EXPECT_EQ(w.ImageZm, w.Image);
    EXPECT_EQ(w.kind, WindowKind::kColour);
    EXPECT_EQ(w.channels, 3);
    EXPECT_EQ(ZoomFactorText(w), "1.00");
    EXPECT_EQ(w.width, 4);
    EXPECT_EQ(w.height, 3);
    EXPECT_EQ(GainText(w), "1.0");
  }
  EXPECT_EQ(ws.active(), ws.windows()[3].get());
  EXPECT_EQ(ws.main().max_edit.text, "255");
  EXPECT_EQ(ws.main().max_spin, 255);

  // A 16-bit window has no colours to separate: the message says so and no
  // window is made.
  AddRawWindow(ws, 1, 2, 0);
  const Status raw = Separate(ws);
  EXPECT_FALSE(raw);
  EXPECT_EQ(raw.message().rfind("RGB分解: 16ビットの画像には使えません。", 0), 0u) << raw.message();
  EXPECT_NE(raw.message().find("色がありません"), std::string::npos) << raw.message();
  EXPECT_EQ(ws.windows().size(), 5u);
  ws.CloseAll();
  EXPECT_TRUE(ws.windows().empty());
  EXPECT_EQ(ws.active(), nullptr);
}

}  // namespace
}  // namespace qirm
