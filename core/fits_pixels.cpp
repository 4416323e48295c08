// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/fits_pixels.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// Several AVX-512 intrinsics of GCC's headers start from a deliberately
// undefined register, which -Wmaybe-uninitialized reports once inlined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "core/cpu_dispatch.h"
#include "core/file_bytes.h"
#include "core/fits_reader.h"
#include "core/parallel.h"

namespace qirm::fits {
namespace {

// Read buffers of about 2 MiB, kept between reads: fresh memory costs a page
// fault per page on first touch, far more than reusing a block. Taken from
// and given back to a small shared pool (any thread may read).
class BlockBuffer {
 public:
  explicit BlockBuffer(std::size_t bytes) {
    {
      std::lock_guard<std::mutex> lock(PoolMutex());
      auto& pool = Pool();
      for (std::size_t i = 0; i < pool.size(); ++i) {
        if (pool[i].size() >= bytes) {
          m_block = std::move(pool[i]);
          pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(i));
          break;
        }
      }
    }
    if (m_block.size() < bytes) {
      try {
        m_block.assign(bytes, 0);
      } catch (const std::bad_alloc&) {
        m_block.clear();
      }
    }
  }
  ~BlockBuffer() {
    if (m_block.empty()) return;
    std::lock_guard<std::mutex> lock(PoolMutex());
    if (Pool().size() < 4) Pool().push_back(std::move(m_block));
  }
  BlockBuffer(const BlockBuffer&) = delete;
  BlockBuffer& operator=(const BlockBuffer&) = delete;
  explicit operator bool() const { return !m_block.empty(); }
  std::uint8_t* get() { return m_block.data(); }

 private:
  static std::mutex& PoolMutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::vector<std::vector<std::uint8_t>>& Pool() {
    static std::vector<std::vector<std::uint8_t>> pool;
    return pool;
  }
  std::vector<std::uint8_t> m_block;
};

Status ReadError(const std::string& path, long long offset, int error) {
  return Status::Error(path + ": read error at byte " + std::to_string(offset) + ": " + std::strerror(error));
}

// Rows of big-endian values in `rows` (row r at rows + r * 2w) into the
// columns, rows y0 .. y0 + count - 1.
#if defined(__SSE2__)
// 8 rows x 8 columns: swap the bytes of each value, transpose, widen to
// 32 bits and store 8 values down each of the 8 columns.
inline void Transpose8x8(const std::uint8_t* src, std::size_t row_bytes, IntMatrix& m, int x, int y,
                         __m128i flip) {
  __m128i r[8];
  for (int i = 0; i < 8; ++i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * row_bytes));
    r[i] = _mm_xor_si128(_mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)), flip);
  }
  const __m128i t0 = _mm_unpacklo_epi16(r[0], r[1]);
  const __m128i t1 = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i t2 = _mm_unpacklo_epi16(r[2], r[3]);
  const __m128i t3 = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i t4 = _mm_unpacklo_epi16(r[4], r[5]);
  const __m128i t5 = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i t6 = _mm_unpacklo_epi16(r[6], r[7]);
  const __m128i t7 = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i u0 = _mm_unpacklo_epi32(t0, t2);
  const __m128i u1 = _mm_unpackhi_epi32(t0, t2);
  const __m128i u2 = _mm_unpacklo_epi32(t1, t3);
  const __m128i u3 = _mm_unpackhi_epi32(t1, t3);
  const __m128i u4 = _mm_unpacklo_epi32(t4, t6);
  const __m128i u5 = _mm_unpackhi_epi32(t4, t6);
  const __m128i u6 = _mm_unpacklo_epi32(t5, t7);
  const __m128i u7 = _mm_unpackhi_epi32(t5, t7);
  const __m128i c[8] = {_mm_unpacklo_epi64(u0, u4), _mm_unpackhi_epi64(u0, u4), _mm_unpacklo_epi64(u1, u5),
                        _mm_unpackhi_epi64(u1, u5), _mm_unpacklo_epi64(u2, u6), _mm_unpackhi_epi64(u2, u6),
                        _mm_unpacklo_epi64(u3, u7), _mm_unpackhi_epi64(u3, u7)};
  const __m128i zero = _mm_setzero_si128();
  for (int j = 0; j < 8; ++j) {
    std::int32_t* column = m[x + j] + y;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(column), _mm_unpacklo_epi16(c[j], zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(column + 4), _mm_unpackhi_epi16(c[j], zero));
  }
}
#endif

