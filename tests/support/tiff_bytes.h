// SPDX-License-Identifier: GPL-3.0-or-later
// Little-endian TIFF files spelled out tag by tag, for the readers' tests:
// camera raw DNG files with whatever tags a test wants (no raw files are at
// hand, and libtiff cannot write every DNG and EXIF tag in the main
// directory), and broken files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qirm::test {

enum TiffType : std::uint16_t {
  kTiffByte = 1,
  kTiffAscii = 2,
  kTiffShort = 3,
  kTiffLong = 4,
  kTiffRational = 5,
  kTiffSRational = 10,
};

struct TiffEntry {
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 0;
  std::vector<std::uint8_t> bytes;  // the values, little-endian
};

inline void PutLe(std::vector<std::uint8_t>& out, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline TiffEntry TiffShorts(std::uint16_t tag, const std::vector<std::uint16_t>& values) {
  TiffEntry e{tag, kTiffShort, static_cast<std::uint32_t>(values.size()), {}};
  for (std::uint16_t v : values) PutLe(e.bytes, v, 2);
  return e;
}

inline TiffEntry TiffLongs(std::uint16_t tag, const std::vector<std::uint32_t>& values) {
  TiffEntry e{tag, kTiffLong, static_cast<std::uint32_t>(values.size()), {}};
  for (std::uint32_t v : values) PutLe(e.bytes, v, 4);
  return e;
}

inline TiffEntry TiffBytes(std::uint16_t tag, const std::vector<std::uint8_t>& values) {
  return TiffEntry{tag, kTiffByte, static_cast<std::uint32_t>(values.size()), values};
}

inline TiffEntry TiffAscii(std::uint16_t tag, const std::string& text) {
  TiffEntry e{tag, kTiffAscii, static_cast<std::uint32_t>(text.size() + 1), {}};
  e.bytes.assign(text.begin(), text.end());
  e.bytes.push_back(0);
  return e;
}

// Pairs numerator, denominator.
inline TiffEntry TiffRationals(std::uint16_t tag, const std::vector<std::uint32_t>& pairs) {
  TiffEntry e{tag, kTiffRational, static_cast<std::uint32_t>(pairs.size() / 2), {}};
  for (std::uint32_t v : pairs) PutLe(e.bytes, v, 4);
  return e;
}

inline TiffEntry TiffSRationals(std::uint16_t tag, const std::vector<std::int32_t>& pairs) {
  TiffEntry e{tag, kTiffSRational, static_cast<std::uint32_t>(pairs.size() / 2), {}};
  for (std::int32_t v : pairs) PutLe(e.bytes, static_cast<std::uint32_t>(v), 4);
  return e;
}

// Bytes an IFD of these entries takes with its values stored after it.
inline std::size_t TiffIfdSize(const std::vector<TiffEntry>& entries) {
  std::size_t size = 2 + 12 * entries.size() + 4;
  for (const TiffEntry& e : entries)
    if (e.bytes.size() > 4) size += (e.bytes.size() + 1) & ~std::size_t{1};
  return size;
}

// Appends the IFD (entries sorted by tag, as TIFF wants) and its values at
// the end of `out`, which must be of even length.
inline void AppendTiffIfd(std::vector<std::uint8_t>& out, std::vector<TiffEntry> entries,
                          std::uint32_t next) {
  std::sort(entries.begin(), entries.end(),
            [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
  const std::size_t start = out.size();
  std::size_t values = start + 2 + 12 * entries.size() + 4;
  std::vector<std::uint8_t> tail;
  PutLe(out, entries.size(), 2);
  for (const TiffEntry& e : entries) {
    PutLe(out, e.tag, 2);
    PutLe(out, e.type, 2);
    PutLe(out, e.count, 4);
    if (e.bytes.size() <= 4) {
      std::vector<std::uint8_t> inline_value = e.bytes;
      inline_value.resize(4, 0);
      out.insert(out.end(), inline_value.begin(), inline_value.end());
    } else {
      PutLe(out, values + tail.size(), 4);
      tail.insert(tail.end(), e.bytes.begin(), e.bytes.end());
      if (tail.size() & 1) tail.push_back(0);
    }
  }
  PutLe(out, next, 4);
  out.insert(out.end(), tail.begin(), tail.end());
}

// What a test DNG holds. Samples are 16-bit, uncompressed, one strip.
struct DngSpec {
  // LibRaw takes no raw image smaller than 22 x 22.
  int width = 32;
  int height = 24;
  std::vector<std::uint16_t> samples;            // width * height, rows from the top
  std::vector<std::uint8_t> cfa = {0, 1, 1, 2};  // 0 red, 1 green, 2 blue
  std::vector<std::uint16_t> cfa_dim = {2, 2};   // rows, columns of the pattern
  std::uint16_t photometric = 32803;             // colour filter array
  int samples_per_pixel = 1;
  std::string make = "QIRM";
  std::string model = "TestCam 1";
  std::vector<std::uint32_t> active_area;        // top, left, bottom, right; empty: none
  std::uint32_t black = 0;                       // BlackLevel, 0: no tag
  std::uint32_t white = 0;                       // WhiteLevel, 0: no tag
  std::vector<std::uint32_t> as_shot_neutral;    // rational pairs, 3 of them; empty: none
  std::vector<std::uint32_t> exposure = {1, 2};  // EXIF ExposureTime, a rational; empty: none
  std::uint16_t iso = 0;                         // EXIF ISO speed, 0: none
  std::string date;                              // EXIF DateTimeOriginal "YYYY:MM:DD hh:mm:ss"
};

// A DNG file: IFD 0 holds the raw image, an EXIF IFD the shot's settings.
inline std::vector<std::uint8_t> DngBytes(const DngSpec& spec) {
  std::vector<TiffEntry> exif;
  if (!spec.exposure.empty()) exif.push_back(TiffRationals(33434, spec.exposure));
  if (spec.iso != 0) exif.push_back(TiffShorts(34855, {spec.iso}));
  if (!spec.date.empty()) exif.push_back(TiffAscii(36867, spec.date));

  const std::uint32_t data_bytes =
      static_cast<std::uint32_t>(spec.width) * spec.height * 2 * spec.samples_per_pixel;
  auto ifd0 = [&](std::uint32_t exif_offset, std::uint32_t data_offset) {
    std::vector<TiffEntry> e = {
        TiffLongs(254, {0}),  // NewSubfileType: the main image
        TiffLongs(256, {static_cast<std::uint32_t>(spec.width)}),
        TiffLongs(257, {static_cast<std::uint32_t>(spec.height)}),
        TiffShorts(258, std::vector<std::uint16_t>(spec.samples_per_pixel, 16)),
        TiffShorts(259, {1}),
        TiffShorts(262, {spec.photometric}),
        TiffAscii(271, spec.make),
        TiffAscii(272, spec.model),
        TiffLongs(273, {data_offset}),
        TiffShorts(274, {1}),
        TiffShorts(277, {static_cast<std::uint16_t>(spec.samples_per_pixel)}),
        TiffLongs(278, {static_cast<std::uint32_t>(spec.height)}),
        TiffLongs(279, {data_bytes}),
        TiffShorts(284, {1}),
        TiffBytes(50706, {1, 4, 0, 0}),  // DNGVersion
        TiffAscii(50708, spec.make + " " + spec.model),
        // ColorMatrix1: the identity, so that no camera table is needed.
        TiffSRationals(50721, {1, 1, 0, 1, 0, 1, 0, 1, 1, 1, 0, 1, 0, 1, 0, 1, 1, 1}),
    };
    if (spec.photometric == 32803) {
      e.push_back(TiffShorts(33421, spec.cfa_dim));
      e.push_back(TiffBytes(33422, spec.cfa));
    }
    if (!exif.empty()) e.push_back(TiffLongs(34665, {exif_offset}));
    if (spec.black != 0) e.push_back(TiffLongs(50714, {spec.black}));
    if (spec.white != 0) e.push_back(TiffLongs(50717, {spec.white}));
    if (!spec.as_shot_neutral.empty()) e.push_back(TiffRationals(50728, spec.as_shot_neutral));
    if (!spec.active_area.empty()) e.push_back(TiffLongs(50829, spec.active_area));
    return e;
  };
  const std::uint32_t ifd0_size = static_cast<std::uint32_t>(TiffIfdSize(ifd0(0, 0)));
  const std::uint32_t exif_offset = 8 + ifd0_size;
  const std::uint32_t data_offset =
      exif_offset + static_cast<std::uint32_t>(exif.empty() ? 0 : TiffIfdSize(exif));
  std::vector<std::uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  AppendTiffIfd(out, ifd0(exif_offset, data_offset), 0);
  if (!exif.empty()) AppendTiffIfd(out, exif, 0);
  for (std::uint16_t v : spec.samples) PutLe(out, v, 2);
  out.resize(data_offset + data_bytes, 0);
  return out;
}

}  // namespace qirm::test
