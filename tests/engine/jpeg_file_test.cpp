// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG through libjpeg: round trips, grey and CMYK files, and damaged files
// that must come back as a Status (or a partial picture), never as an exit.
#include "core/jpeg_file.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qirm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Smooth colour gradients with a soft disc: what JPEG keeps well.
Picture Smooth(int width, int height) {
  Picture p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int dx = x - width / 2, dy = y - height / 2;
      const int disc = std::max(0, 120 - (dx * dx + dy * dy) / 4);
      const int blue = std::min(255, 40 + 150 * x / std::max(1, width - 1) + disc / 2);
      const int green = std::min(255, 30 + 180 * y / std::max(1, height - 1));
      const int red = std::min(255, 60 + disc);
      p.SetColor(x, y,
                 static_cast<std::uint32_t>(blue) << 16 | static_cast<std::uint32_t>(green) << 8 |
                     static_cast<std::uint32_t>(red));
    }
  }
  return p;
}

struct Difference {
  int max = 0;
  double mean = 0;
};

Difference Compare(const Picture& a, const Picture& b) {
  Difference d;
  long long sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (std::size_t i = 0; i < a.stride(); ++i) {
      const int e = std::abs(int{a.Row(y)[i]} - int{b.Row(y)[i]});
      d.max = std::max(d.max, e);
      sum += e;
    }
  }
  d.mean = static_cast<double>(sum) / (static_cast<double>(a.stride()) * a.height());
  return d;
}

Bytes Encode(const Picture& picture, int quality) {
  Bytes bytes;
  Status s = EncodeJpeg(picture, quality, bytes);
  EXPECT_TRUE(s.ok()) << s.message();
  return bytes;
}

// Encodes raw samples with libjpeg directly: the grey and CMYK files the
// program itself never writes.
Bytes EncodeRaw(int width, int height, int components, J_COLOR_SPACE space, const Bytes& samples,
                bool adobe_marker = true) {
  jpeg_compress_struct c{};
  jpeg_error_mgr e{};
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = components;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  c.write_Adobe_marker = adobe_marker ? TRUE : FALSE;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(samples.data() + c.next_scanline * width * components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return out;
}

// The start-of-frame marker (0xC0 baseline, 0xC2 progressive, ...) and its
// component count; 0 when none is found.
int FrameMarker(const Bytes& jpeg, int& components) {
  std::size_t p = 2;
  while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF) {
    const int marker = jpeg[p + 1];
    const std::size_t length = std::size_t{jpeg[p + 2]} << 8 | jpeg[p + 3];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      components = jpeg[p + 9];
      return marker;
    }
    p += 2 + length;
  }
  return 0;
}

TEST(JpegRoundTrip, SizesExactColoursClose) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {33, 17}, {64, 48}, {200, 120}}) {
    SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
    const Picture original = Smooth(w, h);
    for (auto [quality, max_error, mean_error] : {std::tuple{95, 10, 1.5}, {70, 16, 3.0}}) {
      SCOPED_TRACE("quality " + std::to_string(quality));
      const Bytes file = Encode(original, quality);
      Picture decoded;
      std::string warning = "unset";
      Status s = DecodeJpeg(file.data(), file.size(), "round.jpg", decoded, &warning);
      ASSERT_TRUE(s.ok()) << s.message();
      EXPECT_EQ(warning, "");
      ASSERT_EQ(decoded.width(), w);
      ASSERT_EQ(decoded.height(), h);
      const Difference d = Compare(original, decoded);
      // Halved chroma costs a picture of a few pixels more than a larger one.
      const bool tiny = w < 16;
      EXPECT_LE(d.max, tiny ? 24 : max_error);
      EXPECT_LE(d.mean, tiny ? 6.0 : mean_error);
    }
  }
}

TEST(JpegWrite, BaselineColourAtTheGivenQuality) {
  const Picture picture = Smooth(40, 30);
  const Bytes q70 = Encode(picture, 70);
  int components = 0;
  EXPECT_EQ(FrameMarker(q70, components), 0xC0);  // baseline, not progressive
  EXPECT_EQ(components, 3);
  EXPECT_LT(q70.size(), Encode(picture, 95).size());
  // Out-of-range qualities are clamped, not refused.
  EXPECT_EQ(Encode(picture, 0), Encode(picture, 1));
  EXPECT_EQ(Encode(picture, 250), Encode(picture, 100));

  Bytes bytes;
  EXPECT_FALSE(EncodeJpeg(Picture(), 70, bytes).ok());
  Status s = EncodeJpeg(Picture(70000, 1), 70, bytes);
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("too large"), std::string::npos) << s.message();
}

TEST(JpegRead, GreyFileGivesEqualChannels) {
  const int w = 24, h = 10;
  Bytes samples;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) samples.push_back(static_cast<std::uint8_t>(x * 10 + y));
  }
  const Bytes file = EncodeRaw(w, h, 1, JCS_GRAYSCALE, samples);
  int components = 0;
  ASSERT_EQ(FrameMarker(file, components), 0xC0);
  ASSERT_EQ(components, 1);
  Picture picture;
  ASSERT_TRUE(DecodeJpeg(file.data(), file.size(), "grey.jpg", picture).ok());
  ASSERT_EQ(picture.width(), w);
  ASSERT_EQ(picture.height(), h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* p = picture.Row(y) + 3 * x;
      EXPECT_EQ(p[0], p[1]);
      EXPECT_EQ(p[0], p[2]);
      EXPECT_NEAR(p[0], samples[y * w + x], 2);
    }
  }
}

