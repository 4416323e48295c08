// SPDX-License-Identifier: GPL-3.0-or-later
// Binary Netpbm reader: colour files (P6, three bytes a pixel) and grey files
// (P5, one byte a pixel, read into R = G = B).
//
// Accepted header: the tag, optionally one comment line introduced by a "#"
// word standing alone right after the tag (the rest of that line, up to 199
// characters, is skipped), width, height, maximum value, one white-space
// byte, then the data. The maximum value is not used for scaling: every data
// byte is a value 0..255. Missing data bytes count as 0.
//
// The header is parsed twice, as two passes over the file: the first learns
// the size (and prints the words it met), the second reads the maximum value
// and the data. Files the reader cannot interpret are refused with an error
// naming the file: other tags (ASCII variants, bitmaps), comments in any
// other form or place, a missing or non-positive width or height, sides
// above 16000, maximum values outside 1..255 (16-bit samples).
#include "core/ppm_reader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/file_bytes.h"
#include "core/printable.h"

namespace qirm {
namespace {

constexpr int kMaxSide = 16000;          // as for FITS frames
constexpr long kMaxHeaderBytes = 65536;  // no real header comes near this
constexpr std::size_t kMaxWord = 64;     // longer words are no header words
constexpr int kCommentChars = 199;       // the skipped rest of the comment line
// Memory per pixel while reading and as a window: the data (up to 3), three
// channel matrices (12), the picture and its copy (6).
constexpr int kBytesPerPixel = 24;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct FreeDeleter {
  void operator()(unsigned char* p) const { std::free(p); }
};

// Reads the header with the rules of scanf's "%s" and "%d" and of fgets,
// never more than kMaxHeaderBytes bytes, so that no input can make it run on.
class HeaderScanner {
 public:
  explicit HeaderScanner(std::FILE* f) : m_file(f) {}

  // Skips white space, then takes the run of non-white bytes. False when the
  // file ends first or the word is implausibly long.
  bool Word(std::string& out) {
    out.clear();
    int c = SkipSpace();
    while (c != EOF && !IsSpace(c)) {
      if (out.size() == kMaxWord) {
        m_long_word = true;
        return false;
      }
      out += static_cast<char>(c);
      c = Get();
    }
    Unget(c);
    return !out.empty();
  }

  // Skips white space, then an optionally signed decimal integer. False when
  // no digit follows. Values beyond +-1e9 come back as +-1e9 (all too large).
  bool Integer(long long& out) {
    int c = SkipSpace();
    bool negative = false;
    if (c == '+' || c == '-') {
      negative = c == '-';
      c = Get();
    }
    if (c == EOF || !std::isdigit(c)) {
      Unget(c);
      return false;
    }
    long long value = 0;
    m_digits = negative ? "-" : "";
    while (c != EOF && std::isdigit(c)) {
      value = std::min(value * 10 + (c - '0'), 1000000000LL);
      // The number as written, for messages (a long one shortened).
      if (m_digits.size() < 24)
        m_digits += static_cast<char>(c);
      else if (m_digits.size() == 24)
        m_digits += "...";
      c = Get();
    }
    Unget(c);
    out = negative ? -value : value;
    return true;
  }

  // The rest of the line as fgets with a 200-byte buffer gives it: up to 199
  // bytes, the line break included when it comes within them.
  std::string RestOfLine() {
    std::string text;
    while (static_cast<int>(text.size()) < kCommentChars) {
      const int c = Get();
      if (c == EOF) break;
      text += static_cast<char>(c);
      if (c == '\n') break;
    }
    return text;
  }

  // One byte, whatever it is (the separator after the maximum value).
  void SkipByte() { Get(); }

  // The digits of the last integer read, as written.
  const std::string& digits() const { return m_digits; }
  bool overlong() const { return m_overlong; }
  bool long_word() const { return m_long_word; }

 private:
  static bool IsSpace(int c) { return c != EOF && std::isspace(c); }

