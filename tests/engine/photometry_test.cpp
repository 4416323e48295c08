// SPDX-License-Identifier: GPL-3.0-or-later
// Star and trail photometry: the aperture geometry against a fine numeric
// integral, fits on synthetic stars of known shape, the error budget, the
// texts, and real frames against photutils and astropy.modeling.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <thread>

#include "app/open_image.h"
#include "core/file_bytes.h"
#include "core/parallel.h"
#include "document/workspace.h"
#include "photometry/aperture.h"
#include "photometry/profile_fit.h"
#include "photometry/star_photometry.h"
#include "photometry/trail_photometry.h"
#include "tests/engine/fits_test_util.h"

namespace qirm {
namespace {

SamplePlane Flat(int w, int h, double sky) {
  SamplePlane p;
  p.width = w;
  p.height = h;
  p.values.assign(static_cast<std::size_t>(w) * h, sky);
  return p;
}

double& At(SamplePlane& p, int x, int y) { return p.values[static_cast<std::size_t>(y) * p.width + x]; }

// An elliptical Gaussian of total flux `flux` (sampled at the pixel centres)
// added to the plane.
void AddGaussian(SamplePlane& p, double cx, double cy, double flux, double sx, double sy, double theta_deg) {
  const double t = theta_deg * std::numbers::pi / 180;
  const double c = std::cos(t), s = std::sin(t);
  const double amplitude = flux / (2 * std::numbers::pi * sx * sy);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const double u = (x - cx) * c + (y - cy) * s;
      const double v = -(x - cx) * s + (y - cy) * c;
      At(p, x, y) += amplitude * std::exp(-0.5 * (u * u / (sx * sx) + v * v / (sy * sy)));
    }
  }
}

TEST(ApertureGeometry, OverlapsMatchAFineIntegralAndSumToTheCircle) {
  struct Case {
    double cx, cy, r;
  };
  for (const Case c : {Case{0, 0, 0.3}, Case{0.5, 0.5, 1}, Case{0.13, -0.41, 2.7}, Case{10.49, 3.02, 6},
                       Case{-0.25, 0.37, 0.71}}) {
    SCOPED_TRACE(testing::Message() << c.cx << ", " << c.cy << ", r " << c.r);
    double total = 0;
    const int lo = static_cast<int>(std::floor(std::min(c.cx, c.cy) - c.r - 1));
    const int hi = static_cast<int>(std::ceil(std::max(c.cx, c.cy) + c.r + 1));
    for (int py = lo; py <= hi; ++py) {
      for (int px = lo; px <= hi; ++px) {
        const double w = CirclePixelOverlap(c.cx, c.cy, c.r, px, py);
        ASSERT_GE(w, 0);
        ASSERT_LE(w, 1);
        total += w;
        if (w == 0 || w == 1) continue;
        // Midpoint rule on a 400 x 400 grid of the pixel: good to ~1e-4.
        constexpr int n = 400;
        int inside = 0;
        for (int j = 0; j < n; ++j)
          for (int i = 0; i < n; ++i) {
            const double x = px - 0.5 + (i + 0.5) / n - c.cx;
            const double y = py - 0.5 + (j + 0.5) / n - c.cy;
            inside += x * x + y * y <= c.r * c.r;
          }
        EXPECT_NEAR(w, static_cast<double>(inside) / (n * n), 3e-4) << "pixel " << px << ", " << py;
      }
    }
    EXPECT_NEAR(total, std::numbers::pi * c.r * c.r, 1e-12 * c.r * c.r);
  }
  // A circle inside one pixel, and a pixel inside a circle.
  EXPECT_NEAR(CirclePixelOverlap(0.1, 0.1, 0.2, 0, 0), std::numbers::pi * 0.04, 1e-15);
  EXPECT_EQ(CirclePixelOverlap(0, 0, 5, 2, 2), 1);
  EXPECT_EQ(CirclePixelOverlap(0, 0, 2, 3, 0), 0);
}

