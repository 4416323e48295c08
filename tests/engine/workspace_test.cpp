#include "document/workspace.h"

#include <gtest/gtest.h>

#include "core/matrix.h"
#include "display/levels.h"

namespace qirm {
namespace {

ImageDocument& AddColourWindow(Workspace& ws, std::uint32_t colour) {
  ImageDocument& doc = ws.NewWindow();
  doc.FilterI = "1";
  doc.ImageZm = Picture(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) doc.ImageZm.SetColor(x, y, colour);
  doc.Image = doc.ImageZm;
  doc.DemX = "4";
  doc.DemY = "3";
  doc.ZomN = "1.00";
  return doc;
}

ImageDocument& AddRawWindow(Workspace& ws, int value, int max, int min) {
  IntMatrix raw;
  EXPECT_EQ(AllocIntMatrix(2, 2, raw), 0);
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 2; ++y) raw[x][y] = value;
  ImageDocument& doc = ws.NewWindow();
  doc.FilterI = "2";
  SplitRawPlanes(raw, 2, 2, doc.ImageZm, doc.ImageZm2);
  doc.Image = RenderRawLevels(raw, 2, 2, max, min);
  doc.DemX = doc.DemY = "2";
  doc.ZomN = "1.00";
  EXPECT_TRUE(ws.SetEdit2(std::to_string(max)));
  EXPECT_TRUE(ws.SetEdit3(std::to_string(min)));
  return doc;
}

TEST(Workspace, CommandsWithoutAWindowDoNothing) {
  Workspace ws;
  const MainState before = ws.main();
  bool changed = true;
  EXPECT_TRUE(ws.ContrastUp());
  EXPECT_TRUE(ws.SpinClick(Workspace::Spin::Maximum, 1));
  EXPECT_TRUE(ws.Zoom(ZoomDirection::In, changed));
  EXPECT_FALSE(changed);
  EXPECT_FALSE(ws.Separate());
  EXPECT_EQ(ws.main().Edit1, before.Edit1);
  EXPECT_EQ(ws.main().UpDown1, before.UpDown1);
}

TEST(Workspace, ColourGainAccumulatesFromTheUnchangedBase) {
  Workspace ws;
  ImageDocument& doc = AddColourWindow(ws, 200u | (240u << 8));  // red 200, green 240
  ASSERT_TRUE(ws.ContrastUp());
  EXPECT_EQ(doc.Contrast, "1.1");
  EXPECT_EQ(doc.Image.Row(0)[2], 220);
  EXPECT_EQ(doc.Image.Row(0)[1], 255);
  ASSERT_TRUE(ws.ContrastUp());
  EXPECT_EQ(doc.Contrast, "1.21");
  EXPECT_EQ(doc.Image.Row(0)[2], 242);  // trunc(200 * 1.21)
  EXPECT_EQ(doc.ImageZm.Row(0)[2], 200);
  ASSERT_TRUE(ws.ContrastDown());
  EXPECT_EQ(doc.Contrast, "1.1");

  doc.Contrast = "abc";
  const Status s = ws.ContrastUp();
  EXPECT_FALSE(s);
  EXPECT_EQ(s.message(), "'abc' is not a valid floating point value");
}

TEST(Workspace, LevelSpanFromTheMainEdits) {
  Workspace ws;
  ImageDocument& doc = AddRawWindow(ws, 900, 1000, 200);
  ASSERT_TRUE(ws.ContrastUp());
  EXPECT_EQ(ws.main().Edit2, "840");
  EXPECT_EQ(doc.MAX, "840");
  EXPECT_EQ(ws.main().UpDown1, 840);
  EXPECT_EQ(doc.Image.Row(0)[0], 255);  // 900 lies above the new maximum
  ASSERT_TRUE(ws.SetEdit2("1000"));
  ASSERT_TRUE(ws.ContrastDown());
  EXPECT_EQ(ws.main().Edit2, "1159");
  EXPECT_EQ(doc.MIN, "200");

  ImageDocument& netpbm = ws.NewWindow();
  netpbm.FilterI = "3";
  netpbm.Contrast = "1.0";
  ASSERT_TRUE(ws.ContrastUp());
  EXPECT_EQ(netpbm.Contrast, "1.0");
  EXPECT_EQ(ws.main().Edit2, "1159");
}

TEST(Workspace, SpinClicksStepOnlyFromTheWindowsLevel) {
  Workspace ws;
  ImageDocument& doc = AddRawWindow(ws, 900, 1000, 200);
  ASSERT_TRUE(ws.SpinClick(Workspace::Spin::Maximum, +1));
  EXPECT_EQ(doc.MAX, "1010");
  EXPECT_EQ(ws.main().Edit2, "1010");
  ASSERT_TRUE(ws.SpinClick(Workspace::Spin::Minimum, -1));
  EXPECT_EQ(doc.MIN, "190");
  EXPECT_EQ(ws.main().Edit3, "190");
  // The spin followed another window: the click only brings it back.
  ws.main().UpDown1 = 5;
  ASSERT_TRUE(ws.SpinClick(Workspace::Spin::Maximum, +1));
  EXPECT_EQ(doc.MAX, "1010");
  EXPECT_EQ(ws.main().UpDown1, 1010);
  // Levels above 32767 fit the spin.
  ASSERT_TRUE(ws.SetEdit2("40000"));
  ASSERT_TRUE(ws.SpinClick(Workspace::Spin::Maximum, +1));
  EXPECT_EQ(doc.MAX, "40010");
  ASSERT_TRUE(ws.SetEdit2("65535"));
  ASSERT_TRUE(ws.SpinClick(Workspace::Spin::Maximum, +1));
  EXPECT_EQ(doc.MAX, "65535");
}

TEST(Workspace, ZoomTexts) {
  Workspace ws;
  ImageDocument& doc = AddColourWindow(ws, 0);
  bool changed = false;
  ASSERT_TRUE(ws.Zoom(ZoomDirection::In, changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(doc.ZomN, "2");
  EXPECT_EQ(ws.main().Edit1, "200.0%");
  ASSERT_TRUE(ws.Zoom(ZoomDirection::Out, changed));
  ASSERT_TRUE(ws.Zoom(ZoomDirection::Out, changed));
  EXPECT_EQ(doc.ZomN, "0.5");
  EXPECT_EQ(ws.main().Edit1, "50.0%");
  doc.ZomN = "16";
  ASSERT_TRUE(ws.Zoom(ZoomDirection::In, changed));
  EXPECT_FALSE(changed);
  EXPECT_EQ(doc.ZomN, "16");

  ws.Activate(&doc);
  EXPECT_EQ(ws.main().Edit1, "1600.0%");
}

TEST(Workspace, SeparationMakesThreeGreyWindowsFromTheBase) {
  Workspace ws;
  ImageDocument& source = AddColourWindow(ws, 10u << 16 | 20u << 8 | 30u);  // blue 10, green 20, red 30
  source.Image = RenderContrast(source.ImageZm, 2.0);  // what is shown does not matter
  ASSERT_TRUE(ws.Separate());
  ASSERT_EQ(ws.windows().size(), 4u);
  const struct {
    const char* caption;
    std::uint32_t grey;
  } expected[] = {{"Blue", 0x0A0A0A}, {"Green", 0x141414}, {"Red", 0x1E1E1E}};
  for (int i = 0; i < 3; ++i) {
    const ImageDocument& w = *ws.windows()[i + 1];
    EXPECT_EQ(w.Caption, expected[i].caption);
    EXPECT_EQ(w.Image.Color(3, 2), expected[i].grey);
    EXPECT_EQ(w.ImageZm, w.Image);
    EXPECT_EQ(w.FilterI, "1");
    EXPECT_EQ(w.ColN, "3");
    EXPECT_EQ(w.ZomN, "1.00");
    EXPECT_EQ(w.DemX + "x" + w.DemY, "4x3");
    EXPECT_EQ(w.Contrast, "1.0");
  }
  EXPECT_EQ(ws.active(), ws.windows()[3].get());
  EXPECT_EQ(ws.main().Edit2, "255");
  EXPECT_EQ(ws.main().UpDown1, 255);

  AddRawWindow(ws, 1, 2, 0);
  EXPECT_FALSE(ws.Separate());
  ws.CloseAll();
  EXPECT_TRUE(ws.windows().empty());
  EXPECT_EQ(ws.active(), nullptr);
}

}  // namespace
}  // namespace qirm
