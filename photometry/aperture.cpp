// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/aperture.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qirm {
namespace {

// The integral of sqrt(r^2 - t^2) from 0 to u, |u| <= r.
double ChordIntegral(double u, double r) {
  u = std::clamp(u, -r, r);
  return 0.5 * (u * std::sqrt(std::max(0.0, r * r - u * u)) + r * r * std::asin(u / r));
}

}  // namespace

double CircleRectangleArea(double x0, double x1, double y0, double y1, double r) {
  const double a = std::max(x0, -r);
  const double b = std::min(x1, r);
  if (!(a < b) || !(y0 < y1) || !(r > 0)) return 0;
  // Between consecutive breaks the top of the slice is either the circle or
  // y1 and its bottom either the circle or y0: each piece has a closed form.
  double breaks[6] = {a, b};
  int n = 2;
  for (double y : {y0, y1}) {
    if (std::fabs(y) >= r) continue;
    const double s = std::sqrt(r * r - y * y);
    for (double u : {-s, s})
      if (u > a && u < b) breaks[n++] = u;
  }
  // At most six: sorted by insertion.
  for (int i = 1; i < n; ++i)
    for (int j = i; j > 0 && breaks[j] < breaks[j - 1]; --j) std::swap(breaks[j], breaks[j - 1]);
  double area = 0;
  for (int k = 0; k + 1 < n; ++k) {
    const double p = breaks[k];
    const double q = breaks[k + 1];
    if (!(p < q)) continue;
    const double m = 0.5 * (p + q);
    const double h = std::sqrt(std::max(0.0, r * r - m * m));
    const bool top_on_circle = h < y1;
    const bool bottom_on_circle = -h > y0;
    if ((top_on_circle ? h : y1) <= (bottom_on_circle ? -h : y0)) continue;
    const double g = ChordIntegral(q, r) - ChordIntegral(p, r);
    area += (top_on_circle ? g : y1 * (q - p)) - (bottom_on_circle ? -g : y0 * (q - p));
  }
  return area;
}

double CirclePixelOverlap(double cx, double cy, double r, int px, int py) {
  const double x0 = px - 0.5 - cx;
  const double x1 = px + 0.5 - cx;
  const double y0 = py - 0.5 - cy;
  const double y1 = py + 0.5 - cy;
  // Squares wholly inside or outside need no integral.
  const double nx = x0 > 0 ? x0 : (x1 < 0 ? x1 : 0);
  const double ny = y0 > 0 ? y0 : (y1 < 0 ? y1 : 0);
  if (nx * nx + ny * ny >= r * r) return 0;
  const double fx = std::max(std::fabs(x0), std::fabs(x1));
  const double fy = std::max(std::fabs(y0), std::fabs(y1));
  if (fx * fx + fy * fy <= r * r) return 1;
  return CircleRectangleArea(x0, x1, y0, y1, r);
}

ApertureSum CircularApertureSum(const SamplePlane& plane, double cx, double cy, double r) {
  ApertureSum out;
  out.peak = -std::numeric_limits<double>::infinity();
  const int xa = static_cast<int>(std::floor(cx - r + 0.5));
  const int xb = static_cast<int>(std::ceil(cx + r - 0.5));
  const int ya = static_cast<int>(std::floor(cy - r + 0.5));
  const int yb = static_cast<int>(std::ceil(cy + r - 0.5));
  for (int y = ya; y <= yb; ++y) {
    for (int x = xa; x <= xb; ++x) {
      const double w = CirclePixelOverlap(cx, cy, r, x, y);
      if (w <= 0) continue;
      if (!plane.Inside(x, y)) {
        out.clipped = true;
        continue;
      }
      const double v = plane.At(x, y);
      out.sum += w * v;
      out.area += w;
      const double dx = x - cx;
      const double dy = y - cy;
      if (dx * dx + dy * dy <= r * r) out.peak = std::max(out.peak, v);
    }
  }
  return out;
}

