// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/numbers.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace qirm {
namespace {

std::string Printf(const char* format, double v) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// Two decimals with the sign and integer digits of printf, then the leading
// "0" of a magnitude below 1 dropped when the pattern has no integer digit.
std::string FormatTwoDecimals(double v, bool integer_digit) {
  std::string s = Printf("%.2f", v);
  if (s == "-0.00") s = "0.00";
  if (!integer_digit) {
    if (s.rfind("0.", 0) == 0)
      s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0)
      s.erase(1, 1);
  }
  return s;
}

}  // namespace

std::string FormatGeneral(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  if (v == 0) return "0";

  // 15 significant digits, correctly rounded: "-d.ddddddddddddddde+XX".
  const std::string sci = Printf("%.14e", v);
  const bool negative = sci[0] == '-';
  const std::size_t mantissa_start = negative ? 1 : 0;
  const std::size_t e_pos = sci.find('e');
  std::string digits;
  for (std::size_t i = mantissa_start; i < e_pos; ++i) {
    if (sci[i] != '.') digits += sci[i];
  }
  const int exponent = std::atoi(sci.c_str() + e_pos + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent < -5 || exponent >= 15) {
    out += digits[0];
    if (digits.size() > 1) out.append(".").append(digits, 1, std::string::npos);
    out.append("E").append(std::to_string(exponent));
  } else if (exponent < 0) {
    out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
  } else {
    const std::size_t int_digits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= int_digits) {
      out.append(digits).append(int_digits - digits.size(), '0');
    } else {
      out.append(digits, 0, int_digits).append(".").append(digits, int_digits, std::string::npos);
    }
  }
  return out;
}

std::string FormatPercent(double v) { return Printf("%2.1f", v) + "%"; }

std::string FormatFixed2(double v) { return FormatTwoDecimals(v, true); }

std::string FormatDot2(double v) { return FormatTwoDecimals(v, false); }

std::string FormatInt(long long v) { return std::to_string(v); }

bool ParseInt(const std::string& text, int& out) {
  std::string s = Trim(text);
  if (!s.empty() && s[0] == '+') {
    if (s.size() < 2 || !std::isdigit(static_cast<unsigned char>(s[1]))) return false;
    s.erase(0, 1);
  }
  long long value = 0;
  const char* end = s.data() + s.size();
  auto [ptr, ec] = std::from_chars(s.data(), end, value);
  if (ec != std::errc() || ptr != end) return false;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return false;
  out = static_cast<int>(value);
  return true;
}

bool ParseReal(const std::string& text, double& out) {
  std::string s = Trim(text);
  // Accept only [sign] digits [. digits] [e [sign] digits]: from_chars alone
  // would also take "inf" and "nan".
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t mantissa_digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++mantissa_digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  if (i != s.size()) return false;
  if (s[0] == '+') s.erase(0, 1);
  double value = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || ptr != s.data() + s.size()) return false;
  out = value;
  return true;
}

std::string IntConversionError(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}

std::string RealConversionError(const std::string& text) {
  return "'" + text + "' is not a valid floating point value";
}

}  // namespace qirm
