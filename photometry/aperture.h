// SPDX-License-Identifier: GPL-3.0-or-later
// Apertures on a sample plane. Positions are image pixels with fractions:
// pixel (i, j) is the unit square centred on (i, j), so its centre has
// integral coordinates and the FITS pixel is (i + 1, j + 1). Pixels outside
// the plane take no part in any sum.
#pragma once

#include <vector>

#include "photometry/sample_plane.h"

namespace qirm {

// The exact area of the circle of radius r about (cx, cy) that falls on the
// unit square of pixel (px, py): 0..1, computed from the closed form of the
// circle's chord integral (no subsampling).
double CirclePixelOverlap(double cx, double cy, double r, int px, int py);

// The area of a circle of radius r centred at the origin that falls inside
// the rectangle [x0, x1] x [y0, y1].
double CircleRectangleArea(double x0, double x1, double y0, double y1, double r);

struct ApertureSum {
  double sum = 0;   // sum of value x overlap
  double area = 0;  // sum of overlaps: the area inside the plane
  // The highest value among the pixels whose centres lie inside the circle
  // (-inf when none does).
  double peak = 0;
  bool clipped = false;  // part of the circle lies outside the plane
};
ApertureSum CircularApertureSum(const SamplePlane& plane, double cx, double cy, double r);

// Mean and standard deviation of the values kept by iterative clipping at
// `kappa` standard deviations about the median (the median of the kept
// values, population standard deviation), repeated until nothing more is
// clipped or `iterations` passes have run.
struct ClippedStats {
  double median = 0;
  double sigma = 0;
  int count = 0;  // values kept
};
ClippedStats SigmaClippedStats(std::vector<double> values, double kappa = 3.0, int iterations = 10);

// The sky of the annulus rin <= d <= rout about (cx, cy), from the pixels
// whose centres lie in it: the clipped median and its standard deviation.
// count 0 when no pixel of the plane lies in the annulus.
ClippedStats AnnulusSky(const SamplePlane& plane, double cx, double cy, double rin, double rout);

// The brightest pixel whose centre lies within `search` of (x, y) (the first
// in row order among equals); false when no pixel of the plane does.
bool BrightestPixel(const SamplePlane& plane, double x, double y, double search, int& px, int& py);

// Refines the centre (cx, cy) in place: the first moments of the values
// above `sky` within radius r of it, repeated from each new centre until it
// moves less than 1e-4 pixel (at most 50 times). A centre with nothing above
// the sky stays where it is.
void MomentCentroid(const SamplePlane& plane, double r, double sky, double& cx, double& cy);

}  // namespace qirm
