// SPDX-License-Identifier: GPL-3.0-or-later
// The save command's engine side: the name rule, the format by extension,
// and replacing a file so that a failed write keeps the old one.
#include "app/save_image.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/bmp_file.h"
#include "core/jpeg_file.h"

namespace qirm {
namespace {

TEST(ReplaceExtension, OnlyThePartAfterTheLastPointOfTheFileName) {
  struct Case {
    const char* name;
    const char* ext;
    const char* expected;
  };
  const Case cases[] = {
      {"m42.fts", ".bmp", "m42.bmp"},
      {"m42", ".jpg", "m42.jpg"},
      {"dir.v2/m42", ".jpg", "dir.v2/m42.jpg"},
      {"dir.v2/m42.fits", ".bmp", "dir.v2/m42.bmp"},
      {"/data/m42.r.fts", ".jpg", "/data/m42.r.jpg"},
      {"m42.bmp", ".bmp", "m42.bmp"},
      {"m42.", ".bmp", "m42.bmp"},
      {"/a.b/.m42", ".bmp", "/a.b/.bmp"},
      {"M42.JPEG", ".jpg", "M42.jpg"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReplaceExtension(c.name, c.ext), c.expected) << c.name;
}

TEST(PictureFormatFromName, ByExtensionInAnyCase) {
  struct Case {
    const char* name;
    bool known;
    PictureFormat format;
  };
  const Case cases[] = {
      {"a.bmp", true, PictureFormat::kBmp},       {"a.BMP", true, PictureFormat::kBmp},
      {"a.jpg", true, PictureFormat::kJpeg},      {"dir/a.JPEG", true, PictureFormat::kJpeg},
      {"a.png", true, PictureFormat::kPng},       {"a.fits", false, PictureFormat::kBmp},
      {"a", false, PictureFormat::kBmp},          {"dir.bmp/a", false, PictureFormat::kBmp},
      {"a.bmp.gz", false, PictureFormat::kBmp},   {"a.tif", true, PictureFormat::kTiff},
      {"dir/a.TIFF", true, PictureFormat::kTiff},
  };
  for (const Case& c : cases) {
    PictureFormat format = PictureFormat::kBmp;
    EXPECT_EQ(PictureFormatFromName(c.name, format), c.known) << c.name;
    if (c.known) {
      EXPECT_EQ(format, c.format) << c.name;
    }
  }
}

TEST(SaveFormatFromName, TheTypedExtensionChoosesAndOthersAreNeverReplaced) {
  struct Case {
    const char* name;
    TypedExtension typed;
    SaveFormat format;  // when written
  };
  const Case cases[] = {
      {"m42.fits", TypedExtension::kWritten, SaveFormat::kFits},
      {"dir/M42.FTS", TypedExtension::kWritten, SaveFormat::kFits},
      {"m42.fit", TypedExtension::kWritten, SaveFormat::kFits},
      {"m42.png", TypedExtension::kWritten, SaveFormat::kPng},
      {"m42.tiff", TypedExtension::kWritten, SaveFormat::kTiff},
      {"m42.Bmp", TypedExtension::kWritten, SaveFormat::kBmp},
      {"m42.jpeg", TypedExtension::kWritten, SaveFormat::kJpeg},
      {"m42", TypedExtension::kNone, SaveFormat::kFits},
      {"m42.", TypedExtension::kNone, SaveFormat::kFits},
      {"/a.b/.m42", TypedExtension::kNone, SaveFormat::kFits},
      {"dir.png/m42", TypedExtension::kNone, SaveFormat::kFits},
      {"m42.xyz", TypedExtension::kOther, SaveFormat::kFits},
      {"m42.ppm", TypedExtension::kOther, SaveFormat::kFits},
      {"m42.fits.gz", TypedExtension::kOther, SaveFormat::kFits},
  };
  for (const Case& c : cases) {
    SaveFormat format = SaveFormat::kFits;
    EXPECT_EQ(SaveFormatFromName(c.name, format), c.typed) << c.name;
    if (c.typed == TypedExtension::kWritten) EXPECT_EQ(format, c.format) << c.name;
  }
  // An extension added keeps every character typed.
  EXPECT_EQ(AddExtension("m42", ".jpg"), "m42.jpg");
  EXPECT_EQ(AddExtension("m42.", ".jpg"), "m42.jpg");
  EXPECT_EQ(AddExtension("m42.xyz", ".png"), "m42.xyz.png");
  EXPECT_EQ(AddExtension("/a.b/.m42", ".fits"), "/a.b/.m42.fits");
}

Picture Pattern(int width, int height) {
  Picture p(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) p.SetColor(x, y, static_cast<std::uint32_t>(x * 0x030507 + y * 0x110000));
  }
  return p;
}

// Noise does not compress: every format's file is about as large as the picture.
Picture Noise(int width, int height) {
  Picture p(width, height);
  std::uint32_t seed = 5;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      p.SetColor(x, y, seed >> 8);
    }
  }
  return p;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

class SaveImage : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qirm-save-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    m_dir = pattern;
  }
  void TearDown() override {
    ::chmod(m_dir.c_str(), 0700);
    std::filesystem::remove_all(m_dir);
  }
  // Names in the folder, so that a test can see no temporary file was left.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(m_dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string m_dir;
};

