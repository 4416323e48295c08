// SPDX-License-Identifier: GPL-3.0-or-later
// RemoveBlooming: streaks of saturated values along picture columns are
// filled from their left neighbours and smoothed with a window median.
//
// The rule, step by step over the whole matrix:
//   1. flag every element >= t;
//   2. along each column, drop runs of l or fewer flags (star cores);
//   3. along each row, left to right, with a switch "previous element
//      filled": a value between t/4 and t/2 loses its flag; after a filled
//      element, a value below t takes (with its right neighbour) the value
//      two elements further along; a flagged element >= t (not in column 0)
//      takes its left neighbour's value and turns the switch on;
//   4-5. grow the flags by one element (4-neighbours, interior only);
//   6-8. every flagged or grown element with x >= 1 takes the window median
//      of the filled matrix (all medians first, clamped to 0..65535; a
//      median of 0, or none because the window does not fit, is not
//      applied).
//
// How it is computed: only the first step has to look at every element.
// Each column (contiguous in memory) is scanned for runs >= t, on every
// core for large matrices; the long runs become bits of a row-major flag
// map. Everything after that touches only flagged rows: step 3 is a no-op
// wherever the switch is off and the element is not flagged, so each row
// jumps from flag to flag; growing and merging are word-wide bit operations
// on the map; medians are taken where the merged map has bits, and a row's
// results are written once no later window reads that row. The result is
// the same, element for element, as the steps above run literally (the
// engine tests hold a literal version as the reference).
#include "filters/blooming.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "core/parallel.h"
#include "filters/primitives.h"

namespace qirm {
namespace {

using Word = std::uint64_t;

// A long run of saturated elements in column x, rows [y0, y1).
struct Run {
  int x;
  int y0;
  int y1;
};

// True when one of the n values at p is >= t. Branch-free so that it
// vectorises; the scan calls it on blocks of a column.
inline bool AnyAtLeast(const std::int32_t* p, int n, std::int32_t t) {
  int any = 0;
  for (int k = 0; k < n; ++k) any |= p[k] >= t;
  return any != 0;
}

// Steps 1 and 2 for the columns [x0, x1): the runs of more than l elements
// >= t.
void ScanColumns(const IntMatrix& m, int x0, int x1, int ny, int t, int l, std::vector<Run>& runs) {
  constexpr int kBlock = 32;
  for (int x = x0; x < x1; ++x) {
    const std::int32_t* column = m[x];
    int y = 0;
    while (y < ny) {
      while (y + kBlock <= ny && !AnyAtLeast(column + y, kBlock, t)) y += kBlock;
      if (y >= ny) break;
      if (column[y] < t) {
        ++y;
        continue;
      }
      const int y0 = y;
      while (y < ny && column[y] >= t) ++y;
      if (y - y0 > l) runs.push_back({x, y0, y});
    }
  }
}

// The runs of every column, in column order; the columns shared between
// at most `threads` threads (0: no cap) for large matrices.
std::vector<Run> LongRuns(const IntMatrix& m, int nx, int ny, int t, int l, int threads) {
  const int parts = PartCount(static_cast<long long>(nx) * ny, threads > 0 ? std::min(threads, nx) : nx);
  std::vector<std::vector<Run>> found(static_cast<std::size_t>(parts));
  ForEachPart(nx, parts, [&](int part, long long x0, long long x1) {
    ScanColumns(m, static_cast<int>(x0), static_cast<int>(x1), ny, t, l,
                found[static_cast<std::size_t>(part)]);
  });
  std::vector<Run> runs = std::move(found[0]);
  for (int part = 1; part < parts; ++part) {
    const std::vector<Run>& more = found[static_cast<std::size_t>(part)];
    runs.insert(runs.end(), more.begin(), more.end());
  }
  return runs;
}

// A bit map of nx x ny elements, rows of whole words (bit x of row y is
// bit x % 64 of word x / 64); bits at x >= nx stay 0.
class BitRows {
 public:
  BitRows(int nx, int ny)
      : m_nx(nx), m_words((nx + 63) / 64), m_bits(static_cast<std::size_t>(m_words) * ny, 0) {}

  int words() const { return m_words; }
  Word* Row(int y) { return m_bits.data() + static_cast<std::size_t>(y) * m_words; }
  const Word* Row(int y) const { return m_bits.data() + static_cast<std::size_t>(y) * m_words; }

  static bool Test(const Word* row, int x) { return (row[x >> 6] >> (x & 63)) & 1u; }
  static void Set(Word* row, int x) { row[x >> 6] |= Word{1} << (x & 63); }
  static void Clear(Word* row, int x) { row[x >> 6] &= ~(Word{1} << (x & 63)); }

  // The first set bit at or after x, or nx.
  int NextSet(const Word* row, int x) const {
    if (x >= m_nx) return m_nx;
    int w = x >> 6;
    Word bits = row[w] & (~Word{0} << (x & 63));
    while (bits == 0) {
      if (++w >= m_words) return m_nx;
      bits = row[w];
    }
    return w * 64 + std::countr_zero(bits);
  }

