// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF writing through libtiff: one RGB image, 8 or 16 bits per channel,
// chunky samples, deflate with the horizontal predictor, strips of about
// 256 KiB. Reading: core/tiff_reader.h.
#pragma once

#include <cstdint>
#include <vector>

#include "core/picture.h"
#include "core/rgb16.h"
#include "core/status.h"

namespace qirm {

// The bytes of an 8-bit RGB TIFF file of `picture`. Fails for an empty
// picture or when libtiff reports an error.
Status EncodeTiff(const Picture& picture, std::vector<std::uint8_t>& bytes);

// The bytes of a 16-bit RGB TIFF file of `picture`. Fails for an empty
// picture or when libtiff reports an error.
Status EncodeTiff16(const Rgb16Picture& picture, std::vector<std::uint8_t>& bytes);

}  // namespace qirm
