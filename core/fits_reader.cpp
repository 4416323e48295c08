// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/fits_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "core/file_bytes.h"
#include "core/file_write.h"
#include "core/fits_keywords.h"
#include "core/fits_pixels.h"
#include "core/parallel.h"
#include "core/printable.h"
#include "core/user_dirs.h"

namespace qirm {
namespace {

using fits::HduKeywords;
using fits::kBlockCards;
using fits::kCardBytes;
using fits::NumberKey;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string Text(long long v) { return std::to_string(v); }

// "test.dat" in the user's cache folder (core/user_dirs.h), rewritten by
// every pass. When it cannot be made the trace is skipped and reading goes
// on; so it is when the file being read is the trace file itself, which
// rewriting would destroy. The cards are kept in memory and written at the
// end of the pass to a new file that is renamed over the old one, so a
// symbolic link or a hard link named test.dat never leads the write to
// another file. One pass at a time writes it (a composition may read frames
// on a worker thread while the user opens a file), so the file always holds
// one header.
std::mutex g_trace_mutex;

class TraceFile {
 public:
  explicit TraceFile(const struct stat* input, bool wanted = true) : m_lock(g_trace_mutex) {
    if (!wanted) return;
    std::string path = TraceFilePath();
    if (!MakeUserDir(UserCacheDir())) return;
    struct stat trace {};
    if (input && ::stat(path.c_str(), &trace) == 0 && trace.st_dev == input->st_dev &&
        trace.st_ino == input->st_ino) {
      return;
    }
    m_path = std::move(path);
  }
  ~TraceFile() {
    if (m_path.empty()) return;
    const std::string temp = m_path + "." + std::to_string(::getpid()) + ".tmp";
    ::unlink(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return;
    bool ok = WriteAll(fd, reinterpret_cast<const std::uint8_t*>(m_text.data()), m_text.size());
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), m_path.c_str()) != 0) ::unlink(temp.c_str());
  }
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  void Card(const char* card, bool line_break) {
    if (m_path.empty()) return;
    if (line_break) m_text += '\n';
    m_text.append(card, kCardBytes);
  }

 private:
  std::lock_guard<std::mutex> m_lock;
  std::string m_path;  // empty: no trace
  std::string m_text;
};

// Fixed-column totals over every card read; wide enough that thousands of
// repeated cards cannot overflow.
struct ColumnTotals {
  long long naxis1 = 0;
  long long naxis2 = 0;
  long long bitpix = 0;
  long long bzero = 0;

  void Add(const char* card) {
    if (std::memcmp(card, "NAXIS1  ", 8) == 0) naxis1 += fits::FixedColumns(card, 27, 30);
    if (std::memcmp(card, "NAXIS2  ", 8) == 0) naxis2 += fits::FixedColumns(card, 27, 30);
    if (std::memcmp(card, "BITPIX  ", 8) == 0) bitpix += fits::FixedColumns(card, 27, 30);
    if (std::memcmp(card, "BZERO   ", 8) == 0) bzero += fits::FixedColumns(card, 16, 21);
  }
};

int ClampToInt(long long v) {
  return static_cast<int>(std::min<long long>(v, std::numeric_limits<int>::max()));
}

// The file cannot be used: the console text of a file that cannot be opened,
// and the reason for the caller.
Status Refuse(const std::string& path, const std::string& reason) {
  std::printf("file open error    %s\n", PrintableText(path).c_str());
  std::fflush(stdout);
  return Status::Error(path + ": " + reason);
}

// "extension 2: " for the headers after the primary.
std::string Where(int hdu) { return hdu == 0 ? std::string() : "extension " + Text(hdu) + ": "; }

// The cards of one header read from byte `start`: one by one until END, then
// on to the end of END's block. Appended to the header's card store, traced,
// and added to the column totals.
struct CardsRead {
  int cards = 0;     // a multiple of 36
  int end_card = 0;  // index of the END card
};

