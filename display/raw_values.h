// SPDX-License-Identifier: GPL-3.0-or-later
// The raw values of a 16-bit window (kind 2), copied out of its plane and
// written back to it, for the commands that compute new values from the old
// ones.
#pragma once

#include <cstdint>
#include <vector>

#include "core/status.h"
#include "document/image_document.h"

namespace qirm {

// Errors: the plane of a 16-bit window holds fewer or more values than its
// size (`command` names the command).
Status CheckRawPlane(const ImageDocument& doc, const char* command);

// The raw values of a 16-bit window, row after row, copied from its plane.
// Errors: the plane holds fewer or more values than its size (`command`
// names the command).
Status ReadRawValues(const ImageDocument& doc, const char* command, std::vector<std::uint16_t>& raw);

// The plane from new raw values of its size, and the shown picture under
// the window's levels, as RenderLevels draws it; into their own storage.
void StoreRawValues(ImageDocument& doc, const std::vector<std::uint16_t>& values);

// The same for values of another size (a resampled window): the shown
// picture, the plane and the recorded size take the new width x height.
void StoreResizedRawValues(ImageDocument& doc, const std::vector<std::uint16_t>& values, int width,
                           int height);

// The same for a whole new plane, of the window's size or another: it
// replaces the window's plane without a copy.
void StoreRawPlane(ImageDocument& doc, RawPlane plane);

// Draws a result at (0, 0). A target of the result's size (or none yet)
// simply takes it over.
void DrawAt00(Picture& target, Picture result);

}  // namespace qirm