inline std::int32_t BigEndian16(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }

#if defined(__x86_64__) && defined(__GNUC__)
#define QIRM_FITS_AVX512 __attribute__((target("avx512f,avx512vl,avx512bw,avx512dq")))

// Transposes 16 rows of 16 values: r[j] becomes column j.
QIRM_FITS_AVX512 inline void Transpose16x16(__m512i (&r)[16]) {
  __m512i t[16], u[16];
  // Within each 128-bit lane L, 4 x 4 blocks: u[4g + j] holds column 4L + j
  // of rows 4g .. 4g + 3 in lane L.
  for (int k = 0; k < 8; ++k) {
    t[2 * k] = _mm512_unpacklo_epi32(r[2 * k], r[2 * k + 1]);
    t[2 * k + 1] = _mm512_unpackhi_epi32(r[2 * k], r[2 * k + 1]);
  }
  for (int g = 0; g < 4; ++g) {
    u[4 * g] = _mm512_unpacklo_epi64(t[4 * g], t[4 * g + 2]);
    u[4 * g + 1] = _mm512_unpackhi_epi64(t[4 * g], t[4 * g + 2]);
    u[4 * g + 2] = _mm512_unpacklo_epi64(t[4 * g + 1], t[4 * g + 3]);
    u[4 * g + 3] = _mm512_unpackhi_epi64(t[4 * g + 1], t[4 * g + 3]);
  }
  // Lane L of u[j], u[4 + j], u[8 + j], u[12 + j] gathered into column 4L + j.
  for (int j = 0; j < 4; ++j) {
    const __m512i p = _mm512_shuffle_i32x4(u[j], u[4 + j], 0x44);
    const __m512i q = _mm512_shuffle_i32x4(u[8 + j], u[12 + j], 0x44);
    const __m512i p2 = _mm512_shuffle_i32x4(u[j], u[4 + j], 0xEE);
    const __m512i q2 = _mm512_shuffle_i32x4(u[8 + j], u[12 + j], 0xEE);
    r[j] = _mm512_shuffle_i32x4(p, q, 0x88);
    r[4 + j] = _mm512_shuffle_i32x4(p, q, 0xDD);
    r[8 + j] = _mm512_shuffle_i32x4(p2, q2, 0x88);
    r[12 + j] = _mm512_shuffle_i32x4(p2, q2, 0xDD);
  }
}

// Rows 0 .. count - 1 (a multiple of 16) of the columns below w / 32 * 32,
// in steps of 16 rows and 32 columns: every row line of 64 bytes is used
// whole at once, and every store fills a whole 64-byte run of a column
// (eight 8 x 8 steps wrote two half lines of each of 32 columns, whose
// lines, 8 KiB apart in a frame of 2048 rows, fall in one cache set).
// Returns the columns done.
QIRM_FITS_AVX512 int TransposeRowsAvx512(const std::uint8_t* rows, std::size_t row_bytes, int w, int count,
                                         IntMatrix& m, int y0, std::uint16_t flip) {
  const int done = w / 32 * 32;
  const __m512i flips = _mm512_set1_epi16(static_cast<short>(flip));
  for (int x = 0; x < done; x += 32) {
    for (int r = 0; r < count; r += 16) {
      // Each row line is loaded once: rows 4 KiB apart (2048 values) share a
      // cache set, so the sixteen lines would not all stay for a second look.
      const std::uint8_t* src = rows + r * row_bytes + x * 2;
      __m512i low[16], high[16];
      for (int i = 0; i < 16; ++i) {
        const __m512i b = _mm512_loadu_si512(src + i * row_bytes);
        // Bytes swapped and the flip applied: (b << 8 | b >> 8) ^ flip.
        const __m512i value =
            _mm512_ternarylogic_epi32(_mm512_slli_epi16(b, 8), _mm512_srli_epi16(b, 8), flips, 0x56);
        low[i] = _mm512_cvtepu16_epi32(_mm512_castsi512_si256(value));
        high[i] = _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(value, 1));
      }
      Transpose16x16(low);
      for (int j = 0; j < 16; ++j) _mm512_storeu_si512(m[x + j] + y0 + r, low[j]);
      Transpose16x16(high);
      for (int j = 0; j < 16; ++j) _mm512_storeu_si512(m[x + 16 + j] + y0 + r, high[j]);
    }
  }
  return done;
}
#endif