TEST_F(SaveImage, EachFormatWritesAFileThatReadsBack) {
  const Picture picture = Pattern(13, 7);
  Picture back;

  ASSERT_TRUE(WritePictureFile(m_dir + "/a.bmp", picture, PictureFormat::kBmp).ok());
  ASSERT_TRUE(ReadBmpFile(m_dir + "/a.bmp", back).ok());
  EXPECT_EQ(back, picture);

  ASSERT_TRUE(WritePictureFile(m_dir + "/a.jpg", picture, PictureFormat::kJpeg).ok());
  ASSERT_TRUE(ReadJpegFile(m_dir + "/a.jpg", back).ok());
  EXPECT_EQ(back.width(), 13);
  EXPECT_EQ(back.height(), 7);
  std::vector<std::uint8_t> q70;
  ASSERT_TRUE(EncodePicture(picture, PictureFormat::kJpeg, kSaveJpegQuality, q70).ok());
  EXPECT_EQ(ReadText(m_dir + "/a.jpg"), std::string(q70.begin(), q70.end())) << "default quality is 70";

  ASSERT_TRUE(WritePictureFile(m_dir + "/a.png", picture, PictureFormat::kPng).ok());
  EXPECT_EQ(ReadText(m_dir + "/a.png").substr(1, 3), "PNG");

  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.bmp", "a.jpg", "a.png"}));
  struct stat st {};
  ASSERT_EQ(::stat((m_dir + "/a.bmp").c_str(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << "a new file gets the usual permissions";
}

// BMP files are written row by row: the bytes must be EncodeBmp's, with row
// padding (widths not a multiple of 4) and rows split across the writes.
TEST_F(SaveImage, BmpWrittenInRowsEqualsTheEncodedFile) {
  for (const auto& [w, h] : {std::pair{13, 7}, std::pair{1, 1}, std::pair{701, 1100}}) {
    const Picture picture = Noise(w, h);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(EncodePicture(picture, PictureFormat::kBmp, kSaveJpegQuality, bytes).ok());
    ASSERT_TRUE(WritePictureFile(m_dir + "/rows.bmp", picture, PictureFormat::kBmp).ok());
    EXPECT_TRUE(ReadText(m_dir + "/rows.bmp") == std::string(bytes.begin(), bytes.end())) << w << " x " << h;
  }
  EXPECT_EQ(Entries(), (std::vector<std::string>{"rows.bmp"}));
}

TEST_F(SaveImage, ReplacingAFileKeepsItsPermissionsAndFollowsALink) {
  const std::string path = m_dir + "/m42.bmp";
  WriteText(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(WritePictureFile(path, Pattern(3, 2), PictureFormat::kBmp).ok());
  Picture back;
  ASSERT_TRUE(ReadBmpFile(path, back).ok());
  EXPECT_EQ(back, Pattern(3, 2));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  const std::string link = m_dir + "/link.bmp";
  ASSERT_EQ(::symlink("m42.bmp", link.c_str()), 0);
  ASSERT_TRUE(WritePictureFile(link, Pattern(4, 4), PictureFormat::kBmp).ok());
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_TRUE(ReadBmpFile(path, back).ok());
  EXPECT_EQ(back, Pattern(4, 4));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"link.bmp", "m42.bmp"}));
}

TEST_F(SaveImage, AWriteThatFailsHalfWayKeepsTheOldFile) {
  // A file size limit makes write() fail with EFBIG after some bytes: the
  // failure of a full disk, reproducible and independent of being root.
  const std::string path = m_dir + "/m42.bmp";
  WriteText(path, "the old picture");
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Status bmp = WritePictureFile(path, Noise(200, 100), PictureFormat::kBmp);
  const Status png = WritePictureFile(path, Noise(200, 100), PictureFormat::kPng);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);

  for (const Status& s : {bmp, png}) {
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.message().rfind(path + ": cannot write: ", 0), 0u) << s.message();
    EXPECT_NE(s.message().find("File too large"), std::string::npos) << s.message();
  }
  EXPECT_EQ(ReadText(path), "the old picture");
  EXPECT_EQ(Entries(), std::vector<std::string>{"m42.bmp"}) << "the temporary file is removed";
}

TEST_F(SaveImage, FailuresNameTheFileAndTheReason) {
  // A folder that does not exist.
  const std::string missing = m_dir + "/no-such-folder/m42.bmp";
  Status s = WritePictureFile(missing, Pattern(2, 2), PictureFormat::kBmp);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message().rfind(missing + ": ", 0), 0u) << s.message();
  EXPECT_NE(s.message().find("No such file or directory"), std::string::npos) << s.message();

  // A folder where the file should be: left alone.
  ASSERT_EQ(::mkdir((m_dir + "/taken.bmp").c_str(), 0700), 0);
  s = WritePictureFile(m_dir + "/taken.bmp", Pattern(2, 2), PictureFormat::kBmp);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("Is a directory"), std::string::npos) << s.message();

  // Nothing to encode: the old file stays.
  const std::string path = m_dir + "/m42.jpg";
  WriteText(path, "old");
  s = WritePictureFile(path, Picture(), PictureFormat::kJpeg);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message().rfind(path + ": ", 0), 0u) << s.message();
  EXPECT_EQ(ReadText(path), "old");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"m42.jpg", "taken.bmp"}));
}

TEST_F(SaveImage, ReadOnlyFolderKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  const std::string path = m_dir + "/m42.bmp";
  WriteText(path, "old");
  ASSERT_EQ(::chmod(m_dir.c_str(), 0500), 0);
  const Status s = WritePictureFile(path, Pattern(2, 2), PictureFormat::kBmp);
  ::chmod(m_dir.c_str(), 0700);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("Permission denied"), std::string::npos) << s.message();
  EXPECT_EQ(ReadText(path), "old");
  EXPECT_EQ(Entries(), std::vector<std::string>{"m42.bmp"});
}

}  // namespace
}  // namespace qirm
