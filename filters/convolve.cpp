// SPDX-License-Identifier: GPL-3.0-or-later
// Convolve and ConvolveBelow: correlation of an integer matrix with a
// normalised real kernel.
//
// The work goes column by column (columns are contiguous): the taps that
// land in a column are listed once, in kernel order (a outer, b inner), and
// filters/correlation_column.cpp forms its sums exactly as a plain loop over
// elements and taps would. Results are written back in place, each column as
// soon as no later column reads its old values. Large matrices are split
// into column bands, one thread each.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/numbers.h"
#include "core/parallel.h"
#include "filters/correlation_column.h"
#include "filters/primitives.h"

namespace qirm {
namespace {

// A non-zero weight with its displacement and the rows where it falls
// inside the matrix.
struct Tap {
  int dx;
  int dy;
  double w;
  int y0;
  int y1;
};

inline std::int32_t KeptPixel(std::int32_t v) { return v < 0 ? 0 : v; }

std::string SizeText(int a, int b) { return std::to_string(a) + " x " + std::to_string(b); }

Status CheckArguments(const char* op, int ka, int kb, const RealMatrix& kernel, int nx, int ny,
                      const IntMatrix& m) {
  if (ka < 1 || kb < 1 || ka > kernel.count() || kb > kernel.n()) {
    return Status::Error(std::string(op) + ": kernel size " + SizeText(ka, kb) + " does not fit the " +
                         SizeText(kernel.count(), kernel.n()) + " kernel matrix");
  }
  if (nx < 0 || ny < 0 || nx > m.count() || ny > m.n()) {
    return Status::Error(std::string(op) + ": extent " + SizeText(nx, ny) + " does not fit the " +
                         SizeText(m.count(), m.n()) + " matrix");
  }
  return Status::Ok();
}

// The leading ka x kb block divided by its sum. The sum is an intermediate
// of this one step and stays in extended precision; only the quotients are
// stored as doubles. That makes normalising idempotent: a kernel of n times
// 1/n comes back unchanged (n = 1..100), where a sum rounded to a double at
// every step would move 1/9 to 0.11111111111111108.
// A sum of 0 (or no finite sum) is an error: there is no normalised kernel
// to apply.
Status NormalisedKernel(const char* op, int ka, int kb, const RealMatrix& kernel, RealMatrix& normalised) {
  Extended sum = 0;
  for (int a = 0; a < ka; ++a)
    for (int b = 0; b < kb; ++b) sum += kernel[a][b];
  if (sum == 0 || !std::isfinite(sum)) {
    return Status::Error(std::string(op) + ": the kernel weights sum to " +
                         (sum == 0 ? std::string("0") : std::string("no finite number")));
  }
  if (!normalised.Allocate(ka, kb)) return Status::Error(std::string(op) + ": no memory for the kernel");
  // Zero weights (most of a long kernel) divide to a signed zero: taken
  // from these two instead of a division each.
  const double zero = static_cast<double>(static_cast<Extended>(0.0) / sum);
  const double negative_zero = static_cast<double>(static_cast<Extended>(-0.0) / sum);
  for (int a = 0; a < ka; ++a) {
    for (int b = 0; b < kb; ++b) {
      const double v = kernel[a][b];
      normalised[a][b] = v != 0.0 ? static_cast<double>(static_cast<Extended>(v) / sum)
                                  : (std::signbit(v) ? negative_zero : zero);
    }
  }
  return Status::Ok();
}

// The non-zero taps in kernel order with their displacements; taps that
// miss every row are left out.
std::vector<Tap> TapList(int ka, int kb, const RealMatrix& kernel, int shift, int nx, int ny) {
  std::vector<Tap> taps;
  for (int a = 0; a < ka; ++a) {
    for (int b = 0; b < kb; ++b) {
      if (kernel[a][b] == 0.0) continue;
      const int dx = a - ka / 2 + shift;
      const int dy = b - kb / 2 + shift;
      const int y0 = std::max(0, -dy);
      const int y1 = static_cast<int>(std::min<long long>(ny, static_cast<long long>(ny) - dy));
      // A tap further sideways than the matrix is wide reads no column for
      // any element: leaving it out changes no sum (a long kernel on a
      // small picture would otherwise be walked for every column).
      if (y0 < y1 && dx > -nx && dx < nx) taps.push_back({dx, dy, kernel[a][b], y0, y1});
    }
  }
  return taps;
}

struct Job {
  const std::vector<Tap>* taps;
  int nx;
  int ny;
  IntMatrix* m;
  bool below;  // ConvolveBelow: only elements below threshold take the sum
  std::int32_t threshold;
  bool fused;       // the processor can take the fused path
  int reach_left;   // the furthest column to the left a tap reads (>= 0)
  int reach_right;  // the same to the right
};

SourceRange RangeOf(const std::int32_t* column, int ny) {
  std::int32_t lo = 0, hi = 0;
  for (int y = 0; y < ny; ++y) {
    lo = std::min(lo, column[y]);
    hi = std::max(hi, column[y]);
  }
  if (lo >= 0 && hi <= 2047) return SourceRange::kSmallNonNeg;
  if (lo >= -2047 && hi <= 2047) return SourceRange::kSmall;
  return SourceRange::kWide;
}

// One band of columns [x0, x1) with all its working storage, obtained before
// any thread starts so that no thread has to allocate.
//
// A column's old values are read by the columns up to reach_left to its
// right and reach_right to its left. Inside the band the result of column x
// therefore waits in a ring of reach_left + 1 columns until column
// x + reach_left is done, then goes into the matrix. Results of the columns
// that another band reads are held until every band is done.
class Band {
 public:
  Band(const Job& job, int x0, int x1) : m_job(job), m_x0(x0), m_x1(x1) {}

