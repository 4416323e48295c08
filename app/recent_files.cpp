// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recent_files.h"

#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "core/file_bytes.h"
#include "core/file_write.h"

namespace qirm {

std::string RecentFilesPath(const std::string& settings_path) {
  const std::size_t slash = settings_path.rfind('/');
  if (slash == std::string::npos) return kRecentFileName;
  return settings_path.substr(0, slash + 1) + kRecentFileName;
}

void RemoveRecentFile(std::vector<std::string>& list, const std::string& path) {
  list.erase(std::remove(list.begin(), list.end(), path), list.end());
}

void AddRecentFile(std::vector<std::string>& list, const std::string& path) {
  // A line break would split the entry in the file.
  if (path.empty() || path.find('\n') != std::string::npos) return;
  RemoveRecentFile(list, path);
  list.insert(list.begin(), path);
  if (list.size() > kRecentFilesKept) list.resize(kRecentFilesKept);
}

std::vector<std::string> ReadRecentFiles(const std::string& path) {
  std::vector<std::string> list;
  // Only a regular file, and no more of it than ten paths can take.
  std::string refusal;
  const int fd = OpenRegularFile(path, refusal);
  if (fd < 0) return list;
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  while (text.size() < (1u << 20) && (n = ::read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  std::istringstream in(text);
  std::string line;
  while (list.size() < kRecentFilesKept && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || std::find(list.begin(), list.end(), line) != list.end()) continue;
    list.push_back(line);
  }
  return list;
}

Status WriteRecentFiles(const std::string& path, const std::vector<std::string>& list) {
  std::vector<std::uint8_t> bytes;
  for (const std::string& entry : list) {
    bytes.insert(bytes.end(), entry.begin(), entry.end());
    bytes.push_back('\n');
  }
  return WriteFileReplacing(path, bytes);
}

}  // namespace qirm
