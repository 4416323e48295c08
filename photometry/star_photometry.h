// SPDX-License-Identifier: GPL-3.0-or-later
// Star photometry: what "測光（恒星）" and `qirm-cli photometry` measure for
// one click, and the texts both fronts print.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "core/status.h"
#include "photometry/sample_plane.h"

namespace qirm {

struct StarPhotometryParams {
  double aperture = 6;        // radius r of the circular aperture, pixels
  double annulus_inner = 10;  // sky annulus rin..rout
  double annulus_outer = 15;
  double search = 5;       // the star's peak is looked for this far from the click
  double zero_point = 25;  // MAG = ZP - 2.5 log10(FLUX)
  double gain = 1;         // electrons per unit, where the header has none
  double read_noise = 0;   // electrons, where the header has none
};

// Zero points in use lie near 20 to 30; beyond this one is a slip.
inline constexpr double kMaxZeroPoint = 100;

// The values a dialog or the command line gave are refused with a message:
// radii not positive, rin < r, rout <= rin, rout or the search radius
// beyond 1000 pixels, a search radius below 0, a gain not positive, a read
// noise below 0, a zero point beyond +-kMaxZeroPoint, anything not finite.
Status CheckStarParams(const StarPhotometryParams& params);

struct StarMeasurement {
  double x = 0, y = 0;  // centroid, image pixels
  double flux = 0;      // aperture sum less sky x aperture area
  double flux_err = 0;
  double sky = 0;        // per pixel
  double sky_sigma = 0;  // per pixel
  int sky_count = 0;     // annulus pixels kept after clipping
  double area = 0;       // aperture area on the picture, pixels
  double snr = 0;
  double mag = 0;  // NaN for a flux not above 0
  double mag_err = 0;
  double peak = 0;                                    // highest value in the aperture (sky included)
  double fwhm_gauss = 0, ellipticity = 0, theta = 0;  // NaN when the fit failed
  double fwhm_moffat = 0, moffat_beta = 0;            // NaN when the fit failed
  double gain = 1, read_noise = 0;                    // what the error used
  bool clipped = false;                               // part of the aperture or annulus lies off the picture
};

// Measures the star nearest the click (x, y): the centroid (MomentCentroid
// above the annulus sky, from the brightest pixel within `search`), then at
// that centre the exact aperture sum, the annulus sky, the net flux and its
// error, and the two profile fits in the box of half size ceil(rin).
//
// The error: FLUX_ERR^2 = max(FLUX, 0) / g + A s^2 + A^2 s^2 / N, with g the
// gain, A the aperture area, N the annulus pixels kept and s the sky noise
// per pixel: the larger of the annulus standard deviation and the read noise
// (read_noise / g). gain and read noise: the header's (HeaderNoise) where it
// has them, otherwise params'. MAG_ERR = 2.5 / ln 10 x FLUX_ERR / FLUX.
//
// Fails when the click lies more than `search` away from every pixel of the
// plane or the annulus holds no pixel of the plane.
Status MeasureStar(const SamplePlane& plane, double x, double y, const StarPhotometryParams& params,
                   const HeaderNoise& header, StarMeasurement& out);

// MeasureStar on a window's picture (its physical values; a colour window
// in `channel`) reading only the part the measurement can reach: the same
// result as on the whole plane, at the cost of a click.
Status MeasureStarInWindow(const ImageDocument& doc, PhotometryChannel channel, double x, double y,
                           const StarPhotometryParams& params, StarMeasurement& out);

// A star's position in a list; line: the list's line number (0 for a
// position given otherwise).
struct StarPosition {
  double x = 0, y = 0;
  int line = 0;
};

// MeasureStarInWindow for every position, the stars shared between the
// cores (each result is the same as one call would give). statuses[k] tells
// how star k went; both vectors are resized to the positions' count.
void MeasureStars(const ImageDocument& doc, PhotometryChannel channel,
                  const std::vector<StarPosition>& positions, const StarPhotometryParams& params,
                  std::vector<StarMeasurement>& out, std::vector<Status>& statuses);

// The same, each result handed on as soon as it and every one before it
// are measured: done(k, measurement, status) runs on the calling thread for
// k = 0, 1, ... in order while the other cores go on measuring (the cores
// take the next star as they come free), so a long list shows its first
// rows at once and the rows are the same, in the same order, on any number
// of cores.
using StarDone = std::function<void(std::size_t k, const StarMeasurement& m, const Status& status)>;
void MeasureStarsInOrder(const ImageDocument& doc, PhotometryChannel channel,
                         const std::vector<StarPosition>& positions, const StarPhotometryParams& params,
                         const StarDone& done);

// The names of the measured values, in the order of the lines and columns:
// X, Y, FLUX, FLUX_ERR, SKY, SKY_SIGMA, SNR, MAG, MAG_ERR, PEAK, FWHM_GAUSS,
// FWHM_MOFFAT, MOFFAT_BETA, ELLIPTICITY, THETA.
const std::vector<std::string>& StarValueNames();
// The texts of those values, in that order: X and Y with 3 decimals, FLUX,
// FLUX_ERR, SKY, SKY_SIGMA, PEAK with 10 significant digits, SNR with 2
// decimals, MAG and MAG_ERR with 4, the widths, beta and ellipticity with 3,
// THETA with 1; "nan" for a value that could not be found. The same in
// every locale.
std::vector<std::string> StarValueTexts(const StarMeasurement& m);
// "KEY=VALUE\n" per value.
std::string StarKeyValueLines(const StarMeasurement& m);
// One CSV line (no newline) of the given cells, quoted where a cell holds a
// comma, a quote or a line break.
std::string CsvLine(const std::vector<std::string>& cells);

// The positions of a CSV list: lines "X,Y" (more columns ignored; blanks
// around numbers allowed); empty lines, lines starting with "#" and a first
// line that does not start with a number (a heading) are skipped. Every
// other line that does not hold two finite numbers is left out and its
// number put in bad_lines (kPositionLineRefused is what to say of it), so
// that all of them can be named before anything is measured.
inline constexpr const char* kPositionLineRefused = "expected X,Y";
void ParsePositionList(const std::string& text, std::vector<StarPosition>& positions,
                       std::vector<int>& bad_lines);

// A real as text with `digits` (0..100) decimals ('f') or significant digits
// ('g'), as printf's %.*f / %.*g give it in the C locale, for any double;
// "nan" for NaN, "inf" / "-inf" for infinities, no "-" on a value that
// rounds to zero.
std::string RealText(double v, int digits, char style = 'f');

}  // namespace qirm
