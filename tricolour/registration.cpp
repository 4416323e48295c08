// Star location, clamping, reference geometry, the two transforms and the
// registration of one frame.
#include "tricolour/registration.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/numbers.h"
#include "tricolour/near_identity.h"
#include "tricolour/simd_kernels.h"
#include "tricolour/tri_numbers.h"

namespace qirm {
namespace {

long long ClampLL(long long v, long long lo, long long hi) { return std::min(std::max(v, lo), hi); }

// Positions are kept well inside the int range so that x +- delta and the
// like never overflow, whatever the edits held.
int Bounded(long long v) { return static_cast<int>(ClampLL(v, -(1LL << 30), 1LL << 30)); }

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
  bx = ClampLL(bx, 5, std::max(5, w - 6));
  by = ClampLL(by, 5, std::max(5, h - 6));
  p.star1x = Bounded(s1x);
  p.star1y = Bounded(s1y);
  p.star2x = Bounded(s2x);
  p.star2y = Bounded(s2y);
  p.delta1 = Bounded(d1);
  p.delta2 = Bounded(d2);
  p.background_x = Bounded(bx);
  p.background_y = Bounded(by);
  return p;
}

namespace {

Status LocateBoth(const IntMatrix& frame, int w, int h, const ClampedPositions& p, const std::string& what,
                  StarLocation& s1, StarLocation& s2) {
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
      return Status::Error(what + ": the " + star + " centroid at (" + FormatInt(s.px) + ", " + FormatInt(s.py) +
                           ") is undefined (its 7 x 7 window sums to 0)");
    }
  }
  return Status::Ok();
}

// theta = atan(slope) of the two centroids, the slope rounded to a double as
// it is handed to atan.
double SlopeAngle(double cx1, double cy1, double cx2, double cy2) {
  const double slope =
      static_cast<double>((static_cast<Extended>(cy1) - cy2) / (static_cast<Extended>(cx1) - cx2));
  return std::atan(slope);
}

double Distance(double cx1, double cy1, double cx2, double cy2) {
  const Extended dx = static_cast<Extended>(cx1) - cx2;
  const Extended dy = static_cast<Extended>(cy1) - cy2;
  return std::sqrt(static_cast<double>(dx * dx + dy * dy));
}

}  // namespace

Status MeasureReferenceGeometry(const IntMatrix& frame, int w, int h, const ClampedPositions& p,
                                const std::string& what, ReferenceGeometry& out) {
  StarLocation s1, s2;
  if (Status s = LocateBoth(frame, w, h, p, what, s1, s2); !s) return s;
  if (s1.cx == s2.cx) {
    return Status::Error(what + ": the two reference stars have the same centroid x (" + Num(s1.cx) +
                         "), so they give no angle; choose stars apart in x");
  }
  out.theta = SlopeAngle(s1.cx, s1.cy, s2.cx, s2.cy);
  out.distance = Distance(s1.cx, s1.cy, s2.cx, s2.cy);
  return Status::Ok();
}

// ---------------------------------------------------------------------------
// The transforms.

namespace {

// One contribution, in extended precision and truncated as it is stored.
inline void AddWeighted(std::int32_t& t, Extended weight, std::int32_t v) {
  t = TruncSaturated(static_cast<Extended>(t) + weight * v);
}

// The four contributions of one source value at (x', y').
inline void Spread(IntMatrix& t, int w, int h, double xd, double yd, std::int32_t v) {
  // trunc(x') in 0 .. w - 2 exactly when -1 < x' < w - 1 (NaN fails both).
  if (!(xd > -1.0 && xd < w - 1.0 && yd > -1.0 && yd < h - 1.0)) return;
  const int ix = static_cast<int>(xd);
  const int iy = static_cast<int>(yd);
  const Extended fx = xd - ix;
  const Extended fy = yd - iy;
  AddWeighted(t[ix][iy], (1 - fx) * (1 - fy), v);
  AddWeighted(t[ix + 1][iy], fx * (1 - fy), v);
  AddWeighted(t[ix][iy + 1], (1 - fx) * fy, v);
  AddWeighted(t[ix + 1][iy + 1], fx * fy, v);
}

void ClampBack(int w, int h, const IntMatrix& t, IntMatrix& m) {
  for (int x = 0; x < w; ++x) {
    const std::int32_t* in = t[x];
    std::int32_t* out = m[x];
    for (int y = 0; y < h; ++y) out[y] = std::min(std::max(in[y], 0), 65535);
  }
}

Status CheckExtent(const char* what, int w, int h, const IntMatrix& m) {
  if (w <= 0 || h <= 0 || w > m.count() || h > m.n()) {
    return Status::Error(std::string(what) + ": extent " + FormatInt(w) + " x " + FormatInt(h) +
                         " does not fit the matrix");
  }
  return Status::Ok();
}

Status Scratch(const char* what, int w, int h, IntMatrix& t) {
  if (t.count() == w && t.n() == h) {
    for (int x = 0; x < w; ++x) std::fill(t[x], t[x] + h, 0);
    return Status::Ok();
  }
  if (!t.Allocate(w, h)) return Status::Error(std::string(what) + ": no memory for the work matrix");
  return Status::Ok();
}

}  // namespace

