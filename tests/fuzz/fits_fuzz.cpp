// SPDX-License-Identifier: GPL-3.0-or-later
// The FITS header check and the whole reader on any bytes.
#include <cstddef>
#include <cstdint>

#include "core/fits_reader.h"
#include "core/matrix.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qirm;
  const std::string path = fuzz::AsFile(data, size, "input.fits");
  FitsHeader header;
  Status s = CheckFitsHeader(path, header);
  fuzz::CheckMessage(s.message());
  if (!s) return 0;
  IntMatrix m;
  if (AllocIntMatrix(header.width, header.height, m) != 0) return 0;
  s = ReadFitsFileSignShifted(path, header, m);
  fuzz::CheckMessage(s.message());
  return 0;
}