// vectors false (CpuLevel::kScalar) leaves every value to the plain loops.
// Columns x_begin .. w - 1 only.
void TransposeRowsFrom(const std::uint8_t* rows, int w, int count, IntMatrix& m, int y0, std::uint16_t flip,
                       [[maybe_unused]] bool vectors, int x_begin) {
  const std::size_t row_bytes = static_cast<std::size_t>(w) * 2;
#if defined(__SSE2__)
  const __m128i flips = _mm_set1_epi16(static_cast<short>(flip));
#endif
  const int full = count / 8 * 8;
  int x = x_begin;
#if defined(__SSE2__)
  // 32 columns at a time use whole 64-byte lines of every row, so no row
  // line has to stay cached for the next columns; each column gets `full`
  // consecutive values.
  for (; vectors && x + 32 <= w; x += 32) {
    for (int r = 0; r < full; r += 8) {
      const std::uint8_t* src = rows + r * row_bytes + x * 2;
      Transpose8x8(src, row_bytes, m, x, y0 + r, flips);
      Transpose8x8(src + 16, row_bytes, m, x + 8, y0 + r, flips);
      Transpose8x8(src + 32, row_bytes, m, x + 16, y0 + r, flips);
      Transpose8x8(src + 48, row_bytes, m, x + 24, y0 + r, flips);
    }
  }
  for (; vectors && x + 8 <= w; x += 8) {
    for (int r = 0; r < full; r += 8)
      Transpose8x8(rows + r * row_bytes + x * 2, row_bytes, m, x, y0 + r, flips);
  }
#endif
  for (int xr = x; xr < w; ++xr) {
    std::int32_t* column = m[xr] + y0;
    for (int r = 0; r < full; ++r) column[r] = BigEndian16(rows + r * row_bytes + xr * 2) ^ flip;
  }
  for (int r = full; r < count; ++r) {
    const std::uint8_t* row = rows + r * row_bytes;
    for (int xr = x_begin; xr < w; ++xr) m[xr][y0 + r] = BigEndian16(row + xr * 2) ^ flip;
  }
}

void TransposeRows(const std::uint8_t* rows, int w, int count, IntMatrix& m, int y0, std::uint16_t flip,
                   bool vectors) {
#ifdef QIRM_FITS_AVX512
  if (vectors && CpuLevelActive(CpuLevel::kAvx512)) {
    const std::size_t row_bytes = static_cast<std::size_t>(w) * 2;
    const int whole = count / 16 * 16;
    const int done = TransposeRowsAvx512(rows, row_bytes, w, whole, m, y0, flip);
    TransposeRowsFrom(rows, w, whole, m, y0, flip, vectors, done);
    TransposeRowsFrom(rows + whole * row_bytes, w, count - whole, m, y0 + whole, flip, vectors, 0);
    return;
  }
#endif
  TransposeRowsFrom(rows, w, count, m, y0, flip, vectors, 0);
}

// Stored value of a pixel of another type, with its validity.
struct Decoded {
  double value;
  bool valid;
};

std::int64_t BigEndianSigned(const std::uint8_t* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  const int shift = 64 - 8 * bytes;
  // Sign-extend through the top bits.
  return static_cast<std::int64_t>(v << shift) >> shift;
}

