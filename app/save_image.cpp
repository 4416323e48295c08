// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/save_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/bmp_file.h"
#include "core/file_write.h"
#include "core/fits_keywords.h"
#include "core/fits_writer.h"
#include "core/jpeg_file.h"
#include "core/png_file.h"
#include "core/tiff_file.h"
#include "display/levels.h"

namespace qirm {

namespace {

// Where the file name starts: after the last '/'.
std::size_t FileNameStart(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// The point that starts the extension, or npos.
std::size_t ExtensionPoint(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  return dot != std::string::npos && dot >= FileNameStart(path) ? dot : std::string::npos;
}

}  // namespace

std::string ReplaceExtension(const std::string& name, const std::string& ext) {
  const std::size_t dot = ExtensionPoint(name);
  return (dot == std::string::npos ? name : name.substr(0, dot)) + ext;
}

bool PictureFormatFromName(const std::string& path, PictureFormat& format) {
  const std::size_t dot = ExtensionPoint(path);
  if (dot == std::string::npos) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (ext == "bmp") {
    format = PictureFormat::kBmp;
  } else if (ext == "jpg" || ext == "jpeg") {
    format = PictureFormat::kJpeg;
  } else if (ext == "png") {
    format = PictureFormat::kPng;
  } else if (ext == "tif" || ext == "tiff") {
    format = PictureFormat::kTiff;
  } else {
    return false;
  }
  return true;
}

Status EncodePicture(const Picture& picture, PictureFormat format, int jpeg_quality,
                     std::vector<std::uint8_t>& bytes) {
  switch (format) {
    case PictureFormat::kBmp:
      return EncodeBmp(picture, bytes);
    case PictureFormat::kJpeg:
      return EncodeJpeg(picture, jpeg_quality, bytes);
    case PictureFormat::kPng:
      return EncodePng(picture, bytes);
    case PictureFormat::kTiff:
      return EncodeTiff(picture, bytes);
  }
  return Status::Error("unknown picture format");
}

namespace {

// A BMP file written row by row through a small buffer: the same bytes as
// EncodeBmp without holding the whole file (a frame-sized block of fresh
// memory costs more to obtain than to fill).
bool WriteBmpRows(int fd, const Picture& picture, const std::vector<std::uint8_t>& header,
                  std::size_t stride) {
  if (!WriteAll(fd, header.data(), header.size())) return false;
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  const int rows_per_chunk = static_cast<int>(std::max<std::uint64_t>(1, kChunk / stride));
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(rows_per_chunk * stride), 0);
  for (int r = 0; r < picture.height();) {  // bottom-up
    const int n = std::min(rows_per_chunk, picture.height() - r);
    for (int k = 0; k < n; ++k)
      std::memcpy(chunk.data() + k * stride, picture.Row(picture.height() - 1 - (r + k)), picture.stride());
    if (!WriteAll(fd, chunk.data(), static_cast<std::size_t>(n * stride))) return false;
    r += n;
  }
  return true;
}

}  // namespace

Status WritePictureFile(const std::string& path, const Picture& picture, PictureFormat format,
                        int jpeg_quality) {
  std::vector<std::uint8_t> header;
  std::size_t stride = 0;
  if (format == PictureFormat::kBmp && BmpHeader(picture.width(), picture.height(), header, stride)) {
    return ReplaceFileWith(path, [&](int fd) { return WriteBmpRows(fd, picture, header, stride); });
  }
  std::vector<std::uint8_t> bytes;
  if (Status s = EncodePicture(picture, format, jpeg_quality, bytes); !s) {
    return Status::Error(path + ": " + s.message());
  }
  return WriteFileReplacing(path, bytes);
}

Status WritePicture16File(const std::string& path, const Rgb16Picture& picture, PictureFormat format) {
  std::vector<std::uint8_t> bytes;
  Status s = Status::Error("16 bits per channel are written as PNG or TIFF only");
  if (format == PictureFormat::kPng) s = EncodePng16(picture, bytes);
  if (format == PictureFormat::kTiff) s = EncodeTiff16(picture, bytes);
  if (!s) return Status::Error(path + ": " + s.message());
  return WriteFileReplacing(path, bytes);
}

bool DeepShowsPicture(const Rgb16Picture& deep, const Picture& picture) {
  if (deep.empty() || picture.empty() || deep.width != picture.width() || deep.height != picture.height() ||
      deep.samples.size() != static_cast<std::size_t>(deep.width) * deep.height * 3) {
    return false;
  }
  for (int y = 0; y < deep.height; ++y) {
    const std::uint16_t* d = deep.Row(y);
    const std::uint8_t* p = picture.Row(y);  // blue, green, red
    for (int x = 0; x < deep.width; ++x) {
      if (d[3 * x] / 257 != p[3 * x + 2] || d[3 * x + 1] / 257 != p[3 * x + 1] ||
          d[3 * x + 2] / 257 != p[3 * x])
        return false;
    }
  }
  return true;
}

bool IsFitsName(const std::string& path) {
  const std::size_t dot = ExtensionPoint(path);
  if (dot == std::string::npos) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext == "fits" || ext == "fit" || ext == "fts";
}

Rgb16Picture DeepColourSamples(const ImageDocument& doc) {
  Rgb16Picture out(DataWidth(doc), DataHeight(doc));
  for (int y = 0; y < out.height; ++y) {
    std::uint16_t* row = out.Row(y);
    for (int x = 0; x < out.width; ++x)
      for (int c = 0; c < 3; ++c) {
        const float v = doc.colour[c].At(x, y);
        // Rounded half up and kept in range; an undefined value is 0.
        row[3 * x + c] = v > 0 ? static_cast<std::uint16_t>(std::min(v + 0.5f, 65535.0f)) : 0;
      }
  }
  return out;
}

TypedExtension SaveFormatFromName(const std::string& path, SaveFormat& format) {
  const std::size_t dot = ExtensionPoint(path);
  if (dot == std::string::npos || dot == FileNameStart(path) || dot + 1 == path.size())
    return TypedExtension::kNone;
  PictureFormat picture;
  if (IsFitsName(path)) {
    format = SaveFormat::kFits;
  } else if (PictureFormatFromName(path, picture)) {
    format = picture == PictureFormat::kBmp    ? SaveFormat::kBmp
             : picture == PictureFormat::kJpeg ? SaveFormat::kJpeg
             : picture == PictureFormat::kPng  ? SaveFormat::kPng
                                               : SaveFormat::kTiff;
  } else {
    return TypedExtension::kOther;
  }
  return TypedExtension::kWritten;
}

std::string AddExtension(const std::string& name, const std::string& ext) {
  if (!name.empty() && name.back() == '.' && !ext.empty() && ext.front() == '.') return name + ext.substr(1);
  return name + ext;
}

bool PictureFormatOf(SaveFormat format, PictureFormat& picture) {
  switch (format) {
    case SaveFormat::kFits:
      return false;
    case SaveFormat::kPng:
      picture = PictureFormat::kPng;
      return true;
    case SaveFormat::kTiff:
      picture = PictureFormat::kTiff;
      return true;
    case SaveFormat::kBmp:
      picture = PictureFormat::kBmp;
      return true;
    case SaveFormat::kJpeg:
      picture = PictureFormat::kJpeg;
      return true;
  }
  return false;
}

namespace {

// The source's BLANK as the window's stored values now have it: mirror,
// flip and rotation move pixels without changing them, negative maps the
// value; any other command changes the marked pixels' values, and BLANK
// would then mark the wrong ones.
void SourceBlank(const ImageDocument& doc, FitsWriteHeader& header) {
  const std::string* card = nullptr;
  for (const std::string& c : doc.fits_cards)
    if (c.size() >= 10 && c.compare(0, 10, "BLANK   = ") == 0) card = &c;
  if (!card) return;
  std::string padded = card->substr(0, fits::kCardBytes);
  padded.resize(fits::kCardBytes, ' ');
  double value = 0;
  if (!fits::CardNumber(padded.c_str(), value) || value != std::floor(value) || value < -32768 ||
      value > 32767) {
    header.history.push_back("QIRM BLANK dropped: not a 16-bit integer");
    return;
  }
  int blank = static_cast<int>(value);
  for (const std::string& command : doc.history) {
    if (command == "mirror" || command == "flip" || command == "rotate") continue;
    if (command == "negative") {
      blank = -1 - blank;  // raw 65535 - v: stored -1 - s
      continue;
    }
    header.history.push_back("QIRM BLANK dropped: " + command.substr(0, command.find(' ')) +
                             " changed the values it marked");
    return;
  }
  header.blank = blank;
}

}  // namespace

Status WriteFitsWindow(const std::string& path, const ImageDocument& doc, const Picture& picture) {
  FitsWriteHeader header;
  header.cards = doc.fits_cards;
  for (const std::string& command : doc.history) header.history.push_back("QIRM " + command);
  if (doc.kind == WindowKind::kFloat) return WriteFitsFloat32(path, doc.real, header);
  if (doc.kind == WindowKind::kDeepColour)
    return WriteFitsColourCube(path, doc.colour, doc.depth == 16, header);
  if (doc.kind != WindowKind::kRaw16) return WriteFitsColour(path, picture, header);
  const int w = doc.raw.width;
  const int h = doc.raw.height;
  if (doc.raw.values.size() != doc.raw.pixels()) {
    return Status::Error(path + ": the raw values of the window do not fill its size");
  }
  // The window keeps its source's scaling, so its stored values go out as
  // they are: exact whatever BZERO is.
  const double bzero = doc.scaling.bzero, bscale = doc.scaling.bscale;
  if (std::isfinite(bzero) && std::isfinite(bscale) && bscale != 0) {
    SourceBlank(doc, header);
    return WriteFitsRaw16(path, doc.raw, bzero, bscale, header);
  }
  std::vector<double> values(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      values[static_cast<std::size_t>(y) * w + x] = doc.scaling.Physical(doc.raw.At(x, y));
    }
  }
  return WriteFitsGrey(path, w, h, values, doc.scaling.bzero, doc.scaling.bscale, header);
}

}  // namespace qirm
