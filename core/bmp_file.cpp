// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/bmp_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>

#include "core/file_bytes.h"

namespace qirm {

namespace {

constexpr std::size_t kFileHeaderSize = 14;

// Compression field values.
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;
constexpr std::uint32_t kBiAlphaBitfields = 6;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// One colour channel of a 16- or 32-bit pixel: its mask, where it starts and
// how many bits wide it is.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  std::uint8_t Extract(std::uint32_t pixel) const {
    if (bits == 0) return 0;
    const std::uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<std::uint8_t>(v >> (bits - 8));
    const std::uint32_t max = (1u << bits) - 1;
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
  }
};

// False for a mask whose set bits are not one run.
bool MakeChannel(std::uint32_t mask, Channel& c) {
  c = Channel{};
  if (mask == 0) return true;
  c.mask = mask;
  c.shift = std::countr_zero(mask);
  const std::uint32_t run = mask >> c.shift;
  if ((run & (run + 1)) != 0) return false;
  c.bits = std::popcount(run);
  return true;
}

// Bytes of one stored row, padded to 4.
std::uint64_t RowStride(int width, int bits) {
  return (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
}

struct BmpLayout {
  int width = 0;
  int height = 0;
  bool top_down = false;
  int bits = 0;
  std::uint32_t compression = kBiRgb;
  // Blue, green, red of each palette entry; entries the file lacks are black.
  std::array<std::array<std::uint8_t, 3>, 256> palette{};
  Channel red, green, blue;
  std::size_t data_offset = 0;
};

std::string CompressionName(std::uint32_t c) {
  std::string text = "unsupported compression " + std::to_string(c);
  if (c == kBiJpeg) text += " (JPEG in BMP)";
  if (c == kBiPng) text += " (PNG in BMP)";
  return text;
}

// Reads and checks the headers, the masks and the palette. Returns the reason
// for refusing the file, or "" when the layout is usable.
std::string ParseLayout(const std::uint8_t* data, std::size_t size, BmpLayout& out) {
  if (size < 2 || data[0] != 'B' || data[1] != 'M') return "not a BMP file";
  if (size < kFileHeaderSize + 4) return "truncated header";
  const std::uint32_t header_size = U32(data + kFileHeaderSize);
  const bool core = header_size == 12;
  const bool os2v2 = header_size == 16 || header_size == 64;
  if (!core && !os2v2 && header_size != 40 && header_size != 52 && header_size != 56 && header_size != 108 &&
      header_size != 124) {
    return "unsupported header size " + std::to_string(header_size);
  }
  if (size < kFileHeaderSize + header_size) return "truncated header";
  const std::uint8_t* h = data + kFileHeaderSize;

  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint32_t colours_used = 0;
  if (core) {
    width = U16(h + 4);
    height = U16(h + 6);
    out.bits = U16(h + 10);
  } else {
    width = static_cast<std::int32_t>(U32(h + 4));
    height = static_cast<std::int32_t>(U32(h + 8));
    out.bits = U16(h + 14);
    if (header_size >= 40) {
      out.compression = U32(h + 16);
      colours_used = U32(h + 32);
    }
  }
  out.top_down = height < 0;
  if (height < 0) height = -height;
  if (std::string reason = CheckPictureSize(width, height); !reason.empty()) return reason;
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);

  // OS/2 2.x gives 3 and 4 other meanings (Huffman 1D, RLE24): not read.
  const std::uint32_t c = out.compression;
  const bool masked = !os2v2 && (c == kBiBitfields || c == kBiAlphaBitfields);
  if (c != kBiRgb && c != kBiRle8 && c != kBiRle4 && !masked) return CompressionName(c);
  const int b = out.bits;
  if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) {
    return "unsupported bit depth " + std::to_string(b);
  }
  if ((c == kBiRle8 && b != 8) || (c == kBiRle4 && b != 4) || (masked && b != 16 && b != 32)) {
    return "bit depth " + std::to_string(b) + " does not fit compression " + std::to_string(c);
  }
  if (out.top_down && (c == kBiRle8 || c == kBiRle4)) return "top-down RLE bitmap";

  // Colour masks: inside v2+ headers, else right after a 40-byte header.
  std::size_t table_start = kFileHeaderSize + header_size;
  std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (b == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0x00FF00;
    masks[2] = 0x0000FF;
  }
  if (masked) {
    const std::uint8_t* m = h + 40;
    if (header_size == 40) {
      const std::size_t mask_bytes = c == kBiAlphaBitfields ? 16 : 12;
      if (size < table_start + mask_bytes) return "truncated header";
      m = data + table_start;
      table_start += mask_bytes;
    }
    for (int i = 0; i < 3; ++i) masks[i] = U32(m + 4 * i);
  }
  if (!MakeChannel(masks[0], out.red) || !MakeChannel(masks[1], out.green) ||
      !MakeChannel(masks[2], out.blue) || (b == 16 && (masks[0] | masks[1] | masks[2]) > 0xFFFF)) {
    return "bad colour masks";
  }

  std::size_t table_end = table_start;
  if (b <= 8) {
    const std::uint32_t full = 1u << b;
    const std::uint32_t entries = colours_used == 0 ? full : std::min(colours_used, full);
    const std::size_t entry_size = core ? 3 : 4;
    table_end = table_start + entries * entry_size;
    if (size < table_end) return "truncated colour table";
    for (std::uint32_t i = 0; i < entries; ++i) {
      const std::uint8_t* e = data + table_start + i * entry_size;
      out.palette[i] = {e[0], e[1], e[2]};
    }
  }

  // A zero offset, seen in some old writers, means "right after the table".
  const std::uint32_t offset = U32(data + 10);
  out.data_offset = offset == 0 ? table_end : offset;
  if (out.data_offset < kFileHeaderSize + header_size) return "bad pixel data offset";
  if (out.data_offset > size) return "truncated pixel data";
  // Uncompressed rows are checked against the file now, before the picture
  // is allocated. The padding of the last row may be missing.
  if (c != kBiRle8 && c != kBiRle4) {
    const std::uint64_t row_bits = static_cast<std::uint64_t>(out.width) * b;
    const std::uint64_t needed = RowStride(out.width, b) * (out.height - 1) + (row_bits + 7) / 8;
    if (size - out.data_offset < needed) return "truncated pixel data";
  }
  return "";
}

