// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli compose: the settings file loaded, the composition run, the
// result saved; the same picture as the engine gives.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/bmp_file.h"
#include "tests/support/codec_readers.h"
#include "tests/support/test_files.h"
#include "tricolour/compose.h"
#include "tricolour/compose_options.h"
#include "tricolour/settings_file.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string out, err;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class ComposeCli : public testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("qirm-compose-cli-" + std::to_string(::getpid()) + "-" +
                                         testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(m_dir / "with blank");
    // A star on a sky, shifted per frame; paths with a blank.
    const int shifts[3][2] = {{0, 0}, {2, 1}, {-1, 3}};
    const char* names[3] = {"r", "g", "b"};
    std::vector<std::string>* lists[3] = {&m_settings.RedFiles, &m_settings.GreenFiles,
                                          &m_settings.BlueFiles};
    for (int c = 0; c < 3; ++c) {
      std::vector<int> raw;
      for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) {
          const int u = x - shifts[c][0], v = y - shifts[c][1];
          raw.push_back(900 + 100 * c + (u == 16 && v == 12 ? 3000 : 0) + x);
        }
      const fs::path path = m_dir / "with blank" / (std::string(names[c]) + ".fits");
      std::ofstream(path, std::ios::binary) << qirm::test::Fits16Bytes(32, 24, raw);
      lists[c]->push_back(path.string());
    }
    m_settings.StarMode = 1;
    m_settings.Star1X = 16;
    m_settings.Star1Y = 12;
    m_settings.Delta1 = 5;
    m_settings.BackgroundX = 8;
    m_settings.BackgroundY = 18;
    m_settings.BackgroundLevel = 6;
    ASSERT_TRUE(qirm::SaveCompositionSettings((m_dir / "set.mrv").string(), m_settings));
  }
  void TearDown() override { fs::remove_all(m_dir); }

  Result Run(const std::vector<std::string>& args) {
    std::string command = "cd " + Quote(m_dir.string()) + " && " + Quote(QIRM_CLI_PATH) + " compose";
    for (const auto& a : args) command += " " + Quote(a);
    command += " >out.txt 2>err.txt";
    Result r;
    const int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadAll(m_dir / "out.txt");
    r.err = ReadAll(m_dir / "err.txt");
    return r;
  }

  fs::path m_dir;
  qirm::CompositionSettings m_settings;
};

