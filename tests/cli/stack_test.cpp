// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli composite and spectrum, end to end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/save_image.h"
#include "core/bmp_file.h"
#include "core/matrix.h"
#include "display/levels.h"
#include "stack/composite.h"
#include "stack/spectrum.h"
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

class StackCliTest : public test::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    for (unsigned k = 0; k < 4; ++k) {
      m_pictures.push_back(RandomPicture(19, 11, k + 1));
      ASSERT_TRUE(
          WritePictureFile(Path("p" + std::to_string(k) + ".bmp"), m_pictures.back(), PictureFormat::kBmp)
              .ok());
    }
    // The data file must never land in the real home folder.
    const char* home = std::getenv("HOME");
    m_home = home ? home : "";
    m_had_home = home != nullptr;
    ::setenv("HOME", m_dir.c_str(), 1);
  }
  void TearDown() override {
    if (m_had_home)
      ::setenv("HOME", m_home.c_str(), 1);
    else
      ::unsetenv("HOME");
    CliFixture::TearDown();
  }
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }
  Picture ReadBmp(const std::string& name) {
    Picture p;
    EXPECT_TRUE(ReadBmpFile(Path(name), p).ok());
    return p;
  }

  std::vector<Picture> m_pictures;
  std::string m_home;
  bool m_had_home = false;
};

TEST_F(StackCliTest, EveryMethodGivesTheEnginesPicture) {
  std::vector<const Picture*> sources;
  for (const Picture& p : m_pictures) sources.push_back(&p);
  const std::pair<const char*, CompositeMethod> methods[] = {{"average", CompositeMethod::Average},
                                                             {"sum", CompositeMethod::Sum},
                                                             {"maximum", CompositeMethod::Maximum},
                                                             {"minimum", CompositeMethod::Minimum},
                                                             {"expected", CompositeMethod::Expected}};
  for (const auto& [name, method] : methods) {
    const CliResult r = Run({"composite", name, "p0.bmp", "p1.bmp", "p2.bmp", "p3.bmp", "-o", "out.bmp"});
    ASSERT_EQ(r.code, 0) << name << ": " << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadBmp("out.bmp"), StackPictures(sources, method)) << name;
  }
}

TEST_F(StackCliTest, AverageWorkedNumberAndOtherFormats) {
  Picture a(2, 1), b(2, 1);
  a.SetColor(0, 0, 10);
  b.SetColor(0, 0, 11);
  ASSERT_TRUE(WritePictureFile(Path("a.bmp"), a, PictureFormat::kBmp).ok());
  ASSERT_TRUE(WritePictureFile(Path("b.bmp"), b, PictureFormat::kBmp).ok());
  ASSERT_EQ(Run({"composite", "average", "a.bmp", "b.bmp", "-o", "ab.bmp"}).code, 0);
  EXPECT_EQ(ReadBmp("ab.bmp").Color(0, 0), 10u);  // trunc(21 / 2)
  EXPECT_EQ(ReadBmp("ab.bmp").Color(1, 0), 0xFFFFFFu);
  ASSERT_EQ(Run({"composite", "maximum", "a.bmp", "b.bmp", "-o", "ab.png"}).code, 0);
  EXPECT_GT(test::ReadAll(m_dir / "ab.png").size(), 8u);
}

