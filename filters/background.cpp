// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/background.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/numbers.h"
#include "core/parallel.h"
#include "display/raw_values.h"
#include "document/kind_refusal.h"

namespace qirm {
namespace {

int TermCount(int degree) { return (degree + 1) * (degree + 2) / 2; }

// The exponents (i, j) of term k, by total degree.
void TermPowers(int k, int& i, int& j) {
  int d = 0;
  while (k > d) {
    k -= d + 1;
    ++d;
  }
  j = k;
  i = d - k;
}

// Coordinates scaled so the frame spans -1..1 on each axis.
struct Scale {
  double cx, sx, cy, sy;
  Scale(int w, int h)
      : cx(0.5 * (w - 1)), sx(std::max(1.0, 0.5 * w)), cy(0.5 * (h - 1)), sy(std::max(1.0, 0.5 * h)) {}
};

double Median(std::vector<float>& v) {
  const std::size_t n = v.size();
  auto mid = v.begin() + n / 2;
  std::nth_element(v.begin(), mid, v.end());
  double m = *mid;
  if (n % 2 == 0) m = 0.5 * (m + *std::max_element(v.begin(), mid));
  return m;
}

struct BoxSky {
  double sky = 0;
  double high = 0;  // the share of samples far above the sky
};

// Sigma-clipped median of the samples: three rounds of 3-sigma clipping
// about the median, sigma from the median absolute deviation (at least half
// a level, so integer data with little noise still clips sensibly). The
// samples are sorted once; each round's kept samples are then a range of
// them, its median the range's middle and its deviation found by walking
// outwards from the median.
BoxSky ClippedSky(std::vector<float>& sorted) {
  std::sort(sorted.begin(), sorted.end());
  const std::size_t n = sorted.size();
  auto median = [&](std::size_t lo, std::size_t hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    return (hi - lo) % 2 ? double(sorted[mid]) : 0.5 * (double(sorted[mid - 1]) + double(sorted[mid]));
  };
  // The median of |v - m| over sorted[lo, hi): the k-th nearest samples to
  // m come from the two sides of m in order of distance.
  auto deviation = [&](std::size_t lo, std::size_t hi, double m) {
    std::size_t r = static_cast<std::size_t>(std::lower_bound(sorted.begin() + lo, sorted.begin() + hi, m) -
                                             sorted.begin());
    std::size_t l = r;  // the next on the left is l - 1
    const std::size_t count = hi - lo, want = count / 2;
    double last = 0, before = 0;
    for (std::size_t k = 0; k <= want; ++k) {
      const double dl = l > lo ? m - sorted[l - 1] : HUGE_VAL;
      const double dr = r < hi ? sorted[r] - m : HUGE_VAL;
      before = last;
      if (dl <= dr) {
        last = dl;
        --l;
      } else {
        last = dr;
        ++r;
      }
    }
    return count % 2 ? last : 0.5 * (before + last);
  };
  std::size_t lo = 0, hi = n;
  double m = 0, sigma = 0;
  for (int round = 0; round < 3 && hi > lo; ++round) {
    m = median(lo, hi);
    sigma = std::max(0.5, 1.4826 * deviation(lo, hi, m));
    lo = static_cast<std::size_t>(std::lower_bound(sorted.begin(), sorted.end(), m - 3 * sigma) -
                                  sorted.begin());
    hi = static_cast<std::size_t>(std::upper_bound(sorted.begin(), sorted.end(), m + 3 * sigma) -
                                  sorted.begin());
  }
  BoxSky result;
  if (hi > lo) m = median(lo, hi);
  result.sky = m;
  const std::size_t high =
      n - static_cast<std::size_t>(std::upper_bound(sorted.begin(), sorted.end(), m + 3 * sigma) -
                                   sorted.begin());
  result.high = static_cast<double>(high) / n;
  return result;
}

// Solves the normal equations a x = b (n x n, row major) by elimination with
// partial pivoting; false when singular.
bool Solve(std::vector<long double>& a, std::vector<long double>& b, int n) {
  for (int c = 0; c < n; ++c) {
    int p = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(a[r * n + c]) > std::fabs(a[p * n + c])) p = r;
    if (std::fabs(a[p * n + c]) < 1e-12L) return false;
    if (p != c) {
      for (int k = 0; k < n; ++k) std::swap(a[c * n + k], a[p * n + k]);
      std::swap(b[c], b[p]);
    }
    for (int r = c + 1; r < n; ++r) {
      const long double f = a[r * n + c] / a[c * n + c];
      for (int k = c; k < n; ++k) a[r * n + k] -= f * a[c * n + k];
      b[r] -= f * b[c];
    }
  }
  for (int c = n - 1; c >= 0; --c) {
    long double s = b[c];
    for (int k = c + 1; k < n; ++k) s -= a[c * n + k] * b[k];
    b[c] = s / a[c * n + c];
  }
  return true;
}

void Terms(int degree, double u, double v, double* out) {
  const double pu[4] = {1, u, u * u, u * u * u}, pv[4] = {1, v, v * v, v * v * v};
  const int n = TermCount(degree);
  for (int k = 0; k < n; ++k) {
    int i, j;
    TermPowers(k, i, j);
    out[k] = pu[i] * pv[j];
  }
}

// Least squares over the boxes in use; false when singular.
bool FitTerms(const std::vector<BackgroundBox>& boxes, const Scale& s, int degree, std::vector<double>& c) {
  const int n = TermCount(degree);
  std::vector<long double> a(n * n, 0.0L), b(n, 0.0L);
  double t[10];
  for (const BackgroundBox& box : boxes) {
    if (box.star || box.outlier) continue;
    Terms(degree, (box.x - s.cx) / s.sx, (box.y - s.cy) / s.sy, t);
    for (int r = 0; r < n; ++r) {
      for (int k = 0; k < n; ++k) a[r * n + k] += static_cast<long double>(t[r]) * t[k];
      b[r] += static_cast<long double>(t[r]) * box.sky;
    }
  }
  if (!Solve(a, b, n)) return false;
  c.assign(n, 0.0);
  for (int k = 0; k < n; ++k) c[k] = static_cast<double>(b[k]);
  return true;
}

// The mean of u^p over the pixels of an axis, p = 0..3.
void PowerMeans(int size, double centre, double scale, double* mean) {
  long double sum[4] = {0, 0, 0, 0};
  for (int x = 0; x < size; ++x) {
    const long double u = (x - centre) / scale;
    long double p = 1;
    for (int k = 0; k < 4; ++k, p *= u) sum[k] += p;
  }
  for (int k = 0; k < 4; ++k) mean[k] = static_cast<double>(sum[k] / size);
}

}  // namespace

