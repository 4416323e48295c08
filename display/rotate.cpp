// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/rotate.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <type_traits>

#include "core/cpu_dispatch.h"
#include "core/numbers.h"
#include "core/parallel.h"

namespace qirm {
namespace {

constexpr double kAngle = 0.1;  // radian

// Source samples of kChannels interleaved values of type T, rows of
// stride elements.
template <class T, int kChannels>
struct Samples {
  const T* data;
  std::size_t stride;
  const T* At(int x, int y) const { return data + static_cast<std::size_t>(y) * stride + kChannels * x; }
};

// One result row y (1 <= y <= H - 2), columns 1 .. W - 2. Inlined into
// the two entry points below, which differ only in the instructions the
// compiler may use.
template <class T, int kChannels>
[[gnu::always_inline]] inline void RotateRowBody(const Samples<T, kChannels>& src, T* out_row, int w, int h,
                                                 int y, const RotationGeometry& g) {
  const Extended c = g.c;
  const Extended s = g.s;
  for (int x = 1; x <= w - 2; ++x) {
    // Positions and fractions live between steps, so they are doubles.
    const double sx = static_cast<double>(c * x + s * y - g.x0);
    const double sy = static_cast<double>(-s * x + c * y - g.y0);
    const int xs = Trunc(sx);
    const int ys = Trunc(sy);
    if (xs < 1 || ys < 1 || xs >= w || ys >= h) continue;
    const double fx = sx - xs;
    const double fy = sy - ys;
    const Extended gx = 1 - static_cast<Extended>(fx);
    const Extended gy = 1 - static_cast<Extended>(fy);
    const Extended wa = gx * gy;
    const Extended wb = fx * gy;
    const Extended wc = gx * fy;
    const Extended wd = static_cast<Extended>(fx) * fy;
    const int right = xs + 1 < w ? 1 : 0;  // column W - 1 stands in for column W
    const T* above = src.At(xs, ys - 1);
    const T* here = src.At(xs, ys);
    T* out = out_row + kChannels * x;
    for (int k = 0; k < kChannels; ++k) {
      const Extended v =
          wa * above[k] + wb * above[kChannels * right + k] + wc * here[k] + wd * here[kChannels * right + k];
      if constexpr (std::is_floating_point_v<T>) {
        out[k] = static_cast<T>(v);  // values, not samples: nothing to truncate
      } else {
        // The weights add up to 1 within rounding; keep the sample range.
        out[k] = static_cast<T>(std::clamp(Trunc(v), 0, static_cast<int>(static_cast<T>(~T{0}))));
      }
    }
  }
}

template <class T, int kChannels>
void RotateRowPlain(const Samples<T, kChannels>& src, T* out_row, int w, int h, int y,
                    const RotationGeometry& g) {
  RotateRowBody(src, out_row, w, h, y, g);
}

#if defined(__x86_64__) && defined(__GNUC__)
// With SSE3 the truncation of an extended value is one instruction (fisttp)
// instead of two changes of the x87 rounding mode; same results, about twice
// as fast.
template <class T, int kChannels>
__attribute__((target("sse3"))) void RotateRowSse3(const Samples<T, kChannels>& src, T* out_row, int w, int h,
                                                   int y, const RotationGeometry& g) {
  RotateRowBody(src, out_row, w, h, y, g);
}
#endif

template <class T, int kChannels>
using RowFunction = void (*)(const Samples<T, kChannels>&, T*, int, int, int, const RotationGeometry&);

// The row function for the instructions kernels may use now.
template <class T, int kChannels>
RowFunction<T, kChannels> RotateRowFor(CpuLevel level) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (level >= CpuLevel::kSse3) return RotateRowSse3<T, kChannels>;
#else
  (void)level;
#endif
  return RotateRowPlain<T, kChannels>;
}

// Rows 1 .. H - 2 on every core: rows are handed out one at a time, and the
// calling thread, which also computes rows, reports the progress.
template <class T, int kChannels>
void RotateRows(const Samples<T, kChannels>& src, T* out, std::size_t out_stride, int w, int h,
                const Progress& progress) {
  if (w < 3 || h < 3) return;
  const RotationGeometry g = RotationFor(w, h);
  const RowFunction<T, kChannels> rotate_row = RotateRowFor<T, kChannels>(ActiveCpuLevel());
  const int rows = h - 2;
  std::atomic<int> next{1};
  std::atomic<int> done{0};
  // Only the calling thread reports, starting with 0 before any row is done.
  int shown = 0;
  if (progress) progress(0);
  auto work = [&](bool report) {
    for (;;) {
      const int y = next.fetch_add(1, std::memory_order_relaxed);
      if (y > h - 2) break;
      if (report && progress) {
        const int percent = static_cast<int>(100LL * done.load(std::memory_order_relaxed) / rows);
        if (percent != shown) progress(shown = percent);
      }
      rotate_row(src, out + static_cast<std::size_t>(y) * out_stride, w, h, y, g);
      done.fetch_add(1, std::memory_order_relaxed);
    }
  };
  // A part whose thread could not start runs on the calling thread, which
  // then reports for it too.
  const std::thread::id caller = std::this_thread::get_id();
  RunInParts(PartCount(static_cast<long long>(w) * h, rows),
             [&](int) { work(std::this_thread::get_id() == caller); });
}

}  // namespace

RotationGeometry RotationFor(int width, int height) {
  RotationGeometry g;
  g.c = std::cos(kAngle);
  g.s = std::sin(kAngle);
  const int half_w = width / 2;
  const int half_h = height / 2;
  const Extended c = g.c;
  const Extended s = g.s;
  g.x0 = Trunc(s * half_h + c * half_w - half_w);
  g.y0 = Trunc(c * half_h - s * half_w - half_h);
  return g;
}

Picture RotatePicture(const Picture& source, const Progress& progress) {
  Picture out;
  RotateInto(source, out, progress);
  return out;
}

void RotateInto(const Picture& source, Picture& out, const Progress& progress) {
  const int w = source.width();
  const int h = source.height();
  if (out.width() == w && out.height() == h) {
    // Reused storage: white again, since pixels not computed stay white.
    ParallelFor(h, static_cast<long long>(w) * h, [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) std::fill(out.Row(y), out.Row(y) + out.stride(), std::uint8_t{255});
    });
  } else {
    out = Picture(w, h);
  }
  if (source.empty()) return;
  const Samples<std::uint8_t, 3> src{source.Row(0), source.stride()};
  RotateRows(src, out.Row(0), out.stride(), w, h, progress);
}

std::vector<std::uint16_t> RotateRawValues(const std::vector<std::uint16_t>& raw, int width, int height,
                                           std::uint16_t fill, const Progress& progress) {
  std::vector<std::uint16_t> out(raw.size(), fill);
  if (width <= 0 || height <= 0 || raw.size() < static_cast<std::size_t>(width) * height) return out;
  const Samples<std::uint16_t, 1> src{raw.data(), static_cast<std::size_t>(width)};
  RotateRows(src, out.data(), static_cast<std::size_t>(width), width, height, progress);
  return out;
}

FloatPlane RotateFloatValues(const FloatPlane& plane, const Progress& progress) {
  FloatPlane out(plane.width, plane.height);
  std::fill(out.values.begin(), out.values.end(), std::numeric_limits<float>::quiet_NaN());
  if (plane.empty() || plane.values.size() < plane.pixels()) return out;
  const Samples<float, 1> src{plane.values.data(), static_cast<std::size_t>(plane.width)};
  RotateRows(src, out.values.data(), static_cast<std::size_t>(plane.width), plane.width, plane.height,
             progress);
  return out;
}

}  // namespace qirm
