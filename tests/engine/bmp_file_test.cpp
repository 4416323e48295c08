// SPDX-License-Identifier: GPL-3.0-or-later
// BMP reading and writing: hand-made files of every depth, compression and
// orientation, damaged files, the real palette BMP of the shared data and a
// cross-check of the writer with ImageMagick.
#include "core/bmp_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// The hand-made files name only the header fields that differ from the
// defaults of BmpParts.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qirm {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Patch32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The pieces of a BMP file, written byte by byte by AssembleBmp.
struct BmpParts {
  int header_size = 40;  // 12, 16, 40, 52, 56, 64, 108, 124
  std::int32_t width = 1;
  std::int32_t height = 1;  // negative: top-down
  int bits = 24;
  std::uint32_t compression = 0;
  std::uint32_t colours_used = 0;
  std::vector<std::uint32_t> masks;  // after a 40-byte header, else inside the header
  Bytes palette;                     // entries as stored (3 or 4 bytes each)
  Bytes pixels;                      // stored rows, padding included
};

Bytes AssembleBmp(const BmpParts& p) {
  Bytes b = {'B', 'M'};
  Put32(b, 0);  // file size, patched below
  Put32(b, 0);
  Put32(b, 0);  // pixel offset, patched below
  const std::size_t header_at = b.size();
  Put32(b, static_cast<std::uint32_t>(p.header_size));
  if (p.header_size == 12) {
    Put16(b, static_cast<std::uint32_t>(p.width));
    Put16(b, static_cast<std::uint32_t>(p.height));
    Put16(b, 1);
    Put16(b, static_cast<std::uint32_t>(p.bits));
  } else {
    Put32(b, static_cast<std::uint32_t>(p.width));
    Put32(b, static_cast<std::uint32_t>(p.height));
    Put16(b, 1);
    Put16(b, static_cast<std::uint32_t>(p.bits));
    if (p.header_size >= 40) {
      Put32(b, p.compression);
      Put32(b, static_cast<std::uint32_t>(p.pixels.size()));
      Put32(b, 2835);
      Put32(b, 2835);
      Put32(b, p.colours_used);
      Put32(b, 0);
    }
    if (p.header_size == 52 || p.header_size == 56 || p.header_size == 108 || p.header_size == 124) {
      for (std::uint32_t m : p.masks) Put32(b, m);
    }
  }
  b.resize(header_at + p.header_size, 0);
  if (p.header_size == 40) {
    for (std::uint32_t m : p.masks) Put32(b, m);
  }
  b.insert(b.end(), p.palette.begin(), p.palette.end());
  Patch32(b, 10, static_cast<std::uint32_t>(b.size()));
  b.insert(b.end(), p.pixels.begin(), p.pixels.end());
  Patch32(b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

// Packs one row of indices at `bits` per pixel, first pixel in the high
// bits, padded to 4 bytes.
Bytes PackRow(const std::vector<unsigned>& indices, int bits) {
  Bytes row;
  unsigned acc = 0;
  int filled = 0;
  for (unsigned v : indices) {
    acc = (acc << bits) | v;
    filled += bits;
    if (filled == 8) {
      row.push_back(static_cast<std::uint8_t>(acc));
      acc = 0;
      filled = 0;
    }
  }
  if (filled > 0) row.push_back(static_cast<std::uint8_t>(acc << (8 - filled)));
  while (row.size() % 4 != 0) row.push_back(0);
  return row;
}

// Palette entry i as blue, green, red: all entries distinct.
std::uint32_t PaletteColour(unsigned i) {
  const unsigned blue = (i * 7 + 1) & 0xFF, green = (255 - i * 3) & 0xFF, red = (i * 11 + 5) & 0xFF;
  return blue << 16 | green << 8 | red;
}

Bytes MakePalette(unsigned entries, int entry_size) {
  Bytes p;
  for (unsigned i = 0; i < entries; ++i) {
    const std::uint32_t c = PaletteColour(i);
    p.push_back(static_cast<std::uint8_t>(c >> 16));
    p.push_back(static_cast<std::uint8_t>(c >> 8));
    p.push_back(static_cast<std::uint8_t>(c));
    if (entry_size == 4) p.push_back(0);
  }
  return p;
}

// Stored row r of a file whose rows run bottom-up or top-down.
int StoredRowToPictureRow(int r, int height, bool top_down) { return top_down ? r : height - 1 - r; }

Picture Decode(const Bytes& file, Status* status_out = nullptr) {
  Picture picture;
  Status s = DecodeBmp(file.data(), file.size(), "test.bmp", picture);
  if (status_out != nullptr)
    *status_out = s;
  else
    EXPECT_TRUE(s.ok()) << s.message();
  return picture;
}

TEST(BmpRead, PaletteDepthsWidthsHeadersAndOrientations) {
  const int height = 3;
  for (int bits : {1, 4, 8}) {
    const unsigned colours = 1u << bits;
    for (int header : {12, 40, 64, 124}) {
      for (bool top_down : {false, true}) {
        if (top_down && header == 12) continue;  // the core header's height is unsigned
        for (int width : {1, 2, 3, 5, 9}) {
          SCOPED_TRACE("bits " + std::to_string(bits) + " header " + std::to_string(header) + " width " +
                       std::to_string(width) + (top_down ? " top-down" : " bottom-up"));
          BmpParts parts{
              .header_size = header, .width = width, .height = top_down ? -height : height, .bits = bits};
          parts.palette = MakePalette(colours, header == 12 ? 3 : 4);
          Picture expected(width, height);
          for (int r = 0; r < height; ++r) {
            std::vector<unsigned> indices;
            const int y = StoredRowToPictureRow(r, height, top_down);
            for (int x = 0; x < width; ++x) {
              const unsigned index = (x * 3 + y * 7 + 1) % colours;
              indices.push_back(index);
              expected.SetColor(x, y, PaletteColour(index));
            }
            const Bytes row = PackRow(indices, bits);
            parts.pixels.insert(parts.pixels.end(), row.begin(), row.end());
          }
          EXPECT_EQ(Decode(AssembleBmp(parts)), expected);
        }
      }
    }
  }
}

TEST(BmpRead, ColoursUsedSetsThePaletteSizeAndIndicesBeyondItAreBlack) {
  // 8-bit file with a 6-entry palette: the pixels start right after it.
  BmpParts parts{.width = 3, .height = 1, .bits = 8, .colours_used = 6};
  parts.palette = MakePalette(6, 4);
  parts.pixels = {5, 0, 200, 0};
  Picture expected(3, 1);
  expected.SetColor(0, 0, PaletteColour(5));
  expected.SetColor(1, 0, PaletteColour(0));
  expected.SetColor(2, 0, 0);
  EXPECT_EQ(Decode(AssembleBmp(parts)), expected);
}

TEST(BmpRead, TwentyFourBitRowsWithEveryPadding) {
  for (bool top_down : {false, true}) {
    for (int width : {1, 2, 3, 5}) {
      SCOPED_TRACE("width " + std::to_string(width) + (top_down ? " top-down" : " bottom-up"));
      const int height = 2;
      BmpParts parts{.width = width, .height = top_down ? -height : height, .bits = 24};
      Picture expected(width, height);
      for (int r = 0; r < height; ++r) {
        const int y = StoredRowToPictureRow(r, height, top_down);
        for (int x = 0; x < width; ++x) {
          const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(10 * x + y),
                                       static_cast<std::uint8_t>(100 + x),
                                       static_cast<std::uint8_t>(200 + y)};
          parts.pixels.insert(parts.pixels.end(), bgr, bgr + 3);
          expected.SetColor(x, y, std::uint32_t{bgr[0]} << 16 | bgr[1] << 8 | bgr[2]);
        }
        while (parts.pixels.size() % 4 != 0) parts.pixels.push_back(0xEE);
      }
      EXPECT_EQ(Decode(AssembleBmp(parts)), expected);
    }
  }
}

// 16- and 32-bit files: one stored row of pixel words and the colours
// (blue << 16 | green << 8 | red) they must give.
struct MaskedCase {
  const char* label;
  int header_size;
  int bits;
  std::uint32_t compression;
  std::vector<std::uint32_t> masks;
  std::vector<std::uint32_t> words;
  std::vector<std::uint32_t> colours;
};

TEST(BmpRead, SixteenAndThirtyTwoBitWithDefaultAndExplicitMasks) {
  // clang-format off
  const std::vector<MaskedCase> cases = {
      // label, header size, depth, compression, masks, stored words, colours
      {"16-bit 5-5-5 default, top bit ignored", 40, 16, 0, {},
       {0x7C00, 0x03E0, 0x001F, 0x4210, 0x8000}, {0x0000FF, 0x00FF00, 0xFF0000, 0x848484, 0x000000}},
      {"16-bit 5-6-5 masks after the header", 40, 16, 3, {0xF800, 0x07E0, 0x001F},
       {0xF800, 0x07E0, 0x001F, 0x8410}, {0x0000FF, 0x00FF00, 0xFF0000, 0x848284}},
      {"16-bit 5-5-5 masks inside a v5 header", 124, 16, 3, {0x7C00, 0x03E0, 0x001F, 0},
       {0x7FFF, 0x0001}, {0xFFFFFF, 0x080000}},
      {"16-bit 4-4-4-4 with alpha masks", 40, 16, 6, {0x0F00, 0x00F0, 0x000F, 0xF000},
       {0xFF00, 0x0088}, {0x0000FF, 0x888800}},
      {"32-bit blue, green, red, unused", 40, 32, 0, {},
       {0xFF030201, 0x00FFFFFF}, {0x010203, 0xFFFFFF}},
      {"32-bit red in the low byte, masks in a v4 header", 108, 32, 3, {0x0000FF, 0x00FF00, 0xFF0000},
       {0x00030201}, {0x030201}},
      {"32-bit 10-10-10", 40, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF},
       {0x3FF00000 | (0x200 << 10) | 0x001}, {0x0080FF}},
      {"32-bit masks in a 56-byte header", 56, 32, 3, {0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000},
       {0x80112233}, {0x332211}},
  };
  // clang-format on
  for (const MaskedCase& c : cases) {
    SCOPED_TRACE(c.label);
    BmpParts parts{.header_size = c.header_size,
                   .width = static_cast<std::int32_t>(c.words.size()),
                   .height = 1,
                   .bits = c.bits,
                   .compression = c.compression,
                   .masks = c.masks};
    for (std::uint32_t w : c.words) {
      if (c.bits == 16) {
        Put16(parts.pixels, w);
      } else {
        Put32(parts.pixels, w);
      }
    }
    while (parts.pixels.size() % 4 != 0) parts.pixels.push_back(0);
    Picture expected(static_cast<int>(c.colours.size()), 1);
    for (std::size_t x = 0; x < c.colours.size(); ++x)
      expected.SetColor(static_cast<int>(x), 0, c.colours[x]);
    EXPECT_EQ(Decode(AssembleBmp(parts)), expected);
  }
}

