// Whole-file reading for the picture readers, and the size limits they share.
// A reader checks the size a header claims against these limits (and against
// the bytes actually present) before it allocates anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/status.h"

namespace qirm {

// Largest width or height a picture file may claim.
inline constexpr int kMaxPictureSide = 30000;
// Largest pixel count (16384 x 16384, 768 MiB as a 24-bit picture). Matters
// for compressed formats, where a tiny file can claim a huge picture.
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{1} << 28;
// Largest file a picture reader loads into memory.
inline constexpr std::uint64_t kMaxPictureFileBytes = std::uint64_t{2} << 30;

// Reads the whole file. Errors name the file and the OS reason ("PATH: cannot
// open: No such file or directory"); a folder or a file over
// kMaxPictureFileBytes is refused.
Status ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes);

// "" when width x height is within the limits above, else the reason.
std::string CheckPictureSize(std::int64_t width, std::int64_t height);

}  // namespace qirm
