// SPDX-License-Identifier: GPL-3.0-or-later
// Composite stacking: open image windows combined pixel by pixel, without
// alignment, into a new window "New".
//
// The five methods work on each channel byte (blue, green, red) of each pixel
// independently, over the N chosen pictures in list order:
//   Average   trunc(sum / N)
//   Sum       the sum, saturating at 255
//   Maximum   the largest byte
//   Minimum   the smallest byte
//   Expected  a robust mean: sigma clipping about the median (see
//             RobustStackMean); for one or two pictures the plain average
//
// 16-bit windows stack their raw values 0..65535 by the same rules (the sum
// saturating at 65535, the expected value's sigma floor one raw unit) into
// a 16-bit window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/picture.h"
#include "core/status.h"
#include "document/workspace.h"

namespace qirm {

// In the order of the dialog's radio buttons RadioButton1 .. RadioButton5.
enum class CompositeMethod { Average, Sum, Maximum, Minimum, Expected };

// "average", "sum", "maximum", "minimum", "expected" (the names qirm-cli
// takes). False for anything else.
bool CompositeMethodFromName(const std::string& name, CompositeMethod& method);

// Clipping passes of the expected-value method at most.
inline constexpr int kClipIterations = 5;

// The robust mean of one stack of bytes, exactly as StackPictures computes it
// for every channel of every pixel (a plain reference for tests and for
// single values; `values` is reordered).
//
// For 1 or 2 values it is the plain average, trunc(sum / n). From 3 values on
// it is an iterative sigma-clipped mean:
//   1. centre = the median of the kept values (the mean of the two middle
//      ones for an even count);
//   2. sigma = max(1.4826 x MAD, 1), MAD the median absolute deviation from
//      that centre. The standard deviation of the stack itself would be
//      inflated by the very outlier it should catch: with fewer than nine
//      values a single outlier can never lie 2.5 standard deviations out.
//      The floor of one grey level keeps 8-bit data, where more than half a
//      stack is often one value (MAD 0), from losing values one level off;
//   3. every kept value farther than 2.5 sigma from the centre is rejected;
//      a value exactly at 2.5 sigma stays (the comparison runs in integers,
//      so there are no rounding ties);
//   4. steps 1-3 repeat until a pass rejects nothing, at most 5 passes.
// The values nearest the centre can never be rejected, so the kept set is
// never empty. The result is the mean of the kept values truncated toward
// zero to a byte, as the average method truncates: a stack without outliers
// gives exactly the average.
std::uint8_t RobustStackMean(std::vector<std::uint8_t>& values);

// The same rule on raw 16-bit values: sigma = max(1.4826 x MAD, 1) in raw
// units, the mean truncated toward zero.
std::uint16_t RobustStackMean16(std::vector<std::uint16_t>& values);

// Combines equally sized pictures with `method` into a new picture of their
// size. Rows are shared between the cores for big pictures. `progress`
// receives the percentage of rows done, trunc(rows / (H * 0.01)), each time
// it changes, on the calling thread. Empty `sources` give an empty picture.
Picture StackPictures(const std::vector<const Picture*>& sources, CompositeMethod method,
                      const std::function<void(int)>& progress = {});

// Combines raw 16-bit frames of width x height values each (row after row)
// with `method`, value by value: average trunc(sum / N), sum saturating at
// 65535, maximum, minimum, expected value as RobustStackMean16. Rows are
// shared between the cores; `progress` as for StackPictures. No sources:
// an empty result.
std::vector<std::uint16_t> StackRawValues(const std::vector<const std::uint16_t*>& sources, int width,
                                          int height, CompositeMethod method,
                                          const std::function<void(int)>& progress = {});

// One entry of the combine list: the caption it shows and the position of
// its window in the workspace's window order when the list was filled.
struct CompositeEntry {
  std::string caption;
  int window = -1;
};

// What the composite dialog holds when it closes.
struct CompositeParams {
  std::vector<CompositeEntry> entries;  // the combine list, in stacking order
  CompositeMethod method = CompositeMethod::Average;
};

// The candidates for the dialog's first list: every open window in window
// order, each entry naming its caption and position.
std::vector<CompositeEntry> CompositeCandidates(Workspace& ws);

// The dialog's count edit is also its signal to stack: the stacking runs when
// the text compares greater than "0" as text (any count from 1 up; "0" after
// Cancel or with an empty list does nothing).
bool CompositeRequested(const std::string& edit2);

// The composite command after its dialog closed with `params`.
//
// Each entry stands for the window it was listed for: the window at its
// recorded position when that window still carries the entry's caption,
// otherwise the first window in order with that caption (so two windows with
// one caption are each stacked once when both are listed). An entry whose
// window no longer exists is skipped; `skipped` receives one message for each.
// The size W x H is that of the first source's data (the base picture
// ImageZm, or the raw plane of a 16-bit window); a source of another size
// refuses the whole stacking with an error naming the window and both
// sizes, and nothing is created. No source at all: nothing is
// created either, an error only when entries were given.
//
// On success each source has been activated in turn, and a new window "New"
// is the active one: kind "1", the stacked picture as Image and ImageZm,
// size W x H, 1 channel, zoom "1.00", levels 255 and 0, edited; the zoom box
// at 100 %, the level edits "255" and "0", spins 255 and 0;
// ProgressBar1 back at 0. `progress` sees the rows done and finally 0.
//
// When the sources are 16-bit windows their raw values are stacked
// (StackRawValues) and "New" is a 16-bit window: kind "2", its plane the
// stacked values, the initial levels, mean and minimum an opened frame
// gets (InitialLevels) with the shown picture drawn under them, the level
// edits and spins at those levels; size, channel, zoom and edited as above.
// 16-bit windows and windows of other kinds in one list: an error naming
// one of each, and nothing is created.
Status RunComposite(Workspace& ws, const CompositeParams& params, std::vector<std::string>& skipped,
                    const std::function<void(int)>& progress = {});

}  // namespace qirm
