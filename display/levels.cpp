#include "display/levels.h"

#include <algorithm>
#include <cmath>

#include "core/numbers.h"

namespace qirm {

namespace {

// The sampling of InitialLevels over any store of raw values.
template <typename Value>
InitialLevelsResult SampleLevels(int width, int height, Value value) {
  InitialLevelsResult r;
  long long sum = 0;
  int smallest = 65536;
  auto sample = [&](int start, int step, int x_end, int y_end) {
    for (int x = start; x < x_end; x += step) {
      for (int y = start; y < y_end; y += step) {
        const int v = value(x, y);
        sum += v;
        ++r.samples;
        if (v < smallest) smallest = v;
      }
    }
  };
  sample(10, 4, width - 10, height - 10);
  if (r.samples == 0) sample(0, 1, width, height);
  if (r.samples == 0) return r;  // no pixels at all: levels 0..0

  // Sum / count in extended precision, kept as a double like every value
  // that lives between steps.
  r.mean = static_cast<double>(static_cast<Extended>(sum) / r.samples);
  r.min = smallest;
  r.max = Trunc((static_cast<Extended>(r.mean) - smallest) * 2 + smallest);
  return r;
}

}  // namespace

InitialLevelsResult InitialLevels(const IntMatrix& raw, int width, int height) {
  return SampleLevels(width, height, [&raw](int x, int y) { return raw[x][y]; });
}

InitialLevelsResult InitialLevels(const Picture& high, const Picture& low) {
  const int width = std::min(high.width(), low.width());
  const int height = std::min(high.height(), low.height());
  return SampleLevels(width, height, [&](int x, int y) { return RawValue(high, low, x, y); });
}

std::array<std::uint8_t, 65536> LevelTable(int max, int min) {
  // 1/255 is folded as an extended constant; the product is stored as a
  // double. Spans such as 33 and 35 then map max to 254, not 255.
  const int span = max == min ? 1 : max - min;
  const double scale = static_cast<double>(span * (1.0L / 255.0L));
  std::array<std::uint8_t, 65536> table{};
  for (int v = 0; v < 65536; ++v) {
    const Extended q = static_cast<Extended>(v - min) / scale;
    // Clamp in the real domain first: a trunc of a huge quotient would
    // overflow int.
    int g;
    if (q >= 256)
      g = 255;
    else if (q <= -1)
      g = 0;
    else
      g = std::clamp(Trunc(q), 0, 255);
    table[v] = static_cast<std::uint8_t>(g);
  }
  return table;
}

Picture RenderRawLevels(const IntMatrix& raw, int width, int height, int max, int min) {
  const auto table = LevelTable(max, min);
  Picture out(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = out.Row(y);
    for (int x = 0; x < width; ++x) {
      const std::uint8_t g = table[static_cast<std::uint16_t>(raw[x][y])];
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g;
    }
  }
  return out;
}

Picture RenderLevels(const Picture& high, const Picture& low, int max, int min) {
  const auto table = LevelTable(max, min);
  const int width = std::min(high.width(), low.width());
  const int height = std::min(high.height(), low.height());
  Picture out(low.width(), low.height());
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* hi = high.Row(y);
    const std::uint8_t* lo = low.Row(y);
    std::uint8_t* row = out.Row(y);
    for (int x = 0; x < width; ++x) {
      const std::uint8_t g = table[256 * hi[3 * x + 2] + lo[3 * x + 2]];
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g;
    }
  }
  return out;
}

void SplitRawPlanes(const IntMatrix& raw, int width, int height, Picture& high, Picture& low) {
  high.Resize(width, height);
  low.Resize(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* hi = high.Row(y);
    std::uint8_t* lo = low.Row(y);
    for (int x = 0; x < width; ++x) {
      const int v = raw[x][y];
      hi[3 * x] = hi[3 * x + 1] = 0;
      lo[3 * x] = lo[3 * x + 1] = 0;
      hi[3 * x + 2] = static_cast<std::uint8_t>(v / 256);
      lo[3 * x + 2] = static_cast<std::uint8_t>(v % 256);
    }
  }
}

Picture RenderContrast(const Picture& base, double gain) {
  std::uint8_t table[256];
  for (int c = 0; c < 256; ++c) {
    const Extended product = static_cast<Extended>(c) * gain;
    table[c] = product >= 255 ? 255 : static_cast<std::uint8_t>(std::max(Trunc(product), 0));
  }
  Picture out(base.width(), base.height());
  const std::size_t bytes = base.stride();
  for (int y = 0; y < base.height(); ++y) {
    const std::uint8_t* in = base.Row(y);
    std::uint8_t* row = out.Row(y);
    for (std::size_t i = 0; i < bytes; ++i) row[i] = table[in[i]];
  }
  return out;
}

int ScaledMaxLevel(int max, int min, double factor) {
  return Trunc(static_cast<Extended>(max - min) * factor + min);
}

bool ZoomStep(double& z, ZoomDirection direction) {
  if (direction == ZoomDirection::In) {
    if (z >= 16) return false;
    z *= 2;
  } else {
    if (!(z > 0.0625)) return false;
    z /= 2;
  }
  return true;
}

double NearestZoom(double z) {
  const double rounded = std::exp2(std::round(std::log2(z)));
  return std::clamp(rounded, kMinZoom, kMaxZoom);
}

bool ParseZoomText(const std::string& text, double& z) {
  std::string number = text;
  while (!number.empty() && (number.back() == ' ' || number.back() == '%')) number.pop_back();
  while (!number.empty() && number.front() == ' ') number.erase(number.begin());
  double percent = 0;
  if (!ParseReal(number, percent) || !(percent > 0) || !std::isfinite(percent)) return false;
  z = NearestZoom(percent / 100);
  return true;
}

double FitZoom(int w, int h, int view_w, int view_h) {
  for (double z = kMaxZoom; z > kMinZoom; z /= 2) {
    if (w * z <= view_w && h * z <= view_h) return z;
  }
  return kMinZoom;
}

}  // namespace qirm
