#include "app/save_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/bmp_file.h"
#include "core/jpeg_file.h"
#include "core/png_file.h"

namespace qirm {

namespace {

// Where the file name starts: after the last '/'.
std::size_t FileNameStart(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// The point that starts the extension, or npos.
std::size_t ExtensionPoint(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  return dot != std::string::npos && dot >= FileNameStart(path) ? dot : std::string::npos;
}

Status OsError(const std::string& path, const std::string& what, int error) {
  return Status::Error(path + ": " + what + ": " + std::strerror(error));
}

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

std::string ReplaceExtension(const std::string& name, const std::string& ext) {
  const std::size_t dot = ExtensionPoint(name);
  return (dot == std::string::npos ? name : name.substr(0, dot)) + ext;
}

bool PictureFormatFromName(const std::string& path, PictureFormat& format) {
  const std::size_t dot = ExtensionPoint(path);
  if (dot == std::string::npos) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (ext == "bmp") {
    format = PictureFormat::kBmp;
  } else if (ext == "jpg" || ext == "jpeg") {
    format = PictureFormat::kJpeg;
  } else if (ext == "png") {
    format = PictureFormat::kPng;
  } else {
    return false;
  }
  return true;
}

Status EncodePicture(const Picture& picture, PictureFormat format, int jpeg_quality,
                     std::vector<std::uint8_t>& bytes) {
  switch (format) {
    case PictureFormat::kBmp:
      return EncodeBmp(picture, bytes);
    case PictureFormat::kJpeg:
      return EncodeJpeg(picture, jpeg_quality, bytes);
    case PictureFormat::kPng:
      return EncodePng(picture, bytes);
  }
  return Status::Error("unknown picture format");
}

namespace {

// The replacing write with the content produced by `write` into the
// temporary file's descriptor (false: a write failed, errno says why).
template <class Write>
Status ReplaceWith(const std::string& path, const Write& write) {
  if (path.empty()) return Status::Error("no file name given");
  // Replace what a link points to, not the link itself.
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
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

// A BMP file written row by row through a small buffer: the same bytes as
// EncodeBmp without holding the whole file (a frame-sized block of fresh
// memory costs more to obtain than to fill).
bool WriteBmpRows(int fd, const Picture& picture, const std::vector<std::uint8_t>& header, std::size_t stride) {
  if (!WriteAll(fd, header.data(), header.size())) return false;
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  const int rows_per_chunk = static_cast<int>(std::max<std::uint64_t>(1, kChunk / stride));
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(rows_per_chunk * stride), 0);
  for (int r = 0; r < picture.height();) {  // bottom-up
    const int n = std::min(rows_per_chunk, picture.height() - r);
    for (int k = 0; k < n; ++k)
      std::memcpy(chunk.data() + k * stride, picture.Row(picture.height() - 1 - (r + k)), picture.stride());
    if (!WriteAll(fd, chunk.data(), static_cast<std::size_t>(n * stride))) return false;
    r += n;
  }
  return true;
}

}  // namespace

Status WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return ReplaceWith(path, [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
}

Status WritePictureFile(const std::string& path, const Picture& picture, PictureFormat format,
                        int jpeg_quality) {
  std::vector<std::uint8_t> header;
  std::size_t stride = 0;
  if (format == PictureFormat::kBmp && BmpHeader(picture.width(), picture.height(), header, stride)) {
    return ReplaceWith(path, [&](int fd) { return WriteBmpRows(fd, picture, header, stride); });
  }
  std::vector<std::uint8_t> bytes;
  if (Status s = EncodePicture(picture, format, jpeg_quality, bytes); !s) {
    return Status::Error(path + ": " + s.message());
  }
  return WriteFileReplacing(path, bytes);
}

}  // namespace qirm