  int Get() {
    if (m_consumed >= kMaxHeaderBytes) {
      m_overlong = true;
      return EOF;
    }
    ++m_consumed;
    return std::getc(m_file);
  }
  void Unget(int c) {
    if (c == EOF) return;
    --m_consumed;
    std::ungetc(c, m_file);
  }
  int SkipSpace() {
    int c = Get();
    while (IsSpace(c)) c = Get();
    return c;
  }

  std::FILE* m_file;
  long m_consumed = 0;
  bool m_overlong = false;
  bool m_long_word = false;
  std::string m_digits;
};

struct Header {
  std::string tag;
  long long w = 0;
  long long h = 0;
  long long maxval = 0;
};

// At most 16 bytes of a word for a message, non-printing bytes as '?'.
std::string Printable(const std::string& word) {
  std::string out = word.substr(0, 16);
  for (char& c : out)
    if (!std::isprint(static_cast<unsigned char>(c))) c = '?';
  return out;
}

Status HeaderError(const std::string& path, const HeaderScanner& scan, const std::string& what) {
  if (scan.overlong()) return Status::Error(path + ": Netpbm header longer than 64 KiB");
  if (scan.long_word()) return Status::Error(path + ": not a Netpbm header (a word of over 64 bytes)");
  return Status::Error(path + ": " + what);
}

// Tag, optional comment, width and height. The first pass prints the words
// and the skipped comment; the second pass parses silently.
Status ParseSize(const std::string& path, std::FILE* f, HeaderScanner& scan, bool trace, Header& header) {
  std::string second;
  if (!scan.Word(header.tag)) return HeaderError(path, scan, "empty file or no Netpbm format tag");
  const bool have_second = scan.Word(second);
  if (trace) std::printf("%s %s\n", second.c_str(), header.tag.c_str());
  if (header.tag != "P6" && header.tag != "P5") {
    const bool other_netpbm = header.tag.size() == 2 && header.tag[0] == 'P';
    return Status::Error(path + ": format tag \"" + Printable(header.tag) + "\" is " +
                         (other_netpbm ? "not binary 8-bit colour (P6) or grey (P5)" : "not a Netpbm tag"));
  }
  if (!have_second) return HeaderError(path, scan, "Netpbm header ends after the format tag");

  if (second == "#") {
    const std::string comment = scan.RestOfLine();
    if (trace) {
      std::printf("%s\n", comment.c_str());
      std::printf("if\n");
    }
  } else {
    if (second[0] == '#') {
      return Status::Error(path + ": Netpbm comment not in the form \"# text\" after the format tag");
    }
    // No comment: start over and read the tag again, then the size.
    if (std::fseek(f, 0, SEEK_SET) != 0) return Status::Error(path + ": cannot go back to the start");
    scan = HeaderScanner(f);
    scan.Word(header.tag);
  }
  if (!scan.Integer(header.w)) return HeaderError(path, scan, "Netpbm header has no width");
  const std::string width_text = scan.digits();
  if (!scan.Integer(header.h)) return HeaderError(path, scan, "Netpbm header has no height");
  if (header.w < 1 || header.h < 1 || header.w > kMaxSide || header.h > kMaxSide) {
    return Status::Error(path + ": Netpbm size " + width_text + " x " + scan.digits() + " outside 1.." +
                         std::to_string(kMaxSide) + " per side");
  }
  return Status::Ok();
}

// The file as a stream, when it is a regular file (or a folder, refused
// later); else null with `refusal` set, or with it empty when it cannot be
// opened at all.
std::FILE* OpenStream(const std::string& path, std::string& refusal) {
  const int fd = OpenRegularFile(path, refusal);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "rb");
  if (f == nullptr) ::close(fd);
  return f;
}

Status CannotOpen(const std::string& path, const std::string& refusal) {
  if (!refusal.empty()) return Status::Error(path + ": " + refusal);
  std::printf("Couldn't find %s\n", PrintableText(path).c_str());
  return Status::Error("Couldn't find " + path);
}

}  // namespace

