// SPDX-License-Identifier: GPL-3.0-or-later
// FITS writing: one image in the primary header and data unit, written
// through the replacing write (core/file_write.h), so a failure never leaves
// a partial file.
//
// Rows are written from y = 0, the top row of the picture, as the reader
// reads them back. Header cards are in the fixed format (values right-
// justified to column 30), so the reader's fixed columns read the size
// whatever its magnitude.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/float_plane.h"
#include "core/picture.h"
#include "core/raw_plane.h"
#include "core/status.h"

namespace qirm {

// The shortest text that reads back as v, with an upper-case exponent, as
// FITS wants it, whatever the locale ("32768", "1.5E-05").
std::string FitsRealValue(double v);

// What is written besides the pixels.
struct FitsWriteHeader {
  // Cards of the source file's header to carry over, 80 characters each
  // (shorter ones are padded with blanks). The writer leaves out the cards it
  // makes itself or that would describe the data wrongly: SIMPLE, BITPIX,
  // NAXIS, NAXISn, EXTEND, BZERO, BSCALE, BLANK, DATE, END, XTENSION,
  // GROUPS, PCOUNT, GCOUNT, INHERIT, CHECKSUM, DATASUM, and blank cards.
  // Cards that break the format's rules (a keyword with lower-case letters,
  // embedded blanks or other characters than A-Z 0-9 - _; a value that is
  // no string, logical, number or complex number) are left out too, named
  // in a HISTORY card. Other characters outside printable ASCII become '?'.
  std::vector<std::string> cards;
  // One "HISTORY " card each, after the kept cards; longer texts are cut at
  // 72 characters.
  std::vector<std::string> history;
  // The DATE value "YYYY-MM-DDThh:mm:ss"; empty: the current UTC time.
  std::string date;
  // The stored value that marks undefined pixels, written as BLANK where
  // the data are 16-bit integers under the given scaling; none: no BLANK.
  std::optional<int> blank;
};

enum class FitsEncoding {
  kScaled16,    // BITPIX 16 under the given BZERO and BSCALE
  kUnsigned16,  // BITPIX 16 under BZERO 32768, BSCALE 1
  kFloat32,     // BITPIX -32
};

// How physical values are stored: under (bzero, bscale) when each is
// bzero + bscale * s for an integer s in -32768..32767 (within a millionth
// of bscale); else under BZERO 32768 when each is an integer 0..65535; else
// as 32-bit floats.
FitsEncoding ChooseFitsEncoding(const std::vector<double>& values, double bzero, double bscale);

// A grey image of width x height physical values, row after row from y = 0,
// in the encoding ChooseFitsEncoding gives. Errors name `path`.
Status WriteFitsGrey(const std::string& path, int width, int height, const std::vector<double>& values,
                     double bzero, double bscale, const FitsWriteHeader& header);

// Raw 16-bit values (stored + 32768) as BITPIX 16 under the given BZERO and
// BSCALE, each stored value written as it is: no trip through physical
// values, which a large BZERO would round. The scaling must be usable
// (finite, BSCALE not 0); else an error.
Status WriteFitsRaw16(const std::string& path, const RawPlane& raw, double bzero, double bscale,
                      const FitsWriteHeader& header);

// Float values (a float window's) as BITPIX -32, each written exactly as it
// is, NaN included; no scaling cards, no BLANK.
Status WriteFitsFloat32(const std::string& path, const FloatPlane& plane, const FitsWriteHeader& header);

// Three planes of a colour window as a cube (NAXIS3 = 3: red, green,
// blue): BITPIX 16 under BZERO 32768 where every value is an integer
// 0..65535 and as16 asks for it, else BITPIX -32 (NaN kept), exactly.
Status WriteFitsColourCube(const std::string& path, const FloatPlane (&planes)[3], bool as16,
                           const FitsWriteHeader& header);

// A 24-bit picture as an 8-bit cube: NAXIS1 = width, NAXIS2 = height,
// NAXIS3 = 3 with the planes red, green, blue.
Status WriteFitsColour(const std::string& path, const Picture& picture, const FitsWriteHeader& header);

// Three planes of width x height values as a 32-bit float cube (BITPIX -32,
// NAXIS3 = 3 in the order given, each plane row after row from y = 0).
// Errors name `path`; planes of another size are refused.
Status WriteFitsFloatCube(const std::string& path, int width, int height,
                          const std::vector<float> (&planes)[3], const FitsWriteHeader& header);

}  // namespace qirm
