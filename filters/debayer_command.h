// SPDX-License-Identifier: GPL-3.0-or-later
// Debayering a window: a camera's mosaic (a 16-bit or float window with a
// colour-filter pattern) becomes a colour window of the same depth.
#pragma once

#include <string>

#include "core/status.h"
#include "document/image_document.h"
#include "mosaic/debayer.h"

namespace qirm {

struct DebayerParams {
  std::string pattern;  // RGGB, BGGR, GRBG, GBRG; empty: the window's own
  DebayerMethod method = DebayerMethod::kRcd;
};

// "debayer", "debayer=RGGB", "debayer=bilinear", "debayer=RGGB,rcd": the
// pattern, the method (rcd, the default, or bilinear) or both.
Status ParseDebayerText(const std::string& text, DebayerParams& params);

// The window's mosaic demosaiced in place: red, green and blue of its
// physical values; depth 16 where they are integers 0..65535 (a camera's
// raw values), else float. The pattern cards go, the grid and the levels
// are made anew. Refused: another kind of window, no pattern known.
Status DebayerCommand(ImageDocument& doc, const DebayerParams& params);
// The refusal DebayerCommand gives a window of another kind; Ok for 16-bit
// and float windows (which may still lack a pattern).
Status DebayerKindCheck(const ImageDocument& doc);

}  // namespace qirm
