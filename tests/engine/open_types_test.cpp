// SPDX-License-Identifier: GPL-3.0-or-later
// The kinds of file the open command reads: one list that the open dialog's
// entries and the reader chosen by extension both follow.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/open_image.h"

namespace qirm {
namespace {

TEST(ReadableTypes, FitsFirstAndEveryExtensionNamesItsReader) {
  ASSERT_FALSE(ReadableTypes().empty());
  EXPECT_EQ(ReadableTypes().front().type, FileType::Fits);
  EXPECT_EQ(
      ReadableExtensions(),
      (std::vector<std::string>{"fits", "fit", "fts", "bmp", "jpg", "jpeg", "pgm", "ppm", "tif", "tiff",
                                "png",  "cr2", "cr3", "nef", "arw", "dng",  "raf", "orf", "rw2", "pef"}));
  for (const ReadableType& t : ReadableTypes()) {
    for (const std::string& ext : t.extensions) {
      FileType type = t.type == FileType::Bmp ? FileType::Fits : FileType::Bmp;
      ASSERT_TRUE(FileTypeFromName("dir.x/frame." + ext, type)) << ext;
      EXPECT_EQ(type, t.type) << ext;
      std::string upper = ext;
      for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      EXPECT_TRUE(FileTypeFromName("FRAME." + upper, type)) << upper;
    }
  }
  FileType type = FileType::Bmp;
  for (const char* name : {"frame", "frame.txt", "frame.fits.gz", "fits/frame"})
    EXPECT_FALSE(FileTypeFromName(name, type)) << name;
}

}  // namespace
}  // namespace qirm
