// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile and unlucky input: files that claim far more than they hold,
// extreme values, names that are not regular files, and the messages all of
// them give. Each fixture is a few bytes written here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "app/save_image.h"
#include "app/settings_file.h"
#include "core/bmp_file.h"
#include "core/file_bytes.h"
#include "core/fits_reader.h"
#include "core/jpeg_file.h"
#include "core/numbers.h"
#include "core/ppm_reader.h"
#include "core/printable.h"
#include "filters/coma_correction.h"
#include "filters/filter_commands.h"
#include "filters/guide_miss.h"
#include "tests/engine/fits_test_util.h"
#include "tests/support/test_files.h"
#include "tricolour/settings_file.h"

namespace qirm {
namespace {

using fits_test::TempDir;
using test::Card;
using test::WriteBytes;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A message is one line of printable characters.
void ExpectOnePrintableLine(const std::string& message) {
  for (unsigned char c : message) EXPECT_FALSE(c < 0x20 || c == 0x7F) << message;
}

std::string FitsHeaderBytes(const std::vector<std::string>& cards) {
  std::string h;
  for (const std::string& c : cards) h += Card(c);
  h += Card("END");
  h.resize(2880, ' ');
  return h;
}

std::string Fits16Header(const std::string& naxis1, const std::string& naxis2) {
  return FitsHeaderBytes({"SIMPLE  =                    T", "BITPIX  =                   16",
                          "NAXIS   =                    2", "NAXIS1  = " + naxis1, "NAXIS2  = " + naxis2});
}

// Pretends that only `bytes` of memory are available while it lives.
struct ScopedAvailableMemory {
  explicit ScopedAvailableMemory(std::uint64_t bytes) { SetAvailableMemoryForTesting(bytes); }
  ~ScopedAvailableMemory() { SetAvailableMemoryForTesting(0); }
};

TEST(Trunc, SaturatesOutOfRangeAndGivesZeroForNaN) {
  constexpr int kMax = std::numeric_limits<int>::max();
  constexpr int kMin = std::numeric_limits<int>::min();
  const Extended nan = std::numeric_limits<Extended>::quiet_NaN();
  const Extended inf = std::numeric_limits<Extended>::infinity();
  struct Case {
    Extended v;
    int expected;
  };
  for (const Case& c : {Case{2.9L, 2}, Case{-2.9L, -2}, Case{2147483647.9L, kMax}, Case{-2147483648.9L, kMin},
                        Case{2147483648.0L, kMax}, Case{-2147483649.0L, kMin}, Case{1e300L, kMax},
                        Case{-1e300L, kMin}, Case{inf, kMax}, Case{-inf, kMin}, Case{nan, 0}}) {
    SCOPED_TRACE(static_cast<double>(c.v));
    EXPECT_EQ(Trunc(c.v), c.expected);
  }
  EXPECT_EQ(TruncLong(1e30L), std::numeric_limits<long long>::max());
  EXPECT_EQ(TruncLong(-1e30L), std::numeric_limits<long long>::min());
  EXPECT_EQ(TruncLong(nan), 0);
  EXPECT_EQ(TruncLong(-12345678901.5L), -12345678901LL);
}

TEST(ComaCorrection, ExtremeAmountsAreRefusedByTheDialogAndDefinedInTheEngine) {
  ComaParams params;
  for (const char* amount : {"1e308", "-1000.5", "1e4"}) {
    const Status s = ParseComaTexts("0", "0", amount, params);
    ASSERT_FALSE(s.ok()) << amount;
    EXPECT_EQ(s.message(), kComaAmountRefused);
  }
  ASSERT_TRUE(ParseComaTexts("0", "0", "-1000", params).ok());
  ASSERT_TRUE(ParseComaTexts("5", "5", "1000", params).ok());
  // The engine itself: an amount whose trail overflows to infinity (and
  // NaN along the axes) gives a defined picture.
  Picture p(9, 7);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) p.SetColor(x, y, static_cast<std::uint32_t>(x * 20 + y * 3000));
  params.x = 0;
  params.y = 0;
  params.amount = 1e308;
  const Picture out = ComaCorrect(p, params);
  EXPECT_EQ(out.width(), 9);
  EXPECT_EQ(out, ComaCorrect(p, params));  // deterministic
}

TEST(FitsReader, AnAxisLengthThatIsNoIntegerInRangeIsRefusedByName) {
  TempDir dir;
  struct Case {
    const char* naxis1;
    const char* naxis2;
    const char* keyword;
  };
  for (const Case& c : {Case{"99999999999999999999", "                  10", "NAXIS1"},
                        Case{"                  10", "          3000000000", "NAXIS2"},
                        Case{"               512.5", "                  10", "NAXIS1"}}) {
    SCOPED_TRACE(c.naxis1 + std::string(" ") + c.naxis2);
    WriteBytes(dir.File("x.fits"), Fits16Header(c.naxis1, c.naxis2) + std::string(400, '\0'));
    FitsHeader h;
    const Status s = ReadFitsHeader(dir.File("x.fits"), h);
    ASSERT_FALSE(s.ok());
    EXPECT_TRUE(Contains(s.message(), c.keyword + std::string(" is not an integer"))) << s.message();
  }
}

// The readers refuse a FIFO at once (a plain open would wait for a writer
// for ever) and a device without reading it.
TEST(Readers, OnlyRegularFilesAreOpened) {
  TempDir dir;
  const std::string fifo = dir.File("x.fits");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const auto start = std::chrono::steady_clock::now();
  FitsHeader h;
  Status s = ReadFitsHeader(fifo, h);
  EXPECT_TRUE(Contains(s.message(), "not a regular file (a FIFO)")) << s.message();
  int w = 0, hh = 0;
  IntMatrix r, g, b;
  s = ReadPpmFile(fifo, w, hh, r, g, b);
  EXPECT_TRUE(Contains(s.message(), "not a regular file (a FIFO)")) << s.message();
  Picture picture;
  s = ReadBmpFile(fifo, picture);
  EXPECT_TRUE(Contains(s.message(), "not a regular file (a FIFO)")) << s.message();
  s = ReadJpegFile(fifo, picture);
  EXPECT_TRUE(Contains(s.message(), "not a regular file (a FIFO)")) << s.message();
  CompositionSettings settings;
  s = LoadCompositionSettings(fifo, settings);
  EXPECT_TRUE(Contains(s.message(), "not a regular file (a FIFO)")) << s.message();
  EXPECT_FALSE(ReadSettingsFile(fifo).has_value());
  s = ReadBmpFile("/dev/zero", picture);
  EXPECT_TRUE(Contains(s.message(), "not a regular file (a character device)")) << s.message();
  // A hang guard, not a timing: an open that waited for a writer would
  // never return; refusing takes microseconds.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

// Ordinary truncation still reads the missing bytes as 255; a file that
// holds less than half of a large data section is refused, saying how much
// it holds, before anything of its size is allocated.
TEST(Readers, FilesWhoseDataAreMostlyAbsentAreRefused) {
  TempDir dir;
  // 1024 x 1024 16-bit (2 MiB of data), 60 % present: read, the rest 255.
  const std::string header = Fits16Header("                1024", "                1024");
  WriteBytes(dir.File("most.fits"), header + std::string(2 * 1024 * 1024 * 6 / 10, '\x01'));
  FitsHeader h;
  ASSERT_TRUE(ReadFitsHeader(dir.File("most.fits"), h).ok());
  IntMatrix m;
  ASSERT_EQ(AllocIntMatrix(h.width, h.height, m), 0);
  ASSERT_TRUE(ReadFitsFile(dir.File("most.fits"), h, m).ok());
  EXPECT_EQ(m[1023][1023], 0xFFFF);
  EXPECT_EQ(m[0][0], 0x0101);
  // 40 % present: refused.
  WriteBytes(dir.File("some.fits"), header + std::string(2 * 1024 * 1024 * 4 / 10, '\x01'));
  Status s = ReadFitsHeader(dir.File("some.fits"), h);
  EXPECT_TRUE(Contains(s.message(),
                       "the file holds 838860 of the 2097152 bytes of data its header declares (40.0 %)"))
      << s.message();
  // A header alone claiming 16000 x 16000; the header can still be shown.
  WriteBytes(dir.File("big.fits"), Fits16Header("               16000", "               16000"));
  s = ReadFitsHeader(dir.File("big.fits"), h);
  EXPECT_TRUE(Contains(s.message(), "holds 0 of the 512000000 bytes")) << s.message();
  EXPECT_TRUE(ReadFitsHeaderOnly(dir.File("big.fits"), h).ok());

  // Netpbm: 67 bytes claiming 16000 x 16000.
  WriteBytes(dir.File("big.ppm"), "P6\n16000 16000\n255\n" + std::string(48, 'x'));
  int w = 0, hh = 0;
  IntMatrix r, g, b;
  s = ReadPpmFile(dir.File("big.ppm"), w, hh, r, g, b);
  EXPECT_TRUE(Contains(s.message(), "holds 48 of the 768000000 bytes")) << s.message();
  // Small pictures keep their old reading, however little they hold.
  WriteBytes(dir.File("small.ppm"), "P6\n100 100\n255\nabc");
  EXPECT_TRUE(ReadPpmFile(dir.File("small.ppm"), w, hh, r, g, b).ok());
}

std::vector<std::uint8_t> SmallJpeg() {
  Picture p(8, 8);
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(EncodeJpeg(p, 70, bytes).ok());
  return bytes;
}

// The frame header's size fields of a baseline JPEG: height then width.
void SetJpegSize(std::vector<std::uint8_t>& bytes, int w, int h) {
  for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = static_cast<std::uint8_t>(h >> 8), bytes[i + 6] = static_cast<std::uint8_t>(h);
      bytes[i + 7] = static_cast<std::uint8_t>(w >> 8), bytes[i + 8] = static_cast<std::uint8_t>(w);
      return;
    }
  }
  ADD_FAILURE() << "no SOF0 marker";
}

