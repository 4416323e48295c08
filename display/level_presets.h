// SPDX-License-Identifier: GPL-3.0-or-later
// The levels panel's presets and histogram: levels computed from what a
// window stores (16-bit windows: their raw values; colour windows: the three
// channels of the base picture together), and the commands that apply levels
// to the active window through the level edits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/status.h"
#include "document/image_document.h"
#include "document/workspace.h"

namespace qirm {

enum class LevelPreset { kAuto, kMinMax, kPercent995, kPercent99, kZscale };

// "auto", "minmax", "99.5", "99", "zscale".
bool ParseLevelPreset(const std::string& text, LevelPreset& preset);

struct LevelPair {
  int min = 0;
  int max = 0;
};

// Whether the window has values the levels act on (16-bit and colour
// windows).
bool HasLevelValues(const ImageDocument& doc);
// The same as the levels' kind check: Ok, or the refusal the presets give.
Status LevelsKindCheck(const ImageDocument& doc);

// How many pixels hold each value: 65536 counts of raw values for a 16-bit
// window, 256 counts of channel values (three per pixel) for a colour window;
// empty for other windows.
std::vector<std::int64_t> ValueCounts(const ImageDocument& doc);

// The smallest and the largest value present (0..0 without values).
LevelPair MinMaxLevels(const std::vector<std::int64_t>& counts);
// The levels that leave (100 - percent) / 2 % of the values below the lower
// level and as many above the upper one.
LevelPair PercentileLevels(const std::vector<std::int64_t>& counts, double percent);

// Counts of the values lo..hi (inclusive) in `bins` equal bins; values
// outside are not counted.
std::vector<std::int64_t> Histogram(const std::vector<std::int64_t>& counts, int bins, int lo, int hi);

// The zscale sample of a window: about 1000 values on a regular grid
// (colour windows: the three channels of each grid pixel).
std::vector<double> ZscaleSamples(const ImageDocument& doc);

struct ZscaleRange {
  double z1 = 0;
  double z2 = 0;
};
// The zscale range of a sample (any order): a line fitted to the sorted
// sample with iterative k-sigma rejection, its slope divided by the contrast
// (0.25), about the median, limited to the sample's range.
ZscaleRange ZscaleLevels(std::vector<double> samples, double contrast = 0.25);

// The preset's levels for the window, false when it has no level values.
// kAuto is the levels a window gets when it is filled: InitialLevels for
// 16-bit data, 0..255 for colour pictures. Where kAuto or a percentile
// preset would put both levels on one value (a frame mostly of one value,
// such as a counts map of zeros) they give the data's whole range instead,
// as kMinMax does.
bool PresetLevels(const ImageDocument& doc, LevelPreset preset, LevelPair& levels);

// Draws the window through its levels MIN..MAX (16-bit windows from their
// raw plane, colour windows each channel of the base picture).
void RenderWindowLevels(ImageDocument& doc);

// levels=MIN,MAX: both texts typed into the level edits (physical values, as
// max= and min=), then the window drawn. A minimum above the maximum is
// refused and nothing changes. No window: only the edits change.
Status TypeLevels(Workspace& ws, const std::string& min_text, const std::string& max_text);
// A preset: the levels set into the edits and the window drawn. Windows
// without level values are refused with a message.
Status ApplyLevelPreset(Workspace& ws, LevelPreset preset);
// Levels the program sets (the panel's drag), then drawn.
Status SetLevels(Workspace& ws, int min, int max);

}  // namespace qirm
