// SPDX-License-Identifier: GPL-3.0-or-later
// Blooming removal: streaks of saturated values along picture columns
// (the second index of m[x][y]) are filled from their left neighbours and
// smoothed with a window median.
#pragma once

#include "core/matrix.h"

namespace qirm {

// Values >= t count as saturated; runs of more than l saturated elements
// along a column are streaks; the smoothing median has radius r (<= 24).
// Works in place on the nx x ny matrix; nx and ny at least 3. threads:
// how many threads may scan a large matrix at most (0: PartCount's;
// callers that keep the other cores busy pass 1).
void RemoveBlooming(int t, int l, int r, int nx, int ny, IntMatrix& m, int threads = 0);

}  // namespace qirm
