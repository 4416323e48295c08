// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/display_commands.h"

#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "core/numbers.h"
#include "core/parallel.h"
#include "core/wcs_cards.h"
#include "display/float_levels.h"
#include "display/levels.h"
#include "display/mirror_flip.h"
#include "display/output_picture.h"
#include "display/raw_values.h"
#include "display/rotate.h"
#include "display/tones.h"
#include "document/kind_refusal.h"

namespace qirm {
namespace {

// A computation from the base picture into an output picture.
using Compute = std::function<void(const Picture& base, Picture& out)>;

// The result is shown: computed straight into Image when Image has the
// base's size (the usual case: no new memory), else drawn onto it at (0, 0).
// The base of a 16-bit window is the high bytes of its raw values.
void Show(ImageDocument& doc, const Compute& compute) {
  Picture high;
  if (doc.kind == WindowKind::kRaw16) high = HighBytePicture(doc.raw);
  const Picture& base = doc.kind == WindowKind::kRaw16 ? high : doc.ImageZm;
  if (doc.Image.width() == base.width() && doc.Image.height() == base.height()) {
    compute(base, doc.Image);
  } else {
    Picture result;
    compute(base, result);
    DrawAt00(doc.Image, std::move(result));
  }
}

// The result replaces the window's picture: shown and base.
void Replace(ImageDocument& doc, const Compute& compute) {
  if (doc.Image.width() == doc.ImageZm.width() && doc.Image.height() == doc.ImageZm.height()) {
    compute(doc.ImageZm, doc.Image);
    // Same size: a copy into the storage the base has, on both cores.
    const Picture& shown = doc.Image;
    Picture& base = doc.ImageZm;
    ParallelFor(shown.height(), static_cast<long long>(shown.width()) * shown.height(), [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) std::memcpy(base.Row(y), shown.Row(y), shown.stride());
    });
  } else {
    Picture result;
    compute(doc.ImageZm, result);
    DrawAt00(doc.Image, result);
    doc.ImageZm = std::move(result);
  }
}

bool IsColour(const ImageDocument& doc) { return doc.kind == WindowKind::kColour; }

// The header's world coordinates follow the pixels the command moved.
void MapHeader(ImageDocument& doc, const PixelMap& map, const char* command) {
  MapWcsCards(doc.fits_cards, map, DataWidth(doc), DataHeight(doc), command);
}

// The rotation as a pixel map: result (x, y) takes the source at
// (c x + s y - x0, -s x + c y - y0 - 1), the row above ys weighing 1 - fy.
PixelMap RotateMap(int width, int height) {
  const RotationGeometry g = RotationFor(width, height);
  PixelMap map;
  map.m[0][0] = g.c;
  map.m[0][1] = g.s;
  map.m[1][0] = -g.s;
  map.m[1][1] = g.c;
  map.shift[0] = -g.x0;
  map.shift[1] = -g.y0 - 1.0;
  return map;
}

DialogCheck CheckPositive(const std::string& text, const char* refusal) {
  DialogCheck check;
  if (!ParseReal(text, check.value)) {
    check.outcome = DialogCheck::kNotANumber;
    check.message = RealConversionError(text);
  } else if (!(check.value > 0)) {
    check.outcome = DialogCheck::kRefused;
    check.message = refusal;
  }
  return check;
}

// A 16-bit window's raw values through `map`, which writes row y of the
// result from the whole source (width w, height h); rows are shared between
// the cores.
template <class Map>
Status MapRawWindow(ImageDocument& doc, const char* command, const Map& map) {
  if (Status s = CheckRawPlane(doc, command); !s) return s;
  const int w = doc.raw.width;
  const int h = doc.raw.height;
  RawPlane result(w, h);
  ParallelFor(h, static_cast<long long>(w) * h, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) map(doc.raw.values.data(), w, h, y, result.Row(y));
  });
  StoreRawPlane(doc, std::move(result));
  return Status::Ok();
}

Status RotateRawWindow(ImageDocument& doc, const Progress& progress) {
  std::vector<std::uint16_t> raw;
  if (Status s = ReadRawValues(doc, "rotate", raw); !s) return s;
  StoreRawValues(doc, RotateRawValues(raw, doc.raw.width, doc.raw.height, 65535, progress));
  return Status::Ok();
}

