// SPDX-License-Identifier: GPL-3.0-or-later
// Guide-miss canceller: sharpens stars that a guiding error smeared into
// short trails, then optionally smooths the faint parts of the picture.
//
// GMC step: every channel is correlated with the streak kernel, three taps
// along the trail direction: 3 at the pixel (d - 1, d - 1) away, -1 at
// (-d - 1, d - 1) and (d + 1, d - 1) for a flow of d pixels at direction 0,
// turned by the direction, normalised, results clamped into 0..255. For
// the default flow 1: out(x, y) = 3 I(x, y) - I(x - 2, y) - I(x + 2, y).
// Taps outside the picture are dropped (the normalised sum no longer holds
// there: a flat 100 becomes 200 in the two outermost columns).
// Blur step: channel values below the threshold are replaced by the
// Gaussian-weighted sum around (x + 1, y + 1) (the displacement of
// ConvolveBelow), values at or above it stay; clamped into 0..255. The
// default threshold 0 leaves everything as it is.
//
// Both steps use the primitives of filters/primitives.h (Convolve,
// ConvolveBelow, RotateMatrix) on the red, then the green, then the blue
// channel, with one kernel matrix that each call normalises in place.
// GuideMissCancel gives exactly their result without building whole-picture
// matrices: the picture is streamed through a few rows of channel values,
// in bands of rows on several threads, and each row's sums are formed by the
// same column routine the primitives use.
#pragma once

#include "core/matrix.h"
#include "core/picture.h"
#include "core/status.h"

namespace qirm {

// The panel's settings. The Gaussian's width b (the blur amount) is a
// setting of its own, shared with the blur dialog, and passed apart.
struct GmcSettings {
  int direction = 0;  // degrees, counter-clockwise on screen
  int flow = 1;       // trail length d in pixels, 0 .. kMaxGmcFlow
  int threshold = 0;  // channel values below it are smoothed
};

// Flows beyond this are refused by the dialog (raised or lowered into
// range); the kernels grow with (2d + 3)^2.
inline constexpr int kMaxGmcFlow = 1000;

// The streak kernel of flow d, (2d + 3) x (2d + 3), turned by direction.
Status StreakKernel(int flow, int direction, RealMatrix& kernel);
// The Gaussian kernel: [i][j] = exp(-(i - 2d)^2 / b / b - (j - 2d)^2 / b / b).
Status GaussianKernel(int flow, double blur, RealMatrix& kernel);

// The canceller on the whole picture, in place, with the Gaussian width
// blur (> 0; the panel keeps it at 0.2 or more). Errors (picture
// unchanged): a flow outside 0 .. kMaxGmcFlow, a blur that is not a
// positive number, no memory.
Status GuideMissCancel(Picture& picture, const GmcSettings& settings, double blur);

// The same steps literally on three channel matrices: the reference for
// the tests and the benchmark.
Status GuideMissCancelPlain(Picture& picture, const GmcSettings& settings, double blur);

}  // namespace qirm
