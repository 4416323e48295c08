// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/fits_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/file_write.h"
#include "core/fits_keywords.h"

namespace qirm {
namespace {

constexpr std::size_t kCard = 80;
constexpr std::size_t kBlock = 2880;

std::string Card(std::string text) {
  text.resize(kCard, ' ');
  return text;
}

// "KEYWORD = " and the value right-justified to column 30.
std::string ValueCard(const std::string& key, const std::string& value, const std::string& comment = "") {
  std::string text = key;
  text.resize(8, ' ');
  text += "= ";
  if (value.size() < 20) text += std::string(20 - value.size(), ' ');
  text += value;
  if (!comment.empty()) text += " / " + comment;
  return Card(text);
}

std::string IntValue(long long v) { return std::to_string(v); }

std::string Keyword(const std::string& card) {
  std::string key = card.substr(0, std::min<std::size_t>(8, card.size()));
  while (!key.empty() && key.back() == ' ') key.pop_back();
  return key;
}

bool WriterOwned(const std::string& key) {
  static const char* const kOwned[] = {"SIMPLE", "BITPIX",  "NAXIS",    "EXTEND",   "BZERO",  "BSCALE",
                                       "BLANK",  "DATE",    "END",      "XTENSION", "GROUPS", "PCOUNT",
                                       "GCOUNT", "INHERIT", "CHECKSUM", "DATASUM"};
  for (const char* k : kOwned)
    if (key == k) return true;
  // NAXIS1, NAXIS2, ...
  return key.size() > 5 && key.compare(0, 5, "NAXIS") == 0 &&
         std::all_of(key.begin() + 5, key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Keywords hold upper-case letters, digits, '-' and '_', left-justified in
// columns 1..8 and padded with blanks.
bool LegalKeyword(const std::string& card) {
  std::size_t n = 0;
  while (n < 8 && card[n] != ' ') {
    const char c = card[n];
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_')) return false;
    ++n;
  }
  for (std::size_t i = n; i < 8; ++i)
    if (card[i] != ' ') return false;
  return true;
}

// What may follow a value: blanks, then nothing or a "/" comment.
bool RestIsComment(const std::string& card, std::size_t i) {
  while (i < kCard && card[i] == ' ') ++i;
  return i == kCard || card[i] == '/';
}

// The value of a "KEYWORD = " card: a quoted string (quotes inside doubled),
// T or F, a number, a complex number in parentheses, or nothing at all.
bool LegalValue(const std::string& card) {
  if (card.compare(8, 2, "= ") != 0 || card.compare(0, 8, "HIERARCH") == 0) return true;
  std::size_t i = 10;
  while (i < kCard && card[i] == ' ') ++i;
  if (i == kCard || card[i] == '/') return true;
  if (card[i] == '\'') {
    for (++i; i < kCard; ++i) {
      if (card[i] != '\'') continue;
      if (i + 1 < kCard && card[i + 1] == '\'') {
        ++i;
        continue;
      }
      return RestIsComment(card, i + 1);
    }
    return false;
  }
  if (card[i] == 'T' || card[i] == 'F') return RestIsComment(card, i + 1);
  if (card[i] == '(') {
    const std::size_t close = card.find(')', i);
    return close != std::string::npos && RestIsComment(card, close + 1);
  }
  double v = 0;
  return fits::CardNumber(card.c_str(), v);
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  return text;
}

void Printable(std::string& text) {
  for (char& c : text)
    if (c < 0x20 || c > 0x7E) c = '?';
}

// The whole header: the writer's cards, the kept ones, HISTORY, END, blank
// padding to a block.
// integer_data: the data are integers, so header.blank may be written.
std::string HeaderBytes(std::vector<std::string> structure, const FitsWriteHeader& header,
                        bool integer_data = false) {
  if (integer_data && header.blank) structure.push_back(ValueCard("BLANK", IntValue(*header.blank)));
  std::string bytes;
  for (const std::string& card : structure) bytes += card;
  bytes += ValueCard("DATE", "'" + (header.date.empty() ? UtcNow() : header.date) + "'",
                     "file creation date (UTC)");
  std::vector<std::string> history = header.history;
  std::string dropped;
  int dropped_count = 0;
  for (std::string card : header.cards) {
    card = Card(card);
    if (card.find_first_not_of(' ') == std::string::npos) continue;
    if (!LegalKeyword(card) || !LegalValue(card)) {
      std::string key = card.substr(0, 8);
      while (!key.empty() && key.back() == ' ') key.pop_back();
      Printable(key);
      dropped += (dropped_count++ ? ", " : "") + key;
      continue;
    }
    if (WriterOwned(Keyword(card))) continue;
    Printable(card);
    bytes += card;
  }
  if (dropped_count > 0) {
    history.push_back("QIRM dropped " + std::to_string(dropped_count) + " illegal card" +
                      (dropped_count > 1 ? "s" : "") + ": " + dropped);
  }
  for (const std::string& line : history) {
    std::string text = "HISTORY " + line.substr(0, 72);
    Printable(text);
    bytes += Card(text);
  }
  bytes += Card("END");
  bytes.resize((bytes.size() + kBlock - 1) / kBlock * kBlock, ' ');
  return bytes;
}

std::vector<std::string> Structure(int bitpix, const std::vector<long long>& axes) {
  std::vector<std::string> cards = {ValueCard("SIMPLE", "T", "conforms to FITS standard"),
                                    ValueCard("BITPIX", IntValue(bitpix)),
                                    ValueCard("NAXIS", IntValue(static_cast<long long>(axes.size())))};
  for (std::size_t i = 0; i < axes.size(); ++i)
    cards.push_back(ValueCard("NAXIS" + IntValue(i + 1), IntValue(axes[i])));
  return cards;
}

void PutBigEndian(std::uint8_t* out, std::uint32_t v, int size) {
  for (int i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * (size - 1 - i)));
}

// Header and data (zero-padded to a block) through the replacing write.
Status WriteHdu(const std::string& path, const std::string& header, std::vector<std::uint8_t>& data) {
  data.resize((data.size() + kBlock - 1) / kBlock * kBlock, 0);
  return ReplaceFileWith(path, [&](int fd) {
    return WriteAll(fd, reinterpret_cast<const std::uint8_t*>(header.data()), header.size()) &&
           WriteAll(fd, data.data(), data.size());
  });
}

Status CheckSize(const std::string& path, int width, int height, std::size_t values) {
  if (width <= 0 || height <= 0) return Status::Error(path + ": cannot write an empty image as FITS");
  if (values != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    return Status::Error(path + ": " + std::to_string(values) + " values for a " + std::to_string(width) +
                         " x " + std::to_string(height) + " image");
  }
  return Status::Ok();
}

}  // namespace

std::string FitsRealValue(double v) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, v);
  std::string s(text, r.ptr);
  for (char& c : s)
    if (c == 'e') c = 'E';
  return s;
}

