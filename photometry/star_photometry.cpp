// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/star_photometry.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <sstream>

#include "core/numbers.h"
#include "core/parallel.h"
#include "photometry/aperture.h"
#include "photometry/profile_fit.h"

namespace qirm {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

Status CheckStarParams(const StarPhotometryParams& p) {
  for (double v :
       {p.aperture, p.annulus_inner, p.annulus_outer, p.search, p.zero_point, p.gain, p.read_noise}) {
    if (!std::isfinite(v)) return Status::Error("photometry values must be finite numbers");
  }
  if (!(p.aperture > 0)) return Status::Error("the aperture radius must be above 0");
  if (p.annulus_inner < p.aperture) return Status::Error("the annulus must not start inside the aperture");
  if (!(p.annulus_outer > p.annulus_inner))
    return Status::Error("the annulus's outer radius must exceed its inner");
  if (p.annulus_outer > 1000) return Status::Error("the annulus's outer radius must not exceed 1000 pixels");
  if (p.search < 0 || p.search > 1000) return Status::Error("the search radius must be 0 to 1000 pixels");
  if (!(p.gain > 0)) return Status::Error("the gain must be above 0");
  if (p.read_noise < 0) return Status::Error("the read noise must not be negative");
  if (std::fabs(p.zero_point) > kMaxZeroPoint) return Status::Error("the zero point must be -100 to 100");
  return Status::Ok();
}

Status MeasureStar(const SamplePlane& plane, double x, double y, const StarPhotometryParams& params,
                   const HeaderNoise& header, StarMeasurement& out) {
  if (Status s = CheckStarParams(params); !s) return s;
  if (!std::isfinite(x) || !std::isfinite(y)) return Status::Error("the position must be finite");
  out = StarMeasurement{};
  // The sky about the brightest pixel decides which values count as the
  // star's when the centre is refined.
  int px = 0, py = 0;
  if (!BrightestPixel(plane, x, y, params.search, px, py))
    return Status::Error("the position lies outside the picture");
  double cx = px, cy = py;
  const ClippedStats first_sky = AnnulusSky(plane, cx, cy, params.annulus_inner, params.annulus_outer);
  if (first_sky.count == 0) return Status::Error("the sky annulus lies outside the picture");
  MomentCentroid(plane, params.aperture, first_sky.median, cx, cy);
  const ClippedStats sky = AnnulusSky(plane, cx, cy, params.annulus_inner, params.annulus_outer);
  if (sky.count == 0) return Status::Error("the sky annulus lies outside the picture");
  const ApertureSum ap = CircularApertureSum(plane, cx, cy, params.aperture);

  out.x = cx;
  out.y = cy;
  out.sky = sky.median;
  out.sky_sigma = sky.sigma;
  out.sky_count = sky.count;
  out.area = ap.area;
  out.flux = ap.sum - sky.median * ap.area;
  out.peak = ap.area > 0 ? ap.peak : kNaN;
  out.clipped = ap.clipped || cx - params.annulus_outer < -0.5 || cy - params.annulus_outer < -0.5 ||
                cx + params.annulus_outer > plane.width - 0.5 ||
                cy + params.annulus_outer > plane.height - 0.5;
  out.gain = header.gain.value_or(params.gain);
  out.read_noise = header.read_noise.value_or(params.read_noise);
  const double noise = std::max(sky.sigma, out.read_noise / out.gain);
  const double variance = std::max(out.flux, 0.0) / out.gain + ap.area * noise * noise +
                          ap.area * ap.area * noise * noise / sky.count;
  out.flux_err = std::sqrt(variance);
  out.snr = out.flux_err > 0 ? out.flux / out.flux_err : kNaN;
  out.mag = out.flux > 0 ? params.zero_point - 2.5 * std::log10(out.flux) : kNaN;
  out.mag_err = out.flux > 0 ? 2.5 / std::numbers::ln10 * out.flux_err / out.flux : kNaN;

  // The start width: the circle of the pixels above half the peak.
  const int half = static_cast<int>(std::ceil(params.annulus_inner));
  int above = 0;
  const double half_max = sky.median + 0.5 * (out.peak - sky.median);
  for (int j = static_cast<int>(std::lround(cy)) - half; j <= static_cast<int>(std::lround(cy)) + half; ++j)
    for (int i = static_cast<int>(std::lround(cx)) - half; i <= static_cast<int>(std::lround(cx)) + half; ++i)
      if (plane.Inside(i, j) && plane.At(i, j) > half_max) ++above;
  const double fwhm0 = 2 * std::sqrt(above / std::numbers::pi);
  const GaussianFit g = FitGaussian(plane, cx, cy, half, sky.median, out.peak, fwhm0);
  out.fwhm_gauss = g.ok ? g.Fwhm() : kNaN;
  out.ellipticity = g.ok ? g.Ellipticity() : kNaN;
  out.theta = g.ok ? g.theta : kNaN;
  const MoffatFit mf = FitMoffat(plane, cx, cy, half, sky.median, out.peak, g.ok ? g.Fwhm() : fwhm0);
  out.fwhm_moffat = mf.ok ? mf.Fwhm() : kNaN;
  out.moffat_beta = mf.ok ? mf.beta : kNaN;
  return Status::Ok();
}

Status MeasureStarInWindow(const ImageDocument& doc, PhotometryChannel channel, double x, double y,
                           const StarPhotometryParams& params, StarMeasurement& out) {
  if (Status s = CheckStarParams(params); !s) return s;
  if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e9 || std::fabs(y) > 1e9) {
    return Status::Error("the position lies outside the picture");
  }
  // The centre stays within search + r of the click; the annulus and the fit
  // box reach rout beyond it.
  const int reach = static_cast<int>(std::ceil(params.search + params.aperture + params.annulus_outer)) + 2;
  const int x0 = static_cast<int>(std::floor(x)) - reach;
  const int y0 = static_cast<int>(std::floor(y)) - reach;
  SamplePlane plane;
  int ox = 0, oy = 0;
  if (Status s = SamplePlaneOf(doc, channel, x0, y0, 2 * reach + 2, 2 * reach + 2, plane, ox, oy); !s)
    return s;
  if (Status s = MeasureStar(plane, x - ox, y - oy, params, NoiseFromHeader(doc.fits_cards), out); !s)
    return s;
  out.x += ox;
  out.y += oy;
  return Status::Ok();
}

