// SPDX-License-Identifier: GPL-3.0-or-later
// The window a frame is opened in for picking reference stars: a 16-bit
// window whose raw values are the file's, as the open command reads them,
// shown so that the sky is grey 50.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "fits_test_util.h"
#include "tests/support/test_files.h"
#include "tricolour/picking.h"

namespace qirm {
namespace {

TEST(PickingWindow, HoldsTheFilesRawValuesAndShowsTheSkyAtFifty) {
  fits_test::TempDir dir(true);
  const int w = 33, h = 27;
  std::vector<int> values(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = 1000 + static_cast<int>(i % 7) * 2;
  values[5] = 0;
  values[40] = 65535;
  values[300] = 1256;  // crosses a multiple of 256 from its neighbours
  const std::string path = dir.File("f.fits");
  test::WriteBytes(path, test::Fits16Bytes(w, h, values));

  ImageDocument picked;
  ASSERT_TRUE(OpenFrameForPicking(path, picked));
  ImageDocument opened;
  ASSERT_TRUE(LoadFitsDocument(path, opened));
  EXPECT_EQ(picked.kind, WindowKind::kRaw16);
  EXPECT_TRUE(picked.ImageZm.empty());
  EXPECT_EQ(picked.raw, opened.raw);
  ASSERT_EQ(picked.raw.width, w);
  for (std::size_t i = 0; i < values.size(); ++i) ASSERT_EQ(picked.raw.values[i], values[i]) << i;

  // g = trunc(50 (v - min) / (mean - min)), clamped to 0..255.
  const double mean = *picked.mean;
  const int min = *picked.minimum;
  ASSERT_GT(mean, min);
  for (const int i : {7, 40, 300}) {
    const int v = values[static_cast<std::size_t>(i)];
    const int g = std::clamp(static_cast<int>(50 * (v - min) / (mean - min)), 0, 255);
    EXPECT_EQ(picked.Image.Color(i % w, i / w), static_cast<std::uint32_t>(g) * 0x010101u) << i;
  }
}

}  // namespace
}  // namespace qirm
