// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <locale>
#include <sstream>

#include "core/file_bytes.h"
#include "core/user_dirs.h"

namespace qirm {

std::optional<WindowPlacement> ReadSettingsFile(const std::string& path) {
  // Only a regular file: a FIFO of that name must not hang the start.
  std::string refusal;
  const int fd = OpenRegularFile(path, refusal);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  ssize_t n = 0;
  // The four lines are short: a few KiB is all a real file holds.
  while (text.size() < (1u << 16) && (n = ::read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  std::istringstream in(text);
  // Digits only, whatever the user's locale says about grouping.
  in.imbue(std::locale::classic());
  std::string line;
  std::getline(in, line);  // "Quorvan"
  std::string tag;         // "Window"
  WindowPlacement p;
  if (!(in >> tag >> p.top >> p.left >> p.width >> p.height)) return std::nullopt;
  return p;
}

namespace {

std::string ErrnoText(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// Writes all of `text` to `fd`, retrying short writes.
bool WriteAll(int fd, const std::string& text) {
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

Status WriteSettingsFile(const std::string& path, const WindowPlacement& p) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << "Quorvan\n"
       << "Window " << p.top << ' ' << p.left << ' ' << p.width << ' ' << p.height << "\n"
       << "This is the initial file for Quorvan\n"
       << "Main window top, left, width and height in pixels\n";

  // The temporary name is per process, so two running copies do not write
  // into each other's file; O_NOFOLLOW keeps a planted link from redirecting it.
  const std::string temp = path + "." + std::to_string(::getpid()) + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return Status::Error(ErrnoText("cannot create", temp));
  bool written = WriteAll(fd, text.str()) && ::fsync(fd) == 0;
  Status status = written ? Status::Ok() : Status::Error(ErrnoText("cannot write", temp));
  if (::close(fd) != 0 && status.ok()) status = Status::Error(ErrnoText("cannot write", temp));
  if (status.ok() && std::rename(temp.c_str(), path.c_str()) != 0)
    status = Status::Error(ErrnoText("cannot replace", path));
  if (!status.ok()) ::unlink(temp.c_str());
  return status;
}

std::string SettingsFilePath() {
  const std::string dir = UserConfigDir();
  return dir.empty() ? std::string() : dir + "/" + kSettingsFileName;
}

std::optional<WindowPlacement> LoadSettings() {
  const std::string path = SettingsFilePath();
  struct stat st {};
  // A file there, even a damaged one, is the user's current settings.
  if (!path.empty() && ::stat(path.c_str(), &st) == 0) return ReadSettingsFile(path);
  return ReadSettingsFile(kSettingsFileName);
}

Status SaveSettings(const WindowPlacement& placement) {
  const std::string path = SettingsFilePath();
  if (path.empty()) return Status::Error("no configuration folder: neither XDG_CONFIG_HOME nor HOME is set");
  if (!MakeUserDir(UserConfigDir()))
    return Status::Error(ErrnoText("cannot make the folder", UserConfigDir()));
  return WriteSettingsFile(path, placement);
}

}  // namespace qirm
