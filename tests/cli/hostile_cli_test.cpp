// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli on hostile input: extreme command values, files that claim far
// more than they hold, names that are not regular files, the messages.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/bmp_file.h"
#include "filters/guide_miss.h"
#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

using HostileCliTest = qirm::test::CliFixture;
using qirm::test::Card;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Fits16(const std::string& naxis1, const std::string& naxis2) {
  std::string h = Card("SIMPLE  =                    T") + Card("BITPIX  =                   16") +
                  Card("NAXIS   =                    2") + Card("NAXIS1  = " + naxis1) +
                  Card("NAXIS2  = " + naxis2) + Card("END");
  h.resize(2880, ' ');
  return h;
}

std::string Colour(int w, int h) {
  return qirm::test::Ppm6Bytes(w, h, std::vector<unsigned char>(static_cast<std::size_t>(w) * h * 3, 90));
}

TEST_F(HostileCliTest, ExtremeValuesAreRefusedAsTheDialogsRefuseThem) {
  Write("p.ppm", Colour(12, 9));
  qirm::test::CliResult r = Run({"run", "p.ppm", "coma=0,0,1e308"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "qirm-cli: -1000～1000の数字を入力してください\n");
  ASSERT_EQ(Run({"run", "p.ppm", "-o", "p.bmp"}).code, 0);
  r = Run({"run", "p.bmp", "coma=3,4,-1000", "-o", "c.bmp"});
  EXPECT_EQ(r.code, 0) << r.err;
  for (const char* zoom : {"1e-300", "0.06", "17", "1e300"}) {
    r = Run({"measure", "p.ppm", "1", "1", "--zoom", zoom});
    EXPECT_EQ(r.code, 2) << zoom;
    EXPECT_EQ(r.err.rfind("qirm-cli: --zoom needs a number from 0.0625 to 16\n", 0), 0u) << r.err;
  }
  r = Run({"measure", "p.ppm", "0", "0", "--zoom", "0.0625"});
  EXPECT_EQ(r.code, 0) << r.err;
}

TEST_F(HostileCliTest, HugeClaimsAndOddFilesAreRefusedAtOnce) {
  Write("naxis.fits", Fits16("99999999999999999999", "                  10") + std::string(2880, '\0'));
  Write("big.ppm", "P6\n16000 16000\n255\n" + std::string(48, 'x'));
  Write("big.fits", Fits16("               16000", "               16000"));
  ASSERT_EQ(::mkfifo((m_dir / "fifo.fits").c_str(), 0600), 0);
  struct Case {
    const char* file;
    const char* message;
  };
  const auto start = std::chrono::steady_clock::now();
  for (const Case& c :
       {Case{"naxis.fits", "naxis.fits: NAXIS1 is not an integer from 0 to 2147483647 (1e+20)"},
        Case{"big.ppm",
             "big.ppm: the file holds 48 of the 768000000 bytes of data its header "
             "declares (0.0 %)"},
        Case{"big.fits", "big.fits: the file holds 0 of the 512000000 bytes"},
        Case{"fifo.fits", "fifo.fits: not a regular file (a FIFO)"}}) {
    const qirm::test::CliResult r = Run({"run", c.file, "--state"});
    EXPECT_EQ(r.code, 1) << c.file;
    EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
  }
  // A hang guard, not a timing: refusing takes milliseconds, but only a
  // read of the claimed gigabytes or a wait on the FIFO could take this long.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
  // The header of a file cut short can still be shown.
  EXPECT_EQ(Run({"header", "big.fits"}).code, 0);
}

TEST_F(HostileCliTest, ErrorsAreOneLineWhateverThePathHolds) {
  qirm::test::CliResult r = Run({"run", "two\nlines\x1b.fits"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "qirm-cli: cannot open two\\nlines\\x1b.fits: No such file or directory\n");
  // The readers' console traces escape the name as the error line does.
  EXPECT_EQ(r.out, "file open error    two\\nlines\\x1b.fits\n");
  Write("empty\r\x07.fits", "");
  r = Run({"run", "empty\r\x07.fits"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "file open error    empty\\r\\x07.fits\n");
  EXPECT_EQ(r.err, "qirm-cli: empty\\r\\x07.fits: the file is empty\n");
  r = Run({"run", "gone\t\x1b[2J.ppm"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "declared\nCouldn't find gone\\t\\x1b[2J.ppm\n");
}

// What cannot be allocated ends the command with its error line, never with
// an abort: under a limit on the process's memory, a resampling far beyond
// it is refused by the memory check (a machine with less memory than the
// new window needs) or fails where it allocates.
TEST_F(HostileCliTest, AllocationsBeyondTheMemoryEndInTheErrorLine) {
  if (kSanitized) GTEST_SKIP() << "the address sanitizer cannot start under ulimit -v";
  Write("f.fits", qirm::test::Fits16Bytes(64, 48, std::vector<int>(64 * 48, 1000)));
  Write("p.ppm", Colour(12, 9));
  ASSERT_EQ(Run({"run", "p.ppm", "-o", "p.bmp"}).code, 0);
  for (const char* file : {"f.fits", "p.bmp"}) {
    const qirm::test::CliResult r =
        RunWithMemoryLimit(1000000, {"run", file, "resample=32768x32768,nearest", "-o", "x.fits"});
    SCOPED_TRACE(file);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err == "qirm-cli: not enough memory for this command\n" ||
                Contains(r.err, "a 32768 x 32768 picture needs"))
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "x.fits"));
  }
}

// A long trail on a small picture: the far zero weights of the kernel are
// skipped, and what is left must still be exactly the literal steps. (Its
// time is measured by filters_bench's GuideMissLongTrailSmallPicture.)
TEST_F(HostileCliTest, ALongGuideMissTrailOnASmallPictureEqualsTheLiteralSteps) {
  Write("p.ppm", Colour(40, 40));
  const qirm::test::CliResult r = Run({"run", "p.ppm", "gmc=0,1000,0.2,0", "-o", "g.bmp"});
  ASSERT_EQ(r.code, 0) << r.err;
  qirm::Picture written;
  ASSERT_TRUE(qirm::ReadBmpFile((m_dir / "g.bmp").string(), written).ok());
  qirm::Picture plain(40, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) plain.SetColor(x, y, 0x5A5A5A);
  ASSERT_TRUE(qirm::GuideMissCancelPlain(plain, qirm::GmcSettings{0, 1000, 0}, 0.2).ok());
  EXPECT_TRUE(written == plain);
}

}  // namespace
