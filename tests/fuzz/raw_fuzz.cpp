// SPDX-License-Identifier: GPL-3.0-or-later
// The camera raw reader on any bytes, and both demosaicing methods on every
// small mosaic it gives (any size, any pattern the file names).
#include <cstddef>
#include <cstdint>

#include "core/raw_reader.h"
#include "mosaic/debayer.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qirm::SampleImage mosaic;
  const qirm::Status status = qirm::DecodeRaw(data, size, "input.dng", mosaic);
  qirm::fuzz::CheckMessage(status.message());
  qirm::BayerPattern pattern = qirm::BayerPattern::kRGGB;
  if (!status || mosaic.pixels() > (std::size_t{1} << 18) || !qirm::BayerPatternFromCards(mosaic, pattern))
    return 0;
  for (qirm::DebayerMethod method : {qirm::DebayerMethod::kBilinear, qirm::DebayerMethod::kRcd}) {
    qirm::SampleImage colour;
    qirm::fuzz::CheckMessage(qirm::Debayer(mosaic, pattern, method, colour).message());
  }
  return 0;
}
