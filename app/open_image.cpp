#include "app/open_image.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/fits_header.h"
#include "core/bmp_file.h"
#include "core/file_write.h"
#include "core/fits_reader.h"
#include "core/jpeg_file.h"
#include "core/matrix.h"
#include "core/numbers.h"
#include "core/ppm_reader.h"
#include "display/levels.h"

namespace qirm {

bool FileTypeFromName(const std::string& path, FileType& type) {
  const std::string name = FileNameWithoutDirectory(path);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == "bmp")
    type = FileType::Bmp;
  else if (ext == "fit" || ext == "fts" || ext == "fits")
    type = FileType::Fits;
  else if (ext == "jpg" || ext == "jpeg")
    type = FileType::Jpeg;
  else if (ext == "pgm" || ext == "ppm")
    type = FileType::Netpbm;
  else
    return false;
  return true;
}

Status OpenImageFile(Workspace& ws, const std::string& path, FileType type) {
  ImageDocument doc;
  Status status;
  switch (type) {
    case FileType::Fits:
      status = LoadFitsDocument(path, doc);
      break;
    case FileType::Netpbm:
      status = LoadNetpbmDocument(path, doc);
      break;
    case FileType::Bmp:
      status = LoadBmpDocument(path, doc);
      break;
    case FileType::Jpeg:
      status = LoadJpegDocument(path, doc);
      break;
    default:
      return Status::Error(path + ": unknown file type");
  }
  if (!status) return status;
  ImageDocument& window = ws.NewWindow();
  window = std::move(doc);
  window.unsaved = false;  // straight from its file
  ws.main().zoom = 1.0;
  ws.SetMaxLevel(window.max_level);
  ws.SetMinLevel(window.min_level);
  return Status::Ok();
}

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
  doc.min_level = levels.min;
  doc.max_level = levels.max;
  doc.kind = WindowKind::kRaw16;
  doc.Image = RenderRawLevels(raw, w, h, levels.max, levels.min);
  doc.caption = FileNameWithoutDirectory(path);
  SplitRawPlanes(raw, w, h, doc.ImageZm, doc.ImageZm2);
  doc.mean = levels.mean;
  doc.minimum = levels.min;
  doc.width = w;
  doc.height = h;
  doc.channels = 1;
  doc.zoom = 1.0;
  doc.edited = false;
  // Other pixel types were mapped onto 0..65535 by the reader: their raw
  // values are what the window shows.
  if (header.bitpix == 16) {
    doc.scaling.bzero = header.zero;
    doc.scaling.bscale = header.bscale;
  } else {
    NoteCommand(doc, "read from BITPIX " + FormatInt(header.bitpix) + ", values mapped onto 0..65535");
  }
  doc.fits_cards = ImageHeaderCards(header);
  return Status::Ok();
}

namespace {

void FillColourDocument(const std::string& path, Picture picture, int channels, ImageDocument& doc) {
  Picture shown = picture;
  FillPictureDocument(std::move(shown), std::move(picture), channels, doc);
  doc.caption = FileNameWithoutDirectory(path);
}

}  // namespace

Status LoadBmpDocument(const std::string& path, ImageDocument& doc) {
  Picture picture;
  if (Status s = ReadBmpFile(path, picture); !s) return s;
  doc.ImageZm2 = Picture(picture.width(), picture.height());
  FillColourDocument(path, std::move(picture), 3, doc);
  return Status::Ok();
}

Status LoadJpegDocument(const std::string& path, ImageDocument& doc) {
  Picture picture;
  if (Status s = ReadJpegFile(path, picture); !s) return s;
  FillColourDocument(path, std::move(picture), 1, doc);
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
  doc.kind = WindowKind::kNetpbm;
  doc.Image = picture;
  doc.ImageZm = std::move(picture);
  doc.width = w;
  doc.height = h;
  doc.channels = 1;
  doc.zoom = 1.0;
  doc.edited = false;
  return Status::Ok();
}

}  // namespace qirm
