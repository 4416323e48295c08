// SPDX-License-Identifier: GPL-3.0-or-later
// The output stage of the tri-colour composition: background flattening of
// a finished channel, sky levels, white balance, the tone curve (by default
// 200 x atan(v / 200)), the clip to 0..255 and the colour picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/matrix.h"
#include "core/picture.h"
#include "core/rgb16.h"
#include "tricolour/composition_settings.h"

namespace qirm {

// Levels the sky of one channel in place: the level of each of four regions
// (bw = w / 15 by bh = h / 15 pixels, left of centre A, right of centre B,
// top middle C, bottom middle D) is the smallest 5 x 5 window median over
// the region (from 65535.0); then m[x][y] = trunc(x gx + m[x][y] + y gy) with
// gx = (A - B) / w, gy = (C - D) / h. Windows that do not fit inside the
// frame take no part; a region without any such window keeps 65535.
void FlattenBackground(int w, int h, IntMatrix& m);
void FlattenBackgroundPlain(int w, int h, IntMatrix& m);

// The four region levels FlattenBackground uses (A, B, C, D), for tests.
void FlattenLevels(int w, int h, const IntMatrix& m, double levels[4]);

// Sky level: the mean of the 11 x 11 box around (bx, by), which must lie
// inside the frame (ClampPositions sees to it).
double SkyLevel(const IntMatrix& m, int bx, int by);

// The tone of one channel value c: v = (c - sky) / divisor * gain + level
// (sky-subtracted, white-balanced, the sky lifted to `level`); not >= 0 (or
// not a number) -> 0; then the curve f with its parameter P; trunc; then the
// clip to 0..255. Every curve thus has the same black point (v = 0 gives 0),
// the same sky (v = level) and the same white clip at 255:
//   ATAN    f(v) = P atan(v / P)                        (P > 0; default 200)
//   linear  f(v) = v                                    (white from v = 255)
//   LOG     f(v) = 255 ln(1 + P v / 255) / ln(1 + P)    (P > 0; white from v = 255)
//   γ       f(v) = 255 (v / 255)^(1 / P)                (P > 0; white from v = 255;
//                                                        P = 1 is the linear curve)
// ATAN with P = 200 is the composition's classic curve, to the byte.
struct ToneCurve {
  double sky = 0;
  double divisor = 1;
  double gain = 1;
  int level = 10;
  ToneKind kind = ToneKind::kAtan;
  double parameter = 200;
  std::uint8_t Byte(std::int32_t c) const;
  int Value(std::int32_t c) const;  // before the clip
  // The same curve on 0..65535: trunc(257 f(v)) clipped to 0..65535, so that
  // Word(c) / 257 (integer division) is always Byte(c).
  std::uint16_t Word(std::int32_t c) const;
  double Curve(std::int32_t c) const;  // f(v), before trunc and clip
};

// Empty when `parameter` suits the curve `kind`, else why not (the linear
// curve takes none; the others need a finite number above 0).
std::string ToneParameterProblem(ToneKind kind, double parameter);

// The toned bytes of a whole channel. Values of the channel's range are
// toned once each through a table when the range is small enough; the
// result equals Byte() of every pixel.
void ToneChannel(const IntMatrix& m, int w, int h, const ToneCurve& curve, std::vector<std::uint8_t>& bytes);

// Row y of the picture is image row y; pixel x holds blue, green, red from
// the three w x h byte planes (column-major, as the matrices).
Picture ChannelsToPicture(int w, int h, const std::vector<std::uint8_t>& r,
                          const std::vector<std::uint8_t>& g, const std::vector<std::uint8_t>& b);

// One channel toned into its bytes of the picture (channel 0 red, 1 green,
// 2 blue; the picture is w x h): what ChannelsToPicture makes of
// ToneChannel's bytes, without the byte plane between. Each channel's range
// is toned once into a table where it is small enough. Column parts on up
// to `threads` threads.
void ToneInto(Picture& picture, int channel, const IntMatrix& m, int w, int h, const ToneCurve& curve,
              int threads = 1);

// One channel toned into its samples of a 16-bit picture (channel 0 red,
// 1 green, 2 blue; the picture is w x h): Word() of every pixel, through a
// table over the channel's range where it is small enough.
void ToneInto16(Rgb16Picture& picture, int channel, const IntMatrix& m, int w, int h, const ToneCurve& curve);

}  // namespace qirm
