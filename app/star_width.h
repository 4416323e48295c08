// SPDX-License-Identifier: GPL-3.0-or-later
// Cursor readout and star width: what the image window's mouse handlers
// compute. Positions X, Y are in the shown (zoomed) picture; image pixels are
// found by dividing by the zoom factor z and truncating toward zero.
#pragma once

#include <functional>
#include <string>

#include "core/numbers.h"
#include "document/image_document.h"

namespace qirm {

struct HalfMaxWidth {
  int max = 0;
  int min = 0;
  int count = 0;
  double width = 0;
};

// value(x, y, v) gives the pixel value at image pixel (x, y), or false for a
// position outside the image; such positions are left out of both passes.
using PixelValue = std::function<bool(int x, int y, int& v)>;

// The 21 x 21 box around (cx, cy) = (X / z, Y / z): min and max of the box
// (starting from 0 and min_start), half = (max - min) / 2 truncated, count of
// values more than half above min, width = 2 sqrt(count / 3.1415926): the
// diameter of a circle of count pixels.
HalfMaxWidth MeasureHalfMaxWidth(const PixelValue& value, Extended cx, Extended cy, int min_start);

// The value the measurement uses: the raw value for 16-bit windows, the green
// channel of the shown picture otherwise.
PixelValue MeasuredValue(const ImageDocument& doc);

enum class MouseButton { Left, Right, Middle };

// The image pixel under the cursor position (X, Y) of the shown picture:
// (truncate(X / z), truncate(Y / z)). False when the window has no zoom or
// kind yet (error set).
bool ImagePixelAt(const ImageDocument& doc, int X, int Y, int& x, int& y, std::string& error);

// Label2 after a cursor move to (X, Y): "Intensity = %d   (%d,%d)" for 16-bit
// windows, the value physical (PhysicalText: "%d" when integral), "R=%d  G=%d  B=%d   (%d,%d)" otherwise.
// The position printed is the image pixel read (ImagePixelAt), so it means
// the same at every zoom. False when the position lies outside the picture
// or the window has no zoom or kind yet (error set).
bool CursorReadout(const ImageDocument& doc, int X, int Y, std::string& label, std::string& error);

struct StarWidthResult {
  std::string label;     // Label1: "QIRM = %2.1lf pxls"
  std::string extremes;  // "MAX = %d , MIN = %d" (physical values of kind 2)
  HalfMaxWidth measured;
};
// A press of a button at (X, Y): the left button measures, the others show
// a width of 0.0. False when the window has no zoom or kind yet (error set).
bool StarWidthAt(const ImageDocument& doc, int X, int Y, MouseButton button, StarWidthResult& result,
                 std::string& error);

// The reference-star and background fields of the tri-colour dialog that
// clicks in image windows fill.
struct StarPick {
  enum class Mode { None, OneStar, TwoStars } mode = Mode::None;
  std::string Edit6, Edit9;    // star 1 X, Y
  std::string Edit7, Edit10;   // star 2 X, Y
  std::string Edit19 = "1";    // the star the next click sets in two-star mode
  std::string Edit12, Edit13;  // background X, Y
};
// Writes the image pixel (x, y) of the click (ImagePixelAt: the pixel the
// readout reads, whatever the zoom) where the button and the mode say.
// False when Edit19 does not parse (error set).
bool CapturePosition(StarPick& pick, MouseButton button, int x, int y, std::string& error);

}  // namespace qirm