  // False when the storage cannot be obtained.
  bool Prepare() {
    const int ny = m_job.ny;
    for (int x = m_x0; x < m_x1; ++x)
      if (ReadByOtherBand(x)) m_held_x.push_back(x);
    if (!m_ring.Allocate(m_job.reach_left + 1, ny)) return false;
    if (!m_held.Allocate(static_cast<int>(m_held_x.size()), ny)) return false;
    if (!m_scratch.Allocate(1, ny)) return false;
    m_range.assign(static_cast<std::size_t>(m_job.nx), -1);
    m_taps.reserve(m_job.taps->size());
    return true;
  }

  void Run() {
    const int lag = m_job.reach_left;
    std::size_t held = 0;
    for (int x = m_x0; x < m_x1; ++x) {
      const bool keep = ReadByOtherBand(x);
      std::int32_t* out = keep ? m_held[static_cast<int>(held++)] : m_ring[x % (lag + 1)];
      ComputeColumn(x, out);
      if (x - lag >= m_x0 && !ReadByOtherBand(x - lag)) WriteBack(x - lag);
    }
    for (int x = std::max(m_x0, m_x1 - lag); x < m_x1; ++x)
      if (!ReadByOtherBand(x)) WriteBack(x);
  }

  // After every band is done.
  void WriteHeld() {
    for (std::size_t k = 0; k < m_held_x.size(); ++k) Copy(m_held[static_cast<int>(k)], m_held_x[k]);
  }

 private:
  bool ReadByOtherBand(int x) const {
    return (m_x0 > 0 && x - m_job.reach_right < m_x0) || (m_x1 < m_job.nx && x + m_job.reach_left >= m_x1);
  }

  void WriteBack(int x) { Copy(m_ring[x % (m_job.reach_left + 1)], x); }

  void Copy(const std::int32_t* values, int x) {
    std::memcpy((*m_job.m)[x], values, static_cast<std::size_t>(m_job.ny) * sizeof(std::int32_t));
  }

