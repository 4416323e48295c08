// SPDX-License-Identifier: GPL-3.0-or-later
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

Status CheckRawPlane(const ImageDocument& doc, const char* command) {
  if (doc.raw.values.size() != doc.raw.pixels()) {
    return Status::Error(std::string(command) + ": the window's raw values do not fill its size");
  }
  return Status::Ok();
}

Status ReadRawValues(const ImageDocument& doc, const char* command, std::vector<std::uint16_t>& raw) {
  if (Status s = CheckRawPlane(doc, command); !s) return s;
  raw.assign(doc.raw.values.begin(), doc.raw.values.end());
  return Status::Ok();
}

namespace {

// The window's plane takes w x h new values (`fill` writes rows y0 .. y1 - 1
// of it, or the plane holds them already) and the shown picture is drawn
// from them under the window's levels, row bands shared between the cores.
template <class Fill>
void StoreValues(ImageDocument& doc, int w, int h, bool resized, const Fill& fill) {
  const long long pixels = static_cast<long long>(w) * h;
  const auto levels = LevelTable(doc.max_level, doc.min_level);
  Picture shown;
  Picture& grey = doc.Image.width() == w && doc.Image.height() == h ? doc.Image : shown;
  PrepareOutput(grey, w, h);
  ParallelFor(h, pixels, [&](int y0, int y1) {
    fill(y0, y1);
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

}  // namespace

void StoreResizedRawValues(ImageDocument& doc, const std::vector<std::uint16_t>& values, int w, int h) {
  const bool resized = doc.raw.width != w || doc.raw.height != h;
  doc.raw.ResizeUnfilled(w, h);
  StoreValues(doc, w, h, resized, [&](int y0, int y1) {
    const std::size_t first = static_cast<std::size_t>(y0) * w;
    std::copy(values.data() + first, values.data() + static_cast<std::size_t>(y1) * w,
              doc.raw.values.data() + first);
  });
}

void StoreRawValues(ImageDocument& doc, const std::vector<std::uint16_t>& values) {
  StoreResizedRawValues(doc, values, doc.raw.width, doc.raw.height);
}

void StoreRawPlane(ImageDocument& doc, RawPlane plane) {
  const int w = plane.width, h = plane.height;
  const bool resized = doc.raw.width != w || doc.raw.height != h;
  doc.raw = std::move(plane);
  StoreValues(doc, w, h, resized, [](int, int) {});
}

}  // namespace qirm
