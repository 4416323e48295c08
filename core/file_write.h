// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file so that a failure never destroys the one it replaces, and
// the file-name helpers the readers and writers share.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/status.h"

namespace qirm {

// Replaces the file at `path` with what write(fd) writes into a new
// temporary file in the same folder (false: a write failed, errno says why);
// the file is flushed to disk (fsync) and then renamed over `path`, so a
// failure leaves the old file whole. On any failure the temporary file is
// removed and the error names `path` and the OS reason ("PATH: cannot write:
// No space left on device"). A replaced file keeps its permission bits; a
// symbolic link at `path` is followed, so the file it points to is the one
// replaced and the link stays; a link that points nowhere is refused.
Status ReplaceFileWith(const std::string& path, const std::function<bool(int fd)>& write);

// ReplaceFileWith for bytes already in memory.
Status WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Writes all `size` bytes to fd, retrying short and interrupted writes.
bool WriteAll(int fd, const std::uint8_t* data, std::size_t size);

// The part of `path` after its last '/'.
std::string FileNameWithoutDirectory(const std::string& path);

}  // namespace qirm