// Pictures given as rows of palette indices from the top.
Picture FromIndices(const std::vector<std::vector<unsigned>>& rows) {
  Picture p(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
  for (std::size_t y = 0; y < rows.size(); ++y) {
    for (std::size_t x = 0; x < rows[y].size(); ++x) {
      p.SetColor(static_cast<int>(x), static_cast<int>(y), PaletteColour(rows[y][x]));
    }
  }
  return p;
}

TEST(BmpRead, Rle8RunsLiteralsLineEndsDeltaAndEnd) {
  BmpParts parts{.width = 5, .height = 3, .bits = 8, .compression = 1, .colours_used = 4};
  parts.palette = MakePalette(4, 4);
  parts.pixels = {
      0x02, 0x01,                          // bottom row: 1 1
      0x00, 0x03, 0x02, 0x03, 0x02, 0x00,  // literal 2 3 2, padded to even
      0x00, 0x00,                          // end of line
      0x00, 0x02, 0x02, 0x01,              // delta: 2 right, 1 up: the middle row stays 0
      0x07, 0x03,                          // 7 x index 3 from x = 2: clipped at the edge
      0x00, 0x01,                          // end of bitmap
  };
  EXPECT_EQ(Decode(AssembleBmp(parts)), FromIndices({{0, 0, 3, 3, 3}, {0, 0, 0, 0, 0}, {1, 1, 2, 3, 2}}));
}

TEST(BmpRead, Rle4AlternatingRunsAndOddLiteral) {
  BmpParts parts{.width = 5, .height = 2, .bits = 4, .compression = 2};
  parts.palette = MakePalette(16, 4);
  parts.pixels = {
      0x05, 0x12,                          // bottom row: 1 2 1 2 1
      0x00, 0x00,                          // end of line
      0x00, 0x05, 0x34, 0x56, 0x70, 0x00,  // literal 3 4 5 6 7: 3 bytes, padded to 4
      0x00, 0x01,
  };
  EXPECT_EQ(Decode(AssembleBmp(parts)), FromIndices({{3, 4, 5, 6, 7}, {1, 2, 1, 2, 1}}));
}

TEST(BmpRead, RleStreamWithoutEndCodeIsAcceptedOnlyWhenTheLastRowIsFull) {
  BmpParts parts{.width = 2, .height = 1, .bits = 8, .compression = 1, .colours_used = 2};
  parts.palette = MakePalette(2, 4);
  parts.pixels = {0x02, 0x01};
  EXPECT_EQ(Decode(AssembleBmp(parts)), FromIndices({{1, 1}}));

  parts.pixels = {0x01, 0x01};
  Status s;
  Decode(AssembleBmp(parts), &s);
  EXPECT_NE(s.message().find("truncated pixel data"), std::string::npos) << s.message();
}

TEST(BmpRead, MissingPaddingOfTheLastRowIsTolerated) {
  BmpParts parts{.width = 1, .height = 2, .bits = 24};
  parts.pixels = {1, 2, 3, 0, 4, 5, 6};  // second row lacks its padding byte
  Picture expected(1, 2);
  expected.SetColor(0, 1, 0x010203);
  expected.SetColor(0, 0, 0x040506);
  EXPECT_EQ(Decode(AssembleBmp(parts)), expected);
}

// A small valid 8-bit file, 5 x 3 bottom-up, for the damage table.
BmpParts ValidPalette8() {
  BmpParts parts{.width = 5, .height = 3, .bits = 8, .colours_used = 4};
  parts.palette = MakePalette(4, 4);
  parts.pixels.assign(24, 1);
  return parts;
}

TEST(BmpRead, DamagedFilesAreRefusedWithTheReason) {
  struct Case {
    const char* label;
    Bytes file;
    const char* reason;
  };
  auto with = [](auto change) {
    BmpParts parts = ValidPalette8();
    change(parts);
    return AssembleBmp(parts);
  };
  auto patched = [](std::size_t at, std::uint32_t v) {
    Bytes b = AssembleBmp(ValidPalette8());
    Patch32(b, at, v);
    return b;
  };
  const Bytes valid = AssembleBmp(ValidPalette8());
  const std::vector<Case> cases = {
      {"empty", {}, "not a BMP file"},
      {"other magic", {'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0}, "not a BMP file"},
      {"magic only", {'B', 'M'}, "truncated header"},
      {"header cut", Bytes(valid.begin(), valid.begin() + 30), "truncated header"},
      {"header size 20", patched(14, 20), "unsupported header size 20"},
      {"width 0", with([](BmpParts& p) { p.width = 0; }), "bad picture size 0 x 3"},
      {"negative width", with([](BmpParts& p) { p.width = -5; }), "bad picture size -5 x 3"},
      {"height 0", with([](BmpParts& p) { p.height = 0; }), "bad picture size"},
      {"too wide", with([](BmpParts& p) { p.width = 40000; }), "picture too large (40000 x 3)"},
      {"too many pixels", with([](BmpParts& p) {
         p.width = 20000;
         p.height = 20000;
         p.compression = 1;
       }),
       "picture too large (20000 x 20000)"},
      {"depth 7", with([](BmpParts& p) { p.bits = 7; }), "unsupported bit depth 7"},
      {"JPEG inside", with([](BmpParts& p) { p.compression = 4; }),
       "unsupported compression 4 (JPEG in BMP)"},
      {"PNG inside", with([](BmpParts& p) { p.compression = 5; }), "unsupported compression 5 (PNG in BMP)"},
      {"compression 11", with([](BmpParts& p) { p.compression = 11; }), "unsupported compression 11"},
      {"RLE8 at 24 bits", with([](BmpParts& p) {
         p.bits = 24;
         p.compression = 1;
       }),
       "does not fit compression"},
      {"top-down RLE", with([](BmpParts& p) {
         p.height = -3;
         p.compression = 1;
       }),
       "top-down RLE bitmap"},
      {"scattered mask", with([](BmpParts& p) {
         p.bits = 16;
         p.compression = 3;
         p.palette.clear();
         p.masks = {0xF0F0, 0x0F00, 0x000F};
       }),
       "bad colour masks"},
      {"mask beyond 16 bits", with([](BmpParts& p) {
         p.bits = 16;
         p.compression = 3;
         p.palette.clear();
         p.masks = {0xFF0000, 0xFF00, 0xFF};
       }),
       "bad colour masks"},
      {"colour table cut", Bytes(valid.begin(), valid.begin() + 60), "truncated colour table"},
      {"masks cut",
       [] {
         BmpParts p{.width = 1, .bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}};
         Bytes b = AssembleBmp(p);
         b.resize(60);
         return b;
       }(),
       "truncated header"},
      {"palette cut", with([](BmpParts& p) {
         p.colours_used = 200;
         p.pixels.clear();
       }),
       "truncated colour table"},
      {"offset past the end", patched(10, 100000), "truncated pixel data"},
      {"offset inside the header", patched(10, 20), "bad pixel data offset"},
      {"pixels cut", Bytes(valid.begin(), valid.end() - 5), "truncated pixel data"},
      {"RLE delta cut", with([](BmpParts& p) {
         p.compression = 1;
         p.pixels = {0x00, 0x02, 0x01};
       }),
       "truncated pixel data"},
      {"RLE literal cut", with([](BmpParts& p) {
         p.compression = 1;
         p.pixels = {0x00, 0x05, 0x01, 0x01};
       }),
       "truncated pixel data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Picture picture(2, 2);
    Status s = DecodeBmp(c.file.data(), c.file.size(), "dir/bad.bmp", picture);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.message().rfind("dir/bad.bmp: ", 0), 0u) << s.message();
    EXPECT_NE(s.message().find(c.reason), std::string::npos) << s.message();
    EXPECT_TRUE(picture.empty());
  }
}

// Every prefix and many random byte changes of valid files of each kind:
// never a crash, and a picture only of a sane size.
TEST(BmpRead, EveryTruncationAndRandomDamageIsSafe) {
  std::vector<Bytes> files;
  files.push_back(AssembleBmp(ValidPalette8()));
  {
    BmpParts p{.width = 5, .height = 3, .bits = 8, .compression = 1, .colours_used = 4};
    p.palette = MakePalette(4, 4);
    p.pixels = {0x02, 0x01, 0x00, 0x03, 0x02, 0x03, 0x02, 0x00,
                0x00, 0x00, 0x00, 0x02, 0x02, 0x01, 0x00, 0x01};
    files.push_back(AssembleBmp(p));
    p.bits = 4;
    p.compression = 2;
    files.push_back(AssembleBmp(p));
  }
  {
    BmpParts p{.header_size = 124,
               .width = 3,
               .height = -2,
               .bits = 16,
               .compression = 3,
               .masks = {0xF800, 0x07E0, 0x001F, 0}};
    p.pixels.assign(16, 0x5A);
    files.push_back(AssembleBmp(p));
  }
  {
    BmpParts p{.header_size = 12, .width = 3, .height = 2, .bits = 1};
    p.palette = MakePalette(2, 3);
    p.pixels.assign(8, 0xA5);
    files.push_back(AssembleBmp(p));
  }
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (std::size_t f = 0; f < files.size(); ++f) {
    SCOPED_TRACE("file " + std::to_string(f));
    const Bytes& file = files[f];
    ASSERT_TRUE(Decode(file).width() > 0);
    for (std::size_t cut = 0; cut < file.size(); ++cut) {
      Picture picture;
      Status s = DecodeBmp(file.data(), cut, "cut.bmp", picture);
      // Only the padding of the last row (at most 3 bytes) may be missing.
      if (cut + 3 < file.size()) {
        EXPECT_FALSE(s.ok()) << cut;
      }
      if (s.ok()) {
        EXPECT_LE(picture.width(), 5);
      }
    }
    for (int round = 0; round < 3000; ++round) {
      Bytes damaged = file;
      for (int k = 0, n = 1 + next() % 4; k < n; ++k) damaged[next() % damaged.size()] = next() & 0xFF;
      Picture picture;
      Status s = DecodeBmp(damaged.data(), damaged.size(), "damaged.bmp", picture);
      if (s.ok()) {
        EXPECT_FALSE(picture.empty());
      } else {
        EXPECT_TRUE(picture.empty());
      }
    }
  }
}

TEST(BmpRead, MissingFileNamesThePathAndTheReason) {
  Picture picture;
  Status s = ReadBmpFile("/nonexistent-qirm-dir/none.bmp", picture);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("/nonexistent-qirm-dir/none.bmp"), std::string::npos);
  EXPECT_NE(s.message().find("No such file or directory"), std::string::npos) << s.message();
}

// A unique scratch folder per test, removed afterwards.
class BmpFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qirm-bmp-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  std::string m_dir;
};

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Picture Pattern(int width, int height) {
  Picture p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      p.SetColor(x, y,
                 static_cast<std::uint32_t>((x * 37 + y * 11) & 0xFF) << 16 |
                     static_cast<std::uint32_t>((x * 5 + y * 101) & 0xFF) << 8 |
                     static_cast<std::uint32_t>((x ^ y) * 29 & 0xFF));
    }
  }
  return p;
}

