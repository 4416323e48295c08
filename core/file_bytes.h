// SPDX-License-Identifier: GPL-3.0-or-later
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

// Opens `path` read-only without ever waiting: a FIFO without a writer would
// block open() for ever and a device can be read without end, so only
// regular files (and folders, which each caller refuses in its own words)
// are kept. Returns the descriptor, in blocking mode, or -1: then `refusal`
// is "not a regular file (a FIFO)" and the like, or empty when open() itself
// failed (errno tells why).
int OpenRegularFile(const std::string& path, std::string& refusal);

// Up to n bytes of the open file `fd` from `offset` into buffer, retried
// where a read is interrupted: the count read (short only at the end of the
// file), or -1 on a read error (errno tells which).
long long ReadAt(int fd, void* buffer, long long n, long long offset);

// Reads the whole file. Errors name the file and the OS reason ("PATH: cannot
// open: No such file or directory"); a folder or a file over
// kMaxPictureFileBytes is refused, and so is anything but a regular file.
Status ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes);

// "" when width x height is within the limits above, else the reason.
std::string CheckPictureSize(std::int64_t width, std::int64_t height);

// A file can claim far more than it holds. Missing bytes at the end of a
// FITS or Netpbm file are read as the formats' fill values, but a file that
// holds less than half the data its header declares, where those data pass
// kDataAbsentFloorBytes, is refused: it would cost the memory of a picture
// that is not there.
inline constexpr std::uint64_t kDataAbsentFloorBytes = std::uint64_t{1} << 20;
// "" or "the file holds P of the D bytes of data its header declares (X %)".
std::string CheckDataPresent(std::uint64_t present, std::uint64_t declared);

// Compressed pictures (JPEG, RLE BMP) over kCompressedFloorPixels must come
// from at least one byte of file per kMaxPixelsPerCompressedByte pixels: a
// complete JPEG spends at least a bit on every 8 x 8 block (512 pixels a
// byte), so only a file cut short or one that skips most of its picture
// falls below.
inline constexpr std::int64_t kCompressedFloorPixels = std::int64_t{1} << 20;
inline constexpr std::int64_t kMaxPixelsPerCompressedByte = 1024;
// "" or "a W x H picture from only N bytes of compressed data (the file is cut short or mostly empty)".
std::string CheckCompressedSize(std::uint64_t data_bytes, std::int64_t width, std::int64_t height);

// The memory the machine can give now: MemAvailable of /proc/meminfo, or
// the figure a test set; 0 when unknown.
std::uint64_t AvailableMemoryBytes();
// For tests: pretend that `bytes` are available (0: read the system again).
void SetAvailableMemoryForTesting(std::uint64_t bytes);
// Before a reader allocates: "" when `bytes_per_pixel` x width x height
// (the picture and the window made from it) fits in the available memory,
// else "a W x H picture needs N MiB of memory but only M MiB are available".
std::string CheckMemoryFor(std::int64_t width, std::int64_t height, int bytes_per_pixel);
// What a colour window takes per pixel for CheckMemoryFor: the shown picture,
// the base picture and a command's working copy, 3 bytes each, and room.
inline constexpr int kColourWindowBytesPerPixel = 12;

}  // namespace qirm