ClippedStats SigmaClippedStats(std::vector<double> values, double kappa, int iterations) {
  ClippedStats s;
  auto median_of = [](std::vector<double>& v) {
    const std::size_t n = v.size();
    std::nth_element(v.begin(), v.begin() + n / 2, v.end());
    const double upper = v[n / 2];
    if (n % 2) return upper;
    return 0.5 * (*std::max_element(v.begin(), v.begin() + n / 2) + upper);
  };
  auto sigma_of = [](const std::vector<double>& v) {
    double mean = 0;
    for (double x : v) mean += x;
    mean /= static_cast<double>(v.size());
    double ss = 0;
    for (double x : v) ss += (x - mean) * (x - mean);
    return std::sqrt(ss / static_cast<double>(v.size()));
  };
  for (int pass = 0; pass <= iterations && !values.empty(); ++pass) {
    s.median = median_of(values);
    s.sigma = sigma_of(values);
    s.count = static_cast<int>(values.size());
    if (pass == iterations) break;
    const double lo = s.median - kappa * s.sigma;
    const double hi = s.median + kappa * s.sigma;
    const std::size_t before = values.size();
    values.erase(std::remove_if(values.begin(), values.end(), [&](double v) { return v < lo || v > hi; }),
                 values.end());
    if (values.size() == before) break;
  }
  if (values.empty()) s = ClippedStats{};
  return s;
}

ClippedStats AnnulusSky(const SamplePlane& plane, double cx, double cy, double rin, double rout) {
  std::vector<double> values;
  const int xa = std::max(0, static_cast<int>(std::floor(cx - rout)));
  const int xb = std::min(plane.width - 1, static_cast<int>(std::ceil(cx + rout)));
  const int ya = std::max(0, static_cast<int>(std::floor(cy - rout)));
  const int yb = std::min(plane.height - 1, static_cast<int>(std::ceil(cy + rout)));
  for (int y = ya; y <= yb; ++y) {
    for (int x = xa; x <= xb; ++x) {
      const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (d2 >= rin * rin && d2 <= rout * rout) values.push_back(plane.At(x, y));
    }
  }
  return SigmaClippedStats(std::move(values));
}

bool BrightestPixel(const SamplePlane& plane, double x, double y, double search, int& px, int& py) {
  bool found = false;
  double best = 0;
  const int xa = std::max(0, static_cast<int>(std::floor(x - search)));
  const int xb = std::min(plane.width - 1, static_cast<int>(std::ceil(x + search)));
  const int ya = std::max(0, static_cast<int>(std::floor(y - search)));
  const int yb = std::min(plane.height - 1, static_cast<int>(std::ceil(y + search)));
  for (int j = ya; j <= yb; ++j) {
    for (int i = xa; i <= xb; ++i) {
      if ((i - x) * (i - x) + (j - y) * (j - y) > search * search) continue;
      if (!found || plane.At(i, j) > best) {
        best = plane.At(i, j);
        px = i;
        py = j;
        found = true;
      }
    }
  }
  return found;
}

void MomentCentroid(const SamplePlane& plane, double r, double sky, double& cx, double& cy) {
  for (int pass = 0; pass < 50; ++pass) {
    double sw = 0, sx = 0, sy = 0;
    const int ia = std::max(0, static_cast<int>(std::floor(cx - r)));
    const int ib = std::min(plane.width - 1, static_cast<int>(std::ceil(cx + r)));
    const int ja = std::max(0, static_cast<int>(std::floor(cy - r)));
    const int jb = std::min(plane.height - 1, static_cast<int>(std::ceil(cy + r)));
    for (int j = ja; j <= jb; ++j) {
      for (int i = ia; i <= ib; ++i) {
        if ((i - cx) * (i - cx) + (j - cy) * (j - cy) > r * r) continue;
        const double w = plane.At(i, j) - sky;
        if (w <= 0) continue;
        sw += w;
        sx += w * i;
        sy += w * j;
      }
    }
    if (!(sw > 0)) break;
    const double nx = sx / sw;
    const double ny = sy / sw;
    const double moved = std::hypot(nx - cx, ny - cy);
    cx = nx;
    cy = ny;
    if (moved < 1e-4) break;
  }
}

}  // namespace qirm
