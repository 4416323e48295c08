// SPDX-License-Identifier: GPL-3.0-or-later
// The documents of "座標取得": frames shown so that the sky is grey 50.
#include "tricolour/picking.h"

#include <algorithm>
#include <array>

#include "core/file_write.h"
#include "core/fits_reader.h"
#include "core/numbers.h"
#include "display/levels.h"
#include "tricolour/tri_numbers.h"

namespace qirm {

Status OpenFrameForPicking(const std::string& path, ImageDocument& doc, MainState* main) {
  FitsHeader header;
  if (Status s = ReadFitsHeader(path, header); !s) return s;
  const int w = header.width;
  const int h = header.height;
  IntMatrix raw;
  if (!raw.Allocate(w, h)) {
    return Status::Error(path + ": not enough memory for a " + FormatInt(w) + " x " + FormatInt(h) +
                         " image");
  }
  if (Status s = ReadFitsFile(path, header, raw); !s) return s;
  ToUnsigned16(32768, w, h, raw);

  // The same grid as the initial levels of an opened frame.
  const InitialLevelsResult levels = InitialLevels(raw, w, h);
  const double mean = levels.mean;
  const int min = levels.min;

  // g = trunc(50 (v - min) / (mean - min)) for every raw value, clamped.
  std::array<std::uint8_t, 65536> grey{};
  const Extended span = static_cast<Extended>(mean) - min;
  for (int v = 0; v < 65536; ++v) {
    if (span == 0) break;  // mean = min: nothing to scale by, every pixel 0
    const Extended g = 50 * static_cast<Extended>(v - min) / span;
    grey[v] = static_cast<std::uint8_t>(std::clamp(TruncSaturated(g), 0, 255));
  }
  Picture picture(w, h);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = picture.Row(y);
    for (int x = 0; x < w; ++x) {
      const std::uint8_t g = grey[std::clamp(raw[x][y], 0, 65535)];
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g;
    }
  }

  ImageDocument d;
  d.Image = std::move(picture);
  FillRawPlane(raw, w, h, d.raw);
  d.caption = FileNameWithoutDirectory(path);
  d.kind = WindowKind::kRaw16;
  d.mean = mean;
  d.minimum = min;
  d.width = w;
  d.height = h;
  d.channels = 1;
  d.zoom = 1.0;
  d.edited = false;
  doc = std::move(d);
  doc.unsaved = false;  // straight from its file
  if (main) {
    // Without the edits' change handler: the window keeps its levels.
    main->zoom = 1.0;
    main->max_edit.Set(Trunc(mean));
    main->min_edit.Set(min);
  }
  return Status::Ok();
}

}  // namespace qirm
