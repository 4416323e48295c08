// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/tone_curve.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <utility>

#include "core/numbers.h"
#include "core/parallel.h"
#include "display/raw_values.h"
#include "document/kind_refusal.h"

namespace qirm {

Status ParseCurveText(const std::string& text, ToneCurveParams& params) {
  params = ToneCurveParams{};
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (!parts.empty() && parts.back().size() == 1 && parts.back().find_first_of("rgb") == 0) {
    const char c = parts.back()[0];
    params.channel = c == 'r' ? CurveChannel::kRed : c == 'g' ? CurveChannel::kGreen : CurveChannel::kBlue;
    parts.pop_back();
  }
  for (const std::string& part : parts) {
    const std::size_t colon = part.find(':');
    CurvePoint p;
    if (colon == std::string::npos || !ParseReal(part.substr(0, colon), p.x) ||
        !ParseReal(part.substr(colon + 1), p.y) || !std::isfinite(p.x) || !std::isfinite(p.y))
      return Status::Error(kCurvePointsRefused);
    if (!params.points.empty() && !(p.x > params.points.back().x)) return Status::Error(kCurvePointsRefused);
    params.points.push_back(p);
  }
  if (params.points.size() < 2) return Status::Error(kCurvePointsRefused);
  return Status::Ok();
}

std::string CurveText(const ToneCurveParams& params) {
  std::string text;
  for (const CurvePoint& p : params.points) {
    if (!text.empty()) text += ',';
    text += FormatGeneral(p.x) + ":" + FormatGeneral(p.y);
  }
  if (params.channel == CurveChannel::kRed) text += ",r";
  if (params.channel == CurveChannel::kGreen) text += ",g";
  if (params.channel == CurveChannel::kBlue) text += ",b";
  return text;
}

MonotoneCurve::MonotoneCurve(const std::vector<CurvePoint>& points) : m_points(points) {
  const std::size_t n = m_points.size();
  m_slopes.assign(n, 0.0);
  if (n < 2) return;
  std::vector<double> d(n - 1);
  for (std::size_t k = 0; k + 1 < n; ++k)
    d[k] = (m_points[k + 1].y - m_points[k].y) / (m_points[k + 1].x - m_points[k].x);
  m_slopes[0] = d[0];
  m_slopes[n - 1] = d[n - 2];
  for (std::size_t k = 1; k + 1 < n; ++k) m_slopes[k] = d[k - 1] * d[k] <= 0 ? 0.0 : 0.5 * (d[k - 1] + d[k]);
  // Fritsch-Carlson: slopes limited so each piece stays monotone.
  for (std::size_t k = 0; k + 1 < n; ++k) {
    if (d[k] == 0.0) {
      m_slopes[k] = m_slopes[k + 1] = 0.0;
      continue;
    }
    const double a = m_slopes[k] / d[k], b = m_slopes[k + 1] / d[k];
    if (a < 0) m_slopes[k] = 0;
    if (b < 0) m_slopes[k + 1] = 0;
    const double r = a * a + b * b;
    if (r > 9.0) {
      const double t = 3.0 / std::sqrt(r);
      m_slopes[k] = t * a * d[k];
      m_slopes[k + 1] = t * b * d[k];
    }
  }
}

double MonotoneCurve::operator()(double x) const {
  const std::size_t n = m_points.size();
  if (n == 0) return x;
  if (x <= m_points.front().x) return m_points.front().y + (x - m_points.front().x);
  if (x >= m_points.back().x) return m_points.back().y + (x - m_points.back().x);
  const auto it = std::upper_bound(m_points.begin(), m_points.end(), x,
                                   [](double v, const CurvePoint& p) { return v < p.x; });
  const std::size_t k = static_cast<std::size_t>(it - m_points.begin()) - 1;
  const double h = m_points[k + 1].x - m_points[k].x;
  const double t = (x - m_points[k].x) / h;
  const double t2 = t * t, t3 = t2 * t;
  return (2 * t3 - 3 * t2 + 1) * m_points[k].y + (t3 - 2 * t2 + t) * h * m_slopes[k] +
         (-2 * t3 + 3 * t2) * m_points[k + 1].y + (t3 - t2) * h * m_slopes[k + 1];
}

std::vector<std::uint16_t> CurveTable(const std::vector<CurvePoint>& points, int max_value) {
  const MonotoneCurve curve(points);
  std::vector<std::uint16_t> table(static_cast<std::size_t>(max_value) + 1);
  for (int v = 0; v <= max_value; ++v) {
    const double y = std::clamp(std::floor(curve(v) + 0.5), 0.0, static_cast<double>(max_value));
    table[v] = static_cast<std::uint16_t>(y);
  }
  return table;
}

std::vector<CurvePoint> PresetCurve(CurvePreset preset, double lo, double hi, double strength) {
  if (!(hi > lo)) hi = lo + 1;
  std::vector<CurvePoint> points;
  auto add = [&](double t, double u) { points.push_back({lo + t * (hi - lo), lo + u * (hi - lo)}); };
  switch (preset) {
    case CurvePreset::kIdentity:
      add(0, 0);
      add(1, 1);
      break;
    case CurvePreset::kSCurve:
      add(0, 0);
      add(0.25, 0.18);
      add(0.75, 0.82);
      add(1, 1);
      break;
    case CurvePreset::kGamma:
    case CurvePreset::kAsinh: {
      const double s = strength > 0 ? strength : 1.0;
      for (int k = 0; k <= 16; ++k) {
        // Points crowd near the dark end, where these curves bend most.
        const double t = std::pow(k / 16.0, 2.0);
        const double u =
            preset == CurvePreset::kGamma ? std::pow(t, 1.0 / s) : std::asinh(s * t) / std::asinh(s);
        add(t, u);
      }
      break;
    }
  }
  return points;
}

Status ToneCurveKindCheck(const ImageDocument& doc) { return ColourOrRawCheck("トーンカーブ", doc.kind); }

Status ToneCurveCommand(ImageDocument& doc, const ToneCurveParams& params) {
  if (Status s = ToneCurveKindCheck(doc); !s) return s;
  if (params.points.size() < 2) return Status::Error(kCurvePointsRefused);
  for (std::size_t k = 1; k < params.points.size(); ++k)
    if (!(params.points[k].x > params.points[k - 1].x)) return Status::Error(kCurvePointsRefused);
  const int max_value = doc.kind == WindowKind::kRaw16 ? 65535 : 255;
  for (const CurvePoint& p : params.points)
    if (p.x < 0 || p.x > max_value || p.y < 0 || p.y > max_value) return Status::Error(kCurveRangeRefused);
  if (doc.kind == WindowKind::kRaw16 && params.channel != CurveChannel::kAll)
    return Status::Error(kCurveChannelRefused);

  const std::vector<std::uint16_t> table = CurveTable(params.points, max_value);
  if (doc.kind == WindowKind::kRaw16) {
    std::vector<std::uint16_t> raw;
    if (Status s = ReadRawValues(doc, "トーンカーブ", raw); !s) return s;
    ParallelFor(
        static_cast<long long>(raw.size()), static_cast<long long>(raw.size()),
        [&](long long a, long long b) {
          for (long long k = a; k < b; ++k) raw[k] = table[raw[k]];
        },
        4096);
    StoreRawValues(doc, raw);
  } else {
    // Bytes are blue, green, red.
    bool apply[3] = {true, true, true};
    if (params.channel != CurveChannel::kAll) {
      const int c = params.channel == CurveChannel::kRed ? 2 : params.channel == CurveChannel::kGreen ? 1 : 0;
      for (int k = 0; k < 3; ++k) apply[k] = k == c;
    }
    Picture& base = doc.ImageZm;
    ParallelFor(base.height(), static_cast<long long>(base.width()) * base.height(), [&](int y0, int y1) {
      for (int y = y0; y < y1; ++y) {
        std::uint8_t* row = base.Row(y);
        for (int x = 0; x < base.width(); ++x)
          for (int c = 0; c < 3; ++c)
            if (apply[c]) row[3 * x + c] = static_cast<std::uint8_t>(table[row[3 * x + c]]);
      }
    });
    if (doc.Image.width() == base.width() && doc.Image.height() == base.height())
      doc.Image = base;
    else
      DrawAt00(doc.Image, base);
  }
  NoteCommand(doc, "curve " + CurveText(params));
  return Status::Ok();
}

}  // namespace qirm
