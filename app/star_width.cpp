// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/star_width.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "display/float_levels.h"
#include "display/levels.h"
#include "document/state_texts.h"

namespace qirm {
namespace {

std::string Printf(const char* format, auto... args) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

// A window nothing has been put in has no zoom or kind to measure with.
bool ReadZoom(const ImageDocument& doc, double& z, std::string& error) {
  if (!doc.zoom) {
    error = RealConversionError("");
    return false;
  }
  if (doc.kind == WindowKind::kNone) {
    error = IntConversionError("");
    return false;
  }
  z = *doc.zoom;
  return true;
}

bool Inside(const Picture& p, int x, int y) { return x >= 0 && y >= 0 && x < p.width() && y < p.height(); }
bool Inside(const RawPlane& p, int x, int y) { return x >= 0 && y >= 0 && x < p.width && y < p.height; }

}  // namespace

HalfMaxWidth MeasureHalfMaxWidth(const PixelValue& value, Extended cx, Extended cy, int min_start) {
  HalfMaxWidth r;
  r.min = min_start;
  int v = 0;
  for (int dx = -10; dx <= 10; ++dx) {
    for (int dy = -10; dy <= 10; ++dy) {
      if (!value(Trunc(cx + dx), Trunc(cy + dy), v)) continue;
      if (v < r.min) r.min = v;
      if (v > r.max) r.max = v;
    }
  }
  const int half = (r.max - r.min) / 2;
  for (int dx = -10; dx <= 10; ++dx) {
    for (int dy = -10; dy <= 10; ++dy) {
      if (!value(Trunc(cx + dx), Trunc(cy + dy), v)) continue;
      if (v - r.min > half) ++r.count;
    }
  }
  // 0.31830989161357204 is 1 / 3.1415926, the program's pi, not 1 / M_PI.
  r.width = static_cast<double>(2 * std::sqrt(static_cast<Extended>(r.count) * 0.31830989161357204));
  return r;
}

PixelValue MeasuredValue(const ImageDocument& doc) {
  if (HasFloatValues(doc)) {
    // Values as their nearest level (a colour window's green): the measure
    // counts in integers. An undefined pixel is no part of it.
    const FloatPlane& plane = doc.kind == WindowKind::kDeepColour ? doc.colour[1] : doc.real;
    return [&doc, &plane](int x, int y, int& v) {
      if (x < 0 || y < 0 || x >= plane.width || y >= plane.height) return false;
      const float value = plane.At(x, y);
      if (!std::isfinite(value)) return false;
      v = static_cast<int>(std::lround(std::clamp(LevelOf(doc.scaling, value), -1e9, 1e9)));
      return true;
    };
  }
  if (doc.kind == WindowKind::kRaw16) {
    return [&doc](int x, int y, int& v) {
      if (!Inside(doc.raw, x, y)) return false;
      v = doc.raw.At(x, y);
      return true;
    };
  }
  return [&doc](int x, int y, int& v) {
    if (!Inside(doc.Image, x, y)) return false;
    v = doc.Image.Row(y)[3 * x + 1];
    return true;
  };
}

bool ImagePixelAt(const ImageDocument& doc, int X, int Y, int& x, int& y, std::string& error) {
  double z = 1;
  if (!ReadZoom(doc, z, error)) return false;
  x = Trunc(X / static_cast<Extended>(z));
  y = Trunc(Y / static_cast<Extended>(z));
  return true;
}

bool CursorReadout(const ImageDocument& doc, int X, int Y, std::string& label, std::string& error) {
  int x = 0, y = 0;
  if (!ImagePixelAt(doc, X, Y, x, y, error)) return false;
  if (HasFloatValues(doc)) {
    if (x < 0 || y < 0 || x >= DataWidth(doc) || y >= DataHeight(doc)) return false;
    if (doc.kind == WindowKind::kDeepColour) {
      const std::string r = FloatText(doc.colour[0].At(x, y)), g = FloatText(doc.colour[1].At(x, y)),
                        b = FloatText(doc.colour[2].At(x, y));
      label = Printf("R=%s  G=%s  B=%s   (%d,%d)", r.c_str(), g.c_str(), b.c_str(), x, y);
    } else {
      const std::string value = FloatText(doc.real.At(x, y));
      label = Printf("Intensity = %s   (%d,%d)", value.c_str(), x, y);
    }
    return true;
  }
  if (doc.kind == WindowKind::kRaw16) {
    if (!Inside(doc.raw, x, y)) return false;
    const std::string value = PhysicalText(doc, doc.raw.At(x, y));
    label = Printf("Intensity = %s   (%d,%d)", value.c_str(), x, y);
    return true;
  }
  if (!Inside(doc.Image, x, y)) return false;
  const std::uint8_t* p = doc.Image.Row(y) + 3 * x;
  label = Printf("R=%d  G=%d  B=%d   (%d,%d)", p[2], p[1], p[0], x, y);
  return true;
}

bool StarWidthAt(const ImageDocument& doc, int X, int Y, MouseButton button, StarWidthResult& result,
                 std::string& error) {
  double z = 1;
  if (!ReadZoom(doc, z, error)) return false;
  HalfMaxWidth m;
  m.min = doc.kind == WindowKind::kRaw16 ? 100000 : HasFloatValues(doc) ? 1 << 30 : 1000;
  if (button == MouseButton::Left) {
    m = MeasureHalfMaxWidth(MeasuredValue(doc), X / static_cast<Extended>(z), Y / static_cast<Extended>(z),
                            m.min);
  }
  result.measured = m;
  result.label = Printf("QIRM = %2.1lf pxls", m.width);
  // Extremes of a box that was read are pixel values, shown physical; the
  // start values of a box not read stay as they are.
  if ((doc.kind == WindowKind::kRaw16 || HasFloatValues(doc)) && m.min <= m.max) {
    result.extremes = "MAX = " + PhysicalText(doc, m.max) + " , MIN = " + PhysicalText(doc, m.min);
  } else {
    result.extremes = Printf("MAX = %d , MIN = %d", m.max, m.min);
  }
  return true;
}

bool CapturePosition(StarPick& pick, MouseButton button, int x, int y, std::string& error) {
  if (pick.mode == StarPick::Mode::OneStar && button == MouseButton::Left) {
    pick.Edit6 = FormatInt(x);
    pick.Edit9 = FormatInt(y);
  }
  if (pick.mode == StarPick::Mode::TwoStars) {
    int k = 0;
    if (!ParseInt(pick.Edit19, k)) {
      error = IntConversionError(pick.Edit19);
      return false;
    }
    if (button == MouseButton::Left) {
      if (k == 1) {
        pick.Edit6 = FormatInt(x);
        pick.Edit9 = FormatInt(y);
        pick.Edit19 = "2";
      } else if (k == 2) {
        pick.Edit7 = FormatInt(x);
        pick.Edit10 = FormatInt(y);
        pick.Edit19 = "1";
      }
    }
  }
  if (button == MouseButton::Right) {
    pick.Edit12 = FormatInt(x);
    pick.Edit13 = FormatInt(y);
  }
  return true;
}

}  // namespace qirm
