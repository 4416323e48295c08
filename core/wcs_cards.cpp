// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/wcs_cards.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>

#include "core/fits_keywords.h"
#include "core/fits_writer.h"

namespace qirm {
namespace {

constexpr int kAlts = 27;  // the primary description and A..Z

std::string KeyOf(const std::string& card) {
  std::string key = card.substr(0, std::min<std::size_t>(8, card.size()));
  while (!key.empty() && key.back() == ' ') key.pop_back();
  return key;
}

bool HasValue(const std::string& card) { return card.size() >= 10 && card[8] == '=' && card[9] == ' '; }

bool NumberOf(const std::string& card, double& v) {
  if (!HasValue(card)) return false;
  std::string padded = card.substr(0, fits::kCardBytes);
  padded.resize(fits::kCardBytes, ' ');
  return fits::CardNumber(padded.c_str(), v) && std::isfinite(v);
}

// The quoted value of a card, trailing blanks dropped; "" when none.
std::string StringOf(const std::string& card) {
  if (!HasValue(card)) return "";
  const std::size_t open = card.find('\'', 10);
  if (open == std::string::npos) return "";
  const std::size_t close = card.find('\'', open + 1);
  std::string text = card.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

// Digits from `pos` as a number; pos moves past them. False when none.
bool Digits(const std::string& key, std::size_t& pos, int& value) {
  const std::size_t start = pos;
  value = 0;
  while (pos < key.size() && Digit(key[pos]) && pos - start < 4) value = value * 10 + (key[pos++] - '0');
  return pos > start;
}

// What follows the numbers: nothing (the primary description) or one
// letter A..Z (an alternate one).
bool AltAt(const std::string& key, std::size_t pos, int& alt) {
  if (pos == key.size()) {
    alt = 0;
    return true;
  }
  if (pos + 1 == key.size() && key[pos] >= 'A' && key[pos] <= 'Z') {
    alt = key[pos] - 'A' + 1;
    return true;
  }
  return false;
}

// PREFIXi[a]: CRPIX1, CDELT2A, ...
bool Indexed(const std::string& key, const char* prefix, int& i, int& alt) {
  if (!StartsWith(key, prefix)) return false;
  std::size_t pos = std::strlen(prefix);
  return Digits(key, pos, i) && AltAt(key, pos, alt);
}

// PREFIXi_j[a]: CD1_2, PC2_1B, PV2_1, ...
bool Matrix(const std::string& key, const char* prefix, int& i, int& j, int& alt) {
  if (!StartsWith(key, prefix)) return false;
  std::size_t pos = std::strlen(prefix);
  if (!Digits(key, pos, i) || pos >= key.size() || key[pos] != '_') return false;
  ++pos;
  return Digits(key, pos, j) && AltAt(key, pos, alt);
}

// PREFIX[a]: LONPOLE, LATPOLEA, ...
bool Plain(const std::string& key, const char* prefix, int& alt) {
  return StartsWith(key, prefix) && AltAt(key, std::strlen(prefix), alt);
}

bool DigitsOnlyAfter(const std::string& key, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  if (!StartsWith(key, prefix) || key.size() == n) return false;
  for (std::size_t k = n; k < key.size(); ++k)
    if (!Digit(key[k])) return false;
  return true;
}

// A card of a world coordinate description; alt gets which one (-1 for
// cards that belong to no single description).
bool WcsCard(const std::string& key, int& alt) {
  int i = 0, j = 0;
  alt = -1;
  for (const char* p : {"CTYPE", "CRPIX", "CRVAL", "CDELT", "CUNIT", "CROTA"})
    if (Indexed(key, p, i, alt)) return true;
  for (const char* p : {"CD", "PC", "PV", "PS"})
    if (Matrix(key, p, i, j, alt)) return true;
  for (const char* p : {"LONPOLE", "LATPOLE", "WCSAXES", "WCSNAME"})
    if (Plain(key, p, alt)) return true;
  alt = -1;
  return false;
}

// Cards that work on pixels before the linear step in ways not carried over
// here; the text names them in the HISTORY card.
const char* PixelDistortion(const std::string& key) {
  for (const char* p : {"A_", "B_", "AP_", "BP_"}) {
    int i = 0, j = 0, alt = 0;
    if (Matrix(key, p, i, j, alt) && alt == 0) return "SIP distortion";
    if (key == std::string(p) + "ORDER" || key == std::string(p) + "DMAX") return "SIP distortion";
  }
  if (StartsWith(key, "CPDIS") || StartsWith(key, "CQDIS") || StartsWith(key, "D2IM") ||
      DigitsOnlyAfter(key, "DP") || DigitsOnlyAfter(key, "DQ") || StartsWith(key, "CPERR") ||
      StartsWith(key, "CQERR"))
    return "distortion tables";
  if (StartsWith(key, "WAT") && key.size() > 3 && Digit(key[3])) return "WAT solution";
  if (DigitsOnlyAfter(key, "CD") || DigitsOnlyAfter(key, "PC") || DigitsOnlyAfter(key, "PROJP"))
    return "matrix in an old form";
  return nullptr;
}

const char* CtypeDistortion(const std::string& ctype) {
  if (ctype.find("-SIP") != std::string::npos) return "SIP distortion";
  if (ctype.find("-TAB") != std::string::npos) return "-TAB coordinates";
  if (ctype.find("TNX") != std::string::npos || ctype.find("ZPX") != std::string::npos) return "WAT solution";
  return nullptr;
}

// The cards of a DSS plate solution: a polynomial in plate millimetres
// from the scan's corner (CNPIX), which readers take before CD or CDELT.
// It cannot follow the pixels, and the linear cards beside it are only an
// approximation of it (0.2" off on a plate scan), so the whole WCS goes.
bool PlateCard(const std::string& key) {
  for (const char* p : {"AMDX", "AMDY", "AMDREX", "AMDREY", "PPO", "CNPIX"})
    if (DigitsOnlyAfter(key, p)) return true;
  for (const char* k : {"PLTRAH", "PLTRAM", "PLTRAS", "PLTDECSN", "PLTDECD", "PLTDECM", "PLTDECS", "PLTSCALE",
                        "XPIXELSZ", "YPIXELSZ"})
    if (key == k) return true;
  return false;
}

// The shortest text that reads back as v, written as a real (an integral
// value gains ".0").
std::string RealText(double v) {
  std::string s = FitsRealValue(v);
  if (s.find_first_of(".E") == std::string::npos) s += ".0";
  return s;
}

// The card with a new value, its keyword and comment kept.
std::string WithValue(const std::string& card, const std::string& value) {
  std::string text = card.substr(0, 10);
  if (value.size() < 20) text += std::string(20 - value.size(), ' ');
  text += value;
  const std::size_t slash = card.find('/', 10);
  if (slash != std::string::npos) {
    std::string comment = card.substr(slash);
    while (!comment.empty() && comment.back() == ' ') comment.pop_back();
    text += " " + comment;
  }
  text.resize(fits::kCardBytes, ' ');
  return text;
}

std::string NewCard(const std::string& key, double v) {
  std::string text = key;
  text.resize(8, ' ');
  text += "= ";
  return WithValue(text, RealText(v));
}

std::string HistoryCard(const std::string& text) {
  std::string card = "HISTORY " + text;
  card.resize(fits::kCardBytes, ' ');
  return card;
}

std::string AltSuffix(int alt) {
  return alt == 0 ? std::string() : std::string(1, static_cast<char>('A' + alt - 1));
}

// One description's linear cards: where they are and what they hold.
struct Linear {
  bool present = false;
  int last = -1;  // the index of its last card: new cards go after it
  int crpix[2] = {-1, -1};
  int cdelt[2] = {-1, -1};
  std::map<std::pair<int, int>, int> cd, pc;  // (i, j) to the card's index
};

// The new cards and the changes of the cards of one header.
struct Edit {
  std::vector<std::string>& cards;
  std::vector<bool> erase;
  std::multimap<int, std::string> insert;  // after the card of that index
  bool ok = true;
  bool finite = true;  // every new value is a number (a huge CRPIX may overflow)

  double Value(int index, double absent) {
    if (index < 0) return absent;
    double v = 0;
    if (!NumberOf(cards[index], v)) ok = false;
    return v;
  }
  // A card keeps its text where its value stays the same.
  void Set(int index, const std::string& key, double v, int after, bool keep_zero) {
    if (!std::isfinite(v)) {
      finite = false;
      return;
    }
    double old = 0;
    if (index >= 0 && !(NumberOf(cards[index], old) && old == v))
      cards[index] = WithValue(cards[index], RealText(v));
    else if (index < 0 && (v != 0 || keep_zero))
      insert.emplace(after, NewCard(key, v));
  }
};

// new = old * M for the columns 1 and 2 of a matrix (CD or PC); absent
// entries are 0, or 1 on the diagonal of PC.
void MapMatrix(Edit& edit, const std::map<std::pair<int, int>, int>& entries, const char* prefix, int alt,
               double diagonal, const double m[2][2], int after) {
  int rows = 2;
  for (const auto& [ij, index] : entries) rows = std::max(rows, ij.first);
  for (int i = 1; i <= rows; ++i) {
    auto at = [&](int j) {
      const auto it = entries.find({i, j});
      return it == entries.end() ? -1 : it->second;
    };
    const double a = edit.Value(at(1), i == 1 ? diagonal : 0);
    const double b = edit.Value(at(2), i == 2 ? diagonal : 0);
    for (int j = 1; j <= 2; ++j) {
      const double v = a * m[0][j - 1] + b * m[1][j - 1];
      const std::string key = prefix + std::to_string(i) + "_" + std::to_string(j) + AltSuffix(alt);
      edit.Set(at(j), key, v, after, i == j && diagonal != 0);
    }
  }
}

// Rewrites every description's linear cards; false where one cannot be
// carried over (then `why` says why).
bool MapLinear(std::vector<std::string>& cards, const PixelMap& map, const char*& why) {
  Linear linear[kAlts];
  std::map<int, int> crota;  // axis to the card's index (primary only)
  for (int k = 0; k < static_cast<int>(cards.size()); ++k) {
    const std::string key = KeyOf(cards[k]);
    int alt = -1, i = 0, j = 0;
    if (!WcsCard(key, alt) || alt < 0) continue;
    Linear& d = linear[alt];
    d.last = k;
    for (const char* p : {"CTYPE", "CRPIX", "CRVAL", "CDELT"})
      if (Indexed(key, p, i, alt)) d.present = true;
    if (Indexed(key, "CRPIX", i, alt) && (i == 1 || i == 2)) d.crpix[i - 1] = k;
    if (Indexed(key, "CDELT", i, alt) && (i == 1 || i == 2)) d.cdelt[i - 1] = k;
    if (Indexed(key, "CROTA", i, alt) && alt == 0) crota[i] = k;
    if (Matrix(key, "CD", i, j, alt)) {
      d.cd[{i, j}] = k;
      d.present = true;
    }
    if (Matrix(key, "PC", i, j, alt)) {
      d.pc[{i, j}] = k;
      d.present = true;
    }
  }
  const double(&m)[2][2] = map.m;
  const double det = m[0][0] * m[1][1] - m[0][1] * m[1][0];
  if (!(std::fabs(det) > 0)) {
    why = "singular pixel map";
    return false;
  }
  const bool diagonal = m[0][1] == 0 && m[1][0] == 0;
  // FITS pixels count from 1: old = M new + t in those terms.
  const double t[2] = {map.shift[0] + 1 - m[0][0] - m[0][1], map.shift[1] + 1 - m[1][0] - m[1][1]};
  Edit edit{cards, std::vector<bool>(cards.size(), false), {}};
  for (int alt = 0; alt < kAlts; ++alt) {
    Linear& d = linear[alt];
    if (!d.present) continue;
    const std::string suffix = AltSuffix(alt);
    const double r0 = edit.Value(d.crpix[0], 0) - t[0];
    const double r1 = edit.Value(d.crpix[1], 0) - t[1];
    edit.Set(d.crpix[0], "CRPIX1" + suffix, (m[1][1] * r0 - m[0][1] * r1) / det, d.last, true);
    edit.Set(d.crpix[1], "CRPIX2" + suffix, (-m[1][0] * r0 + m[0][0] * r1) / det, d.last, true);
    if (!d.cd.empty()) MapMatrix(edit, d.cd, "CD", alt, 0, m, d.last);
    if (!d.pc.empty()) MapMatrix(edit, d.pc, "PC", alt, 1, m, d.last);
    const std::map<int, int> no_crota;
    const std::map<int, int>& rotation = alt == 0 ? crota : no_crota;
    if (!d.pc.empty() || !d.cd.empty()) {
      // PC, and CD, stand before CROTA: a CROTA beside them says nothing to
      // a reader, and would contradict a matrix that is turned.
      if (!d.pc.empty() || !diagonal)
        for (const auto& [axis, index] : rotation) edit.erase[index] = true;
      // CDELT beside CD is ignored, and kept true all the same.
      if (d.pc.empty() && diagonal)
        for (int j = 0; j < 2; ++j)
          if (d.cdelt[j] >= 0) edit.Set(d.cdelt[j], "", edit.Value(d.cdelt[j], 1) * m[j][j], d.last, true);
    } else if (diagonal) {
      // CDELT alone or with CROTA: scaling a column is scaling its CDELT.
      for (int j = 0; j < 2; ++j)
        if (m[j][j] != 1)
          edit.Set(d.cdelt[j], "CDELT" + std::to_string(j + 1) + suffix, edit.Value(d.cdelt[j], 1) * m[j][j],
                   d.last, true);
    } else {
      // A turn of CDELT (and CROTA2): the matrix as PC cards beside CDELT.
      double rho = 0;
      for (const auto& [axis, index] : rotation) {
        const double v = edit.Value(index, 0);
        if (axis == 2) {
          rho = v;
        } else if (v != 0) {
          why = "CROTA on the first axis";
          return false;
        }
        edit.erase[index] = true;
      }
      const double c1 = edit.Value(d.cdelt[0], 1), c2 = edit.Value(d.cdelt[1], 1);
      if (c1 == 0 || c2 == 0) {
        why = "CDELT of 0";
        return false;
      }
      const double cs = std::cos(rho * M_PI / 180), sn = std::sin(rho * M_PI / 180);
      const double pc[2][2] = {{cs, -sn * c2 / c1}, {sn * c1 / c2, cs}};
      for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
          edit.Set(-1, "PC" + std::to_string(i + 1) + "_" + std::to_string(j + 1) + suffix,
                   pc[i][0] * m[0][j] + pc[i][1] * m[1][j], d.last, true);
    }
  }
  if (!edit.ok) {
    why = "non-numeric value";
    return false;
  }
  if (!edit.finite) {
    why = "an overflowing value";
    return false;
  }
  std::vector<std::string> out;
  out.reserve(cards.size() + edit.insert.size());
  for (int k = 0; k < static_cast<int>(cards.size()); ++k) {
    if (!edit.erase[k]) out.push_back(std::move(cards[k]));
    const auto [from, to] = edit.insert.equal_range(k);
    for (auto it = from; it != to; ++it) out.push_back(it->second);
  }
  cards = std::move(out);
  return true;
}

void SetAxis(std::vector<std::string>& cards, const char* key, int value) {
  for (std::string& card : cards)
    if (double old = 0; KeyOf(card) == key && HasValue(card) && !(NumberOf(card, old) && old == value))
      card = WithValue(card, std::to_string(value));
}

}  // namespace

PixelMap MirrorMap(int width) {
  PixelMap map;
  map.m[0][0] = -1;
  map.shift[0] = width - 1;
  return map;
}

PixelMap FlipMap(int height) {
  PixelMap map;
  map.m[1][1] = -1;
  map.shift[1] = height - 1;
  return map;
}

PixelMap ResampleMap(int old_w, int old_h, int new_w, int new_h) {
  PixelMap map;
  const double sx = static_cast<double>(old_w) / new_w, sy = static_cast<double>(old_h) / new_h;
  map.m[0][0] = sx;
  map.m[1][1] = sy;
  map.shift[0] = 0.5 * sx - 0.5;
  map.shift[1] = 0.5 * sy - 0.5;
  return map;
}

void MapWcsCards(std::vector<std::string>& cards, const PixelMap& map, int new_w, int new_h,
                 const std::string& command) {
  if (cards.empty()) return;
  SetAxis(cards, "NAXIS1", new_w);
  SetAxis(cards, "NAXIS2", new_h);
  bool wcs = false, plate = false;
  const char* why = nullptr;
  for (const std::string& card : cards) {
    const std::string key = KeyOf(card);
    int alt = 0, i = 0;
    if (WcsCard(key, alt)) wcs = true;
    if (PlateCard(key)) plate = true;
    if (const char* d = PixelDistortion(key); d && !why) why = d;
    if (Indexed(key, "CTYPE", i, alt))
      if (const char* d = CtypeDistortion(StringOf(card)); d && !why) why = d;
  }
  if (plate) why = "DSS plate solution";
  if (wcs && !why) MapLinear(cards, map, why);
  if (why) {
    std::vector<std::string> kept;
    for (std::string& card : cards) {
      const std::string key = KeyOf(card);
      int alt = 0;
      if (!WcsCard(key, alt) && !PixelDistortion(key) && !PlateCard(key)) kept.push_back(std::move(card));
    }
    cards = std::move(kept);
    cards.push_back(HistoryCard("QIRM " + command + ": WCS dropped (" + why + " cannot be mapped)"));
  }
}

}  // namespace qirm
