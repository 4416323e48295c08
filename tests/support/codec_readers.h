// SPDX-License-Identifier: GPL-3.0-or-later
// Independent readers for the PNG and TIFF files the program writes: libpng's
// and libtiff's own decoders, so that a test compares decoded samples, not
// compressed bytes. Each returns an empty picture (and `depth` 0) when the
// file does not decode as RGB.
#pragma once

#include <png.h>
#include <tiffio.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/rgb16.h"

namespace qirm::test {

// Samples of an RGB PNG (8 or 16 bits per channel, stored as they are).
inline Rgb16Picture ReadPngRgb(const std::vector<std::uint8_t>& bytes, int& depth) {
  depth = 0;
  // Raw samples through the ordinary interface: the simplified one turns
  // 16-bit files into linear light.
  struct Source {
    const std::vector<std::uint8_t>* bytes;
    std::size_t at;
  } source{&bytes, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Rgb16Picture result;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    depth = 0;
    return {};
  }
  png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t n) {
    auto* s = static_cast<Source*>(png_get_io_ptr(p));
    if (s->at + n > s->bytes->size()) png_error(p, "short file");
    std::memcpy(out, s->bytes->data() + s->at, n);
    s->at += n;
  });
  png_read_info(png, info);
  if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB) {
    png_destroy_read_struct(&png, &info, nullptr);
    return {};
  }
  const int bits = png_get_bit_depth(png, info);
  result = Rgb16Picture(static_cast<int>(png_get_image_width(png, info)),
                        static_cast<int>(png_get_image_height(png, info)));
  std::vector<std::uint8_t> row(png_get_rowbytes(png, info));
  for (int y = 0; y < result.height; ++y) {
    png_read_row(png, row.data(), nullptr);
    std::uint16_t* out = result.Row(y);
    for (int i = 0; i < result.width * 3; ++i) {
      out[i] = bits == 16 ? static_cast<std::uint16_t>(row[2 * i] << 8 | row[2 * i + 1]) : row[i];
    }
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  depth = bits;
  return result;
}

// Samples of an RGB TIFF file (8 or 16 bits per channel, chunky).
inline Rgb16Picture ReadTiffRgb(const std::string& path, int& depth) {
  depth = 0;
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return {};
  std::uint32_t w = 0, h = 0;
  std::uint16_t bits = 0, spp = 0, photometric = 0, planar = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  Rgb16Picture result;
  if (spp == 3 && photometric == PHOTOMETRIC_RGB && planar == PLANARCONFIG_CONTIG &&
      (bits == 8 || bits == 16)) {
    result = Rgb16Picture(static_cast<int>(w), static_cast<int>(h));
    std::vector<std::uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(tif)));
    bool ok = true;
    for (std::uint32_t y = 0; ok && y < h; ++y) {
      ok = TIFFReadScanline(tif, row.data(), y, 0) == 1;
      std::uint16_t* out = result.Row(static_cast<int>(y));
      for (std::uint32_t i = 0; ok && i < w * 3; ++i) {
        if (bits == 16) {
          std::memcpy(&out[i], &row[2 * i], 2);
        } else {
          out[i] = row[i];
        }
      }
    }
    if (ok) {
      depth = bits;
    } else {
      result = {};
    }
  }
  TIFFClose(tif);
  return result;
}

}  // namespace qirm::test
