// SPDX-License-Identifier: GPL-3.0-or-later
// The filter commands on one image window (the table is in the header).
#include "filters/filter_commands.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "core/matrix.h"
#include "core/numbers.h"
#include "core/parallel.h"
#include "display/levels.h"
#include "document/kind_refusal.h"
#include "filters/blooming.h"

namespace qirm {
namespace {

constexpr int kBloomThreshold = 222;
constexpr int kBloomRun = 5;
constexpr int kBloomRadius = 1;

bool SameSize(const Picture& a, const Picture& b) {
  return a.width() == b.width() && a.height() == b.height();
}

void Report(const FilterProgress& progress, int value) {
  if (progress) progress(value);
}

// ------------------------------------------------------- 16-bit windows

// The plane replaced by a filter's result and the shown picture drawn from
// it through the levels.
void StoreRaw(ImageDocument& doc, RawPlane raw, int max, int min) {
  doc.raw = std::move(raw);
  doc.Image.Draw(RenderLevels(doc.raw, max, min));
}

template <class Filter>
Status FilterRaw(ImageDocument& doc, Filter filter) {
  const int max = doc.max_level, min = doc.min_level;
  if (doc.raw.values.size() != doc.raw.pixels())
    return Status::Error("16-bit window: the raw values do not fill the window's size");
  StoreRaw(doc, filter(doc.raw), max, min);
  return Status::Ok();
}

// --------------------------------------------------------- base pictures

// The result of into(source, dst) goes onto Image and ImageZm. It is
// formed in Image directly when the two pictures have one size, as they
// always do.
template <class Into>
void FilterBase(ImageDocument& doc, Into into) {
  if (SameSize(doc.Image, doc.ImageZm)) {
    into(doc.ImageZm, doc.Image);
    doc.ImageZm.Draw(doc.Image);
    return;
  }
  Picture result(doc.ImageZm.width(), doc.ImageZm.height());
  into(doc.ImageZm, result);
  doc.Image.Draw(result);
  doc.ImageZm.Draw(result);
}

Status Finish(ImageDocument& doc, const FilterProgress& progress, Status status, std::string command) {
  if (status) {
    doc.edited = true;
    NoteCommand(doc, std::move(command));
  }
  Report(progress, 0);
  return status;
}

// Picture rows into the three channel matrices m[x][y] and back, tile by
// tile through a small contiguous copy of the tile: picture rows lie a
// multiple of 4 KB apart in wide pictures, and read straight from the
// picture the rows of a tile would compete for one set of cache lines.
constexpr int kTile = 64;

void SplitTiles(const Picture& p, IntMatrix (&m)[3], int from, int to) {
  std::uint8_t tile[kTile][3 * kTile];
  const int h = p.height();
  for (int y0 = 0; y0 < h; y0 += kTile) {
    const int rows = std::min(h - y0, kTile);
    for (int x0 = from; x0 < to; x0 += kTile) {
      const int cols = std::min(to - x0, kTile);
      for (int r = 0; r < rows; ++r)
        std::memcpy(tile[r], p.Row(y0 + r) + 3 * x0, 3 * static_cast<std::size_t>(cols));
      for (int ch = 0; ch < 3; ++ch)
        for (int c = 0; c < cols; ++c) {
          std::int32_t* column = m[ch][x0 + c] + y0;
          for (int r = 0; r < rows; ++r) column[r] = tile[r][3 * c + ch];
        }
    }
  }
}

void JoinTiles(IntMatrix (&m)[3], Picture& p, int from, int to) {
  std::uint8_t tile[kTile][3 * kTile];
  const int h = p.height();
  for (int y0 = 0; y0 < h; y0 += kTile) {
    const int rows = std::min(h - y0, kTile);
    for (int x0 = from; x0 < to; x0 += kTile) {
      const int cols = std::min(to - x0, kTile);
      for (int ch = 0; ch < 3; ++ch)
        for (int c = 0; c < cols; ++c) {
          const std::int32_t* column = m[ch][x0 + c] + y0;
          for (int r = 0; r < rows; ++r) tile[r][3 * c + ch] = static_cast<std::uint8_t>(column[r]);
        }
      for (int r = 0; r < rows; ++r)
        std::memcpy(p.Row(y0 + r) + 3 * x0, tile[r], 3 * static_cast<std::size_t>(cols));
    }
  }
}

// Parts of whole tiles of columns at once on large pictures (the parts
// write different columns).
void SplitChannels(const Picture& p, IntMatrix (&m)[3]) {
  ParallelFor(
      p.width(), static_cast<long long>(p.width()) * p.height(),
      [&](long long from, long long to) { SplitTiles(p, m, static_cast<int>(from), static_cast<int>(to)); },
      kTile);
}

void JoinChannels(IntMatrix (&m)[3], Picture& p) {
  ParallelFor(
      p.width(), static_cast<long long>(p.width()) * p.height(),
      [&](long long from, long long to) { JoinTiles(m, p, static_cast<int>(from), static_cast<int>(to)); },
      kTile);
}

}  // namespace

// ------------------------------------------------------------- dialogs

DialogCheck CheckEdgeStrength(const std::string& text) {
  DialogCheck check;
  if (!ParseReal(text, check.value)) {
    check.outcome = DialogCheck::kNotANumber;
    check.message = RealConversionError(text);
  } else if (check.value < 1.0 || check.value > 5.0) {
    check.outcome = DialogCheck::kRefused;
    check.message = kEdgeStrengthRefused;
  }
  return check;
}

DialogCheck CheckBlurAmount(const std::string& text) {
  DialogCheck check;
  if (!ParseReal(text, check.value)) {
    check.outcome = DialogCheck::kNotANumber;
    check.message = RealConversionError(text);
  } else if (!(check.value > 0) || check.value > 10) {
    check.outcome = DialogCheck::kRefused;
    check.message = kBlurAmountRefused;
  }
  return check;
}

Status ParseComaTexts(const std::string& x, const std::string& y, const std::string& amount,
                      ComaParams& params) {
  ComaParams p;
  if (!ParseInt(x, p.x)) return Status::Error(IntConversionError(x));
  if (!ParseInt(y, p.y)) return Status::Error(IntConversionError(y));
  if (!ParseReal(amount, p.amount)) return Status::Error(RealConversionError(amount));
  if (!(std::fabs(p.amount) <= kMaxComaAmount)) return Status::Error(kComaAmountRefused);
  params = p;
  return Status::Ok();
}

Status AcceptGmcTexts(GmcTexts& texts, FilterSettings& settings) {
  int direction = 0, flow = 0, threshold = 0;
  double blur = 0;
  if (!ParseInt(texts.direction, direction)) return Status::Error(IntConversionError(texts.direction));
  settings.gmc.direction = direction;
  if (!ParseInt(texts.flow, flow)) return Status::Error(IntConversionError(texts.flow));
  // Negative flows have no meaning (the direction turns the trail) and
  // would index outside the kernel; very long ones would only exhaust memory.
  if (flow < 0 || flow > kMaxGmcFlow) {
    flow = flow < 0 ? 0 : kMaxGmcFlow;
    texts.flow = FormatInt(flow);
  }
  settings.gmc.flow = flow;
  if (!ParseReal(texts.blur, blur)) return Status::Error(RealConversionError(texts.blur));
  if (blur < 0.2) {
    blur = 0.2;
    texts.blur = "0.2";
  }
  settings.blur_amount = blur;
  if (!ParseInt(texts.threshold, threshold)) return Status::Error(IntConversionError(texts.threshold));
  settings.gmc.threshold = threshold;
  settings.gmc_accepted = true;
  return Status::Ok();
}

// ------------------------------------------------------------ commands

Status EdgeKindCheck(const ImageDocument& doc) {
  return doc.kind == WindowKind::kColour ? Status::Ok() : KindRefused("エッジ強調", doc.kind);
}

Status ComaKindCheck(const ImageDocument& doc) {
  return doc.kind == WindowKind::kColour ? Status::Ok() : KindRefused("コマコレクト処理", doc.kind);
}

namespace {

Status NotFloat(const ImageDocument& doc, const char* command) {
  if (!HasFloatValues(doc)) return Status::Ok();
  return KindRefused(command, doc.kind, "浮動小数点の値にはまだ使えません。");
}

}  // namespace

Status BlurKindCheck(const ImageDocument& doc) { return NotFloat(doc, "ぼかし"); }
Status HighPassKindCheck(const ImageDocument& doc) { return NotFloat(doc, "ハイパス効果"); }
Status LowPassKindCheck(const ImageDocument& doc) { return NotFloat(doc, "ローパス効果"); }
Status BloomKindCheck(const ImageDocument& doc) { return NotFloat(doc, "ブルーミング除去"); }

Status EdgeCommand(ImageDocument& doc, double strength, const FilterProgress& progress) {
  if (Status s = EdgeKindCheck(doc); !s) return s;
  FilterBase(doc,
             [&](const Picture& src, Picture& dst) { EdgeEnhancementInto(src, strength, dst, progress); });
  return Finish(doc, progress, Status::Ok(), "edge " + FormatGeneral(strength));
}

Status BlurCommand(ImageDocument& doc, double amount, const FilterProgress& progress) {
  if (Status s = BlurKindCheck(doc); !s) return s;
  if (doc.kind == WindowKind::kRaw16) {
    return Finish(doc, progress,
                  FilterRaw(doc, [&](const RawPlane& raw) { return Blur(raw, amount, progress); }),
                  "blur " + FormatGeneral(amount));
  }
  FilterBase(doc, [&](const Picture& src, Picture& dst) { BlurInto(src, amount, dst, progress); });
  return Finish(doc, progress, Status::Ok(), "blur " + FormatGeneral(amount));
}

Status HighPassCommand(ImageDocument& doc, const FilterProgress& progress) {
  if (Status s = HighPassKindCheck(doc); !s) return s;
  if (doc.kind == WindowKind::kRaw16) {
    return Finish(doc, progress, FilterRaw(doc, [&](const RawPlane& raw) { return HighPass(raw, progress); }),
                  "highpass");
  }
  FilterBase(doc, [&](const Picture& src, Picture& dst) { HighPassInto(src, dst, progress); });
  return Finish(doc, progress, Status::Ok(), "highpass");
}

Status LowPassCommand(ImageDocument& doc, const FilterProgress& progress) {
  if (Status s = LowPassKindCheck(doc); !s) return s;
  if (doc.kind == WindowKind::kRaw16) {
    return Finish(doc, progress, FilterRaw(doc, [&](const RawPlane& raw) { return LowPass(raw, progress); }),
                  "lowpass");
  }
  if (SameSize(doc.Image, doc.ImageZm)) {
    // The high-pass pass goes into Image, the result over the base picture.
    LowPassInto(doc.ImageZm, doc.Image, doc.ImageZm, progress);
    doc.Image.Draw(doc.ImageZm);
  } else {
    const Picture result = LowPass(doc.ImageZm, progress);
    doc.Image.Draw(result);
    doc.ImageZm.Draw(result);
  }
  return Finish(doc, progress, Status::Ok(), "lowpass");
}

Status BloomCommand(ImageDocument& doc, const FilterProgress& progress) {
  if (Status s = BloomKindCheck(doc); !s) return s;
  const bool raw16 = doc.kind == WindowKind::kRaw16;
  const int max = doc.max_level, min = doc.min_level;
  if (raw16 && doc.raw.values.size() != doc.raw.pixels())
    return Status::Error("16-bit window: the raw values do not fill the window's size");
  const int w = DataWidth(doc), h = DataHeight(doc);
  IntMatrix m[3];
  const int planes = raw16 ? 1 : 3;
  for (int i = 0; i < planes; ++i)
    if (AllocIntMatrix(w, h, m[i]))
      return Status::Error("blooming removal: no memory for the channel matrices");
  Report(progress, 20);
  if (raw16) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) m[0][x][y] = doc.raw.At(x, y);
  } else {
    SplitChannels(doc.ImageZm, m);
  }
  Report(progress, 40);
  if (raw16) {
    RemoveBlooming(kBloomThreshold * 256, kBloomRun, kBloomRadius, w, h, m[0]);
  } else {
    for (int ch : {2, 1, 0})
      RemoveBlooming(kBloomThreshold, kBloomRun, kBloomRadius, w, h, m[ch]);  // red, green, blue
  }
  Report(progress, 60);
  if (raw16) {
    RawPlane raw(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) raw.Row(y)[x] = static_cast<std::uint16_t>(m[0][x][y]);
    Report(progress, 80);
    for (IntMatrix& matrix : m) matrix.Release();
    Report(progress, 100);
    StoreRaw(doc, std::move(raw), max, min);
  } else {
    JoinChannels(m, doc.ImageZm);
    Report(progress, 80);
    for (IntMatrix& matrix : m) matrix.Release();
    Report(progress, 100);
    doc.Image.Draw(doc.ImageZm);
  }
  Report(progress, 0);
  NoteCommand(doc, "bloom");
  return Status::Ok();
}

Status ComaCommand(ImageDocument& doc, const ComaParams& params) {
  if (Status s = ComaKindCheck(doc); !s) return s;
  if (SameSize(doc.Image, doc.ImageZm)) {
    ComaCorrectInto(doc.ImageZm, params, doc.Image);
  } else {
    doc.Image.Draw(ComaCorrect(doc.ImageZm, params));
  }
  doc.edited = true;
  NoteCommand(doc,
              "coma " + FormatInt(params.x) + "," + FormatInt(params.y) + "," + FormatGeneral(params.amount));
  return Status::Ok();
}

Status GmcCommand(ImageDocument& doc, const GmcSettings& settings, double blur) {
  Status status = GuideMissCancel(doc.Image, settings, blur);
  if (status) NoteCommand(doc, "gmc");
  return status;
}

}  // namespace qirm