Status ReadHeaderCards(std::FILE* file, const std::string& path, int hdu, long long start,
                       long long file_size, TraceFile& trace, ColumnTotals& totals, FitsHeader& h,
                       CardsRead& out) {
  if (fseeko(file, start, SEEK_SET) != 0)
    return Refuse(path, Where(hdu) + "cannot seek to byte " + Text(start));
  bool found = false;
  int k = 0;
  char card[kCardBytes];
  while (!found || k % kBlockCards != 0) {
    if (h.cards + k >= kFitsMaxHeaderCards) {
      return Refuse(path, Where(hdu) + "no END card within " + Text(kFitsMaxHeaderCards) + " header cards");
    }
    if (std::fread(card, 1, kCardBytes, file) != static_cast<std::size_t>(kCardBytes)) {
      if (std::ferror(file)) {
        return Refuse(
            path, Where(hdu) + "read error at byte " + Text(start + 80LL * k) + ": " + std::strerror(errno));
      }
      if (file_size == 0) return Refuse(path, "the file is empty");
      if (!found)
        return Refuse(path,
                      Where(hdu) + "no END card before the end of the file (" + Text(file_size) + " bytes)");
      const long long needed = start + (k / kBlockCards + 1LL) * fits::kBlockBytes;
      return Refuse(path, Where(hdu) + "the file (" + Text(file_size) +
                              " bytes) is shorter than its header (" + Text(needed) + " bytes)");
    }
    // A line break before each card up to END and within the first block;
    // the padding of later blocks follows without one.
    trace.Card(card, !found || k < kBlockCards);
    h.card_bytes.insert(h.card_bytes.end(), card, card + kCardBytes);
    totals.Add(card);
    if (!found && fits::IsEndCard(card)) {
      found = true;
      out.end_card = k;
    }
    ++k;
  }
  out.cards = k;
  return Status::Ok();
}

bool ReadBitpix(const NumberKey& key, int& bitpix) {
  long long v = 0;
  if (!key.Integer(-64, 64, v)) return false;
  if (v != 8 && v != 16 && v != 32 && v != 64 && v != -32 && v != -64) return false;
  bitpix = static_cast<int>(v);
  return true;
}

std::string KeyText(const NumberKey& key) {
  if (key.count == 0) return "missing";
  if (!key.number) return "not a number";
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", key.value);
  return text;
}

// False when the header says that it has no data: NAXIS 0 or an axis of
// length 0. A header without NAXIS counts as having data.
bool HasData(const HduKeywords& k) {
  long long naxis = 0;
  if (k.naxis.count == 0 || !k.naxis.Integer(0, 999, naxis)) return true;
  if (naxis == 0) return false;
  for (long long i = 0; i < naxis && i < static_cast<long long>(k.axes.size()); ++i) {
    long long length = 0;
    if (k.axes[i].Integer(0, 0, length)) return false;
  }
  return true;
}

// Bytes of a header's data by the standard rule, |BITPIX| / 8 * GCOUNT *
// (PCOUNT + NAXIS1 * ... * NAXISn); -1 when the header does not tell or the
// size is beyond any file.
long long DataBytes(const HduKeywords& k) {
  int bitpix = 0;
  long long naxis = 0;
  if (!k.naxis.Integer(0, 999, naxis)) return -1;
  if (naxis == 0) return 0;
  if (!ReadBitpix(k.bitpix, bitpix)) return -1;
  constexpr long double kLimit = 1e18L;
  long double product = 1.0L;
  for (long long i = 0; i < naxis; ++i) {
    long long length = 0;
    if (i >= static_cast<long long>(k.axes.size()) || !k.axes[i].Integer(0, 1LL << 60, length)) return -1;
    product = std::min(product * length, kLimit);
  }
  long long pcount = 0;
  long long gcount = 1;
  if (k.pcount.count > 0 && !k.pcount.Integer(0, 1LL << 60, pcount)) return -1;
  if (k.gcount.count > 0 && !k.gcount.Integer(0, 1LL << 60, gcount)) return -1;
  const long double bytes = std::abs(bitpix) / 8 * static_cast<long double>(gcount) * (pcount + product);
  if (bytes >= kLimit) return -1;
  return static_cast<long long>(bytes);
}

