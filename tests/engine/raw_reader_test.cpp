// SPDX-License-Identifier: GPL-3.0-or-later
// Camera raw reading through LibRaw, on DNG files written tag by tag: the
// mosaic as stored, its pattern from the visible area's origin, the shot's
// settings as cards, and the files refused.
#include "core/raw_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "core/file_bytes.h"
#include "tests/support/tiff_bytes.h"

namespace qirm {
namespace {

using test::DngBytes;
using test::DngSpec;

// Values that tell a pixel's place: 1000 * (colour + 1) + 10 * y + x.
std::vector<std::uint16_t> Samples(int w, int h, const std::vector<std::uint8_t>& cfa) {
  std::vector<std::uint16_t> v(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      v[static_cast<std::size_t>(y) * w + x] =
          static_cast<std::uint16_t>(1000 * (cfa[(y & 1) * 2 + (x & 1)] + 1) + 10 * y + x);
  return v;
}

Status Decode(const std::vector<std::uint8_t>& bytes, SampleImage& image) {
  return DecodeRaw(bytes.data(), bytes.size(), "test.dng", image);
}

std::string Card(const SampleImage& image, const std::string& keyword) {
  std::string value;
  return image.FindCard(keyword, value) ? value : "(none)";
}

// The local time zone decides how LibRaw reads the camera's clock: UTC here.
class RawReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    m_had_tz = tz != nullptr;
    if (m_had_tz) m_tz = tz;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override {
    if (m_had_tz) {
      ::setenv("TZ", m_tz.c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  bool m_had_tz = false;
  std::string m_tz;
};

TEST_F(RawReaderTest, EveryPatternGivesTheStoredMosaicAndItsName) {
  const struct {
    std::vector<std::uint8_t> cfa;
    const char* name;
  } cases[] = {
      {{0, 1, 1, 2}, "RGGB"}, {{2, 1, 1, 0}, "BGGR"}, {{1, 0, 2, 1}, "GRBG"}, {{1, 2, 0, 1}, "GBRG"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DngSpec spec;
    spec.width = 30;
    spec.height = 24;
    spec.cfa = c.cfa;
    spec.samples = Samples(spec.width, spec.height, c.cfa);
    SampleImage image;
    ASSERT_TRUE(Decode(DngBytes(spec), image)) << Decode(DngBytes(spec), image).message();
    ASSERT_EQ(image.width(), 30);
    ASSERT_EQ(image.height(), 24);
    ASSERT_EQ(image.channels(), 1);
    ASSERT_EQ(image.type(), SampleType::kU16);
    EXPECT_EQ(Card(image, "BAYERPAT"), c.name);
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 30; ++x)
        ASSERT_EQ(image.Row<std::uint16_t>(0, y)[x], spec.samples[y * 30 + x]) << x << "," << y;
  }
}

TEST_F(RawReaderTest, PatternIsTheVisibleAreasOwn) {
  // The pattern of a DNG is anchored at its active area, here from (1, 1);
  // LibRaw may start the visible area further in. Whatever it keeps, the
  // pattern named must be that of the visible area's first pixel: every
  // value tells its filter (1000 red, 2000 green, 3000 blue).
  DngSpec spec;
  spec.width = 32;
  spec.height = 28;
  spec.active_area = {1, 1, 27, 31};  // top, left, bottom, right
  spec.samples.resize(32 * 28);
  for (int y = 0; y < 28; ++y)
    for (int x = 0; x < 32; ++x)
      spec.samples[y * 32 + x] =
          static_cast<std::uint16_t>(1000 * (spec.cfa[((y - 1) & 1) * 2 + ((x - 1) & 1)] + 1) + 10 * y + x);
  SampleImage image;
  const Status status = Decode(DngBytes(spec), image);
  ASSERT_TRUE(status) << status.message();
  ASSERT_GE(image.width(), 26);
  ASSERT_GE(image.height(), 22);
  std::string name;
  ASSERT_TRUE(image.FindCard("BAYERPAT", name));
  const int first = image.Row<std::uint16_t>(0, 0)[0];
  // The visible area starts on a pixel of the active area's second row and
  // column (blue) or on the third (red): no other pixel was cut.
  EXPECT_TRUE((name == "BGGR" && first == 3000 + 10 * 2 + 2) ||
              (name == "RGGB" && first == 1000 + 10 * 3 + 3) ||
              (name == "BGGR" && first == 3000 + 10 * 4 + 4))
      << name << " " << first;
  const char letters[] = "RGB";
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const int colour = image.Row<std::uint16_t>(0, y)[x] / 1000 - 1;
      ASSERT_EQ(letters[colour], name[(y & 1) * 2 + (x & 1)]) << x << "," << y;
    }
  }
}

TEST_F(RawReaderTest, ShotSettingsBecomeCards) {
  DngSpec spec;
  spec.samples = Samples(spec.width, spec.height, spec.cfa);
  spec.exposure = {30, 1};
  spec.iso = 1600;
  spec.date = "2024:03:15 21:30:05";
  spec.black = 256;
  spec.white = 16383;
  spec.as_shot_neutral = {1, 2, 1, 1, 4, 5};  // 0.5, 1, 0.8: multipliers 2, 1, 1.25
  SampleImage image;
  const Status status = Decode(DngBytes(spec), image);
  ASSERT_TRUE(status) << status.message();
  EXPECT_EQ(Card(image, "BAYERPAT"), "RGGB");
  EXPECT_EQ(Card(image, "XBAYROFF"), "0");
  EXPECT_EQ(Card(image, "YBAYROFF"), "0");
  EXPECT_EQ(Card(image, "ROWORDER"), "TOP-DOWN");
  EXPECT_EQ(Card(image, "INSTRUME"), "QIRM TestCam 1");
  EXPECT_EQ(Card(image, "EXPTIME"), "30");
  EXPECT_EQ(Card(image, "ISOSPEED"), "1600");
  EXPECT_EQ(Card(image, "DATE-OBS"), "2024-03-15T21:30:05");
  EXPECT_EQ(Card(image, "BLACKLVL"), "256");
  EXPECT_EQ(Card(image, "WHITELVL"), "16383");
  EXPECT_EQ(std::atof(Card(image, "MULT_R").c_str()), 2.0);
  EXPECT_EQ(std::atof(Card(image, "MULT_G").c_str()), 1.0);
  EXPECT_EQ(std::atof(Card(image, "MULT_B").c_str()), 1.25);
  for (const std::string& card : image.cards) EXPECT_EQ(card.size(), 80u) << card;
  // The black level is told, never subtracted.
  EXPECT_EQ(image.Row<std::uint16_t>(0, 0)[0], spec.samples[0]);
}

TEST_F(RawReaderTest, RefusesWhatIsNoBayerMosaic) {
  DngSpec linear;  // a demosaiced (linear) DNG: three samples a pixel
  linear.photometric = 34892;
  linear.samples_per_pixel = 3;
  linear.samples.assign(static_cast<std::size_t>(linear.width) * linear.height * 3, 500);

  DngSpec xtrans;  // a 6 x 6 pattern
  xtrans.width = 36;
  xtrans.height = 24;
  xtrans.cfa_dim = {6, 6};
  xtrans.cfa = {1, 1, 0, 1, 1, 2, 1, 1, 2, 1, 1, 0, 2, 0, 1, 0, 2, 1,
                1, 1, 2, 1, 1, 0, 1, 1, 0, 1, 1, 2, 0, 2, 1, 2, 0, 1};
  xtrans.samples.assign(36 * 24, 700);

  for (const DngSpec& spec : {linear, xtrans}) {
    SampleImage image;
    const Status status = Decode(DngBytes(spec), image);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.message().rfind("test.dng: ", 0), 0u) << status.message();
    EXPECT_NE(status.message().find("mosaic"), std::string::npos) << status.message();
    EXPECT_TRUE(image.empty());
  }
}

TEST_F(RawReaderTest, RefusesBrokenFilesWithOneLine) {
  DngSpec spec;
  spec.width = 64;
  spec.height = 48;
  spec.samples = Samples(spec.width, spec.height, spec.cfa);
  const std::vector<std::uint8_t> whole = DngBytes(spec);
  const std::vector<std::uint8_t> cut(whole.begin(), whole.end() - 3000);
  const std::vector<std::uint8_t> junk = {'n', 'o', 't', ' ', 'r', 'a', 'w', '\n', 0, 1, 2, 3};
  for (const auto& bytes : {cut, junk, std::vector<std::uint8_t>()}) {
    SampleImage image;
    const Status status = Decode(bytes, image);
    ASSERT_FALSE(status);
    EXPECT_EQ(status.message().rfind("test.dng: ", 0), 0u) << status.message();
    EXPECT_EQ(status.message().find('\n'), std::string::npos);
    EXPECT_TRUE(image.empty());
    EXPECT_TRUE(image.cards.empty());
  }
}

TEST_F(RawReaderTest, RefusesWhatMemoryCannotHold) {
  DngSpec spec;
  spec.width = 1024;
  spec.height = 1024;
  spec.samples.assign(1024 * 1024, 100);
  SetAvailableMemoryForTesting(4u << 20);
  SampleImage image;
  const Status status = Decode(DngBytes(spec), image);
  SetAvailableMemoryForTesting(0);
  ASSERT_FALSE(status);
  EXPECT_NE(status.message().find("MiB of memory"), std::string::npos) << status.message();
}

TEST_F(RawReaderTest, ReadsFromAFile) {
  DngSpec spec;
  spec.samples = Samples(spec.width, spec.height, spec.cfa);
  const std::vector<std::uint8_t> bytes = DngBytes(spec);
  const std::string path = ::testing::TempDir() + "qirm_raw_reader.dng";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  SampleImage image;
  ASSERT_TRUE(ReadRawFile(path, image));
  EXPECT_EQ(image.Row<std::uint16_t>(0, 5)[7], spec.samples[5 * spec.width + 7]);
  const Status missing = ReadRawFile(path + ".none", image);
  EXPECT_FALSE(missing);
  EXPECT_NE(missing.message().find("No such file"), std::string::npos) << missing.message();
  std::remove(path.c_str());
}

}  // namespace
}  // namespace qirm
