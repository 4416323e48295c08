// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/tones.h"

#include <algorithm>
#include <cmath>

#include "core/numbers.h"
#include "core/parallel.h"
#include "display/output_picture.h"

namespace qirm {

Picture ApplyToneTable(const Picture& source, const ToneTable& table) {
  Picture out;
  ApplyToneTable(source, table, out);
  return out;
}

void ApplyToneTable(const Picture& source, const ToneTable& table, Picture& out) {
  if (&out != &source) PrepareOutput(out, source.width(), source.height());
  const std::size_t bytes = source.stride();
  ParallelFor(source.height(), static_cast<long long>(source.width()) * source.height(), [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const std::uint8_t* in = source.Row(y);
      std::uint8_t* row = out.Row(y);
      for (std::size_t i = 0; i < bytes; ++i) row[i] = table[in[i]];
    }
  });
}

ToneTable NegativeTable() {
  ToneTable table;
  for (int c = 0; c < 256; ++c) table[c] = static_cast<std::uint8_t>(255 - c);
  return table;
}

Picture NegativePicture(const Picture& source) { return ApplyToneTable(source, NegativeTable()); }

ToneTable GammaTable(double gamma) {
  ToneTable table;
  for (int c = 0; c < 256; ++c) {
    if (!(gamma > 0)) {
      table[c] = static_cast<std::uint8_t>(c);
      continue;
    }
    // 1/255 is folded as an extended constant, as in the level mapping; the
    // product is kept as a double.
    const double x = static_cast<double>(c * (1.0L / 255.0L));
    const double p = std::pow(x, gamma);
    table[c] = static_cast<std::uint8_t>(std::clamp(Trunc(static_cast<Extended>(p) * 255), 0, 255));
  }
  return table;
}

Picture GammaPicture(const Picture& source, double gamma) {
  return ApplyToneTable(source, GammaTable(gamma));
}

ToneTable SabattierTable(double step) {
  ToneTable table;
  for (int c = 0; c < 256; ++c) {
    const double q = step > 0 ? static_cast<double>(static_cast<Extended>(c) * 256 / step) : 0;
    if (!(step > 0) || !std::isfinite(q)) {
      table[c] = static_cast<std::uint8_t>(c);
      continue;
    }
    table[c] = static_cast<std::uint8_t>(Trunc(std::fmod(q, 256.0)));
  }
  return table;
}

Picture SabattierPicture(const Picture& source, double step) {
  return ApplyToneTable(source, SabattierTable(step));
}

}  // namespace qirm
