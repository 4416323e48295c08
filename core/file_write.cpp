// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qirm {

namespace {

// Where the file name starts: after the last '/'.
std::size_t FileNameStart(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

Status OsError(const std::string& path, const std::string& what, int error) {
  return Status::Error(path + ": " + what + ": " + std::strerror(error));
}

// A name no other writer uses: process, call counter and clock.
std::string TemporaryName(const std::string& folder) {
  static std::atomic<unsigned> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  char text[96];
  std::snprintf(text, sizeof text, "/.qirm-save-%ld-%u-%llx.tmp", static_cast<long>(::getpid()),
                counter.fetch_add(1), static_cast<unsigned long long>(ticks));
  return folder + text;
}

}  // namespace

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

Status ReplaceFileWith(const std::string& path, const std::function<bool(int fd)>& write) {
  if (path.empty()) return Status::Error("no file name given");
  // Replace what a link points to, not the link itself.
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    // A dangling link is refused rather than replaced or followed to create
    // a file whose name the user never saw.
    if (real == nullptr) {
      const int error = errno;
      char to[4096];
      const ssize_t n = ::readlink(path.c_str(), to, sizeof to - 1);
      const std::string where = n > 0 ? std::string(to, static_cast<std::size_t>(n)) : std::string("?");
      return Status::Error(path + ": cannot write through a symbolic link to " + where + ": " +
                           std::strerror(error));
    }
    target = real;
    std::free(real);
  }
  bool keep_mode = false;
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return OsError(path, "cannot replace", EISDIR);
    keep_mode = true;
  }
  const std::size_t start = FileNameStart(target);
  const std::string folder = start == 0 ? "." : (start == 1 ? "" : target.substr(0, start - 1));

  // Same folder, so that the rename stays on one file system and is atomic.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TemporaryName(folder);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    return OsError(path, "cannot create a temporary file in " + (folder.empty() ? "/" : folder), errno);
  }

  Status status = Status::Ok();
  if (keep_mode && ::fchmod(fd, st.st_mode & 07777) != 0) {
    status = OsError(path, "cannot set the permissions", errno);
  }
  if (status.ok() && (!write(fd) || ::fsync(fd) != 0)) {
    status = OsError(path, "cannot write", errno);
  }
  if (::close(fd) != 0 && status.ok()) status = OsError(path, "cannot write", errno);
  if (status.ok() && std::rename(temp.c_str(), target.c_str()) != 0) {
    status = OsError(path, "cannot replace", errno);
  }
  if (!status.ok()) {
    ::unlink(temp.c_str());
    return status;
  }
  // Make the rename itself durable; a failure here loses nothing already written.
  const int dir = ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return Status::Ok();
}

Status WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return ReplaceFileWith(path, [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
}

std::string FileNameWithoutDirectory(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace qirm
