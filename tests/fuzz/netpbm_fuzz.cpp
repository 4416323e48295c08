// SPDX-License-Identifier: GPL-3.0-or-later
// The Netpbm reader on any bytes.
#include <cstddef>
#include <cstdint>

#include "core/matrix.h"
#include "core/ppm_reader.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qirm;
  const std::string path = fuzz::AsFile(data, size, "input.ppm");
  int w = 0, h = 0;
  IntMatrix r, g, b;
  fuzz::CheckMessage(ReadPpmFile(path, w, h, r, g, b).message());
  return 0;
}