TEST(ApertureGeometry, PixelsOffThePictureAreLeftOutAndReported) {
  const SamplePlane p = Flat(20, 20, 2);
  const ApertureSum inside = CircularApertureSum(p, 10, 10, 3);
  EXPECT_NEAR(inside.area, std::numbers::pi * 9, 1e-12);
  EXPECT_NEAR(inside.sum, 2 * inside.area, 1e-12);
  EXPECT_FALSE(inside.clipped);
  const ApertureSum corner = CircularApertureSum(p, -0.5, -0.5, 3);
  EXPECT_NEAR(corner.area, std::numbers::pi * 9 / 4, 1e-12);
  EXPECT_TRUE(corner.clipped);
}

TEST(SkyStatistics, ClippingDropsOutliersAndTheMedianOfEvenCountsIsTheMiddlePair) {
  std::vector<double> values(100, 10.0);
  for (int i = 0; i < 50; ++i) values[i] = 9;  // median of 9 and 10
  values.push_back(1000);                      // a star in the annulus
  values.push_back(-500);
  const ClippedStats s = SigmaClippedStats(values);
  EXPECT_EQ(s.count, 100);
  EXPECT_DOUBLE_EQ(s.median, 9.5);
  EXPECT_DOUBLE_EQ(s.sigma, 0.5);
  EXPECT_EQ(SigmaClippedStats({}).count, 0);
}

TEST(StarPhotometry, SyntheticStarGivesItsFluxCentreAndShape) {
  SamplePlane p = Flat(80, 80, 100);
  AddGaussian(p, 40.3, 39.6, 50000, 2.4, 1.6, 30);
  StarPhotometryParams params;
  params.aperture = 16;  // the Gaussian's wings beyond 16 px hold < 1e-9 of it
  params.annulus_inner = 20;
  params.annulus_outer = 30;
  StarMeasurement m;
  ASSERT_TRUE(MeasureStar(p, 42, 38, params, {}, m).ok());
  EXPECT_NEAR(m.x, 40.3, 1e-3);
  EXPECT_NEAR(m.y, 39.6, 1e-3);
  EXPECT_NEAR(m.sky, 100, 1e-9);
  EXPECT_NEAR(m.flux, 50000, 1e-2);
  EXPECT_NEAR(m.mag, 25 - 2.5 * std::log10(50000.0), 1e-6);
  EXPECT_NEAR(m.fwhm_gauss, kSigmaToFwhm * std::sqrt(2.4 * 1.6), 1e-4);
  EXPECT_NEAR(m.ellipticity, 1 - 1.6 / 2.4, 1e-5);
  EXPECT_NEAR(m.theta, 30, 1e-3);
  EXPECT_NEAR(m.peak, p.At(40, 40), 1e-9);

  // The same star turned the other way, and a round one (its angle is
  // meaningless but finite).
  SamplePlane q = Flat(80, 80, 0);
  AddGaussian(q, 40, 40, 50000, 2.4, 1.6, -60);
  ASSERT_TRUE(MeasureStar(q, 40, 40, params, {}, m).ok());
  EXPECT_NEAR(m.theta, -60, 1e-3);
  SamplePlane round = Flat(80, 80, 0);
  AddGaussian(round, 40, 40, 50000, 2, 2, 0);
  ASSERT_TRUE(MeasureStar(round, 40, 40, params, {}, m).ok());
  EXPECT_NEAR(m.ellipticity, 0, 1e-6);
  EXPECT_TRUE(std::isfinite(m.theta));
}

TEST(StarPhotometry, MoffatFitRecoversWidthAndBeta) {
  SamplePlane p = Flat(60, 60, 50);
  const double alpha = 3, beta = 3.2;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x)
      At(p, x, y) +=
          1000 * std::pow(1 + (std::pow(x - 30.4, 2) + std::pow(y - 29.8, 2)) / (alpha * alpha), -beta);
  const MoffatFit fit = FitMoffat(p, 30, 30, 10, 50, 1000, 4);
  ASSERT_TRUE(fit.ok);
  EXPECT_NEAR(fit.beta, beta, 1e-5);
  EXPECT_NEAR(fit.Fwhm(), 2 * alpha * std::sqrt(std::pow(2.0, 1 / beta) - 1), 1e-5);
  EXPECT_NEAR(fit.x, 30.4, 1e-6);
}

