// SPDX-License-Identifier: GPL-3.0-or-later
// SampleImage: its planes and their views, the sizes it refuses, and the
// header cards it carries (written in the fixed format, read back).
#include "core/sample_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace qirm {
namespace {

TEST(SampleImage, PlanesAreSeparateTypedViews) {
  SampleImage image;
  ASSERT_TRUE(image.Allocate(5, 3, 3, SampleType::kU16));
  EXPECT_EQ(image.pixels(), 15u);
  for (int c = 0; c < 3; ++c)
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x)
        image.Row<std::uint16_t>(c, y)[x] = static_cast<std::uint16_t>(1000 * c + 10 * y + x);
  const SampleImage& read = image;
  for (int c = 0; c < 3; ++c) {
    const ConstPlaneView p = read.plane(c);
    EXPECT_EQ(p.width, 5);
    EXPECT_EQ(p.height, 3);
    EXPECT_EQ(p.stride, 5);
    EXPECT_TRUE(p.Is<std::uint16_t>());
    EXPECT_FALSE(p.Is<float>());
    EXPECT_EQ(p.At<std::uint16_t>(4, 2), 1000 * c + 24);
    EXPECT_EQ(p.Value(1, 1), 1000 * c + 11);
  }
  // A view of a part: rows keep the plane's stride.
  const PlaneView whole = image.plane(1);
  const PlaneView part(whole.Row<std::uint16_t>(1) + 2, 3, 2, whole.stride, whole.type);
  const ConstPlaneView constant = part;
  EXPECT_EQ(constant.At<std::uint16_t>(0, 0), 1012);
  EXPECT_EQ(constant.At<std::uint16_t>(2, 1), 1024);
  std::uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(PlaneView::Of<std::uint8_t>(bytes, 2, 3).Value(1, 2), 6);
}

TEST(SampleImage, RefusesSizesChannelsAndTypesItDoesNotHold) {
  SampleImage image;
  ASSERT_TRUE(image.Allocate(4, 4, 1, SampleType::kF32));
  const struct {
    int w, h, channels;
    SampleType type;
    const char* says;
  } cases[] = {
      {0, 4, 1, SampleType::kU8, "bad picture size"},
      {40000, 4, 1, SampleType::kU8, "too large"},
      {4, 4, 2, SampleType::kU8, "1 or 3 channels"},
      {4, 4, 1, SampleType::kF64, "64-bit"},
  };
  for (const auto& c : cases) {
    const Status status = image.Allocate(c.w, c.h, c.channels, c.type);
    ASSERT_FALSE(status);
    EXPECT_NE(status.message().find(c.says), std::string::npos) << status.message();
    // The image is left as it was.
    EXPECT_EQ(image.width(), 4);
    EXPECT_EQ(image.type(), SampleType::kF32);
  }
  image.Clear();
  EXPECT_TRUE(image.empty());
}

TEST(SampleImage, CardsAreFixedFormatAndReadBack) {
  const std::string number = FitsCard("exptime", "30.5", "exposure [s]");
  EXPECT_EQ(number, (std::string("EXPTIME =                 30.5 / exposure [s]") + std::string(35, ' ')));
  const std::string text = FitsCard("INSTRUME", FitsStringValue("Maker's X"));
  EXPECT_EQ(text.substr(0, 24), "INSTRUME= 'Maker''s X'  ");
  EXPECT_EQ(FitsCard("BAYERPAT", FitsStringValue("RGGB")).substr(0, 20), "BAYERPAT= 'RGGB    '");
  EXPECT_EQ(FitsStringValue("a\nb"), "'a?b     '");
  // A long text is cut to fit, never inside a doubled quote.
  const std::string long_value = FitsStringValue(std::string(67, 'x') + "'y");
  EXPECT_EQ(long_value, "'" + std::string(67, 'x') + "'");
  for (const std::string& card : {number, text, FitsCard("K", long_value, "comment")})
    EXPECT_EQ(card.size(), 80u);

  SampleImage image;
  image.cards = {number, text, FitsCard("BAYERPAT", FitsStringValue("GBRG"), "pattern"),
                 FitsCard("ISOSPEED", FitsIntegerValue(800))};
  std::string value;
  ASSERT_TRUE(image.FindCard("EXPTIME", value));
  EXPECT_EQ(value, "30.5");
  ASSERT_TRUE(image.FindCard("INSTRUME", value));
  EXPECT_EQ(value, "Maker's X");
  ASSERT_TRUE(image.FindCard("BAYERPAT", value));
  EXPECT_EQ(value, "GBRG");
  ASSERT_TRUE(image.FindCard("ISOSPEED", value));
  EXPECT_EQ(value, "800");
  EXPECT_FALSE(image.FindCard("EXPTIM", value));
  EXPECT_FALSE(image.FindCard("DATE-OBS", value));
}

}  // namespace
}  // namespace qirm
