// The documents of "座標取得": frames shown so that the sky is grey 50.
#include "tricolour/picking.h"

#include <algorithm>
#include <array>

#include "core/fits_reader.h"
#include "core/numbers.h"
#include "display/levels.h"
#include "tricolour/tri_numbers.h"

namespace qirm {

Status OpenFrameForPicking(const std::string& path, ImageDocument& doc, MainTexts* main) {
  FitsHeader header;
  if (Status s = ReadFitsHeader(path, header); !s) return s;
  const int w = header.width;
  const int h = header.height;
  IntMatrix raw;
  if (!raw.Allocate(w, h)) {
    return Status::Error(path + ": not enough memory for a " + FormatInt(w) + " x " + FormatInt(h) + " image");
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
  SplitRawPlanes(raw, w, h, d.ImageZm, d.ImageZm2);
  d.Caption = FileNameWithoutDirectory(path);
  d.FilterI = kKindRaw16;
  d.Average = FormatGeneral(mean);
  d.Minimum = FormatInt(min);
  d.DemX = FormatInt(w);
  d.DemY = FormatInt(h);
  d.ColN = "1";
  d.ZomN = FormatFixed2(1.0);
  d.UndoFlg = "0";
  doc = std::move(d);
  if (main) {
    main->Edit1 = "100.0%";
    main->Edit2 = FormatInt(Trunc(mean));
    main->Edit3 = FormatInt(min);
  }
  return Status::Ok();
}

}  // namespace qirm
