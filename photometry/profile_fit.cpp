// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/profile_fit.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "photometry/least_squares.h"

namespace qirm {
namespace {

struct Box {
  std::vector<double> x, y, v;
  int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

Box BoxAbout(const SamplePlane& plane, double cx, double cy, int half) {
  Box box;
  const int ix = static_cast<int>(std::lround(cx));
  const int iy = static_cast<int>(std::lround(cy));
  box.x0 = ix - half;
  box.x1 = ix + half;
  box.y0 = iy - half;
  box.y1 = iy + half;
  for (int y = box.y0; y <= box.y1; ++y) {
    for (int x = box.x0; x <= box.x1; ++x) {
      if (!plane.Inside(x, y)) continue;
      box.x.push_back(x);
      box.y.push_back(y);
      box.v.push_back(plane.At(x, y));
    }
  }
  return box;
}

bool InBox(const Box& box, double x, double y) {
  return x >= box.x0 - 0.5 && x <= box.x1 + 0.5 && y >= box.y0 - 0.5 && y <= box.y1 + 0.5;
}

}  // namespace

double GaussianFit::Fwhm() const { return kSigmaToFwhm * std::sqrt(sigma_major * sigma_minor); }
double GaussianFit::Ellipticity() const { return sigma_major > 0 ? 1 - sigma_minor / sigma_major : 0; }
double MoffatFit::Fwhm() const { return 2 * alpha * std::sqrt(std::pow(2.0, 1 / beta) - 1); }

GaussianFit FitGaussian(const SamplePlane& plane, double cx, double cy, int half, double sky, double peak,
                        double fwhm) {
  GaussianFit fit;
  const Box box = BoxAbout(plane, cx, cy, half);
  const int m = static_cast<int>(box.v.size());
  if (m < 14) return fit;
  // The exponent as a quadratic form a dx^2 + 2 b dx dy + c dy^2: no angle
  // to wrap and no degeneracy for a round star.
  const double s = std::max(fwhm, 1.0) / kSigmaToFwhm;
  std::vector<double> p = {peak - sky, cx, cy, 1 / (s * s), 0, 1 / (s * s), sky};
  const ResidualFunction f = [&box, m](const std::vector<double>& q, double* r, double* jac) {
    const double a = q[3], b = q[4], c = q[5];
    if (!(a > 0 && c > 0 && a * c - b * b > 0)) return false;
    for (int i = 0; i < m; ++i) {
      const double dx = box.x[i] - q[1];
      const double dy = box.y[i] - q[2];
      const double e = std::exp(-0.5 * (a * dx * dx + 2 * b * dx * dy + c * dy * dy));
      const double g = q[0] * e;
      r[i] = box.v[i] - (g + q[6]);
      if (!jac) continue;
      double* row = jac + 7 * i;
      // Derivatives of the residual: minus those of the model.
      row[0] = -e;
      row[1] = -g * (a * dx + b * dy);
      row[2] = -g * (b * dx + c * dy);
      row[3] = 0.5 * g * dx * dx;
      row[4] = g * dx * dy;
      row[5] = 0.5 * g * dy * dy;
      row[6] = -1;
    }
    return true;
  };
  const LeastSquaresResult lsq = LevenbergMarquardt(f, m, p);
  const double a = p[3], b = p[4], c = p[5];
  if (!lsq.converged || !(a > 0 && c > 0 && a * c - b * b > 0) || !InBox(box, p[1], p[2])) return fit;
  // Eigenvalues of [[a, b], [b, c]]: the larger belongs to the minor axis.
  const double mean = 0.5 * (a + c);
  const double diff = std::hypot(0.5 * (a - c), b);
  const double big = mean + diff;
  const double small = mean - diff;
  if (!(small > 0)) return fit;
  fit.amplitude = p[0];
  fit.x = p[1];
  fit.y = p[2];
  fit.sky = p[6];
  fit.sigma_minor = 1 / std::sqrt(big);
  fit.sigma_major = 1 / std::sqrt(small);
  // The major axis is the eigenvector of the smaller eigenvalue.
  double theta = 0.5 * std::atan2(-2 * b, c - a) * 180 / std::numbers::pi;
  if (theta <= -90) theta += 180;
  if (theta > 90) theta -= 180;
  fit.theta = theta;
  // A width below a tenth of a pixel is a single hot pixel, one beyond the
  // box a slope of the sky: neither is a star's profile.
  fit.ok = std::isfinite(fit.Fwhm()) && p[0] > 0 && fit.sigma_minor >= 0.1 && fit.sigma_major <= 2 * half;
  return fit;
}

MoffatFit FitMoffat(const SamplePlane& plane, double cx, double cy, int half, double sky, double peak,
                    double fwhm) {
  MoffatFit fit;
  const Box box = BoxAbout(plane, cx, cy, half);
  const int m = static_cast<int>(box.v.size());
  if (m < 12) return fit;
  // Fitted as A (1 + eta r^2 / w)^(-1 / eta) with eta = 1 / beta and
  // w = alpha^2 / beta: as beta grows the profile tends to the Gaussian
  // exp(-r^2 / w) and w stays finite, where alpha and beta would run off
  // together along a valley.
  const double beta0 = 2.5;
  const double alpha0 = std::max(fwhm, 1.0) / (2 * std::sqrt(std::pow(2.0, 1 / beta0) - 1));
  std::vector<double> p = {peak - sky, cx, cy, alpha0 * alpha0 / beta0, 1 / beta0, sky};
  const ResidualFunction f = [&box, m](const std::vector<double>& q, double* r, double* jac) {
    const double w = q[3], eta = q[4];
    if (!(w > 0 && eta > 0)) return false;
    for (int i = 0; i < m; ++i) {
      const double dx = box.x[i] - q[1];
      const double dy = box.y[i] - q[2];
      const double r2 = dx * dx + dy * dy;
      const double base = 1 + eta * r2 / w;
      const double log_base = std::log(base);
      const double e = std::exp(-log_base / eta);
      const double g = q[0] * e;
      r[i] = box.v[i] - (g + q[5]);
      if (!jac) continue;
      double* row = jac + 6 * i;
      const double k = 2 * g / (w * base);
      row[0] = -e;
      row[1] = -k * dx;
      row[2] = -k * dy;
      row[3] = -g * r2 / (w * w * base);
      row[4] = -g * (log_base / (eta * eta) - r2 / (eta * w * base));
      row[5] = -1;
    }
    return true;
  };
  constexpr double kHuge = std::numeric_limits<double>::max();
  const LeastSquaresResult lsq = LevenbergMarquardt(
      f, m, p, 200, {-kHuge, -kHuge, -kHuge, 1e-9, 1 / 50.0, -kHuge}, {kHuge, kHuge, kHuge, kHuge, 2, kHuge});
  if (!lsq.converged || !(p[3] > 0) || !InBox(box, p[1], p[2]) || !(p[0] > 0)) return fit;
  fit.amplitude = p[0];
  fit.x = p[1];
  fit.y = p[2];
  fit.beta = 1 / p[4];
  fit.alpha = std::sqrt(p[3] * fit.beta);
  fit.sky = p[5];
  // As for the Gaussian: a hot pixel, or a width the box cannot hold.
  fit.ok = std::isfinite(fit.Fwhm()) && fit.Fwhm() >= 0.2 && fit.Fwhm() <= 2 * half + 1;
  return fit;
}

}  // namespace qirm