FitsEncoding ChooseFitsEncoding(const std::vector<double>& values, double bzero, double bscale) {
  bool scaled = bscale != 0 && std::isfinite(bscale) && std::isfinite(bzero);
  bool unsigned16 = true;
  for (double v : values) {
    if (scaled) {
      const double s = (v - bzero) / bscale;
      scaled = s >= -32768.5 && s <= 32767.5 && std::fabs(s - std::round(s)) <= 1e-6;
    }
    if (unsigned16) unsigned16 = v >= 0 && v <= 65535 && v == std::floor(v);
    if (!scaled && !unsigned16) break;
  }
  if (scaled) return FitsEncoding::kScaled16;
  return unsigned16 ? FitsEncoding::kUnsigned16 : FitsEncoding::kFloat32;
}

Status WriteFitsGrey(const std::string& path, int width, int height, const std::vector<double>& values,
                     double bzero, double bscale, const FitsWriteHeader& header) {
  if (Status s = CheckSize(path, width, height, values.size()); !s) return s;
  const FitsEncoding encoding = ChooseFitsEncoding(values, bzero, bscale);
  if (encoding == FitsEncoding::kUnsigned16) {
    bzero = 32768;
    bscale = 1;
  }
  const bool float32 = encoding == FitsEncoding::kFloat32;
  std::vector<std::string> structure = Structure(float32 ? -32 : 16, {width, height});
  if (!float32) {
    structure.push_back(ValueCard("BZERO", FitsRealValue(bzero), "physical = BZERO + BSCALE * stored"));
    structure.push_back(ValueCard("BSCALE", FitsRealValue(bscale)));
  }
  const int bytes_per_value = float32 ? 4 : 2;
  std::vector<std::uint8_t> data(values.size() * bytes_per_value);
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::uint32_t word = 0;
    if (float32) {
      const float f = static_cast<float>(values[i]);
      std::memcpy(&word, &f, 4);
    } else {
      const long long s = std::llround((values[i] - bzero) / bscale);
      word = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::clamp<long long>(s, -32768, 32767)));
    }
    PutBigEndian(data.data() + i * bytes_per_value, word, bytes_per_value);
  }
  return WriteHdu(path, HeaderBytes(structure, header, encoding == FitsEncoding::kScaled16), data);
}