// Runs `command` and gives its standard output; false when it fails.
bool RunCapture(const std::string& command, std::string& output) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  output.clear();
  char buffer[1 << 16];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  return ::pclose(pipe) == 0;
}

// Rows from the top as red, green, blue bytes, the order of ImageMagick's rgb: output.
std::string AsRgb(const Picture& p) {
  std::string rgb;
  for (int y = 0; y < p.height(); ++y) {
    const std::uint8_t* row = p.Row(y);
    for (int x = 0; x < p.width(); ++x) {
      rgb.push_back(static_cast<char>(row[3 * x + 2]));
      rgb.push_back(static_cast<char>(row[3 * x + 1]));
      rgb.push_back(static_cast<char>(row[3 * x]));
    }
  }
  return rgb;
}

constexpr char kImageMagick[] = "/usr/bin/convert";

TEST(BmpWrite, TwentyFourBitBottomUpPaddedAndReadBackExactly) {
  for (int width : {1, 2, 3, 5, 8}) {
    for (int height : {1, 4}) {
      SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
      const Picture picture = Pattern(width, height);
      Bytes file;
      ASSERT_TRUE(EncodeBmp(picture, file).ok());
      const std::size_t stride = (width * 3 + 3) / 4 * 4;
      ASSERT_EQ(file.size(), 54 + stride * height);
      auto u32 = [&](std::size_t at) {
        return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24;
      };
      EXPECT_EQ(file[0], 'B');
      EXPECT_EQ(u32(2), static_cast<int>(file.size()));
      EXPECT_EQ(u32(10), 54);
      EXPECT_EQ(u32(14), 40);
      EXPECT_EQ(u32(22), height);  // positive: bottom-up
      EXPECT_EQ(file[28], 24);
      EXPECT_EQ(u32(30), 0);  // BI_RGB
      EXPECT_EQ(u32(38), 2835);
      // The first stored row is the bottom one.
      EXPECT_EQ(file[54], picture.Row(height - 1)[0]);
      EXPECT_EQ(Decode(file), picture);
    }
  }
  Bytes file;
  EXPECT_FALSE(EncodeBmp(Picture(), file).ok());
}

