// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/fits_header.h"

#include <cstring>

namespace qirm {

std::vector<std::string> ImageHeaderCards(const FitsHeader& header) {
  const std::size_t n = header.card_bytes.size() / 80;
  const char* bytes = header.card_bytes.data();
  std::size_t start = 0;
  if (header.hdu > 0) {
    for (std::size_t i = 0; i < n; i += 36)
      if (std::memcmp(bytes + 80 * i, "XTENSION", 8) == 0) start = i;
  }
  std::vector<std::string> cards;
  for (std::size_t i = start; i < n; ++i) {
    if (std::memcmp(bytes + 80 * i, "END", 3) == 0) break;
    cards.emplace_back(bytes + 80 * i, 80);
  }
  return cards;
}

std::vector<std::string> HeaderLines(const std::vector<std::string>& cards) {
  std::vector<std::string> lines;
  lines.reserve(cards.size());
  for (const std::string& card : cards) {
    const std::size_t last = card.find_last_not_of(' ');
    lines.push_back(last == std::string::npos ? std::string() : card.substr(0, last + 1));
  }
  return lines;
}

Status ReadImageHeaderLines(const std::string& path, std::vector<std::string>& lines) {
  FitsHeader header;
  if (Status s = ReadFitsHeaderOnly(path, header); !s) return s;
  lines = HeaderLines(ImageHeaderCards(header));
  return Status::Ok();
}

}  // namespace qirm