long long Padded(long long bytes) {
  return (bytes + fits::kBlockBytes - 1) / fits::kBlockBytes * fits::kBlockBytes;
}

// One axis length by the standard parse: a positive integer.
Status StandardAxis(const std::string& path, int hdu, const HduKeywords& k, int axis, long long& length) {
  const std::string name = "NAXIS" + Text(axis);
  const NumberKey none;
  const NumberKey& key = axis <= static_cast<int>(k.axes.size()) ? k.axes[axis - 1] : none;
  if (key.count == 0) return Refuse(path, Where(hdu) + name + " missing");
  if (!key.Integer(1, std::numeric_limits<long long>::max() / 2, length)) {
    return Refuse(path, Where(hdu) + name + " is not a positive integer (" + KeyText(key) + ")");
  }
  return Status::Ok();
}

// The image size by the standard parse: NAXIS1 x NAXIS2 (x 1 for NAXIS 1).
Status StandardSize(const std::string& path, int hdu, const HduKeywords& k, long long& w, long long& h) {
  long long naxis = 0;
  if (k.naxis.count == 0) return Refuse(path, Where(hdu) + "NAXIS missing");
  if (!k.naxis.Integer(1, 999, naxis))
    return Refuse(path, Where(hdu) + "bad NAXIS (" + KeyText(k.naxis) + ")");
  if (Status s = StandardAxis(path, hdu, k, 1, w); !s) return s;
  h = 1;
  if (naxis >= 2) return StandardAxis(path, hdu, k, 2, h);
  return Status::Ok();
}

// The size of a BITPIX 16 primary image: the fixed-column totals, except
// where a single NAXISn card holds a value the fixed columns misread (free
// format, or 10000 and more). Negative lengths are refused.
Status FixedColumnSize(const std::string& path, const HduKeywords& k, const ColumnTotals& totals,
                       long long& w, long long& h) {
  w = totals.naxis1;
  h = totals.naxis2;
  for (int axis = 1; axis <= 2; ++axis) {
    if (axis > static_cast<int>(k.axes.size())) break;
    const NumberKey& key = k.axes[axis - 1];
    if (key.count == 0 || !key.number) continue;
    if (key.value < 0) return Refuse(path, "NAXIS" + Text(axis) + " is negative (" + KeyText(key) + ")");
    long long v = 0;
    // A number the fixed columns would cut to its last digits (2E9, 1E20,
    // 512.5) is no size at all.
    if (!key.Integer(0, std::numeric_limits<int>::max(), v)) {
      return Refuse(path, "NAXIS" + Text(axis) + " is not an integer from 0 to " +
                              Text(std::numeric_limits<int>::max()) + " (" + KeyText(key) + ")");
    }
    if (key.count != 1) continue;
    long long& length = axis == 1 ? w : h;
    if (v != length) length = v;
  }
  // A one-dimensional image is one row.
  long long naxis = 0;
  if (h == 0 && k.naxis.Integer(1, 1, naxis) && (k.axes.size() < 2 || k.axes[1].count == 0)) h = 1;
  if (w == 0) return Refuse(path, "no image width (NAXIS1 missing or 0)");
  if (h == 0) return Refuse(path, "no image height (NAXIS2 missing or 0)");
  return Status::Ok();
}

