// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/fits_reader.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/cpu_dispatch.h"
#include "core/fits_keywords.h"
#include "core/fits_pixels.h"
#include "core/matrix.h"
#include "tests/engine/fits_test_util.h"
#include "tests/support/cpu_levels.h"

namespace qirm {
namespace {

using fits_test::Card;
using fits_test::Data16;
using fits_test::EndCard;
using fits_test::Fixed;
using fits_test::Header;
using fits_test::ImageCards;
using fits_test::PadBlock;
using fits_test::TempDir;
using fits_test::WriteBytes;

// The callers' sequence: header, matrix, pixels, shift. Console output is
// swallowed; `console` gets it when asked for.
struct Loaded {
  Status status;
  FitsHeader header;
  IntMatrix m;
  std::string console;
};

Loaded Load(const std::string& path, bool shift = true) {
  Loaded r;
  testing::internal::CaptureStdout();
  r.status = ReadFitsHeader(path, r.header);
  if (r.status.ok() && AllocIntMatrix(r.header.width, r.header.height, r.m) == 0) {
    r.status = ReadFitsFile(path, r.header, r.m);
    if (r.status.ok() && shift) ToUnsigned16(32768, r.header.width, r.header.height, r.m);
  }
  r.console = testing::internal::GetCapturedStdout();
  return r;
}

// Cards 1..end_card - 1 are comments, card end_card is END.
std::vector<std::string> CardsWithEndAt(int end_card, int w, int h) {
  std::vector<std::string> cards = ImageCards(w, h);
  cards.pop_back();
  while (static_cast<int>(cards.size()) < end_card - 1) cards.push_back(Card("COMMENT filler"));
  cards.push_back(EndCard());
  return cards;
}

// ---------------------------------------------------------------- layout

TEST(FitsReader, HeaderFillsWholeBlocksAndDataFollowIt) {
  struct Case {
    int end_card;  // 1-based position of END
    int cards;
    long long data_offset;
  };
  const Case cases[] = {
      {5, 36, 2880},     {36, 36, 2880}, {37, 72, 5760},   // END first in block 2, as some survey files
      {40, 72, 5760},    {72, 72, 5760}, {80, 108, 8640},  // beyond two blocks: the standard rule
      {300, 324, 25920},
  };
  TempDir dir(true);
  for (const Case& c : cases) {
    SCOPED_TRACE("END at card " + std::to_string(c.end_card));
    const std::string path = dir.File("layout.fits");
    WriteBytes(path, Header(CardsWithEndAt(c.end_card, 2, 1)) + PadBlock(Data16({0x1234, 0xFEDC})));
    Loaded r = Load(path, false);
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_EQ(r.header.cards, c.cards);
    EXPECT_EQ(r.header.data_offset, c.data_offset);
    EXPECT_EQ(r.header.card_bytes.size(), 80u * c.cards);
    EXPECT_EQ(r.m[0][0], 0x1234);
    EXPECT_EQ(r.m[1][0], 0xFEDC);
    EXPECT_EQ(r.console, "");
  }
}

// An observatory header: keywords that begin with END are ordinary cards,
// and the data start after the real END in the second block.
std::vector<std::string> ObservatoryCards(int w, int h) {
  std::vector<std::string> cards = {
      Fixed("SIMPLE", "T"),
      Fixed("BITPIX", "16"),
      Fixed("NAXIS", "2"),
      Fixed("NAXIS1", std::to_string(w)),
      Fixed("NAXIS2", std::to_string(h)),
      Fixed("BZERO", "0"),
      Fixed("BSCALE", "1"),
      Card("DATE-OBS= '2026-03-14T20:00:00' / start of exposure (UTC)"),
      Card("ENDTIME = '20:05:00'         / end of exposure (UTC)"),
      Card("ENDDATE = '2026-03-14'       / end of exposure"),
      Card("END_RA  =            201.36502 / pointing at the end"),
      Card("END-DEC =            -43.01911 / pointing at the end"),
      Card("ENDING  = T"),
  };
  while (cards.size() < 40) cards.push_back(Card("COMMENT site log line " + std::to_string(cards.size())));
  cards.push_back(Fixed("EXPTIME", "300.0"));
  cards.push_back(EndCard());
  return cards;
}

TEST(FitsReader, KeywordsThatBeginWithEndDoNotEndTheHeader) {
  TempDir dir(true);
  const std::vector<std::uint16_t> stored = {0xFFFB, 0, 7, 1993, 12, 0xFFFF};  // -5 .. 1993
  WriteBytes(dir.File("obs.fits"), Header(ObservatoryCards(3, 2)) + PadBlock(Data16(stored)));
  Loaded r = Load(dir.File("obs.fits"), false);
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.header.cards, 72);
  EXPECT_EQ(r.header.data_offset, 5760);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(r.m[i % 3][i / 3], stored[i]) << i;