// An 8-bit RLE BMP of w x h whose data are one end-of-bitmap code.
std::vector<std::uint8_t> RleBmp(int w, int h) {
  std::vector<std::uint8_t> b = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 58, 0, 0, 0, 40, 0, 0, 0};
  auto put32 = [&](std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
  };
  put32(static_cast<std::uint32_t>(w));
  put32(static_cast<std::uint32_t>(h));
  b.insert(b.end(), {1, 0, 8, 0});
  put32(1);  // RLE8
  for (int k = 0; k < 3; ++k) put32(0);
  put32(1);  // one colour
  put32(0);
  put32(0x00FFFFFF);  // white
  b.insert(b.end(), {0, 1});
  return b;
}

TEST(Readers, CompressedPicturesFromFarTooFewBytesAreRefused) {
  std::vector<std::uint8_t> jpeg = SmallJpeg();
  SetJpegSize(jpeg, 16000, 16000);
  Picture picture;
  Status s = DecodeJpeg(jpeg.data(), jpeg.size(), "x.jpg", picture);
  EXPECT_TRUE(Contains(s.message(), "a 16000 x 16000 picture from only " + std::to_string(jpeg.size()) +
                                        " bytes of compressed data"))
      << s.message();
  EXPECT_TRUE(picture.empty());
  std::vector<std::uint8_t> bmp = RleBmp(16000, 16000);
  s = DecodeBmp(bmp.data(), bmp.size(), "x.bmp", picture);
  EXPECT_TRUE(Contains(s.message(), "a 16000 x 16000 picture from only 2 bytes")) << s.message();
  // Below a megapixel the old reading stands: the skipped pixels take
  // palette entry 0.
  bmp = RleBmp(1000, 1000);
  ASSERT_TRUE(DecodeBmp(bmp.data(), bmp.size(), "x.bmp", picture).ok());
  EXPECT_EQ(picture.Color(999, 0), 0xFFFFFFu);
}

