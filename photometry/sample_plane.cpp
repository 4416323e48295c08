#include "photometry/sample_plane.h"

#include <cmath>
#include <cstring>

#include "core/fits_keywords.h"

namespace qirm {

Status SamplePlaneOf(const ImageDocument& doc, PhotometryChannel channel, SamplePlane& plane) {
  const bool raw16 = doc.kind == WindowKind::kRaw16;
  const Picture& source = raw16 ? doc.ImageZm : doc.Image;
  if (doc.kind == WindowKind::kNone || source.empty()) return Status::Error("the window holds no picture");
  if (raw16 && (doc.ImageZm2.width() != source.width() || doc.ImageZm2.height() != source.height())) {
    return Status::Error("the window's two planes differ in size");
  }
  plane.width = source.width();
  plane.height = source.height();
  plane.values.resize(static_cast<std::size_t>(plane.width) * static_cast<std::size_t>(plane.height));
  // Pictures keep blue, green, red.
  const int byte = channel == PhotometryChannel::kRed ? 2 : channel == PhotometryChannel::kGreen ? 1 : 0;
  double* out = plane.values.data();
  for (int y = 0; y < plane.height; ++y) {
    for (int x = 0; x < plane.width; ++x) {
      // A 16-bit window keeps each raw value's high byte in ImageZm and its
      // low byte in ImageZm2, both in the red byte.
      *out++ = raw16 ? doc.scaling.Physical(256 * source.Row(y)[3 * x + 2] + doc.ImageZm2.Row(y)[3 * x + 2])
                     : static_cast<double>(source.Row(y)[3 * x + byte]);
    }
  }
  return Status::Ok();
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
  if (doc.kind == WindowKind::kRaw16) return "";
  return channel == PhotometryChannel::kRed ? "R" : channel == PhotometryChannel::kGreen ? "G" : "B";
}

}  // namespace qirm