Decoded Decode(const std::uint8_t* p, int bitpix, const FitsHeader& h) {
  switch (bitpix) {
    case 8: {
      const std::int64_t v = p[0];
      return {h.zero + h.bscale * static_cast<double>(v), !(h.has_blank && v == h.blank)};
    }
    case 16:
    case 32:
    case 64: {
      const std::int64_t v = BigEndianSigned(p, std::abs(bitpix) / 8);
      return {h.zero + h.bscale * static_cast<double>(v), !(h.has_blank && v == h.blank)};
    }
    case -32: {
      const std::uint32_t bits = static_cast<std::uint32_t>(BigEndianSigned(p, 4));
      float f;
      std::memcpy(&f, &bits, 4);
      return {h.zero + h.bscale * static_cast<double>(f), true};
    }
    default: {
      const std::uint64_t bits = static_cast<std::uint64_t>(BigEndianSigned(p, 8));
      double d;
      std::memcpy(&d, &bits, 8);
      return {h.zero + h.bscale * d, true};
    }
  }
}

}  // namespace

Status ReadBigEndian16Plain(std::FILE* file, const std::string& path, long long offset, int w, int h,
                            IntMatrix& m) {
  if (fseeko(file, offset, SEEK_SET) != 0) return ReadError(path, offset, errno);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int hi = std::getc(file);
      int lo = std::getc(file);
      if (hi == EOF) hi = 255;
      if (lo == EOF) lo = 255;
      m[x][y] = 256 * hi + lo;
    }
  }
  if (std::ferror(file)) return ReadError(path, offset, errno);
  return Status::Ok();
}

Status ReadBigEndian16(std::FILE* file, const std::string& path, long long offset, int w, int h, IntMatrix& m,
                       int threads, std::uint16_t flip) {
  if (w <= 0 || h <= 0) return Status::Ok();
  const int fd = fileno(file);
  const long long row_bytes = 2LL * w;
  // Rows per read: about 256 KiB, a multiple of 16 for the 16 x 32 steps
  // (and so of 8 for the 8 x 8 ones; 32 rows of 4096 values). The block
  // stays in the core's own cache between the kernel's copy and the
  // transposition, whose stores now fill whole lines of columns in huge
  // pages: a frame from the page cache into a matrix out of cache took about
  // a fifth less than with blocks of 2 MiB.
  const int kBlockRows = static_cast<int>(std::clamp<long long>((256 << 10) / row_bytes / 16 * 16, 16, 512));
  if (threads <= 0) threads = PartCount(static_cast<long long>(w) * h);
  threads = std::max(1, std::min(threads, h / 8));

  const bool vectors = ActiveCpuLevel() > CpuLevel::kScalar;
  std::vector<int> errors(threads, 0);
  std::vector<long long> error_at(threads, 0);
  // Even shares of the rows, split at multiples of 8 so that only the last
  // block of the image has a partial group of 8 rows.
  auto read_part = [&](int part, long long begin, long long end) {
    const int y_begin = static_cast<int>(begin);
    const int y_end = static_cast<int>(end);
    if (y_begin >= y_end) return;
    // No exception may leave a thread: a buffer that cannot be had is an error.
    const int rows = std::min(kBlockRows, y_end - y_begin);
    BlockBuffer buffer(static_cast<std::size_t>(rows * row_bytes));
    if (!buffer) {
      errors[part] = ENOMEM;
      error_at[part] = offset + y_begin * row_bytes;
      return;
    }
    for (int y = y_begin; y < y_end; y += rows) {
      const int count = std::min(rows, y_end - y);
      const long long bytes = count * row_bytes;
      const long long at = offset + y * row_bytes;
      const long long got = ReadAt(fd, buffer.get(), bytes, at);
      if (got < 0) {
        errors[part] = errno;
        error_at[part] = at;
        return;
      }
      // Past the end of the file every byte counts as 255.
      if (got < bytes) std::memset(buffer.get() + got, 0xFF, static_cast<std::size_t>(bytes - got));
      TransposeRows(buffer.get(), w, count, m, y, flip, vectors);
    }
  };
  ForEachPart(h, threads, read_part, 8);
  for (int part = 0; part < threads; ++part) {
    if (errors[part] != 0) return ReadError(path, error_at[part], errors[part]);
  }
  return Status::Ok();
}

ScaleMode ChooseScaleMode(bool any_valid, double lo, double hi) {
  if (!any_valid || (lo >= 0.0 && hi <= 1.0)) return ScaleMode::kUnit;
  if (lo >= 0.0 && hi <= 65535.0) return ScaleMode::kKeep;
  return ScaleMode::kLinear;
}

