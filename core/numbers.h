// SPDX-License-Identifier: GPL-3.0-or-later
// The number conventions every command shares.
//
// Arithmetic: a real is turned into an integer by truncation toward zero
// (2.9 -> 2, -2.9 -> -2). Intermediate real arithmetic runs in the x87 80-bit
// extended format (long double with g++ on x86-64); values kept between steps
// are doubles. Several results depend on both: a product that lands just
// below an integer truncates one lower.
//
// Texts: state fields and edits hold decimal text. Integers are written in
// plain decimal; reals in the shortest general form with up to 15 significant
// digits, unless a command gives a pattern: "%2.1lf%" (zoom), "0.00", ".00".
#pragma once

#include <limits>
#include <string>

namespace qirm {

using Extended = long double;

// Truncation toward zero, the only real-to-integer conversion the program uses.
// Values beyond int saturate and NaN gives 0, so no input (an extreme zoom,
// an overflowed product) can make the conversion undefined.
inline int Trunc(Extended v) {
  if (v > -2147483649.0L && v < 2147483648.0L) return static_cast<int>(v);
  if (v != v) return 0;
  return v < 0 ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
}
// The same for conversions to long long.
inline long long TruncLong(Extended v) {
  if (v > -9223372036854775808.0L && v < 9223372036854775808.0L) return static_cast<long long>(v);
  if (v != v) return 0;
  return v < 0 ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
}

// General real-to-text: 15 significant digits, trailing zeros dropped; fixed
// notation for 1e-5 <= |v| < 1e15, otherwise mantissa "E" exponent ("1E-6",
// "1.5E20"). Examples: 1 -> "1", 1.1 -> "1.1", 1499.75 -> "1499.75".
std::string FormatGeneral(double v);
// printf "%2.1lf" followed by "%": 100 -> "100.0%".
std::string FormatPercent(double v);
// Pattern "0.00": two decimals, at least one integer digit: 1 -> "1.00".
std::string FormatFixed2(double v);
// Pattern ".00": two decimals, no integer digit when it would be 0:
// 1 -> "1.00", 0.05 -> ".05".
std::string FormatDot2(double v);
// Plain decimal.
std::string FormatInt(long long v);

// Text to number as the edits parse them: blanks around the number are
// allowed, nothing else. False when the text is not a number (the caller then
// reports ConversionError()).
bool ParseInt(const std::string& text, int& out);
bool ParseReal(const std::string& text, double& out);
// The standard conversion error text, naming the offending text:
// "'abc' is not a valid integer value" / "... floating point value".
std::string IntConversionError(const std::string& text);
std::string RealConversionError(const std::string& text);

}  // namespace qirm
