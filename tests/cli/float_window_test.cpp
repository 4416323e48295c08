// SPDX-License-Identifier: GPL-3.0-or-later
// FITS data that are not 16-bit integers open as float windows: their own
// values, kept through the geometry commands and written back exactly.
#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"

namespace qirm::test {
namespace {

class FloatWindowCli : public CliFixture {
 protected:
  // astropy's values of a file's image, row after row ("nan" for NaN);
  // empty without python and astropy.
  std::vector<double> Astropy(const std::string& file) {
    if (!std::filesystem::exists("/usr/bin/python3")) return {};
    Write("values.py",
          "import sys\ntry:\n    import numpy as np\n    from astropy.io import fits\nexcept Exception:\n"
          "    sys.exit(3)\nd = np.asarray(fits.getdata(sys.argv[1]), dtype=np.float64)\n"
          "print(' '.join(repr(float(v)) for v in d.ravel()))\n");
    const std::string command = "/usr/bin/python3 " + ShellQuote((m_dir / "values.py").string()) + " " +
                                ShellQuote((m_dir / file).string()) + " > " +
                                ShellQuote((m_dir / "values.txt").string()) + " 2>/dev/null";
    const int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    std::istringstream in(ReadAll(m_dir / "values.txt"));
    std::vector<double> values;
    for (std::string word; in >> word;) values.push_back(std::strtod(word.c_str(), nullptr));
    return values;
  }
};

std::string Big(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// A w x h (x planes) frame of the given BITPIX with `data` bytes and extra
// cards.
std::string Frame(int bitpix, int w, int h, const std::string& data,
                  const std::vector<std::string>& extra = {}, int planes = 0) {
  std::string header = Card("SIMPLE  =                    T");
  char line[81];
  std::snprintf(line, sizeof line, "BITPIX  = %20d", bitpix);
  header += Card(line) + Card(planes ? "NAXIS   =                    3" : "NAXIS   =                    2");
  std::snprintf(line, sizeof line, "NAXIS1  = %20d", w);
  header += Card(line);
  std::snprintf(line, sizeof line, "NAXIS2  = %20d", h);
  header += Card(line);
  if (planes) {
    std::snprintf(line, sizeof line, "NAXIS3  = %20d", planes);
    header += Card(line);
  }
  for (const std::string& c : extra) header += Card(c);
  header += Card("END");
  header.resize((header.size() + 2879) / 2880 * 2880, ' ');
  std::string padded = data;
  padded.resize((padded.size() + 2879) / 2880 * 2880, '\0');
  return header + padded;
}

std::string Floats(const std::vector<float>& values) {
  std::string s;
  for (float v : values) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &v, 4);
    s += Big(bits, 4);
  }
  return s;
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

void ExpectSameValues(const std::vector<double>& got, const std::vector<float>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (std::isnan(want[i]))
      EXPECT_TRUE(std::isnan(got[i])) << i;
    else
      EXPECT_EQ(got[i], static_cast<double>(want[i])) << i;
  }
}

std::string StateValue(const std::string& out, const std::string& key) {
  const std::size_t at = out.find("\n" + key + "=");
  if (at == std::string::npos) return "?";
  const std::size_t start = at + key.size() + 2;
  return out.substr(start, out.find('\n', start) - start);
}

// Every pixel type but 16-bit integers: the window holds the values as
// floats (BLANK as NaN, scaled integers scaled), and saving writes them back.
TEST_F(FloatWindowCli, EveryPixelTypeKeepsItsValues) {
  std::string doubles;
  for (double v : {1.0 / 3, -1e10, 2.5, 1e-30, 0.0, 7.0}) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    doubles += Big(bits, 8);
  }
  std::string ints;
  for (std::int64_t v : {0LL, -1LL, 5LL, 33554433LL, -7LL, 100LL})
    ints += Big(static_cast<std::uint32_t>(v), 4);
  struct Case {
    const char* file;
    std::string bytes;
    std::vector<float> values;
  };
  const Case cases[] = {
      {"near0.fits",
       Frame(-32, 3, 2, Floats({-0.003f, 0.0012345678f, kNaN, 0.003f, 1e-7f, -2.5e-4f})),
       {-0.003f, 0.0012345678f, kNaN, 0.003f, 1e-7f, -2.5e-4f}},
      {"double.fits", Frame(-64, 3, 2, doubles), {1.0f / 3, -1e10f, 2.5f, 1e-30f, 0.0f, 7.0f}},
      {"int32.fits",
       Frame(32, 3, 2, ints,
             {"BZERO   =                  1.5", "BSCALE  =                 0.25",
              "BLANK   =                   -1"}),
       {1.5f, kNaN, 2.75f, static_cast<float>(1.5 + 0.25 * 33554433), -0.25f, 26.5f}},
      {"bytes.fits", Frame(8, 3, 2, std::string("\x00\x01\x7f\x80\xfe\xff", 6)), {0, 1, 127, 128, 254, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Write(c.file, c.bytes);
    const CliResult r = Run({"run", c.file, "--state", "-o", "out.fits"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(StateValue(r.out, "FilterI"), "4");
    const std::vector<double> back = Astropy("out.fits");
    if (back.empty()) continue;  // no astropy here
    ExpectSameValues(back, c.values);
  }
  // A float frame goes out with the very bytes it came with.
  const std::string out = ReadAll(m_dir / "near0.fits");
  ASSERT_EQ(Run({"run", "near0.fits", "-o", "again.fits"}).code, 0);
  const std::string again = ReadAll(m_dir / "again.fits");
  EXPECT_EQ(again.substr(again.size() - 2880), out.substr(out.size() - 2880));
  // Values a float cannot hold are said to be rounded; bytes never are.
  EXPECT_EQ(ReadAll(m_dir / "out.fits").find("HISTORY QIRM read from"), std::string::npos);
  ASSERT_EQ(Run({"run", "int32.fits", "-o", "i.fits"}).code, 0);
  EXPECT_NE(ReadAll(m_dir / "i.fits").find("HISTORY QIRM read from BITPIX 32, 1 values rounded"),
            std::string::npos);
}

TEST_F(FloatWindowCli, LevelsAndReadoutAreTheValues) {
  Write("a.fits", Frame(-32, 3, 2, Floats({-0.003f, 0.0012345678f, kNaN, 0.003f, 1e-7f, -2.5e-4f})));
  CliResult r = Run({"run", "a.fits", "levels=minmax", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(StateValue(r.out, "MIN"), "-0.003");
  EXPECT_EQ(StateValue(r.out, "MAX"), "0.003");
  r = Run({"run", "a.fits", "levels=-0.001,0.002", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(StateValue(r.out, "MIN"), "-0.001");
  EXPECT_EQ(StateValue(r.out, "MAX"), "0.002");
  for (const char* preset : {"zscale", "99.5", "auto"})
    EXPECT_EQ(Run({"run", "a.fits", std::string("levels=") + preset}).code, 0) << preset;
  r = Run({"measure", "a.fits", "1", "0"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("Intensity = 0.0012345678   (1,0)\n", 0), 0u) << r.out;
  r = Run({"measure", "a.fits", "2", "0"});
  EXPECT_EQ(r.out.rfind("Intensity = NaN   (2,0)\n", 0), 0u) << r.out;
  // The undefined pixel shows in its own colour, not as a grey.
  ASSERT_EQ(Run({"run", "a.fits", "-o", "shown.bmp"}).code, 0);
  const std::string bmp = ReadAll(m_dir / "shown.bmp");
  // Rows from the bottom, 12 bytes each: pixel (2, 0) in the second.
  ASSERT_EQ(bmp.size(), 54u + 24u);
  EXPECT_EQ(bmp.substr(54 + 12 + 6, 3), std::string("\x60\x30\x20", 3));
}

TEST_F(FloatWindowCli, GeometryMovesTheValuesAndOtherCommandsRefuse) {
  const std::vector<float> values = {1.5f, -2.25f, 1e-6f, 4e6f, 0.125f, kNaN};
  Write("a.fits", Frame(-32, 3, 2, Floats(values)));
  CliResult r = Run({"run", "a.fits", "mirror", "flip", "-o", "mf.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<double> back = Astropy("mf.fits");
  if (!back.empty()) ExpectSameValues(back, {kNaN, 0.125f, 4e6f, 1e-6f, -2.25f, 1.5f});
  r = Run({"run", "a.fits", "resample=6x4,nearest", "-o", "big.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<double> big = Astropy("big.fits");
  if (!big.empty()) {
    ASSERT_EQ(big.size(), 24u);
    EXPECT_EQ(big[0], 1.5);
    EXPECT_EQ(big[1], 1.5);
    EXPECT_EQ(big[2], -2.25);
  }
  r = Run({"run", "a.fits", "negative"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("浮動小数点の画像"), std::string::npos) << r.err;
}

// A cube of three planes is a colour picture at its own depth; any other
// cube shows one plane, the first unless --plane asks for another.
TEST_F(FloatWindowCli, CubesAreColourOrOnePlane) {
  std::string shorts;
  const std::vector<int> raw = {0, 1, 2, 3, 4, 5, 65535, 60000, 1000, 7, 8, 9, 100, 200, 300, 400, 500, 600};
  for (int v : raw) shorts += Big(static_cast<unsigned>(v) ^ 0x8000u, 2);
  Write("rgb16.fits", Frame(16, 3, 2, shorts, {"BZERO   =                32768"}, 3));
  CliResult r = Run({"run", "rgb16.fits", "--state", "-o", "out.fits", "--base", "out.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(StateValue(r.out, "FilterI"), "5");
  EXPECT_EQ(StateValue(r.out, "ColN"), "3");
  // The same values, and 16-bit samples in the PNG of its values.
  const std::string in = ReadAll(m_dir / "rgb16.fits");
  const std::string out = ReadAll(m_dir / "out.fits");
  EXPECT_EQ(out.substr(out.size() - 2880), in.substr(in.size() - 2880));
  r = Run({"run", "rgb16.fits", "-o", "deep.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadAll(m_dir / "deep.png").at(24), '\x10');  // IHDR bit depth
  r = Run({"measure", "rgb16.fits", "0", "1"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("R=3  G=7  B=400   (0,1)\n", 0), 0u) << r.out;

  // Floats with an undefined value stay floats.
  Write("rgbf.fits", Frame(-32, 2, 1, Floats({0.5f, kNaN, -1.0f, 2.0f, 1e-3f, 3.0f}), {}, 3));
  r = Run({"run", "rgbf.fits", "--state", "mirror", "-o", "f.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(StateValue(r.out, "FilterI"), "5");
  const std::vector<double> back = Astropy("f.fits");
  if (!back.empty()) ExpectSameValues(back, {kNaN, 0.5f, 2.0f, -1.0f, 3.0f, 1e-3f});

  // 8-bit values make an ordinary colour picture.
  Write("rgb8.fits", Frame(8, 2, 1, std::string("\x01\x02\x03\x04\x05\x06", 6), {}, 3));
  r = Run({"run", "rgb8.fits", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(StateValue(r.out, "FilterI"), "1");

  // Six planes of 3 values: the first, or the one asked for.
  Write("six.fits", Frame(16, 3, 1, shorts, {"BZERO   =                32768"}, 6));
  r = Run({"run", "six.fits", "--state", "-o", "p1.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(StateValue(r.out, "FilterI"), "2");
  EXPECT_NE(ReadAll(m_dir / "p1.fits").find("HISTORY QIRM plane 1 of the cube's 6"), std::string::npos);
  r = Run({"run", "six.fits", "--plane", "5", "-o", "p5.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<double> p5 = Astropy("p5.fits");
  if (!p5.empty()) EXPECT_EQ(p5, (std::vector<double>{100, 200, 300}));
  r = Run({"run", "six.fits", "--plane", "7"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("there is no plane 7: the image has 6"), std::string::npos) << r.err;
}

// Real frames of other pixel types: saved from their windows, astropy reads
// back the file's own values (the plane asked for of a cube) as floats.
TEST_F(FloatWindowCli, RealFramesComeBackAsAstropyReadsThem) {
  const std::filesystem::path data = QIRM_DATA_DIR;
  if (!std::filesystem::exists(data / "MANIFEST.md")) GTEST_SKIP() << "no real frames at " << data;
  Write(
      "same.py",
      "import sys\ntry:\n    import numpy as np\n    from astropy.io import fits\nexcept Exception:\n"
      "    sys.exit(3)\nsrc = fits.getdata(sys.argv[1])\nif src.ndim == 3:\n    src = src[int(sys.argv[3])]\n"
      "src = np.asarray(src, dtype=np.float32)\nout = np.asarray(fits.getdata(sys.argv[2]), "
      "dtype=np.float32)\n"
      "same = src.shape == out.shape and np.array_equal(src, out, equal_nan=True)\n"
      "print('same' if same else 'differ %s %s' % (src.shape, out.shape))\n");
  struct Case {
    const char* file;
    const char* plane;  // --plane, or "" for none
    int index;          // the plane astropy compares
  };
  for (const Case& c :
       {Case{"colour/reprojected_sdss_g.fits", "", 0}, Case{"colour/reprojected_sdss_r.fits", "", 0},
        Case{"colour/reprojected_sdss_i.fits", "", 0}, Case{"variants/bitpix-64_msx_e_gc.fits", "", 0},
        Case{"variants/bitpix-32_naxis3eq4_hst_wfpc2_u5780205r.fits", "", 0},
        Case{"variants/bitpix-32_naxis3eq4_hst_wfpc2_u5780205r.fits", "3", 2},
        Case{"spectra/sprat_v_dark_1.fits", "", 0}}) {
    SCOPED_TRACE(c.file);
    const std::string path = (data / c.file).string();
    if (!std::filesystem::exists(path)) continue;
    std::vector<std::string> args = {"run", path, "--state", "-o", "out.fits"};
    if (*c.plane) args.insert(args.end(), {"--plane", c.plane});
    const CliResult r = Run(args);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(StateValue(r.out, "FilterI"), "4");
    const std::string command = "/usr/bin/python3 " + ShellQuote((m_dir / "same.py").string()) + " " +
                                ShellQuote(path) + " " + ShellQuote((m_dir / "out.fits").string()) + " " +
                                std::to_string(c.index) + " > " + ShellQuote((m_dir / "same.txt").string());
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) GTEST_SKIP() << "no astropy";
    EXPECT_EQ(ReadAll(m_dir / "same.txt"), "same\n");
  }
}

}  // namespace
}  // namespace qirm::test
