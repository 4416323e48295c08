// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/open_image.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <vector>

#include "app/fits_header.h"
#include "core/bmp_file.h"
#include "core/file_write.h"
#include "core/fits_reader.h"
#include "core/jpeg_file.h"
#include "core/matrix.h"
#include "core/numbers.h"
#include "core/parallel.h"
#include "core/ppm_reader.h"
#include "display/float_levels.h"
#include "display/levels.h"

namespace qirm {

const std::vector<ReadableType>& ReadableTypes() {
  static const std::vector<ReadableType> kTypes = {
      {FileType::Fits, "FITS", {"fits", "fit", "fts"}},
      {FileType::Bmp, "ビットマップ", {"bmp"}},
      {FileType::Jpeg, "JPEG", {"jpg", "jpeg"}},
      {FileType::Netpbm, "PGM", {"pgm"}},
      {FileType::Netpbm, "PPM", {"ppm"}},
  };
  return kTypes;
}

std::vector<std::string> ReadableExtensions() {
  std::vector<std::string> all;
  for (const ReadableType& t : ReadableTypes())
    all.insert(all.end(), t.extensions.begin(), t.extensions.end());
  return all;
}

bool FileTypeFromName(const std::string& path, FileType& type) {
  const std::string name = FileNameWithoutDirectory(path);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const ReadableType& t : ReadableTypes()) {
    if (std::find(t.extensions.begin(), t.extensions.end(), ext) != t.extensions.end()) {
      type = t.type;
      return true;
    }
  }
  return false;
}

