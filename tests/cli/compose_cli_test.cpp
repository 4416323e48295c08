// qirm-cli compose: the settings file loaded, the composition run, the
// result saved; the same picture as the engine gives.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/bmp_file.h"
#include "tests/support/test_files.h"
#include "tricolour/compose.h"
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

}  // namespace
