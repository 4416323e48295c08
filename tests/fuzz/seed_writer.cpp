// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the fuzz targets' seed corpora: small files of every kind the
// readers take, made by the program's own writers (or spelled out byte by
// byte where the program writes none), one folder per target.
//
//   fuzz_seeds DIR      -> DIR/fits, DIR/netpbm, DIR/bmp, DIR/jpeg, DIR/settings,
//                          DIR/tiff, DIR/png, DIR/raw
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/bmp_file.h"
#include "core/fits_writer.h"
#include "core/jpeg_file.h"
#include "core/picture.h"
#include "core/png_file.h"
#include "core/tiff_file.h"
#include "tests/support/tiff_bytes.h"
#include "tricolour/settings_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool Save(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool Save(const std::string& path, const std::string& text) {
  return Save(path, Bytes(text.begin(), text.end()));
}

qirm::Picture Gradient(int w, int h) {
  qirm::Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.SetColor(x, y, static_cast<std::uint32_t>((x * 37 + y * 11) * 0x010203));
  return p;
}

// One 80-character card.
std::string Card(const std::string& text) { return (text + std::string(80, ' ')).substr(0, 80); }

// A header of `cards` padded to whole blocks, then `data` bytes.
std::string Fits(const std::vector<std::string>& cards, const std::string& data) {
  std::string s;
  for (const std::string& c : cards) s += Card(c);
  s += Card("END");
  s.resize((s.size() + 2879) / 2880 * 2880, ' ');
  return s + data;
}

bool WriteFits(const std::string& dir) {
  bool ok = true;
  const std::string simple = "SIMPLE  =                    T";
  // 16-bit frames: fixed columns, free format, cut short.
  std::string data16;
  for (int i = 0; i < 4 * 3; ++i) data16 += {static_cast<char>(i * 19), static_cast<char>(i * 7)};
  ok &= Save(dir + "/fixed16.fits",
             Fits({simple, "BITPIX  =                   16", "NAXIS   =                    2",
                   "NAXIS1  =                    4", "NAXIS2  =                    3",
                   "BZERO   =                32768", "BSCALE  =                    1"},
                  data16));
  ok &= Save(
      dir + "/free16.fits",
      Fits({simple, "BITPIX = 16", "NAXIS = 2", "NAXIS1 = 4 / free", "NAXIS2 = 3"}, data16.substr(0, 9)));
  // Other pixel types, BLANK, an image extension after an empty primary.
  ok &= Save(dir + "/float.fits",
             Fits({simple, "BITPIX  =                  -32", "NAXIS   =                    2",
                   "NAXIS1  =                    2", "NAXIS2  =                    2"},
                  std::string("\x3f\x80\x00\x00\x7f\xc0\x00\x00\x00\x00\x00\x00\xc1\x20\x00\x00", 16)));
  ok &= Save(dir + "/int32.fits",
             Fits({simple, "BITPIX  =                   32", "NAXIS   =                    2",
                   "NAXIS1  =                    2", "NAXIS2  =                    1",
                   "BLANK   =                   -1", "BZERO   =                  1.5"},
                  std::string("\x00\x01\x00\x00\xff\xff\xff\xff", 8)));
  ok &= Save(dir + "/extension.fits",
             Fits({simple, "BITPIX  =                    8", "NAXIS   =                    0",
                   "EXTEND  =                    T"},
                  "") +
                 Fits({"XTENSION= 'IMAGE   '", "BITPIX  =                   64",
                       "NAXIS   =                    1", "NAXIS1  =                    2",
                       "PCOUNT  =                    0", "GCOUNT  =                    1"},
                      std::string(16, '\x01')));
  // Keywords that begin with END before the real END in the second block; a
  // random-groups primary; cards that break the rules (lower case, blanks and
  // bytes beyond ASCII in the keyword, a NUL and an open quote in values).
  std::vector<std::string> observatory = {simple,
                                          "BITPIX  =                   16",
                                          "NAXIS   =                    2",
                                          "NAXIS1  =                    4",
                                          "NAXIS2  =                    3",
                                          "ENDTIME = '20:05:00'",
                                          "ENDDATE = '2026-03-14'",
                                          "END_RA  =            201.36502"};
  while (observatory.size() < 40) observatory.push_back("COMMENT observing log");
  ok &= Save(dir + "/endtime.fits", Fits(observatory, data16));
  ok &= Save(dir + "/groups.fits", Fits({simple, "BITPIX  =                   16",
                                         "NAXIS   =                    2", "NAXIS1  =                    4",
                                         "NAXIS2  =                    3", "GROUPS  =                    T",
                                         "PCOUNT  =                    0", "GCOUNT  =                    1"},
                                        data16));
  ok &= Save(dir + "/hostile-cards.fits",
             Fits({simple, "BITPIX  =                   16", "NAXIS   =                    2",
                   "NAXIS1  =                    4", "NAXIS2  =                    3", "object  = 'lower'",
                   "BAD KEY =                    1", "TEMP\xc3\xa9  =                 1.0",
                   std::string("NOTE    = 'a\0b", 15) + "'", "OPEN    = 'no closing quote",
                   "BLANK   =             -32768.0"},
                  data16));
  // The program's own writer.
  qirm::FitsWriteHeader header;
  header.cards = {"OBJECT  = 'seed'", "EXPTIME =                 30.0"};
  header.history = {"seed"};
  header.date = "2026-01-01T00:00:00";
  ok &= qirm::WriteFitsGrey(dir + "/written.fits", 3, 2, {0, 1, 2, 65535, 30000, 7}, 32768, 1, header).ok();
  ok &= qirm::WriteFitsColour(dir + "/colour.fits", Gradient(3, 2), header).ok();
  return ok;
}