  // Without the real END the header never ends: refused, not read as data.
  std::vector<std::string> no_end = ObservatoryCards(3, 2);
  no_end.pop_back();
  WriteBytes(dir.File("noend.fits"), Header(no_end) + PadBlock(Data16(stored)));
  r = Load(dir.File("noend.fits"), false);
  EXPECT_FALSE(r.status.ok());
  EXPECT_NE(r.status.message().find("no END card"), std::string::npos) << r.status.message();
}

TEST(FitsReader, TraceFileHoldsTheCardsWithTheirLineBreaks) {
  TempDir dir(true);
  for (int end_card : {5, 40, 80}) {
    SCOPED_TRACE("END at card " + std::to_string(end_card));
    const std::vector<std::string> cards = CardsWithEndAt(end_card, 1, 1);
    const std::string header = Header(cards);
    WriteBytes(dir.File("t.fits"), header + PadBlock(Data16({7})));
    // A line break before every card up to END and within the first block,
    // none before the padding cards of later blocks.
    std::string expected;
    const int total = static_cast<int>(header.size() / 80);
    for (int k = 0; k < total; ++k) {
      if (k < end_card || k < 36) expected += "\n";
      expected += header.substr(80 * k, 80);
    }
    FitsHeader h;
    ASSERT_TRUE(ReadFitsHeader(dir.File("t.fits"), h).ok());
    EXPECT_EQ(fits_test::ReadBytes(fits_test::kTrace), expected);
    EXPECT_EQ(std::string(h.card_bytes.begin(), h.card_bytes.end()), header);
    // The full pass rewrites it with the same content.
    std::filesystem::remove(fits_test::kTrace);
    IntMatrix m;
    ASSERT_EQ(AllocIntMatrix(1, 1, m), 0);
    ASSERT_TRUE(ReadFitsFile(dir.File("t.fits"), h, m).ok());
    EXPECT_EQ(fits_test::ReadBytes(fits_test::kTrace), expected);
    // A check of another file's header leaves the trace alone.
    WriteBytes(dir.File("other.fits"), Header(ImageCards(3, 2)) + PadBlock(Data16({1, 2, 3, 4, 5, 6})));
    FitsHeader other;
    ASSERT_TRUE(CheckFitsHeader(dir.File("other.fits"), other).ok());
    EXPECT_EQ(other.width, 3);
    EXPECT_EQ(other.height, 2);
    EXPECT_EQ(fits_test::ReadBytes(fits_test::kTrace), expected);
  }
}

TEST(FitsReader, ReadingTestDatItselfLeavesItIntact) {
  TempDir dir(true);
  const std::string bytes = Header(ImageCards(2, 1)) + PadBlock(Data16({5, 6}));
  std::filesystem::create_directories("QIRM");
  WriteBytes(fits_test::kTrace, bytes);
  Loaded r = Load(fits_test::kTrace, false);
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.m[1][0], 6);
  EXPECT_EQ(fits_test::ReadBytes(fits_test::kTrace), bytes);
}

// The trace lives in the cache folder, made when missing; the current folder
// is left alone, and a link planted under the trace's name is replaced, not
// followed, whether it points at a file of the user's or nowhere.
TEST(FitsReader, TraceGoesToTheCacheFolderAndNeverThroughALink) {
  TempDir dir(true);
  const std::string bytes = Header(ImageCards(2, 1)) + PadBlock(Data16({5, 6}));
  WriteBytes(dir.File("t.fits"), bytes);
  FitsHeader h;
  ASSERT_TRUE(ReadFitsHeader(dir.File("t.fits"), h).ok());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "test.dat"));
  const std::string expected = fits_test::ReadBytes(fits_test::kTrace);
  ASSERT_EQ(expected.substr(0, 81), "\n" + bytes.substr(0, 80));

  WriteBytes(dir.File("precious.txt"), "keep me");
  for (const char* target : {"../precious.txt", "../missing.txt"}) {
    SCOPED_TRACE(target);
    std::filesystem::remove(fits_test::kTrace);
    std::filesystem::create_symlink(target, fits_test::kTrace);
    ASSERT_TRUE(ReadFitsHeader(dir.File("t.fits"), h).ok());
    EXPECT_FALSE(std::filesystem::is_symlink(fits_test::kTrace));
    EXPECT_EQ(fits_test::ReadBytes(fits_test::kTrace), expected);
    EXPECT_EQ(fits_test::ReadBytes(dir.File("precious.txt")), "keep me");
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing.txt")));
  }
  // A hard link shares the file: replacing the name leaves the other whole.
  std::filesystem::remove(fits_test::kTrace);
  std::filesystem::create_hard_link(dir.File("precious.txt"), fits_test::kTrace);
  ASSERT_TRUE(ReadFitsHeader(dir.File("t.fits"), h).ok());
  EXPECT_EQ(fits_test::ReadBytes(dir.File("precious.txt")), "keep me");
  // Nothing but the trace in the cache folder: no temporary file is left.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path() / "QIRM")) entries += e.exists();
  EXPECT_EQ(entries, 1);
}

// A cache folder that cannot be made (its parent is a file): reading goes on
// without a trace.
TEST(FitsReader, NoCacheFolderStillReads) {
  TempDir dir(true);
  WriteBytes(dir.File("blocker"), "a file");
  ::setenv("XDG_CACHE_HOME", dir.File("blocker").c_str(), 1);
  WriteBytes(dir.File("t.fits"), Header(ImageCards(2, 1)) + PadBlock(Data16({5, 6})));
  Loaded r = Load(dir.File("t.fits"), false);
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.m[1][0], 6);
}

// ---------------------------------------------------------------- fixed columns

TEST(FitsReader, FixedColumnsGiveSizeBitpixAndBzero) {
  struct Case {
    const char* name;
    std::vector<std::string> extra;  // cards put before END
    int width, bitpix_columns, bzero;
  };
  const std::string bzero_cols_16_21 = Card("BZERO   =      123456");
  const Case cases[] = {
      {"plain", {}, 3, 16, 0},
      {"BZERO 32768 right-justified to column 30", {Fixed("BZERO", "32768")}, 3, 16, 0},
      {"BZERO in columns 16 to 21", {bzero_cols_16_21}, 3, 16, 123456},
      {"BZERO read from its columns only", {Card("BZERO   =   32768.000000000000")}, 3, 16, 680000},
      {"BZERO twice adds up", {bzero_cols_16_21, bzero_cols_16_21}, 3, 16, 246912},
      {"BITPIX twice adds up", {Fixed("BITPIX", "16")}, 3, 32, 0},
  };
  TempDir dir(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> cards = ImageCards(3, 1);
    cards.insert(cards.end() - 1, c.extra.begin(), c.extra.end());
    WriteBytes(dir.File("c.fits"), Header(cards) + PadBlock(Data16({1, 2, 3})));
    Loaded r = Load(dir.File("c.fits"), false);
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_EQ(r.header.width, c.width);
    EXPECT_EQ(r.header.bitpix_columns, c.bitpix_columns);
    EXPECT_EQ(r.header.bzero, c.bzero);
    EXPECT_EQ(r.m[2][0], 3);
  }
}

