// SPDX-License-Identifier: GPL-3.0-or-later
// 16-bit windows keep their file's BZERO and BSCALE: the readout, the level
// edits and the state texts speak in the physical values other FITS programs
// show, while the raw data stay stored + 32768.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "app/star_width.h"
#include "display/window_commands.h"
#include "document/state_texts.h"
#include "document/workspace.h"
#include "fits_test_util.h"

namespace qirm {
namespace {

using fits_test::TempDir;

ImageDocument Scaled(double bzero, double bscale) {
  ImageDocument doc;
  doc.kind = WindowKind::kRaw16;
  doc.scaling.bzero = bzero;
  doc.scaling.bscale = bscale;
  return doc;
}

TEST(PhysicalValues, TextsOfRawValues) {
  struct Case {
    double bzero, bscale;
    double raw;
    const char* text;
  };
  const Case cases[] = {
      {32768, 1, 32881, "32881"},  // camera frames: the raw value itself
      {32768, 1, 0, "0"},
      {32768, 1, 65535, "65535"},
      {0, 1, 32881, "113"},  // signed without BZERO
      {0, 1, 0, "-32768"},
      {0, 1, 32767, "-1"},
      {1500, 0.05, 32768, "1500"},
      {1500, 0.05, 32769, "1500.05"},
      {1500, 0.05, 32767, "1499.95"},
      {1500, 0.05, 32770, "1500.10"},  // never fewer decimals than a step needs
      {1500, 0.045777764213996, 32768 - 29416, "153.40"},
      {0.5, 1, 32768, "0.5"},
      {-1e20, 1, 0, "-1E20"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bzero) + " " + std::to_string(c.bscale) + " " + std::to_string(c.raw));
    EXPECT_EQ(PhysicalText(Scaled(c.bzero, c.bscale), c.raw), c.text);
  }
}

TEST(PhysicalValues, TypedLevelsGoToTheNearestRawLevel) {
  Workspace ws;
  ImageDocument& doc = ws.NewWindow();
  doc = Scaled(1500, 0.05);
  struct Case {
    const char* typed;
    int raw;
  };
  // 1500.07 lies 0.02 above 1500.05 and 0.03 below 1500.10.
  const Case cases[] = {{"1500", 32768},   {"1500.05", 32769}, {"1500.07", 32769},
                        {"1499.9", 32766}, {"0", 2768},        {"-138.4", 0}};
  for (const Case& c : cases) {
    ASSERT_TRUE(ws.TypeMaxLevel(c.typed).ok()) << c.typed;
    EXPECT_EQ(doc.max_level, c.raw) << c.typed;
    EXPECT_EQ(ws.main().max_edit.text, c.typed);
    ASSERT_TRUE(ws.TypeMinLevel(c.typed).ok()) << c.typed;
    EXPECT_EQ(doc.min_level, c.raw) << c.typed;
  }
  // Not a number: the edit keeps the text, the window its level.
  const int before = doc.max_level;
  const Status s = ws.TypeMaxLevel("1500,05");
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.message(), RealConversionError("1500,05"));
  EXPECT_EQ(doc.max_level, before);
  EXPECT_FALSE(ws.main().max_edit.value);

  // Signed frames without BZERO: integral physical levels, typed as
  // integers, held as raw = physical + 32768.
  doc = Scaled(0, 1);
  ASSERT_TRUE(ws.TypeMaxLevel("113").ok());
  EXPECT_EQ(doc.max_level, 32881);
  ASSERT_TRUE(ws.TypeMinLevel("-40").ok());
  EXPECT_EQ(doc.min_level, 32728);
  EXPECT_EQ(ws.TypeMaxLevel("113.5").message(), IntConversionError("113.5"));

  // What the program writes reads back to the same raw level.
  doc = Scaled(1500, 0.045777764213996);
  for (int raw : {0, 1, 2, 3395, 32768, 65535}) {
    ws.SetMaxLevel(raw);
    ASSERT_TRUE(ws.TypeMaxLevel(ws.main().max_edit.text).ok());
    EXPECT_EQ(doc.max_level, raw) << ws.main().max_edit.text;
  }
}

