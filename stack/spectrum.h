// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrum tracing: the brightness profile of a spectrum dispersed along the
// picture's x axis. For every column the red channel is averaged over the
// rows; the profile goes to the spectrum data file and is drawn as a red line
// on the plot picture of the plot window.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/picture.h"
#include "core/status.h"
#include "document/image_document.h"

namespace qirm {

// The plot area (the plot window's Image1).
inline constexpr int kPlotWidth = 513;
inline constexpr int kPlotHeight = 393;
// Range of the plot window's spin buttons.
inline constexpr int kSpectrumSpinMax = 8000;

inline constexpr std::uint32_t kPenBlack = 0x000000;
inline constexpr std::uint32_t kPenRed = 0x0000FF;  // colours are B * 65536 + G * 256 + R

// First line of the data file, trailing blank included.
inline constexpr const char* kSpectrumHeader = "# MERAVI-2 Spectrum Data ";

// The range a trace reads, as the plot window's range edits show it:
// columns x_begin .. x_end - 1 and rows y_begin .. y_end - 1. Each edit has a
// spin button whose position is the value kept within 0 .. 8000.
struct SpectrumRange {
  int x_begin = 0;
  int x_end = 0;
  int y_begin = 0;
  int y_end = 0;
};
inline int SpectrumSpinPosition(int value) { return std::clamp(value, 0, kSpectrumSpinMax); }

// A range edit's change handler: the matching spin button's position becomes
// the edit's text as an integer, kept within 0 .. 8000. Text that is not an
// integer (an emptied edit too) gives the conversion error.
Status SpinPositionFromEdit(const std::string& text, int& position);

// A pen line as the toolkit draws one: every pixel from (x0, y0) up to but
// not including (x1, y1) (Bresenham steps); pixels outside the picture are
// dropped, so lines may start or end outside it.
void DrawPenLine(Picture& picture, int x0, int y0, int x1, int y1, std::uint32_t color);

// The black frame around the plot area: (0, 0) to (FW-1, 0) to (FW-1, FH-1)
// to (0, FH-1) and back to (0, 0). The inside is left as it is, so earlier
// profiles stay visible.
void DrawPlotFrame(Picture& plot);

// mean(x) for x = x0 .. x1-1: the sum of the red bytes of rows y0 .. y1-1 of
// column x over (y1 - y0), divided in extended precision and kept as a
// double. The range must lie inside the picture; y1 > y0.
std::vector<double> ColumnProfile(const Picture& source, int x0, int x1, int y0, int y1);

// A profile value as the data file writes it: the stream's default notation,
// six significant digits without trailing zeros ("127.5", "100", "12.3457",
// "1e-05"), always with a point as the decimal sign.
std::string FormatSpectrumValue(double value);

// The whole data file: the header line, then one line "x value" per column
// x = x0, x0 + 1, ...; every line ends with "\n".
std::string SpectrumDataText(const std::vector<double>& profile, int x0);

// Draws the profile in red from the previous point (0, FH): column x lands at
// px = trunc((x - x0) / (x1 - x0) * FW), py = trunc((1 - mean / 255) * FH) in
// extended precision; a segment is drawn only to a point inside the plot
// area, but every point starts the next segment.
void DrawProfile(Picture& plot, const std::vector<double>& profile, int x0, int x1);

// The spectrum data file's fixed place: $HOME/data/SPN (the password entry's
// home folder when HOME is unset or empty; "" when there is none).
std::string SpectrumDataPath();

// Replaces the data file at `path` with `text` so that a failed write leaves
// the old file whole. With create_folder the missing folders above `path` are
// made first. Errors name the path and the reason.
Status WriteSpectrumData(const std::string& path, const std::string& text, bool create_folder);

// The spectrum command once its plot window is shown. Draws the frame; with
// an active window (`active` not null) it then traces the whole picture
// (`range` becomes 0, W, 0, H, for the range controls to show), draws the
// profile and writes the data file to `data_path` (creating its folder when
// create_folder). Without an active window `range` stays unset and the
// controls keep what they show. The plot is drawn whether or not the file
// could be written; `file_status` tells which (Ok when there was nothing to
// write).
void TraceSpectrum(ImageDocument* active, Picture& plot, std::optional<SpectrumRange>& range,
                   const std::string& data_path, bool create_folder, Status& file_status);

}  // namespace qirm
