// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/fits_keywords.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace qirm::fits {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The keyword of a card: its first eight characters without trailing blanks.
std::string_view KeywordOf(const char* card) {
  std::string_view key(card, 8);
  while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  return key;
}

void Record(NumberKey& key, const char* card) {
  if (key.count++ == 0) key.number = CardNumber(card, key.value);
}

}  // namespace

bool IsEndCard(const char* card) {
  if (std::memcmp(card, "END", 3) != 0) return false;
  for (int i = 3; i < kCardBytes; ++i)
    if (card[i] != ' ') return false;
  return true;
}

int FixedColumns(const char* card, int first, int last) {
  int value = 0;
  for (int column = first; column <= last; ++column) {
    const char c = card[column - 1];
    value = value * 10 + (IsDigit(c) ? c - '0' : 0);
  }
  return value;
}

bool CardNumber(const char* card, double& value) {
  const char* begin = card + 10;
  const char* end = card + kCardBytes;
  if (const void* slash = std::memchr(begin, '/', end - begin)) end = static_cast<const char*>(slash);
  while (begin < end && *begin == ' ') ++begin;
  while (end > begin && end[-1] == ' ') --end;

  // Check the FITS real form first, then convert a cleaned copy: from_chars
  // takes no '+' sign and no 'D' exponent.
  char text[kCardBytes + 1];
  int n = 0;
  const char* p = begin;
  if (p < end && (*p == '+' || *p == '-')) {
    if (*p == '-') text[n++] = '-';
    ++p;
  }
  int digits = 0;
  while (p < end && IsDigit(*p)) text[n++] = *p++, ++digits;
  if (p < end && *p == '.') {
    text[n++] = *p++;
    while (p < end && IsDigit(*p)) text[n++] = *p++, ++digits;
  }
  if (digits == 0) return false;
  if (p < end && (*p == 'E' || *p == 'e' || *p == 'D' || *p == 'd')) {
    text[n++] = 'E';
    ++p;
    if (p < end && (*p == '+' || *p == '-')) text[n++] = *p++;
    int exponent_digits = 0;
    while (p < end && IsDigit(*p)) text[n++] = *p++, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  if (p != end) return false;
  double parsed = 0.0;
  const auto result = std::from_chars(text, text + n, parsed);
  // Out of range (1E999) is not a usable number either.
  if (result.ec != std::errc() || result.ptr != text + n || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

bool NumberKey::Integer(long long lo, long long hi, long long& out) const {
  if (count == 0 || !number || value != std::floor(value)) return false;
  if (value < static_cast<double>(lo) || value > static_cast<double>(hi)) return false;
  out = static_cast<long long>(value);
  return true;
}

HduKeywords ParseKeywords(const char* cards, int n) {
  HduKeywords k;
  for (int i = 0; i < n; ++i) {
    const char* card = cards + static_cast<long long>(i) * kCardBytes;
    const std::string_view key = KeywordOf(card);
    if (key == "BITPIX") {
      Record(k.bitpix, card);
    } else if (key == "NAXIS") {
      Record(k.naxis, card);
    } else if (key.size() > 5 && key.size() <= 8 && key.substr(0, 5) == "NAXIS" && key[5] != '0') {
      int axis = 0;
      bool digits = true;
      for (char c : key.substr(5)) {
        digits = digits && IsDigit(c);
        axis = axis * 10 + (c - '0');
      }
      if (!digits) continue;
      if (static_cast<int>(k.axes.size()) < axis) k.axes.resize(axis);
      Record(k.axes[axis - 1], card);
    } else if (key == "PCOUNT") {
      Record(k.pcount, card);
    } else if (key == "GCOUNT") {
      Record(k.gcount, card);
    } else if (key == "BSCALE") {
      Record(k.bscale, card);
    } else if (key == "BZERO") {
      Record(k.bzero, card);
    } else if (key == "BLANK") {
      Record(k.blank, card);
    } else if (key == "XTENSION" && !k.has_xtension) {
      k.has_xtension = true;
      const char* begin = card + 10;
      const char* end = card + kCardBytes;
      while (begin < end && *begin == ' ') ++begin;
      if (begin < end && *begin == '\'') {
        const char* close = static_cast<const char*>(std::memchr(begin + 1, '\'', end - begin - 1));
        if (close) {
          std::string_view value(begin + 1, close - begin - 1);
          while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
          k.xtension = value;
        }
      }
    }
  }
  return k;
}

}  // namespace qirm::fits