void MeasureStars(const ImageDocument& doc, PhotometryChannel channel,
                  const std::vector<StarPosition>& positions, const StarPhotometryParams& params,
                  std::vector<StarMeasurement>& out, std::vector<Status>& statuses) {
  out.assign(positions.size(), StarMeasurement{});
  statuses.assign(positions.size(), Status::Ok());
  MeasureStarsInOrder(doc, channel, positions, params,
                      [&](std::size_t k, const StarMeasurement& m, const Status& status) {
                        out[k] = m;
                        statuses[k] = status;
                      });
}

void MeasureStarsInOrder(const ImageDocument& doc, PhotometryChannel channel,
                         const std::vector<StarPosition>& positions, const StarPhotometryParams& params,
                         const StarDone& done) {
  const std::size_t n = positions.size();
  std::vector<StarMeasurement> measured(n);
  std::vector<Status> statuses(n, Status::Ok());
  std::vector<std::atomic<bool>> ready(n);
  std::atomic<std::size_t> next{0};
  std::size_t handed = 0;  // the calling thread's alone
  const auto hand_on = [&] {
    for (; handed < n && ready[handed].load(std::memory_order_acquire); ++handed)
      done(handed, measured[handed], statuses[handed]);
  };
  // A star's fits touch the box of half size ceil(rin) some tens of times.
  // Stars differ in cost (a fit that does not converge takes longer), so
  // each core takes the next star as it comes free rather than a fixed share.
  const double box = 2 * std::ceil(params.annulus_inner) + 1;
  const long long work = static_cast<long long>(std::min(1e15, static_cast<double>(n) * box * box * 20));
  const int parts = n <= 1 ? 1 : PartCount(work, static_cast<int>(std::min<std::size_t>(n, 1 << 20)));
  RunInParts(parts, [&](int part) {
    for (std::size_t k; (k = next.fetch_add(1)) < n;) {
      statuses[k] = MeasureStarInWindow(doc, channel, positions[k].x, positions[k].y, params, measured[k]);
      ready[k].store(true, std::memory_order_release);
      if (part == 0) hand_on();
    }
  });
  hand_on();
}

