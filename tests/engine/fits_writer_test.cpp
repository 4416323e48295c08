// SPDX-License-Identifier: GPL-3.0-or-later
// The FITS writer: the encoding it chooses, windows written and read back,
// astropy reading the same values, and fitsverify finding no error.
#include "core/fits_writer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "app/save_image.h"
#include "core/fits_reader.h"
#include "display/display_commands.h"
#include "display/levels.h"
#include "filters/filter_commands.h"
#include "fits_test_util.h"

namespace qirm {
namespace {

using fits_test::TempDir;

TEST(FitsWriter, EncodingFollowsTheValues) {
  struct Case {
    const char* what;
    std::vector<double> values;
    double bzero, bscale;
    FitsEncoding encoding;
  };
  const Case cases[] = {
      {"steps of the source scaling", {1500, 1500.05, -138.4, 3138.35}, 1500, 0.05, FitsEncoding::kScaled16},
      {"signed, no BZERO", {-32768, 0, 32767}, 0, 1, FitsEncoding::kScaled16},
      {"off the steps", {1500, 1500.02}, 1500, 0.03, FitsEncoding::kFloat32},
      {"beyond the source's range", {0, 65535}, 1500, 0.05, FitsEncoding::kUnsigned16},
      {"fractions nowhere near", {0.5, 2.25}, 32768, 1, FitsEncoding::kFloat32},
      {"negative and beyond 16 bits", {-1, 70000}, 32768, 1, FitsEncoding::kFloat32},
      {"no usable scaling", {1, 2}, 0, 0, FitsEncoding::kUnsigned16},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseFitsEncoding(c.values, c.bzero, c.bscale), c.encoding) << c.what;
  }
}

// A 16-bit frame with BZERO 1500, BSCALE 0.05 and a few cards of its own.
std::string ScaledFrame(int w, int h, std::vector<std::uint16_t>& stored, bool blank = false) {
  std::vector<std::string> cards = {fits_test::Fixed("SIMPLE", "T"),
                                    fits_test::Fixed("BITPIX", "16"),
                                    fits_test::Fixed("NAXIS", "2"),
                                    fits_test::Fixed("NAXIS1", std::to_string(w)),
                                    fits_test::Fixed("NAXIS2", std::to_string(h)),
                                    fits_test::Fixed("BZERO", "1500"),
                                    fits_test::Fixed("BSCALE", "0.05"),
                                    fits_test::Fixed("OBJECT", "'M 51'"),
                                    fits_test::Fixed("DATE", "'2001-01-01'"),
                                    fits_test::Card("HISTORY taken at the telescope"),
                                    fits_test::EndCard()};
  if (blank) cards.insert(cards.end() - 1, fits_test::Fixed("BLANK", "-32768"));
  stored.clear();
  for (int i = 0; i < w * h; ++i) stored.push_back(static_cast<std::uint16_t>((i * 2654435761u) >> 16));
  return fits_test::Header(cards) + fits_test::PadBlock(fits_test::Data16(stored));
}

// Card k of a file's first header.
std::vector<std::string> HeaderCards(const std::string& bytes) {
  std::vector<std::string> cards;
  for (std::size_t i = 0; i + 80 <= bytes.size(); i += 80) {
    cards.push_back(bytes.substr(i, 80));
    if (cards.back() == fits_test::EndCard()) break;
  }
  return cards;
}

int CountKeyword(const std::vector<std::string>& cards, const std::string& key) {
  int n = 0;
  for (const std::string& c : cards) n += c.compare(0, key.size(), key) == 0;
  return n;
}

TEST(FitsWriter, UneditedWindowWritesBackItsStoredValuesAndCards) {
  TempDir dir(true);
  std::vector<std::uint16_t> stored;
  const std::string source = ScaledFrame(41, 29, stored, true);
  fits_test::WriteBytes(dir.File("in.fits"), source);
  ImageDocument doc;
  ASSERT_TRUE(LoadFitsDocument(dir.File("in.fits"), doc).ok());
  ASSERT_TRUE(WriteFitsWindow(dir.File("out.fits"), doc, doc.Image).ok());

  const std::string out = fits_test::ReadBytes(dir.File("out.fits"));
  ASSERT_EQ(out.size() % 2880, 0u);
  const std::vector<std::string> cards = HeaderCards(out);
  const std::size_t header_bytes = (cards.size() * 80 + 2879) / 2880 * 2880;
  // The very bytes of the data, padding included.
  EXPECT_EQ(out.substr(header_bytes), source.substr(2880));
  EXPECT_EQ(cards[1], fits_test::Fixed("BITPIX", "16"));
  EXPECT_EQ(cards[3], fits_test::Fixed("NAXIS1", "41"));
  EXPECT_EQ(CountKeyword(cards, "BZERO   = "), 1);
  EXPECT_EQ(CountKeyword(cards, "BSCALE  = "), 1);
  EXPECT_EQ(CountKeyword(cards, "DATE    = "), 1);
  EXPECT_EQ(CountKeyword(cards, "DATE    = '2001"), 0);
  EXPECT_EQ(CountKeyword(cards, fits_test::Fixed("OBJECT", "'M 51'")), 1);
  EXPECT_EQ(CountKeyword(cards, "HISTORY taken at the telescope"), 1);
  EXPECT_EQ(CountKeyword(cards, "HISTORY QIRM"), 0);
  EXPECT_EQ(CountKeyword(cards, fits_test::Fixed("BLANK", "-32768")), 1);

  // Read back: the same window.
  ImageDocument back;
  ASSERT_TRUE(LoadFitsDocument(dir.File("out.fits"), back).ok());
  EXPECT_TRUE(back.raw == doc.raw);
  EXPECT_TRUE(back.Image == doc.Image);
  EXPECT_EQ(back.scaling.bzero, 1500);
  EXPECT_EQ(back.scaling.bscale, 0.05);
  EXPECT_EQ(back.max_level, doc.max_level);
}

TEST(FitsWriter, CommandsLeaveHistoryAndTheValuesTheyMade) {
  TempDir dir(true);
  std::vector<std::uint16_t> stored;
  fits_test::WriteBytes(dir.File("in.fits"), ScaledFrame(40, 30, stored));
  ImageDocument doc;
  ASSERT_TRUE(LoadFitsDocument(dir.File("in.fits"), doc).ok());
  ASSERT_TRUE(BlurCommand(doc, 1.5).ok());
  ASSERT_TRUE(HighPassCommand(doc).ok());
  ASSERT_TRUE(WriteFitsWindow(dir.File("out.fits"), doc, doc.Image).ok());
  const std::vector<std::string> cards = HeaderCards(fits_test::ReadBytes(dir.File("out.fits")));
  EXPECT_EQ(CountKeyword(cards, fits_test::Card("HISTORY QIRM blur 1.5")), 1);
  EXPECT_EQ(CountKeyword(cards, fits_test::Card("HISTORY QIRM highpass")), 1);
  ImageDocument back;
  ASSERT_TRUE(LoadFitsDocument(dir.File("out.fits"), back).ok());
  EXPECT_TRUE(back.raw == doc.raw);
}

TEST(FitsWriter, ValuesOffTheSourceScalingFallBack) {
  TempDir dir(true);
  // Integers 0..65535 that BZERO 1500 / BSCALE 0.05 cannot hold: BZERO 32768.
  ASSERT_TRUE(WriteFitsGrey(dir.File("u16.fits"), 2, 1, {0, 65535}, 1500, 0.05, {}).ok());
  FitsHeader h;
  ASSERT_TRUE(CheckFitsHeader(dir.File("u16.fits"), h).ok());
  EXPECT_EQ(h.bitpix, 16);
  EXPECT_EQ(h.zero, 32768);
  EXPECT_EQ(h.bscale, 1);
  ImageDocument doc;
  ASSERT_TRUE(LoadFitsDocument(dir.File("u16.fits"), doc).ok());
  EXPECT_EQ(doc.raw.At(1, 0), 65535);
  // Anything else: 32-bit floats, no scaling cards.
  ASSERT_TRUE(WriteFitsGrey(dir.File("f32.fits"), 2, 1, {-0.25, 1e6}, 1500, 0.05, {}).ok());
  ASSERT_TRUE(CheckFitsHeader(dir.File("f32.fits"), h).ok());
  EXPECT_EQ(h.bitpix, -32);
  EXPECT_EQ(CountKeyword(HeaderCards(fits_test::ReadBytes(dir.File("f32.fits"))), "BZERO"), 0);
  FitsWriteHeader blank;
  blank.cards = {fits_test::Fixed("BLANK", "-32768"), fits_test::Fixed("OBJECT", "'x'")};
  ASSERT_TRUE(WriteFitsGrey(dir.File("u16b.fits"), 2, 1, {0, 65535}, 1500, 0.05, blank).ok());
  const std::vector<std::string> u16b = HeaderCards(fits_test::ReadBytes(dir.File("u16b.fits")));
  EXPECT_EQ(CountKeyword(u16b, "BLANK"), 0);
  EXPECT_EQ(CountKeyword(u16b, "OBJECT"), 1);
  // Errors name the file and leave nothing behind.
  const Status s = WriteFitsGrey(dir.File("bad.fits"), 3, 1, {1, 2}, 32768, 1, {});
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("bad.fits"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("bad.fits")));
  EXPECT_FALSE(WriteFitsGrey(dir.path().string() + "/no/such/folder.fits", 1, 1, {1}, 32768, 1, {}).ok());
}