Status ParseBackgroundParams(const std::string& model, const std::string& box, BackgroundParams& params) {
  if (model == "plane")
    params.degree = 1;
  else if (model == "poly2")
    params.degree = 2;
  else if (model == "poly3")
    params.degree = 3;
  else
    return Status::Error(kBackgroundModelRefused);
  int size = 0;
  if (!ParseInt(box, size) || size < kMinBackgroundBox || size > kMaxBackgroundBox)
    return Status::Error(kBackgroundBoxRefused);
  params.box = size;
  return Status::Ok();
}

std::string BackgroundModelName(int degree) {
  return degree == 1 ? "plane" : degree == 2 ? "poly2" : "poly3";
}

double BackgroundFit::Model(double x, double y) const {
  const Scale s(width, height);
  double t[10];
  Terms(degree, (x - s.cx) / s.sx, (y - s.cy) / s.sy, t);
  double m = 0;
  for (std::size_t k = 0; k < coefficients.size(); ++k) m += coefficients[k] * t[k];
  return m;
}

template <class T>
Status FitBackground(const T* data, int width, int height, std::ptrdiff_t pixel_step, std::ptrdiff_t row_step,
                     const BackgroundParams& params, BackgroundFit& fit) {
  fit = BackgroundFit{};
  fit.degree = std::clamp(params.degree, 1, 3);
  fit.width = width;
  fit.height = height;
  const int box = std::max(1, params.box);
  const int nx = std::max(1, width / box);
  const int ny = std::max(1, height / box);
  fit.boxes.resize(static_cast<std::size_t>(nx) * ny);
  // Boxes tile the frame in near-equal sizes; each reads an even sub-grid.
  // About a quarter of a million samples in all are plenty: 64 to 1024 a
  // box (a median of 64 is within 0.16 sigma, and the fit averages
  // hundreds of boxes).
  const double per_box = std::clamp(262144.0 / (static_cast<double>(nx) * ny), 64.0, 1024.0);
  const int grid =
      std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(box) * box / per_box))));
  ParallelFor(ny, static_cast<long long>(width) * height / (grid * grid), [&](int by0, int by1) {
    std::vector<float> samples;
    for (int by = by0; by < by1; ++by) {
      const int y0 = static_cast<int>(static_cast<long long>(by) * height / ny);
      const int y1 = static_cast<int>(static_cast<long long>(by + 1) * height / ny);
      for (int bx = 0; bx < nx; ++bx) {
        const int x0 = static_cast<int>(static_cast<long long>(bx) * width / nx);
        const int x1 = static_cast<int>(static_cast<long long>(bx + 1) * width / nx);
        samples.clear();
        for (int y = y0 + grid / 2; y < y1; y += grid) {
          const T* row = data + y * row_step;
          for (int x = x0 + grid / 2; x < x1; x += grid)
            samples.push_back(static_cast<float>(row[x * pixel_step]));
        }
        BackgroundBox& b = fit.boxes[static_cast<std::size_t>(by) * nx + bx];
        b.x = 0.5 * (x0 + x1 - 1);
        b.y = 0.5 * (y0 + y1 - 1);
        if (samples.empty()) {
          b.star = true;
          continue;
        }
        const BoxSky sky = ClippedSky(samples);
        b.sky = sky.sky;
        b.high = sky.high;
      }
    }
  });
  // Stars lift a share of a box far above its sky; noise alone leaves about
  // 0.1 % there, and coarse integer steps a similar share in every box. A
  // box with more than 5 % and three times the typical share is on a star.
  {
    std::vector<float> shares;
    for (const BackgroundBox& b : fit.boxes)
      if (!b.star) shares.push_back(static_cast<float>(b.high));
    const double typical = shares.empty() ? 0.0 : Median(shares);
    for (BackgroundBox& b : fit.boxes)
      if (!b.star && b.high > std::max(0.05, 3 * typical)) b.star = true;
  }

  const Scale s(width, height);
  const int terms = TermCount(fit.degree);
  std::vector<double> residuals;
  for (int round = 0; round < 10; ++round) {
    int used = 0;
    for (const BackgroundBox& b : fit.boxes) used += !b.star && !b.outlier;
    if (used < terms || !FitTerms(fit.boxes, s, fit.degree, fit.coefficients))
      return Status::Error(kBackgroundTooFewBoxes);
    fit.boxes_used = used;
    residuals.clear();
    for (const BackgroundBox& b : fit.boxes)
      if (!b.star && !b.outlier) residuals.push_back(std::fabs(b.sky - fit.Model(b.x, b.y)));
    std::vector<float> r(residuals.begin(), residuals.end());
    fit.residual_sigma = 1.4826 * Median(r);
    // Outliers are chosen again from every sky box each round, so a box
    // dropped early comes back once the model has moved to it.
    const double limit = std::max(3 * fit.residual_sigma, 1e-9);
    bool changed = false;
    for (BackgroundBox& b : fit.boxes) {
      if (b.star) continue;
      const bool outlier = std::fabs(b.sky - fit.Model(b.x, b.y)) > limit;
      changed |= outlier != b.outlier;
      b.outlier = outlier;
    }
    if (!changed) break;
  }
  int used = 0;
  for (const BackgroundBox& b : fit.boxes) used += !b.star && !b.outlier;
  if (used < terms || !FitTerms(fit.boxes, s, fit.degree, fit.coefficients))
    return Status::Error(kBackgroundTooFewBoxes);
  fit.boxes_used = used;

  double mx[4], my[4];
  PowerMeans(width, s.cx, s.sx, mx);
  PowerMeans(height, s.cy, s.sy, my);
  fit.mean_level = 0;
  for (int k = 0; k < terms; ++k) {
    int i, j;
    TermPowers(k, i, j);
    fit.mean_level += fit.coefficients[k] * mx[i] * my[j];
  }
  return Status::Ok();
}

