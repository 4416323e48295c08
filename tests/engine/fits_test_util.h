// SPDX-License-Identifier: GPL-3.0-or-later
// Small FITS files written byte by byte for the reader's tests: cards padded
// to 80 columns, headers padded to 2880-byte blocks, big-endian data.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace qirm::fits_test {

// A card: the text padded with blanks to 80 columns.
inline std::string Card(const std::string& text) {
  std::string card = text.substr(0, 80);
  card.resize(80, ' ');
  return card;
}

// Fixed format: "KEY     = " and the value right-justified to column 30.
inline std::string Fixed(const std::string& key, const std::string& value) {
  std::string name = key;
  name.resize(8, ' ');
  std::string text = name + "= ";
  text += std::string(value.size() < 20 ? 20 - value.size() : 0, ' ') + value;
  return Card(text);
}

inline std::string EndCard() { return Card("END"); }

// Cards joined and padded with blank cards to a whole block.
inline std::string Header(const std::vector<std::string>& cards) {
  std::string bytes;
  for (const std::string& card : cards) bytes += Card(card);
  bytes.resize((bytes.size() + 2879) / 2880 * 2880, ' ');
  return bytes;
}

// The usual header of a W x H image of the given BITPIX, END included.
inline std::vector<std::string> ImageCards(int w, int h, int bitpix = 16) {
  return {Fixed("SIMPLE", "T"),
          Fixed("BITPIX", std::to_string(bitpix)),
          Fixed("NAXIS", "2"),
          Fixed("NAXIS1", std::to_string(w)),
          Fixed("NAXIS2", std::to_string(h)),
          EndCard()};
}

inline void AppendBigEndian(std::string& bytes, std::uint64_t v, int size) {
  for (int i = size - 1; i >= 0; --i) bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

inline std::string Data16(const std::vector<std::uint16_t>& values) {
  std::string bytes;
  for (std::uint16_t v : values) AppendBigEndian(bytes, v, 2);
  return bytes;
}

// Data padded with zeros to a whole block, as a writer leaves it.
inline std::string PadBlock(std::string bytes) {
  bytes.resize((bytes.size() + 2879) / 2880 * 2880, '\0');
  return bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh directory under the system's temporary folder, removed at the end.
// With enter = true it is also the current directory and the cache folder
// meanwhile, so the reader's trace is "QIRM/test.dat" (kTrace) in it.
inline constexpr char kTrace[] = "QIRM/test.dat";

class TempDir {
 public:
  explicit TempDir(bool enter = false) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qirm-fits-XXXXXX").string();
    m_path = ::mkdtemp(pattern.data());
    if (enter) {
      m_previous = std::filesystem::current_path();
      std::filesystem::current_path(m_path);
      if (const char* cache = std::getenv("XDG_CACHE_HOME")) m_previous_cache = cache;
      ::setenv("XDG_CACHE_HOME", m_path.c_str(), 1);
    }
  }
  ~TempDir() {
    if (!m_previous.empty()) {
      std::filesystem::current_path(m_previous);
      if (m_previous_cache)
        ::setenv("XDG_CACHE_HOME", m_previous_cache->c_str(), 1);
      else
        ::unsetenv("XDG_CACHE_HOME");
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::string File(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
  std::filesystem::path m_previous;
  std::optional<std::string> m_previous_cache;
};

// A 16-bit frame of w x h with value(x, y) at each pixel, written as `name`
// in dir; the path.
inline std::string WriteFrame(const TempDir& dir, const std::string& name, int w, int h,
                              const std::function<int(int, int)>& value) {
  std::vector<int> raw;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) raw.push_back(value(x, y));
  const std::string path = dir.File(name);
  WriteBytes(path, test::Fits16Bytes(w, h, raw));
  return path;
}

}  // namespace qirm::fits_test
