// SPDX-License-Identifier: GPL-3.0-or-later
// Star profiles fitted by least squares to the pixels of a square box about
// a star: an elliptical 2-D Gaussian and a circular Moffat profile, each on a
// constant sky. Pixel values are taken at the pixel centres (no integration
// over the pixel).
#pragma once

#include "photometry/sample_plane.h"

namespace qirm {

// FWHM = 2 sqrt(2 ln 2) sigma.
inline constexpr double kSigmaToFwhm = 2.3548200450309493;

struct GaussianFit {
  bool ok = false;
  double amplitude = 0, x = 0, y = 0, sky = 0;
  double sigma_major = 0, sigma_minor = 0;
  // The direction of the major axis: degrees from the +x axis toward +y,
  // -90 < theta <= 90.
  double theta = 0;
  // The FWHM of the circle of the same area: kSigmaToFwhm sqrt(major minor).
  double Fwhm() const;
  // 1 - minor / major.
  double Ellipticity() const;
};

struct MoffatFit {
  bool ok = false;
  double amplitude = 0, x = 0, y = 0, sky = 0;
  double alpha = 0, beta = 0;  // A (1 + r^2 / alpha^2)^-beta
  // 2 alpha sqrt(2^(1 / beta) - 1).
  double Fwhm() const;
};

// The box: pixels with |x - round(cx)| <= half and |y - round(cy)| <= half,
// those outside the plane left out. The start: centre (cx, cy), sky `sky`,
// amplitude peak - sky and a width of `fwhm` (at least 1). ok is false when
// the box holds fewer pixels than twice the parameters, when the fit does
// not converge, when its centre leaves the box or its width is not positive
// and finite; the Gaussian's also when a sigma is below 0.1 pixel (a hot
// pixel) or above the box's side (a slope of the sky), the Moffat's when
// its FWHM is below 0.2 pixel or beyond the box's side.
GaussianFit FitGaussian(const SamplePlane& plane, double cx, double cy, int half, double sky, double peak,
                        double fwhm);
// beta is kept within 0.5 .. 50 (the start is 2.5); a star sharper in its
// wings than any Moffat profile (a Gaussian one) gives beta 50.
MoffatFit FitMoffat(const SamplePlane& plane, double cx, double cy, int half, double sky, double peak,
                    double fwhm);

}  // namespace qirm
