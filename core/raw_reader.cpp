// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/raw_reader.h"

#include <libraw.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include "core/file_bytes.h"
#include "core/fits_writer.h"

namespace qirm {

namespace {

// LibRaw's reports of damaged data and failed allocations, instead of its
// default callbacks that print to stderr. The first one is kept.
struct RawReports {
  std::string first;
};

void OnDataError(void* data, const char* file, const int offset) {
  auto* reports = static_cast<RawReports*>(data);
  if (!reports->first.empty()) return;
  (void)file;
  reports->first = offset < 0 ? "unexpected end of file"
                              : "damaged data near byte " + std::to_string(static_cast<unsigned>(offset));
}

void OnMemoryError(void* data, const char* file, const char* where) {
  auto* reports = static_cast<RawReports*>(data);
  (void)file;
  if (reports->first.empty()) reports->first = std::string("out of memory in ") + (where ? where : "LibRaw");
}

std::string RawError(int code) {
  // LibRaw's "Input/output error" means reads past the end of the bytes.
  if (code == LIBRAW_IO_ERROR) return "the file is cut short or damaged";
  return libraw_strerror(code);
}

// The 2 x 2 pattern at the visible area's origin as "RGGB" and the like,
// or "" with `why` set where the sensor is no Bayer mosaic.
std::string BayerPatternOf(LibRaw& raw, std::string& why) {
  const libraw_iparams_t& id = raw.imgdata.idata;
  if (id.is_foveon) {
    why = "a layered (Foveon) sensor has no colour-filter mosaic";
    return "";
  }
  if (id.filters == 0) {
    why = "the file holds no colour-filter mosaic (a linear or demosaiced raw)";
    return "";
  }
  if (id.filters == 9) {
    why = "an X-Trans mosaic (6 x 6) is not a Bayer pattern";
    return "";
  }
  if (id.filters < 1000 || id.colors != 3) {
    why = "the colour-filter mosaic is not a 2 x 2 red, green, blue Bayer pattern";
    return "";
  }
  if (raw.is_fuji_rotated()) {
    why = "a rotated (Super CCD) sensor is not read";
    return "";
  }
  auto letter = [&](int row, int col) {
    const int c = raw.COLOR(row, col);
    return c >= 0 && c < 4 ? id.cdesc[c] : '?';
  };
  std::string pattern{letter(0, 0), letter(0, 1), letter(1, 0), letter(1, 1)};
  // LibRaw's filter word may describe up to 8 x 2 pixels: every period of it
  // must repeat the first 2 x 2.
  bool bayer = pattern == "RGGB" || pattern == "BGGR" || pattern == "GRBG" || pattern == "GBRG";
  for (int row = 0; bayer && row < 16; ++row) {
    for (int col = 0; bayer && col < 16; ++col)
      bayer = letter(row, col) == pattern[(row & 1) * 2 + (col & 1)];
  }
  if (!bayer) {
    why = "the colour-filter mosaic is not a 2 x 2 red, green, blue Bayer pattern";
    return "";
  }
  return pattern;
}

std::string Trimmed(const char* text, std::size_t n) {
  std::string s(text, strnlen(text, n));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  return s;
}

void AddCards(LibRaw& raw, const std::string& pattern, std::vector<std::string>& cards) {
  const libraw_data_t& d = raw.imgdata;
  cards.push_back(FitsCard("BAYERPAT", FitsStringValue(pattern), "colour filters from the top left"));
  cards.push_back(FitsCard("XBAYROFF", FitsIntegerValue(0), "x offset of the Bayer pattern"));
  cards.push_back(FitsCard("YBAYROFF", FitsIntegerValue(0), "y offset of the Bayer pattern"));
  cards.push_back(FitsCard("ROWORDER", FitsStringValue("TOP-DOWN"), "first row is the top one"));
  const std::string make = Trimmed(d.idata.make, sizeof d.idata.make);
  const std::string model = Trimmed(d.idata.model, sizeof d.idata.model);
  // Many models already begin with the maker's name.
  std::string instrument = model.compare(0, make.size(), make) == 0 ? model : make + " " + model;
  while (!instrument.empty() && instrument.front() == ' ') instrument.erase(0, 1);
  if (!instrument.empty()) cards.push_back(FitsCard("INSTRUME", FitsStringValue(instrument), "camera"));
  if (d.other.shutter > 0 && std::isfinite(d.other.shutter)) {
    cards.push_back(FitsCard("EXPTIME", FitsRealValue(d.other.shutter), "exposure time [s]"));
  }
  if (d.other.iso_speed > 0 && std::isfinite(d.other.iso_speed)) {
    cards.push_back(FitsCard("ISOSPEED", FitsRealValue(d.other.iso_speed), "ISO speed"));
  }
  if (d.other.timestamp > 0) {
    const std::time_t t = d.other.timestamp;
    std::tm utc{};
    if (gmtime_r(&t, &utc) != nullptr) {
      char text[32];
      std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
      cards.push_back(FitsCard("DATE-OBS", FitsStringValue(text), "UTC from the camera clock"));
    }
  }
  if (d.other.focal_len > 0 && std::isfinite(d.other.focal_len)) {
    cards.push_back(FitsCard("FOCALLEN", FitsRealValue(d.other.focal_len), "focal length [mm]"));
  }
  const double black =
      d.color.black + (d.color.cblack[0] + d.color.cblack[1] + d.color.cblack[2] + d.color.cblack[3]) / 4.0;
  cards.push_back(FitsCard("BLACKLVL", FitsRealValue(black), "black level [ADU]"));
  if (d.color.maximum > 0) {
    cards.push_back(FitsCard("WHITELVL", FitsIntegerValue(d.color.maximum), "saturation level [ADU]"));
  }
  const float* mul = d.color.cam_mul;
  if (mul[0] > 0 && mul[1] > 0 && mul[2] > 0 && std::isfinite(mul[0]) && std::isfinite(mul[1]) &&
      std::isfinite(mul[2])) {
    cards.push_back(FitsCard("MULT_R", FitsRealValue(mul[0] / mul[1]), "white balance red, as shot"));
    cards.push_back(FitsCard("MULT_G", FitsRealValue(1.0), "white balance green, as shot"));
    cards.push_back(FitsCard("MULT_B", FitsRealValue(mul[2] / mul[1]), "white balance blue, as shot"));
  }
}

Status Decode(const std::uint8_t* data, std::size_t size, SampleImage& image, RawReports& reports) {
  // LibRaw's state is large: on the heap.
  auto raw = std::make_unique<LibRaw>(LIBRAW_OPIONS_NO_MEMERR_CALLBACK | LIBRAW_OPIONS_NO_DATAERR_CALLBACK);
  raw->set_dataerror_handler(OnDataError, &reports);
  raw->set_memerror_handler(OnMemoryError, &reports);
  if (const int code = raw->open_buffer(const_cast<std::uint8_t*>(data), size); code != LIBRAW_SUCCESS) {
    return Status::Error(RawError(code));
  }
  const libraw_image_sizes_t& s = raw->imgdata.sizes;
  if (const std::string bad = CheckPictureSize(s.width, s.height); !bad.empty()) return Status::Error(bad);
  if (const std::string bad = CheckPictureSize(s.raw_width, s.raw_height); !bad.empty()) {
    return Status::Error("sensor: " + bad);
  }
  std::string why;
  const std::string pattern = BayerPatternOf(*raw, why);
  if (pattern.empty()) return Status::Error(why);
  // Raw data compress losslessly at most a few times: a file far smaller
  // than its sensor is cut short.
  if (const std::string small = CheckCompressedSize(size, s.raw_width, s.raw_height); !small.empty()) {
    return Status::Error(small);
  }
  // The unpacked sensor (two bytes a pixel) beside the image made from it.
  const double sensor_per_pixel =
      2.0 * s.raw_width * s.raw_height / (static_cast<double>(s.width) * static_cast<double>(s.height));
  const int bytes_per_pixel =
      SampleImageBytesPerPixel(1, SampleType::kU16) + static_cast<int>(std::ceil(sensor_per_pixel));
  if (const std::string memory = CheckMemoryFor(s.width, s.height, bytes_per_pixel); !memory.empty()) {
    return Status::Error(memory);
  }
  if (const int code = raw->unpack(); code != LIBRAW_SUCCESS) {
    return Status::Error(reports.first.empty() ? RawError(code) : reports.first);
  }
  if (!reports.first.empty()) return Status::Error(reports.first);
  const libraw_rawdata_t& rd = raw->imgdata.rawdata;
  const unsigned pitch = rd.sizes.raw_pitch / 2;
  if (rd.raw_image == nullptr || pitch < s.raw_width || s.top_margin + s.height > s.raw_height ||
      s.left_margin + s.width > s.raw_width) {
    return Status::Error("the file holds no single-plane colour-filter mosaic");
  }
  if (Status status = image.Allocate(s.width, s.height, 1, SampleType::kU16); !status) return status;
  for (int y = 0; y < s.height; ++y) {
    const std::uint16_t* src =
        rd.raw_image + static_cast<std::size_t>(y + s.top_margin) * pitch + s.left_margin;
    std::memcpy(image.Row<std::uint16_t>(0, y), src, static_cast<std::size_t>(s.width) * 2);
  }
  AddCards(*raw, pattern, image.cards);
  return Status::Ok();
}

}  // namespace

Status DecodeRaw(const std::uint8_t* data, std::size_t size, const std::string& name, SampleImage& image) {
  image.Clear();
  image.cards.clear();
  RawReports reports;
  Status status;
  try {
    status = Decode(data, size, image, reports);
  } catch (const std::bad_alloc&) {
    status = Status::Error("not enough memory to decode the raw file");
  } catch (const std::exception& e) {
    // LibRaw throws its own errors through the C++ runtime.
    status = Status::Error(std::string("LibRaw: ") + e.what());
  } catch (...) {
    status = Status::Error("LibRaw could not read the file");
  }
  if (status) return status;
  image.Clear();
  image.cards.clear();
  return Status::Error(name + ": " + status.message());
}

Status ReadRawFile(const std::string& path, SampleImage& image) {
  image.Clear();
  image.cards.clear();
  std::vector<std::uint8_t> bytes;
  if (Status status = ReadFileBytes(path, bytes); !status) return status;
  return DecodeRaw(bytes.data(), bytes.size(), path, image);
}

}  // namespace qirm
