// SPDX-License-Identifier: GPL-3.0-or-later
// Coma correction: undoes the radial smear that coma gives to stars away
// from the optical axis.
//
// Model. Off the axis a telescope with coma draws a star as a bright head
// with a faint tail running straight away from the axis; the tail grows in
// proportion to the distance from the axis. Here the tail of a star at
// distance rho is a segment of length L = amount * rho / 100 pixels along
// the radius, outward (amount < 0: inward), so the amount is the tail
// length in pixels per 100 pixels from the axis.
//
// Correction. The coma image of a point is taken as half its light kept
// in the head and half spread evenly along the tail. Blurring a picture I
// that way gives B(I) = I / 2 + M(I) / 2, where M(p) is the mean of the
// picture along the segment of length L from p towards the axis (the heads
// whose tails cross p). One step of the classic iterative inversion
// (Van Cittert), out = I + (I - B(I)), is then
//   out(p) = I(p) + (I(p) - M(p)) / 2,
//   M(p) = mean of I(p - (k / N) * L * u), k = 1..N,
// with u the unit vector from the axis to p and N = min(16, ceil(|L|))
// samples (at most a pixel apart up to 16 pixels of tail, evenly spread
// beyond). Tails lose light, heads gain it, and flat areas stay as they
// are; like any sharpening it darkens the sky just beyond a bright tail.
// Each channel alone. The sum is formed from the differences
// I(sample) - I(p), so a flat area gives exactly 0; the result is rounded
// to the nearest integer (a correction should not shift the mean level, as
// truncation would) and clamped into 0..255.
//
// Sampling. The samples are bilinear interpolations of the source; a
// sample position outside the picture is taken at the nearest pixel
// inside. The interpolation is formed from the sample's offset to p, axis
// by axis from its magnitude, so a picture that is symmetric about the
// axis (a point reflection or a mirror line through it) gives an equally
// symmetric result, exactly.
//
// Properties: amount 0 gives the picture unchanged; the pixel at the axis
// itself never changes (rho = 0); the axis may lie anywhere, also outside
// the picture.
#pragma once

#include "core/picture.h"

namespace qirm {

struct ComaParams {
  int x = 0;  // optical axis, picture pixels
  int y = 0;
  double amount = 0;  // tail length in pixels per 100 pixels from the axis
};

// The corrected picture into dst (the source's size, not the source);
// false, and nothing written, otherwise. Large pictures use several threads.
bool ComaCorrectInto(const Picture& source, const ComaParams& params, Picture& dst);
Picture ComaCorrect(const Picture& source, const ComaParams& params);

}  // namespace qirm
