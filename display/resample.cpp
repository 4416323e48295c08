// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/resample.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>

#include "core/file_bytes.h"
#include "core/fits_reader.h"
#include "core/numbers.h"
#include "core/parallel.h"
#include "core/wcs_cards.h"
#include "display/float_levels.h"
#include "display/raw_values.h"
#include "document/kind_refusal.h"

namespace qirm {
namespace {

constexpr double kPi = 3.14159265358979323846;

// For every output index: the first source index and the weights of its
// `size` taps (zero past the taps it has).
struct Taps {
  int size = 1;
  std::vector<int> start;
  std::vector<float> weights;
};

double Sinc(double x) {
  if (x == 0.0) return 1.0;
  x *= kPi;
  return std::sin(x) / x;
}

double Kernel(ResampleMethod method, double x) {
  switch (method) {
    case ResampleMethod::kBilinear:
      x = std::fabs(x);
      return x < 1.0 ? 1.0 - x : 0.0;
    case ResampleMethod::kBicubic: {
      constexpr double a = -0.5;
      x = std::fabs(x);
      if (x < 1.0) return ((a + 2.0) * x - (a + 3.0)) * x * x + 1;
      if (x < 2.0) return (((x - 5) * x + 8) * x - 4) * a;
      return 0.0;
    }
    case ResampleMethod::kLanczos3:
      return -3.0 <= x && x < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0;
    default:
      return 0.0;
  }
}

double Support(ResampleMethod method) {
  return method == ResampleMethod::kBilinear ? 1.0 : method == ResampleMethod::kBicubic ? 2.0 : 3.0;
}

Taps MakeTaps(int in, int out, ResampleMethod method) {
  Taps taps;
  const double scale = static_cast<double>(in) / out;
  if (method == ResampleMethod::kNearest) {
    taps.size = 1;
    taps.start.resize(out);
    taps.weights.assign(out, 1.0f);
    for (int i = 0; i < out; ++i) taps.start[i] = std::min(in - 1, static_cast<int>((i + 0.5) * scale));
    return taps;
  }
  if (method == ResampleMethod::kArea) {
    taps.size = static_cast<int>(std::ceil(scale)) + 1;
    taps.start.resize(out);
    taps.weights.assign(static_cast<std::size_t>(out) * taps.size, 0.0f);
    for (int i = 0; i < out; ++i) {
      const double a = i * scale, b = std::min<double>(in, (i + 1) * scale);
      const int first = std::min(in - 1, static_cast<int>(std::floor(a)));
      taps.start[i] = first;
      for (int k = 0; k < taps.size && first + k < in; ++k) {
        const double overlap = std::min(b, first + k + 1.0) - std::max(a, static_cast<double>(first + k));
        if (overlap > 0)
          taps.weights[static_cast<std::size_t>(i) * taps.size + k] = static_cast<float>(overlap / (b - a));
      }
    }
    return taps;
  }
  // Shrinking widens the kernel by the ratio; growing keeps it.
  const double filter_scale = std::max(1.0, scale);
  const double support = Support(method) * filter_scale;
  taps.size = static_cast<int>(std::ceil(support)) * 2 + 1;
  taps.start.resize(out);
  taps.weights.assign(static_cast<std::size_t>(out) * taps.size, 0.0f);
  std::vector<double> w(taps.size);
  for (int i = 0; i < out; ++i) {
    const double centre = (i + 0.5) * scale;
    const int first = std::max(0, static_cast<int>(centre - support + 0.5));
    const int last = std::min(in, static_cast<int>(centre + support + 0.5));
    double sum = 0;
    const int count = std::min(taps.size, last - first);
    for (int k = 0; k < count; ++k) {
      w[k] = Kernel(method, (first + k - centre + 0.5) / filter_scale);
      sum += w[k];
    }
    taps.start[i] = first;
    // Taps outside the picture are gone: the rest are normalised to 1.
    for (int k = 0; k < count; ++k)
      taps.weights[static_cast<std::size_t>(i) * taps.size + k] =
          static_cast<float>(sum != 0 ? w[k] / sum : 0);
  }
  return taps;
}

}  // namespace

std::string ResampleMethodName(ResampleMethod method) {
  switch (method) {
    case ResampleMethod::kNearest:
      return "nearest";
    case ResampleMethod::kBilinear:
      return "bilinear";
    case ResampleMethod::kBicubic:
      return "bicubic";
    case ResampleMethod::kLanczos3:
      return "lanczos3";
    case ResampleMethod::kArea:
      return "area";
  }
  return "";
}

bool ParseResampleMethod(const std::string& name, ResampleMethod& method) {
  for (ResampleMethod m : {ResampleMethod::kNearest, ResampleMethod::kBilinear, ResampleMethod::kBicubic,
                           ResampleMethod::kLanczos3, ResampleMethod::kArea}) {
    if (name == ResampleMethodName(m)) {
      method = m;
      return true;
    }
  }
  return false;
}

bool ScaledSide(int side, double factor, int& out) {
  if (!(factor > 0) || !std::isfinite(factor)) return false;
  const double v = std::round(side * factor);
  if (v > kMaxResampleSide) return false;
  out = std::max(1, static_cast<int>(v));
  return true;
}

Status ParseResampleText(const std::string& text, int width, int height, ResampleParams& params) {
  std::string size = text;
  params.method = ResampleMethod::kLanczos3;
  if (const std::size_t comma = text.find(','); comma != std::string::npos) {
    size = text.substr(0, comma);
    if (!ParseResampleMethod(text.substr(comma + 1), params.method))
      return Status::Error(kResampleMethodRefused);
  }
  if (const std::size_t x = size.find('x'); x != std::string::npos) {
    int w = 0, h = 0;
    if (!ParseInt(size.substr(0, x), w) || !ParseInt(size.substr(x + 1), h) || w < 1 || h < 1 ||
        w > kMaxResampleSide || h > kMaxResampleSide)
      return Status::Error(kResampleSizeRefused);
    params.width = w;
    params.height = h;
    return Status::Ok();
  }
  double factor = 0;
  if (!ParseReal(size, factor) || !ScaledSide(width, factor, params.width) ||
      !ScaledSide(height, factor, params.height))
    return Status::Error(ResampleFactorRefusal(width, height));
  return Status::Ok();
}

double MaxResampleFactor(int width, int height) {
  const int side = std::max({width, height, 1});
  return std::floor(static_cast<double>(kMaxResampleSide) / side * 1000) / 1000;
}

std::string ResampleFactorRefusal(int width, int height) {
  return "倍率は 0 より大きく " + FormatGeneral(MaxResampleFactor(width, height)) +
         " 以下の数を入力してください（新しい大きさは " + std::to_string(kMaxResampleSide) + " まで）";
}

namespace {

// Interleaved channels (1 or 3) resampled together: each output row is made
// from the source rows its taps name, each of those resampled along the row
// once into a small ring of rows kept per thread (the rows a window of
// output rows needs are consecutive, so each source row is usually worked
// once), then summed down the column in vector loops.
template <class T>
void ResampleChannels(const T* src, int sw, int sh, int channels, std::ptrdiff_t src_step,
                      std::ptrdiff_t src_row, T* dst, int dw, int dh, std::ptrdiff_t dst_step,
                      std::ptrdiff_t dst_row, const ResampleParams& params, int max_value) {
  const Taps hx = MakeTaps(sw, dw, params.method);
  const Taps vy = MakeTaps(sh, dh, params.method);
  const float gain = params.keep_flux
                         ? static_cast<float>(static_cast<double>(sw) * sh / (static_cast<double>(dw) * dh))
                         : 1.0f;
  const std::size_t width = static_cast<std::size_t>(dw) * channels;
  const int slots = vy.size;
  const float top = static_cast<float>(max_value);
  // One row along the row: `line` (sw pixels of `channels` floats) to `out`.
  auto horizontal_line = [&](const float* line, float* out) {
    for (int i = 0; i < dw; ++i) {
      const float* w = hx.weights.data() + static_cast<std::size_t>(i) * hx.size;
      const int count = std::min(hx.size, sw - hx.start[i]);
      const float* at = line + static_cast<std::size_t>(hx.start[i]) * channels;
      if (channels == 1) {
        float sum = 0;
        for (int k = 0; k < count; ++k) sum += w[k] * at[k];
        out[i] = sum;
      } else {
        float s0 = 0, s1 = 0, s2 = 0;
        for (int k = 0; k < count; ++k) {
          s0 += w[k] * at[3 * k];
          s1 += w[k] * at[3 * k + 1];
          s2 += w[k] * at[3 * k + 2];
        }
        out[3 * i] = s0;
        out[3 * i + 1] = s1;
        out[3 * i + 2] = s2;
      }
    }
  };
  auto store = [&](const float* acc, int j) {
    T* out = dst + j * dst_row;
    for (int i = 0; i < dw; ++i)
      for (int c = 0; c < channels; ++c) {
        if constexpr (std::is_floating_point_v<T>) {
          // Values, not samples: no rounding, no range (NaN stays NaN).
          out[i * dst_step + c] = acc[static_cast<std::size_t>(i) * channels + c] * gain;
        } else {
          const float v =
              std::clamp(acc[static_cast<std::size_t>(i) * channels + c] * gain + 0.5f, 0.0f, top);
          out[i * dst_step + c] = static_cast<T>(static_cast<int>(v));
        }
      }
  };
  if (dh < sh) {
    // Fewer rows out than in: down the columns first (vector loops over
    // whole source rows), so the row pass, which sums tap by tap, runs on
    // the fewer output rows only.
    const std::size_t src_width = static_cast<std::size_t>(sw) * channels;
    ParallelFor(dh, static_cast<long long>(dh) * (sw + dw) * vy.size * channels, [&](int y0, int y1) {
      std::vector<float> column(src_width), acc(width);
      for (int j = y0; j < y1; ++j) {
        std::fill(column.begin(), column.end(), 0.0f);
        const float* w = vy.weights.data() + static_cast<std::size_t>(j) * vy.size;
        const int first = vy.start[j];
        const int count = std::min(vy.size, sh - first);
        for (int k = 0; k < count; ++k) {
          const float wk = w[k];
          if (wk == 0.0f) continue;
          const T* in = src + (first + k) * src_row;
          if (src_step == channels) {
            for (std::size_t e = 0; e < src_width; ++e) column[e] += wk * static_cast<float>(in[e]);
          } else {
            for (int x = 0; x < sw; ++x)
              for (int c = 0; c < channels; ++c)
                column[static_cast<std::size_t>(x) * channels + c] +=
                    wk * static_cast<float>(in[x * src_step + c]);
          }
        }
        horizontal_line(column.data(), acc.data());
        store(acc.data(), j);
      }
    });
    return;
  }
  ParallelFor(dh, static_cast<long long>(dh) * dw * (hx.size + vy.size) * channels, [&](int y0, int y1) {
    std::vector<float> ring(static_cast<std::size_t>(slots) * width);
    std::vector<int> held(slots, -1);
    std::vector<float> line(static_cast<std::size_t>(sw) * channels);
    std::vector<float> acc(width);
    // Source row r along the row into its slot.
    auto horizontal = [&](int r) {
      float* out = ring.data() + static_cast<std::size_t>(r % slots) * width;
      const T* in = src + r * src_row;
      for (int x = 0; x < sw; ++x)
        for (int c = 0; c < channels; ++c)
          line[static_cast<std::size_t>(x) * channels + c] = static_cast<float>(in[x * src_step + c]);
      horizontal_line(line.data(), out);
      held[r % slots] = r;
    };
    for (int j = y0; j < y1; ++j) {
      std::fill(acc.begin(), acc.end(), 0.0f);
      const float* w = vy.weights.data() + static_cast<std::size_t>(j) * vy.size;
      const int first = vy.start[j];
      const int count = std::min(vy.size, sh - first);
      for (int k = 0; k < count; ++k) {
        const float wk = w[k];
        if (wk == 0.0f) continue;
        const int r = first + k;
        if (held[r % slots] != r) horizontal(r);
        const float* row = ring.data() + static_cast<std::size_t>(r % slots) * width;
        for (std::size_t i = 0; i < width; ++i) acc[i] += wk * row[i];
      }
      store(acc.data(), j);
    }
  });
}

}  // namespace

template <class T>
void ResamplePlane(const T* src, int sw, int sh, std::ptrdiff_t src_step, std::ptrdiff_t src_row, T* dst,
                   int dw, int dh, std::ptrdiff_t dst_step, std::ptrdiff_t dst_row,
                   const ResampleParams& params, int max_value) {
  ResampleChannels(src, sw, sh, 1, src_step, src_row, dst, dw, dh, dst_step, dst_row, params, max_value);
}

template void ResamplePlane<std::uint8_t>(const std::uint8_t*, int, int, std::ptrdiff_t, std::ptrdiff_t,
                                          std::uint8_t*, int, int, std::ptrdiff_t, std::ptrdiff_t,
                                          const ResampleParams&, int);
template void ResamplePlane<std::uint16_t>(const std::uint16_t*, int, int, std::ptrdiff_t, std::ptrdiff_t,
                                           std::uint16_t*, int, int, std::ptrdiff_t, std::ptrdiff_t,
                                           const ResampleParams&, int);

template void ResamplePlane<float>(const float*, int, int, std::ptrdiff_t, std::ptrdiff_t, float*, int, int,
                                   std::ptrdiff_t, std::ptrdiff_t, const ResampleParams&, int);

FloatPlane ResampleFloat(const FloatPlane& plane, const ResampleParams& params) {
  FloatPlane out(params.width, params.height);
  if (!plane.empty())
    ResamplePlane(plane.values.data(), plane.width, plane.height, 1, plane.width, out.values.data(),
                  params.width, params.height, 1, params.width, params, 0);
  return out;
}

Picture ResamplePicture(const Picture& src, const ResampleParams& params) {
  Picture out(params.width, params.height);
  if (src.empty()) return out;
  ResampleChannels(src.Row(0), src.width(), src.height(), 3, 3, static_cast<std::ptrdiff_t>(src.stride()),
                   out.Row(0), out.width(), out.height(), 3, static_cast<std::ptrdiff_t>(out.stride()),
                   params, 255);
  return out;
}

std::vector<std::uint16_t> ResampleRaw(const std::vector<std::uint16_t>& raw, int width, int height,
                                       const ResampleParams& params) {
  std::vector<std::uint16_t> out(static_cast<std::size_t>(params.width) * params.height);
  if (width > 0 && height > 0)
    ResamplePlane(raw.data(), width, height, 1, width, out.data(), params.width, params.height, 1,
                  params.width, params, 65535);
  return out;
}

Status ResampleKindCheck(const ImageDocument& doc) {
  if (doc.kind == WindowKind::kColour || doc.kind == WindowKind::kRaw16 || HasFloatValues(doc))
    return Status::Ok();
  return KindRefused("リサンプリング", doc.kind,
                     "カラー画像、16ビットと浮動小数点の画像にだけ使えるコマンドです。");
}

Status ResampleCommand(const ImageDocument& src, const ResampleParams& params, ImageDocument& out) {
  static const char* const kName = "リサンプリング";
  if (params.width < 1 || params.height < 1 || params.width > kMaxResampleSide ||
      params.height > kMaxResampleSide)
    return Status::Error(kResampleSizeRefused);
  // The new window's memory counted as the readers count a window of its
  // kind, before anything of the new size is allocated.
  if (src.kind == WindowKind::kRaw16 || src.kind == WindowKind::kColour) {
    const int bytes = src.kind == WindowKind::kRaw16 ? kFitsBytesPerPixel : kColourWindowBytesPerPixel;
    if (std::string r = CheckMemoryFor(params.width, params.height, bytes); !r.empty())
      return Status::Error(r);
  }
  const bool in_place = &out == &src;
  const PixelMap map = ResampleMap(DataWidth(src), DataHeight(src), params.width, params.height);
  if (src.kind == WindowKind::kRaw16) {
    std::vector<std::uint16_t> raw;
    if (Status s = ReadRawValues(src, kName, raw); !s) return s;
    std::vector<std::uint16_t> values = ResampleRaw(raw, src.raw.width, src.raw.height, params);
    raw = {};
    if (!in_place) out = src;
    StoreResizedRawValues(out, values, params.width, params.height);
  } else if (HasFloatValues(src)) {
    std::vector<FloatPlane> values;
    for (int p = 0; p < FloatPlaneCount(src); ++p)
      values.push_back(ResampleFloat(FloatPlanes(src)[p], params));
    if (!in_place) out = src;
    for (int p = 0; p < FloatPlaneCount(out); ++p) FloatPlanes(out)[p] = std::move(values[p]);
    out.width = params.width;
    out.height = params.height;
    // The grid and the levels stay: the same values show as before.
    RenderFloatWindow(out, out.max_level, out.min_level);
  } else if (src.kind == WindowKind::kColour) {
    Picture result = ResamplePicture(src.ImageZm, params);
    if (!in_place) out = src;
    out.Image = result;
    out.ImageZm = std::move(result);
    out.width = params.width;
    out.height = params.height;
  } else {
    return ResampleKindCheck(src);
  }
  if (!in_place) {
    out.caption = kResampleCaption;
    out.unsaved = true;
  }
  MapWcsCards(out.fits_cards, map, params.width, params.height, "resample");
  NoteCommand(out, "resample " + std::to_string(params.width) + "x" + std::to_string(params.height) + " " +
                       ResampleMethodName(params.method) + (params.keep_flux ? " flux" : ""));
  return Status::Ok();
}

Status ResampleToNewWindow(Workspace& ws, const ResampleParams& params) {
  const ImageDocument* src = ws.active();
  if (!src) return Status::Ok();
  ImageDocument result;
  if (Status s = ResampleCommand(*src, params, result); !s) return s;
  ImageDocument& window = ws.NewWindow();
  window = std::move(result);
  ws.Activate(&window);
  ws.SetMaxLevel(window.max_level);
  ws.SetMinLevel(window.min_level);
  return Status::Ok();
}

}  // namespace qirm
