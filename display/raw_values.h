// The raw values of a 16-bit window (kind 2), read from and written back to
// its two byte planes, for the commands that work on the values themselves
// rather than on one plane.
#pragma once

#include <cstdint>
#include <vector>

#include "core/status.h"
#include "document/image_document.h"

namespace qirm {

// The raw values of a 16-bit window, row after row, read from its two
// planes. Errors: the planes differ in size (`command` names the command).
Status ReadRawValues(const ImageDocument& doc, const char* command, std::vector<std::uint16_t>& raw);

// Both planes from new raw values of the planes' size (red = high or low
// byte, blue and green 0), and the shown picture under the window's levels,
// as RenderLevels draws it; into the pictures' own storage.
void StoreRawValues(ImageDocument& doc, const std::vector<std::uint16_t>& values);

// The same for values of another size (a resampled window): the pictures
// and the recorded size take the new width x height.
void StoreResizedRawValues(ImageDocument& doc, const std::vector<std::uint16_t>& values, int width,
                           int height);

// Draws a result at (0, 0). A target of the result's size (or none yet)
// simply takes it over.
void DrawAt00(Picture& target, Picture result);

}  // namespace qirm