Status ReadPpmFile(const std::string& path, int& w, int& h, IntMatrix& r, IntMatrix& g, IntMatrix& b) {
  w = 0;
  h = 0;
  r.Release();
  g.Release();
  b.Release();
  std::printf("declared\n");

  // First pass: the size.
  Header first;
  long long present = 0;
  {
    std::string refusal;
    File f(OpenStream(path, refusal));
    if (!f) return CannotOpen(path, refusal);
    HeaderScanner scan(f.get());
    if (Status s = ParseSize(path, f.get(), scan, true, first); !s) return s;
    // Where the data start: after the maximum value and its separator
    // (the second pass checks them).
    long long maxval = 0;
    if (scan.Integer(maxval)) scan.SkipByte();
    struct stat info {};
    const long header_end = std::ftell(f.get());
    if (::fstat(::fileno(f.get()), &info) == 0 && header_end >= 0) present = info.st_size - header_end;
  }
  const int channels = first.tag == "P6" ? 3 : 1;
  const long long size = first.w * first.h * channels;  // at most 16000 * 16000 * 3 < 2^31
  if (std::string r = CheckDataPresent(static_cast<std::uint64_t>(std::max(0LL, present)),
                                       static_cast<std::uint64_t>(size));
      !r.empty()) {
    return Status::Error(path + ": " + r);
  }
  if (std::string r = CheckMemoryFor(first.w, first.h, kBytesPerPixel); !r.empty())
    return Status::Error(path + ": " + r);

  if (static_cast<unsigned long long>(size) > MatrixByteLimit()) {
    return Status::Error(path + ": no memory for " + std::to_string(size) + " bytes of pixel data");
  }
  std::unique_ptr<unsigned char, FreeDeleter> data(
      static_cast<unsigned char*>(std::calloc(static_cast<std::size_t>(size), 1)));
  if (!data) return Status::Error(path + ": no memory for " + std::to_string(size) + " bytes of pixel data");
  std::printf("extended  unsigned char 1D \n");

  // Second pass: the header again with the maximum value, then the data.
  {
    std::string refusal;
    File f(OpenStream(path, refusal));
    if (!f) return CannotOpen(path, refusal);
    HeaderScanner scan(f.get());
    Header second;
    if (Status s = ParseSize(path, f.get(), scan, false, second); !s) return s;
    if (second.tag != first.tag || second.w != first.w || second.h != first.h) {
      return Status::Error(path + ": file changed while it was read");
    }
    if (!scan.Integer(second.maxval)) return HeaderError(path, scan, "Netpbm header has no maximum value");
    if (second.maxval < 1 || second.maxval > 255) {
      return Status::Error(path + ": maximum value " + scan.digits() +
                           " outside 1..255 (only 8-bit samples are read)");
    }
    std::printf("%d %d %d\n", static_cast<int>(first.w), static_cast<int>(first.h), static_cast<int>(size));
    scan.SkipByte();
    // A short file leaves the rest of the zero-filled buffer at 0.
    std::fread(data.get(), 1, static_cast<std::size_t>(size), f.get());
  }
  const int width = static_cast<int>(first.w);
  const int height = static_cast<int>(first.h);
  std::printf("%d %d\n", height, width);
  std::printf("opened head\n");

  if (AllocIntMatrix(width, height, r) != 0 || AllocIntMatrix(width, height, g) != 0 ||
      AllocIntMatrix(width, height, b) != 0) {
    r.Release();
    g.Release();
    b.Release();
    return Status::Error(path + ": no memory for three " + std::to_string(width) + " x " +
                         std::to_string(height) + " channel matrices");
  }
  std::printf("extended\n");
  std::printf("reading ...\n");

  const unsigned char* bytes = data.get();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t k = static_cast<std::size_t>(y) * width + x;
      if (channels == 3) {
        r[x][y] = bytes[3 * k];
        g[x][y] = bytes[3 * k + 1];
        b[x][y] = bytes[3 * k + 2];
      } else {
        r[x][y] = g[x][y] = b[x][y] = bytes[k];
      }
    }
  }
  w = width;
  h = height;
  return Status::Ok();
}

}  // namespace qirm
