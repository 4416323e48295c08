// SPDX-License-Identifier: GPL-3.0-or-later
// Result windows that belong to the main window (the photometry results,
// the trail's light curve): tool windows, kept above the main window and
// going with it, that first show beside it on its screen instead of where
// the window manager happens to put a new window (the screen's corner).
#pragma once

class QWidget;

// Where `window` (not yet shown) goes first: right of `owner`, else left of
// it, else below it, else over its lower right part; always on the
// owner's screen.
void PlaceBeside(QWidget* window, const QWidget* owner);