TEST(FitsReader, SizeFromFixedColumnsWithRepeatsAndMisreadValues) {
  struct Case {
    const char* name;
    std::vector<std::string> cards;  // replaces NAXIS1
    int width;
  };
  const Case cases[] = {
      {"512 right-justified to column 30", {Fixed("NAXIS1", "512")}, 512},
      {"repeated NAXIS1 adds up", {Fixed("NAXIS1", "2"), Fixed("NAXIS1", "3")}, 5},
      {"free format: the standard value", {Card("NAXIS1  = 7 / left-justified")}, 7},
      {"10000 and more: the standard value", {Fixed("NAXIS1", "12000")}, 12000},
  };
  TempDir dir(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> cards = ImageCards(0, 2);
    cards.erase(cards.begin() + 3);
    cards.insert(cards.begin() + 3, c.cards.begin(), c.cards.end());
    std::vector<std::uint16_t> values(2 * c.width);
    for (int i = 0; i < 2 * c.width; ++i) values[i] = static_cast<std::uint16_t>(i);
    WriteBytes(dir.File("s.fits"), Header(cards) + PadBlock(Data16(values)));
    Loaded r = Load(dir.File("s.fits"), false);
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    ASSERT_EQ(r.header.width, c.width);
    ASSERT_EQ(r.header.height, 2);
    EXPECT_EQ(r.m[c.width - 1][0], c.width - 1);
    EXPECT_EQ(r.m[0][1], c.width);  // the second row starts after W values
  }
}

TEST(FitsReader, FloatBitpixReadAs32ByTheColumnsButAsFloatsForThePixels) {
  TempDir dir(true);
  std::string data;
  fits_test::AppendBigEndian(data, 0x3F000000u, 4);  // 0.5f
  fits_test::AppendBigEndian(data, 0x3F800000u, 4);  // 1.0f
  WriteBytes(dir.File("f.fits"), Header(ImageCards(2, 1, -32)) + PadBlock(data));
  Loaded r = Load(dir.File("f.fits"));
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.header.bitpix_columns, 32);
  EXPECT_EQ(r.header.bitpix, -32);
  EXPECT_EQ(r.m[0][0], 32768);  // within 0..1: times 65535, half up
  EXPECT_EQ(r.m[1][0], 65535);
}

// ---------------------------------------------------------------- 16-bit pixels

TEST(FitsReader, SixteenBitValuesAndTheShift) {
  TempDir dir(true);
  // W = 3, H = 2: row 0 first, x first within a row.
  WriteBytes(dir.File("p.fits"),
             Header(ImageCards(3, 2)) + PadBlock(Data16({0x8000, 0x7FFF, 0x0000, 0xFFFF, 0x0001, 0x1234})));
  Loaded r = Load(dir.File("p.fits"), false);
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  const int stored[3][2] = {{32768, 65535}, {32767, 1}, {0, 0x1234}};
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 2; ++y) EXPECT_EQ(r.m[x][y], stored[x][y]) << x << "," << y;
  EXPECT_EQ(ToUnsigned16(32768, 3, 2, r.m), 0);
  const int raw[3][2] = {{0, 32767}, {65535, 32769}, {32768, 0x1234 + 32768}};
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 2; ++y) EXPECT_EQ(r.m[x][y], raw[x][y]) << x << "," << y;
}

TEST(FitsReader, BytesPastTheEndOfTheFileCountAs255) {
  TempDir dir(true);
  // Two whole values, then one byte of the third: 0x12 then 255.
  const std::string data = Data16({0x0102, 0x0304}) + std::string(1, '\x12');
  WriteBytes(dir.File("short.fits"), Header(ImageCards(3, 2)) + data);
  Loaded r = Load(dir.File("short.fits"), false);
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.m[0][0], 0x0102);
  EXPECT_EQ(r.m[1][0], 0x0304);
  EXPECT_EQ(r.m[2][0], 0x12FF);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(r.m[x][1], 65535);
  // And with no data at all.
  WriteBytes(dir.File("none.fits"), Header(ImageCards(2, 2)));
  r = Load(dir.File("none.fits"), false);
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 2; ++y) EXPECT_EQ(r.m[x][y], 65535);
}

TEST(FitsReader, ToUnsigned16ShiftsClipsAndNeverOverflows) {
  IntMatrix m;
  ASSERT_EQ(AllocIntMatrix(3, 2, m), 0);
  const int in[6] = {
      0, 32767, 32768, 65535, std::numeric_limits<int>::max(), std::numeric_limits<int>::min()};
  const int out[6] = {32768,
                      65535,
                      0,
                      32767,
                      std::numeric_limits<int>::max() - 32768,
                      std::numeric_limits<int>::min() + 32768};
  for (int i = 0; i < 6; ++i) m[i % 3][i / 3] = in[i];
  // Sizes beyond the matrix are clipped to it.
  EXPECT_EQ(ToUnsigned16(32768, 10, 10, m), 0);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(m[i % 3][i / 3], out[i]) << i;
  // Only the w x h corner changes.
  m[2][1] = 5;
  ToUnsigned16(32768, 2, 1, m);
  EXPECT_EQ(m[2][1], 5);
  EXPECT_EQ(m[0][0], 0);
}

// ---------------------------------------------------------------- fast path

