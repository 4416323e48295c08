// SPDX-License-Identifier: GPL-3.0-or-later
// Real frames whose 16-bit values are scaled (M51: signed without BZERO;
// 2MASS: BZERO 1500, BSCALE 0.0458) read under the cursor as astropy reads
// them.
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/cli_run.h"

namespace qirm::test {
namespace {

class PhysicalValuesCli : public CliFixture {};

struct Pixel {
  int x, y;
};

// astropy's value at each pixel (x, y), one a line; false without python
// and astropy.
bool AstropyValues(const std::filesystem::path& dir, const std::string& file,
                   const std::vector<Pixel>& pixels, std::vector<double>& values) {
  const char* python = "/usr/bin/python3";
  if (!std::filesystem::exists(python)) return false;
  std::string script =
      "import sys\ntry:\n    from astropy.io import fits\nexcept Exception:\n    sys.exit(3)\n"
      "d = fits.getdata(sys.argv[1])\n";
  for (const Pixel& p : pixels)
    script += "print(repr(float(d[" + std::to_string(p.y) + ", " + std::to_string(p.x) + "])))\n";
  std::ofstream(dir / "values.py") << script;
  const std::string command = std::string(python) + " " + ShellQuote((dir / "values.py").string()) + " " +
                              ShellQuote(file) + " > " + ShellQuote((dir / "values.txt").string());
  const int status = std::system(command.c_str());
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  std::istringstream in(ReadAll(dir / "values.txt"));
  values.clear();
  for (double v; in >> v;) values.push_back(v);
  return values.size() == pixels.size();
}

TEST_F(PhysicalValuesCli, RealFramesReadAsAstropyReadsThem) {
  const std::string data = QIRM_DATA_DIR;
  if (!std::filesystem::is_directory(data)) GTEST_SKIP() << "no " << data;
  struct Frame {
    const char* file;
    double tolerance;  // astropy's scaled values are single precision
  };
  const Frame frames[] = {
      {"fixtures/kpno_m51_B_dev_pix.fits", 0},
      {"colour/gc_2mass_j.fits", 1e-4},
      {"colour/gc_2mass_k.fits", 1e-4},
  };
  const std::vector<Pixel> pixels = {{0, 0}, {100, 100}, {300, 200}, {256, 256}, {411, 37}};
  for (const Frame& f : frames) {
    SCOPED_TRACE(f.file);
    const std::string path = data + "/" + f.file;
    std::vector<double> want;
    if (!AstropyValues(m_dir, path, pixels, want)) GTEST_SKIP() << "no python3 with astropy";
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      const Pixel p = pixels[i];
      const CliResult r = Run({"measure", path, std::to_string(p.x), std::to_string(p.y)});
      ASSERT_EQ(r.code, 0) << r.err;
      const std::string first = r.out.substr(0, r.out.find('\n'));
      const std::string position = "   (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
      ASSERT_EQ(first.rfind("Intensity = ", 0), 0u) << first;
      ASSERT_NE(first.find(position), std::string::npos) << first;
      if (f.tolerance == 0) {
        EXPECT_EQ(first, "Intensity = " + std::to_string(std::llround(want[i])) + position);
      } else {
        // Two decimals: rounded to 0.005, nearer than the 0.046 between
        // neighbouring raw values.
        EXPECT_NEAR(std::stod(first.substr(12)), want[i], 0.005 + f.tolerance) << first;
      }
    }
  }
}

TEST_F(PhysicalValuesCli, M51LevelsAreSignedValues) {
  const std::string data = QIRM_DATA_DIR;
  if (!std::filesystem::is_directory(data)) GTEST_SKIP() << "no " << data;
  const std::string path = data + "/fixtures/kpno_m51_B_dev_pix.fits";
  // A typed level is physical: 500 is raw 33268, and H narrows from there.
  const CliResult r = Run({"run", path, "max=500", "min=10", "contrast-up", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\nMAX=402\nMIN=10\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nEdit2=402\nEdit3=10\n"), std::string::npos) << r.out;
}

// The average of two copies of a scaled frame is that frame: the stacked
// window keeps the sources' scaling, so it reads and saves the same values.
TEST_F(PhysicalValuesCli, StackOfScaledFramesKeepsTheirScaling) {
  const std::string data = QIRM_DATA_DIR;
  if (!std::filesystem::is_directory(data)) GTEST_SKIP() << "no " << data;
  const std::string path = data + "/fixtures/kpno_m51_B_dev_pix.fits";
  const std::string stacked = (m_dir / "avg.fits").string();
  const CliResult c = Run({"composite", "average", path, path, "-o", stacked});
  ASSERT_EQ(c.code, 0) << c.err;
  for (const Pixel p : {Pixel{100, 100}, Pixel{300, 200}, Pixel{0, 0}}) {
    const std::vector<std::string> at = {std::to_string(p.x), std::to_string(p.y)};
    const CliResult a = Run({"measure", path, at[0], at[1]});
    const CliResult b = Run({"measure", stacked, at[0], at[1]});
    ASSERT_EQ(a.code, 0) << a.err;
    ASSERT_EQ(b.code, 0) << b.err;
    EXPECT_EQ(b.out.substr(0, b.out.find('\n')), a.out.substr(0, a.out.find('\n')));
  }
}

}  // namespace
}  // namespace qirm::test