// ---------------------------------------------------------------- astropy and fitsverify

// For each file: "<file>.txt" with BITPIX, the shape and every value as
// astropy reads it (scaled). Exit status 3 without astropy.
const char kReader[] = R"PY(
import sys, warnings
warnings.simplefilter('ignore')
try:
    import numpy as np
    from astropy.io import fits
except Exception:
    sys.exit(3)
for path in sys.argv[1:]:
    with fits.open(path) as hdul:
        bitpix = hdul[0].header['BITPIX']  # as stored: scaling data changes it
        d = np.asarray(hdul[0].data, dtype=np.float64)
    with open(path + '.txt', 'w') as f:
        f.write('%d %s\n' % (bitpix, ' '.join(str(n) for n in d.shape)))
        f.write(' '.join(repr(v) for v in d.ravel()) + '\n')
)PY";

bool Have(const std::string& program) {
  return std::system(("command -v " + program + " > /dev/null 2>&1").c_str()) == 0;
}

// A 16-bit frame of the given stored values under BZERO and BSCALE cards
// as written (text), with extra cards before END.
std::string Frame16(int w, int h, const std::vector<std::uint16_t>& stored, const std::string& bzero,
                    const std::string& bscale, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> cards = {fits_test::Fixed("SIMPLE", "T"),
                                    fits_test::Fixed("BITPIX", "16"),
                                    fits_test::Fixed("NAXIS", "2"),
                                    fits_test::Fixed("NAXIS1", std::to_string(w)),
                                    fits_test::Fixed("NAXIS2", std::to_string(h)),
                                    fits_test::Fixed("BZERO", bzero),
                                    fits_test::Fixed("BSCALE", bscale)};
  cards.insert(cards.end(), extra.begin(), extra.end());
  cards.push_back(fits_test::EndCard());
  return fits_test::Header(cards) + fits_test::PadBlock(fits_test::Data16(stored));
}

