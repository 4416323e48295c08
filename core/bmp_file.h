// SPDX-License-Identifier: GPL-3.0-or-later
// BMP files: reading every common variant into a Picture, writing 24-bit.
//
// Read: file header "BM", then one of the info headers
//   12 bytes (OS/2 1.x core header, 16-bit sizes, 3-byte palette entries),
//   16 or 64 bytes (OS/2 2.x), 40 (Windows 3.x), 52, 56, 108 (v4), 124 (v5);
// depths 1, 4 and 8 with a palette (size from the colours-used field, else
// 2^depth; an index beyond the palette is black), 16 (5-5-5 unless masks are
// given), 24, 32 (blue, green, red, unused unless masks are given); colour
// masks from BI_BITFIELDS / BI_ALPHABITFIELDS (after a 40-byte header or
// inside the larger ones); RLE8 and RLE4 compression, where pixels that the
// data skip (end of line, delta, end of bitmap) take palette entry 0; rows
// bottom-up (positive height) or top-down (negative height), each padded to
// 4 bytes (the padding of the last row may be missing). Alpha is dropped:
// pictures have none. A channel mask narrower than 8 bits is widened with
// rounding (5-bit 31 -> 255, 16 -> 132).
//
// Refused with "PATH: reason": not a BMP file, truncated header, colour
// table or pixel data, unsupported header size, depth or compression
// (compression 4 is JPEG in BMP, 5 PNG in BMP), bad or non-contiguous colour
// masks, top-down RLE, a size of 0 or beyond the limits of core/file_bytes.h.
//
// Write: 24-bit BI_RGB, 40-byte header, bottom-up, rows padded to 4 bytes,
// 2835 pixels per metre (72 dpi).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/picture.h"
#include "core/status.h"

namespace qirm {

// Decodes the BMP file held in data[0..size). `name` prefixes error messages.
// On error `picture` is left empty.
Status DecodeBmp(const std::uint8_t* data, std::size_t size, const std::string& name, Picture& picture);

// Reads and decodes the file at `path`.
Status ReadBmpFile(const std::string& path, Picture& picture);

// The bytes of a 24-bit BMP file of `picture`. Fails for an empty picture or
// one whose file would pass 4 GiB.
Status EncodeBmp(const Picture& picture, std::vector<std::uint8_t>& bytes);

// The 54 bytes before the pixels of that file for a width x height picture,
// and the length of one padded row; for writers that send the rows
// themselves. False when the file would pass 4 GiB or the size is empty.
bool BmpHeader(int width, int height, std::vector<std::uint8_t>& header, std::size_t& row_bytes);

}  // namespace qirm
