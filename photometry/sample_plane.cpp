// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/sample_plane.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/file_bytes.h"
#include "core/fits_keywords.h"

namespace qirm {

Status SamplePlaneOf(const ImageDocument& doc, PhotometryChannel channel, SamplePlane& plane) {
  int x0 = 0, y0 = 0;
  const bool data = doc.kind == WindowKind::kRaw16 || HasFloatValues(doc);
  return SamplePlaneOf(doc, channel, 0, 0, data ? DataWidth(doc) : doc.Image.width(),
                       data ? DataHeight(doc) : doc.Image.height(), plane, x0, y0);
}

Status SamplePlaneOf(const ImageDocument& doc, PhotometryChannel channel, int x0, int y0, int w, int h,
                     SamplePlane& plane, int& origin_x, int& origin_y) {
  const bool raw16 = doc.kind == WindowKind::kRaw16;
  // Float and deep colour windows give their values (a colour one the
  // channel's); an undefined pixel is NaN and leaves NaN in what it touches.
  const bool real = HasFloatValues(doc);
  const int width = raw16 || real ? DataWidth(doc) : doc.Image.width();
  const int height = raw16 || real ? DataHeight(doc) : doc.Image.height();
  if (doc.kind == WindowKind::kNone || width <= 0 || height <= 0)
    return Status::Error("the window holds no picture");
  if (raw16 && doc.raw.values.size() != doc.raw.pixels())
    return Status::Error("the window's raw values do not fill its size");
  const int xa = std::max(0, x0), ya = std::max(0, y0);
  const int xb = static_cast<int>(std::min<long long>(width, static_cast<long long>(x0) + w));
  const int yb = static_cast<int>(std::min<long long>(height, static_cast<long long>(y0) + h));
  if (xa >= xb || ya >= yb) return Status::Error("the position lies outside the picture");
  // The rectangle comes from the user's numbers (a long trail, wide
  // annuli): one that the machine cannot hold is refused before it is
  // allocated. Small ones, a star's, are not worth reading the memory
  // figure for.
  constexpr std::int64_t kCheckedBytes = std::int64_t{1} << 20;
  const std::int64_t bytes = std::int64_t{xb - xa} * (yb - ya) * std::int64_t{sizeof(double)};
  if (bytes > kCheckedBytes) {
    if (std::string r = CheckMemoryFor(xb - xa, yb - ya, sizeof(double)); !r.empty()) return Status::Error(r);
  }
  origin_x = xa;
  origin_y = ya;
  plane.width = xb - xa;
  plane.height = yb - ya;
  plane.values.resize(static_cast<std::size_t>(plane.width) * static_cast<std::size_t>(plane.height));
  // Pictures keep blue, green, red.
  const int byte = channel == PhotometryChannel::kRed ? 2 : channel == PhotometryChannel::kGreen ? 1 : 0;
  double* out = plane.values.data();
  const int index = channel == PhotometryChannel::kRed ? 0 : channel == PhotometryChannel::kGreen ? 1 : 2;
  const FloatPlane* values = doc.kind == WindowKind::kDeepColour ? &doc.colour[index]
                             : doc.kind == WindowKind::kFloat    ? &doc.real
                                                                 : nullptr;
  for (int y = ya; y < yb; ++y) {
    if (values) {
      const float* row = values->Row(y);
      for (int x = xa; x < xb; ++x) *out++ = row[x];
    } else if (raw16) {
      const std::uint16_t* row = doc.raw.Row(y);
      for (int x = xa; x < xb; ++x) *out++ = doc.scaling.Physical(row[x]);
    } else {
      const std::uint8_t* row = doc.Image.Row(y);
      for (int x = xa; x < xb; ++x) *out++ = static_cast<double>(row[3 * x + byte]);
    }
  }
  return Status::Ok();
}

std::string HeaderString(const std::vector<std::string>& cards, const char* key) {
  const std::size_t n = std::strlen(key);
  for (const std::string& card : cards) {
    if (card.size() < 11 || card.compare(0, n, key) != 0) continue;
    if (card.find_first_not_of(' ', n) != 8 || card[8] != '=') continue;
    const std::size_t open = card.find('\'', 10);
    if (open == std::string::npos) return "";
    std::string text;
    for (std::size_t i = open + 1; i < card.size(); ++i) {
      if (card[i] != '\'') {
        text += card[i];
      } else if (i + 1 < card.size() && card[i + 1] == '\'') {
        text += '\'';  // a doubled quote
        ++i;
      } else {
        break;
      }
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  }
  return "";
}

namespace {

// The number of the first card named `key`, when it is one.
std::optional<double> CardValue(const std::vector<std::string>& cards, const char* key) {
  const std::size_t n = std::strlen(key);
  for (const std::string& card : cards) {
    if (card.size() < 10 || card.compare(0, n, key) != 0) continue;
    if (card.find_first_not_of(' ', n) != 8 || card[8] != '=') continue;
    double v = 0;
    std::string padded = card;
    padded.resize(fits::kCardBytes, ' ');
    if (!fits::CardNumber(padded.c_str(), v)) return std::nullopt;
    return v;
  }
  return std::nullopt;
}

}  // namespace

HeaderNoise NoiseFromHeader(const std::vector<std::string>& cards) {
  HeaderNoise noise;
  for (const char* key : {"GAIN", "EGAIN"}) {
    if (const auto v = CardValue(cards, key); v && *v > 0 && std::isfinite(*v)) {
      noise.gain = *v;
      break;
    }
  }
  for (const char* key : {"RDNOISE", "READNOIS"}) {
    if (const auto v = CardValue(cards, key); v && *v >= 0 && std::isfinite(*v)) {
      noise.read_noise = *v;
      break;
    }
  }
  return noise;
}

std::string ChannelName(const ImageDocument& doc, PhotometryChannel channel) {
  if (doc.kind == WindowKind::kRaw16 || doc.kind == WindowKind::kFloat) return "";
  return channel == PhotometryChannel::kRed ? "R" : channel == PhotometryChannel::kGreen ? "G" : "B";
}

}  // namespace qirm