Status WriteFitsRaw16(const std::string& path, const RawPlane& raw, double bzero, double bscale,
                      const FitsWriteHeader& header) {
  if (Status s = CheckSize(path, raw.width, raw.height, raw.values.size()); !s) return s;
  if (!(std::isfinite(bzero) && std::isfinite(bscale) && bscale != 0))
    return Status::Error(path + ": no usable BZERO and BSCALE to write the values under");
  std::vector<std::string> structure = Structure(16, {raw.width, raw.height});
  structure.push_back(ValueCard("BZERO", FitsRealValue(bzero), "physical = BZERO + BSCALE * stored"));
  structure.push_back(ValueCard("BSCALE", FitsRealValue(bscale)));
  std::vector<std::uint8_t> data(raw.values.size() * 2);
  // stored = raw - 32768: the high byte's top bit flips.
  for (std::size_t i = 0; i < raw.values.size(); ++i)
    PutBigEndian(data.data() + 2 * i, raw.values[i] ^ 0x8000u, 2);
  return WriteHdu(path, HeaderBytes(structure, header, true), data);
}

Status WriteFitsFloat32(const std::string& path, const FloatPlane& plane, const FitsWriteHeader& header) {
  if (Status s = CheckSize(path, plane.width, plane.height, plane.values.size()); !s) return s;
  std::vector<std::uint8_t> data(plane.values.size() * 4);
  for (std::size_t i = 0; i < plane.values.size(); ++i) {
    std::uint32_t word = 0;
    std::memcpy(&word, &plane.values[i], 4);
    PutBigEndian(data.data() + 4 * i, word, 4);
  }
  return WriteHdu(path, HeaderBytes(Structure(-32, {plane.width, plane.height}), header), data);
}

Status WriteFitsColourCube(const std::string& path, const FloatPlane (&planes)[3], bool as16,
                           const FitsWriteHeader& header) {
  const int w = planes[0].width, h = planes[0].height;
  const std::size_t plane = planes[0].values.size();
  if (Status s = CheckSize(path, w, h, plane); !s) return s;
  for (const FloatPlane& p : planes)
    if (p.width != w || p.height != h || p.values.size() != plane)
      return Status::Error(path + ": the three planes of the cube differ in size");
  for (const FloatPlane& p : planes)
    for (float v : p.values)
      if (as16 && !(v >= 0 && v <= 65535 && v == std::floor(v))) as16 = false;
  const int bytes = as16 ? 2 : 4;
  std::vector<std::uint8_t> data(3 * plane * bytes);
  for (int p = 0; p < 3; ++p) {
    for (std::size_t i = 0; i < plane; ++i) {
      const float v = planes[p].values[i];
      std::uint32_t word = 0;
      if (as16) {
        word = static_cast<std::uint32_t>(v) ^ 0x8000u;  // stored = value - 32768
      } else {
        std::memcpy(&word, &v, 4);
      }
      PutBigEndian(data.data() + (p * plane + i) * bytes, word, bytes);
    }
  }
  std::vector<std::string> structure = Structure(as16 ? 16 : -32, {w, h, 3});
  if (as16) {
    structure.push_back(ValueCard("BZERO", "32768", "physical = BZERO + BSCALE * stored"));
    structure.push_back(ValueCard("BSCALE", "1"));
  }
  return WriteHdu(path, HeaderBytes(structure, header), data);
}

Status WriteFitsColour(const std::string& path, const Picture& picture, const FitsWriteHeader& header) {
  const int w = picture.width();
  const int h = picture.height();
  if (Status s = CheckSize(path, w, h, static_cast<std::size_t>(std::max(w, 0)) * std::max(h, 0)); !s)
    return s;
  const std::size_t plane = static_cast<std::size_t>(w) * h;
  std::vector<std::uint8_t> data(3 * plane);
  // Pixels are blue, green, red: plane p (red, green, blue) takes byte 2 - p.
  for (int p = 0; p < 3; ++p) {
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* row = picture.Row(y);
      std::uint8_t* out = data.data() + p * plane + static_cast<std::size_t>(y) * w;
      for (int x = 0; x < w; ++x) out[x] = row[3 * x + 2 - p];
    }
  }
  std::vector<std::string> structure = Structure(8, {w, h, 3});
  return WriteHdu(path, HeaderBytes(structure, header), data);
}

Status WriteFitsFloatCube(const std::string& path, int width, int height,
                          const std::vector<float> (&planes)[3], const FitsWriteHeader& header) {
  const std::size_t plane = static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0);
  if (Status s = CheckSize(path, width, height, plane); !s) return s;
  for (const std::vector<float>& p : planes) {
    if (p.size() != plane) return Status::Error(path + ": the three planes of the cube differ in size");
  }
  std::vector<std::uint8_t> data(3 * plane * 4);
  for (int p = 0; p < 3; ++p) {
    for (std::size_t i = 0; i < plane; ++i) {
      std::uint32_t word = 0;
      std::memcpy(&word, &planes[p][i], 4);
      PutBigEndian(data.data() + (p * plane + i) * 4, word, 4);
    }
  }
  std::vector<std::string> structure = Structure(-32, {width, height, 3});
  return WriteHdu(path, HeaderBytes(structure, header), data);
}

}  // namespace qirm
