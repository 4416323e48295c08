// SPDX-License-Identifier: GPL-3.0-or-later
// Star location, clamping and the reference geometry.
#include "tricolour/star_location.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/numbers.h"
#include "tricolour/tri_numbers.h"

namespace qirm {
namespace {

std::string Num(double v) { return FormatGeneral(v); }

}  // namespace

StarLocation LocateStar(int w, int h, int x, int y, int delta, const IntMatrix& m) {
  StarLocation s;
  s.px = x;
  s.py = y;
  const long long d = delta;
  const int i0 = static_cast<int>(std::max<long long>(x - d, 0));
  const int i1 = static_cast<int>(std::min<long long>(x + d, w - 1LL));
  const int j0 = static_cast<int>(std::max<long long>(y - d, 0));
  const int j1 = static_cast<int>(std::min<long long>(y + d, h - 1LL));
  std::int32_t best = 0;
  for (int i = i0; i <= i1; ++i) {
    const std::int32_t* column = m[i];
    for (int j = j0; j <= j1; ++j) {
      if (column[j] > best) {
        best = column[j];
        s.px = i;
        s.py = j;
        s.found = true;
      }
    }
  }
  // Raw sums of integers: exact in doubles for any 7 x 7 window of 32-bit
  // values (below 2^53).
  double sum = 0, sum_x = 0, sum_y = 0;
  for (long long i = s.px - 3LL; i <= s.px + 3LL; ++i) {
    if (i < 0 || i >= w) continue;
    const std::int32_t* column = m[static_cast<int>(i)];
    for (long long j = s.py - 3LL; j <= s.py + 3LL; ++j) {
      if (j < 0 || j >= h) continue;
      const double v = column[j];
      sum += v;
      sum_x += static_cast<double>(i) * v;
      sum_y += static_cast<double>(j) * v;
    }
  }
  s.cx = static_cast<double>(static_cast<Extended>(sum_x) / sum);
  s.cy = static_cast<double>(static_cast<Extended>(sum_y) / sum);
  return s;
}

bool BoxCentroidAboveSky(int w, int h, int x, int y, int delta, const IntMatrix& m, double& cx, double& cy) {
  cx = x;
  cy = y;
  const long long d = std::max(delta, 0);
  const int i0 = static_cast<int>(std::max<long long>(x - d, 0));
  const int i1 = static_cast<int>(std::min<long long>(x + d, w - 1LL));
  const int j0 = static_cast<int>(std::max<long long>(y - d, 0));
  const int j1 = static_cast<int>(std::min<long long>(y + d, h - 1LL));
  if (i0 > i1 || j0 > j1) return false;
  std::vector<std::int32_t> values;
  values.reserve(static_cast<std::size_t>(i1 - i0 + 1) * (j1 - j0 + 1));
  for (int i = i0; i <= i1; ++i)
    for (int j = j0; j <= j1; ++j) values.push_back(m[i][j]);
  const std::size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + mid, values.end());
  const double sky = values[mid];
  // The star's core: the largest 5 x 5 sum (the first in column-then-row
  // order), which a lone noisy pixel does not win as it wins the peak.
  long long best = 0;
  int core_x = -1, core_y = -1;
  for (int i = i0; i <= i1; ++i) {
    for (int j = j0; j <= j1; ++j) {
      long long sum = 0;
      for (int a = std::max(i - 2, 0); a <= std::min(i + 2, w - 1); ++a)
        for (int b = std::max(j - 2, 0); b <= std::min(j + 2, h - 1); ++b) sum += m[a][b];
      if (core_x < 0 || sum > best) {
        best = sum;
        core_x = i;
        core_y = j;
      }
    }
  }
  // Integer-valued weights and positions: the sums are exact below 2^53.
  double sum = 0, sum_x = 0, sum_y = 0;
  for (int i = std::max(core_x - 3, 0); i <= std::min(core_x + 3, w - 1); ++i) {
    for (int j = std::max(core_y - 3, 0); j <= std::min(core_y + 3, h - 1); ++j) {
      const double weight = m[i][j] - sky;
      if (weight <= 0) continue;
      sum += weight;
      sum_x += weight * i;
      sum_y += weight * j;
    }
  }
  if (!(sum > 0)) return false;
  cx = sum_x / sum;
  cy = sum_y / sum;
  return true;
}