// Row r of the file (0 = first stored) as a picture row.
int PictureRow(const BmpLayout& l, int r) { return l.top_down ? r : l.height - 1 - r; }

// ParseLayout has checked that the rows are all there.
std::string DecodeUncompressed(const std::uint8_t* data, const BmpLayout& l, Picture& picture) {
  const std::uint64_t stride = RowStride(l.width, l.bits);
  for (int r = 0; r < l.height; ++r) {
    const std::uint8_t* src = data + l.data_offset + stride * r;
    std::uint8_t* dst = picture.Row(PictureRow(l, r));
    switch (l.bits) {
      case 1:
      case 4:
      case 8:
        for (int x = 0; x < l.width; ++x) {
          unsigned index;
          if (l.bits == 8) {
            index = src[x];
          } else if (l.bits == 4) {
            index = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
          } else {
            index = (src[x >> 3] >> (7 - (x & 7))) & 1;
          }
          std::memcpy(dst + 3 * x, l.palette[index].data(), 3);
        }
        break;
      case 24:
        std::memcpy(dst, src, 3 * static_cast<std::size_t>(l.width));
        break;
      case 16:
      case 32:
        for (int x = 0; x < l.width; ++x) {
          const std::uint32_t pixel = l.bits == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
          dst[3 * x] = l.blue.Extract(pixel);
          dst[3 * x + 1] = l.green.Extract(pixel);
          dst[3 * x + 2] = l.red.Extract(pixel);
        }
        break;
    }
  }
  return "";
}

