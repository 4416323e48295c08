// SPDX-License-Identifier: GPL-3.0-or-later
// PNG writing through libpng: RGB, 8 or 16 bits per channel, no interlace,
// deflate at zlib level 3 with each row's filter chosen by libpng's adaptive
// heuristic (smallest sum of absolute filtered bytes), IDAT chunks of at
// most 256 KiB. Reading: core/png_reader.h.
#pragma once

#include <cstdint>
#include <vector>

#include "core/picture.h"
#include "core/rgb16.h"
#include "core/status.h"

namespace qirm {

// The bytes of an 8-bit RGB PNG file of `picture`. Fails for an empty
// picture or when libpng reports an error.
Status EncodePng(const Picture& picture, std::vector<std::uint8_t>& bytes);

// The bytes of a 16-bit RGB PNG file of `picture` (samples stored big-endian
// as PNG wants). Fails for an empty picture or when libpng reports an error.
Status EncodePng16(const Rgb16Picture& picture, std::vector<std::uint8_t>& bytes);

}  // namespace qirm
