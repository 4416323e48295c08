// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli header: the image's header, one card a line.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;
using HeaderCliTest = qirm::test::CliFixture;
using qirm::test::Card;
using qirm::test::Fits16Bytes;

TEST_F(HeaderCliTest, PrintsTheCardsWithoutTrailingBlanksUpToEnd) {
  std::string bytes = Fits16Bytes(2, 1, {1, 2});
  // A comment card, a blank card and a card after END's padding that must
  // not show.
  bytes.replace(6 * 80, 3 * 80, Card("OBJECT  = 'M 13    '           / target   ") + Card("") + Card("END"));
  Write("a.fits", bytes);
  qirm::test::CliResult r = Run({"header", "a.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "SIMPLE  =                    T\nBITPIX  =                   16\nNAXIS   =                    2\n"
            "NAXIS1  =                    2\nNAXIS2  =                    1\nBZERO   =                32768\n"
            "OBJECT  = 'M 13    '           / target\n\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(fs::exists(m_dir / "cache" / "QIRM" / "test.dat"));
}

TEST_F(HeaderCliTest, ExtensionImageShowsItsOwnHeader) {
  std::string primary = Card("SIMPLE  =                    T") + Card("BITPIX  =                    8") +
                        Card("NAXIS   =                    0") + Card("ORIGIN  = 'primary'") + Card("END");
  primary.resize(2880, ' ');
  std::string image = Fits16Bytes(2, 1, {1, 2});
  image.replace(0, 80, Card("XTENSION= 'IMAGE   '"));
  image.replace(6 * 80, 2 * 80, Card("PCOUNT  =                    0") + Card("END"));
  Write("mef.fits", primary + image);
  qirm::test::CliResult r = Run({"header", "mef.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.find("XTENSION= 'IMAGE   '\n"), 0u) << r.out;
  EXPECT_EQ(r.out.find("primary"), std::string::npos);
  EXPECT_NE(r.out.find("PCOUNT  =                    0\n"), std::string::npos);
}

// ENDTIME is a keyword like any other: the header goes on to the real END in
// its second block, and the window holds the data, not header text.
TEST_F(HeaderCliTest, KeywordsThatBeginWithEndAreOrdinaryCards) {
  std::string bytes = Card("SIMPLE  =                    T") + Card("BITPIX  =                   16") +
                      Card("NAXIS   =                    2") + Card("NAXIS1  =                    2") +
                      Card("NAXIS2  =                    1") + Card("BZERO   =                    0") +
                      Card("DATE-OBS= '2026-03-14T20:00:00'") + Card("ENDTIME = '20:05:00'") +
                      Card("END_RA  =            201.36502");
  for (int i = 0; i < 30; ++i) bytes += Card("COMMENT observing log");
  bytes += Card("EXPTIME =                300.0") + Card("END");
  bytes.resize(5760, ' ');
  std::string data = {'\xFF', '\xFB', '\x07', '\xC9'};  // -5 and 1993
  data.resize(2880, '\0');
  Write("obs.fits", bytes + data);
  qirm::test::CliResult r = Run({"header", "obs.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("ENDTIME = '20:05:00'\nEND_RA"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nEXPTIME =                300.0\n"), std::string::npos) << r.out;
  r = Run({"run", "obs.fits", "-o", "out.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string out = qirm::test::ReadAll(m_dir / "out.fits");
  ASSERT_EQ(out.size(), 5760u + 2880u);
  EXPECT_EQ(out.substr(5760), data);
}

// A NUL or an escape byte inside a card shows escaped, the card whole.
TEST_F(HeaderCliTest, ControlBytesInCardsShowEscaped) {
  std::string bytes = qirm::test::Fits16Bytes(2, 1, {1, 2});
  bytes.replace(6 * 80, 2 * 80, Card(std::string("OBJECT  = 'M\0 51\x1b'", 18) + " / target") + Card("END"));
  Write("nul.fits", bytes);
  const qirm::test::CliResult r = Run({"header", "nul.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("OBJECT  = 'M\\x00 51\\x1b' / target\n"), std::string::npos) << r.out;
}

TEST_F(HeaderCliTest, Failures) {
  Write("short.fits", Card("SIMPLE  =                    T"));
  qirm::test::CliResult r = Run({"header", "short.fits"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err.rfind("qirm-cli: ", 0), 0u) << r.err;
  EXPECT_EQ(Run({"header", "missing.fits"}).code, 1);
  EXPECT_EQ(Run({"header"}).code, 2);
  EXPECT_EQ(Run({"header", "a.fits", "b.fits"}).code, 2);
}

// The lines are the file's own cards: astropy reads the same header.
TEST_F(HeaderCliTest, RealFramesMatchAstropy) {
  const fs::path data = QIRM_DATA_DIR;
  const fs::path frame = data / "fixtures" / "dss_m67_M6707HH.fits";
  if (!fs::exists(frame)) GTEST_SKIP() << "no real frames at " << data;
  const std::string script =
      "import sys\n"
      "from astropy.io import fits\n"
      "h = fits.getheader(sys.argv[1])\n"
      "sys.stdout.write(''.join(c.image.rstrip() + '\\n' for c in h.cards))\n";
  Write("cards.py", script);
  const std::string command = "/usr/bin/python3 " + (m_dir / "cards.py").string() + " " + frame.string() +
                              " > " + (m_dir / "astropy.txt").string() + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "no astropy under /usr/bin/python3";
  qirm::test::CliResult r = Run({"header", frame.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, qirm::test::ReadAll(m_dir / "astropy.txt"));
}

}  // namespace

namespace {

using qirm::test::TanFrame;

}  // namespace

// measure's fourth line is the sky position of the image pixel it reads:
// at zoom 2 the click at (0, 20) reads pixel (0, 10), ten arcseconds north.
TEST_F(HeaderCliTest, MeasurePrintsTheSkyPositionOfThePixelRead) {
  Write("tan.fits", TanFrame());
  qirm::test::CliResult r = Run({"measure", "tan.fits", "0", "0"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\nWCS = 10.0000000 20.0000000\n"), std::string::npos) << r.out;
  r = Run({"measure", "tan.fits", "1", "20", "--zoom", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\nWCS = 10.0000000 20.0027778\n"), std::string::npos) << r.out;
  // Without a WCS: the three lines only.
  Write("plain.fits", qirm::test::Fits16Bytes(40, 20, std::vector<int>(40 * 20, 1000)));
  r = Run({"measure", "plain.fits", "0", "0"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.find("WCS"), std::string::npos) << r.out;
}
