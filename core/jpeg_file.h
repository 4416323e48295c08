// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG files through libjpeg: decoding into a Picture and encoding one.
//
// Decoding takes colour (YCbCr, RGB) and grey files (grey gives blue = green
// = red); CMYK and YCCK files are converted to RGB (inverted values when the
// file carries an Adobe marker, as the writers of such files store them).
// libjpeg's fatal errors come back as an error Status ("PATH: Not a JPEG file:
// starts with 0x.. 0x.."), never as an exit of the process, and nothing is
// printed.
//
// Damaged data that libjpeg can still decode, above all a file cut short, is
// decoded with warnings: libjpeg fills what is missing (mid-grey for a cut in
// the scan) and the picture is returned with an Ok status, since a partial
// picture is more use to the user than a refusal. The first warning text is
// handed back through `warning` when the caller asks for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/picture.h"
#include "core/status.h"

namespace qirm {

// Decodes the JPEG data in data[0..size); `name` prefixes error messages.
// On error `picture` is empty. `warning` (optional) gets the first warning
// libjpeg gave, or "" when there was none.
Status DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name, Picture& picture,
                  std::string* warning = nullptr);

// Reads and decodes the file at `path`.
Status ReadJpegFile(const std::string& path, Picture& picture, std::string* warning = nullptr);

// Baseline colour JPEG (3 components, YCbCr 4:2:0, not progressive) of
// `picture` at `quality` 1..100 (values outside are clamped). Fails for an
// empty picture or a side over 65500.
Status EncodeJpeg(const Picture& picture, int quality, std::vector<std::uint8_t>& bytes);

}  // namespace qirm
