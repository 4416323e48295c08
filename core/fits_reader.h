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
// trace file "test.dat" in the current directory with the cards read. A file
// that cannot be used prints its console text and returns an error Status;
// the process always goes on.
#pragma once

#include <string>
#include <vector>

#include "core/matrix.h"
#include "core/status.h"

namespace qirm {

struct FitsHeader {
  int width = 0;   // W, values per row (NAXIS1)
  int height = 0;  // H, rows (NAXIS2)
  int cards = 0;   // header cards read, a multiple of 36
  int bzero = 0;   // BZERO total as read from columns 16..21
  // Every card read, unchanged, card i at offset 80 * i.
  std::vector<char> card_bytes;

  // Filled by the reader for its own second pass; callers need not look.
  int bitpix = 0;
  long long data_offset = 0;  // byte offset of the image data in the file
};

Status ReadFitsHeader(const std::string& path, FitsHeader& header);
// m must have been created with count = header.width, n = header.height.
Status ReadFitsFile(const std::string& path, FitsHeader& header, IntMatrix& m);
// Every element v of the w x h matrix: v < a ? v + a : v - a. Returns 0.
int ToUnsigned16(int a, int w, int h, IntMatrix& m);

}  // namespace qirm
