#include "core/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace qirm {

namespace {

Status OsError(const std::string& path, const char* what, int error) {
  return Status::Error(path + ": " + what + ": " + std::strerror(error));
}

}  // namespace

Status ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return OsError(path, "cannot open", errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return OsError(path, "cannot open", error);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    return OsError(path, "cannot open", EISDIR);
  }
  if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > kMaxPictureFileBytes) {
    ::close(fd);
    return Status::Error(path + ": file too large (" + std::to_string(st.st_size) + " bytes)");
  }
  try {
    if (S_ISREG(st.st_mode)) bytes.reserve(static_cast<std::size_t>(st.st_size));
    // Read to the end rather than trusting st_size: the file may be a pipe or
    // may change while we read.
    std::uint8_t chunk[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n < 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        bytes.clear();
        return OsError(path, "cannot read", error);
      }
      if (n == 0) break;
      if (bytes.size() + static_cast<std::size_t>(n) > kMaxPictureFileBytes) {
        ::close(fd);
        bytes.clear();
        return Status::Error(path + ": file too large");
      }
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
  } catch (const std::bad_alloc&) {
    ::close(fd);
    bytes.clear();
    return Status::Error(path + ": not enough memory to read the file");
  }
  ::close(fd);
  return Status::Ok();
}

std::string CheckPictureSize(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) {
    return "bad picture size " + std::to_string(width) + " x " + std::to_string(height);
  }
  if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
    return "picture too large (" + std::to_string(width) + " x " + std::to_string(height) + ")";
  }
  return "";
}

}  // namespace qirm