  void ComputeColumn(int x, std::int32_t* out) {
    const int nx = m_job.nx;
    const int ny = m_job.ny;
    IntMatrix& m = *m_job.m;
    const std::int32_t* self = m[x];
    if (m_job.below &&
        std::none_of(self, self + ny, [t = m_job.threshold](std::int32_t v) { return v < t; })) {
      for (int y = 0; y < ny; ++y) out[y] = KeptPixel(self[y]);
      return;
    }
    m_taps.clear();
    SourceRange widest = SourceRange::kSmallNonNeg;
    for (const Tap& tap : *m_job.taps) {
      const int xx = x + tap.dx;
      if (xx < 0 || xx >= nx) continue;
      m_taps.push_back({m[xx] + tap.dy, tap.w, tap.y0, tap.y1});
      if (m_job.fused) {
        if (m_range[xx] < 0) m_range[xx] = static_cast<signed char>(RangeOf(m[xx], ny));
        widest = std::min(widest, static_cast<SourceRange>(m_range[xx]));
      }
    }
    CorrelateColumn(m_taps, ny, widest, m_job.fused, m_scratch[0], out);
    if (m_job.below) {
      for (int y = 0; y < ny; ++y)
        if (self[y] >= m_job.threshold) out[y] = KeptPixel(self[y]);
    }
  }

  const Job& m_job;
  int m_x0;
  int m_x1;
  IntMatrix m_ring;
  IntMatrix m_held;
  std::vector<int> m_held_x;
  RealMatrix m_scratch;
  std::vector<signed char> m_range;  // SourceRange of each column read, -1 before it is looked at
  std::vector<ColumnTap> m_taps;
};

// Splits the columns into one band per core when the work pays for a
// thread; false when the working storage cannot be obtained.
bool RunInBands(const Job& job) {
  // Work in element-taps: one tap of one element costs about a pixel of the
  // lightest kernel.
  const long long work = static_cast<long long>(job.nx) * job.ny * std::max<std::size_t>(job.taps->size(), 1);
  // Bands narrower than the kernel's reach would hold back most columns.
  const long long widest_useful = job.nx / (1LL + job.reach_left + job.reach_right);
  const int count = PartCount(work, static_cast<int>(std::min<long long>(widest_useful, 1 << 30)));

  std::vector<Band> bands;
  try {
    bands.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
      bands.emplace_back(job, static_cast<int>(PartStart(job.nx, k, count)),
                         static_cast<int>(PartStart(job.nx, k + 1, count)));
      if (!bands.back().Prepare()) return false;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }

  RunInParts(count, [&bands](int k) { bands[static_cast<std::size_t>(k)].Run(); });
  for (Band& band : bands) band.WriteHeld();
  return true;
}

Status Correlate(const char* op, bool below, int t, int ka, int kb, RealMatrix& kernel, int nx, int ny,
                 IntMatrix& m) {
  if (Status s = CheckArguments(op, ka, kb, kernel, nx, ny, m); !s) return s;
  RealMatrix normalised;
  if (Status s = NormalisedKernel(op, ka, kb, kernel, normalised); !s) return s;

  if (nx > 0 && ny > 0) {
    const std::vector<Tap> taps = TapList(ka, kb, normalised, below ? 1 : 0, nx, ny);
    int reach_left = 0, reach_right = 0;
    for (const Tap& tap : taps) {
      reach_left = std::max(reach_left, std::min(-tap.dx, nx));
      reach_right = std::max(reach_right, std::min(tap.dx, nx));
    }
    if (!RunInBands(Job{&taps, nx, ny, &m, below, t, HaveFusedSums(), reach_left, reach_right})) {
      return Status::Error(std::string(op) + ": no memory for the working columns of a " + SizeText(nx, ny) +
                           " matrix");
    }
  }
  // The caller's kernel stays normalised, as the sums used it.
  for (int a = 0; a < ka; ++a)
    for (int b = 0; b < kb; ++b) kernel[a][b] = normalised[a][b];
  return Status::Ok();
}

}  // namespace

Status Convolve(int ka, int kb, RealMatrix& kernel, int nx, int ny, IntMatrix& m) {
  return Correlate("Convolve", false, 0, ka, kb, kernel, nx, ny, m);
}

Status ConvolveBelow(int t, int ka, int kb, RealMatrix& kernel, int nx, int ny, IntMatrix& m) {
  return Correlate("ConvolveBelow", true, t, ka, kb, kernel, nx, ny, m);
}

}  // namespace qirm
