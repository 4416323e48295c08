// SPDX-License-Identifier: GPL-3.0-or-later
// The header's world coordinates through mirror, flip, rotation and
// resampling: the readout and a saved FITS file stay true to the pixels.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;
using WcsGeometryCliTest = qirm::test::CliFixture;
using qirm::test::Card;

using qirm::test::TanFrame;

// The pixel that held FITS pixel (1, 1) is read back at its new place.
TEST_F(WcsGeometryCliTest, MeasureAfterMirrorAndFlipReadsTheSameSky) {
  Write("tan.fits", TanFrame());
  struct Case {
    const char* command;
    const char* x;
    const char* y;
  };
  for (const Case& c : {Case{"mirror", "39", "0"}, Case{"flip", "0", "19"}}) {
    SCOPED_TRACE(c.command);
    qirm::test::CliResult r = Run({"run", "tan.fits", c.command, "-o", "out.fits"});
    ASSERT_EQ(r.code, 0) << r.err;
    r = Run({"measure", "out.fits", c.x, c.y});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\nWCS = 10.0000000 20.0000000\n"), std::string::npos) << r.out;
  }
  // Twice back where it was: the same values as the source, and the cards
  // the mirror leaves alone keep their text.
  qirm::test::CliResult r = Run({"run", "tan.fits", "mirror", "mirror", "-o", "twice.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = Run({"header", "twice.fits"});
  EXPECT_NE(r.out.find("\nCRPIX1  =                  1.0\nCRPIX2  =                  1.0\n"
                       "CD1_1   = -0.00027777777777778\nCD2_2   =  2.7777777777778E-04\n"),
            std::string::npos)
      << r.out;
}

// Real frames through every geometry command, saved, against astropy: each
// pixel of the result has the sky position its source pixel had (within
// 0.05"). A DSS plate scan loses its WCS, with a HISTORY card saying why.
TEST_F(WcsGeometryCliTest, SavedFramesAgreeWithAstropy) {
  const fs::path data = QIRM_DATA_DIR;
  if (!fs::exists(data / "colour" / "gc_2mass_j.fits")) GTEST_SKIP() << "no real frames at " << data;
  const std::string script =
      "import sys, math, warnings\n"
      "warnings.simplefilter('ignore')\n"
      "from astropy.io import fits\n"
      "from astropy.wcs import WCS\n"
      "def source(cmd, W, H, w, h, x, y):\n"
      "    if cmd == 'mirror': return W - 1 - x, y\n"
      "    if cmd == 'flip': return x, H - 1 - y\n"
      "    if cmd == 'rotate':\n"
      "        c, s = math.cos(0.1), math.sin(0.1)\n"
      "        x0 = math.trunc(s * (H // 2) + c * (W // 2) - W // 2)\n"
      "        y0 = math.trunc(c * (H // 2) - s * (W // 2) - H // 2)\n"
      "        return c * x + s * y - x0, -s * x + c * y - y0 - 1\n"
      "    return (x + 0.5) * W / w - 0.5, (y + 0.5) * H / h - 0.5\n"
      "a = sys.argv[1:]\n"
      "for k in range(0, len(a), 3):\n"
      "    old, new, cmd = a[k:k + 3]\n"
      "    ho, hn = fits.getheader(old), fits.getheader(new)\n"
      "    wo, wn = WCS(ho), WCS(hn)\n"
      "    if not wn.has_celestial:\n"
      "        print(new, 'none'); continue\n"
      "    W, H, w, h = ho['NAXIS1'], ho['NAXIS2'], hn['NAXIS1'], hn['NAXIS2']\n"
      "    worst = 0.0\n"
      "    for x in (0, w // 3, w - 1):\n"
      "        for y in (0, h // 2, h - 1):\n"
      "            p = wo.pixel_to_world(*source(cmd, W, H, w, h, x, y))\n"
      "            worst = max(worst, p.separation(wn.pixel_to_world(x, y)).arcsec)\n"
      "    print(new, worst)\n";
  Write("check.py", script);
  const std::vector<std::string> frames = {(data / "colour" / "gc_2mass_j.fits").string(),
                                           (data / "colour" / "reprojected_sdss_r.fits").string(),
                                           (data / "fixtures" / "dss_horsehead.fits").string()};
  const std::vector<std::string> commands = {"mirror", "flip", "rotate", "resample=0.5", "resample=300x500"};
  std::string args;
  int n = 0;
  for (const std::string& frame : frames) {
    for (const std::string& command : commands) {
      const std::string out = "out" + std::to_string(n++) + ".fits";
      qirm::test::CliResult r = Run({"run", frame, command, "-o", out});
      ASSERT_EQ(r.code, 0) << frame << " " << command << ": " << r.err;
      args += " " + qirm::test::ShellQuote(frame) + " " + out + " " + command.substr(0, command.find('='));
    }
  }
  const std::string command = "cd " + qirm::test::ShellQuote(m_dir.string()) +
                              " && /usr/bin/python3 check.py" + args + " > astropy.txt 2>/dev/null";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "no astropy under /usr/bin/python3";
  std::istringstream lines(qirm::test::ReadAll(m_dir / "astropy.txt"));
  std::string file, worst;
  int compared = 0, dropped = 0;
  while (lines >> file >> worst) {
    const int index = std::stoi(file.substr(3));
    SCOPED_TRACE(frames[index / commands.size()] + " " + commands[index % commands.size()]);
    if (index / commands.size() == 2) {
      EXPECT_EQ(worst, "none");
      qirm::test::CliResult r = Run({"header", file});
      EXPECT_NE(r.out.find("HISTORY QIRM " + commands[index % commands.size()].substr(0, 8) +
                           ": WCS dropped (DSS plate solution cannot be mapped)"),
                std::string::npos)
          << r.out;
      ++dropped;
    } else {
      ASSERT_NE(worst, "none");
      EXPECT_LT(std::stod(worst), 0.05);
      ++compared;
    }
  }
  EXPECT_EQ(compared, 10);
  EXPECT_EQ(dropped, 5);
}

}  // namespace