// The data section of a written file, after its header's blocks.
std::string DataOf(const std::string& bytes) {
  const std::size_t cards = HeaderCards(bytes).size();
  return bytes.substr((cards * 80 + 2879) / 2880 * 2880);
}

// Stored values leave as they came, whatever the scaling: a BZERO of 1E17
// once sent them through doubles that came back in steps of 16.
TEST(FitsWriter, StoredValuesLeaveAsTheyCameWhateverTheScaling) {
  TempDir dir(true);
  const std::vector<std::uint16_t> stored = {0, 1, 2, 3, 0x7FFF, 0x8000, 0xFFFF, 12345, 17, 40000};
  struct Case {
    const char* bzero;
    const char* bscale;
  };
  for (const Case& c : {Case{"1500", "0.05"}, Case{"1.0E+17", "1"}, Case{"-3.0E+17", "7"}, Case{"0", "1E-20"},
                        Case{"32768", "1"}}) {
    SCOPED_TRACE(std::string(c.bzero) + " " + c.bscale);
    const std::string source = Frame16(5, 2, stored, c.bzero, c.bscale);
    fits_test::WriteBytes(dir.File("in.fits"), source);
    ImageDocument doc;
    ASSERT_TRUE(LoadFitsDocument(dir.File("in.fits"), doc).ok());
    ASSERT_TRUE(WriteFitsWindow(dir.File("out.fits"), doc, doc.Image).ok());
    EXPECT_EQ(DataOf(fits_test::ReadBytes(dir.File("out.fits"))), source.substr(2880));
  }
}

