// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli photometry and trail: the KEY=VALUE lines, the CSV table, the
// profile file, and the exits of wrong arguments and refused values.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <sstream>

#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"

namespace qirm::test {
namespace {

// A 64 x 48 frame of sky 1000 with a round star of total 40000 at (30.3, 20.6)
// and a horizontal trail of 200 a pixel of length along y = 40, x 5..55.
std::string SyntheticFrame() {
  std::vector<int> raw(64 * 48);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      const double r2 = (x - 30.3) * (x - 30.3) + (y - 20.6) * (y - 20.6);
      double v = 1000 + 40000 / (2 * std::numbers::pi * 2.25) * std::exp(-0.5 * r2 / 2.25);
      if (x >= 5 && x < 55) v += 200 / std::sqrt(2 * std::numbers::pi) * std::exp(-0.5 * (y - 40) * (y - 40));
      raw[y * 64 + x] = static_cast<int>(std::lround(v));
    }
  }
  return Fits16Bytes(64, 48, raw);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

using PhotometryCli = CliFixture;

TEST_F(PhotometryCli, PrintsEveryValueOnceInOrder) {
  Write("star.fits", SyntheticFrame());
  const CliResult r = Run({"photometry", "star.fits", "29", "22", "--aperture", "7", "--annulus", "12,18"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  const std::vector<std::string> keys = {"X",          "Y",           "FLUX",        "FLUX_ERR",    "SKY",
                                         "SKY_SIGMA",  "SNR",         "MAG",         "MAG_ERR",     "PEAK",
                                         "FWHM_GAUSS", "FWHM_MOFFAT", "MOFFAT_BETA", "ELLIPTICITY", "THETA"};
  ASSERT_EQ(lines.size(), keys.size()) << r.out;
  for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(lines[i].substr(0, lines[i].find('=')), keys[i]);
  EXPECT_EQ(lines[0], "X=30.300");
  EXPECT_EQ(lines[1], "Y=20.600");
  EXPECT_EQ(lines[4], "SKY=1000");
  const double flux = std::stod(lines[2].substr(5));
  EXPECT_NEAR(flux, 40000, 40);  // the rounding of every pixel to an integer
  EXPECT_NEAR(std::stod(lines[10].substr(11)), 2.3548 * 1.5, 0.01);
  // MAG = 25 - 2.5 log10(FLUX)
  EXPECT_NEAR(std::stod(lines[7].substr(4)), 25 - 2.5 * std::log10(flux), 1e-4);
}

TEST_F(PhotometryCli, CsvListGivesATableAndABadLineNoRow) {
  Write("star.fits", SyntheticFrame());
  Write("list.csv", "x,y\n30,21\n# the same star from another side\n32.5,19\n");
  CliResult r = Run({"photometry", "star.fits", "--csv", "list.csv", "--zero-point", "20"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0],
            "X,Y,FLUX,FLUX_ERR,SKY,SKY_SIGMA,SNR,MAG,MAG_ERR,PEAK,FWHM_GAUSS,FWHM_MOFFAT,MOFFAT_BETA,"
            "ELLIPTICITY,THETA");
  EXPECT_EQ(lines[1], lines[2]);  // both clicks find the same centre
  EXPECT_EQ(lines[1].rfind("30.300,20.600,", 0), 0u);

  // With X Y as well, that star is the first row.
  r = Run({"photometry", "star.fits", "5", "5", "--csv", "list.csv"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 4u);

  // A line that is no position and a star that cannot be measured are
  // named and give no row; every other row is there, in the list's order,
  // and the exit status tells that something was named.
  const std::string good = lines[1];
  Write("bad.csv", "30,21\n40 21\n500,21\n32.5,19\n4O,21\n");
  r = Run({"photometry", "star.fits", "--csv", "bad.csv", "--zero-point", "20"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, lines[0] + "\n" + good + "\n" + good + "\n");
  EXPECT_EQ(r.err,
            "qirm-cli: bad.csv: line 2: expected X,Y\n"
            "qirm-cli: bad.csv: line 5: expected X,Y\n"
            "qirm-cli: bad.csv: line 3: the position lies outside the picture\n");
}

TEST_F(PhotometryCli, CsvProgressGoesToStandardErrorAndChangesNoRow) {
  Write("star.fits", SyntheticFrame());
  std::string list = "x,y\n";
  for (int k = 0; k < 250; ++k)
    list += std::to_string(20 + k % 20) + "," + std::to_string(12 + k % 17) + "\n";
  Write("list.csv", list);
  const CliResult plain = Run({"photometry", "star.fits", "--csv", "list.csv"});
  ASSERT_EQ(plain.code, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  ASSERT_EQ(Lines(plain.out).size(), 251u);
  const CliResult shown = Run({"photometry", "star.fits", "--csv", "list.csv", "--progress"});
  ASSERT_EQ(shown.code, 0) << shown.err;
  EXPECT_EQ(shown.out, plain.out);
  // Each per cent once, rising, ending at 100.
  const std::vector<std::string> steps = Lines(shown.err);
  ASSERT_EQ(steps.size(), 101u) << shown.err;
  for (std::size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(steps[i], std::to_string(i));
  // Each row is the one its line gives alone.
  const std::vector<std::string> rows = Lines(plain.out);
  for (const int k : {0, 137, 249}) {
    Write("one.csv", std::to_string(20 + k % 20) + "," + std::to_string(12 + k % 17) + "\n");
    const CliResult one = Run({"photometry", "star.fits", "--csv", "one.csv"});
    ASSERT_EQ(one.code, 0) << one.err;
    EXPECT_EQ(Lines(one.out).at(1), rows[k + 1]) << k;
  }
}

TEST_F(PhotometryCli, GainComesFromTheHeaderBeforeTheOption) {
  std::string frame = SyntheticFrame();
  const CliResult plain = Run({"photometry", Write("star.fits", frame).string(), "30", "21", "--gain", "4"});
  ASSERT_EQ(plain.code, 0) << plain.err;
  // The same frame with GAIN = 1 in its header, END moved one card on.
  frame.replace(6 * 80, 80, Card("GAIN    =                    1"));
  frame.replace(7 * 80, 80, Card("END"));
  Write("gain.fits", frame);
  const CliResult header = Run({"photometry", "gain.fits", "30", "21", "--gain", "4"});
  ASSERT_EQ(header.code, 0) << header.err;
  const auto err = [](const std::string& out) { return std::stod(Lines(out)[3].substr(9)); };
  EXPECT_EQ(Lines(plain.out)[2], Lines(header.out)[2]);
  EXPECT_GT(err(header.out), err(plain.out));  // gain 1 instead of 4: more Poisson noise
}

TEST_F(PhotometryCli, WrongArgumentsAndRefusedValues) {
  Write("star.fits", SyntheticFrame());
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string err;  // the first line of standard error
  };
  const std::vector<Case> cases = {
      {{"photometry", "star.fits", "30"}, 2, "qirm-cli: photometry needs FILE X Y"},
      {{"photometry", "star.fits", "30", "x"}, 2, "qirm-cli: photometry needs FILE X Y"},
      {{"photometry", "star.fits", "30", "21", "--annulus", "12"}, 2, "qirm-cli: --annulus needs RIN,ROUT"},
      {{"photometry", "star.fits", "30", "21", "--fast"}, 2, "qirm-cli: unknown option '--fast'"},
      {{"photometry", "star.fits", "30", "21", "--aperture", "0"},
       1,
       "qirm-cli: the aperture radius must be above 0"},
      {{"photometry", "star.fits", "30", "21", "--annulus", "4,9"},
       1,
       "qirm-cli: the annulus must not start inside the aperture"},
      {{"photometry", "star.fits", "30", "21", "--zero-point", "1e60"},
       1,
       "qirm-cli: the zero point must be -100 to 100"},
      {{"photometry", "missing.fits", "30", "21"}, 1, ""},
      {{"trail", "star.fits", "5", "40", "55", "40"}, 2, "qirm-cli: trail needs -o PROFILE"},
      {{"trail", "star.fits", "5", "40", "55", "-o", "p.txt"}, 2, "qirm-cli: trail needs FILE X1 Y1 X2 Y2"},
      {{"trail", "star.fits", "5", "40", "55", "40", "--width", "0", "-o", "p.txt"},
       1,
       "qirm-cli: the trail width must be above 0 and at most 1000"},
      {{"trail", "star.fits", "500", "40", "600", "40", "-o", "p.txt"},
       1,
       "qirm-cli: the trail lies outside the picture"},
      {{"trail", "star.fits", "-1e6", "-20", "1e6", "-20", "-o", "p.txt"},
       1,
       "qirm-cli: the trail lies outside the picture"},
      {{"trail", "star.fits", "-2e9", "40", "2e9", "40", "-o", "p.txt"},
       1,
       "qirm-cli: the trail's ends must lie within 1e9 pixels of pixel (0, 0)"},
  };
  for (const Case& c : cases) {
    const CliResult r = Run(c.args);
    SCOPED_TRACE(c.args.back());
    EXPECT_EQ(r.code, c.code) << r.err;
    // The reader's own trace of a file it cannot open stays on standard output.
    if (c.args[1] != "missing.fits") {
      EXPECT_EQ(r.out, "");
    }
    if (!c.err.empty()) {
      EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.err);
    }
    if (c.code == 1) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(m_dir / "p.txt"));
}

TEST_F(PhotometryCli, TrailWritesItsProfile) {
  Write("trail.fits", SyntheticFrame());
  const CliResult r = Run(
      {"trail", "trail.fits", "10", "40", "50", "40", "--width", "6", "--sky-gap", "2", "-o", "profile.txt"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "LENGTH=40.000");
  EXPECT_NEAR(std::stod(lines[1].substr(5)), 200 * 40, 40);
  EXPECT_EQ(lines[2], "SKY=1000");
  const std::vector<std::string> profile = Lines(ReadAll(m_dir / "profile.txt"));
  ASSERT_EQ(profile.size(), 5u + 40u);
  EXPECT_EQ(profile[0], "# trail profile of trail.fits");
  EXPECT_EQ(profile[4], "# s x y flux coverage");
  std::istringstream first(profile[5]);
  double s = 0, x = 0, y = 0, f = 0, coverage = 0;
  first >> s >> x >> y >> f >> coverage;
  EXPECT_EQ(s, 0.5);
  EXPECT_EQ(x, 10.5);
  EXPECT_EQ(y, 40);
  EXPECT_NEAR(f, 200, 3);
  EXPECT_EQ(coverage, 1);
}

TEST_F(PhotometryCli, TrailFarBeyondTheFrameIsCutToIt) {
  Write("trail.fits", SyntheticFrame());
  // Ends a thousand million pixels out: the work and the profile follow the
  // 64 x 48 frame, not the segment.
  CliResult r = Run({"trail", "trail.fits", "0", "0", "1e9", "1e9", "-o", "diagonal.txt"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Lines(r.out)[0], "LENGTH=1414213562.373");
  std::vector<std::string> profile = Lines(ReadAll(m_dir / "diagonal.txt"));
  ASSERT_GT(profile.size(), 6u);
  EXPECT_LT(profile.size(), 80u);
  EXPECT_EQ(profile[4].rfind("# on the picture: s from 0.00 to ", 0), 0u) << profile[4];
  EXPECT_EQ(profile[6].rfind("0.50 0.35 0.35 ", 0), 0u) << profile[6];

  // Both ends off the frame: s is still the distance from the first end.
  r = Run({"trail", "trail.fits", "-1e6", "40", "1e6", "40", "-o", "across.txt"});
  ASSERT_EQ(r.code, 0) << r.err;
  profile = Lines(ReadAll(m_dir / "across.txt"));
  ASSERT_EQ(profile.size(), 6u + 65u);
  EXPECT_EQ(profile[4], "# on the picture: s from 999999.00 to 1000064.00 (the rest is left out)");
  EXPECT_EQ(profile[6].rfind("999999.50 -0.50 40.00 ", 0), 0u) << profile[6];
  EXPECT_EQ(profile.back().rfind("1000063.50 63.50 40.00 ", 0), 0u) << profile.back();
}

TEST_F(PhotometryCli, RealFrameStar) {
  const std::string frame = std::string(QIRM_DATA_DIR) + "/fixtures/kpno_m51_B_dev_pix.fits";
  if (!std::filesystem::exists(frame)) GTEST_SKIP() << "no " << frame;
  // The manifest's star at FITS (404.5, 274.3), FWHM about 2.6.
  const CliResult r = Run({"photometry", frame, "403", "273"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_NEAR(std::stod(lines[0].substr(2)), 403.5, 0.1);
  EXPECT_NEAR(std::stod(lines[1].substr(2)), 273.3, 0.1);
  EXPECT_NEAR(std::stod(lines[10].substr(11)), 2.6, 0.26);
}

}  // namespace
}  // namespace qirm::test
