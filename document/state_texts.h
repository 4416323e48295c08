// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of a window's state and of the main window's controls, made in
// one place: the desktop program shows them and `qirm-cli --state` prints
// them, both from these functions.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "document/image_document.h"
#include "document/workspace.h"

namespace qirm {

std::string KindText(WindowKind kind);                 // "", "1", ... "5"
std::string ZoomFactorText(const ImageDocument& doc);  // "1.00", then "2", "0.5", ...
std::string GainText(const ImageDocument& doc);        // "1.0", then "1.1", ...
std::string MeanText(const ImageDocument& doc);        // 15 significant digits, " " while unset
std::string EditedText(const ImageDocument& doc);      // "0", "1", "" while unset
// A pixel value or level of the window as the user reads it: the physical
// value of raw value `raw` under the window's FITS scaling. Integral values as
// "%d" (so camera frames show their raw values unchanged); others with the
// fewest decimals that give the value exactly, at least as many as tell two
// neighbouring raw values apart (BSCALE 0.05: 2, "1500.05").
std::string PhysicalText(const ImageDocument& doc, double raw);
// A float window's value: the shortest text that reads back as the same
// float, "NaN" for an undefined pixel; locale-independent.
std::string FloatText(float v);
// The zoom box: "%2.1lf%" of the percentage, "" before any window was shown.
std::string ZoomPercentText(const MainState& main);

// The lines `qirm-cli run --state` prints, KEY and value, in their order:
// the window's Caption, FilterI, DemX, DemY, ColN, ZomN, UndoFlg, Contrast,
// Average, Minimum, MAX, MIN (the last four physical values), then the main window's Edit1, Edit2, Edit3.
std::vector<std::pair<std::string, std::string>> StateLines(const ImageDocument& doc, const MainState& main);

}  // namespace qirm