// Reading a 24-bit file from disk takes its rows a block at a time straight
// into the picture; it must give what decoding the whole file in memory
// gives, pictures and refusals alike: rows of every padding, both
// orientations, rows over several blocks, a last row without its padding and
// a file cut short.
TEST_F(BmpFiles, FileReadEqualsWholeFileDecode) {
  struct Case {
    int width, height;
    bool top_down;
    std::size_t cut;  // bytes taken off the end of the file
  };
  const Case cases[] = {{1, 1, false, 0},      {5, 3, true, 0},       {3001, 70, false, 0},
                        {3002, 70, true, 0},   {3003, 71, false, 0},  {3004, 29, true, 0},
                        {3001, 70, false, 1},  {3001, 70, true, 3},   {3002, 70, false, 3},
                        {3003, 70, false, 10}, {3004, 70, true, 9000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) +
                 (c.top_down ? " top-down" : "") + ", cut " + std::to_string(c.cut));
    const Picture pattern = Pattern(c.width, c.height);
    Bytes file;
    ASSERT_TRUE(EncodeBmp(pattern, file).ok());
    if (c.top_down) {
      // The same rows stored from the top: negative height, rows reversed.
      Patch32(file, 22, static_cast<std::uint32_t>(-c.height));
      const std::size_t stride = (3 * static_cast<std::size_t>(c.width) + 3) / 4 * 4;
      Bytes rows(file.begin() + 54, file.end());
      for (int r = 0; r < c.height; ++r)
        std::copy_n(rows.begin() + static_cast<std::ptrdiff_t>(stride * (c.height - 1 - r)), stride,
                    file.begin() + 54 + static_cast<std::ptrdiff_t>(stride * r));
    }
    file.resize(file.size() - c.cut);
    const std::string path = m_dir + "/f.bmp";
    WriteBytes(path, file);

    Picture read, decoded;
    const Status from_file = ReadBmpFile(path, read);
    const Status from_memory = DecodeBmp(file.data(), file.size(), path, decoded);
    EXPECT_EQ(from_file.ok(), from_memory.ok());
    EXPECT_EQ(from_file.message(), from_memory.message());
    EXPECT_EQ(read, decoded);
    if (from_memory.ok()) {
      EXPECT_EQ(decoded, pattern);
    }
  }
}