TEST(FitsReader, FastSixteenBitReadEqualsThePlainOne) {
  TempDir dir;
  std::mt19937 random(42);
  struct Case {
    int w, h;
  };
  // Widths that leave 8-column and single-column remainders, heights that
  // leave partial blocks of rows; steps of 32 columns and 16 rows exactly,
  // and with remainders of both.
  const Case sizes[] = {{1, 1},   {8, 8},   {7, 17},  {37, 53},    {16, 33},
                        {32, 16}, {64, 48}, {97, 47}, {1003, 1030}};
  for (const Case& c : sizes) {
    const long long bytes = 2LL * c.w * c.h;
    std::string data(bytes, '\0');
    for (char& b : data) b = static_cast<char>(random());
    // Whole, cut inside a value, cut inside a row, no data at all.
    for (long long keep : {bytes, bytes - 1, bytes / 3 | 1, 0LL}) {
      SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + ", " + std::to_string(keep) +
                   " bytes");
      const std::string path = dir.File("fast.fits");
      const long long offset = 2880;
      WriteBytes(path, std::string(offset, ' ') + data.substr(0, keep));
      std::FILE* file = std::fopen(path.c_str(), "rb");
      ASSERT_NE(file, nullptr);
      IntMatrix plain;
      ASSERT_EQ(AllocIntMatrix(c.w, c.h, plain), 0);
      ASSERT_TRUE(fits::ReadBigEndian16Plain(file, path, offset, c.w, c.h, plain).ok());
      // With the sign shift done on the way, the plain values shifted.
      IntMatrix shifted = plain.Clone();
      ToUnsigned16(32768, c.w, c.h, shifted);
      test::AtEveryCpuLevel([&](CpuLevel) {
        for (int threads : {1, 2, 3}) {
          for (std::uint16_t flip : {0, 0x8000}) {
            IntMatrix fast;
            ASSERT_EQ(AllocIntMatrix(c.w, c.h, fast), 0);
            // Stale contents must be overwritten everywhere.
            for (int x = 0; x < c.w; ++x)
              for (int y = 0; y < c.h; ++y) fast[x][y] = -7;
            ASSERT_TRUE(fits::ReadBigEndian16(file, path, offset, c.w, c.h, fast, threads, flip).ok());
            const IntMatrix& expected = flip ? shifted : plain;
            bool same = true;
            for (int x = 0; x < c.w && same; ++x)
              for (int y = 0; y < c.h && same; ++y) same = fast[x][y] == expected[x][y];
            EXPECT_TRUE(same) << threads << " threads, flip " << flip;
          }
        }
      });
      std::fclose(file);
    }
  }
}

// ---------------------------------------------------------------- errors

TEST(FitsReader, UnusableFilesAreRefusedWithTheReason) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;  // part of the message
  };
  auto with_cards = [](std::vector<std::string> cards) {
    return Header(cards) + PadBlock(Data16({1, 2, 3, 4}));
  };
  std::vector<std::string> no_naxis1 = ImageCards(2, 2);
  no_naxis1.erase(no_naxis1.begin() + 3);
  std::vector<std::string> no_naxis2 = ImageCards(2, 2);
  no_naxis2.erase(no_naxis2.begin() + 4);
  std::vector<std::string> no_naxis1_float = ImageCards(2, 2, -32);
  no_naxis1_float.erase(no_naxis1_float.begin() + 3);
  std::string no_end;
  for (int i = 0; i < 3; ++i) no_end += ImageCards(2, 2)[i];
  std::string endless;
  for (int i = 0; i < kFitsMaxHeaderCards + 10; ++i) endless += Card("COMMENT no end");

  const Case cases[] = {
      {"empty file", "", "empty"},
      {"no END card", no_end, "no END card"},
      {"no END card within the limit", endless, "no END card within 36000"},
      {"header cut inside its block", Header(ImageCards(2, 2)).substr(0, 800), "shorter than its header"},
      {"NAXIS1 missing", with_cards(no_naxis1), "NAXIS1 missing or 0"},
      {"NAXIS2 missing", with_cards(no_naxis2), "NAXIS2 missing or 0"},
      {"NAXIS1 0: no data", with_cards(ImageCards(0, 2)), "no image"},
      {"NAXIS1 negative", with_cards(ImageCards(-5, 2)), "NAXIS1 is negative"},
      {"float NAXIS1 missing", with_cards(no_naxis1_float), "NAXIS1 missing"},
      {"float NAXIS1 not a number",
       with_cards({Fixed("SIMPLE", "T"), Fixed("BITPIX", "-32"), Fixed("NAXIS", "2"),
                   Fixed("NAXIS1", "'abc'"), Fixed("NAXIS2", "2"), EndCard()}),
       "NAXIS1 is not a positive integer"},
      {"float NAXIS1 0", with_cards(ImageCards(0, 2, -32)), "no image"},
      {"BITPIX 24", with_cards(ImageCards(2, 2, 24)), "unsupported BITPIX"},
      {"no image anywhere",
       with_cards({Fixed("SIMPLE", "T"), Fixed("BITPIX", "16"), Fixed("NAXIS", "0"), EndCard()}), "no image"},
      {"no extension after an empty primary",
       Header({Fixed("SIMPLE", "T"), Fixed("BITPIX", "16"), Fixed("NAXIS", "0"), EndCard()}) +
           std::string(2880, 'x'),
       "starts no extension"},
  };
  TempDir dir(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("bad.fits");
    WriteBytes(path, c.bytes);
    FitsHeader h;
    testing::internal::CaptureStdout();
    const Status s = ReadFitsHeader(path, h);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "file open error    " + path + "\n");
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.message().find(path), std::string::npos) << s.message();
    EXPECT_NE(s.message().find(c.reason), std::string::npos) << s.message();
    // The full pass refuses the same way, whatever matrix it is given.
    IntMatrix m;
    ASSERT_EQ(AllocIntMatrix(2, 2, m), 0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ReadFitsFile(path, h, m).ok());
    testing::internal::GetCapturedStdout();
  }
}

