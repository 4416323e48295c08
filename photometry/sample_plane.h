// SPDX-License-Identifier: GPL-3.0-or-later
// The values photometry measures: one plane of a window's pixels as reals,
// in the units the cursor readout shows them. A 16-bit window gives its
// physical values (BZERO + BSCALE x stored); a colour or Netpbm window one
// channel (0..255) of its shown picture.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/status.h"
#include "document/image_document.h"

namespace qirm {

// The channel measured in a colour window. Green is the default, as the
// star width measures green; a 16-bit window has one plane and ignores it.
enum class PhotometryChannel { kRed, kGreen, kBlue };

struct SamplePlane {
  int width = 0;
  int height = 0;
  std::vector<double> values;  // row after row, y = 0 first

  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  double At(int x, int y) const {
    return values[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

// The plane of a window; an error for a window nothing has been put in.
Status SamplePlaneOf(const ImageDocument& doc, PhotometryChannel channel, SamplePlane& plane);

// The part x0 <= x < x0 + w, y0 <= y < y0 + h of the window's plane, cut to
// the picture; origin_x, origin_y get where it starts (the plane's pixel
// (0, 0) is the window's (origin_x, origin_y)). An error when nothing of the
// rectangle lies on the picture, or when the machine cannot hold the part
// (CheckMemoryFor at 8 bytes a pixel, for a part over 1 MiB).
Status SamplePlaneOf(const ImageDocument& doc, PhotometryChannel channel, int x0, int y0, int w, int h,
                     SamplePlane& plane, int& origin_x, int& origin_y);

// The text of a header card holding a quoted string (DATE-OBS, OBJECT), its
// trailing blanks dropped; "" when there is none.
std::string HeaderString(const std::vector<std::string>& cards, const char* key);

// Gain (electrons per unit of the measured values) and read noise
// (electrons) as the header states them: GAIN, else EGAIN; RDNOISE, else
// READNOIS. Unset where the header has no such card or its value is not a
// positive number (a read noise of 0 is allowed).
struct HeaderNoise {
  std::optional<double> gain;
  std::optional<double> read_noise;
};
HeaderNoise NoiseFromHeader(const std::vector<std::string>& cards);

// The short name of a channel as tables show it: "R", "G", "B"; "" for a
// 16-bit window.
std::string ChannelName(const ImageDocument& doc, PhotometryChannel channel);

}  // namespace qirm
