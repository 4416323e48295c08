// SPDX-License-Identifier: GPL-3.0-or-later
// The TIFF reader on any bytes.
#include <cstddef>
#include <cstdint>

#include "core/tiff_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qirm::SampleImage image;
  qirm::fuzz::CheckMessage(qirm::DecodeTiff(data, size, "input.tif", image).message());
  return 0;
}