TEST(FitsReader, MissingFileAndOversizedImageKeepTheirConsoleTexts) {
  TempDir dir(true);
  const std::string missing = dir.File("missing.fits");
  FitsHeader h;
  IntMatrix m;
  testing::internal::CaptureStdout();
  Status s = ReadFitsHeader(missing, h);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "file open error    " + missing + "\n");
  EXPECT_EQ(s.message(), "cannot open " + missing + ": No such file or directory");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ReadFitsFile(missing, h, m).ok());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "file open error    " + missing + "\n");

  // A folder opens but cannot be read.
  testing::internal::CaptureStdout();
  s = ReadFitsHeader(dir.path().string(), h);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "file open error    " + dir.path().string() + "\n");
  EXPECT_FALSE(s.ok());

  // 20000 from the fixed columns by two cards of 9999 and one of 2.
  std::vector<std::string> cards = ImageCards(9999, 100);
  cards.insert(cards.begin() + 3, {Fixed("NAXIS1", "9999"), Fixed("NAXIS1", "2")});
  const std::string big = dir.File("big.fits");
  WriteBytes(big, Header(cards));
  for (int pass = 0; pass < 2; ++pass) {
    testing::internal::CaptureStdout();
    s = pass == 0 ? ReadFitsHeader(big, h) : ReadFitsFile(big, h, m);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "20000 100\nalloc error !!\n");
    EXPECT_EQ(s.message(), big + ": image size 20000 x 100 exceeds 16000");
  }
  // One axis of 16000 is still accepted.
  WriteBytes(big, Header(ImageCards(16000, 1)));
  testing::internal::CaptureStdout();
  EXPECT_TRUE(ReadFitsHeader(big, h).ok());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(FitsReader, MatrixOfAnotherSizeIsRefusedUntouched) {
  TempDir dir(true);
  const std::string path = dir.File("m.fits");
  WriteBytes(path, Header(ImageCards(3, 2)) + PadBlock(Data16({1, 2, 3, 4, 5, 6})));
  FitsHeader h;
  ASSERT_TRUE(ReadFitsHeader(path, h).ok());
  struct Case {
    int count, n;
  };
  for (const Case& c : {Case{2, 3}, Case{3, 1}, Case{4, 2}, Case{0, 0}}) {
    IntMatrix m;
    if (c.count > 0) {
      ASSERT_EQ(AllocIntMatrix(c.count, c.n, m), 0);
      m[0][0] = -1;
    }
    const Status s = ReadFitsFile(path, h, m);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.message().find("matrix"), std::string::npos) << s.message();
    if (c.count > 0) {
      EXPECT_EQ(m[0][0], -1);
    }
  }
}

// ---------------------------------------------------------------- other pixel types

TEST(FitsReader, OtherPixelTypesMappedToRawValues) {
  struct Case {
    const char* name;
    int bitpix;
    std::vector<std::string> extra;
    std::vector<std::uint64_t> stored;  // big-endian words of |bitpix| / 8 bytes
    std::vector<int> raw;
  };
  const std::uint64_t nan32 = 0x7FC00000u;
  const std::uint64_t neg1 = 0xFFFFFFFFu;
  const Case cases[] = {
      {"8 bits: kept", 8, {}, {0, 7, 255, 128}, {0, 7, 255, 128}},
      {"32 bits within 0..65535: kept", 32, {}, {0, 65535, 40000, 1}, {0, 65535, 40000, 1}},
      {"32 bits: linear from minimum to maximum", 32, {}, {neg1, 0, 1, 2}, {0, 21845, 43690, 65535}},
      {"32 bits: BLANK is 0 and not in the range",
       32,
       {Fixed("BLANK", "-1")},
       {neg1, 0, 70000, 0},
       {0, 0, 65535, 0}},
      {"32 bits: BZERO + BSCALE * stored",
       32,
       {Fixed("BSCALE", "0.5"), Fixed("BZERO", "10.")},
       {neg1, 0, 1, 2},
       {10, 10, 11, 11}},  // 9.5 10 10.5 11, half up
      {"float within 0..1: times 65535", -32, {}, {0x3F800000u, 0, 0x3E800000u, nan32}, {65535, 0, 16384, 0}},
      {"float: NaN is 0 and not in the range",
       -32,
       {},
       {0xC0000000u, nan32, 0x47800000u, 0},
       {0, 0, 65535, 2}},
      {"64-bit float kept and rounded half up",
       -64,
       {},
       {0x4004000000000000ull, 0x3FF8000000000000ull, 0x40EFFFE000000000ull, 0},
       {3, 2, 65535, 0}},  // 2.5 1.5 65535.0 0
      {"64-bit integers: linear",
       64,
       {},
       {0xFFFFFFFFFFFFFFFFull, 0x0000000100000000ull, 0, 0},
       {0, 65535, 0, 0}},
      {"all blank: 0", 32, {Fixed("BLANK", "5")}, {5, 5, 5, 5}, {0, 0, 0, 0}},
  };
  TempDir dir(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> cards = ImageCards(2, 2, c.bitpix);
    cards.insert(cards.end() - 1, c.extra.begin(), c.extra.end());
    std::string data;
    for (std::uint64_t v : c.stored) fits_test::AppendBigEndian(data, v, std::abs(c.bitpix) / 8);
    WriteBytes(dir.File("t.fits"), Header(cards) + PadBlock(data));
    Loaded r = Load(dir.File("t.fits"), false);
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    for (int i = 0; i < 4; ++i) {
      // Stored so that the callers' shift yields the raw value.
      EXPECT_EQ(r.m[i % 2][i / 2], c.raw[i] ^ 0x8000) << i;
    }
    // Read and shifted in one call: the raw values.
    FitsHeader header;
    IntMatrix shifted;
    ASSERT_EQ(AllocIntMatrix(2, 2, shifted), 0);
    testing::internal::CaptureStdout();
    const Status s = ReadFitsFileSignShifted(dir.File("t.fits"), header, shifted);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(s.ok()) << s.message();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(shifted[i % 2][i / 2], c.raw[i]) << i;
  }
}