// RLE8 / RLE4: runs of one index (RLE4: two alternating indices), literal
// runs padded to an even byte count, end of line, end of bitmap, delta.
// Output past the right edge is dropped; a stream that ends before the end of
// bitmap code is complete only if the last row is full.
std::string DecodeRle(const std::uint8_t* data, std::size_t size, const BmpLayout& l, Picture& picture) {
  const bool rle4 = l.compression == kBiRle4;
  const std::uint8_t* d = data + l.data_offset;
  const std::size_t n = size - l.data_offset;
  const int w = l.width;
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(w) * l.height, 0);
  std::size_t p = 0;
  int x = 0;
  int y = 0;
  auto put = [&](unsigned index) {
    if (x < w) indices[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(index);
    if (x < w) ++x;
  };
  for (;;) {
    if (y >= l.height) break;
    if (n - p < 2) {
      if (y == l.height - 1 && x >= w) break;
      return "truncated pixel data";
    }
    const unsigned count = d[p];
    const unsigned value = d[p + 1];
    p += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count && x < w; ++i) put(rle4 ? ((i & 1) ? value & 0x0F : value >> 4) : value);
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (n - p < 2) return "truncated pixel data";
      x = std::min(x + d[p], w);
      y += d[p + 1];
      p += 2;
    } else {
      const std::size_t bytes = rle4 ? (value + 1) / 2 : value;
      if (n - p < bytes) return "truncated pixel data";
      for (unsigned i = 0; i < value; ++i) {
        put(rle4 ? ((i & 1) ? d[p + i / 2] & 0x0F : d[p + i / 2] >> 4) : d[p + i]);
      }
      p += std::min(n - p, bytes + (bytes & 1));
    }
  }
  for (int r = 0; r < l.height; ++r) {
    const std::uint8_t* src = indices.data() + static_cast<std::size_t>(r) * w;
    std::uint8_t* dst = picture.Row(PictureRow(l, r));
    for (int i = 0; i < w; ++i) std::memcpy(dst + 3 * i, l.palette[src[i]].data(), 3);
  }
  return "";
}

}  // namespace

Status DecodeBmp(const std::uint8_t* data, std::size_t size, const std::string& name, Picture& picture) {
  picture = Picture();
  BmpLayout layout;
  std::string reason = ParseLayout(data, size, layout);
  const bool rle = layout.compression == kBiRle8 || layout.compression == kBiRle4;
  if (reason.empty() && rle) {
    const std::size_t data_bytes = size > layout.data_offset ? size - layout.data_offset : 0;
    reason = CheckCompressedSize(data_bytes, layout.width, layout.height);
  }
  // The picture, the window's copies of it, and the file's bytes.
  if (reason.empty()) reason = CheckMemoryFor(layout.width, layout.height, kColourWindowBytesPerPixel);
  if (reason.empty()) {
    try {
      picture.Resize(layout.width, layout.height);
      reason = rle ? DecodeRle(data, size, layout, picture) : DecodeUncompressed(data, layout, picture);
    } catch (const std::bad_alloc&) {
      reason = "not enough memory for a " + std::to_string(layout.width) + " x " +
               std::to_string(layout.height) + " picture";
    }
  }
  if (reason.empty()) return Status::Ok();
  picture = Picture();
  return Status::Error(name + ": " + reason);
}

