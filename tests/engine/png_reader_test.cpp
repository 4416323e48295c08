// SPDX-License-Identifier: GPL-3.0-or-later
// PNG reading into SampleImage: every colour type and depth read back
// exactly (alpha dropped, palettes and small grey depths expanded), the
// program's own PNG files read back, and the files refused.
#include "core/png_reader.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/file_bytes.h"
#include "core/png_file.h"

namespace qirm {
namespace {

struct PngSpec {
  const char* name = "";
  int width = 23;
  int height = 11;
  int colour_type = PNG_COLOR_TYPE_GRAY;
  int bits = 8;
  bool interlaced = false;
};

int FileChannels(int colour_type) {
  switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    default:
      return 1;
  }
}

// Sample s of pixel (x, y) as stored: within the depth, distinct.
int FileSample(const PngSpec& spec, int x, int y, int s) {
  const int i = (y * spec.width + x) * FileChannels(spec.colour_type) + s;
  return static_cast<int>((i * 2654435761u + 977u) % (1u << spec.bits));
}

// The palette of the palette cases: entry k is (k * 7, 255 - k * 3, k * 13) mod 256.
png_color PaletteEntry(int k) {
  return png_color{static_cast<png_byte>(k * 7), static_cast<png_byte>(255 - k * 3),
                   static_cast<png_byte>(k * 13)};
}

void Append(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

void Flush(png_structp) {}

// Writes the file through libpng; empty on failure.
std::vector<std::uint8_t> WritePng(const PngSpec& spec) {
  std::vector<std::uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  const int channels = FileChannels(spec.colour_type);
  const std::size_t row_bytes = (static_cast<std::size_t>(spec.width) * channels * spec.bits + 7) / 8;
  std::vector<std::vector<std::uint8_t>> rows(spec.height, std::vector<std::uint8_t>(row_bytes, 0));
  for (int y = 0; y < spec.height; ++y) {
    for (int x = 0; x < spec.width; ++x) {
      for (int s = 0; s < channels; ++s) {
        const int v = FileSample(spec, x, y, s);
        const int bit = (x * channels + s) * spec.bits;
        if (spec.bits == 16) {
          rows[y][bit / 8] = static_cast<std::uint8_t>(v >> 8);
          rows[y][bit / 8 + 1] = static_cast<std::uint8_t>(v);
        } else {
          rows[y][bit / 8] |= static_cast<std::uint8_t>(v << (8 - spec.bits - bit % 8));
        }
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (auto& r : rows) pointers.push_back(r.data());
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, Append, Flush);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bits, spec.colour_type,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  if (spec.colour_type == PNG_COLOR_TYPE_PALETTE) {
    std::vector<png_color> palette;
    for (int k = 0; k < (1 << spec.bits); ++k) palette.push_back(PaletteEntry(k));
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  }
  png_write_info(png, info);
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Status Decode(const std::vector<std::uint8_t>& bytes, SampleImage& image) {
  return DecodePng(bytes.data(), bytes.size(), "test.png", image);
}

// What the reader must give for channel c of pixel (x, y).
int Expected(const PngSpec& spec, int x, int y, int c) {
  if (spec.colour_type == PNG_COLOR_TYPE_PALETTE) {
    const png_color e = PaletteEntry(FileSample(spec, x, y, 0));
    return c == 0 ? e.red : c == 1 ? e.green : e.blue;
  }
  const int v = FileSample(spec, x, y, c);
  // Grey of 1, 2 or 4 bits is spread over 0..255.
  return spec.bits < 8 ? v * 255 / ((1 << spec.bits) - 1) : v;
}

TEST(PngReader, EveryColourTypeReadsBackExactly) {
  const PngSpec cases[] = {
      {.name = "grey 8"},
      {.name = "grey 16", .bits = 16},
      {.name = "grey 1", .bits = 1},
      {.name = "grey 4", .bits = 4},
      {.name = "grey alpha 8", .colour_type = PNG_COLOR_TYPE_GRAY_ALPHA},
      {.name = "grey alpha 16", .colour_type = PNG_COLOR_TYPE_GRAY_ALPHA, .bits = 16},
      {.name = "rgb 8", .colour_type = PNG_COLOR_TYPE_RGB},
      {.name = "rgb 16", .colour_type = PNG_COLOR_TYPE_RGB, .bits = 16},
      {.name = "rgba 8", .colour_type = PNG_COLOR_TYPE_RGB_ALPHA},
      {.name = "rgba 16", .colour_type = PNG_COLOR_TYPE_RGB_ALPHA, .bits = 16},
      {.name = "palette 8", .colour_type = PNG_COLOR_TYPE_PALETTE},
      {.name = "palette 2", .colour_type = PNG_COLOR_TYPE_PALETTE, .bits = 2},
      {.name = "interlaced rgb 16", .colour_type = PNG_COLOR_TYPE_RGB, .bits = 16, .interlaced = true},
      {.name = "interlaced grey 2", .bits = 2, .interlaced = true},
  };
  for (const PngSpec& spec : cases) {
    SCOPED_TRACE(spec.name);
    const std::vector<std::uint8_t> bytes = WritePng(spec);
    ASSERT_FALSE(bytes.empty());
    SampleImage image;
    const Status status = Decode(bytes, image);
    ASSERT_TRUE(status) << status.message();
    const int channels = (spec.colour_type & PNG_COLOR_MASK_COLOR) ? 3 : 1;
    ASSERT_EQ(image.width(), spec.width);
    ASSERT_EQ(image.height(), spec.height);
    ASSERT_EQ(image.channels(), channels);
    ASSERT_EQ(image.type(), spec.bits == 16 ? SampleType::kU16 : SampleType::kU8);
    for (int c = 0; c < channels; ++c)
      for (int y = 0; y < spec.height; ++y)
        for (int x = 0; x < spec.width; ++x)
          ASSERT_EQ(image.plane(c).Value(x, y), Expected(spec, x, y, c)) << c << " " << x << "," << y;
  }
}

TEST(PngReader, ReadsTheProgramsOwnFiles) {
  Picture picture = Picture::Unfilled(19, 7);
  Rgb16Picture picture16(19, 7);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 19; ++x) {
      for (int c = 0; c < 3; ++c) {
        picture.Row(y)[3 * x + c] = static_cast<std::uint8_t>(x * 13 + y * 29 + c * 71);
        picture16.Row(y)[3 * x + c] = static_cast<std::uint16_t>(x * 3313 + y * 7919 + c * 20011);
      }
    }
  }
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(EncodePng(picture, bytes));
  SampleImage image;
  ASSERT_TRUE(Decode(bytes, image));
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 19; ++x)
      for (int c = 0; c < 3; ++c)  // the picture holds blue, green, red
        ASSERT_EQ(image.Row<std::uint8_t>(c, y)[x], picture.Row(y)[3 * x + 2 - c]);
  ASSERT_TRUE(EncodePng16(picture16, bytes));
  ASSERT_TRUE(Decode(bytes, image));
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 19; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(image.Row<std::uint16_t>(c, y)[x], picture16.Row(y)[3 * x + c]);
}

// The IHDR of a PNG file rewritten to claim w x h, its CRC made right.
std::vector<std::uint8_t> Claiming(std::vector<std::uint8_t> bytes, std::uint32_t w, std::uint32_t h) {
  for (int i = 0; i < 4; ++i) {
    bytes[16 + i] = static_cast<std::uint8_t>(w >> (24 - 8 * i));
    bytes[20 + i] = static_cast<std::uint8_t>(h >> (24 - 8 * i));
  }
  const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, bytes.data() + 12, 17));
  for (int i = 0; i < 4; ++i) bytes[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  return bytes;
}

TEST(PngReader, RefusesBrokenAndHollowFilesWithOneLine) {
  const std::vector<std::uint8_t> whole =
      WritePng({.width = 200, .height = 100, .colour_type = PNG_COLOR_TYPE_RGB, .bits = 16});
  std::vector<std::uint8_t> bad_crc = whole;
  bad_crc[29] ^= 0x40;  // the CRC of IHDR
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* says;
  } cases[] = {
      {"cut", std::vector<std::uint8_t>(whole.begin(), whole.begin() + whole.size() / 2), "cut short"},
      {"bad CRC", bad_crc, "CRC"},
      {"not a PNG", {'G', 'I', 'F', '8', '9', 'a', 0x1b, '\n', 0, 0}, "not a PNG"},
      {"empty", {}, "not a PNG"},
      {"hollow", Claiming(whole, 16000, 16000), "compressed data"},
      {"too wide", Claiming(whole, 40000, 10), "width"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SampleImage image;
    const Status status = Decode(c.bytes, image);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.message().rfind("test.png: ", 0), 0u) << status.message();
    EXPECT_NE(status.message().find(c.says), std::string::npos) << status.message();
    for (char ch : status.message()) EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << status.message();
    EXPECT_TRUE(image.empty());
  }
}

TEST(PngReader, RefusesWhatMemoryCannotHold) {
  const std::vector<std::uint8_t> bytes = WritePng({.width = 1000, .height = 1000, .bits = 16});
  SetAvailableMemoryForTesting(4u << 20);
  SampleImage image;
  const Status status = Decode(bytes, image);
  SetAvailableMemoryForTesting(0);
  ASSERT_FALSE(status);
  EXPECT_NE(status.message().find("MiB of memory"), std::string::npos) << status.message();
  EXPECT_TRUE(Decode(bytes, image));
}

TEST(PngReader, ReadsFromAFile) {
  const PngSpec spec{.colour_type = PNG_COLOR_TYPE_RGB};
  const std::vector<std::uint8_t> bytes = WritePng(spec);
  const std::string path = ::testing::TempDir() + "qirm_png_reader_file.png";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  SampleImage image;
  ASSERT_TRUE(ReadPngFile(path, image));
  EXPECT_EQ(image.Row<std::uint8_t>(2, 4)[9], FileSample(spec, 9, 4, 2));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace qirm