// The header pass shared by both operations: finds the image, its size, its
// pixel type and where its data start. The file stays open for the data.
Status ScanFile(const std::string& path, FitsHeader& h, FilePtr& file, bool trace_wanted = true,
                bool check_data = true) {
  h = FitsHeader();
  std::string refusal;
  const int fd = OpenRegularFile(path, refusal);
  const int open_error = errno;
  if (fd >= 0) {
    file.reset(::fdopen(fd, "rb"));
    if (!file) ::close(fd);
  }
  struct stat info {};
  const bool known = file && fstat(fileno(file.get()), &info) == 0;
  TraceFile trace(known ? &info : nullptr, trace_wanted);
  if (!file) {
    std::printf("file open error    %s\n", PrintableText(path).c_str());
    std::fflush(stdout);
    if (!refusal.empty()) return Status::Error(path + ": " + refusal);
    return Status::Error("cannot open " + path + ": " + std::strerror(open_error));
  }
  const long long file_size = known ? static_cast<long long>(info.st_size) : 0;

  ColumnTotals totals;
  CardsRead primary;
  if (Status s = ReadHeaderCards(file.get(), path, 0, 0, file_size, trace, totals, h, primary); !s) return s;
  h.cards = primary.cards;
  HduKeywords keys = fits::ParseKeywords(h.card_bytes.data(), primary.end_card);

  // A header without BITPIX is read as 16-bit data, the format this reader
  // was made for.
  int bitpix = 16;
  long long w = 0;
  long long hgt = 0;
  if (keys.bitpix.count > 0 && !ReadBitpix(keys.bitpix, bitpix)) {
    return Refuse(path, "unsupported BITPIX (" + KeyText(keys.bitpix) + ")");
  }
  if (HasData(keys)) {
    const Status s =
        bitpix == 16 ? FixedColumnSize(path, keys, totals, w, hgt) : StandardSize(path, 0, keys, w, hgt);
    if (!s) return s;
    h.data_offset = 80LL * primary.cards;
  } else {
    // No image in the primary: the first IMAGE extension with data.
    const long long primary_bytes = DataBytes(keys);
    if (primary_bytes < 0) return Refuse(path, "the primary header does not tell the size of its data");
    long long pos = 80LL * primary.cards + Padded(primary_bytes);
    for (int hdu = 1;; ++hdu) {
      if (pos >= file_size)
        return Refuse(path, "no image: the primary has no data and no image extension follows");
      // Whatever follows the last extension (or garbage) is no header.
      char keyword[8] = {};
      if (fseeko(file.get(), pos, SEEK_SET) != 0 || std::fread(keyword, 1, 8, file.get()) != 8 ||
          std::memcmp(keyword, "XTENSION", 8) != 0) {
        return Refuse(path,
                      "no image: the primary has no data and byte " + Text(pos) + " starts no extension");
      }
      CardsRead ext;
      if (Status s = ReadHeaderCards(file.get(), path, hdu, pos, file_size, trace, totals, h, ext); !s)
        return s;
      keys = fits::ParseKeywords(h.card_bytes.data() + 80LL * h.cards, ext.end_card);
      h.cards += ext.cards;
      if (keys.xtension == "IMAGE" && HasData(keys)) {
        if (!ReadBitpix(keys.bitpix, bitpix)) {
          return Refuse(path, Where(hdu) + "unsupported BITPIX (" + KeyText(keys.bitpix) + ")");
        }
        if (Status s = StandardSize(path, hdu, keys, w, hgt); !s) return s;
        h.data_offset = pos + 80LL * ext.cards;
        h.hdu = hdu;
        break;
      }
      const long long bytes = DataBytes(keys);
      if (bytes < 0) return Refuse(path, Where(hdu) + "the header does not tell the size of its data");
      pos += 80LL * ext.cards + Padded(bytes);
    }
  }

  h.bitpix_columns = ClampToInt(totals.bitpix);
  h.bzero = ClampToInt(totals.bzero);
  if (w > kFitsMaxSide || hgt > kFitsMaxSide) {
    std::printf("%lld %lld\n", w, hgt);
    std::fputs("alloc error !!\n", stdout);
    std::fflush(stdout);
    return Status::Error(path + ": image size " + Text(w) + " x " + Text(hgt) + " exceeds " +
                         Text(kFitsMaxSide));
  }
  h.width = static_cast<int>(w);
  h.height = static_cast<int>(hgt);
  h.bitpix = bitpix;
  h.planes = 1;
  long long naxis = 0;
  if (keys.naxis.Integer(0, 999, naxis)) {
    for (long long i = 2; i < naxis && i < static_cast<long long>(keys.axes.size()); ++i) {
      long long length = 0;
      if (keys.axes[i].Integer(1, 1LL << 30, length)) h.planes = std::min(h.planes * length, 1LL << 30);
    }
  }
  if (check_data) {
    const auto declared = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(hgt) *
                          static_cast<std::uint64_t>(std::abs(bitpix) / 8);
    const auto present = static_cast<std::uint64_t>(std::max(0LL, file_size - h.data_offset));
    if (std::string r = CheckDataPresent(present, declared); !r.empty()) return Refuse(path, r);
    if (std::string r = CheckMemoryFor(w, hgt, kFitsBytesPerPixel); !r.empty()) return Refuse(path, r);
  }

  if (keys.bscale.count > 0) {
    if (!keys.bscale.number && bitpix != 16) return Refuse(path, Where(h.hdu) + "BSCALE is not a number");
    if (keys.bscale.number) h.bscale = keys.bscale.value;
  }
  if (keys.bzero.count > 0) {
    if (!keys.bzero.number && bitpix != 16) return Refuse(path, Where(h.hdu) + "BZERO is not a number");
    if (keys.bzero.number) h.zero = keys.bzero.value;
  }
  // BLANK marks integer pixels only.
  h.has_blank = bitpix > 0 && keys.blank.Integer(std::numeric_limits<long long>::min() / 2,
                                                 std::numeric_limits<long long>::max() / 2, h.blank);
  return Status::Ok();
}

