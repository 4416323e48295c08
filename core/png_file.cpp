// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/png_file.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <new>
#include <string>

namespace qirm {

namespace {

constexpr std::size_t kIdatChunk = std::size_t{256} << 10;

// Where libpng's output and its error message go. libpng is C: nothing may
// throw through it, so the write callback turns a failed allocation into a
// libpng error.
struct PngSink {
  std::vector<std::uint8_t>* bytes = nullptr;
  char message[200] = {};
};

void WriteBytes(png_structp png, png_bytep data, png_size_t size) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  try {
    sink->bytes->insert(sink->bytes->end(), data, data + size);
  } catch (const std::bad_alloc&) {
    png_error(png, "not enough memory to encode the picture");
  }
}

void Flush(png_structp) {}

void OnError(png_structp png, png_const_charp message) {
  auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
  std::strncpy(sink->message, message, sizeof sink->message - 1);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Fills `row` (3 * width samples of `depth` bits, as PNG stores them) for
// row y. Called once per row, so that no second copy of the picture is made.
using RowFiller = void (*)(const void* source, int y, std::uint8_t* row);

// Only plain data between setjmp and longjmp: the rows are filled into a
// buffer owned by the caller.
bool WritePng(const void* source, int width, int height, int depth, RowFiller fill, std::uint8_t* row,
              PngSink& sink) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
  if (png == nullptr) {
    std::strcpy(sink.message, "libpng initialisation failed");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::strcpy(sink.message, "libpng initialisation failed");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &sink, WriteBytes, Flush);
  // Level 3: on noisy sky pictures it compresses as well as the default
  // level 6 in well under half the time. The default strategy and 256 KiB
  // chunks keep the files the program has always written.
  png_set_compression_level(png, 3);
  png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
  png_set_compression_buffer_size(png, kIdatChunk);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), depth,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    fill(source, y, row);
    png_write_row(png, row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

void FillRgb8(const void* source, int y, std::uint8_t* row) {
  const Picture& picture = *static_cast<const Picture*>(source);
  const std::uint8_t* src = picture.Row(y);  // blue, green, red
  for (std::size_t i = 0; i < picture.stride(); i += 3) {
    row[i] = src[i + 2];
    row[i + 1] = src[i + 1];
    row[i + 2] = src[i];
  }
}

void FillRgb16(const void* source, int y, std::uint8_t* row) {
  const Rgb16Picture& picture = *static_cast<const Rgb16Picture*>(source);
  const std::uint16_t* src = picture.Row(y);
  const std::size_t n = static_cast<std::size_t>(picture.width) * 3;
  for (std::size_t i = 0; i < n; ++i) {
    row[2 * i] = static_cast<std::uint8_t>(src[i] >> 8);
    row[2 * i + 1] = static_cast<std::uint8_t>(src[i]);
  }
}

Status Encode(const void* source, int width, int height, int depth, RowFiller fill,
              std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  PngSink sink;
  sink.bytes = &bytes;
  try {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3 * (depth / 8));
    if (WritePng(source, width, height, depth, fill, row.data(), sink)) return Status::Ok();
  } catch (const std::bad_alloc&) {
    std::strcpy(sink.message, "not enough memory to encode the picture");
  }
  bytes.clear();
  return Status::Error(std::string("PNG: ") + sink.message);
}

}  // namespace

Status EncodePng(const Picture& picture, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (picture.empty()) return Status::Error("cannot write an empty picture as PNG");
  return Encode(&picture, picture.width(), picture.height(), 8, FillRgb8, bytes);
}

Status EncodePng16(const Rgb16Picture& picture, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (picture.empty() ||
      picture.samples.size() != static_cast<std::size_t>(picture.width) * picture.height * 3) {
    return Status::Error("cannot write an empty picture as PNG");
  }
  return Encode(&picture, picture.width, picture.height, 16, FillRgb16, bytes);
}

}  // namespace qirm
