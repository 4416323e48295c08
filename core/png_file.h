// PNG writing: 8-bit RGB, no interlace, deflate (zlib level 3) with each row's
// filter chosen by the usual heuristic (smallest sum of absolute filtered
// bytes), IDAT chunks of at most 256 KiB. There is no PNG reader.
#pragma once

#include <cstdint>
#include <vector>

#include "core/picture.h"
#include "core/status.h"

namespace qirm {

// The bytes of a PNG file of `picture`. Fails for an empty picture or when
// zlib reports an error.
Status EncodePng(const Picture& picture, std::vector<std::uint8_t>& bytes);

}  // namespace qirm
