// SPDX-License-Identifier: GPL-3.0-or-later
// The BMP decoder on any bytes.
#include <cstddef>
#include <cstdint>

#include "core/bmp_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qirm::Picture picture;
  qirm::fuzz::CheckMessage(qirm::DecodeBmp(data, size, "input.bmp", picture).message());
  return 0;
}
