// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

namespace qirm {

namespace {

Status OsError(const std::string& path, const char* what, int error) {
  return Status::Error(path + ": " + what + ": " + std::strerror(error));
}

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a plain file";
}

}  // namespace

int OpenRegularFile(const std::string& path, std::string& refusal) {
  refusal.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    ::close(fd);
    refusal = std::string("not a regular file (") + KindOf(st.st_mode) + ")";
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

long long ReadAt(int fd, void* buffer, long long n, long long offset) {
  char* p = static_cast<char*>(buffer);
  long long done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd, p + done, static_cast<std::size_t>(n - done), offset + done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

Status ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::string refusal;
  const int fd = OpenRegularFile(path, refusal);
  if (fd < 0 && !refusal.empty()) return Status::Error(path + ": " + refusal);
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

std::string CheckDataPresent(std::uint64_t present, std::uint64_t declared) {
  if (declared <= kDataAbsentFloorBytes || present >= declared - declared / 2) return "";
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.1f",
                100.0 * static_cast<double>(present) / static_cast<double>(declared));
  return "the file holds " + std::to_string(present) + " of the " + std::to_string(declared) +
         " bytes of data its header declares (" + percent + " %)";
}

std::string CheckCompressedSize(std::uint64_t data_bytes, std::int64_t width, std::int64_t height) {
  const std::int64_t pixels = width * height;
  if (pixels <= kCompressedFloorPixels) return "";
  if (static_cast<std::uint64_t>(pixels / kMaxPixelsPerCompressedByte) <= data_bytes) return "";
  return "a " + std::to_string(width) + " x " + std::to_string(height) + " picture from only " +
         std::to_string(data_bytes) + " bytes of compressed data (the file is cut short or mostly empty)";
}

namespace {
std::atomic<std::uint64_t> g_memory_for_testing{0};
}  // namespace

std::uint64_t AvailableMemoryBytes() {
  if (const std::uint64_t pretended = g_memory_for_testing.load(); pretended != 0) return pretended;
  std::FILE* f = std::fopen("/proc/meminfo", "r");
  if (f == nullptr) return 0;
  char line[256];
  std::uint64_t kib = 0;
  bool found = false;
  while (!found && std::fgets(line, sizeof line, f) != nullptr)
    found = std::sscanf(line, "MemAvailable: %" SCNu64 " kB", &kib) == 1;
  std::fclose(f);
  return found ? kib * 1024 : 0;
}

void SetAvailableMemoryForTesting(std::uint64_t bytes) { g_memory_for_testing = bytes; }

std::string CheckMemoryFor(std::int64_t width, std::int64_t height, int bytes_per_pixel) {
  const std::uint64_t available = AvailableMemoryBytes();
  if (available == 0 || width <= 0 || height <= 0) return "";  // unknown: the allocation itself decides
  const std::uint64_t need = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) *
                             static_cast<std::uint64_t>(bytes_per_pixel);
  if (need <= available) return "";
  constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
  return "a " + std::to_string(width) + " x " + std::to_string(height) + " picture needs " +
         std::to_string((need + kMiB - 1) / kMiB) + " MiB of memory but only " +
         std::to_string(available / kMiB) + " MiB are available";
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