bool WriteNetpbm(const std::string& dir) {
  bool ok = true;
  ok &= Save(dir + "/colour.ppm",
             std::string("P6\n3 2\n255\n") +
                 std::string("\x00\x10\x20\x30\x40\x50\x60\x70\x80\x90\xa0\xb0\xc0\xd0\xe0\xf0\xff\x01", 18));
  ok &= Save(dir + "/grey.pgm", std::string("P5\n# comment\n4 1 200\n") + "\x01\x02\x03\x04");
  ok &= Save(dir + "/short.ppm", std::string("P6 2 2 255 ") + "abc");
  return ok;
}

bool WriteBmp(const std::string& dir) {
  Bytes bytes;
  if (!qirm::EncodeBmp(Gradient(5, 3), bytes).ok() || !Save(dir + "/24bit.bmp", bytes)) return false;
  // An 8-bit RLE picture of 4 x 2: a run, a literal, end of line, end of bitmap.
  Bytes rle = {'B', 'M', 0, 0, 0, 0, 0, 0, 0,   0,   62,  0, 0, 0, 40, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0,
               0,   1,   0, 8, 0, 1, 0, 0, 0,   0,   0,   0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 2, 0, 0, 0,
               0,   0,   0, 0, 0, 0, 0, 0, 255, 255, 255, 0, 2, 1, 0,  2, 0, 1, 0, 0, 4, 1, 0, 1};
  rle[2] = static_cast<std::uint8_t>(rle.size());
  if (!Save(dir + "/rle8.bmp", rle)) return false;
  // A 1-bit picture with a palette.
  Bytes mono = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 62,  0,   0,   0, 40,   0, 0, 0, 3,    0, 0, 0, 2, 0,
                0,   0,   1, 0, 1, 0, 0, 0, 0, 0, 0,   0,   0,   0, 0,    0, 0, 0, 0,    0, 0, 0, 2, 0,
                0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0xA0, 0, 0, 0, 0x40, 0, 0, 0};
  mono[2] = static_cast<std::uint8_t>(mono.size());
  return Save(dir + "/1bit.bmp", mono);
}

bool WriteJpeg(const std::string& dir) {
  Bytes bytes;
  if (!qirm::EncodeJpeg(Gradient(17, 9), 70, bytes).ok() || !Save(dir + "/colour.jpg", bytes)) return false;
  Bytes small;
  if (!qirm::EncodeJpeg(Gradient(8, 8), 20, small).ok() || !Save(dir + "/small.jpg", small)) return false;
  small.resize(small.size() * 2 / 3);
  return Save(dir + "/cut.jpg", small);
}

