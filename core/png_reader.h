// SPDX-License-Identifier: GPL-3.0-or-later
// PNG reading through libpng into a SampleImage: grey and grey with alpha
// give 1 channel, RGB, RGB with alpha and palette colour (expanded) 3;
// 16-bit files give 16-bit samples, all others 8-bit (grey of 1, 2 or 4
// bits scaled to 0..255, as libpng expands it). Alpha, a transparent colour
// (tRNS), gamma and colour profiles are not applied: the samples are the
// file's. Interlaced files are read too.
//
// Refused with "NAME: reason", one line, before the picture is allocated:
// not a PNG file; a size beyond the limits of core/file_bytes.h; more than
// kMaxPngDecodedBytesPerFileByte bytes to decode per byte of file; too
// little memory (SampleImageBytesPerPixel, CheckMemoryFor). Then a file cut
// short or damaged (bad CRC of a critical chunk, bad deflate data) gives
// libpng's message; libpng never prints and never ends the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/sample_image.h"
#include "core/status.h"

namespace qirm {

// Deflate expands one byte into at most 1032: more than this from a file
// means that it is cut short or made to cost memory.
inline constexpr std::uint64_t kMaxPngDecodedBytesPerFileByte = 1100;

// Decodes the PNG file held in data[0..size). `name` prefixes error
// messages. On error `image` is left empty.
Status DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name, SampleImage& image);

// Reads and decodes the file at `path` (errors name the path).
Status ReadPngFile(const std::string& path, SampleImage& image);

}  // namespace qirm