Status ScaleAboutCentrePlain(double k, int w, int h, IntMatrix& m) {
  if (!std::isfinite(k)) return Status::Error("ScaleAboutCentre: the factor is not a finite number");
  if (Status s = CheckExtent("ScaleAboutCentre", w, h, m); !s) return s;
  IntMatrix t;
  if (!t.Allocate(w, h)) return Status::Error("ScaleAboutCentre: no memory for the work matrix");
  const near_identity::Map map = near_identity::ScaleMap(k, w, h);
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      double xd, yd;
      near_identity::ExactTarget(map, x, y, xd, yd);
      Spread(t, w, h, xd, yd, m[x][y]);
    }
  }
  ClampBack(w, h, t, m);
  return Status::Ok();
}

Status RotateAboutCentrePlain(double theta, int w, int h, IntMatrix& m) {
  if (!std::isfinite(theta)) return Status::Error("RotateAboutCentre: the angle is not a finite number");
  if (Status s = CheckExtent("RotateAboutCentre", w, h, m); !s) return s;
  IntMatrix t;
  if (!t.Allocate(w, h)) return Status::Error("RotateAboutCentre: no memory for the work matrix");
  const near_identity::Map map = near_identity::RotateMap(theta, w, h);
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      double xd, yd;
      near_identity::ExactTarget(map, x, y, xd, yd);
      Spread(t, w, h, xd, yd, m[x][y]);
    }
  }
  ClampBack(w, h, t, m);
  return Status::Ok();
}

namespace {

using simd::AddFast;

// Per-axis part of a scaled coordinate: position, corner and weights,
// tabulated once per column and once per row.
struct AxisStep {
  bool inside = false;
  int i = 0;
  Extended g = 1, f = 0;   // 1 - f and f, extended
  double gd = 1, fd = 0;   // the same as doubles, for the fast sums
};

std::vector<AxisStep> ScaleAxis(double k, int n) {
  const double c = n * 0.5;
  std::vector<AxisStep> steps(n);
  for (int x = 0; x < n; ++x) {
    const double xd = static_cast<double>((x - static_cast<Extended>(c)) * k + c);
    AxisStep& s = steps[x];
    s.inside = xd > -1.0 && xd < n - 1.0;
    if (s.inside) {
      s.i = static_cast<int>(xd);
      const double f = xd - s.i;
      s.f = f;
      s.g = 1 - s.f;
      s.fd = f;
      s.gd = 1 - f;
    }
  }
  return steps;
}

}  // namespace

namespace {

// The sources of every target index along one axis: with k > 0 the corner
// i(s) never decreases with s, so the sources whose corner is i form the
// contiguous range first[i] .. first[i + 1] - 1 (sources outside the frame
// are left out). Target j takes the weight f of the sources with corner
// j - 1, then the weight 1 - f of those with corner j, in source order.
std::vector<int> CornerRanges(const std::vector<AxisStep>& steps, int n, std::vector<int>& order) {
  std::vector<int> first(n + 2, 0);
  order.clear();
  for (int s = 0; s < n; ++s)
    if (steps[s].inside) ++first[steps[s].i + 2];
  for (int i = 1; i < n + 2; ++i) first[i] += first[i - 1];
  for (int s = 0; s < n; ++s)
    if (steps[s].inside) order.push_back(s);
  return first;  // sources with corner i: order[first[i + 1] .. first[i + 2])
}

}  // namespace

