// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/png_reader.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "core/file_bytes.h"

namespace qirm {

namespace {

// libpng is C and leaves through longjmp on an error: the functions that
// call it hold only plain data, and the message is kept here.
struct PngSource {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t position = 0;
  char message[200] = {};
  char warning[200] = {};  // the last one: it often says why an error came
};

void ReadBytes(png_structp png, png_bytep out, png_size_t n) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (n > source->size - source->position) png_error(png, "the file is cut short");
  std::memcpy(out, source->data + source->position, n);
  source->position += n;
}

void OnError(png_structp png, png_const_charp message) {
  auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
  std::strncpy(source->message, message, sizeof source->message - 1);
  png_longjmp(png, 1);
}

void OnWarning(png_structp png, png_const_charp message) {
  auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
  std::strncpy(source->warning, message, sizeof source->warning - 1);
}

// libpng's error, with the warning that came before it.
Status PngError(const PngSource& source) {
  std::string message = source.message;
  if (source.warning[0] != '\0') message += std::string(" (") + source.warning + ")";
  return Status::Error(message);
}

struct Header {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bit_depth = 0;
  int colour_type = 0;
  int interlace = 0;
  int file_channels = 0;  // samples a pixel as stored (palette: 1)
  int channels = 0;       // after the transforms: 1 or 3
};

// Reads up to the first image data and sets the transforms.
bool ReadHeader(png_structp png, png_infop info, Header& header) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_get_IHDR(png, info, &header.width, &header.height, &header.bit_depth, &header.colour_type,
               &header.interlace, nullptr, nullptr);
  header.file_channels = png_get_channels(png, info);
  if (header.colour_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (header.colour_type == PNG_COLOR_TYPE_GRAY && header.bit_depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (header.colour_type & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
  if (header.interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  header.channels = png_get_channels(png, info);
  return true;
}

// Reads every row into rows[y] (rowbytes each).
bool ReadRows(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, info);
  return true;
}

// Reads row after row, each into `row` and then out through `store`.
bool ReadRowByRow(png_structp png, png_infop info, png_uint_32 height, png_bytep row,
                  void (*store)(void*, png_uint_32, const std::uint8_t*), void* target) {
  if (setjmp(png_jmpbuf(png))) return false;
  for (png_uint_32 y = 0; y < height; ++y) {
    png_read_row(png, row, nullptr);
    store(target, y, row);
  }
  png_read_end(png, info);
  return true;
}

// One row as libpng gives it (samples interleaved, 16-bit ones big-endian)
// into the planes.
void StoreRow(SampleImage& image, int y, const std::uint8_t* row) {
  const int channels = image.channels();
  const int w = image.width();
  for (int c = 0; c < channels; ++c) {
    if (image.type() == SampleType::kU16) {
      std::uint16_t* out = image.Row<std::uint16_t>(c, y);
      const std::uint8_t* p = row + 2 * c;
      for (int x = 0; x < w; ++x, p += 2 * channels) out[x] = static_cast<std::uint16_t>(p[0] << 8 | p[1]);
    } else {
      std::uint8_t* out = image.Row<std::uint8_t>(c, y);
      const std::uint8_t* p = row + c;
      for (int x = 0; x < w; ++x, p += channels) out[x] = *p;
    }
  }
}

void StoreRowCallback(void* target, png_uint_32 y, const std::uint8_t* row) {
  StoreRow(*static_cast<SampleImage*>(target), static_cast<int>(y), row);
}

struct PngReadStruct {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReadStruct() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  }
};

Status Decode(const std::uint8_t* data, std::size_t size, SampleImage& image) {
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return Status::Error("not a PNG file");
  PngSource source{data, size, 0, {}, {}};
  PngReadStruct read;
  read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnError, OnWarning);
  if (read.png == nullptr) return Status::Error("libpng initialisation failed");
  read.info = png_create_info_struct(read.png);
  if (read.info == nullptr) return Status::Error("libpng initialisation failed");
  png_set_read_fn(read.png, &source, ReadBytes);
  // Sizes past the limits are refused by libpng itself, before any row.
  png_set_user_limits(read.png, kMaxPictureSide, kMaxPictureSide);
  png_set_chunk_malloc_max(read.png, 8 << 20);

  Header header;
  if (!ReadHeader(read.png, read.info, header)) return PngError(source);
  if (const std::string size_error = CheckPictureSize(header.width, header.height); !size_error.empty()) {
    return Status::Error(size_error);
  }
  const SampleType type = header.bit_depth == 16 ? SampleType::kU16 : SampleType::kU8;
  // The bytes deflate must give: a filter byte and the packed samples a row.
  const std::uint64_t row_bits = std::uint64_t{header.width} * header.file_channels * header.bit_depth;
  const std::uint64_t decoded = std::uint64_t{header.height} * (1 + (row_bits + 7) / 8);
  if (decoded > kDataAbsentFloorBytes && decoded / kMaxPngDecodedBytesPerFileByte > size) {
    return Status::Error("a " + std::to_string(header.width) + " x " + std::to_string(header.height) +
                         " picture from only " + std::to_string(size) +
                         " bytes of compressed data (the file is cut short or mostly empty)");
  }
  const std::size_t rowbytes = png_get_rowbytes(read.png, read.info);
  const bool interlaced = header.interlace != PNG_INTERLACE_NONE;
  // An interlaced file is decoded whole before its rows are spread.
  const int extra = interlaced ? header.channels * SampleBytes(type) : 0;
  if (const std::string memory = CheckMemoryFor(header.width, header.height,
                                                SampleImageBytesPerPixel(header.channels, type) + extra);
      !memory.empty()) {
    return Status::Error(memory);
  }
  if (header.channels != 1 && header.channels != 3) {
    return Status::Error("unexpected " + std::to_string(header.channels) + " channels after decoding");
  }
  if (Status status = image.Allocate(static_cast<int>(header.width), static_cast<int>(header.height),
                                     header.channels, type);
      !status) {
    return status;
  }
  if (!interlaced) {
    std::vector<std::uint8_t> row(rowbytes);
    if (!ReadRowByRow(read.png, read.info, header.height, row.data(), StoreRowCallback, &image)) {
      return PngError(source);
    }
    return Status::Ok();
  }
  std::vector<std::uint8_t> whole(rowbytes * header.height);
  std::vector<png_bytep> rows(header.height);
  for (png_uint_32 y = 0; y < header.height; ++y) rows[y] = whole.data() + y * rowbytes;
  if (!ReadRows(read.png, read.info, rows.data())) return PngError(source);
  for (png_uint_32 y = 0; y < header.height; ++y) StoreRow(image, static_cast<int>(y), rows[y]);
  return Status::Ok();
}

}  // namespace

Status DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name, SampleImage& image) {
  image.Clear();
  image.cards.clear();
  Status status;
  try {
    status = Decode(data, size, image);
  } catch (const std::bad_alloc&) {
    status = Status::Error("not enough memory to decode the picture");
  }
  if (status) return status;
  image.Clear();
  return Status::Error(name + ": " + status.message());
}

Status ReadPngFile(const std::string& path, SampleImage& image) {
  image.Clear();
  image.cards.clear();
  std::vector<std::uint8_t> bytes;
  if (Status status = ReadFileBytes(path, bytes); !status) return status;
  return DecodePng(bytes.data(), bytes.size(), path, image);
}

}  // namespace qirm