 private:
  int m_nx;
  int m_words;
  std::vector<Word> m_bits;
};

// Step 3 on row y: flag to flag while the switch is off, element by element
// while it is on.
void FillRow(int t, int nx, int y, IntMatrix& m, const BitRows& map, Word* flags) {
  const double quarter = t * 0.25;
  const double half = t * 0.5;
  bool filled = false;
  int x = map.NextSet(flags, 0);
  while (x < nx) {
    const std::int32_t v = m[x][y];
    if (quarter < v && v < half) BitRows::Clear(flags, x);  // the mid-level mark
    if (filled && v < t && x < nx - 2) {
      m[x + 1][y] = m[x + 2][y];
      m[x][y] = m[x + 1][y];
    }
    if (m[x][y] >= t && x > 0 && BitRows::Test(flags, x)) {
      m[x][y] = m[x - 1][y];
      filled = true;
    } else {
      filled = false;
    }
    x = filled ? x + 1 : map.NextSet(flags, x + 1);
  }
}

// Steps 4 and 5 for row y: the flags of the row with the interior elements
// that have a flagged 4-neighbour.
void MergedRow(const BitRows& map, int ny, int y, const std::vector<Word>& interior, Word* out) {
  const int words = map.words();
  const Word* cur = map.Row(y);
  if (y == 0 || y == ny - 1) {
    std::copy(cur, cur + words, out);
    return;
  }
  const Word* up = map.Row(y - 1);
  const Word* down = map.Row(y + 1);
  for (int w = 0; w < words; ++w) {
    const Word from_left = (cur[w] << 1) | (w > 0 ? cur[w - 1] >> 63 : 0);
    const Word from_right = (cur[w] >> 1) | (w + 1 < words ? cur[w + 1] << 63 : 0);
    out[w] = cur[w] | ((up[w] | down[w] | from_left | from_right) & interior[w]);
  }
}

}  // namespace

void RemoveBlooming(int t, int l, int r, int nx, int ny, IntMatrix& m, int threads) {
  if (nx <= 0 || ny <= 0 || nx > m.count() || ny > m.n()) return;
  try {
    // 1-2.
    const std::vector<Run> runs = LongRuns(m, nx, ny, t, l, threads);
    if (runs.empty()) return;
    BitRows map(nx, ny);
    std::vector<char> row_flagged(static_cast<std::size_t>(ny), 0);
    for (const Run& run : runs) {
      for (int y = run.y0; y < run.y1; ++y) {
        BitRows::Set(map.Row(y), run.x);
        row_flagged[y] = 1;
      }
    }

    // Everything the later steps need is obtained before the matrix changes.
    const int words = map.words();
    std::vector<Word> interior(static_cast<std::size_t>(words), 0);
    for (int x = 1; x < nx - 1; ++x) BitRows::Set(interior.data(), x);
    const int lag = std::clamp(r, 0, 24);
    const int slots = lag + 1;
    std::vector<Word> ring_bits(static_cast<std::size_t>(slots) * words, 0);
    std::vector<std::int32_t> ring_values(static_cast<std::size_t>(slots) * nx, 0);
    auto apply = [&](int y) {
      const Word* bits = ring_bits.data() + static_cast<std::size_t>(y % slots) * words;
      const std::int32_t* values = ring_values.data() + static_cast<std::size_t>(y % slots) * nx;
      for (int x = map.NextSet(bits, 1); x < nx; x = map.NextSet(bits, x + 1))
        if (values[x] > 0) m[x][y] = values[x];
    };

    // 3.
    for (int y = 0; y < ny; ++y)
      if (row_flagged[y]) FillRow(t, nx, y, m, map, map.Row(y));

    // 4-8. Medians row by row into a ring of rows; row y's results wait
    // until row y + radius is done, the last row whose windows read row y.
    for (int y = 0; y < ny; ++y) {
      const bool near_flags =
          row_flagged[y] || (y > 0 && row_flagged[y - 1]) || (y + 1 < ny && row_flagged[y + 1]);
      Word* bits = ring_bits.data() + static_cast<std::size_t>(y % slots) * words;
      std::int32_t* values = ring_values.data() + static_cast<std::size_t>(y % slots) * nx;
      if (near_flags) {
        MergedRow(map, ny, y, interior, bits);
        for (int x = map.NextSet(bits, 1); x < nx; x = map.NextSet(bits, x + 1)) {
          int median = 0;
          WindowMedian(r, nx, ny, x, y, m, median);
          values[x] = std::clamp(median, 0, 65535);
        }
      } else {
        std::fill(bits, bits + words, Word{0});
      }
      if (y - lag >= 0) apply(y - lag);
    }
    for (int y = std::max(0, ny - lag); y < ny; ++y) apply(y);
  } catch (const std::bad_alloc&) {
    // No memory for the working maps: the matrix stays as it was (nothing
    // is allocated once it starts to change).
  }
}

}  // namespace qirm
