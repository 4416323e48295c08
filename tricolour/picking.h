// SPDX-License-Identifier: GPL-3.0-or-later
// "座標取得": opening frames as image windows so that the user can click the
// reference stars. The engine builds each window's document; the dialog
// selects two-star mode, shows the file dialog and makes the windows.
#pragma once

#include <string>

#include "core/status.h"
#include "document/image_document.h"
#include "document/workspace.h"

namespace qirm {

// One chosen frame as a kind "2" document: the raw values 0..65535 as its
// plane, and as the shown
// picture the grey g = trunc(50 (v - min) / (mean - min)) clamped to 0..255,
// where mean and min are taken over the grid x = 10, 14, ... < w - 10,
// y = 10, 14, ... < h - 10 (the sky maps to 50). Fields: Caption the file
// name without folders, kind 16-bit, the mean and min as the sampling's,
// size, 1 channel, zoom "1.00", not edited; the levels keep their defaults.
// main, when given, gets the zoom box at 100 % and the level edits
// trunc(mean) and min (without their change handler).
//
// A frame too small for the grid (20 pixels or less across) has no samples:
// its mean and min are those of all its pixels instead. Where mean equals min
// every pixel is shown as 0 (the division would be undefined). Unreadable
// files give the reader's error and no document.
Status OpenFrameForPicking(const std::string& path, ImageDocument& doc, MainState* main = nullptr);

}  // namespace qirm
