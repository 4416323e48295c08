// SPDX-License-Identifier: GPL-3.0-or-later
// Header cards of a FITS file read two ways: the fixed columns that the
// BITPIX 16 reader has always used, and the standard free-format parse used
// to choose the image and to read every other pixel type.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qirm::fits {

constexpr int kCardBytes = 80;
constexpr int kBlockCards = 36;
constexpr long long kBlockBytes = 2880;

// True when the card is the END card: "END" and 77 blanks. ENDTIME,
// END_RA and the like are ordinary keywords, not the end of the header.
bool IsEndCard(const char* card);

// Fixed-column value of a card: columns first..last (1-based), the leftmost
// weighing 10^(last-first); a decimal digit adds digit * weight, any other
// character 0. "   -32" in columns 27..30 gives 32.
int FixedColumns(const char* card, int first, int last);

// The value of a card read the standard way: the text of columns 11..80 up to
// a "/" as a real number ("512", "-32768.0", "1500.", "3.3E2", "1.0D0"),
// blanks around it allowed. Locale-independent. False when not a number.
bool CardNumber(const char* card, double& value);

// A numeric keyword as the standard parse finds it among a header's cards.
struct NumberKey {
  int count = 0;        // cards with this keyword
  bool number = false;  // the first such card holds a number
  double value = 0.0;   // that number
  // True when the first card holds an integer lo..hi; out gets it.
  bool Integer(long long lo, long long hi, long long& out) const;
};

// What the standard parse needs from one header (cards before END).
struct HduKeywords {
  NumberKey bitpix, naxis, pcount, gcount, bscale, bzero, blank;
  // NAXIS1..NAXIS999 by index (axes[0] is NAXIS1); sized to the highest met.
  std::vector<NumberKey> axes;
  bool has_xtension = false;
  std::string xtension;  // the quoted value, trailing blanks dropped
};

// Parses cards [0, n) of a header (n = index of its END card).
HduKeywords ParseKeywords(const char* cards, int n);

}  // namespace qirm::fits
