// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/tiff_file.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace qirm {

namespace {

// libtiff writes through these callbacks into a growing byte vector. The
// callbacks return failure instead of throwing through C code.
struct MemoryFile {
  std::vector<std::uint8_t>* bytes = nullptr;
  std::size_t position = 0;
};

tmsize_t ReadProc(thandle_t handle, void* data, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  const std::size_t available =
      file->position < file->bytes->size() ? file->bytes->size() - file->position : 0;
  const std::size_t n = std::min(available, static_cast<std::size_t>(size));
  if (n > 0) std::memcpy(data, file->bytes->data() + file->position, n);
  file->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  const std::size_t end = file->position + static_cast<std::size_t>(size);
  try {
    if (end > file->bytes->size()) file->bytes->resize(end);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  std::memcpy(file->bytes->data() + file->position, data, static_cast<std::size_t>(size));
  file->position = end;
  return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  std::size_t base = 0;
  if (whence == SEEK_CUR) base = file->position;
  if (whence == SEEK_END) base = file->bytes->size();
  file->position = base + static_cast<std::size_t>(offset);
  return static_cast<toff_t>(file->position);
}

int CloseProc(thandle_t) { return 0; }

toff_t SizeProc(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes->size(); }

int MapProc(thandle_t, void**, toff_t*) { return 0; }

void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages go to the caller's error text, never to stderr.
thread_local std::string t_tiff_error;

int OnError(TIFF*, void*, const char* module, const char* format, va_list args) {
  char text[300];
  std::vsnprintf(text, sizeof text, format, args);
  t_tiff_error = (module != nullptr ? std::string(module) + ": " : std::string()) + text;
  return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Writes width x height RGB pixels of `depth` bits; fill(y, row) gives row y
// in the machine's sample order (libtiff stores it as is, tagged with the
// machine's byte order).
template <typename FillRow>
Status Encode(int width, int height, int depth, FillRow fill, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  t_tiff_error.clear();
  MemoryFile file{&bytes, 0};
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return Status::Error("TIFF: libtiff initialisation failed");
  TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, nullptr);
  TIFF* tif = TIFFClientOpenExt("memory", "w", &file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                MapProc, UnmapProc, options);
  TIFFOpenOptionsFree(options);
  if (tif == nullptr) return Status::Error("TIFF: " + t_tiff_error);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 3 * (depth / 8);
  const std::uint32_t rows_per_strip =
      static_cast<std::uint32_t>(std::max<std::size_t>(1, (std::size_t{256} << 10) / row_bytes));
  bool ok =
      TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width)) &&
      TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height)) &&
      TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, depth) &&
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
      TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
      TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
      TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
      TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip) && TIFFSetField(tif, TIFFTAG_SOFTWARE, "QIRM");
  try {
    std::vector<std::uint8_t> row(row_bytes);
    for (int y = 0; ok && y < height; ++y) {
      fill(y, row.data());
      ok = TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) == 1;
    }
  } catch (const std::bad_alloc&) {
    t_tiff_error = "not enough memory to encode the picture";
    ok = false;
  }
  ok = ok && TIFFWriteDirectory(tif) == 1;
  TIFFClose(tif);
  if (!ok || bytes.empty()) {
    bytes.clear();
    return Status::Error("TIFF: " +
                         (t_tiff_error.empty() ? std::string("libtiff could not write") : t_tiff_error));
  }
  return Status::Ok();
}

}  // namespace

Status EncodeTiff(const Picture& picture, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (picture.empty()) return Status::Error("cannot write an empty picture as TIFF");
  return Encode(
      picture.width(), picture.height(), 8,
      [&](int y, std::uint8_t* row) {
        const std::uint8_t* src = picture.Row(y);  // blue, green, red
        for (std::size_t i = 0; i < picture.stride(); i += 3) {
          row[i] = src[i + 2];
          row[i + 1] = src[i + 1];
          row[i + 2] = src[i];
        }
      },
      bytes);
}

Status EncodeTiff16(const Rgb16Picture& picture, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (picture.empty() ||
      picture.samples.size() != static_cast<std::size_t>(picture.width) * picture.height * 3) {
    return Status::Error("cannot write an empty picture as TIFF");
  }
  return Encode(
      picture.width, picture.height, 16,
      [&](int y, std::uint8_t* row) {
        std::memcpy(row, picture.Row(y), static_cast<std::size_t>(picture.width) * 3 * sizeof(std::uint16_t));
      },
      bytes);
}

}  // namespace qirm
