// SPDX-License-Identifier: GPL-3.0-or-later
// Numeric primitives on pixel matrices that several commands share. They work
// in place on plain matrices, indexed m[x][y], and know nothing of windows.
// nx and ny are the extent to work on; they must not exceed the matrix (an
// operation given a larger extent does nothing, and those that return a
// Status say so). Every real-to-integer conversion truncates toward zero.
#pragma once

#include "core/matrix.h"
#include "core/status.h"

namespace qirm {

// Every element v of the nx x ny block: v < lo -> lo, then v >= hi -> hi.
// (With lo > hi every element becomes hi.)
void ClipMatrix(int lo, int hi, int nx, int ny, IntMatrix& m);

// Median of the (2r+1)^2 window centred on m[i][j]. Writes out only when
// 0 <= r <= 24, r < i < nx - r and r < j < ny - r (the low side keeps one
// element more margin than the window needs); otherwise out keeps its value.
// A median below 0 comes out as 0, and so does a window of negative values
// only.
void WindowMedian(int r, int nx, int ny, int i, int j, const IntMatrix& m, int& out);

// Correlation with the leading ka x kb block of the kernel: element (x, y)
// becomes the sum of K[a][b] * m[x + a - ka/2][y + b - kb/2] over the taps
// that lie inside the matrix and whose weight is not 0.0. The kernel is first
// divided by its sum, in place, so it stays normalised for the caller. Taps
// outside are dropped without renormalising (edges darken); results are
// truncated, negatives become 0, values beyond the int range saturate, no
// other upper clamp. Each tap's product and sum are formed in extended
// precision and every partial sum is kept as a double.
// Errors (matrix and kernel left unchanged): a kernel whose weights sum to 0
// or to no finite number, ka or kb outside the kernel matrix, nx or ny
// outside the matrix, no memory for the result.
Status Convolve(int ka, int kb, RealMatrix& kernel, int nx, int ny, IntMatrix& m);

// As Convolve, but only elements below t are replaced, and every tap is one
// element further along both axes (displacements a - ka/2 + 1, b - kb/2 + 1).
// The decision and all sums use the values before the call; elements at or
// above t keep their value, except that negatives become 0.
Status ConvolveBelow(int t, int ka, int kb, RealMatrix& kernel, int nx, int ny, IntMatrix& m);

// Turns the matrix by angle degrees about its centre (bilinear, 0 outside),
// content turning counter-clockwise on screen (a step along +x ends up a step
// along -y for 90). Pi is taken as 3.1415926. Exact centring needs odd nx and
// ny; even sizes come out half an element off centre.
// Errors (matrix unchanged): a non-finite angle, nx or ny outside the matrix,
// no memory for the work matrix.
Status RotateMatrix(double angle, int nx, int ny, RealMatrix& m);

}  // namespace qirm
