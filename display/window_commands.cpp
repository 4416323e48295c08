// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/window_commands.h"

#include <algorithm>

#include "core/numbers.h"
#include "display/float_levels.h"
#include "document/kind_refusal.h"

namespace qirm {
namespace {

// Levels far beyond any float window's grid (2^20 levels over its values)
// and still far from int's limits.
constexpr int kFloatLevelLimit = 1 << 30;

// The shown picture of a 16-bit or float window under new levels.
void RedrawLevels(ImageDocument& doc, int max, int min) {
  if (HasFloatValues(doc))
    RenderFloatWindow(doc, max, min);
  else
    RenderLevelsInto(doc.raw, max, min, doc.Image);
}

Status ContrastRefusal(WindowKind kind, const char* button) {
  if (kind == WindowKind::kColour || kind == WindowKind::kRaw16 || kind == WindowKind::kFloat ||
      kind == WindowKind::kDeepColour)
    return Status::Ok();
  return KindRefused(button, kind, "カラー画像、16ビットと浮動小数点の画像にだけ使えます。");
}

Status ContrastStep(Workspace& ws, const char* button, double colour_factor, double span_factor) {
  ImageDocument* doc = ws.active();
  if (!doc) return Status::Ok();
  if (Status s = ContrastRefusal(doc->kind, button); !s) return s;
  if (doc->kind == WindowKind::kColour) {
    const double gain = doc->gain * colour_factor;
    doc->Image = RenderContrast(doc->ImageZm, gain);
    doc->gain = gain;
    doc->gain_stepped = true;
  } else {
    int max = 0, min = 0;
    if (Status s = ws.main().max_edit.Get(max); !s) return s;
    if (Status s = ws.main().min_edit.Get(min); !s) return s;
    const int new_max = ScaledMaxLevel(max, min, span_factor);
    RedrawLevels(*doc, new_max, min);
    ws.SetMaxLevel(new_max);
  }
  return Status::Ok();
}

}  // namespace

Status ContrastUp(Workspace& ws) { return ContrastStep(ws, "コントラスト H", 1.1, 0.8); }
Status ContrastKindCheck(const ImageDocument& doc) { return ContrastRefusal(doc.kind, "コントラスト H・L"); }
Status ContrastDown(Workspace& ws) { return ContrastStep(ws, "コントラスト L", 1 / 1.1, 1.2); }

Status SpinClick(Workspace& ws, LevelSpin spin, int direction) {
  ImageDocument* doc = ws.active();
  if (!doc) return Status::Ok();
  MainState& main = ws.main();
  const bool maximum = spin == LevelSpin::kMaximum;
  const int level = maximum ? doc->max_level : doc->min_level;
  int& position = maximum ? main.max_spin : main.min_spin;
  // A float window's levels stand on a grid 16 times finer than 16-bit
  // values over the range: a click moves as far over it.
  const bool real = HasFloatValues(*doc);
  const int lo = real ? -kFloatLevelLimit : maximum ? kMaxSpinMin : kMinSpinMin;
  const int hi = real ? kFloatLevelLimit : maximum ? kMaxSpinMax : kMinSpinMax;
  const int increment = real ? 16 * kSpinIncrement : kSpinIncrement;
  position = std::clamp(position == level ? level + direction * increment : level, lo, hi);
  if (maximum) {
    ws.SetMaxLevel(position);
  } else {
    ws.SetMinLevel(position);
  }

  if (doc->kind == WindowKind::kRaw16 || HasFloatValues(*doc)) {
    int max = 0, min = 0;
    if (Status s = main.max_edit.Get(max); !s) return s;
    if (Status s = main.min_edit.Get(min); !s) return s;
    const int new_max = ScaledMaxLevel(max, min, 1);
    RedrawLevels(*doc, new_max, min);
    ws.SetMaxLevel(new_max);
  }
  return Status::Ok();
}

Status Zoom(Workspace& ws, ZoomDirection direction, bool& changed) {
  changed = false;
  ImageDocument* doc = ws.active();
  if (!doc) return Status::Ok();
  // A window nothing has been put in has no size or zoom to step.
  if (!doc->width || !doc->height) return Status::Error(IntConversionError(""));
  if (!doc->zoom) return Status::Error(RealConversionError(""));
  double z = *doc->zoom;
  if (!ZoomStep(z, direction)) return Status::Ok();
  changed = true;
  ws.main().zoom = z;
  doc->zoom = z;
  doc->zoom_stepped = true;
  return Status::Ok();
}

Status SetZoom(Workspace& ws, double z, bool& changed) {
  changed = false;
  ImageDocument* doc = ws.active();
  if (!doc) return Status::Ok();
  if (!doc->width || !doc->height) return Status::Error(IntConversionError(""));
  if (!doc->zoom) return Status::Error(RealConversionError(""));
  if (!(z > 0)) return Status::Error("zoom " + FormatGeneral(z) + " is not a positive factor");
  const double allowed = NearestZoom(z);
  if (allowed == *doc->zoom) return Status::Ok();
  changed = true;
  ws.main().zoom = allowed;
  doc->zoom = allowed;
  doc->zoom_stepped = true;
  return Status::Ok();
}

Status SeparateKindCheck(const ImageDocument& doc) {
  if (doc.kind == WindowKind::kRaw16) {
    return KindRefused("RGB分解", doc.kind, "16ビットの画像は明るさだけのデータで、分ける色がありません。");
  }
  if (doc.kind != WindowKind::kColour) return KindRefused("RGB分解", doc.kind);
  return Status::Ok();
}

Status Separate(Workspace& ws) {
  ImageDocument* source = ws.active();
  if (!source) return Status::Ok();
  if (Status s = SeparateKindCheck(*source); !s) return s;
  const Picture& base = source->ImageZm;
  const int w = base.width();
  const int h = base.height();
  static const char* const kCaptions[3] = {"Blue", "Green", "Red"};
  for (int p = 0; p < 3; ++p) {
    Picture grey(w, h);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* in = base.Row(y);
      std::uint8_t* out = grey.Row(y);
      for (int x = 0; x < w; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[3 * x + p];
    }
    Picture shown = grey;
    // The source stays valid while windows are added: they are held by
    // unique_ptr.
    ws.NewPictureWindow(std::move(shown), std::move(grey), kCaptions[p], 3);
  }
  return Status::Ok();
}

}  // namespace qirm
