// SPDX-License-Identifier: GPL-3.0-or-later
// The fixed small rotation of the rotate command: 0.1 radian about the centre,
// clockwise on the screen (rows counted downward).
//
// Every result pixel (x, y) with 1 <= x <= W - 2 and 1 <= y <= H - 2 takes its
// value from the source position
//   sx = c x + s y - x0,  sy = -s x + c y - y0     (c = cos 0.1, s = sin 0.1)
// with the shifts x0 = trunc(s (H/2) + c (W/2) - W/2) and
// y0 = trunc(c (H/2) - s (W/2) - H/2) that keep the centre in place (W/2 and
// H/2 are integer halves). With xs = trunc(sx), ys = trunc(sy), fx = sx - xs,
// fy = sy - ys and the source pixels A = (xs, ys - 1), B = (xs + 1, ys - 1),
// C = (xs, ys), D = (xs + 1, ys):
//   result = trunc((1-fx)(1-fy) A + fx (1-fy) B + (1-fx) fy C + fx fy D)
// in extended precision, the positions and fractions kept as doubles. The
// upper interpolated row is the one above ys.
//
// Edge policy: pixels whose source lies outside (xs < 1, ys < 1, xs >= W or
// ys >= H), and the one-pixel frame along all four edges, are not computed
// and keep the fill value (white). Where xs = W - 1 the right-hand neighbour
// column W does not exist; column W - 1 stands in for it, so such a pixel
// interpolates only vertically.
//
// Progress: before each row the share of rows done so far, in percent (0 at
// the first row, below 100 at the last), always on the calling thread. Large
// pictures are computed on every core.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/float_plane.h"
#include "core/picture.h"

namespace qirm {

using Progress = std::function<void(int percent)>;

// Rotation angle and the centring shifts for a W x H picture.
struct RotationGeometry {
  double c = 0;
  double s = 0;
  int x0 = 0;
  int y0 = 0;
};
RotationGeometry RotationFor(int width, int height);

// A 24-bit picture, each of the three bytes interpolated alike; pixels not
// computed are white (255, 255, 255).
Picture RotatePicture(const Picture& source, const Progress& progress = {});
// The same into out, which takes the source's size (a picture of that size
// is reused without new memory) and must not be the source.
void RotateInto(const Picture& source, Picture& out, const Progress& progress = {});

// Raw 16-bit values, row by row (width * height values, rows from the top);
// pixels not computed are fill.
std::vector<std::uint16_t> RotateRawValues(const std::vector<std::uint16_t>& raw, int width, int height,
                                           std::uint16_t fill, const Progress& progress = {});

// The values of a float window: interpolated without truncation; pixels not
// computed, and those that interpolate an undefined one, are NaN.
FloatPlane RotateFloatValues(const FloatPlane& plane, const Progress& progress = {});

}  // namespace qirm
