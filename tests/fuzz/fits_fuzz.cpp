// SPDX-License-Identifier: GPL-3.0-or-later
// The FITS header check and the whole reader on any bytes; and any cards
// between a 16-bit header's structure and its END must leave the data read
// exactly as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/fits_reader.h"
#include "core/matrix.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Cards that describe the data or end the header: the check places its own.
bool Structural(const std::string& card) {
  std::string key = card.substr(0, 8);
  while (!key.empty() && key.back() == ' ') key.pop_back();
  if (key == "END" && card.find_first_not_of(' ', 3) == std::string::npos) return true;
  for (const char* k : {"SIMPLE", "BITPIX", "NAXIS", "BZERO", "BSCALE", "BLANK", "PCOUNT", "GCOUNT",
                        "XTENSION", "GROUPS", "EXTEND"})
    if (key.compare(0, std::string(k).size(), k) == 0) return true;
  return false;
}

std::string Card(const std::string& text) { return (text + std::string(80, ' ')).substr(0, 80); }

// A 4 x 2 frame of known stored values behind the input's cards: any card
// taken for END, for a size or for the pixel type reads other values.
void CheckDataBehindCards(const std::uint8_t* data, std::size_t size) {
  using namespace qirm;
  std::string bytes = Card("SIMPLE  =                    T") + Card("BITPIX  =                   16") +
                      Card("NAXIS   =                    2") + Card("NAXIS1  =                    4") +
                      Card("NAXIS2  =                    2") + Card("BZERO   =                32768");
  for (std::size_t i = 0; i + 80 <= size && i < 80 * 100; i += 80) {
    const std::string card(reinterpret_cast<const char*>(data) + i, 80);
    if (!Structural(card)) bytes += card;
  }
  bytes += Card("END");
  bytes.resize((bytes.size() + 2879) / 2880 * 2880, ' ');
  static const int kRaw[8] = {0, 1, 255, 256, 32767, 32768, 65534, 65535};
  std::string values;
  for (int raw : kRaw) {
    const unsigned stored = static_cast<unsigned>(raw) ^ 0x8000u;
    values += static_cast<char>(stored >> 8);
    values += static_cast<char>(stored & 0xFF);
  }
  values.resize(2880, '\0');
  bytes += values;
  const std::string path =
      fuzz::AsFile(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), "cards.fits");
  FitsHeader header;
  if (!CheckFitsHeader(path, header) || header.width != 4 || header.height != 2) std::abort();
  IntMatrix m;
  if (AllocIntMatrix(4, 2, m) != 0) std::abort();
  if (!ReadFitsFileSignShifted(path, header, m)) std::abort();
  for (int i = 0; i < 8; ++i)
    if (m[i % 4][i / 4] != kRaw[i]) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qirm;
  CheckDataBehindCards(data, size);
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