TEST_F(BmpFiles, ImageMagickReadsWhatWeWrite) {
  if (::access(kImageMagick, X_OK) != 0) GTEST_SKIP() << "ImageMagick not installed";
  const Picture picture = Pattern(7, 5);
  Bytes file;
  ASSERT_TRUE(EncodeBmp(picture, file).ok());
  const std::string path = m_dir + "/out.bmp";
  WriteBytes(path, file);
  std::string rgb;
  ASSERT_TRUE(RunCapture(std::string(kImageMagick) + " '" + path + "' -depth 8 rgb:-", rgb));
  EXPECT_EQ(rgb, AsRgb(picture));
}

TEST_F(BmpFiles, RealEightBitPaletteFileMatchesImageMagick) {
  const std::string path = std::string(QIRM_DATA_DIR) + "/derived/DERIVED_m67_dss_1059x1059_8bit_gray.bmp";
  if (::access(path.c_str(), R_OK) != 0) GTEST_SKIP() << "shared data absent: " << path;
  Picture picture;
  Status s = ReadBmpFile(path, picture);
  ASSERT_TRUE(s.ok()) << s.message();
  ASSERT_EQ(picture.width(), 1059);
  ASSERT_EQ(picture.height(), 1059);
  bool grey = true;
  int lo = 255, hi = 0;
  for (int y = 0; y < picture.height(); ++y) {
    const std::uint8_t* row = picture.Row(y);
    for (int x = 0; x < picture.width(); ++x) {
      grey = grey && row[3 * x] == row[3 * x + 1] && row[3 * x] == row[3 * x + 2];
      lo = std::min<int>(lo, row[3 * x]);
      hi = std::max<int>(hi, row[3 * x]);
    }
  }
  EXPECT_TRUE(grey);
  EXPECT_LT(lo, hi);
  if (::access(kImageMagick, X_OK) != 0) GTEST_SKIP() << "ImageMagick not installed";
  std::string rgb;
  ASSERT_TRUE(RunCapture(std::string(kImageMagick) + " '" + path + "' -depth 8 rgb:-", rgb));
  EXPECT_TRUE(rgb == AsRgb(picture));
}

