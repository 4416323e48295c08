// Numeric primitives on pixel matrices that several commands share. They work
// in place on plain matrices, indexed m[x][y], and know nothing of windows.
// Every real-to-integer conversion truncates toward zero.
#pragma once

#include "core/matrix.h"

namespace qirm {

// Clamp every element of the nx x ny matrix into [lo, hi].
void ClipMatrix(int lo, int hi, int nx, int ny, IntMatrix& m);

// Median of the (2r+1)^2 window centred on m[i][j]. Writes out only when
// r < i < nx - r and r < j < ny - r and 0 <= r <= 24; otherwise out keeps its
// value. A median below 0 comes out as 0.
void WindowMedian(int r, int nx, int ny, int i, int j, const IntMatrix& m, int& out);

// Correlation with the leading ka x kb block of the kernel, which is first
// normalised in place to sum 1. Taps outside the matrix are dropped without
// renormalising; results are truncated, negatives become 0, no upper clamp.
void Convolve(int ka, int kb, RealMatrix& kernel, int nx, int ny, IntMatrix& m);

// As Convolve, but only elements below t are replaced, and every tap is one
// element further along both axes (displacements a - ka/2 + 1, b - kb/2 + 1).
void ConvolveBelow(int t, int ka, int kb, RealMatrix& kernel, int nx, int ny, IntMatrix& m);

// Turns the matrix by angle degrees about its centre (bilinear, 0 outside),
// content turning counter-clockwise on screen.
void RotateMatrix(double angle, int nx, int ny, RealMatrix& m);

}  // namespace qirm
