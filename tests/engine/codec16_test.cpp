// SPDX-License-Identifier: GPL-3.0-or-later
// 16 bits per channel through libpng and libtiff, and 8-bit TIFF: what the
// libraries' own decoders read back is what was written, sample for sample.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/save_image.h"
#include "core/png_file.h"
#include "core/tiff_file.h"
#include "tests/support/codec_readers.h"

namespace qirm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The extremes, both bytes of each sample varying (a swapped byte order
// shows), and noise that does not compress.
Rgb16Picture Samples16(int width, int height) {
  Rgb16Picture p(width, height);
  std::uint32_t seed = 7;
  for (int y = 0; y < height; ++y) {
    std::uint16_t* row = p.Row(y);
    for (int i = 0; i < width * 3; ++i) {
      seed = seed * 1664525u + 1013904223u;
      switch ((i + y) % 4) {
        case 0:
          row[i] = 0;
          break;
        case 1:
          row[i] = 65535;
          break;
        case 2:
          row[i] = static_cast<std::uint16_t>(0x0102 * (i % 200) + y);
          break;
        default:
          row[i] = static_cast<std::uint16_t>(seed >> 16);
      }
    }
  }
  return p;
}

Picture Samples8(int width, int height) {
  Picture p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      p.SetColor(x, y,
                 std::uint32_t(x * 7 & 0xFF) << 16 | std::uint32_t(y * 3 & 0xFF) << 8 | ((x ^ y) & 0xFF));
    }
  }
  return p;
}

Rgb16Picture Widen(const Picture& p) {
  Rgb16Picture out(p.width(), p.height());
  for (int y = 0; y < p.height(); ++y) {
    for (int x = 0; x < p.width(); ++x) {
      const std::uint32_t c = p.Color(x, y);
      out.Row(y)[3 * x] = c & 0xFF;  // Color() is 0xBBGGRR
      out.Row(y)[3 * x + 1] = c >> 8 & 0xFF;
      out.Row(y)[3 * x + 2] = c >> 16 & 0xFF;
    }
  }
  return out;
}

class Codec16 : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qirm-codec16-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  std::string Save(const std::string& name, const Bytes& bytes) {
    const std::string path = m_dir + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  }
  std::string m_dir;
};

TEST_F(Codec16, PngAndTiffKeepEverySample) {
  // 1 x 1, odd sizes, and a picture larger than one TIFF strip and one IDAT.
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {37, 11}, {700, 200}}) {
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    const Rgb16Picture deep = Samples16(w, h);
    const Picture shallow = Samples8(w, h);
    int depth = 0;
    Bytes bytes;
    ASSERT_TRUE(EncodePng16(deep, bytes).ok());
    EXPECT_EQ(test::ReadPngRgb(bytes, depth), deep);
    EXPECT_EQ(depth, 16);
    ASSERT_TRUE(EncodeTiff16(deep, bytes).ok());
    EXPECT_EQ(test::ReadTiffRgb(Save("deep.tif", bytes), depth), deep);
    EXPECT_EQ(depth, 16);
    ASSERT_TRUE(EncodeTiff(shallow, bytes).ok());
    EXPECT_EQ(test::ReadTiffRgb(Save("shallow.tif", bytes), depth), Widen(shallow));
    EXPECT_EQ(depth, 8);
    ASSERT_TRUE(EncodePng(shallow, bytes).ok());
    EXPECT_EQ(test::ReadPngRgb(bytes, depth), Widen(shallow));
    EXPECT_EQ(depth, 8);
  }
}

TEST_F(Codec16, EmptyPicturesAndEightBitFormatsAreRefused) {
  Bytes bytes;
  EXPECT_FALSE(EncodePng16(Rgb16Picture(), bytes).ok());
  EXPECT_FALSE(EncodeTiff16(Rgb16Picture(), bytes).ok());
  EXPECT_FALSE(EncodeTiff(Picture(), bytes).ok());
  Rgb16Picture short_samples(4, 4);
  short_samples.samples.resize(5);
  EXPECT_FALSE(EncodePng16(short_samples, bytes).ok());
  EXPECT_TRUE(bytes.empty());

  const Rgb16Picture deep = Samples16(5, 4);
  for (PictureFormat format : {PictureFormat::kBmp, PictureFormat::kJpeg}) {
    const std::string path = m_dir + "/a.out";
    const Status s = WritePicture16File(path, deep, format);
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find(path), std::string::npos) << s.message();
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  int depth = 0;
  ASSERT_TRUE(WritePicture16File(m_dir + "/a.tif", deep, PictureFormat::kTiff).ok());
  EXPECT_EQ(test::ReadTiffRgb(m_dir + "/a.tif", depth), deep);
  ASSERT_TRUE(WritePictureFile(m_dir + "/b.tif", Samples8(6, 3), PictureFormat::kTiff).ok());
  EXPECT_EQ(test::ReadTiffRgb(m_dir + "/b.tif", depth), Widen(Samples8(6, 3)));
}

// The 16-bit planes belong to the window only while they still show its
// picture: any changed byte, another size or no planes at all says no.
TEST(DeepShowsPicture, OnlyTheSamePictureWithEightMoreBits) {
  const Picture picture = Samples8(6, 4);
  Rgb16Picture deep = Widen(picture);
  for (std::uint16_t& v : deep.samples) v = static_cast<std::uint16_t>(v * 257 + (v % 7) * 30);
  EXPECT_TRUE(DeepShowsPicture(deep, picture));
  Picture changed = picture;
  changed.Row(3)[3 * 5] ^= 1;  // blue of the last pixel
  EXPECT_FALSE(DeepShowsPicture(deep, changed));
  Rgb16Picture low = deep;
  low.Row(0)[0] = static_cast<std::uint16_t>(low.Row(0)[0] == 0 ? 257 : low.Row(0)[0] - 257);
  EXPECT_FALSE(DeepShowsPicture(low, picture));
  EXPECT_FALSE(DeepShowsPicture(deep, Samples8(4, 6)));
  EXPECT_FALSE(DeepShowsPicture(Rgb16Picture(), picture));
}

}  // namespace
}  // namespace qirm
