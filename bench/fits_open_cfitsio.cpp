// SPDX-License-Identifier: GPL-3.0-or-later
// The peer of `qirm-cli run FILE --state`: cfitsio reads the image into
// 16-bit values (a 16-bit frame) or 32-bit floats (any other pixel type, as
// QIRM's float windows hold them) and the program finds their extremes, the
// least a viewer must do before it can show a frame. Timed as a whole
// process beside qirm-cli (bench/open_compare.sh).
//
//   build/bench/fits_open_cfitsio FILE
#include <fitsio.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fits_open_cfitsio FILE\n");
    return 2;
  }
  fitsfile* file = nullptr;
  int status = 0;
  int naxis = 0;
  long naxes[2] = {0, 0};
  if (fits_open_image(&file, argv[1], READONLY, &status) || fits_get_img_dim(file, &naxis, &status) ||
      fits_get_img_size(file, 2, naxes, &status)) {
    fits_report_error(stderr, status);
    return 1;
  }
  const long long n = static_cast<long long>(naxes[0]) * naxes[1];
  int bitpix = 0;
  int any_null = 0;
  if (fits_get_img_type(file, &bitpix, &status)) {
    fits_report_error(stderr, status);
    return 1;
  }
  if (bitpix != SHORT_IMG && bitpix != USHORT_IMG) {
    std::vector<float> values(static_cast<std::size_t>(n));
    if (fits_read_img(file, TFLOAT, 1, n, nullptr, values.data(), &any_null, &status)) {
      fits_report_error(stderr, status);
      return 1;
    }
    fits_close_file(file, &status);
    float lo = values.empty() ? 0 : values[0], hi = lo;
    for (const float v : values) {
      lo = v < lo ? v : lo;
      hi = v > hi ? v : hi;
    }
    std::printf("%ld x %ld, min %g, max %g\n", naxes[0], naxes[1], lo, hi);
    return 0;
  }
  std::vector<unsigned short> values(static_cast<std::size_t>(n));
  if (fits_read_img(file, TUSHORT, 1, n, nullptr, values.data(), &any_null, &status)) {
    fits_report_error(stderr, status);
    return 1;
  }
  fits_close_file(file, &status);
  unsigned short lo = 65535;
  unsigned short hi = 0;
  for (const unsigned short v : values) {
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  std::printf("%ld x %ld, min %u, max %u\n", naxes[0], naxes[1], lo, hi);
  return 0;
}
