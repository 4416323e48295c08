// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/memory_load.h"

#include <fstream>
#include <locale>
#include <sstream>

#include "core/numbers.h"

namespace qirm {

int MemoryLoadPercent(const std::string& meminfo_path) {
  std::ifstream in(meminfo_path);
  if (!in) return -1;
  // Values in kB; -1 marks a line not (yet) seen.
  long long total = -1, available = -1, free = -1, buffers = -1, cached = -1;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    words.imbue(std::locale::classic());
    std::string key;
    long long value = 0;
    if (!(words >> key >> value) || value < 0) continue;
    if (key == "MemTotal:")
      total = value;
    else if (key == "MemAvailable:")
      available = value;
    else if (key == "MemFree:")
      free = value;
    else if (key == "Buffers:")
      buffers = value;
    else if (key == "Cached:")
      cached = value;
  }
  if (total <= 0) return -1;
  if (available < 0) {
    if (free < 0 || buffers < 0 || cached < 0) return -1;
    available = free + buffers + cached;
  }
  long long used = total - available;
  if (used < 0) used = 0;
  long long percent = used * 100 / total;
  return static_cast<int>(percent > 100 ? 100 : percent);
}

std::string MemoryLoadText(int percent) { return FormatGeneral(percent) + "%"; }

}  // namespace qirm