TEST(StarPhotometry, ErrorBudgetUsesTheHeadersGainAndReadNoiseFirst) {
  SamplePlane p = Flat(60, 60, 200);
  // A sky of alternating 190 / 210: sigma 10.
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x) At(p, x, y) += (x + y) % 2 ? 10 : -10;
  AddGaussian(p, 30, 30, 20000, 2, 2, 0);
  StarPhotometryParams params;
  params.gain = 4;
  params.read_noise = 100;  // 25 units at gain 4: above the sky's 10
  StarMeasurement m;
  ASSERT_TRUE(MeasureStar(p, 30, 30, params, {}, m).ok());
  EXPECT_EQ(m.gain, 4);
  const double expected = std::sqrt(m.flux / 4 + m.area * 625 + m.area * m.area * 625 / m.sky_count);
  EXPECT_NEAR(m.flux_err, expected, 1e-9 * expected);
  EXPECT_NEAR(m.snr, m.flux / m.flux_err, 1e-9);
  EXPECT_NEAR(m.mag_err, 1.0857362047581294 / m.snr, 1e-9);

  const HeaderNoise header =
      NoiseFromHeader({fits_test::Fixed("GAIN", "2.5"), fits_test::Fixed("RDNOISE", "0.")});
  ASSERT_TRUE(MeasureStar(p, 30, 30, params, header, m).ok());
  EXPECT_EQ(m.gain, 2.5);
  EXPECT_EQ(m.read_noise, 0);
  // The star's far wings touch the annulus.
  EXPECT_NEAR(m.sky_sigma, 10, 1e-3);
  const double s2 = m.sky_sigma * m.sky_sigma;
  const double with_header = std::sqrt(m.flux / 2.5 + m.area * s2 + m.area * m.area * s2 / m.sky_count);
  EXPECT_NEAR(m.flux_err, with_header, 1e-9 * with_header);
  // EGAIN where GAIN is missing; a gain of 0 or text is no gain.
  EXPECT_EQ(NoiseFromHeader({fits_test::Fixed("EGAIN", "1.7")}).gain, 1.7);
  EXPECT_FALSE(NoiseFromHeader({fits_test::Fixed("GAIN", "0")}).gain);
  EXPECT_FALSE(NoiseFromHeader({fits_test::Fixed("GAIN", "'high'")}).gain);
}

TEST(StarPhotometry, RefusedValuesAndPositions) {
  const SamplePlane p = Flat(40, 40, 1);
  struct Case {
    double r, rin, rout, search, gain, noise;
  };
  for (const Case c : {Case{0, 10, 15, 5, 1, 0}, Case{6, 5, 15, 5, 1, 0}, Case{6, 10, 10, 5, 1, 0},
                       Case{6, 10, 15, -1, 1, 0}, Case{6, 10, 15, 1e12, 1, 0}, Case{6, 10, 15, 5, 0, 0},
                       Case{6, 10, 15, 5, 1, -1}, Case{NAN, 10, 15, 5, 1, 0}}) {
    StarPhotometryParams params{c.r, c.rin, c.rout, c.search, 25, c.gain, c.noise};
    StarMeasurement m;
    EXPECT_FALSE(MeasureStar(p, 20, 20, params, {}, m).ok()) << c.r << " " << c.rin << " " << c.rout;
  }
  StarMeasurement m;
  // Zero points within +-100 only.
  for (const double zp : {100.5, -101.0, 1e60, -1e300}) {
    StarPhotometryParams params;
    params.zero_point = zp;
    EXPECT_EQ(MeasureStar(p, 20, 20, params, {}, m).message(), "the zero point must be -100 to 100") << zp;
  }
  for (const double zp : {100.0, -100.0}) {
    StarPhotometryParams params;
    params.zero_point = zp;
    EXPECT_TRUE(CheckStarParams(params).ok()) << zp;
  }
  const Status outside = MeasureStar(p, 100, 100, {}, {}, m);
  EXPECT_EQ(outside.message(), "the position lies outside the picture");
  // A flat patch: no flux, no magnitude, no fit; the numbers say so.
  ASSERT_TRUE(MeasureStar(p, 20, 20, {}, {}, m).ok());
  EXPECT_EQ(m.flux, 0);
  EXPECT_TRUE(std::isnan(m.mag));
  EXPECT_EQ(StarValueTexts(m)[7], "nan");
}

