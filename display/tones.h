// SPDX-License-Identifier: GPL-3.0-or-later
// Tone operations on 24-bit pictures: each returns a new picture of the same
// size and treats the three bytes of a pixel alike. Every real-to-integer
// conversion truncates toward zero.
//
// The per-byte maps are lookup tables of 256 entries computed with the exact
// arithmetic below; the pictures are processed row by row on both cores.
#pragma once

#include <array>
#include <cstdint>

#include "core/picture.h"

namespace qirm {

using ToneTable = std::array<std::uint8_t, 256>;

// Every byte c through table[c].
Picture ApplyToneTable(const Picture& source, const ToneTable& table);
// The same into out, which takes the source's size (a picture of that size
// is reused without new memory); out may be the source itself.
void ApplyToneTable(const Picture& source, const ToneTable& table, Picture& out);

// Negative: 255 - c.
ToneTable NegativeTable();
Picture NegativePicture(const Picture& source);

// Gamma: x = c * (1/255) kept as a double, new = trunc(pow(x, gamma) * 255).
// Defined for gamma > 0; the command refuses other values, and a table
// asked for one anyway maps every byte to itself.
ToneTable GammaTable(double gamma);
Picture GammaPicture(const Picture& source, double gamma);

// Sabattier: q = c * 256 / step kept as a double, new = trunc(fmod(q, 256)):
// the tone scale rises with slope 256 / step and falls back to 0 each time it
// reaches 256. Defined for step > 0; for a step of 0 or less, or where q is
// not finite (a vanishingly small step), the byte keeps its value.
ToneTable SabattierTable(double step);
Picture SabattierPicture(const Picture& source, double step);

// Solarization: each channel is correlated with the vertical kernel
// (5 above, 5 itself, -4 below) / 6, exactly as Convolve does with that
// kernel (every partial sum a double formed in extended precision, taps
// outside the picture dropped without rescaling, truncation, negatives to 0),
// then clamped to 0..255 as ClipMatrix does. Every channel uses the same
// normalised weights 5/6, 5/6, -4/6.
//   inside: trunc((5 P(x, y-1) + 5 P(x, y) - 4 P(x, y+1)) / 6), with the
//   rounding of those sums;
//   top row (nothing above) and bottom row (nothing below): the remaining
//   taps only, so a uniform tone v gives trunc(v/6) on top and
//   min(255, trunc(10 v / 6)) at the bottom.
// Inside rows are computed eight bytes at a time at CpuLevel::kAvx2 and
// above; SolarizePictureScalar is the same computation without
// that path (tests compare the two).
Picture SolarizePicture(const Picture& source);
Picture SolarizePictureScalar(const Picture& source);
// Into out as ApplyToneTable does, but out must not be the source.
void SolarizeInto(const Picture& source, Picture& out);

}  // namespace qirm
