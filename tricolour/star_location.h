// SPDX-License-Identifier: GPL-3.0-or-later
// Star location and the reference geometry of the tri-colour composition:
// where the stars of a frame are, the clamping of the star and background
// positions, and the angle and distance of the reference frame's two stars.
//
// Frames are IntMatrix values m[x][y] of w columns and h rows. Arithmetic
// follows the program's rule: intermediate reals in extended precision,
// named values kept as doubles, truncation toward zero.
#pragma once

#include <string>

#include "core/matrix.h"
#include "core/status.h"
#include "tricolour/composition_settings.h"

namespace qirm {

struct StarLocation {
  int px = 0;  // brightest pixel of the box (the first in column-then-row order)
  int py = 0;
  double cx = 0;  // intensity centroid of the 7 x 7 window around (px, py)
  double cy = 0;
  bool found = false;  // a pixel above 0 was found in the box
};

// The brightest pixel of the box x - delta .. x + delta, y - delta .. y + delta
// (strictly greater than the running best, which starts at 0), and the
// centroid of the raw values (no background subtracted) of the 7 x 7 window
// around it: cx = sum(i v) / sum(v).
// Edge policy: box and window positions outside the frame are skipped. When
// no pixel of the box is above 0, the peak is the box centre (x, y) and
// found is false. When the window's values sum to 0 the centroid is not a
// number (callers that need it refuse the frame).
StarLocation LocateStar(int w, int h, int x, int y, int delta, const IntMatrix& m);

// The intensity centroid of the star in the box x - delta .. x + delta,
// y - delta .. y + delta above its local sky, for frames whose brightest
// pixel may be sky noise: the sky is the median of the box; the star's core
// is the box pixel with the largest sum over its 5 x 5 window (the first in
// column-then-row order); the centroid is taken over the 7 x 7 window around
// the core, each pixel weighing v - sky where that is above 0. Windows are
// cut at the frame's edges. False, with (cx, cy) the box centre, when no
// pixel of that window stands above the sky.
bool BoxCentroidAboveSky(int w, int h, int x, int y, int delta, const IntMatrix& m, double& cx, double& cy);

// Star and background positions after the clamping done once per run.
struct ClampedPositions {
  int star1x = 0, star1y = 0, star2x = 0, star2y = 0;
  int delta1 = 0, delta2 = 0;
  int background_x = 0, background_y = 0;
};

// Lower bounds first (star i at least Delta i, the background point at least
// BackgroundLevel), then upper bounds (w - Delta i - 1, h - Delta i - 1,
// w - BackgroundLevel - 1, ...). Then, so that the 11 x 11 sky box of the
// output stage never leaves the frame, the background point is kept within
// 5 .. w - 6 and 5 .. h - 6 (a no-op whenever BackgroundLevel >= 5 and the
// frame is at least 2 BackgroundLevel + 1 wide and high). Frames below
// 11 x 11 are refused by the caller.
ClampedPositions ClampPositions(const CompositionSettings& s, int w, int h);

// Angle and distance of the two reference stars: theta = atan(slope) (folded
// into -90..+90 degrees), d = sqrt(dx^2 + dy^2) of the centroids.
struct ReferenceGeometry {
  double theta = 0;
  double distance = 0;
};

// From the reference frame (first green frame, sign-shifted, dark
// subtracted). Refused: a star box without any pixel above 0, a centroid
// that is not a number, two centroids with the same x (no slope; this
// includes a distance of 0). `what` names the frame in the message.
Status MeasureReferenceGeometry(const IntMatrix& frame, int w, int h, const ClampedPositions& p,
                                const std::string& what, ReferenceGeometry& out);

// Both stars of a frame at the clamped positions. Refused (message names
// `what`): a star box without any pixel above 0, a centroid that is not a
// number.
Status LocateBothStars(const IntMatrix& frame, int w, int h, const ClampedPositions& p,
                       const std::string& what, StarLocation& s1, StarLocation& s2);

// theta = atan(slope) of two centroids, the slope rounded to a double as it
// is handed to atan.
double SlopeAngle(double cx1, double cy1, double cx2, double cy2);

// The distance of two centroids, sqrt(dx^2 + dy^2) with the squares in
// extended precision.
double StarDistance(double cx1, double cy1, double cx2, double cy2);

}  // namespace qirm