TEST(StarPhotometry, TextsAndPositionLists) {
  StarMeasurement m;
  m.x = 12.34567;
  m.y = -0.0001;
  m.flux = 1234567.891234;
  m.mag = std::numeric_limits<double>::quiet_NaN();
  const std::string lines = StarKeyValueLines(m);
  EXPECT_EQ(lines.substr(0, lines.find("FLUX_ERR")), "X=12.346\nY=0.000\nFLUX=1234567.891\n");
  EXPECT_NE(lines.find("\nMAG=nan\n"), std::string::npos);
  EXPECT_EQ(CsvLine({"a", "b,c", "d\"e"}), "a,\"b,c\",\"d\"\"e\"");

  // Every double as printf writes it, however many digits it takes.
  for (const double v : {0.5, -1234.5678, 1e60, -1e60, 1e300, -std::numeric_limits<double>::max(),
                         std::numeric_limits<double>::denorm_min(), 123456789012345678.0}) {
    for (const int digits : {0, 1, 4, 10}) {
      SCOPED_TRACE(testing::Message() << v << " " << digits);
      std::vector<char> printed(400 + digits);
      std::snprintf(printed.data(), printed.size(), "%.*f", digits, v);
      if (std::fabs(v) >= 1) {
        EXPECT_EQ(RealText(v, digits), printed.data());
      }
      std::snprintf(printed.data(), printed.size(), "%.*g", digits, v);
      EXPECT_EQ(RealText(v, digits, 'g'), printed.data());
    }
  }
  EXPECT_EQ(RealText(-1e-9, 3), "0.000");

  std::vector<StarPosition> list;
  std::vector<int> bad;
  ParsePositionList("x,y\n# comment\n\n10,20\r\n 3.5 , -1e1,extra\n", list, bad);
  EXPECT_TRUE(bad.empty());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].x, 3.5);
  EXPECT_EQ(list[1].y, -10);
  EXPECT_EQ(list[1].line, 5);
  // Every line that is no position is named; the others are all kept.
  ParsePositionList("1,2\n3;4\n5,6\n7,nan\n8,\n9,10", list, bad);
  EXPECT_EQ(bad, (std::vector<int>{2, 4, 5}));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[2].line, 6);
}

TEST(TrailPhotometry, ASlantedTrailGivesItsFluxPerLengthAndTheSkyBeside) {
  // A trail of 300 units per pixel of length, 1.5 px wide, at 30 degrees, on a
  // sky of 40 with a star in the sky band (clipped away).
  SamplePlane p = Flat(120, 100, 40);
  const double x1 = 20, y1 = 30, x2 = 100, y2 = 30 + 80 * std::tan(std::numbers::pi / 6);
  const double len = std::hypot(x2 - x1, y2 - y1);
  const double ux = (x2 - x1) / len, uy = (y2 - y1) / len;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 120; ++x) {
      const double s = (x - x1) * ux + (y - y1) * uy;
      const double t = -(x - x1) * uy + (y - y1) * ux;
      if (s > -5 && s < len + 5)
        At(p, x, y) += 300 / (1.5 * std::sqrt(2 * std::numbers::pi)) * std::exp(-0.5 * t * t / 2.25);
    }
  AddGaussian(p, 60 - 14 * uy, 53.1 + 14 * ux, 5000, 1, 1, 0);
  TrailMeasurement m;
  ASSERT_TRUE(MeasureTrail(p, x1, y1, x2, y2, {12, 3}, m).ok());
  EXPECT_NEAR(m.length, len, 1e-12);
  EXPECT_NEAR(m.sky, 40, 1e-9);
  ASSERT_EQ(m.profile.size(), static_cast<std::size_t>(std::ceil(len)));
  // The pixels sample the cross-section: each bin within a few per cent,
  // the whole within one.
  for (const TrailBin& b : m.profile) EXPECT_NEAR(b.flux, 300, 15) << "s " << b.s;
  EXPECT_NEAR(m.flux / len, 300, 3);

  EXPECT_FALSE(MeasureTrail(p, 10, 10, 10.5, 10, {}, m).ok());
  EXPECT_EQ(MeasureTrail(p, 500, 500, 600, 500, {}, m).message(), "the trail lies outside the picture");
  EXPECT_FALSE(MeasureTrail(p, x1, y1, x2, y2, {0, 3}, m).ok());
  const std::string text = TrailProfileText(m, "f.fits", x1, y1, x2, y2, {12, 3});
  EXPECT_EQ(text.rfind("# trail profile of f.fits\n", 0), 0u);
}