TEST_F(StackCliTest, SameCaptionsStillStackEveryFile) {
  // Netpbm windows are all called "Child"; each file counts once.
  Write("a.ppm", test::Ppm6Bytes(1, 1, {100, 0, 0}));
  Write("b.ppm", test::Ppm6Bytes(1, 1, {200, 0, 0}));
  const CliResult r = Run({"composite", "average", "a.ppm", "b.ppm", "-o", "out.bmp"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadBmp("out.bmp").Color(0, 0), 150u);
}

TEST_F(StackCliTest, CompositeFailuresLeaveNoOutput) {
  ASSERT_TRUE(WritePictureFile(Path("wide.bmp"), RandomPicture(20, 11, 9), PictureFormat::kBmp).ok());
  CliResult r = Run({"composite", "average", "p0.bmp", "wide.bmp", "-o", "out.bmp"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(
      r.err,
      "qirm-cli: composite: \"wide.bmp\" is 20 x 11, the first image \"p0.bmp\" is 19 x 11; nothing was "
      "stacked\n");
  EXPECT_FALSE(std::filesystem::exists(m_dir / "out.bmp"));

  r = Run({"composite", "average", "p0.bmp", "missing.bmp", "-o", "out.bmp"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("missing.bmp"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(m_dir / "out.bmp"));

  struct Usage {
    std::vector<std::string> args;
  };
  const Usage usages[] = {{{"composite"}},
                          {{"composite", "median", "p0.bmp", "-o", "o.bmp"}},
                          {{"composite", "average", "-o", "o.bmp"}},
                          {{"composite", "average", "p0.bmp"}},
                          {{"composite", "average", "p0.bmp", "-o"}},
                          {{"composite", "average", "p0.bmp", "--state", "-o", "o.bmp"}}};
  for (const Usage& u : usages) {
    r = Run(u.args);
    EXPECT_EQ(r.code, 2) << u.args.size();
    EXPECT_NE(r.err.find("usage:"), std::string::npos);
  }
  EXPECT_EQ(Run({"composite", "average", "p0.bmp", "-o", "o.gif"}).code, 1);
}

TEST_F(StackCliTest, SixteenBitFramesStackTheirRawValues) {
  // Two 30 x 30 frames: a ramp and a flat 2000 with one bright pixel.
  const int w = 30, h = 30;
  std::vector<int> a(w * h), b(w * h, 2000);
  for (int i = 0; i < w * h; ++i) a[i] = 1000 + 7 * i;
  b[15 * w + 15] = 60000;
  Write("a.fits", test::Fits16Bytes(w, h, a));
  Write("b.fits", test::Fits16Bytes(w, h, b));
  const CliResult r = Run({"composite", "average", "a.fits", "b.fits", "-o", "out.bmp"});
  ASSERT_EQ(r.code, 0) << r.err;
  // The window "New" shows the averaged raw values under the levels an
  // opened frame of them would get.
  IntMatrix raw;
  ASSERT_EQ(AllocIntMatrix(w, h, raw), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) raw[x][y] = (a[y * w + x] + b[y * w + x]) / 2;
  const InitialLevelsResult levels = InitialLevels(raw, w, h);
  EXPECT_EQ(ReadBmp("out.bmp"), RenderRawLevels(raw, w, h, levels.max, levels.min));

  // A 16-bit frame and a picture in one stack: refused, nothing written.
  const CliResult mixed = Run({"composite", "maximum", "a.fits", "p0.bmp", "-o", "mixed.bmp"});
  EXPECT_EQ(mixed.code, 1);
  EXPECT_EQ(
      mixed.err.rfind(
          "qirm-cli: コンポジット: 16ビットの画像「a.fits」とカラー画像「p0.bmp」は一緒に合成できません。",
          0),
      0u)
      << mixed.err;
  EXPECT_FALSE(std::filesystem::exists(m_dir / "mixed.bmp"));
}

TEST_F(StackCliTest, SpectrumWritesTheDataFileAndThePlot) {
  // Red 128 over 0 in column 0, 255 in column 1, 1 / 3 in column 2.
  Write("s.ppm", test::Ppm6Bytes(3, 2,
                                 {128, 0, 0, 255, 9, 9, 1, 0, 0,  //
                                  0, 0, 0, 255, 9, 9, 0, 0, 0}));
  const CliResult r = Run({"spectrum", "s.ppm", "-o", "spn.txt", "--plot", "plot.bmp"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(test::ReadAll(m_dir / "spn.txt"), "# MERAVI-2 Spectrum Data \n0 64\n1 255\n2 0.5\n");
  const Picture plot = ReadBmp("plot.bmp");
  ASSERT_EQ(plot.width(), kPlotWidth);
  ASSERT_EQ(plot.height(), kPlotHeight);
  EXPECT_EQ(plot.Color(0, 0), kPenBlack);
  // Column 0 at (0, 294): the first segment climbs from (0, 393) to it.
  EXPECT_EQ(plot.Color(0, 300), kPenRed);
  EXPECT_EQ(plot.Color(100, 100), 0xFFFFFFu);
  // Nothing went to the fixed place.
  EXPECT_FALSE(std::filesystem::exists(m_dir / "data"));
}

TEST_F(StackCliTest, SpectrumOfAFitsFrameUsesTheShownPicture) {
  std::vector<int> raw(30 * 30, 1500);
  raw[10 * 30 + 10] = 1000;  // levels 1000 .. 1888
  Write("f.fits", test::Fits16Bytes(30, 30, raw));
  const CliResult r = Run({"spectrum", "f.fits", "-o", "spn"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string text = test::ReadAll(m_dir / "spn");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 31);
  EXPECT_EQ(text.rfind("# MERAVI-2 Spectrum Data \n0 ", 0), 0u);
}

TEST_F(StackCliTest, SpectrumFailures) {
  Write("s.ppm", test::Ppm6Bytes(1, 1, {1, 2, 3}));
  CliResult r = Run({"spectrum", "s.ppm", "-o", "no/such/folder/spn"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("no/such/folder/spn"), std::string::npos) << r.err;
  EXPECT_EQ(Run({"spectrum", "s.ppm"}).code, 2);
  EXPECT_EQ(Run({"spectrum", "-o", "x"}).code, 2);
  EXPECT_EQ(Run({"spectrum", "s.ppm", "t.ppm", "-o", "x"}).code, 2);
  EXPECT_EQ(Run({"spectrum", "s.ppm", "-o", "x", "--plot", "p.gif"}).code, 1);
  EXPECT_EQ(Run({"spectrum", "missing.bmp", "-o", "x"}).code, 1);
}

}  // namespace
}  // namespace qirm