TEST(JpegRead, CmykFilesAreConvertedWithAndWithoutTheAdobeMarker) {
  // 16 x 8: left half red ink-free-cyan (magenta + yellow), right half 50 % black.
  const int w = 16, h = 8;
  for (bool adobe : {true, false}) {
    SCOPED_TRACE(adobe ? "Adobe, inverted" : "plain");
    Bytes samples;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        // Ink amounts 0..255.
        const int c = 0, m = x < 8 ? 255 : 0, yellow = x < 8 ? 255 : 0, k = x < 8 ? 0 : 128;
        for (int ink : {c, m, yellow, k})
          samples.push_back(static_cast<std::uint8_t>(adobe ? 255 - ink : ink));
      }
    }
    const Bytes file = EncodeRaw(w, h, 4, JCS_CMYK, samples, adobe);
    Picture picture;
    Status s = DecodeJpeg(file.data(), file.size(), "cmyk.jpg", picture);
    ASSERT_TRUE(s.ok()) << s.message();
    ASSERT_EQ(picture.width(), w);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* red = picture.Row(y) + 3 * 2;
      const std::uint8_t* grey = picture.Row(y) + 3 * 13;
      EXPECT_NEAR(red[0], 0, 3);
      EXPECT_NEAR(red[1], 0, 3);
      EXPECT_NEAR(red[2], 255, 3);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(grey[i], 127, 3);
    }
  }
}

TEST(JpegRead, FileCutInHalfGivesThePartialPictureAndAWarning) {
  // Chosen behaviour: libjpeg fills the missing part and we show the picture.
  // Large enough that the tables are well inside the first half.
  const Picture original = Smooth(256, 256);
  const Bytes file = Encode(original, 70);
  const Bytes half(file.begin(), file.begin() + file.size() / 2);
  Picture picture;
  std::string warning;
  testing::internal::CaptureStderr();
  Status s = DecodeJpeg(half.data(), half.size(), "half.jpg", picture, &warning);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_TRUE(s.ok()) << s.message();
  EXPECT_NE(warning.find("Premature end of JPEG file"), std::string::npos) << warning;
  ASSERT_EQ(picture.width(), 256);
  ASSERT_EQ(picture.height(), 256);
  Picture top(256, 8), decoded_top(256, 8);
  top.Draw(original);
  decoded_top.Draw(picture);
  EXPECT_LE(Compare(top, decoded_top).mean, 4.0);
}

TEST(JpegRead, DamagedFilesAreRefusedWithLibjpegsReason) {
  struct Case {
    const char* label;
    Bytes file;
    const char* reason;
  };
  const Bytes valid = Encode(Smooth(16, 16), 70);
  const std::vector<Case> cases = {
      {"empty", {}, "Empty input file"},
      {"not a JPEG", {'B', 'M', 0, 0, 0, 0}, "Not a JPEG file"},
      {"start marker only", {0xFF, 0xD8}, ""},
      {"header cut before the frame", Bytes(valid.begin(), valid.begin() + 30), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Picture picture(3, 3);
    testing::internal::CaptureStderr();
    Status s = DecodeJpeg(c.file.data(), c.file.size(), "dir/bad.jpg", picture);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.message().rfind("dir/bad.jpg: ", 0), 0u) << s.message();
    EXPECT_NE(s.message().find(c.reason), std::string::npos) << s.message();
    EXPECT_TRUE(picture.empty());
  }
}

TEST(JpegRead, EveryTruncationAndRandomDamageIsSafe) {
  const Bytes file = Encode(Smooth(32, 16), 70);
  for (std::size_t cut = 0; cut <= file.size(); ++cut) {
    Picture picture;
    Status s = DecodeJpeg(file.data(), cut, "cut.jpg", picture);
    if (s.ok()) {
      EXPECT_EQ(picture.width(), 32) << cut;
      EXPECT_EQ(picture.height(), 16) << cut;
    } else {
      EXPECT_TRUE(picture.empty());
    }
  }
  std::uint32_t seed = 777;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  int refused = 0;
  for (int round = 0; round < 2000; ++round) {
    Bytes damaged = file;
    for (int k = 0, n = 1 + next() % 4; k < n; ++k) damaged[next() % damaged.size()] = next() & 0xFF;
    Picture picture;
    std::string warning;
    Status s = DecodeJpeg(damaged.data(), damaged.size(), "damaged.jpg", picture, &warning);
    if (s.ok()) {
      EXPECT_FALSE(picture.empty());
    } else {
      EXPECT_TRUE(picture.empty());
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
}

class JpegFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qirm-jpeg-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  std::string m_dir;
};

TEST_F(JpegFiles, ReadFromDiskAndImageMagickSeesQuality70) {
  const Picture original = Smooth(50, 20);
  const Bytes file = Encode(original, 70);
  const std::string path = m_dir + "/q70.jpg";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }
  Picture picture;
  ASSERT_TRUE(ReadJpegFile(path, picture).ok());
  EXPECT_EQ(picture.width(), 50);
  EXPECT_LE(Compare(original, picture).mean, 4.0);

  Status s = ReadJpegFile(m_dir + "/none.jpg", picture);
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("No such file or directory"), std::string::npos) << s.message();

  if (::access("/usr/bin/identify", X_OK) != 0) GTEST_SKIP() << "ImageMagick not installed";
  FILE* pipe =
      ::popen(("/usr/bin/identify -format '%Q %[colorspace] %[interlace]' '" + path + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char text[128] = {};
  const std::size_t n = std::fread(text, 1, sizeof text - 1, pipe);
  ::pclose(pipe);
  EXPECT_EQ(std::string(text, n), "70 sRGB None");
}

}  // namespace
}  // namespace qirm