TEST(TrailPhotometry, ASegmentFarBeyondThePictureIsCutToIt) {
  // A horizontal trail of 200 a pixel along y = 40 of a 64 x 48 plane.
  SamplePlane p = Flat(64, 48, 1000);
  for (int x = 0; x < 64; ++x)
    for (int y = 36; y <= 44; ++y)
      At(p, x, y) += 200 / std::sqrt(2 * std::numbers::pi) * std::exp(-0.5 * (y - 40) * (y - 40));
  const TrailParams params{6, 2};
  // Bin k of both covers x from k - 20.25 (mod 1 alike), so the bins on the
  // picture are the same rectangles.
  TrailMeasurement near, far;
  ASSERT_TRUE(MeasureTrail(p, -20.25, 40, 100, 40, params, near).ok());
  ASSERT_TRUE(MeasureTrail(p, -1e5 - 0.25, 40, 1e5, 40, params, far).ok());
  EXPECT_EQ(far.length, 2e5 + 0.25);
  // Only the bins touching the picture (x from -0.5 to 63.5), s still
  // counted from the given end.
  ASSERT_EQ(far.profile.size(), 65u);
  ASSERT_EQ(near.profile.size(), 65u);
  for (std::size_t i = 0; i < far.profile.size(); ++i) {
    SCOPED_TRACE(i);
    const TrailBin& a = near.profile[i];
    const TrailBin& b = far.profile[i];
    EXPECT_GT(b.coverage, 0);
    EXPECT_EQ(b.s, b.x + 1e5 + 0.25);
    EXPECT_EQ(a.s, a.x + 20.25);
    EXPECT_NEAR(b.x, a.x, 1e-9);
    EXPECT_EQ(b.coverage, a.coverage);
    EXPECT_NEAR(b.flux, a.flux, 1e-9 * std::fabs(a.flux) + 1e-9);
  }
  EXPECT_EQ(far.profile.front().x, -0.75);
  EXPECT_EQ(far.sky, near.sky);
  EXPECT_NEAR(far.flux, near.flux, 1e-9 * near.flux);
  EXPECT_EQ(far.s_from, 1e5 - 1);
  EXPECT_EQ(far.s_to, 1e5 + 64);
  const std::string text = TrailProfileText(far, "f.fits", -1e5 - 0.25, 40, 1e5, 40, params);
  EXPECT_NE(text.find("\n# on the picture: s from 99999.00 to 100064.00 (the rest is left out)\n"
                      "# s x y flux coverage\n99999.50 -0.75 40.00 "),
            std::string::npos)
      << text.substr(0, 400);

  // A segment beside the picture that none of its bins touch.
  EXPECT_EQ(MeasureTrail(p, -1e6, -20, 1e6, -20, params, far).message(),
            "the trail lies outside the picture");
  EXPECT_EQ(MeasureTrail(p, 80, -1e6, 80, 1e6, params, far).message(), "the trail lies outside the picture");
  EXPECT_EQ(MeasureTrail(p, -1e6, 1e6, 1e6, 1e6 + 1, params, far).message(),
            "the trail lies outside the picture");
}

