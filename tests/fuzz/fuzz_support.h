// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the fuzz targets: readers that take a path get the input through
// a file of their own; the readers' console traces and the FITS trace file
// go nowhere that matters.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qirm::fuzz {

// Once per process: a private folder for the input file and the cache
// folder, standard output to /dev/null.
inline const std::string& Folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/qirm-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (made == nullptr) std::abort();
    const std::string dir = made;
    ::setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return dir;
  }();
  return folder;
}

// The input as the file `name` in Folder(); its path.
inline std::string AsFile(const std::uint8_t* data, std::size_t size, const char* name) {
  const std::string path = Folder() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

// Every message a reader gives is one printable line.
inline void CheckMessage(const std::string& message) {
  for (unsigned char c : message)
    if (c < 0x20 || c == 0x7F) std::abort();
}

}  // namespace qirm::fuzz
