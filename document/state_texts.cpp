// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/state_texts.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/numbers.h"

namespace qirm {
namespace {

template <class T>
std::string IntText(const std::optional<T>& v) {
  return v ? FormatInt(*v) : std::string();
}

// Equal but for the rounding of the scaling's arithmetic.
bool Near(double a, double b) { return std::fabs(a - b) <= 1e-11 * std::max(1.0, std::fabs(b)); }

// Fixed decimals, whatever the locale.
std::string Fixed(double v, int decimals) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
  return std::string(text, r.ptr);
}

}  // namespace

std::string FloatText(float v) {
  if (std::isnan(v)) return "NaN";
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, v);
  return std::string(text, r.ptr);
}

std::string PhysicalText(const ImageDocument& doc, double raw) {
  const double p = doc.scaling.Physical(raw);
  // A float window's levels stand on a grid of 2^20 steps over its values:
  // six significant digits tell them as well as a user reads them.
  if (HasFloatValues(doc)) {
    char text[64];
    const auto r = std::to_chars(text, text + sizeof text, p, std::chars_format::general, 6);
    return std::string(text, r.ptr);
  }
  if (!std::isfinite(p) || std::fabs(p) >= 1e15) return FormatGeneral(p);
  if (Near(std::round(p), p)) return FormatInt(std::llround(p));
  // Decimals that tell neighbouring raw values (BSCALE apart) apart.
  int least = 1;
  const double step = std::fabs(doc.scaling.bscale);
  while (least < 15 && step * std::pow(10.0, least) < 1 - 1e-9) ++least;
  // A few more when they give the value exactly (BZERO 0.25: "0.75").
  for (int decimals = least; decimals <= std::min(least + 3, 15); ++decimals) {
    const std::string text = Fixed(p, decimals);
    double back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    if (Near(back, p)) return text;
  }
  return Fixed(p, least);
}

std::string KindText(WindowKind kind) {
  switch (kind) {
    case WindowKind::kNone:
      return "";
    case WindowKind::kColour:
      return "1";
    case WindowKind::kRaw16:
      return "2";
    case WindowKind::kNetpbm:
      return "3";
    case WindowKind::kFloat:
      return "4";
    case WindowKind::kDeepColour:
      return "5";
  }
  return "";
}

std::string ZoomFactorText(const ImageDocument& doc) {
  if (!doc.zoom) return "";
  return doc.zoom_stepped ? FormatGeneral(*doc.zoom) : FormatFixed2(*doc.zoom);
}

std::string GainText(const ImageDocument& doc) { return doc.gain_stepped ? FormatGeneral(doc.gain) : "1.0"; }

std::string MeanText(const ImageDocument& doc) {
  return doc.mean ? FormatGeneral(doc.scaling.Physical(*doc.mean)) : " ";
}

std::string EditedText(const ImageDocument& doc) { return doc.edited ? (*doc.edited ? "1" : "0") : ""; }

std::string ZoomPercentText(const MainState& main) {
  return main.zoom ? FormatPercent(*main.zoom * 100) : "";
}

std::vector<std::pair<std::string, std::string>> StateLines(const ImageDocument& doc, const MainState& main) {
  return {
      {"Caption", doc.caption},
      {"FilterI", KindText(doc.kind)},
      {"DemX", IntText(doc.width)},
      {"DemY", IntText(doc.height)},
      {"ColN", IntText(doc.channels)},
      {"ZomN", ZoomFactorText(doc)},
      {"UndoFlg", EditedText(doc)},
      {"Contrast", GainText(doc)},
      {"Average", MeanText(doc)},
      {"Minimum", doc.minimum ? PhysicalText(doc, *doc.minimum) : ""},
      {"MAX", PhysicalText(doc, doc.max_level)},
      {"MIN", PhysicalText(doc, doc.min_level)},
      {"Edit1", ZoomPercentText(main)},
      {"Edit2", main.max_edit.text},
      {"Edit3", main.min_edit.text},
  };
}

}  // namespace qirm