// BLANK marks the pixels of one stored value. Commands that move pixels keep
// it, negative maps it with the values, anything else drops it (the marked
// pixels now hold computed values) and says so; a BLANK written as a real
// is written as the integer it is.
TEST(FitsWriter, BlankFollowsTheCommandsOrGoes) {
  TempDir dir(true);
  // Stored -5 is undefined; stored 4 is a valid value that negative turns into -5.
  const std::vector<std::uint16_t> stored = {static_cast<std::uint16_t>(-5), 4, 100, 7};
  struct Case {
    const char* what;
    const char* blank_card;
    std::vector<Status (*)(ImageDocument&)> commands;
    const char* blank;  // the BLANK value written; nullptr: none
    const char* history;
  };
  auto negative = [](ImageDocument& d) { return NegativeCommand(d); };
  auto mirror = [](ImageDocument& d) { return MirrorCommand(d); };
  auto blur = [](ImageDocument& d) { return BlurCommand(d, 1.5); };
  const Case cases[] = {
      {"unedited", "-5", {}, "-5", nullptr},
      {"negative", "-5", {negative}, "4", nullptr},
      {"negative twice and a mirror", "-5", {negative, mirror, negative}, "-5", nullptr},
      {"written as a real", "-5.0", {}, "-5", nullptr},
      {"blur",
       "-5",
       {negative, blur},
       nullptr,
       "HISTORY QIRM BLANK dropped: blur changed the values it marked"},
      {"not an integer", "-5.5", {}, nullptr, "HISTORY QIRM BLANK dropped: not a 16-bit integer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fits_test::WriteBytes(dir.File("in.fits"),
                          Frame16(2, 2, stored, "0", "1", {fits_test::Fixed("BLANK", c.blank_card)}));
    ImageDocument doc;
    ASSERT_TRUE(LoadFitsDocument(dir.File("in.fits"), doc).ok());
    for (auto* command : c.commands) ASSERT_TRUE(command(doc).ok());
    ASSERT_TRUE(WriteFitsWindow(dir.File("out.fits"), doc, doc.Image).ok());
    const std::string out = fits_test::ReadBytes(dir.File("out.fits"));
    const std::vector<std::string> cards = HeaderCards(out);
    EXPECT_EQ(CountKeyword(cards, "BLANK   = "), c.blank ? 1 : 0);
    if (c.blank) {
      EXPECT_EQ(CountKeyword(cards, fits_test::Fixed("BLANK", c.blank)), 1);
      // The pixel that was undefined (mirrored or not) holds the new BLANK,
      // and no other does.
      const std::string data = DataOf(out);
      int marked = 0;
      for (int i = 0; i < 4; ++i) {
        const auto v = static_cast<std::int16_t>((static_cast<std::uint8_t>(data[2 * i]) << 8) |
                                                 static_cast<std::uint8_t>(data[2 * i + 1]));
        marked += v == std::stoi(c.blank);
      }
      EXPECT_EQ(marked, 1);
    }
    if (c.history) EXPECT_EQ(CountKeyword(cards, c.history), 1);
  }
}