TEST(SamplePlanes, PhysicalValuesChannelsAndCutouts) {
  // A 16-bit window under BZERO 100, BSCALE 2: raw 32768 + k is 100 + 2k.
  ImageDocument raw;
  raw.kind = WindowKind::kRaw16;
  raw.scaling.bzero = 100;
  raw.scaling.bscale = 2;
  raw.raw = RawPlane(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) raw.raw.Row(y)[x] = static_cast<std::uint16_t>(32768 + x + 3 * y);
  SamplePlane plane;
  ASSERT_TRUE(SamplePlaneOf(raw, PhotometryChannel::kRed, plane).ok());
  EXPECT_EQ(plane.values, (std::vector<double>{100, 102, 104, 106, 108, 110}));
  int ox = 0, oy = 0;
  ASSERT_TRUE(SamplePlaneOf(raw, PhotometryChannel::kGreen, 1, -5, 10, 7, plane, ox, oy).ok());
  EXPECT_EQ(ox, 1);
  EXPECT_EQ(oy, 0);
  EXPECT_EQ(plane.values, (std::vector<double>{102, 104, 108, 110}));
  EXPECT_FALSE(SamplePlaneOf(raw, PhotometryChannel::kGreen, 5, 0, 2, 2, plane, ox, oy).ok());
  EXPECT_EQ(ChannelName(raw, PhotometryChannel::kBlue), "");

  // A colour window: each channel of the shown picture.
  ImageDocument colour;
  colour.kind = WindowKind::kColour;
  colour.Image = Picture(1, 1);
  colour.Image.Row(0)[0] = 30;  // blue
  colour.Image.Row(0)[1] = 20;  // green
  colour.Image.Row(0)[2] = 10;  // red
  const struct {
    PhotometryChannel channel;
    double value;
    const char* name;
  } cases[] = {{PhotometryChannel::kRed, 10, "R"},
               {PhotometryChannel::kGreen, 20, "G"},
               {PhotometryChannel::kBlue, 30, "B"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(SamplePlaneOf(colour, c.channel, plane).ok());
    EXPECT_EQ(plane.values, std::vector<double>{c.value});
    EXPECT_EQ(ChannelName(colour, c.channel), c.name);
  }
  EXPECT_FALSE(SamplePlaneOf(ImageDocument{}, PhotometryChannel::kGreen, plane).ok());
  EXPECT_EQ(HeaderString({fits_test::Card("DATE-OBS= '2001-02-03T04:05:06'  / start"),
                          fits_test::Card("OBJECT  = 'O''Neil '")},
                         "OBJECT"),
            "O'Neil");
}

TEST(StarPhotometry, AWindowCutoutGivesTheWholePlanesResult) {
  // Near a corner, so the cutout is cut by the picture too.
  ImageDocument doc;
  doc.kind = WindowKind::kColour;
  doc.Image = Picture(60, 50);
  SamplePlane whole = Flat(60, 50, 20);
  AddGaussian(whole, 8.2, 6.7, 3000, 1.3, 1.1, 10);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 60; ++x) {
      const auto v = static_cast<std::uint8_t>(std::min(255.0, std::round(whole.At(x, y))));
      doc.Image.SetColor(x, y, 0x010101u * v);
      At(whole, x, y) = v;
    }
  StarMeasurement a, b;
  ASSERT_TRUE(MeasureStar(whole, 9, 7, {}, {}, a).ok());
  ASSERT_TRUE(MeasureStarInWindow(doc, PhotometryChannel::kBlue, 9, 7, {}, b).ok());
  EXPECT_EQ(StarValueTexts(a), StarValueTexts(b));
  EXPECT_TRUE(a.clipped);
}

// A list is measured on any number of cores with the results of one call
// each, handed on in the list's order on the calling thread as they come.
TEST(StarPhotometry, AListGivesTheSameRowsInOrderOnAnyNumberOfCores) {
  ImageDocument doc;
  doc.kind = WindowKind::kColour;
  doc.Image = Picture(200, 160);
  SamplePlane sky = Flat(200, 160, 30);
  std::vector<StarPosition> positions;
  for (int k = 0; k < 40; ++k) {
    const double x = 15 + (k * 37) % 170, y = 15 + (k * 23) % 130;
    AddGaussian(sky, x + 0.3, y - 0.2, 2000 + 100 * k, 1.2, 1.4, 10 * k);
    positions.push_back({x, y, k + 1});
  }
  positions.insert(positions.begin() + 7, StarPosition{500, 20, 99});  // off the picture
  for (int y = 0; y < 160; ++y)
    for (int x = 0; x < 200; ++x)
      doc.Image.SetColor(x, y,
                         0x010101u * static_cast<std::uint32_t>(std::min(255.0, std::round(sky.At(x, y)))));
  const auto rows = [&] {
    std::vector<std::string> out;
    const auto caller = std::this_thread::get_id();
    MeasureStarsInOrder(doc, PhotometryChannel::kGreen, positions, {},
                        [&](std::size_t k, const StarMeasurement& m, const Status& s) {
                          EXPECT_EQ(k, out.size());
                          EXPECT_EQ(std::this_thread::get_id(), caller);
                          out.push_back(s ? CsvLine(StarValueTexts(m)) : s.message());
                        });
    return out;
  };
  std::vector<std::string> serial;
  {
    const ScopedThreadLimit one(1);
    serial = rows();
  }
  ASSERT_EQ(serial.size(), positions.size());
  EXPECT_EQ(serial[7], "the position lies outside the picture");
  StarMeasurement first;
  ASSERT_TRUE(
      MeasureStarInWindow(doc, PhotometryChannel::kGreen, positions[0].x, positions[0].y, {}, first).ok());
  EXPECT_EQ(serial[0], CsvLine(StarValueTexts(first)));
  for (const int cores : {2, 3, 8}) {
    const ScopedThreadCount count(cores);
    EXPECT_EQ(rows(), serial) << cores << " cores";
  }
}

