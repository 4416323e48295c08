// SPDX-License-Identifier: GPL-3.0-or-later
// Camera raw files (and DNG) through LibRaw: the colour-filter mosaic as
// the sensor stored it, for astronomy, where calibration (darks, flats,
// bias) works on the raw counts.
//
// The image is one 16-bit plane: the visible area of the sensor (LibRaw's
// raw_image within its margins), in the sensor's orientation (the camera's
// rotation flag is not applied), rows from the top. Nothing is done to the
// values: no black subtraction, no scaling, no white balance, no
// demosaicing. Only Bayer mosaics of 2 x 2 red, green, green, blue are read.
//
// Header cards (core/sample_image.h), where the file tells them:
//   BAYERPAT  'RGGB', 'BGGR', 'GRBG' or 'GBRG': the filters of the first two
//             rows' first two pixels, from the visible area's origin
//   XBAYROFF, YBAYROFF  0 (the pattern is given from the origin)
//   ROWORDER  'TOP-DOWN'
//   INSTRUME  make and model ('Maker Model')
//   EXPTIME   exposure in seconds
//   ISOSPEED  ISO speed
//   DATE-OBS  'YYYY-MM-DDThh:mm:ss' in UTC: the camera's clock, which LibRaw
//             takes as this machine's local time
//   FOCALLEN  focal length in millimetres
//   BLACKLVL  black level (the common level plus the mean of the
//             per-colour ones)
//   WHITELVL  saturation level
//   MULT_R, MULT_G, MULT_B  the camera's white balance multipliers
//             (as shot), green = 1
//
// Refused with "NAME: reason", one line: what LibRaw cannot read (its
// message), a size beyond the limits of core/file_bytes.h, a mosaic that
// is not a 2 x 2 Bayer pattern (X-Trans, Foveon, linear DNG, four-colour
// sensors, rotated Super CCD), a file far too small for the size it claims
// (CheckCompressedSize) and too little memory, before the sensor's data are
// unpacked. LibRaw's reports of damaged data never reach stderr; a file
// whose data LibRaw found damaged is refused with the first report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/sample_image.h"
#include "core/status.h"

namespace qirm {

// Decodes the raw file held in data[0..size). `name` prefixes error
// messages. On error `image` is left empty.
Status DecodeRaw(const std::uint8_t* data, std::size_t size, const std::string& name, SampleImage& image);

// Reads and decodes the file at `path` (errors name the path).
Status ReadRawFile(const std::string& path, SampleImage& image);

}  // namespace qirm