TEST_F(ComposeCli, SavesTheEnginesPictureAndPrintsStateAndProgress) {
  const Result r = Run({"set.mrv", "-o", "out.bmp", "--state", "--progress"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Caption=Child\nFilterI=1\nDemX=32\nDemY=24\nColN=3\nZomN=1.00\nUndoFlg=0\n"
            "Contrast=1.0\nAverage= \nMinimum=\nMAX=255\nMIN=0\n"
            "Edit1=100.0%\nEdit2=255\nEdit3=0\n");
  EXPECT_EQ(r.err.rfind("10\n30\n20\n0\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("96\n50\n"), std::string::npos);  // 32 columns: trunc(31 / 0.32)
  EXPECT_EQ(r.err.substr(r.err.size() - 12), "70\n90\n100\n0\n");

  qirm::Picture saved;
  ASSERT_TRUE(qirm::ReadBmpFile((m_dir / "out.bmp").string(), saved));
  qirm::ImageDocument doc;
  const fs::path previous = fs::current_path();
  fs::current_path(m_dir);
  const qirm::Status st = qirm::ComposeTricolour(m_settings, {}, doc);
  fs::current_path(previous);
  ASSERT_TRUE(st) << st.message();
  EXPECT_EQ(saved, doc.Image);
}

// The engine's result with its 16-bit picture and its linear channels, as
// the tool runs it.
qirm::ImageDocument EngineResult(const fs::path& dir, const qirm::CompositionSettings& settings) {
  qirm::ComposeOptions options;
  options.keep_16_bits = options.keep_linear = true;
  qirm::ImageDocument doc;
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  const qirm::Status st = qirm::ComposeTricolourWith(options, settings, {}, doc, nullptr, {});
  fs::current_path(previous);
  EXPECT_TRUE(st) << st.message();
  return doc;
}

// The values of a 32-bit float FITS cube, read by hand: the data start at
// the first 2880-byte block after the END card.
std::vector<float> FloatCubeValues(const std::string& bytes, std::string& header) {
  std::size_t end = 0;
  while (end + 80 <= bytes.size() && bytes.compare(end, 4, "END ") != 0) end += 80;
  header = bytes.substr(0, end);
  const std::size_t data = (end / 2880 + 1) * 2880;
  std::vector<float> values;
  for (std::size_t i = data; i + 4 <= bytes.size(); i += 4) {
    const std::uint32_t word = std::uint32_t(std::uint8_t(bytes[i])) << 24 |
                               std::uint32_t(std::uint8_t(bytes[i + 1])) << 16 |
                               std::uint32_t(std::uint8_t(bytes[i + 2])) << 8 | std::uint8_t(bytes[i + 3]);
    float f;
    std::memcpy(&f, &word, 4);
    values.push_back(f);
  }
  return values;
}

TEST_F(ComposeCli, SixteenBitTiffAndPngAndTheLinearCube) {
  const qirm::ImageDocument doc = EngineResult(m_dir, m_settings);
  ASSERT_EQ(doc.deep.width, 32);
  int depth = 0;
  ASSERT_EQ(Run({"set.mrv", "-o", "out.tif", "--linear", "linear.fits"}).code, 0);
  EXPECT_TRUE(qirm::test::ReadTiffRgb((m_dir / "out.tif").string(), depth) == doc.deep);
  EXPECT_EQ(depth, 16);
  const Result png = Run({"set.mrv", "-o", "out.png", "--depth", "16"});
  ASSERT_EQ(png.code, 0) << png.err;
  const std::string bytes = ReadAll(m_dir / "out.png");
  EXPECT_TRUE(qirm::test::ReadPngRgb(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), depth) ==
              doc.deep);
  EXPECT_EQ(depth, 16);
  // --depth 8 keeps a TIFF to the 8-bit picture.
  ASSERT_EQ(Run({"set.mrv", "-o", "eight.tif", "--depth", "8"}).code, 0);
  const qirm::Rgb16Picture eight = qirm::test::ReadTiffRgb((m_dir / "eight.tif").string(), depth);
  EXPECT_EQ(depth, 8);
  ASSERT_EQ(eight.width, 32);
  for (int y = 0; y < 24; ++y)
    for (int i = 0; i < 3 * 32; ++i) ASSERT_EQ(eight.Row(y)[i], doc.deep.Row(y)[i] / 257) << i << ", " << y;

  std::string header;
  const std::vector<float> values = FloatCubeValues(ReadAll(m_dir / "linear.fits"), header);
  EXPECT_NE(header.find("BITPIX  =                  -32"), std::string::npos) << header;
  EXPECT_NE(header.find("NAXIS3  =                    3"), std::string::npos) << header;
  ASSERT_GE(values.size(), 3u * 32 * 24);
  for (int c = 0; c < 3; ++c)
    for (std::size_t i = 0; i < 32 * 24; ++i)
      ASSERT_EQ(values[c * 32 * 24 + i], doc.linear[c][i]) << c << " " << i;
  if (std::system("command -v fitsverify > /dev/null 2>&1") == 0) {
    const std::string command = "fitsverify " + Quote((m_dir / "linear.fits").string()) + " > " +
                                Quote((m_dir / "verify.txt").string()) + " 2>&1";
    std::system(command.c_str());
    const std::string report = ReadAll(m_dir / "verify.txt");
    EXPECT_NE(report.find("0 warning(s) and 0 error(s)"), std::string::npos) << report;
  }

  // 16 bits in a format of 8, or a depth that does not exist: wrong arguments.
  EXPECT_EQ(Run({"set.mrv", "-o", "x.bmp", "--depth", "16"}).code, 2);
  EXPECT_EQ(Run({"set.mrv", "-o", "x.png", "--depth", "12"}).code, 2);
  EXPECT_EQ(Run({"set.mrv", "-o", "x.png", "--linear"}).code, 2);
  EXPECT_FALSE(fs::exists(m_dir / "x.bmp"));
  EXPECT_FALSE(fs::exists(m_dir / "x.png"));
  // A linear file that cannot be written fails the run and names it.
  const Result bad = Run({"set.mrv", "-o", "y.bmp", "--linear", "no/such/folder/l.fits"});
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.err.find("no/such/folder/l.fits"), std::string::npos) << bad.err;
}

TEST_F(ComposeCli, FailuresLeaveNothingAtOut) {
  EXPECT_EQ(Run({"set.mrv"}).code, 2);      // no -o
  EXPECT_EQ(Run({"-o", "x.bmp"}).code, 2);  // no settings file
  EXPECT_EQ(Run({"set.mrv", "-o", "x.bmp", "--fast"}).code, 2);

  Result missing = Run({"none.mrv", "-o", "x.bmp"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err.rfind("qirm-cli: ", 0), 0u);
  EXPECT_NE(missing.err.find("none.mrv"), std::string::npos);

  // A frame that is not FITS: refused, naming it; nothing written.
  std::ofstream(m_settings.BlueFiles[0], std::ios::binary | std::ios::trunc) << "garbage";
  Result bad = Run({"set.mrv", "-o", "x.bmp"});
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.err.find("b.fits"), std::string::npos) << bad.err;
  EXPECT_FALSE(fs::exists(m_dir / "x.bmp"));

  // An empty colour list: the dialog would end silently; the tool says so.
  qirm::CompositionSettings empty = m_settings;
  empty.GreenFiles.clear();
  ASSERT_TRUE(qirm::SaveCompositionSettings((m_dir / "empty.mrv").string(), empty));
  Result none = Run({"empty.mrv", "-o", "x.bmp"});
  EXPECT_EQ(none.code, 1);
  EXPECT_NE(none.err.find("list is empty"), std::string::npos);
  EXPECT_FALSE(fs::exists(m_dir / "x.bmp"));
}

// --tone chooses the curve the settings file does not hold; atan=200 is
// the default.
TEST_F(ComposeCli, ToneChoosesTheCurve) {
  ASSERT_EQ(Run({"set.mrv", "-o", "default.bmp"}).code, 0);
  ASSERT_EQ(Run({"set.mrv", "-o", "atan.bmp", "--tone", "atan=200"}).code, 0);
  EXPECT_EQ(ReadAll(m_dir / "atan.bmp"), ReadAll(m_dir / "default.bmp"));
  for (const std::string tone : {"linear", "log=1000", "gamma=2.2", "atan=100"}) {
    const Result r = Run({"set.mrv", "-o", "tone.bmp", "--tone", tone});
    ASSERT_EQ(r.code, 0) << tone << ": " << r.err;
    qirm::Picture saved;
    ASSERT_TRUE(qirm::ReadBmpFile((m_dir / "tone.bmp").string(), saved));
    qirm::CompositionSettings s = m_settings;
    const std::string name = tone.substr(0, tone.find('='));
    const double p = name == "linear" ? 0 : std::stod(tone.substr(tone.find('=') + 1));
    s.Advanced.Tone = name == "linear"  ? qirm::ToneKind::kLinear
                      : name == "log"   ? qirm::ToneKind::kLog
                      : name == "gamma" ? qirm::ToneKind::kGamma
                                        : qirm::ToneKind::kAtan;
    s.Advanced.ToneLogParameter = name == "log" ? p : 1000;
    s.Advanced.ToneGammaParameter = name == "gamma" ? p : 1;
    s.Advanced.ToneAtanParameter = name == "atan" ? p : 200;
    qirm::ImageDocument doc;
    const fs::path previous = fs::current_path();
    fs::current_path(m_dir);
    const qirm::Status st = qirm::ComposeTricolour(s, {}, doc);
    fs::current_path(previous);
    ASSERT_TRUE(st) << st.message();
    EXPECT_EQ(saved, doc.Image) << tone;
    EXPECT_NE(ReadAll(m_dir / "tone.bmp"), ReadAll(m_dir / "default.bmp")) << tone;
  }
  for (const std::string bad : {"log", "cubic=2", "gamma=x", "atan="})
    EXPECT_EQ(Run({"set.mrv", "-o", "x.bmp", "--tone", bad}).code, 2) << bad;
  EXPECT_EQ(Run({"set.mrv", "-o", "x.bmp", "--tone"}).code, 2);
  const Result refused = Run({"set.mrv", "-o", "x.bmp", "--tone", "log=0"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("LOG tone curve's parameter is 0"), std::string::npos) << refused.err;
  EXPECT_FALSE(fs::exists(m_dir / "x.bmp"));
}

// Several settings files: each set's result under its own name, the same
// bytes as the one-file form gives, whether the tool runs them (--jobs) or
// GNU parallel does; a set that fails does not stop the others.
TEST_F(ComposeCli, BatchesGiveTheSerialRunsBytes) {
  const std::vector<std::string> names = {"north", "south", "west"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    qirm::CompositionSettings s = m_settings;
    s.BackgroundX = 6 + 2 * static_cast<int>(i);
    s.WhiteR = 1 + 0.25 * static_cast<double>(i);
    ASSERT_TRUE(qirm::SaveCompositionSettings((m_dir / (names[i] + ".mrv")).string(), s));
  }
  fs::create_directories(m_dir / "serial");
  for (const std::string& n : names) {
    const Result r = Run({n + ".mrv", "-o", "serial/" + n + ".png", "--tone", "gamma=2.2"});
    ASSERT_EQ(r.code, 0) << r.err;
  }
  const auto same_as_serial = [&](const std::string& folder) {
    for (const std::string& n : names) {
      const std::string serial = ReadAll(m_dir / "serial" / (n + ".png"));
      ASSERT_FALSE(serial.empty());
      EXPECT_EQ(ReadAll(m_dir / folder / (n + ".png")), serial) << folder << "/" << n;
    }
  };
  EXPECT_NE(ReadAll(m_dir / "serial/north.png"), ReadAll(m_dir / "serial/south.png"));

  const Result batch =
      Run({"north.mrv", "south.mrv", "west.mrv", "-o", "batch", "--jobs", "2", "--tone", "gamma=2.2"});
  ASSERT_EQ(batch.code, 0) << batch.err;
  same_as_serial("batch");

  if (std::system("command -v parallel > /dev/null 2>&1") == 0) {
    const std::string command =
        "cd " + Quote(m_dir.string()) + " && mkdir -p par && parallel --will-cite -j 3 " +
        Quote(QIRM_CLI_PATH) +
        " compose {} -o par/{/.}.png --tone gamma=2.2 ::: north.mrv south.mrv west.mrv"
        " > par.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadAll(m_dir / "par.txt");
    same_as_serial("par");
  } else {
    std::printf("GNU parallel is not installed: its part of the test is skipped\n");
  }

  // One set that cannot run: the others are still made; exit 1, and the
  // failures counted.
  std::ofstream(m_dir / "broken.mrv") << "not a settings file";
  const Result partly = Run({"north.mrv", "broken.mrv", "south.mrv", "-o", "partly", "--format", "bmp"});
  EXPECT_EQ(partly.code, 1);
  EXPECT_NE(partly.err.find("broken.mrv"), std::string::npos) << partly.err;
  EXPECT_NE(partly.err.find("1 of 3 compositions failed"), std::string::npos) << partly.err;
  EXPECT_TRUE(fs::exists(m_dir / "partly/north.bmp"));
  EXPECT_TRUE(fs::exists(m_dir / "partly/south.bmp"));
  EXPECT_FALSE(fs::exists(m_dir / "partly/broken.bmp"));

  // Wrong arguments: two results of one name, a file's own options, no folder.
  fs::create_directories(m_dir / "other");
  fs::copy_file(m_dir / "north.mrv", m_dir / "other/north.mrv");
  EXPECT_EQ(Run({"north.mrv", "other/north.mrv", "-o", "twice"}).code, 2);
  EXPECT_EQ(Run({"north.mrv", "south.mrv", "-o", "b2", "--state"}).code, 2);
  EXPECT_EQ(Run({"north.mrv", "south.mrv"}).code, 2);
  EXPECT_EQ(Run({"north.mrv", "south.mrv", "-o", "b3", "--format", "gif"}).code, 2);
  EXPECT_EQ(Run({"north.mrv", "-o", "x.png", "--format", "png"}).code, 2);
  EXPECT_EQ(Run({"north.mrv", "south.mrv", "-o", "b4", "--jobs", "0"}).code, 2);
  EXPECT_FALSE(fs::exists(m_dir / "twice"));
}

}  // namespace