// Gathering instead of spreading: each target column takes its source
// columns in order, and within a source column each target row its source
// rows in order, so every target pixel receives the same additions in the
// same order as the plain loop (x outer, y inner). Target rows are
// independent of each other, which lets the additions of neighbouring rows
// overlap instead of waiting for each other.
Status ScaleAboutCentre(double k, int w, int h, IntMatrix& m, IntMatrix& scratch) {
  if (!std::isfinite(k)) return Status::Error("ScaleAboutCentre: the factor is not a finite number");
  if (Status s = CheckExtent("ScaleAboutCentre", w, h, m); !s) return s;
  if (!(k > 0)) return ScaleAboutCentrePlain(k, w, h, m);  // the corners run backwards
  if (k == 1) {
    // Every source lands exactly on itself with the weight 1 (1 * 1 * v
    // added to 0); the last column and row have no corner inside.
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y) m[x][y] = (x < w - 1 && y < h - 1) ? std::min(std::max(m[x][y], 0), 65535) : 0;
    return Status::Ok();
  }
  if (near_identity::Apply(near_identity::ScaleMap(k, w, h), w, h, m, scratch)) return Status::Ok();
  if (Status s = Scratch("ScaleAboutCentre", w, h, scratch); !s) return s;
  IntMatrix& t = scratch;
  const std::vector<AxisStep> xs = ScaleAxis(k, w);
  const std::vector<AxisStep> ys = ScaleAxis(k, h);
  std::vector<int> xorder, yorder;
  const std::vector<int> xfirst = CornerRanges(xs, w, xorder);
  const std::vector<int> yfirst = CornerRanges(ys, h, yorder);
  // Source rows of target row j: order[yfirst[j] .. yfirst[j + 1]) with
  // weight f, then order[yfirst[j + 1] .. yfirst[j + 2]) with weight 1 - f.
  // Runs of rows that take exactly one row of each, the rows Y + a and
  // Y + a + 1 for one a, go through the column kernel.
  std::vector<double> fyd(h), gyd(h);
  std::vector<Extended> fye(h), gye(h);
  for (int y = 0; y < h; ++y) {
    fyd[y] = ys[y].fd;
    gyd[y] = ys[y].gd;
    fye[y] = ys[y].f;
    gye[y] = ys[y].g;
  }
  std::vector<int> shift(h);  // a for a regular row, INT_MIN otherwise
  for (int Y = 0; Y < h; ++Y) {
    const bool one_each = yfirst[Y + 1] - yfirst[Y] == 1 && yfirst[Y + 2] - yfirst[Y + 1] == 1;
    shift[Y] = INT_MIN;
    if (one_each && yorder[yfirst[Y + 1]] == yorder[yfirst[Y]] + 1) shift[Y] = yorder[yfirst[Y]] - Y;
  }
  for (int X = 0; X < w; ++X) {
    std::int32_t* target = t[X];
    for (int part = 0; part < 2; ++part) {
      for (int q = xfirst[X + part]; q < xfirst[X + part + 1]; ++q) {
        const AxisStep& sx = xs[xorder[q]];
        const double axd = part == 0 ? sx.fd : sx.gd;
        const Extended axe = part == 0 ? sx.f : sx.g;
        const std::int32_t* source = m[xorder[q]];
        for (int Y = 0; Y < h;) {
          if (shift[Y] != INT_MIN) {
            int end = Y + 1;
            while (end < h && shift[end] == shift[Y]) ++end;
            simd::ScaleRun(target, source, Y, end, shift[Y], axd, axe, fyd.data(), gyd.data(), fye.data(),
                           gye.data());
            Y = end;
            continue;
          }
          std::int32_t tv = target[Y];
          for (int r = yfirst[Y]; r < yfirst[Y + 1]; ++r) {
            const AxisStep& sy = ys[yorder[r]];
            AddFast(tv, axd * sy.fd, axe, sy.f, source[yorder[r]]);
          }
          for (int r = yfirst[Y + 1]; r < yfirst[Y + 2]; ++r) {
            const AxisStep& sy = ys[yorder[r]];
            AddFast(tv, axd * sy.gd, axe, sy.g, source[yorder[r]]);
          }
          target[Y] = tv;
          ++Y;
        }
      }
    }
  }
  ClampBack(w, h, t, m);
  return Status::Ok();
}