// Cards that would make the file another kind of file (random groups), or
// that break the format's rules, are not copied; the rest are.
TEST(FitsWriter, StructuralAndIllegalCardsAreNotCopied) {
  TempDir dir(true);
  FitsWriteHeader header;
  header.cards = {fits_test::Fixed("GROUPS", "T"),
                  fits_test::Fixed("PCOUNT", "0"),
                  fits_test::Fixed("GCOUNT", "1"),
                  fits_test::Card("object  = 'lower case'"),
                  fits_test::Card("BAD KEY = 1"),
                  fits_test::Card("TEMP\xC3\xA9  = 1"),
                  fits_test::Card("NOTE    = 'no closing quote"),
                  fits_test::Card("SPEED   = fast"),
                  fits_test::Card("BLANK   =             -32768.0"),
                  fits_test::Fixed("OBJECT", "'M 51'"),
                  fits_test::Card("ENDTIME = '20:05:00'         / end of exposure"),
                  fits_test::Card("QUOTE   = 'it''s fine'"),
                  fits_test::Card("PAIR    = (1.5, -2)"),
                  fits_test::Card("COMMENT anything goes here: = 'x"),
                  fits_test::Card("HIERARCH ESO DET CHIP = 3")};
  ASSERT_TRUE(WriteFitsGrey(dir.File("out.fits"), 2, 1, {1, 2}, 32768, 1, header).ok());
  const std::vector<std::string> cards = HeaderCards(fits_test::ReadBytes(dir.File("out.fits")));
  for (const char* gone :
       {"GROUPS", "PCOUNT", "GCOUNT", "object", "BAD KEY", "TEMP", "NOTE", "SPEED", "BLANK"})
    EXPECT_EQ(CountKeyword(cards, gone), 0) << gone;
  for (const char* kept :
       {"OBJECT  = ", "ENDTIME = ", "QUOTE   = ", "PAIR    = ", "COMMENT any", "HIERARCH ESO"})
    EXPECT_EQ(CountKeyword(cards, kept), 1) << kept;
  EXPECT_EQ(CountKeyword(cards, "HISTORY QIRM dropped 5 illegal cards: object, BAD KEY, TEMP??, NOTE, SP"),
            1);

  if (Have("fitsverify")) {
    const std::string command =
        "fitsverify '" + dir.File("out.fits") + "' > '" + dir.File("verify.txt") + "' 2>&1";
    std::system(command.c_str());
    const std::string report = fits_test::ReadBytes(dir.File("verify.txt"));
    EXPECT_NE(report.find("0 warning(s) and 0 error(s)"), std::string::npos) << report;
  }
  if (std::filesystem::exists("/usr/bin/python3")) {
    fits_test::WriteBytes(dir.File("reader.py"), kReader);
    const std::string command = "/usr/bin/python3 '" + dir.File("reader.py") + "' '" + dir.File("out.fits") +
                                "' > '" + dir.File("python.log") + "' 2>&1";
    const int status = std::system(command.c_str());
    if (!(WIFEXITED(status) && WEXITSTATUS(status) == 3)) {
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
          << fits_test::ReadBytes(dir.File("python.log"));
      EXPECT_EQ(fits_test::ReadBytes(dir.File("out.fits.txt")), "16 1 2\n1.0 2.0\n");
    }
  }
}

