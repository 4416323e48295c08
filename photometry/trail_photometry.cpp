// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/trail_photometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "photometry/aperture.h"
#include "photometry/star_photometry.h"

namespace qirm {

Status CheckTrailParams(const TrailParams& p) {
  if (!std::isfinite(p.width) || !std::isfinite(p.sky_gap))
    return Status::Error("trail values must be finite");
  if (!(p.width > 0) || p.width > 1000)
    return Status::Error("the trail width must be above 0 and at most 1000");
  if (p.sky_gap < 0 || p.sky_gap > 1000) return Status::Error("the sky gap must be 0 to 1000");
  return Status::Ok();
}

Status MeasureTrail(const SamplePlane& plane, double x1, double y1, double x2, double y2,
                    const TrailParams& params, TrailMeasurement& out) {
  if (Status s = CheckTrailParams(params); !s) return s;
  for (double v : {x1, y1, x2, y2})
    if (!std::isfinite(v)) return Status::Error("the trail's ends must be finite");
  const double length = std::hypot(x2 - x1, y2 - y1);
  if (!(length >= 1)) return Status::Error("the trail's ends must lie at least 1 pixel apart");
  out = TrailMeasurement{};
  out.length = length;
  const double ux = (x2 - x1) / length, uy = (y2 - y1) / length;  // along
  const double nx = -uy, ny = ux;                                 // across
  const double half = params.width / 2;
  const double sky_in = half + params.sky_gap;
  const double sky_out = sky_in + std::max(params.width, 3.0);

  // The sky: the clipped median of the side bands' pixels, by their centres.
  std::vector<double> sky_values;
  const double reach = sky_out + 1;
  // The pixels within reach of the segment's box, limited to the plane
  // before any conversion to int (the ends may lie far off it).
  const auto column = [&](double v) {
    return static_cast<int>(std::clamp(v, -1.0, static_cast<double>(plane.width)));
  };
  const auto row = [&](double v) {
    return static_cast<int>(std::clamp(v, -1.0, static_cast<double>(plane.height)));
  };
  const int xa = std::max(0, column(std::floor(std::min(x1, x2) - reach)));
  const int xb = std::min(plane.width - 1, column(std::ceil(std::max(x1, x2) + reach)));
  const int ya = std::max(0, row(std::floor(std::min(y1, y2) - reach)));
  const int yb = std::min(plane.height - 1, row(std::ceil(std::max(y1, y2) + reach)));
  for (int y = ya; y <= yb; ++y) {
    for (int x = xa; x <= xb; ++x) {
      const double dx = x - x1, dy = y - y1;
      const double s = dx * ux + dy * uy;
      if (s < 0 || s >= length) continue;
      const double t = std::fabs(dx * nx + dy * ny);
      if (t <= half) {
        ++out.band_pixels;
      } else if (t >= sky_in && t <= sky_out) {
        sky_values.push_back(plane.At(x, y));
      }
    }
  }
  const ClippedStats sky = SigmaClippedStats(std::move(sky_values));
  out.sky = sky.median;
  out.sky_sigma = sky.sigma;
  out.sky_count = sky.count;

  // Each bin integrates the picture, taken as constant over each pixel's
  // square, over its rectangle of the band: kSub x kSub samples per unit of
  // area. Assigning whole pixels by their centres instead makes a slanted
  // trail's profile jump by a pixel's worth from bin to bin.
  //
  // Only the bins near the picture are worked: the segment is cut to the
  // picture widened by the band's half width and a pixel (a sample beyond
  // that cannot land on a pixel), and the bins wholly off the picture at
  // either end are then left out. Bins keep their place on the whole
  // segment, so s stays the distance from the given first end.
  constexpr int kSub = 5;
  const double bins = std::ceil(length);  // bin k covers k <= s < min(k + 1, length)
  double s_lo = 0, s_hi = length;
  const double margin = half + 1;
  for (const auto& [from, step, top] :
       {std::tuple{x1, ux, plane.width - 0.5}, std::tuple{y1, uy, plane.height - 0.5}}) {
    const double lo_edge = -0.5 - margin, hi_edge = top + margin;
    if (step == 0) {
      if (from < lo_edge || from > hi_edge) s_hi = -1;
      continue;
    }
    double a = (lo_edge - from) / step, b = (hi_edge - from) / step;
    if (a > b) std::swap(a, b);
    s_lo = std::max(s_lo, a);
    s_hi = std::min(s_hi, b);
  }
  if (!(s_lo <= s_hi)) return Status::Error("the trail lies outside the picture");
  const double first_bin = std::floor(s_lo);
  const double end_bin = std::min(bins, std::floor(s_hi) + 1);
  const int across = std::max(1, static_cast<int>(std::ceil(params.width * kSub)));
  out.profile.reserve(static_cast<std::size_t>(std::max(0.0, end_bin - first_bin)));
  bool any = false;
  for (double k = first_bin; k < end_bin; ++k) {
    TrailBin b;
    const double lo = k;
    const double hi = std::min(length, k + 1.0);
    b.s = 0.5 * (lo + hi);
    b.x = x1 + b.s * ux;
    b.y = y1 + b.s * uy;
    double sum = 0;
    int inside = 0;
    for (int a = 0; a < kSub; ++a) {
      const double s = lo + (a + 0.5) / kSub * (hi - lo);
      for (int c = 0; c < across; ++c) {
        const double t = -half + (c + 0.5) / across * params.width;
        const int px = static_cast<int>(std::floor(x1 + s * ux + t * nx + 0.5));
        const int py = static_cast<int>(std::floor(y1 + s * uy + t * ny + 0.5));
        if (!plane.Inside(px, py)) continue;
        sum += plane.At(px, py);
        ++inside;
      }
    }
    b.coverage = static_cast<double>(inside) / (kSub * across);
    if (inside == 0) {
      // Wholly off the picture: kept only between bins on it.
      b.flux = std::numeric_limits<double>::quiet_NaN();
      if (any) out.profile.push_back(b);
      continue;
    }
    if (!any) out.s_from = lo;
    any = true;
    out.s_to = hi;
    b.flux = (sum / inside - sky.median) * params.width;
    out.flux += b.flux * (hi - lo);
    out.profile.push_back(b);
  }
  while (!out.profile.empty() && out.profile.back().coverage == 0) out.profile.pop_back();
  if (!any) return Status::Error("the trail lies outside the picture");
  if (sky.count == 0) return Status::Error("the sky bands lie outside the picture");
  return Status::Ok();
}

Status MeasureTrailInWindow(const ImageDocument& doc, PhotometryChannel channel, double x1, double y1,
                            double x2, double y2, const TrailParams& params, TrailMeasurement& out) {
  if (Status s = CheckTrailParams(params); !s) return s;
  for (double v : {x1, y1, x2, y2}) {
    if (!std::isfinite(v)) return Status::Error("the trail's ends must be finite");
    // The bands' box below is counted in int.
    if (std::fabs(v) > kMaxTrailEnd)
      return Status::Error("the trail's ends must lie within 1e9 pixels of pixel (0, 0)");
  }
  const int reach =
      static_cast<int>(std::ceil(params.width / 2 + params.sky_gap + std::max(params.width, 3.0))) + 2;
  const int x0 = static_cast<int>(std::floor(std::min(x1, x2))) - reach;
  const int y0 = static_cast<int>(std::floor(std::min(y1, y2))) - reach;
  const int w = static_cast<int>(std::ceil(std::max(x1, x2))) + reach + 1 - x0;
  const int h = static_cast<int>(std::ceil(std::max(y1, y2))) + reach + 1 - y0;
  SamplePlane plane;
  int ox = 0, oy = 0;
  if (Status s = SamplePlaneOf(doc, channel, x0, y0, w, h, plane, ox, oy); !s) {
    return s.message() == "the position lies outside the picture"
               ? Status::Error("the trail lies outside the picture")
               : s;
  }
  if (Status s = MeasureTrail(plane, x1 - ox, y1 - oy, x2 - ox, y2 - oy, params, out); !s) return s;
  for (TrailBin& b : out.profile) {
    b.x += ox;
    b.y += oy;
  }
  return Status::Ok();
}

std::string TrailProfileText(const TrailMeasurement& m, const std::string& source, double x1, double y1,
                             double x2, double y2, const TrailParams& params) {
  std::string out;
  out += "# trail profile of " + source + "\n";
  out += "# from (" + RealText(x1, 2) + ", " + RealText(y1, 2) + ") to (" + RealText(x2, 2) + ", " +
         RealText(y2, 2) + "), width " + RealText(params.width, 2) + ", sky gap " +
         RealText(params.sky_gap, 2) + "\n";
  out += "# sky " + RealText(m.sky, 8, 'g') + " sigma " + RealText(m.sky_sigma, 8, 'g') + " from " +
         std::to_string(m.sky_count) + " pixels\n";
  out += "# length " + RealText(m.length, 3) + " flux " + RealText(m.flux, 10, 'g') + "\n";
  if (m.s_from > 0 || m.s_to < m.length) {
    out += "# on the picture: s from " + RealText(m.s_from, 2) + " to " + RealText(m.s_to, 2) +
           " (the rest is left out)\n";
  }
  out += "# s x y flux coverage\n";
  for (const TrailBin& b : m.profile) {
    out += RealText(b.s, 2) + " " + RealText(b.x, 2) + " " + RealText(b.y, 2) + " " +
           RealText(b.flux, 8, 'g') + " " + RealText(b.coverage, 3) + "\n";
  }
  return out;
}

std::string TrailKeyValueLines(const TrailMeasurement& m) {
  return "LENGTH=" + RealText(m.length, 3) + "\nFLUX=" + RealText(m.flux, 10, 'g') +
         "\nSKY=" + RealText(m.sky, 10, 'g') + "\nSKY_SIGMA=" + RealText(m.sky_sigma, 10, 'g') + "\n";
}

}  // namespace qirm
