#include "display/raw_values.h"

#include <algorithm>
#include <utility>

#include "core/parallel.h"
#include "display/levels.h"
#include "display/output_picture.h"

namespace qirm {

void DrawAt00(Picture& target, Picture result) {
  if (target.empty() || (target.width() == result.width() && target.height() == result.height())) {
    target = std::move(result);
  } else {
    target.Draw(result, 0, 0);
  }
}

Status ReadRawValues(const ImageDocument& doc, const char* command, std::vector<std::uint16_t>& raw) {
  if (doc.raw.values.size() != doc.raw.pixels()) {
    return Status::Error(std::string(command) + ": the window's raw values do not fill its size");
  }
  raw.assign(doc.raw.values.begin(), doc.raw.values.end());
  return Status::Ok();
}

void StoreResizedRawValues(ImageDocument& doc, const std::vector<std::uint16_t>& values, int w, int h) {
  const long long pixels = static_cast<long long>(w) * h;
  const auto levels = LevelTable(doc.max_level, doc.min_level);
  Picture shown;
  Picture& grey = doc.Image.width() == w && doc.Image.height() == h ? doc.Image : shown;
  const bool resized = doc.raw.width != w || doc.raw.height != h;
  PrepareOutput(grey, w, h);
  doc.raw.ResizeUnfilled(w, h);
  ParallelFor(h, pixels, [&](int y0, int y1) {
    const std::size_t first = static_cast<std::size_t>(y0) * w;
    std::copy(values.data() + first, values.data() + static_cast<std::size_t>(y1) * w,
              doc.raw.values.data() + first);
    RenderPlaneRows(doc.raw, levels, y0, y1, grey);
  });
  if (&grey == &shown) {
    // A new size replaces the shown picture; the same size draws over it.
    if (resized) doc.Image = Picture();
    DrawAt00(doc.Image, std::move(shown));
  }
  if (resized) {
    doc.width = w;
    doc.height = h;
  }
}

void StoreRawValues(ImageDocument& doc, const std::vector<std::uint16_t>& values) {
  StoreResizedRawValues(doc, values, doc.raw.width, doc.raw.height);
}

}  // namespace qirm
