// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/printable.h"

#include <cstdint>

namespace qirm {
namespace {

// Length of the valid UTF-8 sequence starting at text[i] (2..4), or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t b = byte(i);
  std::size_t n = 0;
  std::uint32_t code = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2, code = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3, code = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4, code = b & 0x07;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and code points beyond U+10FFFF.
  if ((n == 3 && code < 0x800) || (n == 4 && (code < 0x10000 || code > 0x10FFFF))) return 0;
  if (code >= 0xD800 && code <= 0xDFFF) return 0;
  // C1 controls (U+0080..U+009F) are no more printable than C0 ones.
  if (code < 0xA0) return 0;
  return n;
}

}  // namespace

std::string PrintableText(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<std::uint8_t>(text[i]);
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
      ++i;
    } else if (b == '\n') {
      out += "\\n", ++i;
    } else if (b == '\r') {
      out += "\\r", ++i;
    } else if (b == '\t') {
      out += "\\t", ++i;
    } else if (const std::size_t n = b >= 0x80 ? Utf8Length(text, i) : 0; n > 0) {
      out.append(text.substr(i, n));
      i += n;
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
      ++i;
    }
  }
  return out;
}

}  // namespace qirm
