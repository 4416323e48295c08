// SPDX-License-Identifier: GPL-3.0-or-later
// Guide-miss canceller: the streak kernel, the Gaussian, and the two
// correlation steps on the three channels of a picture.
//
// The streamed version forms, for each output row, exactly the sums that
// Convolve and ConvolveBelow form for the elements of that row: the taps
// in kernel order, each kernel normalised as often as the literal sequence
// normalises it (once for red, twice for green, three times for blue, since
// one kernel matrix serves the three calls), the partial sums through
// CorrelateColumn. Rows of the picture are the "columns" of that routine,
// so nothing is transposed.
//
// Rows in flight: channel rows of the source (ring A), rows after the
// streak step (ring B). Output row y needs ring-B rows y - d .. y + d + 2,
// which need source rows y - 2d - 1 .. y + 2d + 3; every source row is read
// before the row it lies in is written, so the picture is rewritten in
// place. With several bands each band's neighbouring rows are copied first,
// since a band reads a few rows that its neighbours write.
#include "filters/guide_miss.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "core/numbers.h"
#include "core/parallel.h"
#include "filters/correlation_column.h"
#include "filters/primitives.h"

namespace qirm {
namespace {

constexpr int kChannels = 3;  // byte order in a pixel: blue, green, red
constexpr int kRed = 2, kGreen = 1, kBlue = 0;

Status CheckSettings(const GmcSettings& s, double blur) {
  if (s.flow < 0 || s.flow > kMaxGmcFlow) {
    return Status::Error("guide-miss canceller: flow " + std::to_string(s.flow) + " outside 0.." +
                         std::to_string(kMaxGmcFlow));
  }
  if (!(blur > 0) || !std::isfinite(blur)) {
    return Status::Error("guide-miss canceller: the blur amount is not a positive number");
  }
  return Status::Ok();
}

struct Tap {
  int dx;
  int dy;
  double w;
};

// The non-zero taps of a normalised kernel in kernel order.
std::vector<Tap> TapsOf(const RealMatrix& k, int size, int shift) {
  std::vector<Tap> taps;
  for (int a = 0; a < size; ++a)
    for (int b = 0; b < size; ++b)
      if (k[a][b] != 0.0) taps.push_back({a - size / 2 + shift, b - size / 2 + shift, k[a][b]});
  return taps;
}

// Normalises the kernel in place exactly as a Convolve call does (a call on
// an empty extent does nothing else) and returns its taps.
Status NormaliseOnce(RealMatrix& k, int size, int shift, std::vector<Tap>& taps) {
  IntMatrix none;
  if (Status s = Convolve(size, size, k, 0, 0, none); !s) return s;
  taps = TapsOf(k, size, shift);
  return Status::Ok();
}

// Taps of each channel for both steps, indexed by byte position.
struct ChannelTaps {
  std::vector<Tap> streak[kChannels];
  std::vector<Tap> gauss[kChannels];
};

Status BuildTaps(const GmcSettings& s, double blur, ChannelTaps& out) {
  const int size = 2 * s.flow + 3;
  RealMatrix k;
  if (Status st = StreakKernel(s.flow, s.direction, k); !st) return st;
  for (int ch : {kRed, kGreen, kBlue})
    if (Status st = NormaliseOnce(k, size, 0, out.streak[ch]); !st) return st;
  if (Status st = GaussianKernel(s.flow, blur, k); !st) return st;
  for (int ch : {kRed, kGreen, kBlue})
    if (Status st = NormaliseOnce(k, size, 1, out.gauss[ch]); !st) return st;
  return Status::Ok();
}

// Rows of int32 values, a ring of `count` rows per channel.
class Ring {
 public:
  Ring(int count, int width)
      : m_count(count), m_width(width), m_values(static_cast<std::size_t>(count) * width * kChannels) {}
  std::int32_t* Row(int channel, int y) {
    return m_values.data() +
           (static_cast<std::size_t>(channel) * m_count + static_cast<std::size_t>(y % m_count)) * m_width;
  }

 private:
  int m_count;
  int m_width;
  std::vector<std::int32_t> m_values;
};

// The source rows a band reads: its own rows [y0, y1) from the picture
// (each is read before it is written), the rows of its neighbours from
// copies taken before any band starts: `above` ends at row y0 - 1, `below`
// starts at row y1.
struct Source {
  const Picture* picture;
  int y0;
  int y1;
  const Picture* above;
  const Picture* below;
  const std::uint8_t* Row(int y) const {
    if (y < y0) return above->Row(y - (y0 - above->height()));
    if (y >= y1) return below->Row(y - y1);
    return picture->Row(y);
  }
};

class Band {
 public:
  Band(const ChannelTaps& taps, const GmcSettings& s, const Source& source, Picture& picture)
      : m_taps(taps),
        m_settings(s),
        m_source(source),
        m_picture(picture),
        m_w(picture.width()),
        m_h(picture.height()),
        m_a(2 * s.flow + 4, picture.width()),
        m_b(2 * s.flow + 4, picture.width()),
        m_scratch(static_cast<std::size_t>(picture.width())),
        m_out(static_cast<std::size_t>(picture.width())),
        m_fused(HaveFusedSums()) {
    m_column_taps.reserve(static_cast<std::size_t>(2 * s.flow + 3) * (2 * s.flow + 3));
  }