std::string RealText(double v, int digits, char style) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  digits = std::clamp(digits, 0, 100);
  const auto format = style == 'g' ? std::chars_format::general : std::chars_format::fixed;
  char small[64];
  std::string text;
  if (const auto r = std::to_chars(small, small + sizeof small, v, format, digits); r.ec == std::errc{}) {
    text.assign(small, r.ptr);
  } else {
    // A large value in fixed notation: up to 309 digits before the point.
    std::string large(static_cast<std::size_t>(digits) + 330, '\0');
    const auto l = std::to_chars(large.data(), large.data() + large.size(), v, format, digits);
    if (l.ec != std::errc{}) return "nan";  // no double needs more
    text.assign(large.data(), l.ptr);
  }
  if (text == "-0" || text.find_first_not_of("-0.") == std::string::npos) {
    // No "-0.000": a value that rounds to zero is zero.
    if (!text.empty() && text[0] == '-') text.erase(0, 1);
  }
  return text;
}

const std::vector<std::string>& StarValueNames() {
  static const std::vector<std::string> names = {
      "X",       "Y",    "FLUX",       "FLUX_ERR",    "SKY",         "SKY_SIGMA",   "SNR",  "MAG",
      "MAG_ERR", "PEAK", "FWHM_GAUSS", "FWHM_MOFFAT", "MOFFAT_BETA", "ELLIPTICITY", "THETA"};
  return names;
}

std::vector<std::string> StarValueTexts(const StarMeasurement& m) {
  return {RealText(m.x, 3),           RealText(m.y, 3),
          RealText(m.flux, 10, 'g'),  RealText(m.flux_err, 10, 'g'),
          RealText(m.sky, 10, 'g'),   RealText(m.sky_sigma, 10, 'g'),
          RealText(m.snr, 2),         RealText(m.mag, 4),
          RealText(m.mag_err, 4),     RealText(m.peak, 10, 'g'),
          RealText(m.fwhm_gauss, 3),  RealText(m.fwhm_moffat, 3),
          RealText(m.moffat_beta, 3), RealText(m.ellipticity, 3),
          RealText(m.theta, 1)};
}

std::string StarKeyValueLines(const StarMeasurement& m) {
  const std::vector<std::string> values = StarValueTexts(m);
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) out += StarValueNames()[i] + "=" + values[i] + "\n";
  return out;
}

std::string CsvLine(const std::vector<std::string>& cells) {
  std::string out;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i) out += ',';
    const std::string& c = cells[i];
    if (c.find_first_of(",\"\r\n") == std::string::npos) {
      out += c;
      continue;
    }
    out += '"';
    for (char ch : c) out += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    out += '"';
  }
  return out;
}

void ParsePositionList(const std::string& text, std::vector<StarPosition>& positions,
                       std::vector<int>& bad_lines) {
  positions.clear();
  bad_lines.clear();
  std::istringstream in(text);
  std::string line;
  int number = 0;
  bool first = true;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const bool heading = first && !(std::isdigit(static_cast<unsigned char>(line[start])) ||
                                    line[start] == '-' || line[start] == '+' || line[start] == '.');
    first = false;
    if (heading) continue;
    const std::size_t comma = line.find(',');
    const std::size_t next = comma == std::string::npos ? std::string::npos : line.find(',', comma + 1);
    StarPosition p;
    p.line = number;
    if (comma == std::string::npos || !ParseReal(line.substr(0, comma), p.x) ||
        !ParseReal(line.substr(comma + 1, next == std::string::npos ? std::string::npos : next - comma - 1),
                   p.y) ||
        !std::isfinite(p.x) || !std::isfinite(p.y)) {
      bad_lines.push_back(number);
      continue;
    }
    positions.push_back(p);
  }
}

}  // namespace qirm
