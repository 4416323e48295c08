// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF reading into SampleImage: every layout libtiff writes (strips, tiles,
// contiguous and separate samples, compressions, orientations) read back
// exactly, the program's own TIFF files read back, and the files refused.
#include "core/tiff_reader.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "core/file_bytes.h"
#include "core/tiff_file.h"
#include "tests/support/tiff_bytes.h"

namespace qirm {
namespace {

struct TiffSpec {
  const char* name = "";
  int width = 37;
  int height = 21;
  int samples = 1;  // in the file
  int bits = 8;
  int format = SAMPLEFORMAT_UINT;
  int photometric = PHOTOMETRIC_MINISBLACK;
  int planar = PLANARCONFIG_CONTIG;
  int tile = 0;  // side of square tiles; 0: strips
  int rows_per_strip = 4;
  int compression = COMPRESSION_NONE;
  int predictor = 0;
  int orientation = ORIENTATION_TOPLEFT;
  int extra = 0;  // extra samples (alpha)
};

// Sample s of file pixel (x, y): distinct for every sample, within range.
double FileSample(const TiffSpec& spec, int x, int y, int s) {
  const int i = (y * spec.width + x) * spec.samples + s;
  if (spec.format == SAMPLEFORMAT_IEEEFP)
    return (i % 2 ? -1.0 : 1.0) * (i * 0.37 + 1e-3) * std::pow(10.0, i % 7 - 3);
  if (spec.bits == 8) return (i * 7 + 3) % 256;
  return (i * 2654435761u + 12345u) % 65536;
}

// Writes the file through libtiff; empty on failure.
std::vector<std::uint8_t> WriteTiff(const TiffSpec& spec) {
  const std::string path = ::testing::TempDir() + "qirm_tiff_reader_test.tif";
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) return {};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, spec.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, spec.height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spec.samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, spec.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, spec.format);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, spec.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, spec.planar);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, spec.compression);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, spec.orientation);
  if (spec.predictor != 0) TIFFSetField(tif, TIFFTAG_PREDICTOR, spec.predictor);
  if (spec.extra > 0) {
    std::vector<std::uint16_t> kinds(spec.extra, EXTRASAMPLE_UNASSALPHA);
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, spec.extra, kinds.data());
  }
  if (spec.photometric == PHOTOMETRIC_PALETTE) {
    std::vector<std::uint16_t> map(1 << spec.bits, 0);
    TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
  }
  const bool separate = spec.planar == PLANARCONFIG_SEPARATE;
  const int chunk = separate ? 1 : spec.samples;
  const int bytes = spec.bits / 8;
  auto put = [&](std::uint8_t* p, double v) {
    if (spec.format == SAMPLEFORMAT_IEEEFP && spec.bits == 64) {
      std::memcpy(p, &v, 8);
    } else if (spec.format == SAMPLEFORMAT_IEEEFP) {
      const float f = static_cast<float>(v);
      std::memcpy(p, &f, 4);
    } else if (bytes == 2) {
      const std::uint16_t u = static_cast<std::uint16_t>(v);
      std::memcpy(p, &u, 2);
    } else if (bytes == 1) {
      *p = static_cast<std::uint8_t>(v);
    }
  };
  bool ok = true;
  const int planes = separate ? spec.samples : 1;
  if (spec.tile > 0) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, spec.tile);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, spec.tile);
    std::vector<std::uint8_t> buffer(TIFFTileSize(tif));
    for (int s = 0; s < planes; ++s) {
      for (int ty = 0; ty < spec.height; ty += spec.tile) {
        for (int tx = 0; tx < spec.width; tx += spec.tile) {
          std::fill(buffer.begin(), buffer.end(), 0);
          for (int y = ty; y < std::min(spec.height, ty + spec.tile); ++y)
            for (int x = tx; x < std::min(spec.width, tx + spec.tile); ++x)
              for (int c = 0; c < chunk; ++c)
                put(buffer.data() + (((y - ty) * spec.tile + (x - tx)) * chunk + c) * bytes,
                    FileSample(spec, x, y, separate ? s : c));
          ok = ok && TIFFWriteTile(tif, buffer.data(), tx, ty, 0, static_cast<std::uint16_t>(s)) >= 0;
        }
      }
    }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, spec.rows_per_strip);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(spec.width) * chunk * std::max(bytes, 1));
    for (int s = 0; s < planes; ++s) {
      for (int y = 0; y < spec.height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        if (spec.bits >= 8) {
          for (int x = 0; x < spec.width; ++x)
            for (int c = 0; c < chunk; ++c)
              put(row.data() + (x * chunk + c) * bytes, FileSample(spec, x, y, separate ? s : c));
        }
        ok = ok && TIFFWriteScanline(tif, row.data(), y, static_cast<std::uint16_t>(s)) == 1;
      }
    }
  }
  TIFFClose(tif);
  if (!ok) return {};
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path.c_str());
  return data;
}

Status Decode(const std::vector<std::uint8_t>& bytes, SampleImage& image) {
  return DecodeTiff(bytes.data(), bytes.size(), "test.tif", image);
}