namespace {

// Bytes read for the headers: every header, mask and palette ends before.
constexpr std::size_t kHeadBytes = 4096;
// Rows are read about this many bytes at a time (the block stays in cache
// while its rows are copied out).
constexpr std::size_t kRowBlockBytes = std::size_t{256} << 10;

class FileCloser {
 public:
  explicit FileCloser(int fd) : m_fd(fd) {}
  ~FileCloser() { ::close(m_fd); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  int m_fd;
};

enum class Streamed { kNo, kDone };

// 24-bit uncompressed files, the common case, read a block of rows at a time
// straight into the picture: the file's bytes are never held whole, which
// would cost a second picture's worth of fresh memory and one more copy.
// kNo (picture untouched) for every other file, which is read whole.
Streamed StreamUncompressed24(const std::string& path, Picture& picture, Status& status) {
  std::string refusal;
  const int fd = OpenRegularFile(path, refusal);
  if (fd < 0) return Streamed::kNo;
  FileCloser closer(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return Streamed::kNo;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size > kMaxPictureFileBytes) return Streamed::kNo;
  std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeadBytes)));
  const auto head_bytes = static_cast<long long>(head.size());
  if (ReadAt(fd, head.data(), head_bytes, 0) != head_bytes) return Streamed::kNo;
  BmpLayout l;
  // The layout's checks against the file's size include the rows' presence.
  if (!ParseLayout(head.data(), static_cast<std::size_t>(size), l).empty() || l.compression != kBiRgb ||
      l.bits != 24) {
    return Streamed::kNo;
  }
  auto fail = [&](const std::string& reason) {
    picture = Picture();
    status = Status::Error(path + ": " + reason);
    return Streamed::kDone;
  };
  if (std::string reason = CheckMemoryFor(l.width, l.height, kColourWindowBytesPerPixel); !reason.empty())
    return fail(reason);
  const std::uint64_t stride = RowStride(l.width, 24);
  const std::size_t row_bytes = 3 * static_cast<std::size_t>(l.width);
  const int block_rows = static_cast<int>(std::max<std::uint64_t>(1, kRowBlockBytes / stride));
  std::vector<std::uint8_t> block;
  try {
    picture.ResizeUnfilled(l.width, l.height);  // every byte of every row is written below
    block.resize(static_cast<std::size_t>(stride) * block_rows);
  } catch (const std::bad_alloc&) {
    return fail("not enough memory for a " + std::to_string(l.width) + " x " + std::to_string(l.height) +
                " picture");
  }
  for (int r0 = 0; r0 < l.height; r0 += block_rows) {
    const int rows = std::min(block_rows, l.height - r0);
    // The padding of the file's last row may be missing.
    const auto want = static_cast<long long>(stride * (rows - 1) + row_bytes);
    const long long got = ReadAt(fd, block.data(), want, static_cast<long long>(l.data_offset + stride * r0));
    if (got < 0) return fail(std::string("cannot read: ") + std::strerror(errno));
    // The file shrank since its size was taken.
    if (got < want) return fail("truncated pixel data");
    for (int i = 0; i < rows; ++i)
      std::memcpy(picture.Row(PictureRow(l, r0 + i)), block.data() + stride * i, row_bytes);
  }
  status = Status::Ok();
  return Streamed::kDone;
}

}  // namespace

Status ReadBmpFile(const std::string& path, Picture& picture) {
  Status status;
  if (StreamUncompressed24(path, picture, status) == Streamed::kDone) return status;
  std::vector<std::uint8_t> bytes;
  if (Status s = ReadFileBytes(path, bytes); !s) {
    picture = Picture();
    return s;
  }
  return DecodeBmp(bytes.data(), bytes.size(), path, picture);
}

bool BmpHeader(int width, int height, std::vector<std::uint8_t>& header, std::size_t& row_bytes) {
  if (width <= 0 || height <= 0) return false;
  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
  const std::uint64_t image_size = stride * height;
  const std::uint64_t file_size = kFileHeaderSize + 40 + image_size;
  if (file_size > 0xFFFFFFFFu) return false;
  row_bytes = static_cast<std::size_t>(stride);
  header.assign(kFileHeaderSize + 40, 0);
  std::uint8_t* f = header.data();
  f[0] = 'B';
  f[1] = 'M';
  Put32(f + 2, static_cast<std::uint32_t>(file_size));
  Put32(f + 10, kFileHeaderSize + 40);
  std::uint8_t* h = f + kFileHeaderSize;
  Put32(h, 40);
  Put32(h + 4, static_cast<std::uint32_t>(width));
  Put32(h + 8, static_cast<std::uint32_t>(height));  // positive: bottom-up
  Put16(h + 12, 1);                                  // planes
  Put16(h + 14, 24);
  Put32(h + 16, kBiRgb);
  Put32(h + 20, static_cast<std::uint32_t>(image_size));
  Put32(h + 24, 2835);  // 72 dpi
  Put32(h + 28, 2835);
  return true;
}

Status EncodeBmp(const Picture& picture, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (picture.empty()) return Status::Error("cannot write an empty picture as BMP");
  std::vector<std::uint8_t> header;
  std::size_t stride = 0;
  if (!BmpHeader(picture.width(), picture.height(), header, stride)) {
    return Status::Error("picture too large for a BMP file");
  }
  try {
    bytes.assign(header.size() + stride * picture.height(), 0);
  } catch (const std::bad_alloc&) {
    return Status::Error("not enough memory to encode the picture");
  }
  std::copy(header.begin(), header.end(), bytes.begin());
  std::uint8_t* pixels = bytes.data() + header.size();
  for (int r = 0; r < picture.height(); ++r) {
    std::memcpy(pixels + stride * r, picture.Row(picture.height() - 1 - r), picture.stride());
  }
  return Status::Ok();
}

}  // namespace qirm
