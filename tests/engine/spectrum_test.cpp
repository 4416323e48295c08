// SPDX-License-Identifier: GPL-3.0-or-later
#include "stack/spectrum.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qirm {
namespace {

namespace fs = std::filesystem;

Picture Red(int w, int h, std::uint8_t red) {
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.SetColor(x, y, (33u << 16) | (66u << 8) | red);
  return p;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

int CountRed(const Picture& plot) {
  int n = 0;
  for (int y = 0; y < plot.height(); ++y)
    for (int x = 0; x < plot.width(); ++x) n += plot.Color(x, y) == kPenRed;
  return n;
}

class SpectrumFiles : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("qirm-spectrum-" + std::to_string(::getpid()) + "-" +
                                       testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, ec);
    fs::remove_all(dir, ec);
  }
  fs::path dir;
};

TEST(SpectrumFormat, SixSignificantDigitsWithoutTrailingZeros) {
  const std::pair<double, const char*> cases[] = {
      {127.5, "127.5"},        {100, "100"}, {12.345678, "12.3457"}, {0, "0"},         {255, "255"},
      {85.0 / 3, "28.3333"},   {0.1, "0.1"}, {1e-5, "1e-05"},        {64.25, "64.25"}, {199.99999, "200"},
      {1234567, "1.23457e+06"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatSpectrumValue(value), text) << value;
}

TEST(SpectrumFormat, DataFileLines) {
  EXPECT_EQ(SpectrumDataText({127.5, 100, 12.3456789}, 0),
            "# MERAVI-2 Spectrum Data \n0 127.5\n1 100\n2 12.3457\n");
  EXPECT_EQ(SpectrumDataText({}, 0), "# MERAVI-2 Spectrum Data \n");
}

TEST(ColumnProfile, MeansOfTheRedChannel) {
  // Column 0: red 128 in the top half, 0 below; column 1: 255, 0, 0.
  Picture p = Red(2, 4, 0);
  p.SetColor(0, 0, 128);
  p.SetColor(0, 1, 128);
  p.SetColor(1, 2, 255);
  const std::vector<double> profile = ColumnProfile(p, 0, 2, 0, 4);
  ASSERT_EQ(profile.size(), 2u);
  EXPECT_EQ(profile[0], 64.0);
  EXPECT_EQ(profile[1], 63.75);
  // Blue and green never count.
  EXPECT_EQ(ColumnProfile(Red(3, 3, 9), 0, 3, 0, 3), std::vector<double>(3, 9.0));
}

TEST(PenLine, StopsShortOfTheEndAndDropsOutsidePixels) {
  Picture p(10, 10);
  DrawPenLine(p, 2, 5, 6, 5, kPenRed);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(p.Color(x, 5) == kPenRed, x >= 2 && x < 6) << x;
  Picture q(10, 10);
  DrawPenLine(q, 3, 12, 3, 0, kPenRed);  // from below the picture
  for (int y = 0; y < 10; ++y) EXPECT_EQ(q.Color(3, y) == kPenRed, y >= 1) << y;
  Picture r(10, 10);
  DrawPenLine(r, 0, 0, 4, 2, kPenRed);
  EXPECT_EQ(CountRed(r), 4);  // one pixel per column, the end excluded
}

TEST(PlotFrame, EveryEdgePixelIsBlackAndTheInsideStays) {
  Picture plot(kPlotWidth, kPlotHeight);
  plot.SetColor(200, 200, kPenRed);
  DrawPlotFrame(plot);
  for (int x = 0; x < kPlotWidth; ++x) {
    ASSERT_EQ(plot.Color(x, 0), kPenBlack) << x;
    ASSERT_EQ(plot.Color(x, kPlotHeight - 1), kPenBlack) << x;
  }
  for (int y = 0; y < kPlotHeight; ++y) {
    ASSERT_EQ(plot.Color(0, y), kPenBlack) << y;
    ASSERT_EQ(plot.Color(kPlotWidth - 1, y), kPenBlack) << y;
  }
  EXPECT_EQ(plot.Color(1, 1), 0xFFFFFFu);
  EXPECT_EQ(plot.Color(200, 200), kPenRed);
}

class TraceSpectrumTest : public SpectrumFiles {
 protected:
  void Trace(const Picture& source) {
    doc.Image = source;
    TraceSpectrum(&doc, plot, range, (dir / "SPN").string(), false, file);
  }
  ImageDocument doc;
  Picture plot{kPlotWidth, kPlotHeight};
  std::optional<SpectrumRange> range;
  Status file;
};

TEST_F(TraceSpectrumTest, FullRedPlotsTheTopRow) {
  Trace(Red(513, 7, 255));
  ASSERT_TRUE(file.ok()) << file.message();
  // The first segment rises from (0, FH) to (0, 0); then the top row to the
  // last point, which a pen line leaves out.
  for (int y = 1; y < kPlotHeight; ++y) ASSERT_EQ(plot.Color(0, y), kPenRed) << y;
  for (int x = 0; x < 511; ++x) ASSERT_EQ(plot.Color(x, 0), kPenRed) << x;
  const std::string text = ReadAll(dir / "SPN");
  EXPECT_EQ(text.substr(0, 34), "# MERAVI-2 Spectrum Data \n0 255\n1 ");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 514);
  EXPECT_NE(text.find("\n512 255\n"), std::string::npos);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->x_begin, 0);
  EXPECT_EQ(range->x_end, 513);
  EXPECT_EQ(range->y_begin, 0);
  EXPECT_EQ(range->y_end, 7);
}

