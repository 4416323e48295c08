// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/status_texts.h"

#include "app/save_image.h"

namespace qirm {

std::string ImageDepthText(const ImageDocument& doc) {
  switch (doc.kind) {
    case WindowKind::kRaw16:
      return "16-bit";
    case WindowKind::kFloat:
      return "32-bit float";
    case WindowKind::kColour:
    case WindowKind::kNetpbm:
      if (DeepShowsPicture(doc.deep, doc.Image)) return "16-bit colour";
      return doc.channels == 1 ? "8-bit grey" : "8-bit colour";
    case WindowKind::kNone:
      break;
  }
  return "";
}

std::string ImageSizeText(const ImageDocument& doc) {
  if (doc.kind == WindowKind::kNone) return "";
  const int w = DataWidth(doc), h = DataHeight(doc);
  if (w <= 0 || h <= 0) return "";
  return std::to_string(w) + " x " + std::to_string(h);
}

}  // namespace qirm