// The part of a window photometry reads comes from the user's numbers (a
// trail across the frame, wide annuli): one the machine cannot hold is
// refused as the readers refuse a picture, before it is allocated.
TEST(SamplePlanes, APartBeyondTheMemoryIsRefused) {
  struct PretendMemory {
    explicit PretendMemory(std::uint64_t bytes) { SetAvailableMemoryForTesting(bytes); }
    ~PretendMemory() { SetAvailableMemoryForTesting(0); }
  } memory(2u << 20);
  ImageDocument doc;
  doc.kind = WindowKind::kColour;
  doc.Image = Picture(600, 500);
  TrailMeasurement m;
  EXPECT_EQ(MeasureTrailInWindow(doc, PhotometryChannel::kGreen, 0, 0, 599, 499, {}, m).message(),
            "a 600 x 500 picture needs 3 MiB of memory but only 2 MiB are available");
  StarPhotometryParams wide;
  wide.annulus_inner = 400;
  wide.annulus_outer = 500;
  StarMeasurement star;
  EXPECT_EQ(MeasureStarInWindow(doc, PhotometryChannel::kGreen, 300, 250, wide, star).message(),
            "a 600 x 500 picture needs 3 MiB of memory but only 2 MiB are available");
  // A star's usual part is never refused.
  doc.Image.SetColor(300, 250, 0xffffffu);
  EXPECT_TRUE(MeasureStarInWindow(doc, PhotometryChannel::kGreen, 300, 250, {}, star).ok());
}

// ---- Real frames against photutils and astropy.modeling ----

constexpr const char* kOracle = R"PY(
import sys, warnings
try:
    import numpy as np
    from astropy.io import fits
    from astropy.modeling import models, fitting
    from astropy.stats import SigmaClip
    from photutils.aperture import CircularAperture, CircularAnnulus, aperture_photometry, ApertureStats
    import scipy.optimize  # the trust-region fitter's
except ImportError:
    sys.exit(3)
warnings.simplefilter('ignore')
# argv: positions file (path x y r rin rout half per line)
for line in open(sys.argv[1]):
    path, x, y, r, rin, rout, half = line.split()
    x, y, r, rin, rout, half = float(x), float(y), float(r), float(rin), float(rout), int(half)
    with fits.open(path) as f:
        data = next(h.data for h in f if h.data is not None and h.data.ndim >= 2).astype(float)
    s = aperture_photometry(data, CircularAperture((x, y), r), method='exact')['aperture_sum'][0]
    st = ApertureStats(data, CircularAnnulus((x, y), rin, rout), sigma_clip=SigmaClip(sigma=3.0, maxiters=10))
    ix, iy = int(round(x)), int(round(y))
    yy, xx = np.mgrid[iy - half:iy + half + 1, ix - half:ix + half + 1]
    cut = data[iy - half:iy + half + 1, ix - half:ix + half + 1]
    sky = float(st.median)
    # The trust-region fitter with the angle bounded: the plain
    # Levenberg-Marquardt fitter lets the angle run off for nearly round
    # stars and stops short of the minimum. Three starts, the best kept.
    best = None
    for s0 in (1.0, 1.5, 2.5):
        g = models.Gaussian2D(cut.max() - sky, x, y, s0, s0 * 0.9, theta=0.1) + models.Const2D(sky)
        g.theta_0.bounds = (-np.pi, np.pi)
        f = fitting.TRFLSQFitter()(g, xx, yy, cut, maxiter=1000)
        cost = ((cut - f(xx, yy)) ** 2).sum()
        if best is None or cost < best[0]:
            best = (cost, f)
    fit = best[1]
    fw = 2.3548200450309493 * np.sqrt(abs(fit.x_stddev_0.value * fit.y_stddev_0.value))
    print('%.12g %.12g %.12g' % (s, sky, fw))
)PY";