TEST(Readers, APictureTheMachineCannotHoldIsRefusedBeforeItIsAllocated) {
  TempDir dir;
  std::vector<int> raw(300 * 200, 1000);
  WriteBytes(dir.File("f.fits"), test::Fits16Bytes(300, 200, raw));
  WriteBytes(dir.File("f.ppm"), test::Ppm6Bytes(300, 200, std::vector<unsigned char>(300 * 200 * 3, 7)));
  Picture p(300, 200);
  std::vector<std::uint8_t> bmp, jpeg;
  ASSERT_TRUE(EncodeBmp(p, bmp).ok());
  ASSERT_TRUE(EncodeJpeg(p, 70, jpeg).ok());

  const ScopedAvailableMemory tight(300 * 200);  // one byte a pixel
  FitsHeader h;
  Status s = ReadFitsHeader(dir.File("f.fits"), h);
  EXPECT_TRUE(Contains(s.message(), "a 300 x 200 picture needs 1 MiB of memory but only 0 MiB are available"))
      << s.message();
  int w = 0, hh = 0;
  IntMatrix r, g, b;
  s = ReadPpmFile(dir.File("f.ppm"), w, hh, r, g, b);
  EXPECT_TRUE(Contains(s.message(), "picture needs 2 MiB of memory but only 0 MiB")) << s.message();
  Picture picture;
  s = DecodeBmp(bmp.data(), bmp.size(), "f.bmp", picture);
  EXPECT_TRUE(Contains(s.message(), "picture needs 1 MiB of memory")) << s.message();
  s = DecodeJpeg(jpeg.data(), jpeg.size(), "f.jpg", picture);
  EXPECT_TRUE(Contains(s.message(), "picture needs 1 MiB of memory")) << s.message();
}