TEST_F(TraceSpectrumTest, BlackPlotsNothingButWritesZeros) {
  Trace(Red(20, 3, 0));
  EXPECT_EQ(CountRed(plot), 0);
  std::string expected = "# MERAVI-2 Spectrum Data \n";
  for (int x = 0; x < 20; ++x) expected += std::to_string(x) + " 0\n";
  EXPECT_EQ(ReadAll(dir / "SPN"), expected);
}

TEST_F(TraceSpectrumTest, WidePicturesUseEveryColumnAndTheWholePlot) {
  Trace(Red(1000, 2, 128));
  std::string text = ReadAll(dir / "SPN");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1001);
  EXPECT_EQ(SpectrumSpinPosition(range->x_end), 1000);
  // mean 128: py = trunc((1 - 128/255) * 393) = 195; the line reaches the
  // last point's neighbour near the right edge.
  EXPECT_EQ(plot.Color(kPlotWidth - 2, 195), kPenRed);
  Trace(Red(9000, 1, 10));
  text = ReadAll(dir / "SPN");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9001);
  EXPECT_NE(text.find("\n8999 10\n"), std::string::npos);
  EXPECT_EQ(range->x_end, 9000);
  EXPECT_EQ(SpectrumSpinPosition(range->x_end), kSpectrumSpinMax);
}

TEST_F(TraceSpectrumTest, EarlierProfilesStayOnThePlot) {
  // Mean 200 plots at py 84, mean 100 at py 238; columns 49 and 50 of 100
  // land at px 251 and 256.
  Trace(Red(100, 1, 200));
  EXPECT_EQ(plot.Color(253, 84), kPenRed);
  Trace(Red(100, 1, 100));
  EXPECT_EQ(plot.Color(253, 84), kPenRed);
  EXPECT_EQ(plot.Color(253, 238), kPenRed);
}

TEST_F(TraceSpectrumTest, NoActiveWindowDrawsOnlyTheFrame) {
  TraceSpectrum(nullptr, plot, range, (dir / "SPN").string(), true, file);
  EXPECT_TRUE(file.ok());
  EXPECT_FALSE(fs::exists(dir / "SPN"));
  EXPECT_EQ(plot.Color(0, 0), kPenBlack);
  EXPECT_FALSE(range);  // the range controls keep what they show
}

TEST_F(TraceSpectrumTest, UnwritableFileStillDrawsThePlot) {
  // The folder cannot be made: a plain file has its name.
  std::ofstream(dir / "data") << "in the way";
  doc.Image = Red(50, 2, 255);
  TraceSpectrum(&doc, plot, range, (dir / "data" / "SPN").string(), true, file);
  EXPECT_FALSE(file.ok());
  EXPECT_NE(file.message().find("data"), std::string::npos) << file.message();
  EXPECT_GT(CountRed(plot), 0);
  EXPECT_EQ(ReadAll(dir / "data"), "in the way");
}

TEST_F(SpectrumFiles, DataFileLivesUnderHomeAndItsFolderIsMade) {
  const char* old = std::getenv("HOME");
  const std::string saved = old ? old : "";
  ::setenv("HOME", dir.c_str(), 1);
  const std::string path = SpectrumDataPath();
  EXPECT_EQ(path, (dir / "data" / "SPN").string());
  EXPECT_TRUE(WriteSpectrumData(path, "x\n", true).ok());
  EXPECT_EQ(ReadAll(dir / "data" / "SPN"), "x\n");
  // Replaced, not appended.
  EXPECT_TRUE(WriteSpectrumData(path, "y\n", true).ok());
  EXPECT_EQ(ReadAll(dir / "data" / "SPN"), "y\n");
  if (old)
    ::setenv("HOME", saved.c_str(), 1);
  else
    ::unsetenv("HOME");
  // Without folder creation a missing folder is an error.
  EXPECT_FALSE(WriteSpectrumData((dir / "none" / "SPN").string(), "x\n", false).ok());
}

}  // namespace
}  // namespace qirm
