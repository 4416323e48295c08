// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/tiff_reader.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/file_bytes.h"

namespace qirm {

namespace {

// libtiff reads the file from memory through these callbacks.
struct MemoryFile {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t position = 0;
};

tmsize_t ReadProc(thandle_t handle, void* out, tmsize_t n) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (n <= 0 || file->position >= file->size) return 0;
  const std::size_t count = std::min(file->size - file->position, static_cast<std::size_t>(n));
  std::memcpy(out, file->data + file->position, count);
  file->position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) base = file->position;
  if (whence == SEEK_END) base = file->size;
  const std::uint64_t target = base + offset;
  // Past the end is allowed, as for a file: reads there give nothing.
  file->position = static_cast<std::size_t>(std::min<std::uint64_t>(target, std::uint64_t{1} << 62));
  return static_cast<toff_t>(file->position);
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<MemoryFile*>(handle)->size; }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's first error of this read, and its last warning: they go into
// the message, never to stderr.
struct Messages {
  std::string error;
  std::string warning;
};

std::string Format(const char* module, const char* format, va_list args) {
  char text[300];
  std::vsnprintf(text, sizeof text, format, args);
  return (module != nullptr && *module != '\0' ? std::string(module) + ": " : std::string()) + text;
}

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto* messages = static_cast<Messages*>(user);
  if (messages->error.empty()) messages->error = Format(module, format, args);
  return 1;
}

int OnWarning(TIFF*, void* user, const char* module, const char* format, va_list args) {
  static_cast<Messages*>(user)->warning = Format(module, format, args);
  return 1;
}

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};

// Where file pixel (x, y) goes in the upright picture.
struct Orientation {
  bool mirror = false;
  bool flip = false;
};

// The layout read from the tags.
struct Layout {
  int width = 0;
  int height = 0;
  int samples = 1;   // samples per pixel in the file
  int channels = 1;  // kept: 1 or 3
  SampleType type = SampleType::kU8;
  bool separate = false;
  Orientation orientation;
};

template <class T>
void CopySpan(const std::uint8_t* src, int chunk_samples, int first_channel, int count, int n, int y, int x0,
              const Layout& layout, SampleImage& image) {
  const int out_y = layout.orientation.flip ? layout.height - 1 - y : y;
  for (int c = 0; c < count; ++c) {
    T* row = image.Row<T>(first_channel + c, out_y);
    const std::uint8_t* s = src + static_cast<std::size_t>(c) * sizeof(T);
    const std::size_t step = static_cast<std::size_t>(chunk_samples) * sizeof(T);
    if (!layout.orientation.mirror) {
      for (int i = 0; i < n; ++i, s += step) std::memcpy(row + x0 + i, s, sizeof(T));
    } else {
      for (int i = 0; i < n; ++i, s += step) std::memcpy(row + (layout.width - 1 - x0 - i), s, sizeof(T));
    }
  }
}

// n pixels of file row y from column x0, chunk_samples interleaved samples
// a pixel, into channels first_channel .. first_channel + count - 1.
void CopySpan(const std::uint8_t* src, int chunk_samples, int first_channel, int count, int n, int y, int x0,
              const Layout& layout, SampleImage& image) {
  switch (layout.type) {
    case SampleType::kU8:
      CopySpan<std::uint8_t>(src, chunk_samples, first_channel, count, n, y, x0, layout, image);
      break;
    case SampleType::kU16:
      CopySpan<std::uint16_t>(src, chunk_samples, first_channel, count, n, y, x0, layout, image);
      break;
    default:
      CopySpan<float>(src, chunk_samples, first_channel, count, n, y, x0, layout, image);
      break;
  }
}

