// SPDX-License-Identifier: GPL-3.0-or-later
// A decoded image of any depth, as a file reader hands it over: width x
// height pixels of 1 (grey or a colour-filter mosaic) or 3 (red, green,
// blue) channels, each sample 8-bit, 16-bit or 32-bit float.
//
// Storage is planar: channel after channel, each plane row after row from
// the top, rows packed (stride = width). A plane is what astronomy code
// works on (one filter, one mosaic), and a plane view hands it to any
// kernel without a copy. Samples are kept as the file has them: no scaling,
// no black subtraction, no gamma.
//
// Header cards carry the file's metadata in FITS form (80 characters each,
// "KEYWORD = value / comment"), so that a FITS writer can keep them and the
// window can show them: a camera raw file's BAYERPAT, EXPTIME, ISOSPEED,
// DATE-OBS and so on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/plane_view.h"
#include "core/status.h"
#include "core/unfilled_allocator.h"

namespace qirm {

class SampleImage {
 public:
  SampleImage() = default;

  // Makes the image width x height with `channels` planes (1 or 3) of
  // `type` (kU8, kU16 or kF32); the samples are left as they come (the
  // caller writes every one next). Refused without changing the image: a
  // size beyond the limits of core/file_bytes.h, another channel count or
  // type, or storage that cannot be had ("not enough memory for ...").
  Status Allocate(int width, int height, int channels, SampleType type);
  // Empty again, storage freed; the cards are kept.
  void Clear();

  int width() const { return m_width; }
  int height() const { return m_height; }
  int channels() const { return m_channels; }
  SampleType type() const { return m_type; }
  bool empty() const { return m_width <= 0 || m_height <= 0 || m_channels <= 0; }
  std::size_t pixels() const {
    return static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height);
  }

  // Channel c (0 .. channels() - 1): red, green, blue in that order.
  PlaneView plane(int c);
  ConstPlaneView plane(int c) const;
  // Row y of channel c; T must match type().
  template <class T>
  T* Row(int c, int y) {
    return plane(c).Row<T>(y);
  }
  template <class T>
  const T* Row(int c, int y) const {
    return plane(c).Row<T>(y);
  }

  // Header cards, 80 characters each (see FitsCard below).
  std::vector<std::string> cards;
  // The value of the first card named `keyword` (a string without its
  // quotes and trailing blanks, a number as written), or false.
  bool FindCard(const std::string& keyword, std::string& value) const;

 private:
  int m_width = 0;
  int m_height = 0;
  int m_channels = 0;
  SampleType m_type = SampleType::kU8;
  std::vector<std::uint8_t, UnfilledAllocator<std::uint8_t>> m_bytes;
};

// Memory an opened image takes per pixel, for CheckMemoryFor before a reader
// allocates: its samples twice (the image and the window's copy made from
// it) and the shown 24-bit picture with room for a command's working copy.
int SampleImageBytesPerPixel(int channels, SampleType type);

// One 80-character header card: KEYWORD (upper case, padded to 8), "= ",
// the value (numbers right-justified to column 30, strings from column 11),
// then " / comment" where room is left. Cut at 80 characters.
std::string FitsCard(const std::string& keyword, const std::string& value, const std::string& comment = "");
// A value text for FitsCard: a quoted string (quotes doubled, at least 8
// characters inside the quotes, characters outside printable ASCII as '?'),
// an integer, a real (shortest text that reads back, as FitsRealValue of
// core/fits_writer.h writes it).
std::string FitsStringValue(const std::string& text);
std::string FitsIntegerValue(long long value);

}  // namespace qirm
