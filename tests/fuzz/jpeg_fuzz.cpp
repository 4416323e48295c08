// SPDX-License-Identifier: GPL-3.0-or-later
// The JPEG decoder on any bytes.
#include <cstddef>
#include <cstdint>

#include "core/jpeg_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qirm::Picture picture;
  std::string warning;
  qirm::fuzz::CheckMessage(qirm::DecodeJpeg(data, size, "input.jpg", picture, &warning).message());
  return 0;
}