TEST(FitsReader, OtherPixelTypesCutShortAreZeroWhereMissing) {
  TempDir dir(true);
  std::string data;
  for (std::uint64_t v : {0x40000000u, 0x40800000u}) fits_test::AppendBigEndian(data, v, 4);  // 2, 4
  data += "\x40";  // a partial third pixel
  WriteBytes(dir.File("c.fits"), Header(ImageCards(2, 2, -32)) + data);
  Loaded r = Load(dir.File("c.fits"));
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.m[0][0], 2);
  EXPECT_EQ(r.m[1][0], 4);
  EXPECT_EQ(r.m[0][1], 0);
  EXPECT_EQ(r.m[1][1], 0);
}

TEST(FitsReader, EmptyPrimaryLeadsToTheFirstImageExtension) {
  TempDir dir(true);
  const std::string primary = Header({Fixed("SIMPLE", "T"), Fixed("BITPIX", "16"), Fixed("NAXIS", "0"),
                                      Fixed("EXTEND", "T"), Fixed("BZERO", "32768"), EndCard()});
  // A table extension (skipped with its 4 data bytes), then a 16-bit image
  // in free format, then another image that must not be taken.
  const std::string table =
      Header({Card("XTENSION= 'BINTABLE'"), Fixed("BITPIX", "8"), Fixed("NAXIS", "2"), Fixed("NAXIS1", "2"),
              Fixed("NAXIS2", "2"), Fixed("PCOUNT", "0"), Fixed("GCOUNT", "1"), EndCard()}) +
      PadBlock("abcd");
  std::vector<std::string> image_cards = {Card("XTENSION= 'IMAGE   '"), Card("BITPIX  = 16"),
                                          Card("NAXIS   = 2"), Card("NAXIS1  = 3 / free format"),
                                          Card("NAXIS2  = 1")};
  while (image_cards.size() < 50) image_cards.push_back(Card("COMMENT a long extension header"));
  image_cards.push_back(EndCard());
  const std::string image = Header(image_cards) + PadBlock(Data16({0x8000, 0x0000, 0x7FFF}));
  const std::string other = Header({Card("XTENSION= 'IMAGE   '"), Fixed("BITPIX", "16"), Fixed("NAXIS", "2"),
                                    Fixed("NAXIS1", "5"), Fixed("NAXIS2", "5"), EndCard()}) +
                            PadBlock(std::string(50, '\0'));
  WriteBytes(dir.File("mef.fits"), primary + table + image + other);
  Loaded r = Load(dir.File("mef.fits"));
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  EXPECT_EQ(r.header.hdu, 2);
  EXPECT_EQ(r.header.width, 3);
  EXPECT_EQ(r.header.height, 1);
  EXPECT_EQ(r.m[0][0], 0);
  EXPECT_EQ(r.m[1][0], 32768);
  EXPECT_EQ(r.m[2][0], 65535);
  // Every header read up to the image: 36 + 36 + 72 cards, each traced by
  // the one rule; the fixed-column BZERO total still counts.
  EXPECT_EQ(r.header.cards, 144);
  EXPECT_EQ(r.header.data_offset, 2880 * 5);
  EXPECT_EQ(r.header.bzero, 0);
  const std::string trace = fits_test::ReadBytes(fits_test::kTrace);
  EXPECT_EQ(trace.size(), 144u * 80 + 36 + 36 + 51);
  EXPECT_EQ(trace.substr(0, 81), "\n" + primary.substr(0, 80));
  EXPECT_EQ(std::string(r.header.card_bytes.begin() + 72 * 80, r.header.card_bytes.end()),
            image.substr(0, 72 * 80));
}

TEST(FitsKeywords, StandardNumbersAndFixedColumns) {
  struct Case {
    const char* value;  // columns 11..
    bool number;
    double expected;
  };
  const Case cases[] = {
      {"                 512", true, 512},
      {"  32768.000000000000 /physical", true, 32768},
      {"1500.", true, 1500},
      {"0.0E0", true, 0},
      {"3.3659081650E2", true, 336.59081650},
      {"-32768.0", true, -32768},
      {"+1.5D-1 / D exponent", true, 0.15},
      {"0.0010691015350810266", true, 0.0010691015350810266},
      {"'abc'", false, 0},
      {"T", false, 0},
      {"", false, 0},
      {"12 34", false, 0},
      {"1E999", false, 0},
  };
  for (const Case& c : cases) {
    const std::string card = Card(std::string("KEYWORD = ") + c.value);
    double v = -1;
    EXPECT_EQ(fits::CardNumber(card.c_str(), v), c.number) << c.value;
    if (c.number) {
      EXPECT_EQ(v, c.expected) << c.value;
    }
  }
  const std::string card = Card("NAXIS1  = -32 12.5");
  EXPECT_EQ(fits::FixedColumns(Fixed("BITPIX", "-32").c_str(), 27, 30), 32);
  EXPECT_EQ(fits::FixedColumns(card.c_str(), 11, 18), 3201205);
}

}  // namespace
}  // namespace qirm

// ---------------------------------------------------------------- independent writer and real frames

