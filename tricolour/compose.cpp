#include "tricolour/compose.h"

namespace qirm {

Status ComposeTricolour(const CompositionSettings&, const std::function<void(int)>&, ImageDocument&, MainTexts*,
                        const std::function<void(const std::string&)>&) {
  return Status::Error("the composition is not available in this version yet");
}

Status CheckCompositionSettings(const CompositionSettings&) { return Status::Ok(); }

void ApplyCompositionMainTexts(MainTexts& main) {
  main.Edit1 = "100.0%";
  main.Edit2 = "255";
  main.Edit3 = "0";
  main.UpDown1 = 255;
  main.UpDown2 = 0;
}

void FillCompositionDocument(Picture picture, ImageDocument& doc) { doc.Image = std::move(picture); }

}  // namespace qirm