namespace {

// The four contributions of one source pixel with corner (ix, iy) and
// fractions fx, fy (ix < 0: it lands nowhere).
inline void SpreadOne(IntMatrix& t, int ix, int iy, double fx, double fy, std::int32_t v) {
  if (ix < 0 || v == 0) return;  // outside, or adds exactly 0
  const double gx = 1 - fx, gy = 1 - fy;
  const Extended efx = fx, efy = fy;
  const Extended egx = 1 - efx, egy = 1 - efy;
  std::int32_t* t0 = t[ix];
  std::int32_t* t1 = t[ix + 1];
  AddFast(t0[iy], gx * gy, egx, egy, v);
  AddFast(t1[iy], fx * gy, efx, egy, v);
  AddFast(t0[iy + 1], gx * fy, egx, efy, v);
  AddFast(t1[iy + 1], fx * fy, efx, efy, v);
}

}  // namespace

// The targets of a source column are worked out first. Along a column
// turned by a small angle the corner keeps its column for long stretches
// and moves down one row per source row; on such a run each of the two
// target columns takes, row by row, the weight f of the source row above
// and then the weight 1 - f of its own source row, exactly the order of the
// plain loop for those targets, and the rows are independent of each
// other, so they go four at a time. Runs and the pixels between them are
// taken in source order, so every target still receives its additions in
// source order.
Status RotateAboutCentre(double theta, int w, int h, IntMatrix& m, IntMatrix& scratch) {
  if (!std::isfinite(theta)) return Status::Error("RotateAboutCentre: the angle is not a finite number");
  if (Status s = CheckExtent("RotateAboutCentre", w, h, m); !s) return s;
  if (near_identity::Apply(near_identity::RotateMap(theta, w, h), w, h, m, scratch)) return Status::Ok();
  if (Status s = Scratch("RotateAboutCentre", w, h, scratch); !s) return s;
  IntMatrix& t = scratch;
  const double cx = w * 0.5;
  const double cy = h * 0.5;
  const double c = std::cos(theta);
  const double s = std::sin(theta);
  std::vector<std::int32_t> ixs(h), iys(h);
  std::vector<double> fxd(h), fyd(h), dys(h);
  std::vector<std::uint8_t> exact(h);
  for (int y = 0; y < h; ++y) dys[y] = y - cy;  // exact
  // Products c dx and s dy are exact in the extended format while the
  // offsets stay below 2^11 (even sizes up to 4096): then the coordinates
  // can be formed exactly in double pairs.
  const bool pairs = w % 2 == 0 && h % 2 == 0 && w <= 4096 && h <= 4096;
  constexpr int kMinRun = 8;
  const Extended es = s, ec = c;
  for (int x = 0; x < w; ++x) {
    const Extended dx = x - static_cast<Extended>(cx);
    const Extended cdx = c * dx;
    const Extended msdx = -static_cast<Extended>(s) * dx;
    // One row through the extended rule.
    auto exact_row = [&](int y) {
      const double xd = static_cast<double>(cdx + es * dys[y] + cx);
      const double yd = static_cast<double>(msdx + ec * dys[y] + cy);
      if (!(xd > -1.0 && xd < w - 1.0 && yd > -1.0 && yd < h - 1.0)) {
        ixs[y] = -1;
        return;
      }
      ixs[y] = static_cast<int>(xd);
      iys[y] = static_cast<int>(yd);
      fxd[y] = xd - ixs[y];
      fyd[y] = yd - iys[y];
    };
    int near = -1;
    if (pairs) {
      const double p_hi = static_cast<double>(cdx), m_hi = static_cast<double>(msdx);
      near = simd::RotateTargets(w, h, p_hi, static_cast<double>(cdx - p_hi), m_hi, static_cast<double>(msdx - m_hi),
                                 c, s, cx, cy, dys.data(), ixs.data(), iys.data(), fxd.data(), fyd.data(),
                                 exact.data());
    }
    if (near < 0) {
      for (int y = 0; y < h; ++y) exact_row(y);
    } else if (near > 0) {
      for (int y = 0; y < h; ++y)
        if (exact[y]) exact_row(y);
    }
    const std::int32_t* source = m[x];
    for (int y = 0; y < h;) {
      const int ix = ixs[y];
      if (ix < 0) {
        ++y;
        continue;
      }
      const int d = iys[y] - y;
      int e = y + 1;
      while (e < h && ixs[e] == ix && iys[e] - e == d) ++e;
      if (e - y < kMinRun) {
        for (int k = y; k < e; ++k) SpreadOne(t, ixs[k], iys[k], fxd[k], fyd[k], source[k]);
        y = e;
        continue;
      }
      // Sources y .. e - 1 reach target rows y + d .. e + d: the first only
      // from source y (weight 1 - fy), the last only from e - 1 (weight fy).
      for (int side = 0; side < 2; ++side) {
        std::int32_t* column = t[ix + side];
        const double wy = side ? fxd[y] : 1 - fxd[y];
        const Extended ey = side ? static_cast<Extended>(fxd[y]) : 1 - static_cast<Extended>(fxd[y]);
        AddFast(column[y + d], wy * (1 - fyd[y]), ey, 1 - static_cast<Extended>(fyd[y]), source[y]);
        simd::WeightedRun(column, source, y + d + 1, e + d, -d - 1, fxd.data(), side, fyd.data());
        const double we = side ? fxd[e - 1] : 1 - fxd[e - 1];
        const Extended ee = side ? static_cast<Extended>(fxd[e - 1]) : 1 - static_cast<Extended>(fxd[e - 1]);
        AddFast(column[e + d], we * fyd[e - 1], ee, fyd[e - 1], source[e - 1]);
      }
      y = e;
    }
  }
  ClampBack(w, h, t, m);
  return Status::Ok();
}