// v < a ? v + a : v - a, as v - a + (v < a ? 2a : 0) modulo 2^32: no
// overflow for any input, and no branch, so the loop vectorises (a branch
// would be mispredicted on every other pixel of real data).
void ShiftColumn(std::int32_t* column, int h, std::int32_t a) {
  const std::uint32_t offset = static_cast<std::uint32_t>(a);
  for (int y = 0; y < h; ++y) {
    const std::int32_t v = column[y];
    const std::uint32_t below = 0u - static_cast<std::uint32_t>(v < a);
    column[y] = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) - offset + (below & (2u * offset)));
  }
}

}  // namespace

Status ReadFitsHeader(const std::string& path, FitsHeader& header) {
  FilePtr file;
  return ScanFile(path, header, file);
}

Status CheckFitsHeader(const std::string& path, FitsHeader& header) {
  FilePtr file;
  return ScanFile(path, header, file, false);
}

Status ReadFitsHeaderOnly(const std::string& path, FitsHeader& header) {
  FilePtr file;
  return ScanFile(path, header, file, true, false);
}

Status ReadFitsFile(const std::string& path, FitsHeader& header, IntMatrix& m) {
  FilePtr file;
  if (Status s = ScanFile(path, header, file); !s) return s;
  if (m.count() != header.width || m.n() != header.height) {
    return Status::Error(path + ": the image is " + Text(header.width) + " x " + Text(header.height) +
                         " but the matrix given for it is " + Text(m.count()) + " x " + Text(m.n()));
  }
  if (header.bitpix == 16) {
    return fits::ReadBigEndian16(file.get(), path, header.data_offset, header.width, header.height, m);
  }
  return fits::ReadScaledPixels(file.get(), path, header, m);
}

