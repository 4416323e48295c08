// SPDX-License-Identifier: GPL-3.0-or-later
// PNG writing: the chunk structure and CRCs, the pixels after inflating and
// undoing the filters here, and ImageMagick as an independent reader.
#include "core/png_file.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace qirm {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Big32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

struct Chunk {
  std::string type;
  Bytes data;
};

// Splits a PNG file into chunks, checking the signature and every CRC.
std::vector<Chunk> Chunks(const Bytes& png) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<Chunk> chunks;
  EXPECT_GE(png.size(), 8u);
  EXPECT_TRUE(std::equal(kSignature, kSignature + 8, png.begin()));
  std::size_t p = 8;
  while (p + 12 <= png.size()) {
    const std::uint32_t length = Big32(&png[p]);
    if (p + 12 + length > png.size()) break;
    Chunk c{std::string(png.begin() + p + 4, png.begin() + p + 8),
            Bytes(png.begin() + p + 8, png.begin() + p + 8 + length)};
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), &png[p + 4], length + 4);
    EXPECT_EQ(Big32(&png[p + 8 + length]), crc) << "chunk " << c.type;
    chunks.push_back(std::move(c));
    p += 12 + length;
  }
  EXPECT_EQ(p, png.size());
  return chunks;
}

std::uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : (pb <= pc ? b : c));
}

// The picture a PNG reader would see, and the filter types used by its rows.
Picture DecodeRgbPng(const Bytes& png, std::set<int>& filters) {
  const std::vector<Chunk> chunks = Chunks(png);
  EXPECT_GE(chunks.size(), 3u);
  EXPECT_EQ(chunks.front().type, "IHDR");
  EXPECT_EQ(chunks.back().type, "IEND");
  const Bytes& ihdr = chunks.front().data;
  EXPECT_EQ(ihdr.size(), 13u);
  const int w = static_cast<int>(Big32(&ihdr[0])), h = static_cast<int>(Big32(&ihdr[4]));
  EXPECT_EQ(ihdr[8], 8);   // depth
  EXPECT_EQ(ihdr[9], 2);   // RGB
  EXPECT_EQ(ihdr[12], 0);  // not interlaced
  Bytes compressed;
  for (const Chunk& c : chunks) {
    if (c.type == "IDAT") compressed.insert(compressed.end(), c.data.begin(), c.data.end());
  }
  const std::size_t n = static_cast<std::size_t>(w) * 3;
  Bytes raw((n + 1) * h);
  uLongf raw_size = raw.size();
  EXPECT_EQ(uncompress(raw.data(), &raw_size, compressed.data(), compressed.size()), Z_OK);
  EXPECT_EQ(raw_size, raw.size());
  Picture picture(w, h);
  Bytes prev(n, 0), row(n);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* line = &raw[(n + 1) * y];
    filters.insert(line[0]);
    for (std::size_t i = 0; i < n; ++i) {
      const int a = i >= 3 ? row[i - 3] : 0, b = prev[i], c = i >= 3 ? prev[i - 3] : 0;
      int predictor = 0;
      switch (line[0]) {
        case 1:
          predictor = a;
          break;
        case 2:
          predictor = b;
          break;
        case 3:
          predictor = (a + b) / 2;
          break;
        case 4:
          predictor = Paeth(a, b, c);
          break;
      }
      row[i] = static_cast<std::uint8_t>(line[1 + i] + predictor);
    }
    for (int x = 0; x < w; ++x) {
      picture.SetColor(x, y,
                       std::uint32_t{row[3 * x + 2]} << 16 | std::uint32_t{row[3 * x + 1]} << 8 | row[3 * x]);
    }
    prev = row;
  }
  return picture;
}

// Noise, flat areas and gradients in bands, so that rows favour different filters.
Picture Mixed(int width, int height) {
  Picture p(width, height);
  std::uint32_t seed = 99;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      std::uint32_t colour;
      switch ((y / 4) % 4) {
        case 0:
          colour = seed >> 8;
          break;  // noise
        case 1:
          colour = 0x204060;
          break;  // flat
        case 2:
          colour = static_cast<std::uint32_t>(x & 0xFF) * 0x010101;
          break;  // ramp across
        default:
          colour = static_cast<std::uint32_t>((x + 3 * y) & 0xFF) << 8 | ((x * y) & 0xFF);
          break;
      }
      p.SetColor(x, y, colour & 0xFFFFFF);
    }
  }
  return p;
}

TEST(PngWrite, ChunksCrcsAndPixelsSurviveAReader) {
  for (auto [w, h] : {std::pair{1, 1}, {2, 3}, {5, 2}, {37, 32}}) {
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    const Picture picture = Mixed(w, h);
    Bytes png;
    ASSERT_TRUE(EncodePng(picture, png).ok());
    std::set<int> filters;
    EXPECT_EQ(DecodeRgbPng(png, filters), picture);
    if (w == 37) {
      EXPECT_GE(filters.size(), 3u) << "the filter choice should vary with the content";
    }
  }
  Bytes png;
  EXPECT_FALSE(EncodePng(Picture(), png).ok());
}

TEST(PngWrite, LargePictureSpansSeveralDataChunks) {
  const Picture picture = Mixed(800, 600);  // 360 KB of incompressible noise rows
  Bytes png;
  ASSERT_TRUE(EncodePng(picture, png).ok());
  int idat = 0;
  for (const Chunk& c : Chunks(png)) {
    if (c.type == "IDAT") {
      ++idat;
      EXPECT_LE(c.data.size(), 256u << 10);
    }
  }
  EXPECT_GE(idat, 2);
  std::set<int> filters;
  EXPECT_EQ(DecodeRgbPng(png, filters), picture);
}

TEST(PngWrite, ImageMagickReadsWhatWeWrite) {
  if (::access("/usr/bin/convert", X_OK) != 0) GTEST_SKIP() << "ImageMagick not installed";
  char pattern[] = "/tmp/qirm-png-test-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern, path = dir + "/out.png";
  const Picture picture = Mixed(37, 21);
  Bytes png;
  ASSERT_TRUE(EncodePng(picture, png).ok());
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  }
  std::string rgb;
  if (FILE* pipe = ::popen(("/usr/bin/convert '" + path + "' -depth 8 rgb:-").c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) rgb.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0);
  }
  std::filesystem::remove_all(dir);
  std::string expected;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const std::uint32_t c = picture.Color(x, y);
      expected += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8 & 0xFF), static_cast<char>(c >> 16)};
    }
  }
  EXPECT_TRUE(rgb == expected) << "ImageMagick read " << rgb.size() << " bytes";
}

}  // namespace
}  // namespace qirm