TEST(PhysicalValues, ContrastStepsShowPhysicalLevels) {
  Workspace ws;
  ImageDocument& doc = ws.NewWindow();
  doc = Scaled(1500, 0.05);
  doc.raw = RawPlane(2, 2);
  doc.raw.values.assign(4, 65535);
  doc.Image = Picture(2, 2);
  ws.SetMinLevel(32768);
  ws.SetMaxLevel(32768 + 1000);
  EXPECT_EQ(ws.main().max_edit.text, "1550");
  ASSERT_TRUE(ContrastUp(ws).ok());
  EXPECT_EQ(doc.max_level, 32768 + 800);
  EXPECT_EQ(ws.main().max_edit.text, "1540");
  ASSERT_TRUE(ContrastDown(ws).ok());
  EXPECT_EQ(doc.max_level, 32768 + 959);  // 800 x 1.2 just below 960
  EXPECT_EQ(ws.main().max_edit.text, "1547.95");
  const auto lines = StateLines(doc, ws.main());
  EXPECT_EQ(lines[10].second, "1547.95");  // MAX
  EXPECT_EQ(lines[11].second, "1500");     // MIN
}

// ---------------------------------------------------------------- files written by astropy

// Writes the cases and, for each, "<name>.values": W H, the sampling grid's
// physical minimum and mean, then every pixel's value as astropy reads it,
// row after row. Exit status 3 without astropy.
const char kWriter[] = R"PY(
import sys, os, warnings
warnings.simplefilter('ignore')
try:
    import numpy as np
    from astropy.io import fits
except Exception:
    sys.exit(3)
folder = sys.argv[1]
rng = np.random.default_rng(13)
H, W = 27, 33
files = {}
files['signed_negative'] = fits.PrimaryHDU(rng.integers(-3000, 3000, (H, W)).astype(np.int16))
files['signed_positive'] = fits.PrimaryHDU(rng.integers(0, 20000, (H, W)).astype(np.int16))
files['bzero32768'] = fits.PrimaryHDU(rng.integers(0, 65536, (H, W)).astype(np.uint16))
hdu = fits.PrimaryHDU(rng.uniform(0, 3000, (H, W)))
hdu.scale('int16', bzero=1500, bscale=0.05)
files['bzero1500_bscale005'] = hdu
for name, hdu in files.items():
    path = os.path.join(folder, name + '.fits')
    hdu.writeto(path, overwrite=True)
    d = fits.getdata(path).astype(np.float64)
    grid = d[10:H - 10:4, 10:W - 10:4]
    with open(os.path.join(folder, name + '.values'), 'w') as f:
        f.write('%d %d %r %r\n' % (W, H, grid.min(), grid.mean()))
        f.write(' '.join(repr(v) for v in d.ravel()) + '\n')
with open(os.path.join(folder, 'cases.txt'), 'w') as f:
    f.write('\n'.join(files) + '\n')
)PY";