  void Run(int y0, int y1) {
    const int d = m_settings.flow;
    int next_source = std::max(0, y0 - 2 * d - 1);
    int next_streak = std::max(0, y0 - d);
    for (int y = y0; y < y1; ++y) {
      const int streak_needed = std::min(m_h - 1, y + d + 2);
      while (next_streak <= streak_needed) {
        const int source_needed = std::min(m_h - 1, next_streak + d + 1);
        while (next_source <= source_needed) Deinterleave(next_source++);
        StreakRow(next_streak++);
      }
      OutputRow(y);
    }
  }

 private:
  void Deinterleave(int y) {
    const std::uint8_t* p = m_source.Row(y);
    std::int32_t* rows[kChannels] = {m_a.Row(0, y), m_a.Row(1, y), m_a.Row(2, y)};
    for (int x = 0; x < m_w; ++x)
      for (int ch = 0; ch < kChannels; ++ch) rows[ch][x] = p[3 * x + ch];
  }

  // The row's sums for one channel from the rows of `ring`, into m_out.
  void Correlate(const std::vector<Tap>& taps, Ring& ring, int channel, int y) {
    m_column_taps.clear();
    for (const Tap& t : taps) {
      const int yy = y + t.dy;
      if (yy < 0 || yy >= m_h) continue;
      const int x0 = std::max(0, -t.dx);
      const int x1 = std::min(m_w, m_w - t.dx);
      if (x0 >= x1) continue;
      m_column_taps.push_back({ring.Row(channel, yy) + t.dx, t.w, x0, x1});
    }
    CorrelateColumn(m_column_taps, m_w, SourceRange::kSmallNonNeg, m_fused, m_scratch.data(), m_out.data());
  }

  void StreakRow(int y) {
    for (int ch = 0; ch < kChannels; ++ch) {
      Correlate(m_taps.streak[ch], m_a, ch, y);
      std::int32_t* b = m_b.Row(ch, y);
      for (int x = 0; x < m_w; ++x) b[x] = std::min(m_out[x], 255);
    }
  }

  void OutputRow(int y) {
    std::uint8_t* p = m_picture.Row(y);
    const int t = m_settings.threshold;
    for (int ch = 0; ch < kChannels; ++ch) {
      const std::int32_t* b = m_b.Row(ch, y);
      if (std::any_of(b, b + m_w, [t](std::int32_t v) { return v < t; })) {
        Correlate(m_taps.gauss[ch], m_b, ch, y);
        for (int x = 0; x < m_w; ++x)
          p[3 * x + ch] = static_cast<std::uint8_t>(b[x] >= t ? b[x] : std::min(m_out[x], 255));
      } else {
        for (int x = 0; x < m_w; ++x) p[3 * x + ch] = static_cast<std::uint8_t>(b[x]);
      }
    }
  }