TEST(FitsWriter, AstropyReadsTheValuesAndFitsverifyFindsNoError) {
  TempDir dir(true);
  std::vector<std::uint16_t> stored;
  fits_test::WriteBytes(dir.File("in.fits"), ScaledFrame(40, 30, stored));
  ImageDocument grey;
  ASSERT_TRUE(LoadFitsDocument(dir.File("in.fits"), grey).ok());
  ASSERT_TRUE(BlurCommand(grey, 2).ok());
  ASSERT_TRUE(WriteFitsWindow(dir.File("grey.fits"), grey, grey.Image).ok());
  Picture colour(5, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      colour.SetColor(x, y, static_cast<std::uint32_t>(x * 10 + 65536 * (y * 3 + 1) + 256 * (x + y + 7)));
  ImageDocument picture;
  picture.kind = WindowKind::kColour;
  picture.history = {"negative"};
  ASSERT_TRUE(WriteFitsWindow(dir.File("colour.fits"), picture, colour).ok());
  ASSERT_TRUE(WriteFitsGrey(dir.File("f32.fits"), 2, 2, {-0.25, 1e6, 3, 4}, 32768, 1, {}).ok());
  // A cube of three 3 x 2 planes: each value tells its plane, row and column.
  std::vector<float> cube[3];
  for (int p = 0; p < 3; ++p)
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) cube[p].push_back(p == 1 ? -0.5f - x - 10 * y : 1000.25f * p + x + 10 * y);
  FitsWriteHeader cube_header;
  cube_header.history = {"QIRM composition"};
  ASSERT_TRUE(WriteFitsFloatCube(dir.File("cube.fits"), 3, 2, cube, cube_header).ok());
  std::vector<float> short_planes[3] = {cube[0], cube[1], {1.0f}};
  EXPECT_FALSE(WriteFitsFloatCube(dir.File("short.fits"), 3, 2, short_planes, {}).ok());
  EXPECT_FALSE(std::filesystem::exists(dir.File("short.fits")));

  if (Have("fitsverify")) {
    for (const char* f : {"grey.fits", "colour.fits", "f32.fits", "cube.fits"}) {
      const std::string command = "fitsverify '" + dir.File(f) + "' > '" + dir.File("verify.txt") + "' 2>&1";
      std::system(command.c_str());
      const std::string report = fits_test::ReadBytes(dir.File("verify.txt"));
      EXPECT_NE(report.find("0 warning(s) and 0 error(s)"), std::string::npos) << f << "\n" << report;
    }
  }

  if (!std::filesystem::exists("/usr/bin/python3")) GTEST_SKIP() << "no python3";
  fits_test::WriteBytes(dir.File("reader.py"), kReader);
  const std::string command = "/usr/bin/python3 '" + dir.File("reader.py") + "' '" + dir.File("grey.fits") +
                              "' '" + dir.File("colour.fits") + "' '" + dir.File("f32.fits") + "' '" +
                              dir.File("cube.fits") + "' > '" + dir.File("python.log") + "' 2>&1";
  const int status = std::system(command.c_str());
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) GTEST_SKIP() << "no astropy";
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << fits_test::ReadBytes(dir.File("python.log"));

  std::istringstream g(fits_test::ReadBytes(dir.File("grey.fits.txt")));
  int bitpix = 0, rows = 0, columns = 0;
  g >> bitpix >> rows >> columns;
  EXPECT_EQ(bitpix, 16);
  ASSERT_EQ(rows, 30);
  ASSERT_EQ(columns, 40);
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      double v = 0;
      g >> v;
      ASSERT_NEAR(v, grey.scaling.Physical(grey.raw.At(x, y)), 5e-4) << x << "," << y;
    }
  }

  std::istringstream c(fits_test::ReadBytes(dir.File("colour.fits.txt")));
  int planes = 0;
  c >> bitpix >> planes >> rows >> columns;
  EXPECT_EQ(bitpix, 8);
  ASSERT_EQ(planes, 3);
  ASSERT_EQ(rows, 4);
  ASSERT_EQ(columns, 5);
  for (int p = 0; p < 3; ++p) {
    for (int y = 0; y < rows; ++y) {
      for (int x = 0; x < columns; ++x) {
        double v = 0;
        c >> v;
        const std::uint8_t* pixel = colour.Row(y) + 3 * x;  // blue, green, red
        ASSERT_EQ(v, pixel[2 - p]) << "plane " << p << " at " << x << "," << y;
      }
    }
  }

  std::istringstream f(fits_test::ReadBytes(dir.File("f32.fits.txt")));
  f >> bitpix >> rows >> columns;
  EXPECT_EQ(bitpix, -32);
  std::vector<double> values(4);
  for (double& v : values) f >> v;
  EXPECT_EQ(values, (std::vector<double>{-0.25, 1e6, 3, 4}));

  std::istringstream k(fits_test::ReadBytes(dir.File("cube.fits.txt")));
  k >> bitpix >> planes >> rows >> columns;
  EXPECT_EQ(bitpix, -32);
  ASSERT_EQ(planes, 3);
  ASSERT_EQ(rows, 2);
  ASSERT_EQ(columns, 3);
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < 6; ++i) {
      double v = 0;
      k >> v;
      ASSERT_EQ(v, static_cast<double>(cube[p][i])) << "plane " << p << " value " << i;
    }
  }
}

}  // namespace
}  // namespace qirm
