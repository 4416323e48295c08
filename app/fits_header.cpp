// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/fits_header.h"

#include <cstring>

#include "core/fits_keywords.h"
#include "core/printable.h"

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
    if (fits::IsEndCard(bytes + 80 * i)) break;
    cards.emplace_back(bytes + 80 * i, 80);
  }
  return cards;
}

std::vector<std::string> HeaderLines(const std::vector<std::string>& cards) {
  std::vector<std::string> lines;
  lines.reserve(cards.size());
  for (const std::string& card : cards) {
    const std::size_t last = card.find_last_not_of(' ');
    // A NUL or another control byte in a hostile card must not cut or break
    // the line: it shows escaped.
    lines.push_back(last == std::string::npos ? std::string() : PrintableText(card.substr(0, last + 1)));
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
