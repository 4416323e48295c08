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
#include "core/fits_keywords.h"
#include "core/fits_reader.h"
#include "core/jpeg_file.h"
#include "core/matrix.h"
#include "core/numbers.h"
#include "core/parallel.h"
#include "core/png_reader.h"
#include "core/ppm_reader.h"
#include "core/raw_reader.h"
#include "core/sample_image.h"
#include "core/tiff_reader.h"
#include "display/float_levels.h"
#include "display/levels.h"
#include "mosaic/bayer_pattern.h"

namespace qirm {

const std::vector<ReadableType>& ReadableTypes() {
  static const std::vector<ReadableType> kTypes = {
      {FileType::Fits, "FITS", {"fits", "fit", "fts"}},
      {FileType::Bmp, "ビットマップ", {"bmp"}},
      {FileType::Jpeg, "JPEG", {"jpg", "jpeg"}},
      {FileType::Netpbm, "PGM", {"pgm"}},
      {FileType::Netpbm, "PPM", {"ppm"}},
      {FileType::Tiff, "TIFF", {"tif", "tiff"}},
      {FileType::Png, "PNG", {"png"}},
      {FileType::Raw, "カメラRAW", {"cr2", "cr3", "nef", "arw", "dng", "raf", "orf", "rw2", "pef"}},
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

Status OpenImageFile(Workspace& ws, const std::string& path, FileType type, bool shown, long long plane) {
  ImageDocument doc;
  Status status;
  if (plane >= 0 && type != FileType::Fits) return Status::Error(path + ": only FITS cubes have planes");
  switch (type) {
    case FileType::Fits:
      status = LoadFitsDocument(path, doc, shown, plane);
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
    case FileType::Tiff:
    case FileType::Png:
    case FileType::Raw:
      status = LoadSampleFileDocument(path, type, doc, shown);
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
Status NoMemory(const std::string& path, int w, int h) {
  return Status::Error(path + ": not enough memory for a " + FormatInt(w) + " x " + FormatInt(h) + " image");
}

// True when every value is an integer lo..hi (NaN is none).
bool IntegersWithin(const FloatPlane& plane, double lo, double hi) {
  for (float v : plane.values)
    if (!(v >= lo && v <= hi && v == std::floor(v))) return false;
  return true;
}

// The state every freshly read window has: its file's name as caption, its
// size and channels, zoom "1.00", not edited.
void SetOpenedState(const std::string& path, int w, int h, int channels, ImageDocument& doc) {
  doc.caption = FileNameWithoutDirectory(path);
  doc.width = w;
  doc.height = h;
  doc.channels = channels;
  doc.zoom = 1.0;
  doc.edited = false;
}

// Any pixel type but 16-bit integers (or a plane of a cube): the values
// themselves in a float window, NaN where undefined.
Status LoadFloatFits(const std::string& path, FitsHeader& header, bool shown, long long plane,
                     ImageDocument& doc) {
  const int w = header.width;
  const int h = header.height;
  FitsImageReader reader;
  long long rounded = 0;
  try {
    doc.kind = WindowKind::kFloat;
    doc.real.ResizeUnfilled(w, h);
    if (Status s = reader.Open(path, header); !s) return s;
    if (Status s = reader.ReadPhysical(doc.real.values.data(), rounded, plane); !s) return s;
    SetUpFloatWindow(doc, shown);
  } catch (const std::bad_alloc&) {
    doc = ImageDocument();
    return NoMemory(path, w, h);
  }
  SetOpenedState(path, w, h, 1, doc);
  // 32-bit floats hold integers exactly up to 2^24: larger ones from
  // BITPIX 32 or 64 data are kept as the nearest float, and the file saved
  // from the window says so.
  if (rounded > 0)
    NoteCommand(doc, "read from BITPIX " + FormatInt(header.bitpix) + ", " + FormatInt(rounded) +
                         " values rounded to float precision");
  doc.fits_cards = ImageHeaderCards(header);
  MosaicPatternFromCards(doc);
  return Status::Ok();
}

// A cube of three planes: red, green and blue. 8-bit values 0..255 make an
// ordinary colour picture; 16-bit integers 0..65535 a colour window of
// depth 16; anything else one of float depth.
Status LoadColourCube(const std::string& path, FitsHeader& header, bool shown, ImageDocument& doc) {
  const int w = header.width;
  const int h = header.height;
  FitsImageReader reader;
  long long rounded = 0;
  try {
    if (Status s = reader.Open(path, header); !s) return s;
    for (int p = 0; p < 3; ++p) {
      doc.colour[p].ResizeUnfilled(w, h);
      long long r = 0;
      if (Status s = reader.ReadPhysical(doc.colour[p].values.data(), r, p); !s) return s;
      rounded += r;
    }
    bool bytes = header.bitpix == 8;
    bool shorts = header.bitpix == 8 || header.bitpix == 16;
    for (const FloatPlane& plane : doc.colour) {
      bytes = bytes && IntegersWithin(plane, 0, 255);
      shorts = shorts && IntegersWithin(plane, 0, 65535);
    }
    if (bytes) {
      Picture picture(w, h);
      for (int y = 0; y < h; ++y) {
        std::uint8_t* row = picture.Row(y);
        for (int x = 0; x < w; ++x)
          for (int c = 0; c < 3; ++c) row[3 * x + 2 - c] = static_cast<std::uint8_t>(doc.colour[c].At(x, y));
      }
      const std::vector<std::string> cards = ImageHeaderCards(header);
      doc = ImageDocument();
      Picture copy = shown ? picture : Picture();
      FillPictureDocument(std::move(copy), std::move(picture), 3, doc);
      doc.fits_cards = cards;
    } else {
      doc.kind = WindowKind::kDeepColour;
      doc.depth = shorts ? 16 : -32;
      SetUpFloatWindow(doc, shown);
      doc.channels = 3;
      doc.zoom = 1.0;
      doc.edited = false;
      doc.fits_cards = ImageHeaderCards(header);
      if (rounded > 0)
        NoteCommand(doc, "read from BITPIX " + FormatInt(header.bitpix) + ", " + FormatInt(rounded) +
                             " values rounded to float precision");
    }
  } catch (const std::bad_alloc&) {
    doc = ImageDocument();
    return NoMemory(path, w, h);
  }
  doc.caption = FileNameWithoutDirectory(path);
  doc.width = w;
  doc.height = h;
  return Status::Ok();
}

Status LoadRaw16Fits(const std::string& path, FitsHeader& header, bool shown, long long plane,
                     ImageDocument& doc) {
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
    header.data_offset += plane * w * h * 2LL;
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
  MosaicPatternFromCards(doc);
  return Status::Ok();
}

}  // namespace

Status LoadFitsDocument(const std::string& path, ImageDocument& doc, bool shown, long long plane) {
  FitsHeader header;
  if (Status s = ReadFitsHeader(path, header); !s) return s;
  if (plane >= header.planes) {
    return Status::Error(path + ": there is no plane " + FormatInt(plane + 1) + ": the image has " +
                         FormatInt(header.planes));
  }
  if (plane < 0 && header.planes == 3) return LoadColourCube(path, header, shown, doc);
  const long long chosen = std::max(plane, 0LL);
  Status status = header.bitpix != 16 ? LoadFloatFits(path, header, shown, chosen, doc)
                                      : LoadRaw16Fits(path, header, shown, chosen, doc);
  // A cube that is not a colour picture shows one plane, and says which.
  if (status && header.planes > 1)
    NoteCommand(doc, "plane " + FormatInt(chosen + 1) + " of the cube's " + FormatInt(header.planes));
  return status;
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

Status LoadSampleFileDocument(const std::string& path, FileType type, ImageDocument& doc, bool shown) {
  SampleImage image;
  Status status = type == FileType::Tiff  ? ReadTiffFile(path, image)
                  : type == FileType::Png ? ReadPngFile(path, image)
                                          : ReadRawFile(path, image);
  if (!status) return status;
  const int w = image.width(), h = image.height();
  try {
    if (image.type() == SampleType::kU8) {
      // An 8-bit picture, as a BMP or JPEG one opens.
      Picture picture(w, h);
      for (int y = 0; y < h; ++y) {
        std::uint8_t* row = picture.Row(y);
        for (int x = 0; x < w; ++x)
          for (int c = 0; c < 3; ++c)
            row[3 * x + 2 - c] = image.Row<std::uint8_t>(image.channels() == 3 ? c : 0, y)[x];
      }
      FillColourDocument(path, std::move(picture), image.channels(), shown, doc);
    } else if (image.channels() == 1 && image.type() == SampleType::kU16) {
      doc.raw.ResizeUnfilled(w, h);
      for (int y = 0; y < h; ++y) std::copy_n(image.Row<std::uint16_t>(0, y), w, doc.raw.Row(y));
      const InitialLevelsResult levels = InitialLevels(doc.raw);
      doc.kind = WindowKind::kRaw16;
      doc.min_level = levels.min;
      doc.max_level = levels.max;
      doc.mean = levels.mean;
      doc.minimum = levels.min;
      if (shown) RenderLevelsInto(doc.raw, doc.max_level, doc.min_level, doc.Image);
    } else {
      // Floats, or colour of 16 bits: the values as floats (exact for both).
      const int planes = image.channels();
      doc.kind = planes == 3 ? WindowKind::kDeepColour : WindowKind::kFloat;
      doc.depth = image.type() == SampleType::kU16 ? 16 : -32;
      for (int c = 0; c < planes; ++c) {
        FloatPlane& plane = FloatPlanes(doc)[c];
        plane.ResizeUnfilled(w, h);
        for (int y = 0; y < h; ++y) {
          float* out = plane.Row(y);
          if (image.type() == SampleType::kU16)
            std::copy_n(image.Row<std::uint16_t>(c, y), w, out);
          else
            std::copy_n(image.Row<float>(c, y), w, out);
        }
      }
      SetUpFloatWindow(doc, shown);
    }
  } catch (const std::bad_alloc&) {
    doc = ImageDocument();
    return NoMemory(path, w, h);
  }
  SetOpenedState(path, w, h, image.channels(), doc);
  doc.fits_cards = image.cards;
  MosaicPatternFromCards(doc);
  return Status::Ok();
}

void MosaicPatternFromCards(ImageDocument& doc) {
  doc.bayer.clear();
  if (doc.kind != WindowKind::kRaw16 && doc.kind != WindowKind::kFloat) return;
  std::string pattern;
  int xoff = 0, yoff = 0;
  for (const std::string& card : doc.fits_cards) {
    const std::string key = card.substr(0, std::min<std::size_t>(8, card.size()));
    const std::size_t open = card.find('\'', 10),
                      close = open == std::string::npos ? open : card.find('\'', open + 1);
    double v = 0;
    std::string padded = card.substr(0, 80);
    padded.resize(80, ' ');
    if (key == "BAYERPAT" && close != std::string::npos) {
      pattern = card.substr(open + 1, close - open - 1);
      while (!pattern.empty() && pattern.back() == ' ') pattern.pop_back();
    } else if (key == "XBAYROFF" && fits::CardNumber(padded.c_str(), v)) {
      xoff = static_cast<int>(v);
    } else if (key == "YBAYROFF" && fits::CardNumber(padded.c_str(), v)) {
      yoff = static_cast<int>(v);
    }
  }
  BayerPattern p;
  if (!ParseBayerPattern(pattern, p)) return;
  doc.bayer = BayerPatternName(ShiftedBayerPattern(p, xoff, yoff));
}

void DrawDeferredPicture(ImageDocument& doc) {
  if (!doc.Image.empty()) return;
  if (doc.kind == WindowKind::kRaw16 && !doc.raw.empty())
    RenderLevelsInto(doc.raw, doc.max_level, doc.min_level, doc.Image);
  else if (HasFloatValues(doc) && DataWidth(doc) > 0)
    RenderFloatWindow(doc, doc.max_level, doc.min_level);
  else if (doc.kind == WindowKind::kColour && !doc.ImageZm.empty())
    doc.Image = doc.ImageZm;  // as opened: the picture itself
}

}  // namespace qirm
