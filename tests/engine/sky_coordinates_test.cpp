// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/sky_coordinates.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/fits_header.h"
#include "core/fits_reader.h"

namespace qirm {
namespace {

std::string Card(const std::string& text) { return text + std::string(80 - text.size(), ' '); }

// A TAN header of w x h pixels: CRVAL (ra0, dec0) at FITS pixel (1, 1),
// 1 arcsec per pixel, east to the left and north up as rows go on.
std::vector<std::string> TanCards(double ra0, double dec0, int w = 100, int h = 50) {
  char line[81];
  std::vector<std::string> cards = {Card("SIMPLE  =                    T"),
                                    Card("BITPIX  =                   16"),
                                    Card("NAXIS   =                    2")};
  std::snprintf(line, sizeof line, "NAXIS1  = %20d", w);
  cards.push_back(Card(line));
  std::snprintf(line, sizeof line, "NAXIS2  = %20d", h);
  cards.push_back(Card(line));
  cards.push_back(Card("CTYPE1  = 'RA---TAN'"));
  cards.push_back(Card("CTYPE2  = 'DEC--TAN'"));
  std::snprintf(line, sizeof line, "CRVAL1  = %20.10f", ra0);
  cards.push_back(Card(line));
  std::snprintf(line, sizeof line, "CRVAL2  = %20.10f", dec0);
  cards.push_back(Card(line));
  cards.push_back(Card("CRPIX1  =                  1.0"));
  cards.push_back(Card("CRPIX2  =                  1.0"));
  cards.push_back(Card("CD1_1   = -2.7777777777778E-04"));
  cards.push_back(Card("CD2_2   =  2.7777777777778E-04"));
  return cards;
}

// Image pixels count from 0 at the top-left, where the file's first row
// and column are: pixel (0, 0) is the reference pixel (1, 1).
TEST(SkyCoordinates, ImagePixelsAreFitsPixelsLessOne) {
  const auto wcs = CelestialWcs::FromCards(TanCards(10, 20));
  ASSERT_TRUE(wcs);
  double ra = 0, dec = 0;
  ASSERT_TRUE(wcs->PixelToSky(0, 0, ra, dec));
  EXPECT_NEAR(ra, 10, 1e-12);
  EXPECT_NEAR(dec, 20, 1e-12);
  // Ten pixels down the rows: ten arcseconds north.
  ASSERT_TRUE(wcs->PixelToSky(0, 10, ra, dec));
  EXPECT_NEAR(ra, 10, 1e-9);
  EXPECT_NEAR(dec, 20 + 10 / 3600.0, 1e-8);
  // Ten columns on: ten arcseconds west, RA smaller by 10" / cos(dec).
  ASSERT_TRUE(wcs->PixelToSky(10, 0, ra, dec));
  EXPECT_NEAR(ra, 10 - 10 / 3600.0 / std::cos(20 * M_PI / 180), 1e-8);
  // Right ascension wraps into [0, 360).
  const auto at_zero = CelestialWcs::FromCards(TanCards(0, 0));
  ASSERT_TRUE(at_zero->PixelToSky(10, 0, ra, dec));
  EXPECT_NEAR(ra, 360 - 10 / 3600.0, 1e-8);
}

TEST(SkyCoordinates, NoCelestialWcsGivesNothing) {
  const std::vector<std::string> tan = TanCards(10, 20);
  const std::vector<std::string> plain(tan.begin(), tan.begin() + 5);
  EXPECT_FALSE(CelestialWcs::FromCards(plain));
  EXPECT_FALSE(CelestialWcs::FromCards({}));
  std::vector<std::string> linear = plain;
  linear.push_back(Card("CTYPE1  = 'WAVE'"));
  linear.push_back(Card("CRVAL1  =               4000.0"));
  EXPECT_FALSE(CelestialWcs::FromCards(linear));
  std::vector<std::string> ecliptic = tan;
  ecliptic[5] = Card("CTYPE1  = 'ELON-TAN'");
  ecliptic[6] = Card("CTYPE2  = 'ELAT-TAN'");
  EXPECT_FALSE(CelestialWcs::FromCards(ecliptic));
}

// The header speaks for the pixels only while they stand where it says.
TEST(SkyCoordinates, DocumentWcsOnlyWhileTheGeometryHolds) {
  ImageDocument doc;
  doc.width = 100;
  doc.height = 50;
  doc.fits_cards = TanCards(10, 20);
  EXPECT_TRUE(DocumentWcs(doc));
  doc.history = {"negative", "gamma 2"};
  EXPECT_TRUE(DocumentWcs(doc));
  // Mirror, flip and rotation carry the cards with the pixels
  // (core/wcs_cards.h), so their names in the history refuse nothing.
  doc.history = {"negative", "mirror", "rotate"};
  EXPECT_TRUE(DocumentWcs(doc));
  doc.history.clear();
  doc.width = 50;  // a size the header does not know
  EXPECT_FALSE(DocumentWcs(doc));
  doc.width = 100;
  doc.fits_cards.clear();
  EXPECT_FALSE(DocumentWcs(doc));
}

TEST(SkyCoordinates, Texts) {
  struct Case {
    double ra, dec;
    const char* ra_text;
    const char* dec_text;
  };
  const Case cases[] = {
      {0, 0, "00h00m00.00s", "+00°00'00.0\""},
      {202.4695833, 47.1952778, "13h29m52.70s", "+47°11'43.0\""},
      {83.8220833, -5.3911111, "05h35m17.30s", "-05°23'28.0\""},
      {-0.0, -0.5, "00h00m00.00s", "-00°30'00.0\""},
      // Seconds that round up to 60 carry into the minutes and units.
      {14.9999999, 89.99999999, "01h00m00.00s", "+90°00'00.0\""},
      {359.99999999, 0, "00h00m00.00s", "+00°00'00.0\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RaSexagesimal(c.ra), c.ra_text) << c.ra;
    EXPECT_EQ(DecSexagesimal(c.dec), c.dec_text) << c.dec;
  }
  EXPECT_EQ(SkyReadoutText(202.4695833, 47.1952778),
            "α 13h29m52.70s  δ +47°11'43.0\"  (202.469583°, +47.195278°)");
  EXPECT_EQ(WcsLineText(202.4695833, 47.1952778), "WCS = 202.4695833 47.1952778");
}

// Every real frame with a celestial WCS against astropy's pixel_to_world
// (0-based pixels, as QIRM's image pixels), over a grid of pixels: within
// 0.05 arcsec. Galactic frames are compared in FK5 J2000.
TEST(SkyCoordinates, RealFramesAgreeWithAstropy) {
  namespace fs = std::filesystem;
  const fs::path data = QIRM_DATA_DIR;
  if (!fs::exists(data)) GTEST_SKIP() << "no real frames at " << data;
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(data)) {
    if (e.path().extension() == ".fits") files.push_back(e.path().string());
  }
  const fs::path dir = fs::temp_directory_path() / ("qirm-sky-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string script =
      "import sys, warnings\n"
      "warnings.simplefilter('ignore')\n"
      "from astropy.io import fits\n"
      "from astropy.wcs import WCS\n"
      "from astropy.coordinates import FK5\n"
      "for path in sys.argv[1:]:\n"
      "    try:\n"
      "        hdul = fits.open(path)\n"
      "        hdu = next(h for h in hdul if h.header.get('NAXIS', 0) >= 2)\n"
      "        w = WCS(hdu.header, hdul)\n"
      "    except Exception:\n"
      "        continue\n"
      "    if not w.has_celestial:\n"
      "        continue\n"
      "    w = w.celestial\n"
      "    nx, ny = hdu.header['NAXIS1'], hdu.header['NAXIS2']\n"
      "    for x in (0, nx // 3, nx - 1):\n"
      "        for y in (0, ny // 2, ny - 1):\n"
      "            c = w.pixel_to_world(x, y)\n"
      "            if c.frame.name == 'galactic':\n"
      "                c = c.transform_to(FK5(equinox='J2000'))\n"
      "            print(path, x, y, repr(float(c.ra.deg)), repr(float(c.dec.deg)))\n";
  std::ofstream(dir / "sky.py") << script;
  std::string command = "/usr/bin/python3 " + (dir / "sky.py").string();
  for (const std::string& f : files) command += " '" + f + "'";
  command += " > " + (dir / "sky.txt").string() + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) {
    fs::remove_all(dir);
    GTEST_SKIP() << "no astropy under /usr/bin/python3";
  }
  std::ifstream in(dir / "sky.txt");
  std::map<std::string, std::unique_ptr<CelestialWcs>> wcs;
  std::string path;
  double x = 0, y = 0, ra_ref = 0, dec_ref = 0;
  int compared = 0;
  while (in >> path >> x >> y >> ra_ref >> dec_ref) {
    SCOPED_TRACE(path + " pixel " + std::to_string(x) + ", " + std::to_string(y));
    if (!wcs.count(path)) {
      FitsHeader header;
      ASSERT_TRUE(CheckFitsHeader(path, header).ok());
      wcs[path] = CelestialWcs::FromCards(ImageHeaderCards(header));
    }
    ASSERT_TRUE(wcs[path]) << "astropy finds a celestial WCS";
    double ra = 0, dec = 0;
    ASSERT_TRUE(wcs[path]->PixelToSky(x, y, ra, dec));
    const double r = M_PI / 180;
    const double cos_d = std::sin(dec * r) * std::sin(dec_ref * r) +
                         std::cos(dec * r) * std::cos(dec_ref * r) * std::cos((ra - ra_ref) * r);
    const double arcsec = std::acos(std::min(1.0, cos_d)) / r * 3600;
    EXPECT_LT(arcsec, 0.05) << ra << " " << dec << " against " << ra_ref << " " << dec_ref;
    ++compared;
  }
  fs::remove_all(dir);
  EXPECT_GT(compared, 0);
  std::printf("compared %d positions in %zu frames\n", compared, wcs.size());
}

}  // namespace
}  // namespace qirm