TEST(TiffReader, EveryLayoutReadsBackExactly) {
  const int ieee = SAMPLEFORMAT_IEEEFP;
  const int rgb = PHOTOMETRIC_RGB;
  const int separate = PLANARCONFIG_SEPARATE;
  TiffSpec cases[] = {
      {.name = "grey 8 strips"},
      {.name = "grey 16 deflate", .bits = 16, .compression = COMPRESSION_ADOBE_DEFLATE, .predictor = 2},
      {.name = "grey 16 one strip", .bits = 16, .rows_per_strip = 1000},
      {.name = "rgb 8 separate", .samples = 3, .photometric = rgb, .planar = separate},
      {.name = "rgb 16 tiles lzw",
       .samples = 3,
       .bits = 16,
       .photometric = rgb,
       .tile = 16,
       .compression = COMPRESSION_LZW},
      {.name = "rgb 16 separate tiles",
       .samples = 3,
       .bits = 16,
       .photometric = rgb,
       .planar = separate,
       .tile = 16},
      {.name = "grey float deflate",
       .bits = 32,
       .format = ieee,
       .compression = COMPRESSION_ADOBE_DEFLATE,
       .predictor = 3},
      {.name = "rgb float", .samples = 3, .bits = 32, .format = ieee, .photometric = rgb},
      {.name = "rgb float separate tiles",
       .samples = 3,
       .bits = 32,
       .format = ieee,
       .photometric = rgb,
       .planar = separate,
       .tile = 32},
      {.name = "rgba 8", .samples = 4, .photometric = rgb, .extra = 1},
      {.name = "grey alpha 16 separate", .samples = 2, .bits = 16, .planar = separate, .extra = 1},
      {.name = "mirrored", .samples = 3, .photometric = rgb, .orientation = ORIENTATION_TOPRIGHT},
      {.name = "upside down", .bits = 16, .tile = 16, .orientation = ORIENTATION_BOTLEFT},
      {.name = "turned half", .bits = 32, .format = ieee, .orientation = ORIENTATION_BOTRIGHT},
  };
  for (const TiffSpec& spec : cases) {
    SCOPED_TRACE(spec.name);
    const std::vector<std::uint8_t> bytes = WriteTiff(spec);
    ASSERT_FALSE(bytes.empty());
    SampleImage image;
    const Status status = Decode(bytes, image);
    ASSERT_TRUE(status) << status.message();
    const int channels = spec.photometric == rgb ? 3 : 1;
    ASSERT_EQ(image.width(), spec.width);
    ASSERT_EQ(image.height(), spec.height);
    ASSERT_EQ(image.channels(), channels);
    ASSERT_EQ(image.type(), spec.bits == 8    ? SampleType::kU8
                            : spec.bits == 16 ? SampleType::kU16
                                              : SampleType::kF32);
    const bool mirror = spec.orientation == ORIENTATION_TOPRIGHT || spec.orientation == ORIENTATION_BOTRIGHT;
    const bool flip = spec.orientation == ORIENTATION_BOTLEFT || spec.orientation == ORIENTATION_BOTRIGHT;
    for (int c = 0; c < channels; ++c) {
      for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x) {
          const double want = FileSample(spec, x, y, c);
          const int ox = mirror ? spec.width - 1 - x : x;
          const int oy = flip ? spec.height - 1 - y : y;
          const double got = image.plane(c).Value(ox, oy);
          if (spec.format == ieee) {
            ASSERT_EQ(static_cast<float>(got), static_cast<float>(want)) << c << " " << x << "," << y;
          } else {
            ASSERT_EQ(got, want) << c << " " << x << "," << y;
          }
        }
      }
    }
  }
}

TEST(TiffReader, ReadsTheProgramsOwnFiles) {
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
  ASSERT_TRUE(EncodeTiff(picture, bytes));
  SampleImage image;
  ASSERT_TRUE(Decode(bytes, image));
  ASSERT_EQ(image.type(), SampleType::kU8);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 19; ++x)
      for (int c = 0; c < 3; ++c)  // the picture holds blue, green, red
        ASSERT_EQ(image.Row<std::uint8_t>(c, y)[x], picture.Row(y)[3 * x + 2 - c]);
  ASSERT_TRUE(EncodeTiff16(picture16, bytes));
  ASSERT_TRUE(Decode(bytes, image));
  ASSERT_EQ(image.type(), SampleType::kU16);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 19; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(image.Row<std::uint16_t>(c, y)[x], picture16.Row(y)[3 * x + c]);
}

