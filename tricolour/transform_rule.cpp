// SPDX-License-Identifier: GPL-3.0-or-later
// The plain reference loop of the scale and the rotation about the centre.
#include "tricolour/transform_rule.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "tricolour/tri_numbers.h"

namespace qirm {

CentreMap ScaleMap(double k, int w, int h) {
  CentreMap m;
  m.rotate = false;
  m.k = k;
  m.cx = w * 0.5;
  m.cy = h * 0.5;
  m.a = m.f = k;
  m.b = m.e = 0;
  return m;
}

CentreMap RotateMap(double theta, int w, int h) {
  CentreMap m;
  m.rotate = true;
  m.c = std::cos(theta);
  m.s = std::sin(theta);
  m.cx = w * 0.5;
  m.cy = h * 0.5;
  m.a = m.f = m.c;
  m.b = m.s;
  m.e = -m.s;
  return m;
}

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

}  // namespace

void ClampBack(int w, int h, const IntMatrix& t, IntMatrix& m) {
  for (int x = 0; x < w; ++x) {
    const std::int32_t* in = t[x];
    std::int32_t* out = m[x];
    for (int y = 0; y < h; ++y) out[y] = std::min(std::max(in[y], 0), 65535);
  }
}

Status CheckTransformExtent(const char* what, int w, int h, const IntMatrix& m) {
  if (w <= 0 || h <= 0 || w > m.count() || h > m.n()) {
    return Status::Error(std::string(what) + ": extent " + FormatInt(w) + " x " + FormatInt(h) +
                         " does not fit the matrix");
  }
  return Status::Ok();
}

Status ZeroedWorkMatrix(const char* what, int w, int h, IntMatrix& t) {
  if (t.count() == w && t.n() == h) {
    for (int x = 0; x < w; ++x) std::fill(t[x], t[x] + h, 0);
    return Status::Ok();
  }
  if (!t.Allocate(w, h)) return Status::Error(std::string(what) + ": no memory for the work matrix");
  return Status::Ok();
}

Status SpreadPlain(const CentreMap& map, const char* what, int w, int h, IntMatrix& m) {
  if (Status s = CheckTransformExtent(what, w, h, m); !s) return s;
  IntMatrix t;
  if (!t.Allocate(w, h)) return Status::Error(std::string(what) + ": no memory for the work matrix");
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      double xd, yd;
      ExactTarget(map, x, y, xd, yd);
      Spread(t, w, h, xd, yd, m[x][y]);
    }
  }
  ClampBack(w, h, t, m);
  return Status::Ok();
}

Status ScaleAboutCentrePlain(double k, int w, int h, IntMatrix& m) {
  if (!std::isfinite(k)) return Status::Error("ScaleAboutCentre: the factor is not a finite number");
  return SpreadPlain(ScaleMap(k, w, h), "ScaleAboutCentre", w, h, m);
}

Status RotateAboutCentrePlain(double theta, int w, int h, IntMatrix& m) {
  if (!std::isfinite(theta)) return Status::Error("RotateAboutCentre: the angle is not a finite number");
  return SpreadPlain(RotateMap(theta, w, h), "RotateAboutCentre", w, h, m);
}

}  // namespace qirm