Status ReadLayout(TIFF* tif, std::size_t file_size, Layout& layout) {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height)) {
    return Status::Error("no image size");
  }
  if (const std::string size = CheckPictureSize(width, height); !size.empty()) return Status::Error(size);
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);

  std::uint16_t bits = 1;
  std::uint16_t samples = 1;
  std::uint16_t format = SAMPLEFORMAT_UINT;
  std::uint16_t planar = PLANARCONFIG_CONTIG;
  std::uint16_t compression = COMPRESSION_NONE;
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
  std::uint16_t photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);

  if (samples < 1 || samples > 8) return Status::Error(std::to_string(samples) + " samples a pixel");
  if (photometric == PHOTOMETRIC_MINISBLACK) {
    layout.channels = 1;
  } else if (photometric == PHOTOMETRIC_RGB && samples >= 3) {
    layout.channels = 3;
  } else {
    const char* what = photometric == PHOTOMETRIC_PALETTE      ? "palette colour"
                       : photometric == PHOTOMETRIC_MINISWHITE ? "white-is-zero grey"
                       : photometric == PHOTOMETRIC_SEPARATED  ? "CMYK"
                       : photometric == PHOTOMETRIC_YCBCR      ? "YCbCr"
                       : photometric == PHOTOMETRIC_CIELAB     ? "CIE L*a*b*"
                       : photometric == 32803           ? "a colour-filter mosaic (open it as camera raw)"
                       : photometric == PHOTOMETRIC_RGB ? "RGB with fewer than 3 samples"
                                                        : nullptr;
    return Status::Error(what != nullptr
                             ? std::string("unsupported colour model: ") + what
                             : "unsupported photometric interpretation " + std::to_string(photometric));
  }
  layout.samples = samples;
  if (format == SAMPLEFORMAT_UINT && bits == 8) {
    layout.type = SampleType::kU8;
  } else if (format == SAMPLEFORMAT_UINT && bits == 16) {
    layout.type = SampleType::kU16;
  } else if (format == SAMPLEFORMAT_IEEEFP && bits == 32) {
    layout.type = SampleType::kF32;
  } else {
    const char* kind = format == SAMPLEFORMAT_UINT     ? "unsigned"
                       : format == SAMPLEFORMAT_INT    ? "signed"
                       : format == SAMPLEFORMAT_IEEEFP ? "float"
                                                       : "unknown-format";
    return Status::Error("unsupported samples: " + std::to_string(bits) + "-bit " + kind +
                         " (8 or 16-bit unsigned or 32-bit float are read)");
  }
  layout.separate = planar == PLANARCONFIG_SEPARATE && samples > 1;
  switch (orientation) {
    case ORIENTATION_TOPLEFT:
      break;
    case ORIENTATION_TOPRIGHT:
      layout.orientation.mirror = true;
      break;
    case ORIENTATION_BOTRIGHT:
      layout.orientation.mirror = layout.orientation.flip = true;
      break;
    case ORIENTATION_BOTLEFT:
      layout.orientation.flip = true;
      break;
    default:
      return Status::Error("unsupported orientation " + std::to_string(orientation) +
                           " (rows and columns swapped)");
  }
  if (compression != COMPRESSION_NONE && !TIFFIsCODECConfigured(compression)) {
    return Status::Error("unsupported compression " + std::to_string(compression));
  }

  // Before anything of the claimed size is allocated: can the file hold it?
  const std::uint64_t decoded = static_cast<std::uint64_t>(width) * height * samples * (bits / 8);
  if (compression == COMPRESSION_NONE) {
    if (const std::string absent = CheckDataPresent(file_size, decoded); !absent.empty()) {
      return Status::Error(absent);
    }
  } else if (decoded > kDataAbsentFloorBytes && decoded / kMaxTiffDecodedBytesPerFileByte > file_size) {
    return Status::Error("a " + std::to_string(width) + " x " + std::to_string(height) +
                         " picture from only " + std::to_string(file_size) +
                         " bytes of compressed data (the file is cut short or mostly empty)");
  }
  if (const std::string memory =
          CheckMemoryFor(width, height, SampleImageBytesPerPixel(layout.channels, layout.type));
      !memory.empty()) {
    return Status::Error(memory);
  }
  return Status::Ok();
}

