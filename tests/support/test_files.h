// SPDX-License-Identifier: GPL-3.0-or-later
// Small files written byte by byte for tests.
#pragma once

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace qirm::test {

inline std::string Card(const std::string& text) { return text + std::string(80 - text.size(), ' '); }

// A 16-bit FITS frame in the standard fixed format; raw values 0..65535 are
// stored as signed values with BZERO 32768, rows from y = 0.
inline std::string Fits16Bytes(int w, int h, const std::vector<int>& raw) {
  char line[81];
  std::string header;
  header += Card("SIMPLE  =                    T");
  header += Card("BITPIX  =                   16");
  header += Card("NAXIS   =                    2");
  std::snprintf(line, sizeof line, "NAXIS1  = %20d", w);
  header += Card(line);
  std::snprintf(line, sizeof line, "NAXIS2  = %20d", h);
  header += Card(line);
  header += Card("BZERO   =                32768");
  header += Card("END");
  header.resize(2880, ' ');
  std::string data;
  for (int v : raw) {
    const unsigned stored = static_cast<unsigned>(v) ^ 0x8000u;
    data += static_cast<char>(stored >> 8);
    data += static_cast<char>(stored & 0xFF);
  }
  data.resize((data.size() + 2879) / 2880 * 2880, '\0');
  return header + data;
}

// A 40 x 20 frame of raw 1000 with a TAN WCS: FITS pixel (1, 1) at RA 10,
// Dec 20, one arcsecond per pixel, north up the rows.
inline std::string TanFrame() {
  std::string bytes = Fits16Bytes(40, 20, std::vector<int>(40 * 20, 1000));
  bytes.replace(6 * 80, 9 * 80,
                Card("CTYPE1  = 'RA---TAN'") + Card("CTYPE2  = 'DEC--TAN'") +
                    Card("CRVAL1  =                 10.0") + Card("CRVAL2  =                 20.0") +
                    Card("CRPIX1  =                  1.0") + Card("CRPIX2  =                  1.0") +
                    Card("CD1_1   = -2.7777777777778E-04") + Card("CD2_2   =  2.7777777777778E-04") +
                    Card("END"));
  return bytes;
}

// A binary Netpbm colour file: "P6\nW H\n255\n" and the bytes r, g, b, ...
inline std::string Ppm6Bytes(int w, int h, const std::vector<unsigned char>& rgb) {
  std::string out = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  out.append(rgb.begin(), rgb.end());
  return out;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace qirm::test