// ---------------------------------------------------------------------------

Status RegisterFrame(IntMatrix& frame, int w, int h, int star_mode, const ClampedPositions& p,
                     const ReferenceGeometry& geometry, const std::string& what, bool plain, IntMatrix& scratch,
                     Registration& out, bool defer) {
  out = Registration();
  StarLocation s1 = LocateStar(w, h, p.star1x, p.star1y, p.delta1, frame);
  if (star_mode == 2) {
    StarLocation s2;
    if (Status s = LocateBoth(frame, w, h, p, what, s1, s2); !s) return s;
    const double d = Distance(s1.cx, s1.cy, s2.cx, s2.cy);
    if (d == 0) return Status::Error(what + ": the two stars lie at the same place, so the frame has no scale");
    out.scale = static_cast<double>(static_cast<Extended>(geometry.distance) / d);
    if (Status s = plain ? ScaleAboutCentrePlain(out.scale, w, h, frame)
                         : ScaleAboutCentre(out.scale, w, h, frame, scratch);
        !s) {
      return Status::Error(what + ": " + s.message());
    }
    // Star 1 again on the scaled frame; star 2 keeps its first centroid.
    s1 = LocateStar(w, h, p.star1x, p.star1y, p.delta1, frame);
    if (!s1.found || !std::isfinite(s1.cx) || !std::isfinite(s1.cy)) {
      return Status::Error(what + ": star 1 is lost after scaling the frame by " + Num(out.scale));
    }
    if (s1.cx == s2.cx) {
      return Status::Error(what + ": the two stars have the same centroid x (" + Num(s1.cx) +
                           "), so the frame gives no angle");
    }
    const double theta = static_cast<double>(static_cast<Extended>(SlopeAngle(s1.cx, s1.cy, s2.cx, s2.cy)) -
                                             geometry.theta);
    out.theta = theta;
    if (theta != 0 && defer && !plain && near_identity::Suits(near_identity::RotateMap(theta, w, h), w, h) &&
        frame.count() == w && frame.n() == h) {
      out.rotation_pending = true;
    } else if (theta != 0) {
      if (Status s = plain ? RotateAboutCentrePlain(theta, w, h, frame)
                           : RotateAboutCentre(theta, w, h, frame, scratch);
          !s) {
        return Status::Error(what + ": " + s.message());
      }
    }
    const int hx = w / 2;
    const int hy = h / 2;
    const double sn = std::sin(theta);
    const double cs = std::cos(theta);
    const Extended ry0 = s1.py - hy;
    const Extended rx0 = s1.px - hx;
    const int rx = TruncSaturated(sn * ry0 + cs * rx0);
    const int ry = TruncSaturated(cs * ry0 - sn * rx0);
    out.dX = rx - (s1.px - hx);
    out.dY = ry - (s1.py - hy);
  }
  out.ox = Bounded(static_cast<long long>(s1.px) - p.star1x + out.dX);
  out.oy = Bounded(static_cast<long long>(s1.py) - p.star1y + out.dY);
  return Status::Ok();
}

}  // namespace qirm