// The raw versions of negative, mirror and flip: the same rules on values
// 0..65535 instead of bytes 0..255.
void NegativeRawRow(const std::uint16_t* raw, int w, int, int y, std::uint16_t* out) {
  const std::uint16_t* in = raw + static_cast<std::size_t>(y) * w;
  for (int x = 0; x < w; ++x) out[x] = static_cast<std::uint16_t>(65535 - in[x]);
}

void MirrorRawRow(const std::uint16_t* raw, int w, int, int y, std::uint16_t* out) {
  const std::uint16_t* in = raw + static_cast<std::size_t>(y) * w;
  for (int x = 0; x < w; ++x) out[x] = in[w - 1 - x];
}

void FlipRawRow(const std::uint16_t* raw, int w, int h, int y, std::uint16_t* out) {
  std::memcpy(out, raw + static_cast<std::size_t>(h - 1 - y) * w, sizeof(std::uint16_t) * w);
}

// A float window's values moved by mirror or flip (the same rules on its
// plane), then drawn under its levels.
template <class Move>
void MoveFloatWindow(ImageDocument& doc, const Move& move) {
  for (int p = 0; p < FloatPlaneCount(doc); ++p) {
    const FloatPlane& in = FloatPlanes(doc)[p];
    FloatPlane result(in.width, in.height);
    ParallelFor(in.height, static_cast<long long>(in.pixels()), [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) move(in, y, result.Row(y));
    });
    FloatPlanes(doc)[p] = std::move(result);
  }
  RenderFloatWindow(doc, doc.max_level, doc.min_level);
}

void MirrorFloatRow(const FloatPlane& in, int y, float* out) {
  const float* row = in.Row(y);
  for (int x = 0; x < in.width; ++x) out[x] = row[in.width - 1 - x];
}

void FlipFloatRow(const FloatPlane& in, int y, float* out) {
  std::memcpy(out, in.Row(in.height - 1 - y), sizeof(float) * in.width);
}

}  // namespace

DialogCheck CheckGamma(const GammaParams& params) { return CheckPositive(params.gamma, kGammaRefused); }

Status NegativeKindCheck(const ImageDocument& doc) {
  if (doc.kind == WindowKind::kRaw16 || IsColour(doc)) return Status::Ok();
  return KindRefused("ネガ反転", doc.kind);
}

Status MirrorKindCheck(const ImageDocument& doc) {
  if (doc.kind == WindowKind::kRaw16 || HasFloatValues(doc) || IsColour(doc)) return Status::Ok();
  return KindRefused("左右反転", doc.kind);
}

Status FlipKindCheck(const ImageDocument& doc) {
  if (doc.kind == WindowKind::kRaw16 || HasFloatValues(doc) || IsColour(doc)) return Status::Ok();
  return KindRefused("上下反転", doc.kind);
}

Status SolarizeKindCheck(const ImageDocument& doc) {
  return IsColour(doc) ? Status::Ok() : KindRefused("ソラリゼーション", doc.kind);
}

Status SabattierKindCheck(const ImageDocument& doc) {
  if (!HasFloatValues(doc)) return Status::Ok();
  return KindRefused("サバチエ効果", doc.kind, "浮動小数点の画像には元になる画像がありません。");
}

DialogCheck CheckSabattier(const SabattierParams& params) {
  return CheckPositive(params.step, kStepWidthRefused);
}

Status NegativeCommand(ImageDocument& doc) {
  if (doc.kind == WindowKind::kRaw16) {
    // The levels turn over with the values (v -> 65535 - v), so the
    // negative shows the same detail as the positive did: under unchanged
    // levels a frame's values would all land above its white level.
    const int max = doc.max_level, min = doc.min_level;
    doc.max_level = 65535 - min;
    doc.min_level = 65535 - max;
    const Status status = MapRawWindow(doc, "ネガ反転", NegativeRawRow);
    if (status) {
      NoteCommand(doc, "negative");
    } else {
      doc.max_level = max;
      doc.min_level = min;
    }
    return status;
  }
  if (Status s = NegativeKindCheck(doc); !s) return s;
  const ToneTable table = NegativeTable();
  Replace(doc, [&](const Picture& base, Picture& out) { ApplyToneTable(base, table, out); });
  NoteCommand(doc, "negative");
  return Status::Ok();
}

