// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/wcs_cards.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/sky_coordinates.h"
#include "display/display_commands.h"
#include "display/raw_values.h"
#include "display/resample.h"
#include "document/history.h"
#include "document/workspace.h"

namespace qirm {
namespace {

std::string Card(const std::string& text) { return text + std::string(80 - text.size(), ' '); }

std::string Number(const char* key, double v) {
  char line[81];
  std::snprintf(line, sizeof line, "%-8s= %20.12G", key, v);
  return Card(line);
}

// A w x h frame near (150, 40) with the celestial cards `linear` adds.
std::vector<std::string> Header(int w, int h, const std::vector<std::string>& linear,
                                const char* projection = "TAN") {
  std::vector<std::string> cards = {Card("SIMPLE  =                    T"),
                                    Card("BITPIX  =                   16"),
                                    Card("NAXIS   =                    2"),
                                    Number("NAXIS1", w),
                                    Number("NAXIS2", h),
                                    Card("OBJECT  = 'FIELD'")};
  cards.push_back(Card(std::string("CTYPE1  = 'RA---") + projection + "'"));
  cards.push_back(Card(std::string("CTYPE2  = 'DEC--") + projection + "'"));
  cards.push_back(Number("CRVAL1", 150.25));
  cards.push_back(Number("CRVAL2", 40.5));
  cards.push_back(Number("CRPIX1", 20.5));
  cards.push_back(Number("CRPIX2", 12.25));
  for (const std::string& c : linear) cards.push_back(c);
  cards.push_back(Card("EXPTIME =                 30.0"));
  return cards;
}

// The angle between two sky positions (haversine: exact for small ones).
double Arcsec(double ra1, double dec1, double ra2, double dec2) {
  const double r = M_PI / 180;
  const double a = std::sin((dec1 - dec2) * r / 2), b = std::sin((ra1 - ra2) * r / 2);
  const double h = a * a + std::cos(dec1 * r) * std::cos(dec2 * r) * b * b;
  return 2 * std::asin(std::sqrt(h)) / r * 3600;
}

// Every pixel of a small grid of the new frame against its source pixel in
// the old one, both through wcslib.
void ExpectSameSky(const std::vector<std::string>& before, const std::vector<std::string>& after,
                   const PixelMap& map, int new_w, int new_h, double tolerance = 1e-5) {
  const auto old_wcs = CelestialWcs::FromCards(before);
  const auto new_wcs = CelestialWcs::FromCards(after);
  ASSERT_TRUE(old_wcs);
  ASSERT_TRUE(new_wcs);
  for (double x : {0.0, 0.5 * new_w, new_w - 1.0}) {
    for (double y : {0.0, 0.3 * new_h, new_h - 1.0}) {
      const double ox = map.m[0][0] * x + map.m[0][1] * y + map.shift[0];
      const double oy = map.m[1][0] * x + map.m[1][1] * y + map.shift[1];
      double ra0 = 0, dec0 = 0, ra1 = 0, dec1 = 0;
      ASSERT_TRUE(old_wcs->PixelToSky(ox, oy, ra0, dec0));
      ASSERT_TRUE(new_wcs->PixelToSky(x, y, ra1, dec1));
      EXPECT_LT(Arcsec(ra0, dec0, ra1, dec1), tolerance) << x << ", " << y;
    }
  }
}

bool Has(const std::vector<std::string>& cards, const std::string& prefix) {
  for (const std::string& c : cards)
    if (c.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

// Each form of the linear cards through each kind of pixel map stays true to
// wcslib's reading of the old header; TPV works after the linear step and
// comes along unchanged.
TEST(WcsCards, LinearFormsFollowEveryMap) {
  const double s = 1.0 / 3600;
  struct Form {
    const char* name;
    std::vector<std::string> linear;
    const char* projection;
  };
  const Form forms[] = {
      {"CD",
       {Number("CD1_1", -s), Number("CD1_2", 0.1 * s), Number("CD2_1", 0.2 * s), Number("CD2_2", s)},
       "TAN"},
      {"PC and CDELT",
       {Number("CDELT1", -2 * s), Number("CDELT2", 2 * s), Number("PC1_1", 0.9), Number("PC2_1", 0.3)},
       "TAN"},
      {"CDELT alone", {Number("CDELT1", -s), Number("CDELT2", s)}, "SIN"},
      {"CDELT and CROTA2", {Number("CDELT1", -s), Number("CDELT2", 1.5 * s), Number("CROTA2", 30)}, "TAN"},
      {"TPV",
       {Number("CD1_1", -s), Number("CD2_2", s), Number("PV1_1", 1.0), Number("PV1_4", 0.02),
        Number("PV2_1", 1.0), Number("PV2_5", -0.03)},
       "TPV"},
  };
  PixelMap turn;  // a turn by 0.1 radian with a shift, as the rotate command's
  turn.m[0][0] = turn.m[1][1] = std::cos(0.1);
  turn.m[0][1] = std::sin(0.1);
  turn.m[1][0] = -std::sin(0.1);
  turn.shift[0] = 2;
  turn.shift[1] = -4;
  struct Change {
    const char* name;
    PixelMap map;
    int w, h;
  };
  const Change changes[] = {{"mirror", MirrorMap(40), 40, 25},
                            {"flip", FlipMap(25), 40, 25},
                            {"rotate", turn, 40, 25},
                            {"resample up", ResampleMap(40, 25, 100, 50), 100, 50},
                            {"resample down", ResampleMap(40, 25, 13, 9), 13, 9}};
  for (const Form& form : forms) {
    for (const Change& change : changes) {
      SCOPED_TRACE(std::string(form.name) + " through " + change.name);
      const std::vector<std::string> before = Header(40, 25, form.linear, form.projection);
      std::vector<std::string> after = before;
      MapWcsCards(after, change.map, change.w, change.h, change.name);
      ExpectSameSky(before, after, change.map, change.w, change.h);
      EXPECT_EQ(after[3], Number("NAXIS1", change.w));
      EXPECT_EQ(after[4], Number("NAXIS2", change.h));
      EXPECT_TRUE(Has(after, "OBJECT  = 'FIELD'"));
      EXPECT_TRUE(Has(after, "EXPTIME "));
      EXPECT_FALSE(Has(after, "HISTORY"));
      // A turned CROTA2 header becomes PC cards beside CDELT.
      if (std::string(form.name) == "CDELT and CROTA2" && std::string(change.name) == "rotate") {
        EXPECT_FALSE(Has(after, "CROTA2"));
        EXPECT_TRUE(Has(after, "PC1_2   "));
      }
    }
  }
}

// Applying the map twice where it is its own inverse gives the header back,
// value for value (mirror, flip), and an alternate description follows too.
TEST(WcsCards, MirrorTwiceAndAlternateDescriptions) {
  const double s = 1.0 / 3600;
  std::vector<std::string> cards = Header(40, 25, {Number("CD1_1", -s), Number("CD2_2", s)});
  cards.push_back(Card("CTYPE1A = 'RA---TAN'"));
  cards.push_back(Card("CTYPE2A = 'DEC--TAN'"));
  cards.push_back(Number("CRVAL1A", 10.0));
  cards.push_back(Number("CRVAL2A", -20.0));
  cards.push_back(Number("CRPIX1A", 3.0));
  cards.push_back(Number("CRPIX2A", 4.0));
  cards.push_back(Number("CDELT1A", -s));
  cards.push_back(Number("CDELT2A", s));
  std::vector<std::string> once = cards;
  MapWcsCards(once, MirrorMap(40), 40, 25, "mirror");
  EXPECT_TRUE(Has(once, "CRPIX1  =                 20.5"));  // 41 - 20.5
  EXPECT_TRUE(Has(once, "CRPIX1A =                 38.0"));  // 41 - 3
  EXPECT_TRUE(Has(once, "CDELT1A =    0.000277777777778"));
  std::vector<std::string> twice = once;
  MapWcsCards(twice, MirrorMap(40), 40, 25, "mirror");
  ASSERT_EQ(twice.size(), cards.size());
  for (std::size_t i = 0; i < cards.size(); ++i) {
    double a = 0, b = 0;
    if (std::sscanf(cards[i].c_str() + 10, "%lf", &a) == 1 &&
        std::sscanf(twice[i].c_str() + 10, "%lf", &b) == 1)
      EXPECT_DOUBLE_EQ(a, b) << cards[i];
    else
      EXPECT_EQ(cards[i], twice[i]);
  }
}

// What works on pixels before the linear step, or cannot be read, takes the
// whole celestial WCS with it and leaves a HISTORY card; other cards stay.
TEST(WcsCards, DistortionsThatCannotFollowDropTheWcs) {
  const double s = 1.0 / 3600;
  const std::vector<std::string> base = {Number("CD1_1", -s), Number("CD2_2", s)};
  struct Case {
    const char* name;
    std::vector<std::string> extra;
    const char* projection;
    const char* why;
  };
  const Case cases[] = {
      {"SIP",
       {Number("A_ORDER", 2), Number("A_2_0", 1e-5), Number("B_ORDER", 2), Number("B_0_2", 1e-5)},
       "TAN-SIP",
       "SIP distortion"},
      {"DSS",
       {Number("PLTRAH", 5), Number("AMDX1", 67.1), Number("CNPIX1", 12237), Number("XPIXELSZ", 15.0)},
       "TAN",
       "DSS plate solution"},
      {"TNX", {Card("WAT1_001= 'wtype=tnx axtype=ra'")}, "TNX", "WAT solution"},
      {"table", {Card("CPDIS1  = 'Lookup'")}, "TAN", "distortion tables"},
      {"old matrix", {Number("CD001001", -s)}, "TAN", "matrix in an old form"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> extra = base;
    extra.insert(extra.end(), c.extra.begin(), c.extra.end());
    std::vector<std::string> cards = Header(40, 25, extra, c.projection);
    MapWcsCards(cards, FlipMap(25), 40, 25, "flip");
    EXPECT_FALSE(CelestialWcs::FromCards(cards));
    for (const char* gone : {"CTYPE", "CRPIX", "CRVAL", "CD1_1", "A_", "B_", "AMDX", "PLTRAH", "CNPIX",
                             "XPIXELSZ", "WAT", "CPDIS"})
      EXPECT_FALSE(Has(cards, gone)) << gone;
    EXPECT_TRUE(Has(cards, "OBJECT  = 'FIELD'"));
    EXPECT_TRUE(Has(cards, "EXPTIME "));
    EXPECT_EQ(cards.back(),
              Card(std::string("HISTORY QIRM flip: WCS dropped (") + c.why + " cannot be mapped)"));
  }
  // A header without world coordinates only learns its new size.
  std::vector<std::string> plain = {Number("NAXIS1", 40), Number("NAXIS2", 25), Card("OBJECT  = 'M13'")};
  MapWcsCards(plain, ResampleMap(40, 25, 80, 50), 80, 50, "resample");
  EXPECT_EQ(plain,
            (std::vector<std::string>{Number("NAXIS1", 80), Number("NAXIS2", 50), Card("OBJECT  = 'M13'")}));
  std::vector<std::string> none;
  MapWcsCards(none, MirrorMap(40), 40, 25, "mirror");
  EXPECT_TRUE(none.empty());
}

// A reference pixel far out that the new scale carries beyond the largest
// double must not be written as "inf": the WCS goes as for a distortion.
TEST(WcsCards, ValuesBeyondTheNumbersDropTheWcs) {
  const double s = 1.0 / 3600;
  std::vector<std::string> cards = Header(40, 25, {Number("CD1_1", -s), Number("CD2_2", s)});
  for (std::string& c : cards)
    if (c.compare(0, 8, "CRPIX1  ") == 0) c = Card("CRPIX1  =              1.0E308");
  MapWcsCards(cards, ResampleMap(40, 25, 400, 250), 400, 250, "resample");
  for (const std::string& c : cards) EXPECT_EQ(c.find("inf"), std::string::npos) << c;
  EXPECT_FALSE(Has(cards, "CRPIX"));
  EXPECT_FALSE(Has(cards, "CD1_1"));
  EXPECT_EQ(cards.back(), Card("HISTORY QIRM resample: WCS dropped (an overflowing value cannot be mapped)"));
}

// The commands move a bright spot and the header with it: the sky under the
// spot is the same before and after, in the readout's terms (DocumentWcs),
// and undo brings the old cards back.
TEST(WcsCards, GeometryCommandsKeepTheSkyUnderTheirPixels) {
  const int w = 60, h = 44, px = 17, py = 11;
  std::vector<std::uint16_t> raw(static_cast<std::size_t>(w) * h, 1000);
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      raw[static_cast<std::size_t>(py + dy) * w + px + dx] = dx || dy ? 30000 : 60000;
  const double s = 1.0 / 3600;
  ImageDocument doc;
  doc.kind = WindowKind::kRaw16;
  doc.raw = RawPlane(w, h);
  doc.width = w;
  doc.height = h;
  doc.fits_cards = Header(
      w, h, {Number("CD1_1", -s), Number("CD1_2", 0.2 * s), Number("CD2_1", 0.1 * s), Number("CD2_2", s)});
  StoreRawValues(doc, raw);
  double ra0 = 0, dec0 = 0;
  ASSERT_TRUE(DocumentWcs(doc)->PixelToSky(px, py, ra0, dec0));

  struct Step {
    const char* name;
    std::function<Status(ImageDocument&)> run;
    double tolerance;  // arcsec, about a pixel each
  };
  const Step steps[] = {
      {"mirror", [](ImageDocument& d) { return MirrorCommand(d); }, 1e-6},
      {"flip", [](ImageDocument& d) { return FlipCommand(d); }, 1e-6},
      {"rotate", [](ImageDocument& d) { return RotateCommand(d); }, 0.1},
      {"resample",
       [](ImageDocument& d) {
         return ResampleCommand(d, {120, 88, ResampleMethod::kBilinear, false}, d);
       },
       0.1},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    Workspace ws;
    ImageDocument& window = ws.NewWindow();
    window = doc;
    ws.Activate(&window);
    ASSERT_TRUE(RunWithUndo(ws, step.name, [&](ImageDocument& d) { return step.run(d); }).ok());
    std::vector<std::uint16_t> moved;
    ASSERT_TRUE(ReadRawValues(window, step.name, moved).ok());
    // The spot's centroid above the background; the rotation leaves white
    // (65535) where it computes nothing.
    const int nw = window.raw.width;
    double sum = 0, sx = 0, sy = 0;
    for (std::size_t i = 0; i < moved.size(); ++i) {
      if (moved[i] <= 1000 || moved[i] == 65535) continue;
      const double v = moved[i] - 1000.0;
      sum += v;
      sx += v * static_cast<double>(i % nw);
      sy += v * static_cast<double>(i / nw);
    }
    ASSERT_GT(sum, 0);
    const auto wcs = DocumentWcs(window);
    ASSERT_TRUE(wcs);
    double ra = 0, dec = 0;
    ASSERT_TRUE(wcs->PixelToSky(sx / sum, sy / sum, ra, dec));
    EXPECT_LT(Arcsec(ra, dec, ra0, dec0), step.tolerance);
    ASSERT_TRUE(UndoActive(ws));
    EXPECT_EQ(ws.active()->fits_cards, doc.fits_cards);
  }
}

}  // namespace
}  // namespace qirm
