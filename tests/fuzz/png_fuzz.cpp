// SPDX-License-Identifier: GPL-3.0-or-later
// The PNG reader on any bytes.
#include <cstddef>
#include <cstdint>

#include "core/png_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qirm::SampleImage image;
  qirm::fuzz::CheckMessage(qirm::DecodePng(data, size, "input.png", image).message());
  return 0;
}