// Reads every strip or tile of the planes kept into `image`.
Status ReadChunks(TIFF* tif, const Layout& layout, SampleImage& image) {
  const int chunk_samples = layout.separate ? 1 : layout.samples;
  const int planes = layout.separate ? layout.channels : 1;
  const std::size_t pixel_bytes = static_cast<std::size_t>(chunk_samples) * SampleBytes(layout.type);
  const std::size_t plane_bytes = image.pixels() * pixel_bytes;
  if (TIFFIsTiled(tif)) {
    std::uint32_t tw = 0;
    std::uint32_t th = 0;
    if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw) || !TIFFGetField(tif, TIFFTAG_TILELENGTH, &th) ||
        tw == 0 || th == 0) {
      return Status::Error("no tile size");
    }
    const std::uint64_t tile_bytes = std::uint64_t{tw} * th * pixel_bytes;
    // A tile may overhang the picture, but not by more than the picture.
    if (tw > 2 * static_cast<std::uint64_t>(layout.width) + 16 ||
        th > 2 * static_cast<std::uint64_t>(layout.height) + 16 ||
        tile_bytes > std::max<std::uint64_t>(4 * plane_bytes, 1 << 20) ||
        static_cast<std::uint64_t>(TIFFTileSize64(tif)) != tile_bytes) {
      return Status::Error("bad tile size " + std::to_string(tw) + " x " + std::to_string(th));
    }
    std::vector<std::uint8_t> buffer(tile_bytes);
    for (int s = 0; s < planes; ++s) {
      for (std::uint32_t ty = 0; ty < static_cast<std::uint32_t>(layout.height); ty += th) {
        for (std::uint32_t tx = 0; tx < static_cast<std::uint32_t>(layout.width); tx += tw) {
          const ttile_t tile = TIFFComputeTile(tif, tx, ty, 0, static_cast<std::uint16_t>(s));
          if (TIFFReadEncodedTile(tif, tile, buffer.data(), static_cast<tmsize_t>(tile_bytes)) < 0) {
            return Status::Error("cannot read tile " + std::to_string(tile));
          }
          const int n = static_cast<int>(std::min<std::uint32_t>(tw, layout.width - tx));
          const int rows = static_cast<int>(std::min<std::uint32_t>(th, layout.height - ty));
          for (int r = 0; r < rows; ++r) {
            const std::uint8_t* src = buffer.data() + static_cast<std::size_t>(r) * tw * pixel_bytes;
            CopySpan(src, chunk_samples, layout.separate ? s : 0, layout.separate ? 1 : layout.channels, n,
                     static_cast<int>(ty) + r, static_cast<int>(tx), layout, image);
          }
        }
      }
    }
    return Status::Ok();
  }
  std::uint32_t rows_per_strip = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
  const std::uint32_t rps = std::clamp<std::uint32_t>(rows_per_strip, 1, layout.height);
  const std::size_t row_bytes = static_cast<std::size_t>(layout.width) * pixel_bytes;
  std::vector<std::uint8_t> buffer(rps * row_bytes);
  for (int s = 0; s < planes; ++s) {
    for (std::uint32_t y0 = 0; y0 < static_cast<std::uint32_t>(layout.height); y0 += rps) {
      const int rows = static_cast<int>(std::min<std::uint32_t>(rps, layout.height - y0));
      const tstrip_t strip = TIFFComputeStrip(tif, y0, static_cast<std::uint16_t>(s));
      const tmsize_t want = static_cast<tmsize_t>(rows * row_bytes);
      if (TIFFReadEncodedStrip(tif, strip, buffer.data(), want) < want) {
        return Status::Error("cannot read strip " + std::to_string(strip));
      }
      for (int r = 0; r < rows; ++r) {
        CopySpan(buffer.data() + r * row_bytes, chunk_samples, layout.separate ? s : 0,
                 layout.separate ? 1 : layout.channels, layout.width, static_cast<int>(y0) + r, 0, layout,
                 image);
      }
    }
  }
  return Status::Ok();
}

Status Decode(const std::uint8_t* data, std::size_t size, SampleImage& image, Messages& messages) {
  MemoryFile file{data, size, 0};
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return Status::Error("libtiff initialisation failed");
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &messages);
  // "m": no memory mapping (the callbacks read from memory already).
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt("TIFF", "rm", &file, ReadProc, WriteProc, SeekProc,
                                                          CloseProc, SizeProc, MapProc, UnmapProc, options));
  TIFFOpenOptionsFree(options);
  if (tif == nullptr) {
    const bool magic =
        size >= 4 &&
        ((data[0] == 'I' && data[1] == 'I' && data[3] == 0 && (data[2] == 42 || data[2] == 43)) ||
         (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43)));
    return Status::Error(magic ? "cannot read the TIFF directory (the file is cut short or damaged)"
                               : "not a TIFF file");
  }
  Layout layout;
  if (Status status = ReadLayout(tif.get(), size, layout); !status) return status;
  if (Status status = image.Allocate(layout.width, layout.height, layout.channels, layout.type); !status) {
    return status;
  }
  return ReadChunks(tif.get(), layout, image);
}

}  // namespace

Status DecodeTiff(const std::uint8_t* data, std::size_t size, const std::string& name, SampleImage& image) {
  image.Clear();
  image.cards.clear();
  Messages messages;
  Status status;
  try {
    status = Decode(data, size, image, messages);
  } catch (const std::bad_alloc&) {
    status = Status::Error("not enough memory to decode the picture");
  }
  if (status) return status;
  image.Clear();
  // libtiff's own words say best what went wrong inside a strip or a tag.
  std::string message = status.message();
  if (!messages.error.empty()) {
    message += ": " + messages.error;
  } else if (!messages.warning.empty()) {
    message += " (" + messages.warning + ")";
  }
  return Status::Error(name + ": " + message);
}

Status ReadTiffFile(const std::string& path, SampleImage& image) {
  image.Clear();
  image.cards.clear();
  std::vector<std::uint8_t> bytes;
  if (Status status = ReadFileBytes(path, bytes); !status) return status;
  return DecodeTiff(bytes.data(), bytes.size(), path, image);
}

}  // namespace qirm
