// SPDX-License-Identifier: GPL-3.0-or-later
// Trail photometry: what "測光（流星）" and `qirm-cli trail` measure along a
// meteor or satellite trail from (x1, y1) to (x2, y2), image pixels as in
// photometry/aperture.h.
#pragma once

#include <string>
#include <vector>

#include "core/status.h"
#include "photometry/sample_plane.h"

namespace qirm {

struct TrailParams {
  double width = 5;    // the trail band: |distance from the segment's line| <= width / 2
  double sky_gap = 3;  // between the band and each sky band
  // Each sky band is as wide as the trail band (at least 3 pixels).
};

// Refused: width not above 0, gap below 0, either not finite, or more than
// 1000 pixels.
Status CheckTrailParams(const TrailParams& params);

struct TrailBin {
  double s = 0;         // distance along the trail of the bin's middle, pixels
  double x = 0, y = 0;  // that point in the picture
  double flux = 0;      // flux per pixel of length: mean of (value - sky) x width
  double coverage = 0;  // the part of the bin's rectangle on the picture, 0..1
};

struct TrailMeasurement {
  double length = 0;
  double flux = 0;  // sum over the bins of flux x bin length
  double sky = 0, sky_sigma = 0;
  int sky_count = 0;
  int band_pixels = 0;  // pixels whose centres lie in the band
  // The bins from the first to the last that touch the picture; s_from <=
  // s < s_to is the part of the segment they cover (0 to length for a trail
  // wholly on the picture).
  std::vector<TrailBin> profile;
  double s_from = 0, s_to = 0;
};

// Ends farther from the origin are refused.
inline constexpr double kMaxTrailEnd = 1e9;

// The band, 0 <= s < length along the segment from its first end, is cut
// into bins one pixel long; each bin's flux is the integral of (value - sky)
// over its rectangle (the picture constant over each pixel, sampled 5 x 5
// per pixel of area) per unit of length, the mean over the part on the
// picture times the width. The sky is the clipped median (3 sigma) of the
// pixels whose centres lie in the two side bands of the same s range, from
// width / 2 + gap to width / 2 + gap + max(width, 3) on either side.
//
// A segment that runs off the picture is cut to it: the bins wholly off the
// picture before the first and after the last that touch it are left out
// of the profile (so the work follows the picture, not the segment), and
// the others keep their s, the distance from the given first end, so that
// positions stay comparable however far the ends lie. A bin wholly off the
// picture between two on it has flux NaN; NaN bins are left out of the
// total. Fails for ends less than 1 pixel apart, or when no bin or no sky
// pixel lies on the picture ("the trail lies outside the picture").
Status MeasureTrail(const SamplePlane& plane, double x1, double y1, double x2, double y2,
                    const TrailParams& params, TrailMeasurement& out);

// MeasureTrail on a window's picture (a colour window in `channel`), reading
// only the part the bands reach; the profile's positions are the window's.
// Ends beyond kMaxTrailEnd are refused.
Status MeasureTrailInWindow(const ImageDocument& doc, PhotometryChannel channel, double x1, double y1,
                            double x2, double y2, const TrailParams& params, TrailMeasurement& out);

// The profile file: "# " lines naming the source, ends, width, gap, sky,
// its sigma, length and flux, for a trail cut by the picture's edge the s
// range on it, a "# s x y flux coverage" heading, then a line a
// bin (s, x, y with 2 decimals, flux with 8 significant digits, coverage
// with 3 decimals).
std::string TrailProfileText(const TrailMeasurement& m, const std::string& source, double x1, double y1,
                             double x2, double y2, const TrailParams& params);
// LENGTH, FLUX, SKY, SKY_SIGMA as "KEY=VALUE\n" lines.
std::string TrailKeyValueLines(const TrailMeasurement& m);

}  // namespace qirm
