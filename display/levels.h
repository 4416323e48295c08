// SPDX-License-Identifier: GPL-3.0-or-later
// The display rule: how stored data become the shown picture.
//   16-bit data: a linear level window MIN..MAX onto grey 0..255, read from
//   the window's plane of raw values.
//   Colour pictures: a per-channel gain.
// Also the initial levels of a new 16-bit image and the zoom factor steps.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "core/matrix.h"
#include "core/picture.h"
#include "core/raw_plane.h"

namespace qirm {

struct InitialLevelsResult {
  int min = 0;      // MIN and Minimum
  int max = 0;      // MAX
  double mean = 0;  // Average
  long long samples = 0;
};

// Samples every 4th value from 10 pixels inside the left/top edges while more
// than 10 pixels inside the right/bottom edges; MIN = smallest sample,
// MAX = trunc((mean - min) * 2 + min). A frame too small for that grid
// (20 pixels or less across) is sampled at every pixel instead, so small
// frames still get a sensible window.
InitialLevelsResult InitialLevels(const IntMatrix& raw, int width, int height);
// The same over the raw plane of a 16-bit window.
InitialLevelsResult InitialLevels(const RawPlane& plane);

// The same sampling for readers that see the values in their own order:
// columns and rows start, start + step, ... below x_end and y_end (every
// pixel of a frame too small for the grid), and the sums of the samples,
// which do not depend on the order they are added in.
struct LevelGrid {
  int start, step, x_end, y_end;
};
LevelGrid InitialLevelGrid(int width, int height);
struct LevelSums {
  long long sum = 0;
  long long samples = 0;
  int smallest = 65536;
  void Add(int v) {
    sum += v;
    ++samples;
    if (v < smallest) smallest = v;
  }
  void Merge(const LevelSums& other) {
    sum += other.sum;
    samples += other.samples;
    smallest = std::min(smallest, other.smallest);
  }
};
InitialLevelsResult LevelsFromSums(const LevelSums& sums);

// Grey value of every raw value 0..65535 under the level window: with
// scale = (max - min) * (1/255) held as a double, g = trunc((v - min) / scale)
// in extended precision, then limited to 0..255. A window of zero width is
// treated as a window of width 1 (values above min are white).
using LevelLut = std::array<std::uint8_t, 65536>;
LevelLut LevelTable(int max, int min);

// Grey picture of a raw matrix.
Picture RenderRawLevels(const IntMatrix& raw, int width, int height, int max, int min);
// Grey picture of the raw plane of a 16-bit window.
Picture RenderLevels(const RawPlane& plane, int max, int min);
// The same into `out`, whose storage is kept where its size fits (a level
// change redraws the window without taking fresh memory). Rows are shared
// between the cores.
void RenderLevelsInto(const RawPlane& plane, int max, int min, Picture& out);
// Rows y0 .. y1 - 1 of `out` (which has the plane's size) under `table`.
void RenderPlaneRows(const RawPlane& plane, const LevelLut& table, int y0, int y1, Picture& out);
// A matrix value as the plane keeps it: 0..65535 as it is; a value outside
// takes the bytes the division by 256 gives, as the byte planes the windows
// once held did (256 * byte(v / 256) + byte(v % 256)).
inline std::uint16_t RawFromInt(int v) {
  return static_cast<std::uint16_t>(256 * static_cast<std::uint8_t>(v / 256) +
                                    static_cast<std::uint8_t>(v % 256));
}
// The raw plane of a matrix of raw values (m[x][y]).
void FillRawPlane(const IntMatrix& raw, int width, int height, RawPlane& plane);
// Both at once, in one walk over the matrix: the shown picture
// (RenderRawLevels) and the plane (FillRawPlane) of a new 16-bit window.
void RenderRawWindow(const IntMatrix& raw, int width, int height, int max, int min, Picture& shown,
                     RawPlane& plane);
// The high bytes of the raw values as a picture (red = v / 256, blue and
// green 0): what the window's base picture saves as.
Picture HighBytePicture(const RawPlane& plane);

// Every channel c of the base picture: trunc(c * gain), at most 255.
Picture RenderContrast(const Picture& base, double gain);

// New maximum level after "H" (factor 0.8) or "L" (factor 1.2), or after a
// spin click (factor 1): trunc((max - min) * factor + min).
int ScaledMaxLevel(int max, int min, double factor);

enum class ZoomDirection { In, Out };
// Doubles ("+", while z < 16) or halves ("-", while z > 0.0625) the zoom
// factor; false when the limit stops the step.
bool ZoomStep(double& z, ZoomDirection direction);

// The zoom factors a window may have: the powers of two 1/16 .. 16.
constexpr double kMinZoom = 0.0625;
constexpr double kMaxZoom = 16;

// The allowed zoom nearest to z on the doubling scale (2^round(log2 z)),
// limited to 1/16 .. 16: 150 % gives 200 %, 140 % gives 100 %. z must be > 0.
double NearestZoom(double z);

// A zoom typed into the zoom box: a percentage with or without "%" and
// blanks ("200", "200.0%", " 50 % "), as the nearest allowed zoom. False
// for text that is not a positive number.
bool ParseZoomText(const std::string& text, double& z);

// "Fit to window": the largest allowed zoom at which a w x h picture fits
// in view_w x view_h; 1/16 when even that is too large.
double FitZoom(int w, int h, int view_w, int view_h);

}  // namespace qirm