template <class T>
void SubtractBackground(T* data, int width, int height, std::ptrdiff_t pixel_step, std::ptrdiff_t row_step,
                        const BackgroundFit& fit, int max_value, bool model_only) {
  const Scale s(width, height);
  const int terms = static_cast<int>(fit.coefficients.size());
  ParallelFor(height, static_cast<long long>(width) * height, [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      // The model along a row is a cubic (or lower) in u: its coefficients
      // for this row's v, then Horner per pixel.
      const double v = (y - s.cy) / s.sy;
      double a[4] = {0, 0, 0, 0};
      for (int k = 0; k < terms; ++k) {
        int i, j;
        TermPowers(k, i, j);
        a[i] += fit.coefficients[k] * std::pow(v, j);
      }
      // Subtracting the model and adding the mean level in one offset; the
      // half rounds to nearest in the truncation below. Single precision
      // per pixel (four to a vector): its error, a ten-thousandth of a level
      // on a sky of thousands, is far below the rounding.
      const float shift = static_cast<float>(model_only ? 0.5 : fit.mean_level + 0.5);
      const float sign = model_only ? 0.0f : 1.0f, msign = model_only ? 1.0f : -1.0f;
      const float top = static_cast<float>(max_value);
      const float du = static_cast<float>(1.0 / s.sx), u0 = static_cast<float>(-s.cx / s.sx);
      const float c0 = static_cast<float>(a[0]), c1 = static_cast<float>(a[1]), c2 = static_cast<float>(a[2]),
                  c3 = static_cast<float>(a[3]);
      T* row = data + y * row_step;
      // Plain loops the compiler turns into vector code: u from x, not
      // summed, and the contiguous case apart from the strided one.
      auto value = [&](float p, int x) {
        const float u = u0 + static_cast<float>(x) * du;
        const float m = ((c3 * u + c2) * u + c1) * u + c0;
        const float v = sign * p + msign * m + shift;
        return static_cast<T>(static_cast<int>(std::min(std::max(v, 0.0f), top)));
      };
      if (pixel_step == 1) {
        for (int x = 0; x < width; ++x) row[x] = value(static_cast<float>(row[x]), x);
      } else {
        for (int x = 0; x < width; ++x)
          row[x * pixel_step] = value(static_cast<float>(row[x * pixel_step]), x);
      }
    }
  });
}