Status OpenImageFile(Workspace& ws, const std::string& path, FileType type, bool shown) {
  ImageDocument doc;
  Status status;
  switch (type) {
    case FileType::Fits:
      status = LoadFitsDocument(path, doc, shown);
      break;
    case FileType::Netpbm:
      status = LoadNetpbmDocument(path, doc);
      break;
    case FileType::Bmp:
      status = LoadBmpDocument(path, doc, shown);
      break;
    case FileType::Jpeg:
      status = LoadJpegDocument(path, doc, shown);
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

namespace {

// A 16-bit image straight from its rows: the level sampling reads the rows
// it samples first, then every band of rows is read into its rows of the
// plane and drawn into the shown picture at once, the bands shared between
// the cores. No matrix of the whole frame is held. The plane and the picture
// have the image's size.
Status ReadRawWindow(const FitsImageReader& reader, int w, int h, bool shown, InitialLevelsResult& levels,
                     ImageDocument& doc) {
  const LevelGrid grid = InitialLevelGrid(w, h);
  const long long pixels = static_cast<long long>(w) * h;
  const int parts = std::max(1, std::min(PartCount(pixels), h));
  std::vector<LevelSums> sums(static_cast<std::size_t>(parts));
  std::vector<Status> errors(static_cast<std::size_t>(parts));
  const int sampled_rows =
      grid.y_end > grid.start ? (grid.y_end - grid.start + grid.step - 1) / grid.step : 0;
  // Every part's row is taken on this thread: a lack of memory throws here,
  // not in a helper thread.
  std::vector<std::vector<std::uint16_t>> rows(static_cast<std::size_t>(parts));
  for (auto& row : rows) row.resize(static_cast<std::size_t>(w));
  ForEachPart(sampled_rows, parts, [&](int part, long long begin, long long end) {
    std::uint16_t* row = rows[static_cast<std::size_t>(part)].data();
    for (long long i = begin; i < end; ++i) {
      if (Status s = reader.ReadRows(grid.start + static_cast<int>(i) * grid.step, 1, row); !s) {
        errors[static_cast<std::size_t>(part)] = s;
        return;
      }
      for (int x = grid.start; x < grid.x_end; x += grid.step)
        sums[static_cast<std::size_t>(part)].Add(row[x]);
    }
  });
  for (const Status& s : errors)
    if (!s) return s;
  for (int part = 1; part < parts; ++part) sums[0].Merge(sums[static_cast<std::size_t>(part)]);
  levels = LevelsFromSums(sums[0]);

  const LevelLut table = LevelTable(levels.max, levels.min);
  // Bands of about 256 KiB of values: they stay in the core's cache between
  // the read and the shown picture.
  const int band = std::clamp(static_cast<int>((256 << 10) / (2LL * w)), 1, 256);
  ForEachPart(
      h, parts,
      [&](int part, long long begin, long long end) {
        for (long long y = begin; y < end; y += band) {
          const int count = static_cast<int>(std::min<long long>(band, end - y));
          if (Status s = reader.ReadRows(static_cast<int>(y), count, doc.raw.Row(static_cast<int>(y))); !s) {
            errors[static_cast<std::size_t>(part)] = s;
            return;
          }
          if (shown)
            RenderPlaneRows(doc.raw, table, static_cast<int>(y), static_cast<int>(y) + count, doc.Image);
        }
      },
      band);
  for (const Status& s : errors)
    if (!s) return s;
  return Status::Ok();
}

}  // namespace

namespace {

// Any pixel type but 16-bit integers: the values themselves in a float
// window, NaN where undefined.
Status LoadFloatFits(const std::string& path, FitsHeader& header, bool shown, ImageDocument& doc) {
  const int w = header.width;
  const int h = header.height;
  FitsImageReader reader;
  long long rounded = 0;
  try {
    doc.real.ResizeUnfilled(w, h);
    if (Status s = reader.Open(path, header); !s) return s;
    if (Status s = reader.ReadPhysical(doc.real.values.data(), rounded); !s) return s;
    SetUpFloatWindow(doc, shown);
  } catch (const std::bad_alloc&) {
    doc = ImageDocument();
    return Status::Error(path + ": not enough memory for a " + FormatInt(w) + " x " + FormatInt(h) +
                         " image");
  }
  doc.kind = WindowKind::kFloat;
  doc.caption = FileNameWithoutDirectory(path);
  doc.width = w;
  doc.height = h;
  doc.channels = 1;
  doc.zoom = 1.0;
  doc.edited = false;
  // 32-bit floats hold integers exactly up to 2^24: larger ones from
  // BITPIX 32 or 64 data are kept as the nearest float, and the file saved
  // from the window says so.
  if (rounded > 0)
    NoteCommand(doc, "read from BITPIX " + FormatInt(header.bitpix) + ", " + FormatInt(rounded) +
                         " values rounded to float precision");
  doc.fits_cards = ImageHeaderCards(header);
  return Status::Ok();
}

}  // namespace

Status LoadFitsDocument(const std::string& path, ImageDocument& doc, bool shown) {
  FitsHeader header;
  if (Status s = ReadFitsHeader(path, header); !s) return s;
  if (header.bitpix != 16) return LoadFloatFits(path, header, shown, doc);
  const int w = header.width;
  const int h = header.height;
  const Status no_memory =
      Status::Error(path + ": not enough memory for a " + FormatInt(w) + " x " + FormatInt(h) + " image");
  FitsImageReader reader;
  InitialLevelsResult levels;
  const bool opened = header.bitpix == 16;
  if (opened) {
    // The plane and the picture are the window's own; taken before the
    // second pass as the matrix below is.
    try {
      doc.raw.ResizeUnfilled(w, h);
      if (shown) doc.Image.ResizeUnfilled(w, h);
    } catch (const std::bad_alloc&) {
      doc = ImageDocument();
      return no_memory;
    }
    if (Status s = reader.Open(path, header); !s) return s;
  }
  if (reader.Raw16() && header.width == w && header.height == h) {
    try {
      if (Status s = ReadRawWindow(reader, w, h, shown, levels, doc); !s) return s;
    } catch (const std::bad_alloc&) {
      doc = ImageDocument();
      return no_memory;
    }
  } else {
    // Other pixel types (or a file that changed between the passes): the
    // reader's matrix.
    doc = ImageDocument();
    IntMatrix raw;
    if (AllocIntMatrix(w, h, raw) != 0) return no_memory;
    if (!opened) {
      if (Status s = reader.Open(path, header); !s) return s;
    }
    if (Status s = reader.ReadMatrix(raw); !s) return s;
    levels = InitialLevels(raw, w, h);
    if (shown)
      RenderRawWindow(raw, w, h, levels.max, levels.min, doc.Image, doc.raw);
    else
      FillRawPlane(raw, w, h, doc.raw);
  }
  doc.min_level = levels.min;
  doc.max_level = levels.max;
  doc.kind = WindowKind::kRaw16;
  doc.caption = FileNameWithoutDirectory(path);
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

void FillColourDocument(const std::string& path, Picture picture, int channels, bool shown,
                        ImageDocument& doc) {
  const int w = picture.width();
  const int h = picture.height();
  Picture copy = shown ? picture : Picture();
  FillPictureDocument(std::move(copy), std::move(picture), channels, doc);
  doc.width = w;
  doc.height = h;
  doc.caption = FileNameWithoutDirectory(path);
}

}  // namespace

Status LoadBmpDocument(const std::string& path, ImageDocument& doc, bool shown) {
  Picture picture;
  if (Status s = ReadBmpFile(path, picture); !s) return s;
  FillColourDocument(path, std::move(picture), 3, shown, doc);
  return Status::Ok();
}

Status LoadJpegDocument(const std::string& path, ImageDocument& doc, bool shown) {
  Picture picture;
  if (Status s = ReadJpegFile(path, picture); !s) return s;
  FillColourDocument(path, std::move(picture), 1, shown, doc);
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

void DrawDeferredPicture(ImageDocument& doc) {
  if (!doc.Image.empty()) return;
  if (doc.kind == WindowKind::kRaw16 && !doc.raw.empty())
    RenderLevelsInto(doc.raw, doc.max_level, doc.min_level, doc.Image);
  else if (doc.kind == WindowKind::kFloat && !doc.real.empty())
    RenderFloatLevelsInto(doc.real, doc.scaling, doc.max_level, doc.min_level, doc.Image);
  else if (doc.kind == WindowKind::kColour && !doc.ImageZm.empty())
    doc.Image = doc.ImageZm;  // as opened: the picture itself
}

}  // namespace qirm
