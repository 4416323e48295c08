#include "app/open_image.h"

#include "app/workspace.h"
#include "core/bmp_file.h"
#include "core/fits_reader.h"
#include "core/jpeg_file.h"
#include "core/matrix.h"
#include "core/numbers.h"
#include "core/ppm_reader.h"
#include "display/levels.h"

namespace qirm {

Status LoadFitsDocument(const std::string& path, ImageDocument& doc) {
  FitsHeader header;
  if (Status s = ReadFitsHeader(path, header); !s) return s;
  IntMatrix raw;
  if (AllocIntMatrix(header.width, header.height, raw) != 0) {
    return Status::Error(path + ": not enough memory for a " + FormatInt(header.width) + " x " +
                         FormatInt(header.height) + " image");
  }
  if (Status s = ReadFitsFile(path, header, raw); !s) return s;
  const int w = header.width;
  const int h = header.height;
  ToUnsigned16(32768, w, h, raw);

  const InitialLevelsResult levels = InitialLevels(raw, w, h);
  doc.MIN = FormatInt(levels.min);
  doc.MAX = FormatInt(levels.max);
  doc.FilterI = kKindRaw16;
  doc.Image = RenderRawLevels(raw, w, h, levels.max, levels.min);
  doc.Caption = FileNameWithoutDirectory(path);
  SplitRawPlanes(raw, w, h, doc.ImageZm, doc.ImageZm2);
  doc.Average = FormatGeneral(levels.mean);
  doc.Minimum = FormatInt(levels.min);
  doc.DemX = FormatInt(w);
  doc.DemY = FormatInt(h);
  doc.ColN = "1";
  doc.ZomN = FormatFixed2(1.0);
  doc.UndoFlg = "0";
  return Status::Ok();
}

namespace {

void FillColourDocument(const std::string& path, Picture picture, const char* channels, ImageDocument& doc) {
  doc.FilterI = kKindColour;
  doc.Caption = FileNameWithoutDirectory(path);
  doc.DemX = FormatInt(picture.width());
  doc.DemY = FormatInt(picture.height());
  doc.Image = picture;
  doc.ImageZm = std::move(picture);
  doc.MAX = "255";
  doc.MIN = "0";
  doc.ColN = channels;
  doc.ZomN = FormatFixed2(1.0);
  doc.UndoFlg = "0";
}

}  // namespace

Status LoadBmpDocument(const std::string& path, ImageDocument& doc) {
  Picture picture;
  if (Status s = ReadBmpFile(path, picture); !s) return s;
  doc.ImageZm2 = Picture(picture.width(), picture.height());
  FillColourDocument(path, std::move(picture), "3", doc);
  return Status::Ok();
}

Status LoadJpegDocument(const std::string& path, ImageDocument& doc) {
  Picture picture;
  if (Status s = ReadJpegFile(path, picture); !s) return s;
  FillColourDocument(path, std::move(picture), "1", doc);
  return Status::Ok();
}

Status LoadNetpbmDocument(const std::string& path, ImageDocument& doc) {
  int w = 0;
  int h = 0;
  IntMatrix r, g, b;
  if (Status s = ReadPpmFile(path, w, h, r, g, b); !s) return s;
  Picture picture(w, h);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = picture.Row(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(b[x][y]);
      row[3 * x + 1] = static_cast<std::uint8_t>(g[x][y]);
      row[3 * x + 2] = static_cast<std::uint8_t>(r[x][y]);
    }
  }
  doc.FilterI = kKindNetpbm;
  doc.Image = picture;
  doc.ImageZm = std::move(picture);
  doc.DemX = FormatInt(w);
  doc.DemY = FormatInt(h);
  doc.ColN = "1";
  doc.ZomN = FormatFixed2(1.0);
  doc.UndoFlg = "0";
  return Status::Ok();
}

}  // namespace qirm