template Status FitBackground<std::uint8_t>(const std::uint8_t*, int, int, std::ptrdiff_t, std::ptrdiff_t,
                                            const BackgroundParams&, BackgroundFit&);
template Status FitBackground<std::uint16_t>(const std::uint16_t*, int, int, std::ptrdiff_t, std::ptrdiff_t,
                                             const BackgroundParams&, BackgroundFit&);
template void SubtractBackground<std::uint8_t>(std::uint8_t*, int, int, std::ptrdiff_t, std::ptrdiff_t,
                                               const BackgroundFit&, int, bool);
template void SubtractBackground<std::uint16_t>(std::uint16_t*, int, int, std::ptrdiff_t, std::ptrdiff_t,
                                                const BackgroundFit&, int, bool);

Status BackgroundKindCheck(const ImageDocument& doc) { return ColourOrRawCheck("背景傾斜", doc.kind); }

Status BackgroundCommand(ImageDocument& doc, const BackgroundParams& params, std::vector<BackgroundFit>* fits,
                         bool model_only) {
  static const char* const kName = "背景傾斜";
  if (fits) fits->clear();
  if (doc.kind == WindowKind::kRaw16) {
    std::vector<std::uint16_t> raw;
    if (Status s = ReadRawValues(doc, kName, raw); !s) return s;
    const int w = doc.raw.width, h = doc.raw.height;
    BackgroundFit fit;
    if (Status s = FitBackground(raw.data(), w, h, 1, w, params, fit); !s) return s;
    SubtractBackground(raw.data(), w, h, 1, w, fit, 65535, model_only);
    StoreRawValues(doc, raw);
    if (fits) fits->push_back(std::move(fit));
  } else if (doc.kind == WindowKind::kColour) {
    Picture result = doc.ImageZm;
    const int w = result.width(), h = result.height();
    if (w == 0 || h == 0) return Status::Ok();
    std::vector<BackgroundFit> all(3);
    for (int c = 0; c < 3; ++c) {
      if (Status s = FitBackground(result.Row(0) + c, w, h, 3, static_cast<std::ptrdiff_t>(result.stride()),
                                   params, all[c]);
          !s)
        return s;
    }
    for (int c = 0; c < 3; ++c)
      SubtractBackground(result.Row(0) + c, w, h, 3, static_cast<std::ptrdiff_t>(result.stride()), all[c],
                         255, model_only);
    if (doc.Image.width() == w && doc.Image.height() == h)
      doc.Image = result;
    else
      DrawAt00(doc.Image, result);
    doc.ImageZm = std::move(result);
    if (fits) *fits = std::move(all);
  } else {
    return BackgroundKindCheck(doc);
  }
  NoteCommand(doc, "background " + BackgroundModelName(params.degree) + " " + std::to_string(params.box));
  return Status::Ok();
}

}  // namespace qirm