qirm::Rgb16Picture Gradient16(int w, int h) {
  qirm::Rgb16Picture p(w, h);
  for (std::size_t i = 0; i < p.samples.size(); ++i) p.samples[i] = static_cast<std::uint16_t>(i * 4099);
  return p;
}

bool WriteTiff(const std::string& dir) {
  Bytes bytes;
  bool ok = qirm::EncodeTiff(Gradient(5, 3), bytes).ok() && Save(dir + "/colour8.tif", bytes);
  ok = ok && qirm::EncodeTiff16(Gradient16(4, 3), bytes).ok() && Save(dir + "/colour16.tif", bytes);
  // A grey 32-bit float picture of 2 x 2, one strip, spelled out.
  namespace t = qirm::test;
  std::vector<t::TiffEntry> entries = {
      t::TiffLongs(256, {2}),  t::TiffLongs(257, {2}),  t::TiffShorts(258, {32}),
      t::TiffShorts(259, {1}), t::TiffShorts(262, {1}), t::TiffLongs(273, {0}),
      t::TiffLongs(278, {2}),  t::TiffLongs(279, {16}), t::TiffShorts(339, {3})};
  entries[5] = t::TiffLongs(273, {static_cast<std::uint32_t>(8 + t::TiffIfdSize(entries))});
  Bytes grey = {'I', 'I', 42, 0, 8, 0, 0, 0};
  t::AppendTiffIfd(grey, entries, 0);
  const float values[4] = {1.5f, -2.0f, 0.0f, 1e30f};
  const auto* p = reinterpret_cast<const std::uint8_t*>(values);
  grey.insert(grey.end(), p, p + sizeof values);
  return ok && Save(dir + "/float.tif", grey);
}

bool WritePng(const std::string& dir) {
  Bytes bytes;
  bool ok = qirm::EncodePng(Gradient(5, 3), bytes).ok() && Save(dir + "/colour8.png", bytes);
  return ok && qirm::EncodePng16(Gradient16(4, 3), bytes).ok() && Save(dir + "/colour16.png", bytes);
}

bool WriteRaw(const std::string& dir) {
  qirm::test::DngSpec spec;
  for (int i = 0; i < spec.width * spec.height; ++i)
    spec.samples.push_back(static_cast<std::uint16_t>(i * 37 % 4096));
  spec.iso = 400;
  spec.date = "2025:01:02 03:04:05";
  spec.black = 64;
  spec.as_shot_neutral = {1, 2, 1, 1, 2, 3};
  bool ok = Save(dir + "/rggb.dng", qirm::test::DngBytes(spec));
  spec.cfa = {1, 2, 0, 1};
  spec.active_area = {2, 2, 22, 30};
  return ok && Save(dir + "/gbrg-area.dng", qirm::test::DngBytes(spec));
}

bool WriteSettings(const std::string& dir) {
  qirm::CompositionSettings s;
  s.RedFiles = {"red 1.fits", "red2.fits"};
  s.GreenFiles = {"green.fits"};
  s.BlueFiles = {"blue.fits"};
  s.DarkFiles = {"dark.fits"};
  bool ok = Save(dir + "/compose.mrv", qirm::CompositionSettingsText(s));
  ok &= Save(dir + "/QIRM.ini",
             std::string("Quorvan\nWindow 10 20 800 600\nThis is the initial file for Quorvan\n\n"));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  ::mkdir(dir.c_str(), 0755);
  bool ok = true;
  for (const char* target : {"fits", "netpbm", "bmp", "jpeg", "settings", "tiff", "png", "raw"})
    ::mkdir((dir + "/" + target).c_str(), 0755);
  ok &= WriteFits(dir + "/fits");
  ok &= WriteNetpbm(dir + "/netpbm");
  ok &= WriteBmp(dir + "/bmp");
  ok &= WriteJpeg(dir + "/jpeg");
  ok &= WriteSettings(dir + "/settings");
  ok &= WriteTiff(dir + "/tiff");
  ok &= WritePng(dir + "/png");
  ok &= WriteRaw(dir + "/raw");
  if (!ok) std::fprintf(stderr, "fuzz_seeds: could not write every seed into %s\n", dir.c_str());
  return ok ? 0 : 1;
}
