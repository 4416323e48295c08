// SPDX-License-Identifier: GPL-3.0-or-later
// Calibration and stacking steps of the tri-colour composition, each on one
// frame (IntMatrix m[x][y], w columns, h rows). Each fast function has a
// plain reference loop beside it that it must match exactly (tests compare
// them): reals in extended precision, named values kept as doubles,
// truncation toward zero.
#pragma once

#include <cstdint>
#include <vector>

#include "core/matrix.h"
#include "core/numbers.h"
#include "core/unfilled_allocator.h"

namespace qirm {

// The hot-pixel rule of the red frames (ratio 2.0): for every interior pixel,
// with mn the smallest value of its 3 x 3 neighbourhood (starting from 65536)
// and base = mn - 1, the pixel is hot when (v - base) / (n - base) > 2 for
// at least one of its four neighbours n; it then becomes
// trunc(sum of the four neighbours * 0.25). All tests read the frame as it
// was before the call; border pixels never change.
// `in_16_bits`: the caller knows every value lies in 0..65535 (a 16-bit
// frame as read), so the check for values the fast loop cannot take is
// skipped.
void RemoveHotPixels(int w, int h, IntMatrix& m, bool in_16_bits = false);
void RemoveHotPixelsPlain(int w, int h, IntMatrix& m);

// The running dark mean: acc[x][y] += dark[x][y] / nd (real division by the
// full count), then Dark = trunc(acc).
void AddToMean(const IntMatrix& frame, int nd, int w, int h, RealMatrix& acc, int x_begin, int x_end);
void TruncateMean(const RealMatrix& acc, int w, int h, IntMatrix& out, int x_begin, int x_end);

// The averaged dark frame of a run, trunc(acc). The mean of sign-shifted
// frames lies in 0..65535 and is kept in 16 bits: half the memory, and half
// the bytes every calibrated frame reads. A mean with a value outside that
// range keeps 32 bits.
class DarkFrame {
 public:
  // From the dark mean's accumulator, on up to `threads` threads; with
  // `clear`, acc is left all 0 (each column as it is done with). False when
  // there is no memory for it.
  bool FromMean(RealMatrix& acc, int w, int h, int threads, bool clear = false);
  bool empty() const { return m_narrow.empty() && m_wide.empty(); }
  bool narrow() const { return !m_narrow.empty(); }
  // Column x: 16-bit values when narrow(), else 32-bit ones.
  const std::uint16_t* narrow_column(int x) const {
    return m_narrow.data() + static_cast<std::size_t>(x) * m_h;
  }
  const std::int32_t* wide_column(int x) const { return m_wide[x]; }
  int at(int x, int y) const { return narrow() ? narrow_column(x)[y] : m_wide[x][y]; }
  // c[y] -= dark[x][y] for the h values of column x.
  void SubtractFrom(int x, int h, std::int32_t* c) const;

 private:
  std::vector<std::uint16_t, UnfilledAllocator<std::uint16_t>> m_narrow;
  IntMatrix m_wide;
  int m_h = 0;
};

// m -= dark, every pixel (the reference frame of two-star mode).
void SubtractDark(const DarkFrame& dark, int w, int h, IntMatrix& m, int threads = 1);

// The flat of the run: L = Flat / fmax per pixel (a double), and a value c
// becomes trunc(c / L) where L > 0. Built once from the first flat frame.
class FlatField {
 public:
  // fmax: the largest value (from 0.0). False when it is not above 0.
  bool Build(const IntMatrix& flat, int w, int h, int threads = 1);
  double fmax() const { return m_fmax; }
  bool empty() const { return m_flat.empty(); }
  // One pixel as the rule reads: the flat value at (x, y) of a value c.
  int Apply(int c, int x, int y) const;
  const std::vector<std::uint16_t, UnfilledAllocator<std::uint16_t>>& values() const { return m_flat; }
  int h() const { return m_h; }
  // L for every flat value 0..65535.
  const std::vector<double>& divisor() const { return m_divisor; }

 private:
  std::vector<std::uint16_t, UnfilledAllocator<std::uint16_t>> m_flat;  // the flat values, column by column
  std::vector<double> m_divisor;                                        // L for every value 0..65535
  double m_fmax = 0;
  int m_h = 0;
};

// Dark subtraction (when dark is not null) and flat division (when flat is
// not null) of columns x_begin .. x_end - 1, fused. Plain: one pixel at a
// time through the rule; fast: the quotient in doubles as c * (fmax / f),
// with the rule itself wherever it lies within 1e-6 of an integer.
void Calibrate(const IntMatrix* dark, const FlatField* flat, int w, int h, IntMatrix& m, int x_begin,
               int x_end);
void CalibratePlain(const IntMatrix* dark, const FlatField* flat, int w, int h, IntMatrix& m);
// The same with the run's dark frame.
void Calibrate(const DarkFrame* dark, const FlatField* flat, int w, int h, IntMatrix& m, int x_begin,
               int x_end);
void CalibratePlain(const DarkFrame* dark, const FlatField* flat, int w, int h, IntMatrix& m);

// Turn by 180 degrees in place: m[w-1-x][h-1-y] takes m[x][y].
void Turn180(int w, int h, IntMatrix& m);

// acc[x][y] += frame[x + ox][y + oy] / n for the columns x_begin .. x_end - 1,
// where 0 < x + ox < w and 0 < y + oy < h (column 0 and row 0 of a frame
// never contribute). Extended sum, stored as a double; the fast path forms
// it in doubles where that provably gives the same bits (see
// calibration_kernels.cpp).
void Accumulate(const IntMatrix& frame, int ox, int oy, int n, int w, int h, RealMatrix& acc, int x_begin,
                int x_end);
void AccumulatePlain(const IntMatrix& frame, int ox, int oy, int n, int w, int h, RealMatrix& acc,
                     int x_begin, int x_end);
// Accumulate's work for the one frame column sx, given on its own (h values).
void AccumulateFrameColumn(const std::int32_t* column, int sx, int ox, int oy, int n, int w, int h,
                           RealMatrix& acc);

// How many parts a pass over w columns is cut into for a budget of
// `threads` threads: narrow frames (below 64 columns for two) keep one.
int ColumnParts(int threads, int w);

// The progress value of column x of a w-column pass: trunc(x / (w * 0.01)).
int ColumnProgress(int x, int w);

}  // namespace qirm
