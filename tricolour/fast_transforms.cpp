// SPDX-License-Identifier: GPL-3.0-or-later
// The fast scale and rotation about the centre for any map: near the
// identity they hand the frame to near_identity; otherwise the scale
// gathers its sources per target and the rotation takes runs of rows, both
// in doubles where that provably gives the rule's bits (simd_kernels.h).
#include "tricolour/fast_transforms.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/numbers.h"
#include "tricolour/near_identity.h"
#include "tricolour/simd_kernels.h"
#include "tricolour/transform_rule.h"
#include "tricolour/tri_numbers.h"

namespace qirm {

namespace {

using simd::AddFast;

// Per-axis part of a scaled coordinate: position, corner and weights,
// tabulated once per column and once per row.
struct AxisStep {
  bool inside = false;
  int i = 0;
  Extended g = 1, f = 0;  // 1 - f and f, extended
  double gd = 1, fd = 0;  // the same as doubles, for the fast sums
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
  if (Status s = CheckTransformExtent("ScaleAboutCentre", w, h, m); !s) return s;
  if (!(k > 0)) return ScaleAboutCentrePlain(k, w, h, m);  // the corners run backwards
  if (k == 1) {
    // Every source lands exactly on itself with the weight 1 (1 * 1 * v
    // added to 0); the last column and row have no corner inside.
    for (int x = 0; x < w; ++x)
      for (int y = 0; y < h; ++y)
        m[x][y] = (x < w - 1 && y < h - 1) ? std::min(std::max(m[x][y], 0), 65535) : 0;
    return Status::Ok();
  }
  if (near_identity::Apply(ScaleMap(k, w, h), w, h, m, scratch)) return Status::Ok();
  if (Status s = ZeroedWorkMatrix("ScaleAboutCentre", w, h, scratch); !s) return s;
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
  if (Status s = CheckTransformExtent("RotateAboutCentre", w, h, m); !s) return s;
  if (near_identity::Apply(RotateMap(theta, w, h), w, h, m, scratch)) return Status::Ok();
  if (Status s = ZeroedWorkMatrix("RotateAboutCentre", w, h, scratch); !s) return s;
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
      near = simd::RotateTargets(w, h, p_hi, static_cast<double>(cdx - p_hi), m_hi,
                                 static_cast<double>(msdx - m_hi), c, s, cx, cy, dys.data(), ixs.data(),
                                 iys.data(), fxd.data(), fyd.data(), exact.data());
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

}  // namespace qirm
