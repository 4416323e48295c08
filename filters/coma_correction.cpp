// SPDX-License-Identifier: GPL-3.0-or-later
// Coma correction: each pixel against the mean of the picture along the
// inward radius (the model is described in the header).
#include "filters/coma_correction.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/parallel.h"

namespace qirm {
namespace {

constexpr int kMaxSamples = 16;

// One axis of a bilinear sample at offset o from pixel p: the two pixels
// and their weights, formed from |o| so that -o gives the mirror image.
struct AxisTaps {
  int near;
  int far;
  double w_near;
  double w_far;
};

inline AxisTaps Axis(int p, double o, int size) {
  const double m = std::fabs(o);
  const double k = std::floor(m);
  const double f = m - k;
  const int step = o < 0 ? -1 : 1;
  // Far offsets (and the NaN of an overflowed one) all land on the border.
  const long long k_int = k < 1e9 ? static_cast<long long>(k) : 1000000000LL;
  const auto place = [&](long long q) { return static_cast<int>(std::clamp<long long>(q, 0, size - 1)); };
  return {place(p + step * k_int), place(p + step * (k_int + 1)), 1 - f, f};
}

void CorrectRows(const Picture& src, const ComaParams& params, Picture& dst, int y0, int y1) {
  const int w = src.width();
  const int h = src.height();
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* in = src.Row(y);
    std::uint8_t* out = dst.Row(y);
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* c = in + 3 * static_cast<std::size_t>(x);
      std::uint8_t* o = out + 3 * static_cast<std::size_t>(x);
      const double dx = static_cast<double>(x) - params.x;
      const double dy = static_cast<double>(y) - params.y;
      const double rho = std::sqrt(dx * dx + dy * dy);
      const double tail = params.amount * rho / 100;
      if (rho == 0 || tail == 0) {
        o[0] = c[0], o[1] = c[1], o[2] = c[2];
        continue;
      }
      const int n = static_cast<int>(std::min<double>(kMaxSamples, std::ceil(std::fabs(tail))));
      const double ux = dx / rho;
      const double uy = dy / rho;
      double sum[3] = {0, 0, 0};
      for (int k = 1; k <= n; ++k) {
        const double t = tail * k / n;
        const AxisTaps ax = Axis(x, -(t * ux), w);
        const AxisTaps ay = Axis(y, -(t * uy), h);
        const std::uint8_t* r0 = src.Row(ay.near);
        const std::uint8_t* r1 = src.Row(ay.far);
        for (int ch = 0; ch < 3; ++ch) {
          const int centre = c[ch];
          const double top =
              ax.w_near * (r0[3 * ax.near + ch] - centre) + ax.w_far * (r0[3 * ax.far + ch] - centre);
          const double bottom =
              ax.w_near * (r1[3 * ax.near + ch] - centre) + ax.w_far * (r1[3 * ax.far + ch] - centre);
          sum[ch] += ay.w_near * top + ay.w_far * bottom;
        }
      }
      for (int ch = 0; ch < 3; ++ch) {
        const double v = c[ch] + std::floor(-sum[ch] / n / 2 + 0.5);
        o[ch] = static_cast<std::uint8_t>(!(v > 0) ? 0 : v > 255 ? 255 : v);
      }
    }
  }
}

}  // namespace

bool ComaCorrectInto(const Picture& source, const ComaParams& params, Picture& dst) {
  if (&source == &dst || source.width() != dst.width() || source.height() != dst.height()) return false;
  if (!std::isfinite(params.amount)) return false;
  const int h = source.height();
  if (source.empty()) return true;
  if (params.amount == 0) {
    dst.Draw(source);
    return true;
  }
  ParallelFor(h, static_cast<long long>(source.width()) * h, [&](long long y0, long long y1) {
    CorrectRows(source, params, dst, static_cast<int>(y0), static_cast<int>(y1));
  });
  return true;
}

Picture ComaCorrect(const Picture& source, const ComaParams& params) {
  Picture result(source.width(), source.height());
  ComaCorrectInto(source, params, result);
  return result;
}

}  // namespace qirm