int RunPython(const TempDir& dir, const std::string& script, const std::string& args) {
  const char* python = "/usr/bin/python3";
  if (!std::filesystem::exists(python)) return -1;
  fits_test::WriteBytes(dir.File("writer.py"), script);
  const std::string command = std::string(python) + " '" + dir.File("writer.py") + "' " + args + " > '" +
                              dir.File("python.log") + "' 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The number after "Intensity = " in a readout.
double ReadoutValue(const std::string& label) {
  std::istringstream in(label.substr(label.find('=') + 1));
  double v = 0;
  in >> v;
  return v;
}

TEST(PhysicalValues, FilesWrittenByAstropyShowAstropysValues) {
  TempDir dir(true);
  const int status = RunPython(dir, kWriter, "'" + dir.path().string() + "'");
  if (status == -1 || status == 3) GTEST_SKIP() << "no python3 with astropy";
  ASSERT_EQ(status, 0) << fits_test::ReadBytes(dir.File("python.log"));
  std::istringstream names(fits_test::ReadBytes(dir.File("cases.txt")));
  int cases = 0;
  for (std::string name; std::getline(names, name); ++cases) {
    SCOPED_TRACE(name);
    std::istringstream values(fits_test::ReadBytes(dir.File(name + ".values")));
    int w = 0, h = 0;
    double grid_min = 0, grid_mean = 0;
    values >> w >> h >> grid_min >> grid_mean;
    std::vector<double> want(static_cast<std::size_t>(w) * h);
    for (double& v : want) values >> v;
    ASSERT_TRUE(values) << name;

    Workspace ws;
    ASSERT_TRUE(OpenImageFile(ws, dir.File(name + ".fits"), FileType::Fits).ok());
    const ImageDocument& doc = *ws.active();
    const bool integral = name != "bzero1500_bscale005";
    // astropy's scaled values are single precision: within 3e-4 of 3000,
    // far closer than the 0.05 between neighbouring raw values.
    const double tolerance = integral ? 0 : 5e-4;
    int wrong = 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        std::string label, error;
        ASSERT_TRUE(CursorReadout(doc, x, y, label, error));
        const double expected = want[static_cast<std::size_t>(y) * w + x];
        const std::string position = "   (" + std::to_string(x) + "," + std::to_string(y) + ")";
        bool same = label.size() > position.size() &&
                    label.compare(label.size() - position.size(), position.size(), position) == 0 &&
                    std::fabs(ReadoutValue(label) - expected) <= tolerance;
        if (integral)
          same = same && label == "Intensity = " + std::to_string(std::llround(expected)) + position;
        if (!same && wrong++ < 5) ADD_FAILURE() << label << " != " << expected;
      }
    }
    EXPECT_EQ(wrong, 0);

    // The levels and the sampling statistics, as --state prints them.
    double shown = 0;
    std::map<std::string, std::string> state;
    for (const auto& [key, value] : StateLines(doc, ws.main())) state[key] = value;
    ASSERT_TRUE(ParseReal(state["MIN"], shown));
    EXPECT_NEAR(shown, grid_min, tolerance);
    EXPECT_EQ(state["Minimum"], state["MIN"]);
    EXPECT_EQ(state["Edit3"], state["MIN"]);
    EXPECT_EQ(state["Edit2"], state["MAX"]);
    ASSERT_TRUE(ParseReal(state["Average"], shown));
    EXPECT_NEAR(shown, grid_mean, integral ? 1e-9 : 1e-4);
    // MAX is the raw level 2 x (mean - min) + min truncated, shown physical.
    ASSERT_TRUE(ParseReal(state["MAX"], shown));
    EXPECT_NEAR(shown, 2 * (grid_mean - grid_min) + grid_min, std::fabs(doc.scaling.bscale) + tolerance);
  }
  EXPECT_EQ(cases, 4);
}

TEST(PhysicalValues, CameraFramesKeepTheirTexts) {
  TempDir dir(true);
  std::vector<std::uint16_t> stored;
  for (int i = 0; i < 30 * 30; ++i) stored.push_back(static_cast<std::uint16_t>(i * 73 % 65536 ^ 0x8000));
  fits_test::WriteBytes(
      dir.File("camera.fits"),
      fits_test::Header({fits_test::Fixed("SIMPLE", "T"), fits_test::Fixed("BITPIX", "16"),
                         fits_test::Fixed("NAXIS", "2"), fits_test::Fixed("NAXIS1", "30"),
                         fits_test::Fixed("NAXIS2", "30"), fits_test::Fixed("BZERO", "32768"),
                         fits_test::Fixed("BSCALE", "1.0"), fits_test::EndCard()}) +
          fits_test::PadBlock(fits_test::Data16(stored)));
  Workspace ws;
  ASSERT_TRUE(OpenImageFile(ws, dir.File("camera.fits"), FileType::Fits).ok());
  const ImageDocument& doc = *ws.active();
  std::string label, error;
  ASSERT_TRUE(CursorReadout(doc, 3, 2, label, error));
  EXPECT_EQ(label, "Intensity = " + std::to_string((2 * 30 + 3) * 73) + "   (3,2)");
  EXPECT_EQ(ws.main().max_edit.text, std::to_string(doc.max_level));
  EXPECT_EQ(ws.main().min_edit.text, std::to_string(doc.min_level));
  // Typed levels are integers, as they always were.
  EXPECT_EQ(ws.TypeMaxLevel("12.5").message(), IntConversionError("12.5"));
  ASSERT_TRUE(ws.TypeMaxLevel("70000").ok());
  EXPECT_EQ(doc.max_level, 70000);
}

}  // namespace
}  // namespace qirm
