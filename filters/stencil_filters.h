// SPDX-License-Identifier: GPL-3.0-or-later
// The small fixed stencils of the image-processing menu: edge enhancement,
// blur, high-pass and low-pass. Each channel of each pixel is computed
// alone from the same channel of its neighbours; C is the pixel itself,
// L, R, U, D its left, right, upper and lower neighbours.
//
//   edge       C + floor(s * (4C - L - R - U - D))          s = strength
//   high-pass  4C - L - R - U - D; a channel at full scale stays there
//   low-pass   5C - HP(L) - HP(R) - HP(U) - HP(D), HP = the high-pass picture
//   blur       C + floor(w * (C(x, y-2) + C(x-1, y-1) + C(x+1, y-1) - 3C)),
//              w = (1 - 2^-a) / 4 for the blur amount a
// every result clamped into 0 .. full scale (255, or 65535 for raw values).
//
// Strength 1 gives 5C - L - R - U - D and amount 1 gives w = 1/8, that is
// trunc((5C + C(x, y-2) + C(x-1, y-1) + C(x+1, y-1)) / 8): the classic
// stencils. A larger strength sharpens more, linearly; a smaller blur
// amount tends to the picture itself, a larger one to the plain mean of
// the four stencil pixels (w = 1/4), so the stencil's weights never turn
// negative. Products of a real factor are formed in extended precision.
//
// Edge policy: every pixel is computed. Neighbours outside the picture are
// the nearest pixel inside it (the row's first or last pixel, the first or
// last row), so the outermost rows and columns are filtered like the rest
// and a flat picture stays flat everywhere.
//
// Progress: before each row y the value trunc(200 * y / H) (it reaches 100
// half way down), each value once, in order; the low-pass runs through the
// rows twice. Large pictures are split into bands of rows on several
// threads; the callback is only ever called on the calling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/picture.h"
#include "core/raw_plane.h"

namespace qirm {

using FilterProgress = std::function<void(int)>;

// Each filter as a new picture, and written into a picture that exists
// already (dst must have the source's size; false, and nothing written,
// when it does not). dst must not be the source, except for the low-pass,
// whose second pass reads each source pixel only for the same result pixel:
// it takes the high-pass picture into hp (the source's size, neither the
// source nor dst) and may write its result over the source.
Picture EdgeEnhancement(const Picture& source, double strength, const FilterProgress& progress = {});
bool EdgeEnhancementInto(const Picture& source, double strength, Picture& dst,
                         const FilterProgress& progress = {});

Picture Blur(const Picture& source, double amount, const FilterProgress& progress = {});
bool BlurInto(const Picture& source, double amount, Picture& dst, const FilterProgress& progress = {});
RawPlane Blur(const RawPlane& source, double amount, const FilterProgress& progress = {});

Picture HighPass(const Picture& source, const FilterProgress& progress = {});
bool HighPassInto(const Picture& source, Picture& dst, const FilterProgress& progress = {});
RawPlane HighPass(const RawPlane& source, const FilterProgress& progress = {});

Picture LowPass(const Picture& source, const FilterProgress& progress = {});
bool LowPassInto(const Picture& source, Picture& hp, Picture& dst, const FilterProgress& progress = {});
RawPlane LowPass(const RawPlane& source, const FilterProgress& progress = {});

// The real factors, exposed for the tests' reference loops:
// floor(strength * d) and floor((1 - 2^-amount) / 4 * d), extended precision.
int EdgeDelta(double strength, int d);
int BlurDelta(double amount, int d);

}  // namespace qirm
