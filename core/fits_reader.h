// SPDX-License-Identifier: GPL-3.0-or-later
// FITS reading: a header pass that tells the size, a full pass that reads the
// header again and then the pixels into an IntMatrix, and the shift of the
// stored signed 16-bit values into 0..65535.
//
// Calling order, used by every caller:
//   FitsHeader h;
//   ReadFitsHeader(path, h);             // h.width, h.height
//   AllocIntMatrix(h.width, h.height, m);
//   ReadFitsFile(path, h, m);            // m[x][y], row y = 0 of the file first
//   ToUnsigned16(32768, h.width, h.height, m);   // raw values 0..65535
//
// Both passes print their console traces to standard output and rewrite the
// trace file "test.dat" in the user's cache folder (TraceFilePath() of
// core/user_dirs.h, replaced whole at the end of the pass) with the cards read. A file
// that cannot be used prints its console text and returns an error Status;
// the process always goes on.
//
// Header cards. Cards of 80 bytes are read one by one; the END card ("END"
// and 77 blanks: ENDTIME and the like are ordinary keywords) ends the
// header, which is then completed to a whole number of 2880-byte blocks (36
// cards; 72 when END lies in the second block, and so on; at most
// kFitsMaxHeaderCards cards in all are read). The
// data start right after the last card read. "test.dat" gets a "\n" before
// every card read up to END and within the first block, and the padding
// cards after END in later blocks with no line break in between.
// bitpix_columns and bzero are fixed-column totals over every card read:
// columns 27..30 for BITPIX, 16..21 for BZERO; a digit counts with its
// weight, any other character 0, and a keyword met twice adds up. NAXIS1 and
// NAXIS2 are read the same way (columns 27..30) for a BITPIX 16 primary image.
//
// Pixels, by the BITPIX of the image (read the standard way):
//  - 16 (and a header without BITPIX): two-byte big-endian values, row after
//    row, stored unsigned 0..65535 into m[x][y]; BSCALE and BZERO are ignored,
//    ToUnsigned16(32768) gives the raw value (stored signed value + 32768).
//    Bytes past the end of the file count as 255.
//  - 8, 32, 64, -32, -64: physical = BZERO + BSCALE * stored. The raw value
//    0..65535 is: if every valid pixel lies within 0..1, round(p * 65535);
//    else if within 0..65535, round(p); else linear from the minimum (0) to
//    the maximum (65535). Rounding is half up. NaN, infinities, BLANK pixels
//    and pixels missing at the end of a short file are 0 and take no part in
//    the range. So that every caller keeps its calling order, ReadFitsFile
//    stores raw XOR 0x8000: the value that ToUnsigned16(32768) turns into raw.
//    width/height come from the standard parse (values anywhere in columns
//    11..80 before a "/", read as real numbers); a cube gives its first plane.
//
// Which image: the primary when it has data. A primary without data (NAXIS 0
// or an axis of length 0) leads to the first IMAGE extension with data;
// other extensions are skipped. Then every header read (primary, skipped
// extensions, the image's) is in card_bytes, cards and "test.dat", each
// header traced by the rule above, and the image's size comes from the
// standard parse of its header, whatever its BITPIX.
//
// A BITPIX 16 image in the primary takes its size from the fixed columns.
// Where one NAXIS1/NAXIS2 card holds a value that the fixed columns misread
// (free format, 10000 and more) the standard value is used; a negative one
// is refused.
//
// Refused, with a message naming the file and the reason (and the console
// text "file open error    PATH\n" for a file that cannot be opened or used):
// no END card, a file shorter than its header, a missing, zero, negative or
// unreadable size, an unsupported BITPIX, no image at all. W or H > 16000
// prints "%d %d\n" and "alloc error !!\n" (both passes) and is refused.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/matrix.h"
#include "core/status.h"