TEST_F(BmpFiles, HandMadeVariantsMatchImageMagick) {
  // An independent reader for the layouts whose expectations the tests above
  // compute themselves: 4-bit top-down, 16-bit 5-6-5, RLE8.
  if (::access(kImageMagick, X_OK) != 0) GTEST_SKIP() << "ImageMagick not installed";
  std::vector<Bytes> files;
  {
    BmpParts p{.width = 5, .height = -3, .bits = 4};
    p.palette = MakePalette(16, 4);
    for (int r = 0; r < 3; ++r) {
      const Bytes row = PackRow({unsigned(r), 3, 7, 15, unsigned(2 * r)}, 4);
      p.pixels.insert(p.pixels.end(), row.begin(), row.end());
    }
    files.push_back(AssembleBmp(p));
  }
  {
    BmpParts p{.width = 3, .height = 2, .bits = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}};
    for (std::uint32_t w : {0xF800u, 0x07E0u, 0x001Fu, 0x0000u, 0x8410u, 0xFFFFu}) {
      Put16(p.pixels, w);
      if (p.pixels.size() % 8 == 6) Put16(p.pixels, 0);
    }
    files.push_back(AssembleBmp(p));
  }
  {
    BmpParts p{.width = 5, .height = 2, .bits = 8, .compression = 1, .colours_used = 4};
    p.palette = MakePalette(4, 4);
    p.pixels = {0x02, 0x01, 0x00, 0x03, 0x02, 0x03, 0x02, 0x00, 0x00, 0x00, 0x05, 0x03, 0x00, 0x01};
    files.push_back(AssembleBmp(p));
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE("file " + std::to_string(i));
    const std::string path = m_dir + "/variant" + std::to_string(i) + ".bmp";
    WriteBytes(path, files[i]);
    std::string rgb;
    ASSERT_TRUE(RunCapture(std::string(kImageMagick) + " '" + path + "' -depth 8 rgb:-", rgb));
    EXPECT_EQ(rgb, AsRgb(Decode(files[i])));
  }
}

}  // namespace
}  // namespace qirm