ClampedPositions ClampPositions(const CompositionSettings& s, int w, int h) {
  ClampedPositions p;
  long long s1x = s.Star1X, s1y = s.Star1Y, s2x = s.Star2X, s2y = s.Star2Y;
  long long bx = s.BackgroundX, by = s.BackgroundY;
  const long long d1 = s.Delta1, d2 = s.Delta2, bl = s.BackgroundLevel;
  s1x = std::max(s1x, d1);
  s1y = std::max(s1y, d1);
  s2x = std::max(s2x, d2);
  s2y = std::max(s2y, d2);
  bx = std::max(bx, bl);
  by = std::max(by, bl);
  s1x = std::min(s1x, w - d1 - 1);
  s1y = std::min(s1y, h - d1 - 1);
  s2x = std::min(s2x, w - d2 - 1);
  s2y = std::min(s2y, h - d2 - 1);
  bx = std::min(bx, w - bl - 1);
  by = std::min(by, h - bl - 1);
  // The 11 x 11 sky box stays inside the frame.
  bx = std::clamp<long long>(bx, 5, std::max(5, w - 6));
  by = std::clamp<long long>(by, 5, std::max(5, h - 6));
  p.star1x = BoundedCoordinate(s1x);
  p.star1y = BoundedCoordinate(s1y);
  p.star2x = BoundedCoordinate(s2x);
  p.star2y = BoundedCoordinate(s2y);
  p.delta1 = BoundedCoordinate(d1);
  p.delta2 = BoundedCoordinate(d2);
  p.background_x = BoundedCoordinate(bx);
  p.background_y = BoundedCoordinate(by);
  return p;
}

Status LocateBothStars(const IntMatrix& frame, int w, int h, const ClampedPositions& p,
                       const std::string& what, StarLocation& s1, StarLocation& s2) {
  s1 = LocateStar(w, h, p.star1x, p.star1y, p.delta1, frame);
  s2 = LocateStar(w, h, p.star2x, p.star2y, p.delta2, frame);
  for (int k = 0; k < 2; ++k) {
    const StarLocation& s = k == 0 ? s1 : s2;
    const int x = k == 0 ? p.star1x : p.star2x;
    const int y = k == 0 ? p.star1y : p.star2y;
    const int d = k == 0 ? p.delta1 : p.delta2;
    const std::string star = k == 0 ? "star 1" : "star 2";
    if (!s.found) {
      return Status::Error(what + ": no pixel above 0 in the " + star + " box (" + FormatInt(x) + ", " +
                           FormatInt(y) + ") +- " + FormatInt(d));
    }
    if (!std::isfinite(s.cx) || !std::isfinite(s.cy)) {
      return Status::Error(what + ": the " + star + " centroid at (" + FormatInt(s.px) + ", " +
                           FormatInt(s.py) + ") is undefined (its 7 x 7 window sums to 0)");
    }
  }
  return Status::Ok();
}

double SlopeAngle(double cx1, double cy1, double cx2, double cy2) {
  const double slope =
      static_cast<double>((static_cast<Extended>(cy1) - cy2) / (static_cast<Extended>(cx1) - cx2));
  return std::atan(slope);
}

double StarDistance(double cx1, double cy1, double cx2, double cy2) {
  const Extended dx = static_cast<Extended>(cx1) - cx2;
  const Extended dy = static_cast<Extended>(cy1) - cy2;
  return std::sqrt(static_cast<double>(dx * dx + dy * dy));
}

Status MeasureReferenceGeometry(const IntMatrix& frame, int w, int h, const ClampedPositions& p,
                                const std::string& what, ReferenceGeometry& out) {
  StarLocation s1, s2;
  if (Status s = LocateBothStars(frame, w, h, p, what, s1, s2); !s) return s;
  if (s1.cx == s2.cx) {
    return Status::Error(what + ": the two reference stars have the same centroid x (" + Num(s1.cx) +
                         "), so they give no angle; choose stars apart in x");
  }
  out.theta = SlopeAngle(s1.cx, s1.cy, s2.cx, s2.cy);
  out.distance = StarDistance(s1.cx, s1.cy, s2.cx, s2.cy);
  return Status::Ok();
}

}  // namespace qirm
