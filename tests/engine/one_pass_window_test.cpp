// SPDX-License-Identifier: GPL-3.0-or-later
// The one-pass ways of making a 16-bit window's plane and shown picture
// (from a matrix in bands, from a file's rows, into a kept picture, cut
// between several threads) give every value the plain per-pixel loops give, on sizes that
// leave partial bands, partial thread parts and last pixels of rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "core/fits_reader.h"
#include "core/parallel.h"
#include "display/level_presets.h"
#include "display/levels.h"
#include "document/history.h"
#include "fits_test_util.h"
#include "tests/support/test_files.h"

namespace qirm {
namespace {

// The rules as plain loops over every pixel.
Picture PlainRender(const IntMatrix& raw, int w, int h, int max, int min) {
  const LevelLut table = LevelTable(max, min);
  Picture out(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint8_t g = table[static_cast<std::uint16_t>(raw[x][y])];
      out.Row(y)[3 * x] = out.Row(y)[3 * x + 1] = out.Row(y)[3 * x + 2] = g;
    }
  return out;
}

// Values outside 0..65535 keep the bytes the division by 256 gives.
RawPlane PlainPlane(const IntMatrix& raw, int w, int h) {
  RawPlane plane(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = raw[x][y];
      plane.Row(y)[x] = static_cast<std::uint16_t>(256 * static_cast<std::uint8_t>(v / 256) +
                                                   static_cast<std::uint8_t>(v % 256));
    }
  return plane;
}

IntMatrix RandomMatrix(int w, int h, unsigned seed, bool out_of_range) {
  IntMatrix m;
  m.Allocate(w, h);
  std::mt19937 rng(seed);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) {
      const std::uint32_t r = rng();
      // Mostly sky around 1200, some of everything, and for the matrix
      // paths values no reader makes (negative, above 65535).
      int v = (r & 7) == 0 ? static_cast<int>(r >> 16) : 1150 + static_cast<int>(r % 200);
      if (out_of_range && (r & 63) == 1) v = (r & 64) ? -1 - static_cast<int>(r >> 24) : 65536 + (r >> 24);
      m[x][y] = v;
    }
  return m;
}

const int kSizes[][2] = {{1, 1}, {2, 3}, {20, 21}, {21, 20}, {33, 65}, {131, 67}, {257, 9}};

TEST(OnePassWindow, MatrixPathsEqualThePlainLoopsAtAnyCut) {
  for (int threads : {1, 3}) {
    ScopedThreadCount count(threads);
    for (const auto& size : kSizes) {
      const int w = size[0], h = size[1];
      const IntMatrix raw = RandomMatrix(w, h, static_cast<unsigned>(w * 1000 + h), true);
      const std::string what = std::to_string(w) + " x " + std::to_string(h) + ", " + std::to_string(threads);
      const RawPlane plain_plane = PlainPlane(raw, w, h);
      const Picture plain = PlainRender(raw, w, h, 1300, 1180);
      RawPlane plane;
      FillRawPlane(raw, w, h, plane);
      EXPECT_EQ(plane, plain_plane) << what;
      EXPECT_EQ(RenderRawLevels(raw, w, h, 1300, 1180), plain) << what;
      // A picture and a plane that held something else (of another size, or
      // of this size with other values) are written whole.
      Picture shown(w + 1, h);
      plane = RawPlane(w, h);
      std::fill(plane.values.begin(), plane.values.end(), 7);
      RenderRawWindow(raw, w, h, 1300, 1180, shown, plane);
      EXPECT_EQ(shown, plain) << what;
      EXPECT_EQ(plane, plain_plane) << what;
      // From the plane: the grey of the plane's own value.
      Picture kept(w, h);
      RenderLevelsInto(plain_plane, 1300, 1180, kept);
      EXPECT_EQ(kept, RenderLevels(plain_plane, 1300, 1180)) << what;
      const LevelLut table = LevelTable(1300, 1180);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(kept.Color(x, y), table[plain_plane.At(x, y)] * 0x010101u) << what;
    }
  }
}

TEST(OnePassWindow, AKeptPictureOfAnotherSizeTakesThePlanesSize) {
  ScopedThreadCount count(3);
  const IntMatrix raw = RandomMatrix(37, 30, 7, false);
  const RawPlane plane = PlainPlane(raw, 37, 30);
  Picture kept(40, 30);
  kept.Row(0)[3 * 36] = 7;
  RenderLevelsInto(plane, 1300, 1180, kept);
  EXPECT_EQ(kept, PlainRender(raw, 37, 30, 1300, 1180));
}

TEST(OnePassWindow, OpeningFromTheFileRowsEqualsTheMatrixPath) {
  fits_test::TempDir dir(true);
  for (int threads : {1, 3}) {
    ScopedThreadCount count(threads);
    for (const auto& size : kSizes) {
      const int w = size[0], h = size[1];
      const IntMatrix m = RandomMatrix(w, h, static_cast<unsigned>(w + 7 * h), false);
      std::vector<int> values;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) values.push_back(m[x][y]);
      std::string bytes = test::Fits16Bytes(w, h, values);
      // A file cut short: the missing bytes count as 255.
      const bool short_file = w * h > 100;
      if (short_file) bytes.resize(2880 + 2 * (w * h) - 2 * w - 1);
      const std::string path = dir.File("f.fits");
      test::WriteBytes(path, bytes);
      const std::string what = std::to_string(w) + " x " + std::to_string(h) + ", " + std::to_string(threads);

      FitsHeader header;
      ASSERT_TRUE(ReadFitsHeader(path, header));
      IntMatrix raw;
      raw.Allocate(w, h);
      ASSERT_TRUE(ReadFitsFile(path, header, raw));
      ToUnsigned16(32768, w, h, raw);
      const InitialLevelsResult levels = InitialLevels(raw, w, h);
      const RawPlane plain_plane = PlainPlane(raw, w, h);

      ImageDocument doc;
      ASSERT_TRUE(LoadFitsDocument(path, doc)) << what;
      EXPECT_EQ(doc.Image, PlainRender(raw, w, h, levels.max, levels.min)) << what;
      EXPECT_EQ(doc.raw, plain_plane) << what;
      EXPECT_TRUE(doc.ImageZm.empty()) << what;
      EXPECT_EQ(doc.max_level, levels.max) << what;
      EXPECT_EQ(doc.min_level, levels.min) << what;
      EXPECT_EQ(doc.mean, levels.mean) << what;

      // Without the shown picture, and with it drawn afterwards.
      ImageDocument later;
      ASSERT_TRUE(LoadFitsDocument(path, later, false)) << what;
      EXPECT_TRUE(later.Image.empty()) << what;
      EXPECT_EQ(later.raw, doc.raw) << what;
      DrawDeferredPicture(later);
      EXPECT_EQ(later.Image, doc.Image) << what;

      // The histogram of the levels panel, counted in parts.
      std::vector<std::int64_t> counts(65536, 0);
      for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) ++counts[raw[x][y]];
      EXPECT_EQ(ValueCounts(doc), counts) << what;
    }
  }
}

// The memory a 16-bit window holds: the shown picture (3 bytes a pixel) and
// the raw plane (2), nothing else of the frame's size, with or without its
// undo snapshot's struct.
TEST(OnePassWindow, AnOpenedSixteenBitWindowHoldsFiveBytesAPixel) {
  fits_test::TempDir dir(true);
  const int w = 64, h = 48;
  std::vector<int> values(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int>(i * 37 % 4000);
  const std::string path = dir.File("f.fits");
  test::WriteBytes(path, test::Fits16Bytes(w, h, values));
  ImageDocument doc;
  ASSERT_TRUE(LoadFitsDocument(path, doc));
  const std::size_t held = doc.Image.stride() * static_cast<std::size_t>(doc.Image.height()) +
                           doc.ImageZm.stride() * static_cast<std::size_t>(doc.ImageZm.height()) +
                           doc.raw.values.capacity() * sizeof(std::uint16_t);
  EXPECT_EQ(held, 5u * w * h);
  EXPECT_EQ(SnapshotBytes(doc), sizeof(ImageDocument) + held);
}

}  // namespace
}  // namespace qirm