TEST(PhotometryOracle, RealFramesAgreeWithPhotutilsAndAstropyModeling) {
  const std::string data = QIRM_DATA_DIR;
  if (!std::filesystem::is_directory(data)) GTEST_SKIP() << "no " << data;
  if (!std::filesystem::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
  struct Star {
    std::string file;
    double x, y;  // the manifest's 1-based positions
  };
  const std::vector<Star> stars = {
      {"fixtures/kpno_m51_B_dev_pix.fits", 404.5, 274.3},
      {"fixtures/kpno_m51_B_dev_pix.fits", 379.1, 66.8},
      {"fixtures/kpno_m51_B_dev_pix.fits", 442.0, 409.7},
      {"fixtures/kpno_m51_B_dev_pix.fits", 224.3, 131.2},
      {"fixtures/dss_m67_M6707HH.fits", 1012.5, 664.6},
      {"fixtures/dss_m67_M6707HH.fits", 197.7, 928.4},
      {"registration/M13_blue_0001.fits", 705.8, 447.3},
      {"registration/M13_blue_0001.fits", 691.4, 554.8},
      // BSCALE 0.0458, BZERO 1500: physical values on both sides.
      {"colour/gc_2mass_j.fits", 565, 552},
      {"colour/gc_2mass_j.fits", 320, 193},
  };
  fits_test::TempDir dir;
  std::ofstream list(dir.File("stars.txt"));
  std::vector<StarMeasurement> ours;
  for (const Star& star : stars) {
    const std::string path = data + "/" + star.file;
    Workspace ws;
    ASSERT_TRUE(OpenImageFile(ws, path, FileType::Fits).ok()) << path;
    SamplePlane plane;
    ASSERT_TRUE(SamplePlaneOf(*ws.active(), PhotometryChannel::kGreen, plane).ok());
    StarPhotometryParams params;
    StarMeasurement m;
    ASSERT_TRUE(MeasureStar(plane, star.x - 1, star.y - 1, params, {}, m).ok()) << star.file;
    ours.push_back(m);
    char line[512];
    std::snprintf(line, sizeof line, "%s %.17g %.17g %.17g %.17g %.17g %d\n", path.c_str(), m.x, m.y,
                  params.aperture, params.annulus_inner, params.annulus_outer,
                  static_cast<int>(std::ceil(params.annulus_inner)));
    list << line;
  }
  list.close();
  const std::string command = "/usr/bin/python3 - '" + dir.File("stars.txt") + "' > '" + dir.File("out.txt") +
                              "' 2> '" + dir.File("err.txt") + "' <<'EOF'\n" + kOracle + "\nEOF\n";
  const int status = std::system(command.c_str());
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == 3) GTEST_SKIP() << "no photutils or astropy for /usr/bin/python3";
  ASSERT_EQ(code, 0) << fits_test::ReadBytes(dir.File("err.txt"));
  std::istringstream out(fits_test::ReadBytes(dir.File("out.txt")));
  double worst_sum = 0, worst_sky = 0, worst_fwhm = 0;
  for (std::size_t k = 0; k < stars.size(); ++k) {
    SCOPED_TRACE(stars[k].file + " star " + std::to_string(k));
    double sum = 0, sky = 0, fwhm = 0;
    ASSERT_TRUE(out >> sum >> sky >> fwhm);
    const StarMeasurement& m = ours[k];
    const double our_sum = m.flux + m.sky * m.area;
    EXPECT_NEAR(our_sum, sum, 1e-6 * std::fabs(sum));
    EXPECT_NEAR(m.sky, sky, 0.005 * std::fabs(sky));
    EXPECT_NEAR(m.fwhm_gauss, fwhm, 0.02 * fwhm);
    worst_sum = std::max(worst_sum, std::fabs(our_sum / sum - 1));
    worst_sky = std::max(worst_sky, std::fabs(m.sky / sky - 1));
    worst_fwhm = std::max(worst_fwhm, std::fabs(m.fwhm_gauss / fwhm - 1));
  }
  std::printf(
      "%zu stars: largest relative difference of the aperture sum %.2g, sky %.2g, Gaussian FWHM %.2g\n",
      stars.size(), worst_sum, worst_sky, worst_fwhm);
}

}  // namespace
}  // namespace qirm