Status ReadFitsFileSignShifted(const std::string& path, FitsHeader& header, IntMatrix& m, int threads) {
  FilePtr file;
  if (Status s = ScanFile(path, header, file); !s) return s;
  if (m.count() != header.width || m.n() != header.height) {
    return Status::Error(path + ": the image is " + Text(header.width) + " x " + Text(header.height) +
                         " but the matrix given for it is " + Text(m.count()) + " x " + Text(m.n()));
  }
  // Stored values are 0..65535, where v < 32768 ? v + 32768 : v - 32768 is
  // v XOR 0x8000.
  if (header.bitpix == 16) {
    return fits::ReadBigEndian16(file.get(), path, header.data_offset, header.width, header.height, m,
                                 threads, 0x8000);
  }
  if (Status s = fits::ReadScaledPixels(file.get(), path, header, m); !s) return s;
  ToUnsigned16(32768, header.width, header.height, m);
  return Status::Ok();
}

FitsImageReader::FitsImageReader() = default;

FitsImageReader::~FitsImageReader() {
  if (m_file) std::fclose(m_file);
}

Status FitsImageReader::Open(const std::string& path, FitsHeader& header) {
  FilePtr file;
  if (Status s = ScanFile(path, header, file); !s) return s;
  if (m_file) std::fclose(m_file);
  m_file = file.release();
  m_path = path;
  m_header = &header;
  return Status::Ok();
}

bool FitsImageReader::Raw16() const { return m_file && m_header->bitpix == 16; }

Status FitsImageReader::ReadRows(int y, int count, std::uint16_t* out) const {
  const long long row_bytes = 2LL * m_header->width;
  const long long bytes = row_bytes * count;
  const long long at = m_header->data_offset + row_bytes * y;
  char* p = reinterpret_cast<char*>(out);
  long long done = 0;
  const int fd = fileno(m_file);
  while (done < bytes) {
    const ssize_t got = ::pread(fd, p + done, static_cast<std::size_t>(bytes - done), at + done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Status::Error(m_path + ": read error at byte " + Text(at + done) + ": " + std::strerror(errno));
    }
    if (got == 0) break;
    done += got;
  }
  // Past the end of the file every byte counts as 255.
  if (done < bytes) std::memset(p + done, 0xFF, static_cast<std::size_t>(bytes - done));
  // Big-endian stored values to raw: the sign shift by 32768 of 0..65535 is
  // a flip of the top bit.
  const std::size_t n = static_cast<std::size_t>(bytes / 2);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint16_t v = out[i];
    if constexpr (std::endian::native == std::endian::little)
      v = static_cast<std::uint16_t>((v << 8) | (v >> 8));
    out[i] = static_cast<std::uint16_t>(v ^ 0x8000);
  }
  return Status::Ok();
}

Status FitsImageReader::ReadMatrix(IntMatrix& m) {
  const FitsHeader& header = *m_header;
  if (m.count() != header.width || m.n() != header.height) {
    return Status::Error(m_path + ": the image is " + Text(header.width) + " x " + Text(header.height) +
                         " but the matrix given for it is " + Text(m.count()) + " x " + Text(m.n()));
  }
  if (header.bitpix == 16) {
    return fits::ReadBigEndian16(m_file, m_path, header.data_offset, header.width, header.height, m, 0,
                                 0x8000);
  }
  if (Status s = fits::ReadScaledPixels(m_file, m_path, header, m); !s) return s;
  ToUnsigned16(32768, header.width, header.height, m);
  return Status::Ok();
}

Status FitsImageReader::ReadPhysical(float* out, long long& rounded, long long plane) {
  return fits::ReadPhysicalPixels(m_file, m_path, *m_header, out, rounded, plane);
}

int ToUnsigned16(int a, int w, int h, IntMatrix& m) {
  w = std::clamp(w, 0, m.count());
  h = std::clamp(h, 0, m.n());
  if (w == 0 || h == 0) return 0;
  ParallelFor(w, static_cast<long long>(w) * h, [&m, a, h](long long x0, long long x1) {
    for (long long x = x0; x < x1; ++x) ShiftColumn(m[static_cast<int>(x)], h, a);
  });
  return 0;
}

}  // namespace qirm
