// SPDX-License-Identifier: GPL-3.0-or-later
// Resampling: a picture or a 16-bit window's raw values to a new size by a
// separable kernel, rows first, then columns, in single precision.
//
// Output pixel i of n covers source coordinates (i .. i + 1) * in / n; its
// kernel is centred on (i + 0.5) * in / n. When the picture shrinks, the
// kernel is widened by the ratio so that every source pixel contributes
// (no aliasing). Borders: taps that fall outside the picture are dropped
// and the remaining weights normalised to sum 1, so a flat picture stays
// flat up to its edges and nothing outside is invented.
//
// Kernels: nearest (the source pixel under the centre), bilinear (triangle),
// bicubic (Keys, a = -0.5), Lanczos-3, and area (each output pixel the mean
// of the source area it covers, exact fractional overlap). With flux kept,
// values are multiplied by the ratio of pixel areas, so the frame's sum
// stays the same (for photometry after a downsampling).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/picture.h"
#include "core/status.h"
#include "document/image_document.h"
#include "document/workspace.h"

namespace qirm {

enum class ResampleMethod { kNearest, kBilinear, kBicubic, kLanczos3, kArea };

inline constexpr int kMaxResampleSide = 32768;
inline constexpr const char* kResampleSizeRefused = "大きさは 1 から 32768 までの整数を入力してください";
inline constexpr const char* kResampleMethodRefused =
    "方式は nearest, bilinear, bicubic, lanczos3, area のいずれかです";

struct ResampleParams {
  int width = 0;  // the new size
  int height = 0;
  ResampleMethod method = ResampleMethod::kLanczos3;
  bool keep_flux = false;
};

// The method's name as qirm-cli writes it, and back.
std::string ResampleMethodName(ResampleMethod method);
bool ParseResampleMethod(const std::string& name, ResampleMethod& method);

// qirm-cli's resample=FACTOR[,METHOD] or resample=WxH[,METHOD] for a
// picture of width x height (a factor scales both sides, rounded, at least
// 1). Errors: the messages above, ResampleFactorRefusal for a factor.
Status ParseResampleText(const std::string& text, int width, int height, ResampleParams& params);

// The largest factor a width x height picture takes (its longer side then
// becomes at most kMaxResampleSide), truncated to 3 decimals, and the
// refusal of a factor beyond the range, which states it:
// "倍率は 0 より大きく 64 以下の数を入力してください（新しい大きさは 32768 まで）".
double MaxResampleFactor(int width, int height);
std::string ResampleFactorRefusal(int width, int height);

// The new side for a factor: round(side * factor), at least 1; false when
// the factor is not above 0 or the side would exceed kMaxResampleSide.
bool ScaledSide(int side, double factor, int& out);

// One plane: `src` at pixel (0, 0) with `src_step` elements between
// neighbours and `src_row` between rows; the same for `dst`. Values are
// rounded and limited to 0..max_value.
template <class T>
void ResamplePlane(const T* src, int sw, int sh, std::ptrdiff_t src_step, std::ptrdiff_t src_row, T* dst,
                   int dw, int dh, std::ptrdiff_t dst_step, std::ptrdiff_t dst_row,
                   const ResampleParams& params, int max_value);

// A 24-bit picture, each channel alone.
Picture ResamplePicture(const Picture& src, const ResampleParams& params);
// Raw 16-bit values, row after row.
std::vector<std::uint16_t> ResampleRaw(const std::vector<std::uint16_t>& raw, int width, int height,
                                       const ResampleParams& params);

// The values of a float window: not rounded, not limited.
FloatPlane ResampleFloat(const FloatPlane& plane, const ResampleParams& params);

// The caption of the window a resampling makes.
inline constexpr const char* kResampleCaption = "Resample";

// The command: the window's picture (a colour window's base, a 16-bit
// window's raw values, FITS scaling and header kept) resampled into `out`,
// a new document with the source's state, unsaved, captioned
// kResampleCaption; or, with `out` the source itself, in place (the
// replacing form).
// Errors: the window's kind, a size outside 1..32768.
Status ResampleCommand(const ImageDocument& src, const ResampleParams& params, ImageDocument& out);
// Its kind check alone: colour, 16-bit and float windows.
Status ResampleKindCheck(const ImageDocument& doc);

// The form that makes a new window: the active window resampled into a new
// window, last in order and active; the level edits show its levels.
// Without an active window nothing happens.
Status ResampleToNewWindow(Workspace& ws, const ResampleParams& params);

}  // namespace qirm