int ScaleToRaw(double p, ScaleMode mode, double lo, double hi) {
  double t = 0.0;
  switch (mode) {
    case ScaleMode::kUnit:
      t = p * 65535.0;
      break;
    case ScaleMode::kKeep:
      t = p;
      break;
    case ScaleMode::kLinear:
      // A constant image outside 0..65535 has no range to spread: all 0.
      t = hi > lo ? (p - lo) * 65535.0 / (hi - lo) : 0.0;
      break;
  }
  t = std::floor(t + 0.5);
  // Guards against a range so wide that the arithmetic overflowed.
  if (!(t >= 0.0)) return 0;
  if (t > 65535.0) return 65535;
  return static_cast<int>(t);
}

Status ReadScaledPixels(std::FILE* file, const std::string& path, const FitsHeader& h, IntMatrix& m) {
  const int bytes_per = std::abs(h.bitpix) / 8;
  const int w = h.width;
  const long long total = static_cast<long long>(w) * h.height;
  const int fd = fileno(file);
  constexpr long long kChunk = 1 << 16;  // pixels per read
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kChunk * bytes_per));

  // Calls visit(i, decoded) for every pixel present in the file; returns the
  // count of pixels present, or -1 after a read error.
  auto each_pixel = [&](auto&& visit) -> long long {
    for (long long start = 0; start < total; start += kChunk) {
      const long long n = std::min(kChunk, total - start);
      const long long at = h.data_offset + start * bytes_per;
      const long long got = ReadAt(fd, buffer.data(), n * bytes_per, at);
      if (got < 0) return -1;
      const long long present = got / bytes_per;
      for (long long i = 0; i < present; ++i)
        visit(start + i, Decode(buffer.data() + i * bytes_per, h.bitpix, h));
      if (present < n) return start + present;
    }
    return total;
  };

  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  bool any_valid = false;
  if (each_pixel([&](long long, Decoded d) {
        if (!d.valid || !std::isfinite(d.value)) return;
        any_valid = true;
        lo = std::min(lo, d.value);
        hi = std::max(hi, d.value);
      }) < 0) {
    return ReadError(path, h.data_offset, errno);
  }
  const ScaleMode mode = ChooseScaleMode(any_valid, lo, hi);

  // Pixels not in the file, blank or not finite: raw 0.
  for (int x = 0; x < w; ++x) std::fill(m[x], m[x] + h.height, 0 ^ 0x8000);
  if (each_pixel([&](long long i, Decoded d) {
        if (!d.valid || !std::isfinite(d.value)) return;
        m[static_cast<int>(i % w)][static_cast<int>(i / w)] = ScaleToRaw(d.value, mode, lo, hi) ^ 0x8000;
      }) < 0) {
    return ReadError(path, h.data_offset, errno);
  }
  return Status::Ok();
}

Status ReadPhysicalPixels(std::FILE* file, const std::string& path, const FitsHeader& h, float* out,
                          long long& rounded, long long plane) {
  const int bytes_per = std::abs(h.bitpix) / 8;
  const long long total = static_cast<long long>(h.width) * h.height;
  const int fd = fileno(file);
  constexpr long long kChunk = 1 << 16;  // pixels per read
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(kChunk * bytes_per));
  rounded = 0;
  const bool integers = h.bitpix > 0;
  for (long long start = 0; start < total; start += kChunk) {
    const long long n = std::min(kChunk, total - start);
    const long long got =
        ReadAt(fd, buffer.data(), n * bytes_per, h.data_offset + (plane * total + start) * bytes_per);
    if (got < 0) return ReadError(path, h.data_offset, errno);
    const long long present = got / bytes_per;
    for (long long i = 0; i < present; ++i) {
      const Decoded d = Decode(buffer.data() + i * bytes_per, h.bitpix, h);
      const float f = d.valid ? static_cast<float>(d.value) : std::numeric_limits<float>::quiet_NaN();
      if (integers && d.valid && std::isfinite(d.value) && static_cast<double>(f) != d.value) ++rounded;
      out[start + i] = f;
    }
    if (present < n) {
      std::fill(out + start + present, out + total, std::numeric_limits<float>::quiet_NaN());
      break;
    }
  }
  return Status::Ok();
}

}  // namespace qirm::fits
