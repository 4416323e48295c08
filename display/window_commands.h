// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's own controls acting on the active window: the "H" and
// "L" buttons, the level spins, "+" and "-", and colour separation. The
// level edits' change handlers are the workspace's (document/workspace.h).
#pragma once

#include "core/status.h"
#include "display/levels.h"
#include "document/workspace.h"

namespace qirm {

// "H" and "L": colour windows change their gain by 1.1 or 1/1.1, 16-bit
// windows narrow or widen the level window (span x 0.8 or 1.2) from the
// levels in the level edits. Other kinds: an error that says so (nothing
// changes). No window: nothing.
Status ContrastUp(Workspace& ws);
Status ContrastDown(Workspace& ws);
// Their kind check alone (both refuse alike).
Status ContrastKindCheck(const ImageDocument& doc);

// A click on a spin button's arrow (direction +1 or -1): the level steps by
// the increment when the spin was at the window's level, otherwise the spin
// is only brought to it; 16-bit windows are drawn again.
enum class LevelSpin { kMaximum, kMinimum };
Status SpinClick(Workspace& ws, LevelSpin spin, int direction);

// "+" and "-": the zoom factor of the active window doubles or halves
// between 1/16 and 16; the zoom box follows. changed is false at a limit or
// without a window.
Status Zoom(Workspace& ws, ZoomDirection direction, bool& changed);

// "100%", "fit to window" and a zoom typed into the zoom box: the active
// window takes the allowed zoom nearest to z (NearestZoom) and the zoom box
// follows. changed is false when the window already had it or without a
// window.
Status SetZoom(Workspace& ws, double z, bool& changed);

// Colour separation: three grey windows "Blue", "Green", "Red" from the
// base picture of the active colour window; "Red" ends active. Without a
// window nothing happens; on a window of another kind (a 16-bit window has
// no colours) nothing is made and the error says why.
Status Separate(Workspace& ws);
// Its kind check alone.
Status SeparateKindCheck(const ImageDocument& doc);

}  // namespace qirm
