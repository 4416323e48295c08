#include "document/state_texts.h"

#include "core/numbers.h"

namespace qirm {
namespace {

template <class T>
std::string IntText(const std::optional<T>& v) {
  return v ? FormatInt(*v) : std::string();
}

}  // namespace

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
  }
  return "";
}

std::string ZoomFactorText(const ImageDocument& doc) {
  if (!doc.zoom) return "";
  return doc.zoom_stepped ? FormatGeneral(*doc.zoom) : FormatFixed2(*doc.zoom);
}

std::string GainText(const ImageDocument& doc) { return doc.gain_stepped ? FormatGeneral(doc.gain) : "1.0"; }

std::string MeanText(const ImageDocument& doc) { return doc.mean ? FormatGeneral(*doc.mean) : " "; }

std::string EditedText(const ImageDocument& doc) { return doc.edited ? (*doc.edited ? "1" : "0") : ""; }

std::string ZoomPercentText(const MainState& main) {
  return main.zoom ? FormatPercent(*main.zoom * 100) : "";
}

std::vector<std::pair<std::string, std::string>> StateLines(const ImageDocument& doc, const MainState& main) {
  return {
      {"Caption", doc.caption},          {"FilterI", KindText(doc.kind)},   {"DemX", IntText(doc.width)},
      {"DemY", IntText(doc.height)},     {"ColN", IntText(doc.channels)},   {"ZomN", ZoomFactorText(doc)},
      {"UndoFlg", EditedText(doc)},      {"Contrast", GainText(doc)},       {"Average", MeanText(doc)},
      {"Minimum", IntText(doc.minimum)}, {"MAX", FormatInt(doc.max_level)}, {"MIN", FormatInt(doc.min_level)},
      {"Edit1", ZoomPercentText(main)},  {"Edit2", main.max_edit.text},     {"Edit3", main.min_edit.text},
  };
}

}  // namespace qirm
