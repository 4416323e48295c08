// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/debayer_command.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "core/plane_view.h"
#include "display/float_levels.h"
#include "document/kind_refusal.h"
#include "mosaic/bayer_pattern.h"

namespace qirm {
namespace {

constexpr const char* kName = "デベイヤー";

bool PatternCard(const std::string& card) {
  const std::string key = card.substr(0, std::min<std::size_t>(8, card.size()));
  return key == "BAYERPAT" || key == "XBAYROFF" || key == "YBAYROFF";
}

}  // namespace

Status ParseDebayerText(const std::string& text, DebayerParams& params) {
  params = DebayerParams();
  std::size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const std::size_t comma = text.find(',', start);
    const std::string word =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    BayerPattern pattern;
    if (ParseBayerPattern(word, pattern))
      params.pattern = BayerPatternName(pattern);
    else if (!ParseDebayerMethod(word, params.method))
      return Status::Error(kName + std::string(": ") + word +
                           " はパターン (RGGB, BGGR, GRBG, GBRG) でも方式 (rcd, bilinear) でもありません。");
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return Status::Ok();
}

Status DebayerKindCheck(const ImageDocument& doc) {
  if (doc.kind == WindowKind::kRaw16 || doc.kind == WindowKind::kFloat) return Status::Ok();
  return KindRefused(kName, doc.kind, "カメラのモザイク (16ビットか浮動小数点の画像) にだけ使えます。");
}

Status DebayerCommand(ImageDocument& doc, const DebayerParams& params) {
  if (Status s = DebayerKindCheck(doc); !s) return s;
  const std::string name = params.pattern.empty() ? doc.bayer : params.pattern;
  BayerPattern pattern;
  if (!ParseBayerPattern(name, pattern))
    return Status::Error(
        std::string(kName) +
        ": 色フィルターの並びがわかりません。パターン (RGGB, BGGR, GRBG, GBRG) を指定してください。");
  const int w = DataWidth(doc), h = DataHeight(doc);
  FloatPlane colour[3];
  try {
    for (FloatPlane& plane : colour) plane.ResizeUnfilled(w, h);
    const PlaneView out[3] = {PlaneView::Of<float>(colour[0].values.data(), w, h),
                              PlaneView::Of<float>(colour[1].values.data(), w, h),
                              PlaneView::Of<float>(colour[2].values.data(), w, h)};
    const ConstPlaneView mosaic = doc.kind == WindowKind::kRaw16
                                      ? ConstPlaneView::Of<std::uint16_t>(doc.raw.values.data(), w, h)
                                      : ConstPlaneView::Of<float>(doc.real.values.data(), w, h);
    if (Status s = Debayer(mosaic, pattern, params.method, out[0], out[1], out[2]); !s) return s;
  } catch (const std::bad_alloc&) {
    return Status::Error(std::string(kName) + ": メモリが足りません。");
  }
  // Raw values become the file's values.
  bool integers = doc.kind == WindowKind::kRaw16;
  if (doc.kind == WindowKind::kRaw16) {
    for (FloatPlane& plane : colour)
      for (float& v : plane.values) {
        v = static_cast<float>(doc.scaling.Physical(v));
        integers = integers && v >= 0 && v <= 65535 && v == std::floor(v);
      }
  }
  doc.kind = WindowKind::kDeepColour;
  doc.depth = integers ? 16 : -32;
  for (int c = 0; c < 3; ++c) doc.colour[c] = std::move(colour[c]);
  doc.raw = RawPlane();
  doc.real = FloatPlane();
  doc.bayer.clear();
  doc.scaling = FitsScaling();
  doc.channels = 3;
  doc.fits_cards.erase(std::remove_if(doc.fits_cards.begin(), doc.fits_cards.end(), PatternCard),
                       doc.fits_cards.end());
  SetUpFloatWindow(doc, true);
  doc.edited = true;
  NoteCommand(doc,
              std::string("debayer ") + BayerPatternName(pattern) + " " + DebayerMethodName(params.method));
  return Status::Ok();
}

}  // namespace qirm