namespace qirm {
namespace {

// Writes FITS files with astropy and, for any FITS file, the raw values the
// reader must give by its rules: 16 bits stored + 32768 with BSCALE/BZERO
// ignored; other types physical = BZERO + BSCALE * stored, NaN and BLANK 0,
// within 0..1 times 65535, within 0..65535 kept, else linear; half up.
// "<name>.expect": int32 W, int32 H, then W x H little-endian uint16 rows.
// Exit status 3 when astropy is not available.
const char kOracle[] = R"PY(
import sys, os, warnings
warnings.simplefilter('ignore')
try:
    import numpy as np
    from astropy.io import fits
except Exception:
    sys.exit(3)

def pick(hdul):
    if hdul[0].data is not None and hdul[0].data.size > 0:
        return hdul[0]
    for hdu in hdul[1:]:
        if isinstance(hdu, fits.ImageHDU) and hdu.data is not None and hdu.data.size > 0:
            return hdu
    return None

def expected(path, out):
    with fits.open(path, do_not_scale_image_data=True, ignore_missing_end=True, memmap=False) as hdul:
        hdu = pick(hdul)
        d = np.asarray(hdu.data)
        h = hdu.header
        bitpix = h['BITPIX']
    while d.ndim > 2:
        d = d[0]
    if d.ndim == 1:
        d = d[np.newaxis, :]
    if bitpix == 16:
        raw = d.astype(np.int64) + 32768
    else:
        p = float(h.get('BZERO', 0.0)) + float(h.get('BSCALE', 1.0)) * d.astype(np.float64)
        valid = np.isfinite(p)
        if bitpix > 0 and 'BLANK' in h:
            valid &= d.astype(np.int64) != int(h['BLANK'])
        lo = p[valid].min() if valid.any() else 0.0
        hi = p[valid].max() if valid.any() else 0.0
        with np.errstate(all='ignore'):
            if lo >= 0 and hi <= 1:
                t = p * 65535.0
            elif lo >= 0 and hi <= 65535:
                t = p
            elif hi > lo:
                t = (p - lo) * 65535.0 / (hi - lo)
            else:
                t = np.zeros_like(p)
            t = np.clip(np.floor(t + 0.5), 0, 65535)
        raw = np.where(valid, t, 0)
    with open(out, 'wb') as f:
        f.write(np.array([d.shape[1], d.shape[0]], dtype='<i4').tobytes())
        f.write(raw.astype('<u2').tobytes())

def make(folder):
    rng = np.random.default_rng(7)
    W, H = 37, 23
    files = {}
    files['b16_bzero'] = [fits.PrimaryHDU(rng.integers(0, 65536, (H, W)).astype(np.uint16))]
    files['b16_signed'] = [fits.PrimaryHDU(rng.integers(-32768, 32768, (H, W)).astype(np.int16))]
    files['b8'] = [fits.PrimaryHDU(rng.integers(0, 256, (H, W)).astype(np.uint8))]
    files['b32_wide'] = [fits.PrimaryHDU(rng.integers(-10**6, 10**6, (H, W)).astype(np.int32))]
    files['b32_keep'] = [fits.PrimaryHDU(rng.integers(0, 65536, (H, W)).astype(np.int32))]
    d = rng.integers(-100, 5000, (H, W)).astype(np.int32)
    d[::5, ::3] = -999
    hdu = fits.PrimaryHDU(d)
    hdu.header['BLANK'] = -999
    files['b32_blank'] = [hdu]
    hdu = fits.PrimaryHDU(rng.uniform(-50, 50, (H, W)))
    hdu.scale('int32', bzero=100.0, bscale=0.5)
    files['b32_scaled'] = [hdu]
    d = rng.random((H, W)).astype(np.float32)
    d[3, 4] = np.nan
    files['f32_unit'] = [fits.PrimaryHDU(d)]
    d = rng.normal(0, 1000, (H, W)).astype(np.float32)
    d[0, 0] = np.nan
    files['f32_wide'] = [fits.PrimaryHDU(d)]
    files['f64_small'] = [fits.PrimaryHDU(rng.uniform(1e-7, 3e-3, (H, W)))]
    files['f64_halves'] = [fits.PrimaryHDU(np.round(rng.uniform(0, 65535, (H, W)) * 2) / 2)]
    files['i64'] = [fits.PrimaryHDU(rng.integers(-2**40, 2**40, (H, W), dtype=np.int64))]
    files['cube'] = [fits.PrimaryHDU(rng.normal(100, 50, (4, H, W)).astype(np.float32))]
    files['one_row'] = [fits.PrimaryHDU(rng.normal(100, 50, W).astype(np.float32))]
    table = fits.BinTableHDU.from_columns([fits.Column(name='a', format='J', array=np.arange(5))])
    files['mef'] = [fits.PrimaryHDU(), table, fits.ImageHDU(rng.normal(0, 1, (H, W)).astype(np.float32)),
                    fits.ImageHDU(np.zeros((3, 3), np.float32))]
    files['mef16'] = [fits.PrimaryHDU(), fits.ImageHDU(rng.integers(0, 65536, (H, W)).astype(np.uint16))]
    for name, hdus in files.items():
        path = os.path.join(folder, name + '.fits')
        fits.HDUList(hdus).writeto(path, overwrite=True)
        expected(path, os.path.join(folder, name + '.expect'))
    with open(os.path.join(folder, 'cases.txt'), 'w') as f:
        f.write('\n'.join(files) + '\n')

if sys.argv[1] == 'make':
    make(sys.argv[2])
else:
    for i, path in enumerate(sys.argv[3:]):
        try:
            expected(path, os.path.join(sys.argv[2], '%d.expect' % i))
        except Exception as e:
            print('no oracle for', path, e)
)PY";

constexpr const char* kPython = "/usr/bin/python3";

// Runs the oracle; its exit status (3: no astropy, -1: no python).
int RunOracle(const TempDir& dir, const std::string& args) {
  if (!std::filesystem::exists(kPython)) return -1;
  const std::string script = dir.File("oracle.py");
  fits_test::WriteBytes(script, kOracle);
  const std::string command =
      std::string(kPython) + " '" + script + "' " + args + " > '" + dir.File("oracle.log") + "' 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Expected {
  int w = 0, h = 0;
  std::vector<std::uint16_t> raw;  // row after row
};

bool ReadExpected(const std::string& path, Expected& e) {
  const std::string bytes = fits_test::ReadBytes(path);
  if (bytes.size() < 8) return false;
  std::memcpy(&e.w, bytes.data(), 4);
  std::memcpy(&e.h, bytes.data() + 4, 4);
  e.raw.resize(static_cast<std::size_t>(e.w) * e.h);
  if (bytes.size() != 8 + 2 * e.raw.size()) return false;
  std::memcpy(e.raw.data(), bytes.data() + 8, 2 * e.raw.size());
  return true;
}

// The callers' sequence on `path` gives exactly the expected raw values.
void ExpectRawValues(const std::string& path, const Expected& e) {
  SCOPED_TRACE(path);
  Loaded r = Load(path);
  ASSERT_TRUE(r.status.ok()) << r.status.message();
  ASSERT_EQ(r.header.width, e.w);
  ASSERT_EQ(r.header.height, e.h);
  int wrong = 0;
  for (int y = 0; y < e.h; ++y) {
    for (int x = 0; x < e.w; ++x) {
      const int want = e.raw[static_cast<std::size_t>(y) * e.w + x];
      if (r.m[x][y] != want && wrong++ < 5)
        ADD_FAILURE() << "(" << x << ", " << y << "): " << r.m[x][y] << " != " << want;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(FitsReaderAstropy, FilesOfAnIndependentWriterGiveTheirRawValues) {
  TempDir dir(true);
  const int status = RunOracle(dir, "make '" + dir.path().string() + "'");
  if (status == -1 || status == 3) GTEST_SKIP() << "no python3 with astropy";
  ASSERT_EQ(status, 0) << fits_test::ReadBytes(dir.File("oracle.log"));
  std::istringstream names(fits_test::ReadBytes(dir.File("cases.txt")));
  int cases = 0;
  for (std::string name; std::getline(names, name);) {
    Expected e;
    ASSERT_TRUE(ReadExpected(dir.File(name + ".expect"), e)) << name;
    ExpectRawValues(dir.File(name + ".fits"), e);
    ++cases;
  }
  EXPECT_EQ(cases, 16);
}

std::string DataDir() { return QIRM_DATA_DIR; }

TEST(FitsReaderRealFrames, EveryFrameGivesTheRawValuesAstropyImplies) {
  if (!std::filesystem::is_directory(DataDir())) GTEST_SKIP() << "no " << DataDir();
  std::vector<std::string> frames;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(DataDir())) {
    if (entry.path().extension() == ".fits") frames.push_back(entry.path().string());
  }
  std::sort(frames.begin(), frames.end());
  ASSERT_FALSE(frames.empty());
  TempDir dir(true);
  std::string args = "expect '" + dir.path().string() + "'";
  for (const std::string& f : frames) args += " '" + f + "'";
  const int status = RunOracle(dir, args);
  if (status == -1 || status == 3) GTEST_SKIP() << "no python3 with astropy";
  ASSERT_EQ(status, 0) << fits_test::ReadBytes(dir.File("oracle.log"));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    Expected e;
    ASSERT_TRUE(ReadExpected(dir.File(std::to_string(i) + ".expect"), e)) << frames[i];
    ExpectRawValues(frames[i], e);
  }
}

TEST(FitsReaderRealFrames, SizesAndRangesOfTheManifest) {
  if (!std::filesystem::is_directory(DataDir())) GTEST_SKIP() << "no " << DataDir();
  struct Case {
    const char* file;
    int w, h, bitpix, hdu;
    int min, max;  // raw range after the shift; -1: not checked
  };
  const Case cases[] = {
      // Signed -1 .. 19936 without BZERO.
      {"fixtures/kpno_m51_B_dev_pix.fits", 512, 512, 16, 0, 32767, 52704},
      {"fixtures/dss_m67_M6707HH.fits", 1059, 1059, 16, 0, 32768 + 2331, 32768 + 13374},
      {"fixtures/dss_horsehead.fits", 891, 893, 16, 0, 32768 + 3759, 32768 + 22918},
      // BZERO 32768: the raw values are the camera's, a few clipped at 0.
      {"registration/M13_blue_0001.fits", 1392, 1040, 16, 0, 0, -1},
      {"variants/bitpix16_longbscale_unpadded_hips_Npix691539.fits", 512, 512, 16, 0, -1, -1},
      {"variants/bitpix-32_naxis3eq4_hst_wfpc2_u5780205r.fits", 200, 200, -32, 0, -1, -1},
      {"variants/mef_null_primary_hst_nicmos_n4hk12010.fits", 270, 263, -32, 1, -1, -1},
      // About 1e-7 .. 3e-3, but five pixels lie just below 0: linear, the
      // whole range used.
      {"variants/bitpix-64_msx_e_gc.fits", 149, 149, -64, 0, 0, 65535},
      {"colour/reprojected_sdss_g.fits", 682, 496, -32, 0, -1, -1},
      {"colour/gc_2mass_j.fits", 721, 720, 16, 0, -1, -1},
      {"variants/corrupt_utf8_mangled_uit_ngc4151.fits", 512, 512, 16, 0, -1, -1},
  };
  TempDir dir(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Loaded r = Load(DataDir() + "/" + c.file);
    ASSERT_TRUE(r.status.ok()) << r.status.message();
    EXPECT_EQ(r.header.width, c.w);
    EXPECT_EQ(r.header.height, c.h);
    EXPECT_EQ(r.header.bitpix, c.bitpix);
    EXPECT_EQ(r.header.hdu, c.hdu);
    EXPECT_EQ(r.console, "");
    int lo = 65536, hi = -1;
    for (int x = 0; x < c.w; ++x) {
      for (int y = 0; y < c.h; ++y) {
        lo = std::min(lo, r.m[x][y]);
        hi = std::max(hi, r.m[x][y]);
      }
    }
    EXPECT_GE(lo, 0);
    EXPECT_LE(hi, 65535);
    if (c.min >= 0) {
      EXPECT_EQ(lo, c.min);
    }
    if (c.max >= 0) {
      EXPECT_EQ(hi, c.max);
    }
  }
}

}  // namespace
}  // namespace qirm