// A TIFF header and one directory claiming a w x h grey picture whose one
// strip of `strip` bytes follows.
std::vector<std::uint8_t> ClaimingTiff(std::uint32_t w, std::uint32_t h, int compression, std::size_t strip) {
  std::vector<test::TiffEntry> entries = {
      test::TiffLongs(256, {w}),  test::TiffLongs(257, {h}),
      test::TiffShorts(258, {8}), test::TiffShorts(259, {static_cast<std::uint16_t>(compression)}),
      test::TiffShorts(262, {1}), test::TiffLongs(273, {0}),
      test::TiffLongs(278, {h}),  test::TiffLongs(279, {static_cast<std::uint32_t>(strip)}),
  };
  const std::uint32_t data = 8 + static_cast<std::uint32_t>(test::TiffIfdSize(entries));
  entries[5] = test::TiffLongs(273, {data});
  std::vector<std::uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  test::AppendTiffIfd(out, entries, 0);
  out.resize(out.size() + strip, 0x55);
  return out;
}

TEST(TiffReader, RefusesWhatItDoesNotReadWithOneLine) {
  const int rgb = PHOTOMETRIC_RGB;
  const struct {
    TiffSpec spec;
    const char* says;
  } cases[] = {
      {{.name = "palette", .photometric = PHOTOMETRIC_PALETTE}, "palette"},
      {{.name = "white is zero", .photometric = PHOTOMETRIC_MINISWHITE}, "white-is-zero"},
      {{.name = "signed 16", .bits = 16, .format = SAMPLEFORMAT_INT}, "16-bit signed"},
      {{.name = "double", .samples = 3, .bits = 64, .format = SAMPLEFORMAT_IEEEFP, .photometric = rgb},
       "64-bit float"},
      {{.name = "1-bit", .bits = 1}, "1-bit"},
      {{.name = "transposed", .orientation = ORIENTATION_LEFTTOP}, "orientation 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.spec.name);
    const std::vector<std::uint8_t> bytes = WriteTiff(c.spec);
    ASSERT_FALSE(bytes.empty());
    SampleImage image;
    const Status status = Decode(bytes, image);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.message().rfind("test.tif: ", 0), 0u) << status.message();
    EXPECT_NE(status.message().find(c.says), std::string::npos) << status.message();
    EXPECT_TRUE(image.empty());
  }
}

TEST(TiffReader, RefusesCutAndHollowFilesBeforeAllocating) {
  // libtiff writes the directory last: a cut file of its has none. Then a
  // directory first and a strip cut short.
  const std::vector<std::uint8_t> whole = WriteTiff(
      {.samples = 3, .bits = 16, .photometric = PHOTOMETRIC_RGB, .compression = COMPRESSION_ADOBE_DEFLATE});
  const std::vector<std::uint8_t> strip_cut = ClaimingTiff(300, 200, COMPRESSION_NONE, 60000);
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* says;
  } cases[] = {
      {"cut deflate", std::vector<std::uint8_t>(whole.begin(), whole.begin() + whole.size() * 2 / 3),
       "cut short"},
      {"cut strip", std::vector<std::uint8_t>(strip_cut.begin(), strip_cut.end() - 1000), "strip"},
      {"not a TIFF", {'P', '6', '\n', 0x1b, '[', '2', 'J'}, "not a TIFF"},
      {"empty", {}, "not a TIFF"},
      // 16000 x 16000 from a few bytes: refused before 256 MB are asked for.
      {"hollow deflate", ClaimingTiff(16000, 16000, COMPRESSION_ADOBE_DEFLATE, 64), "compressed data"},
      {"hollow uncompressed", ClaimingTiff(16000, 16000, COMPRESSION_NONE, 64), "bytes of data"},
      {"too wide", ClaimingTiff(40000, 2, COMPRESSION_NONE, 80000), "too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SampleImage image;
    const Status status = Decode(c.bytes, image);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.message().rfind("test.tif: ", 0), 0u) << status.message();
    EXPECT_NE(status.message().find(c.says), std::string::npos) << status.message();
    for (char ch : status.message()) EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << status.message();
    EXPECT_TRUE(image.empty());
  }
}

TEST(TiffReader, RefusesWhatMemoryCannotHold) {
  const std::vector<std::uint8_t> bytes =
      WriteTiff({.width = 1000, .height = 1000, .bits = 16, .rows_per_strip = 64});
  SetAvailableMemoryForTesting(4u << 20);
  SampleImage image;
  const Status status = Decode(bytes, image);
  SetAvailableMemoryForTesting(0);
  ASSERT_FALSE(status);
  EXPECT_NE(status.message().find("MiB of memory"), std::string::npos) << status.message();
  EXPECT_TRUE(Decode(bytes, image));
}

TEST(TiffReader, ReadsFromAFileAndNamesIt) {
  const std::vector<std::uint8_t> bytes = WriteTiff({.bits = 16});
  const std::string path = ::testing::TempDir() + "qirm_tiff_reader_file.tif";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  SampleImage image;
  ASSERT_TRUE(ReadTiffFile(path, image));
  EXPECT_EQ(image.Row<std::uint16_t>(0, 3)[5], FileSample({.bits = 16}, 5, 3, 0));
  const Status folder = ReadTiffFile(::testing::TempDir(), image);
  ASSERT_FALSE(folder);
  EXPECT_NE(folder.message().find("Is a directory"), std::string::npos) << folder.message();
  std::remove(path.c_str());
}

}  // namespace
}  // namespace qirm