Status MirrorCommand(ImageDocument& doc) {
  if (doc.kind == WindowKind::kRaw16) {
    const Status status = MapRawWindow(doc, "左右反転", MirrorRawRow);
    if (status) MapHeader(doc, MirrorMap(doc.raw.width), "mirror");
    if (status) NoteCommand(doc, "mirror");
    return status;
  }
  if (HasFloatValues(doc)) {
    MoveFloatWindow(doc, MirrorFloatRow);
    MapHeader(doc, MirrorMap(DataWidth(doc)), "mirror");
    NoteCommand(doc, "mirror");
    return Status::Ok();
  }
  if (Status s = MirrorKindCheck(doc); !s) return s;
  Replace(doc, MirrorInto);
  MapHeader(doc, MirrorMap(doc.ImageZm.width()), "mirror");
  NoteCommand(doc, "mirror");
  return Status::Ok();
}

Status FlipCommand(ImageDocument& doc) {
  if (doc.kind == WindowKind::kRaw16) {
    const Status status = MapRawWindow(doc, "上下反転", FlipRawRow);
    if (status) MapHeader(doc, FlipMap(doc.raw.height), "flip");
    if (status) NoteCommand(doc, "flip");
    return status;
  }
  if (HasFloatValues(doc)) {
    MoveFloatWindow(doc, FlipFloatRow);
    MapHeader(doc, FlipMap(DataHeight(doc)), "flip");
    NoteCommand(doc, "flip");
    return Status::Ok();
  }
  if (Status s = FlipKindCheck(doc); !s) return s;
  Replace(doc, FlipInto);
  MapHeader(doc, FlipMap(doc.ImageZm.height()), "flip");
  NoteCommand(doc, "flip");
  return Status::Ok();
}

Status RotateCommand(ImageDocument& doc, const Progress& progress) {
  Status status;
  if (doc.kind == WindowKind::kRaw16) {
    status = RotateRawWindow(doc, progress);
  } else if (HasFloatValues(doc)) {
    for (int p = 0; p < FloatPlaneCount(doc); ++p)
      FloatPlanes(doc)[p] = RotateFloatValues(FloatPlanes(doc)[p], p == 0 ? progress : Progress());
    RenderFloatWindow(doc, doc.max_level, doc.min_level);
  } else {
    Replace(doc, [&](const Picture& base, Picture& out) { RotateInto(base, out, progress); });
  }
  if (!status) return status;
  doc.edited = true;
  MapHeader(doc, RotateMap(DataWidth(doc), DataHeight(doc)), "rotate");
  NoteCommand(doc, "rotate");
  if (progress) progress(0);
  return Status::Ok();
}

Status GammaKindCheck(const ImageDocument& doc) {
  return IsColour(doc) ? Status::Ok() : KindRefused("ガンマ", doc.kind);
}

Status GammaCommand(ImageDocument& doc, const GammaParams& params) {
  if (Status s = GammaKindCheck(doc); !s) return s;
  const DialogCheck gamma = CheckGamma(params);
  if (gamma.outcome == DialogCheck::kNotANumber) return Status::Error(gamma.message);
  if (!gamma) return Status::Ok();
  const ToneTable table = GammaTable(gamma.value);
  Show(doc, [&](const Picture& base, Picture& out) { ApplyToneTable(base, table, out); });
  doc.edited = true;
  NoteCommand(doc, "gamma " + FormatGeneral(gamma.value));
  return Status::Ok();
}

Status SolarizeCommand(ImageDocument& doc) {
  if (Status s = SolarizeKindCheck(doc); !s) return s;
  Show(doc, SolarizeInto);
  doc.edited = true;
  NoteCommand(doc, "solarize");
  return Status::Ok();
}

Status SabattierCommand(ImageDocument& doc, const SabattierParams& params) {
  if (Status s = SabattierKindCheck(doc); !s) return s;
  const DialogCheck step = CheckSabattier(params);
  if (step.outcome == DialogCheck::kNotANumber) return Status::Error(step.message);
  if (!step) return Status::Ok();
  const ToneTable table = SabattierTable(step.value);
  Show(doc, [&](const Picture& base, Picture& out) { ApplyToneTable(base, table, out); });
  doc.edited = true;
  NoteCommand(doc, "sabattier " + FormatGeneral(step.value));
  return Status::Ok();
}

}  // namespace qirm
