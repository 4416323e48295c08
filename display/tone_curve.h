// SPDX-License-Identifier: GPL-3.0-or-later
// The tone curve: control points joined by a monotone cubic (Fritsch and
// Carlson's slopes, so the curve never overshoots between points and rises
// wherever the points rise), turned into a table over every value the
// window holds and applied to a 16-bit window's raw values or to a colour
// picture's channels (all or one).
//
// Points are in the window's values: 0..255 for colour pictures, raw
// 0..65535 for 16-bit windows. Before the first point and after the last
// the curve goes on with slope 1 (limited to the value range), so values
// outside the part a curve was drawn for keep their order and distances.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/status.h"
#include "document/image_document.h"

namespace qirm {

struct CurvePoint {
  double x = 0;
  double y = 0;
};

// Which channels of a colour picture the curve changes.
enum class CurveChannel { kAll, kRed, kGreen, kBlue };

struct ToneCurveParams {
  std::vector<CurvePoint> points;
  CurveChannel channel = CurveChannel::kAll;
};

inline constexpr const char* kCurvePointsRefused =
    "点は X:Y の形で 2 つ以上、X の小さい順 (同じ X は不可) に入力してください";
inline constexpr const char* kCurveRangeRefused = "点の値が画像の値の範囲を超えています";
inline constexpr const char* kCurveChannelRefused = "16ビットの画像には色の指定は使えません";

// qirm-cli's curve=X1:Y1,X2:Y2,...[,r|g|b]. Errors: kCurvePointsRefused.
Status ParseCurveText(const std::string& text, ToneCurveParams& params);
// The same text for params (the HISTORY line and the dialog's edit).
std::string CurveText(const ToneCurveParams& params);

// The curve at x for points with strictly increasing x (at least 2).
class MonotoneCurve {
 public:
  explicit MonotoneCurve(const std::vector<CurvePoint>& points);
  double operator()(double x) const;

 private:
  std::vector<CurvePoint> m_points;
  std::vector<double> m_slopes;
};

// The table of the curve over 0..max_value, rounded and limited.
std::vector<std::uint16_t> CurveTable(const std::vector<CurvePoint>& points, int max_value);

// Presets over the value range lo..hi (the display levels of a 16-bit
// window, 0..255 for colour): identity, a gentle S, gamma (y = t^(1/g)) and
// the asinh stretch y = asinh(k t) / asinh(k), each from (lo, lo) to (hi, hi).
enum class CurvePreset { kIdentity, kSCurve, kGamma, kAsinh };
std::vector<CurvePoint> PresetCurve(CurvePreset preset, double lo, double hi, double strength);

// Checks params against the window: points in the value range, a channel
// only for colour pictures. Then maps the values (a 16-bit window's raw
// values, a colour window's base picture, the shown picture after it).
// Errors: the window's kind, the messages above.
Status ToneCurveCommand(ImageDocument& doc, const ToneCurveParams& params);
// Its kind check alone: colour and 16-bit windows.
Status ToneCurveKindCheck(const ImageDocument& doc);

}  // namespace qirm