namespace qirm {

// The largest width or height accepted.
constexpr int kFitsMaxSide = 16000;
// At most this many header cards are read from one file (1000 blocks): END
// is searched for no further.
constexpr int kFitsMaxHeaderCards = 36000;
// Memory an opened frame may take per pixel, kept generous: the raw matrix
// other pixel types are read through (4), the shown picture (3) and the raw
// plane (2), with room for the level sampling and a command's working copy.
constexpr int kFitsBytesPerPixel = 16;

struct FitsHeader {
  int width = 0;   // W, values per row (NAXIS1)
  int height = 0;  // H, rows (NAXIS2)
  int cards = 0;   // header cards read, a multiple of 36
  int bzero = 0;   // BZERO total as read from columns 16..21
  // Every card read, unchanged, card i at offset 80 * i.
  std::vector<char> card_bytes;

  // Filled by the reader for its own second pass; callers need not look.
  int bitpix = 0;             // BITPIX of the image read (16 also when absent)
  long long data_offset = 0;  // byte offset of the image data in the file
  int bitpix_columns = 0;     // BITPIX total from columns 27..30 (not used)
  int hdu = 0;                // 0: the primary image; k: the k-th extension
  double bscale = 1.0;        // standard BSCALE, BZERO, BLANK of the image
  double zero = 0.0;          // (used for BITPIX other than 16)
  bool has_blank = false;
  long long blank = 0;
  // Planes of NAXIS1 x NAXIS2 values (the product of NAXIS3, NAXIS4, ...):
  // 3 for a colour cube; readers take the first unless told another.
  long long planes = 1;
};

// Every pass but ReadFitsHeaderOnly also refuses an image whose data are
// mostly absent from the file (CheckDataPresent of core/file_bytes.h) or
// whose window needs more memory than the machine has
// (kFitsBytesPerPixel, CheckMemoryFor), before any caller allocates.
Status ReadFitsHeader(const std::string& path, FitsHeader& header);
// The header pass alone, for showing the header of any file.
Status ReadFitsHeaderOnly(const std::string& path, FitsHeader& header);
// The same header pass without rewriting "test.dat": for checks a command
// makes of its own before the reads the trace is meant to show.
Status CheckFitsHeader(const std::string& path, FitsHeader& header);
// m must have been created with count = header.width, n = header.height; a
// matrix of another size is refused before anything is written into it.
Status ReadFitsFile(const std::string& path, FitsHeader& header, IntMatrix& m);
// ReadFitsFile followed by ToUnsigned16(32768) over the whole image, with
// the shift done as the values are stored where the data are 16-bit.
// threads: for the pixels of 16-bit data (0: PartCount of the frame).
Status ReadFitsFileSignShifted(const std::string& path, FitsHeader& header, IntMatrix& m, int threads = 0);
// The full pass for readers that take a 16-bit image's rows themselves
// (the open command makes its pictures from them, never holding a matrix):
// Open reads the header as ReadFitsFile does, with the same traces; then
// ReadRows gives rows of raw values where the data are 16-bit, and
// ReadMatrix reads the whole image as ReadFitsFileSignShifted does.
class FitsImageReader {
 public:
  FitsImageReader();
  ~FitsImageReader();
  FitsImageReader(const FitsImageReader&) = delete;
  FitsImageReader& operator=(const FitsImageReader&) = delete;

  Status Open(const std::string& path, FitsHeader& header);
  // The data are 16-bit: ReadRows may be used.
  bool Raw16() const;
  // Rows y .. y + count - 1 as raw values (stored + 32768), row after row,
  // into out (count x width values); bytes past the end of the file count
  // as 255, as ReadFitsFile has them. Safe from several threads at once.
  Status ReadRows(int y, int count, std::uint16_t* out) const;
  // m created with the image's size: raw values 0..65535.
  Status ReadMatrix(IntMatrix& m);
  // Plane `plane` (0: the first) of the data as physical values
  // (fits::ReadPhysicalPixels): out holds width * height floats; rounded
  // counts values beyond float precision.
  Status ReadPhysical(float* out, long long& rounded, long long plane = 0);

 private:
  std::FILE* m_file = nullptr;
  std::string m_path;
  FitsHeader* m_header = nullptr;
};

// Every element v of the w x h matrix: v < a ? v + a : v - a (in 32-bit
// wrap-around arithmetic). w and h are clipped to the matrix. Returns 0.
int ToUnsigned16(int a, int w, int h, IntMatrix& m);

}  // namespace qirm
