// SPDX-License-Identifier: GPL-3.0-or-later
// Levels of a float window. Its levels are integers like a 16-bit window's,
// on a grid of its own: level L stands for the value
// scaling.Physical(L) = offset + step * L, the step a power of two that puts
// the values' range on at most 2^20 levels. So the level edits, the presets,
// the histogram and the spin steps work as for 16-bit data, and the shown
// picture is still drawn from the float values themselves.
#pragma once

#include <cstdint>
#include <vector>

#include "core/float_plane.h"
#include "core/picture.h"
#include "display/levels.h"
#include "document/image_document.h"

namespace qirm {

// Levels across the values' range: 2^20 at most.
inline constexpr double kFloatLevelSpan = 1048576.0;

// The colour of an undefined pixel (NaN, infinite, BLANK): a dark blue no
// level window gives a grey pixel. 0xRRGGBB.
inline constexpr std::uint32_t kUndefinedColour = 0x203060;

// The range of the finite values of `count` planes; false when there is
// none.
bool FiniteRange(const FloatPlane* planes, int count, double& lo, double& hi);
inline bool FiniteRange(const FloatPlane& plane, double& lo, double& hi) {
  return FiniteRange(&plane, 1, lo, hi);
}

// The grid for values lo..hi: level 0 at lo, a power-of-two step. A range of one value (or none) gets a grid
// around it.
FitsScaling FloatLevelGrid(double lo, double hi);

// The level of value v on the grid (not rounded).
inline double LevelOf(const FitsScaling& grid, double v) {
  return (v - (grid.bzero - 32768.0 * grid.bscale)) / grid.bscale;
}

// The levels a float window gets when it is opened: the 16-bit window's
// sampling grid over its finite values (of every plane), on the level grid
// (MIN the level below the smallest sample, MAX = trunc((mean - MIN) * 2 +
// MIN)).
InitialLevelsResult InitialFloatLevels(const FloatPlane* planes, int count, const FitsScaling& grid);

// The shown picture: grey g = trunc((L(v) - min) / ((max - min) / 255))
// (computed as one multiply, so within a rounding of that),
// limited to 0..255 (a window of zero width counts as width 1); undefined
// pixels in kUndefinedColour. Rows are shared between the cores.
void RenderFloatLevelsInto(const FloatPlane& plane, const FitsScaling& grid, int max, int min, Picture& out);
// Three planes as red, green and blue, each by the same rule; a pixel with
// any undefined channel in kUndefinedColour.
void RenderColourLevelsInto(const FloatPlane (&planes)[3], const FitsScaling& grid, int max, int min,
                            Picture& out);
// The window's picture under levels max, min: kind 4 or 5.
void RenderFloatWindow(ImageDocument& doc, int max, int min);

// How many finite values of `count` planes fall on each level
// 0..L(largest) (nearest level).
std::vector<std::int64_t> FloatLevelCounts(const FloatPlane* planes, int count, const FitsScaling& grid);

// Fills the levels, the grid and the statistics of a float window (kind 4
// or 5) whose values are in place, and draws it when `shown`.
void SetUpFloatWindow(ImageDocument& doc, bool shown);

}  // namespace qirm