TEST(Messages, AreOnePrintableLine) {
  struct Case {
    std::string in;
    std::string out;
  };
  for (const Case& c : {Case{"plain/path.fits", "plain/path.fits"}, Case{"a\nb\rc\td", "a\\nb\\rc\\td"},
                        Case{"esc\x1b[2J", "esc\\x1b[2J"}, Case{"\xff\xfe", "\\xff\\xfe"},
                        Case{"\xe6\x98\x9f.fits", "\xe6\x98\x9f.fits"}, Case{"\xe6\x98", "\\xe6\\x98"},
                        Case{"\xc2\x85", "\\xc2\\x85"}, Case{std::string("nul\0x", 5), "nul\\x00x"}}) {
    EXPECT_EQ(PrintableText(c.in), c.out);
  }
  TempDir dir;
  FitsHeader h;
  Status s = ReadFitsHeader(dir.File("new\nline.fits"), h);
  EXPECT_TRUE(Contains(s.message(), "new\\nline.fits")) << s.message();
  ExpectOnePrintableLine(s.message());
  // A binary file given as a composition settings file.
  WriteBytes(dir.File("binary.mrv"), std::string("\x7f"
                                                 "ELF\x02\x01\x01\n\x00\x00\x1b[31m\xff\n",
                                                 16));
  CompositionSettings settings;
  s = LoadCompositionSettings(dir.File("binary.mrv"), settings);
  ASSERT_FALSE(s.ok());
  ExpectOnePrintableLine(s.message());
  // A width beyond any int is reported as written.
  WriteBytes(dir.File("wide.ppm"), "P6\n2147483648 1\n255\nabc");
  int w = 0, hh = 0;
  IntMatrix r, g, b;
  s = ReadPpmFile(dir.File("wide.ppm"), w, hh, r, g, b);
  EXPECT_TRUE(Contains(s.message(), "Netpbm size 2147483648 x 1 outside")) << s.message();
}

TEST(SaveThroughLink, ADanglingLinkIsRefusedAndKept) {
  TempDir dir;
  const std::string link = dir.File("out.bmp");
  ASSERT_EQ(::symlink("missing/target.bmp", link.c_str()), 0);
  const Status s = WritePictureFile(link, Picture(2, 2), PictureFormat::kBmp);
  EXPECT_TRUE(Contains(s.message(), "cannot write through a symbolic link to missing/target.bmp"))
      << s.message();
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

}  // namespace
}  // namespace qirm
