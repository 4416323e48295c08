// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF reading through libtiff into a SampleImage, samples as the file has
// them: the first image of the file, grey (1 channel) or RGB (3 channels),
// 8 or 16 bits unsigned or 32-bit IEEE float per sample, in strips or tiles,
// samples interleaved (contiguous) or in planes of their own (separate),
// any compression this libtiff decodes. Extra samples (alpha) are dropped.
// Orientations 1 to 4 (a mirrored or flipped picture) are put upright.
//
// Refused with "NAME: reason", one line, before anything of the claimed
// size is allocated: a size beyond the limits of core/file_bytes.h; data
// the file cannot hold (uncompressed strips or tiles mostly absent, or more
// than kMaxTiffDecodedBytesPerFileByte bytes to decode per byte of file);
// too little memory (SampleImageBytesPerPixel, CheckMemoryFor); another
// photometric interpretation (palette, white-is-zero, CMYK, YCbCr, colour
// filter array, ...), sample depth or sample format (signed integers,
// 16-bit or 64-bit float); a transposed orientation (5 to 8); and whatever
// libtiff reports while decoding (its message, never on stderr).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/sample_image.h"
#include "core/status.h"

namespace qirm {

// Deflate expands a byte into at most 1032, LZW into at most about 2700: a
// file that would decode into more than this many bytes per byte it holds is
// cut short or made to cost memory.
inline constexpr std::uint64_t kMaxTiffDecodedBytesPerFileByte = 4096;

// Decodes the TIFF file held in data[0..size). `name` prefixes error
// messages. On error `image` is left empty.
Status DecodeTiff(const std::uint8_t* data, std::size_t size, const std::string& name, SampleImage& image);

// Reads and decodes the file at `path` (errors name the path).
Status ReadTiffFile(const std::string& path, SampleImage& image);

}  // namespace qirm
