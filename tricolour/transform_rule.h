// SPDX-License-Identifier: GPL-3.0-or-later
// The rule of the two registration transforms, scale and rotation about the
// frame centre, and its plain reference loop: one loop for both, given the
// map. The fast versions (fast_transforms.h, near_identity.h) must give
// exactly its matrix.
//
// Frames are IntMatrix values m[x][y] of w columns and h rows. Arithmetic
// follows the program's rule: intermediate reals in extended precision,
// named values kept as doubles, truncation toward zero.
#pragma once

#include "core/matrix.h"
#include "core/numbers.h"
#include "core/status.h"

namespace qirm {

// A transform of the composition: target of source (x, y), with
// dx = x - cx, dy = y - cy about the centre (w * 0.5, h * 0.5),
//   scale:  x' = dx k + cx,            y' = dy k + cy
//   rotate: x' = c dx + s dy + cx,     y' = -s dx + c dy + cy
// formed in extended precision and rounded to a double, as the plain loop
// does. a, b, e, f is the linear part (x' = a dx + b dy + cx, y' = e dx + f dy
// + cy) for the fast coordinates.
struct CentreMap {
  bool rotate = false;
  double k = 1;
  double c = 1, s = 0;
  double cx = 0, cy = 0;
  double a = 1, b = 0, e = 0, f = 1;
};

CentreMap ScaleMap(double k, int w, int h);
CentreMap RotateMap(double theta, int w, int h);

// The target of source (x, y) exactly as the rule forms it.
inline void ExactTarget(const CentreMap& map, int x, int y, double& xd, double& yd) {
  if (!map.rotate) {
    xd = static_cast<double>((x - static_cast<Extended>(map.cx)) * map.k + map.cx);
    yd = static_cast<double>((y - static_cast<Extended>(map.cy)) * map.k + map.cy);
    return;
  }
  const Extended dx = x - static_cast<Extended>(map.cx);
  const Extended dy = y - static_cast<Extended>(map.cy);
  xd = static_cast<double>(map.c * dx + map.s * dy + map.cx);
  yd = static_cast<double>(-static_cast<Extended>(map.s) * dx + map.c * dy + map.cy);
}

// The rule: forward mapping with bilinear spreading into a zeroed target;
// each of the four contributions is added and truncated as it is stored, in
// source order (x outer, y inner); targets whose corner (trunc x', trunc y')
// is not within 0 .. w - 2, 0 .. h - 2 get nothing from that source; the
// target is clamped to 0..65535 and copied back. This is the plain loop, in
// extended precision throughout. `what` names the transform in the
// messages. Refused (frame unchanged): an extent that does not fit m, no
// memory.
Status SpreadPlain(const CentreMap& map, const char* what, int w, int h, IntMatrix& m);

// The rule for the two maps. Refused as above, and for a factor or angle
// that is not finite.
Status ScaleAboutCentrePlain(double k, int w, int h, IntMatrix& m);
Status RotateAboutCentrePlain(double theta, int w, int h, IntMatrix& m);

// Shared with the fast transforms: the extent check, a zeroed w x h work
// matrix (allocated when it has another size), and the clamped copy back.
Status CheckTransformExtent(const char* what, int w, int h, const IntMatrix& m);
Status ZeroedWorkMatrix(const char* what, int w, int h, IntMatrix& t);
void ClampBack(int w, int h, const IntMatrix& t, IntMatrix& m);

}  // namespace qirm