  const ChannelTaps& m_taps;
  const GmcSettings& m_settings;
  Source m_source;
  Picture& m_picture;
  int m_w;
  int m_h;
  Ring m_a;
  Ring m_b;
  std::vector<double> m_scratch;
  std::vector<std::int32_t> m_out;
  bool m_fused;
  std::vector<ColumnTap> m_column_taps;
};

}  // namespace

Status StreakKernel(int flow, int direction, RealMatrix& kernel) {
  if (flow < 0 || flow > kMaxGmcFlow)
    return Status::Error("StreakKernel: flow " + std::to_string(flow) + " out of range");
  const int size = 2 * flow + 3;
  if (AllocRealMatrix(size, size, kernel)) return Status::Error("StreakKernel: no memory for the kernel");
  kernel[0][2 * flow] = -1.0;
  kernel[2 * flow + 2][2 * flow] = -1.0;
  kernel[2 * flow][2 * flow] = 3.0;
  return RotateMatrix(direction, size, size, kernel);
}

Status GaussianKernel(int flow, double blur, RealMatrix& kernel) {
  if (flow < 0 || flow > kMaxGmcFlow)
    return Status::Error("GaussianKernel: flow " + std::to_string(flow) + " out of range");
  const int size = 2 * flow + 3;
  if (kernel.count() < size || kernel.n() < size) {
    if (AllocRealMatrix(size, size, kernel)) return Status::Error("GaussianKernel: no memory for the kernel");
  }
  const Extended b = blur;
  // exp below -800 is 0 as a double (the smallest double is e^-744.4): such
  // weights, the far side of a long kernel, are written as 0 without the
  // exponential. Both terms are at least 0, so one beyond the bound is enough.
  constexpr Extended kZeroBeyond = 800;
  for (int i = 0; i < size; ++i) {
    const Extended di = static_cast<Extended>(i - 2 * flow) * (i - 2 * flow);
    const bool row_zero = di / b / b > kZeroBeyond;
    for (int j = 0; j < size; ++j) {
      const Extended dj = static_cast<Extended>(j - 2 * flow) * (j - 2 * flow);
      kernel[i][j] = row_zero || dj / b / b > kZeroBeyond
                         ? 0.0
                         : static_cast<double>(std::exp(-di / b / b - dj / b / b));
    }
  }
  return Status::Ok();
}

Status GuideMissCancelPlain(Picture& picture, const GmcSettings& settings, double blur) {
  if (Status s = CheckSettings(settings, blur); !s) return s;
  const int w = picture.width(), h = picture.height();
  if (picture.empty()) return Status::Ok();
  IntMatrix red, green, blue;
  if (AllocIntMatrix(w, h, red) || AllocIntMatrix(w, h, green) || AllocIntMatrix(w, h, blue)) {
    return Status::Error("guide-miss canceller: no memory for the channel matrices");
  }
  const int size = 2 * settings.flow + 3;
  RealMatrix kernel;
  if (Status s = StreakKernel(settings.flow, settings.direction, kernel); !s) return s;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = picture.Color(x, y);
      blue[x][y] = static_cast<std::int32_t>(c / 65536);
      green[x][y] = static_cast<std::int32_t>((c - (c / 65536) * 65536) / 256);
      red[x][y] = static_cast<std::int32_t>(c % 256);
    }
  }
  for (IntMatrix* m : {&red, &green, &blue})
    if (Status s = Convolve(size, size, kernel, w, h, *m); !s) return s;
  for (IntMatrix* m : {&red, &green, &blue}) ClipMatrix(0, 255, w, h, *m);
  if (Status s = GaussianKernel(settings.flow, blur, kernel); !s) return s;
  for (IntMatrix* m : {&red, &green, &blue})
    if (Status s = ConvolveBelow(settings.threshold, size, size, kernel, w, h, *m); !s) return s;
  for (IntMatrix* m : {&red, &green, &blue}) ClipMatrix(0, 255, w, h, *m);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      picture.SetColor(x, y, static_cast<std::uint32_t>(blue[x][y]) * 65536 + green[x][y] * 256 + red[x][y]);
  return Status::Ok();
}

Status GuideMissCancel(Picture& picture, const GmcSettings& settings, double blur) {
  if (Status s = CheckSettings(settings, blur); !s) return s;
  if (picture.empty()) return Status::Ok();
  const int h = picture.height();
  const int d = settings.flow;
  // Long kernels on short pictures: the rings would outgrow whole matrices.
  if (4LL * (2 * d + 4) > h) return GuideMissCancelPlain(picture, settings, blur);
  try {
    ChannelTaps taps;
    if (Status s = BuildTaps(settings, blur, taps); !s) return s;
    // A band reads rows 2d + 1 above and 2d + 3 below its own; bands of at
    // least twice the rings' rows keep that overhead small.
    const int parts =
        PartCount(static_cast<long long>(picture.width()) * h, std::max(1, h / (2 * (2 * d + 4))));
    std::vector<Picture> saved;
    std::vector<Band> bands;
    saved.reserve(2 * static_cast<std::size_t>(parts));
    bands.reserve(static_cast<std::size_t>(parts));
    auto copy_rows = [&](int from, int to) -> const Picture* {
      Picture& rows = saved.emplace_back(picture.width(), to - from);
      for (int y = from; y < to; ++y)
        std::copy(picture.Row(y), picture.Row(y) + picture.stride(), rows.Row(y - from));
      return &rows;
    };
    for (int part = 0; part < parts; ++part) {
      const int y0 = static_cast<int>(PartStart(h, part, parts));
      const int y1 = static_cast<int>(PartStart(h, part + 1, parts));
      const Picture* above = copy_rows(std::max(0, y0 - 2 * d - 1), y0);
      const Picture* below = copy_rows(y1, std::min(h, y1 + 2 * d + 4));
      bands.emplace_back(taps, settings, Source{&picture, y0, y1, above, below}, picture);
    }
    ForEachPart(h, parts, [&bands](int part, long long y0, long long y1) {
      bands[static_cast<std::size_t>(part)].Run(static_cast<int>(y0), static_cast<int>(y1));
    });
  } catch (const std::bad_alloc&) {
    return Status::Error("guide-miss canceller: no memory for the working rows");
  }
  return Status::Ok();
}

}  // namespace qirm
