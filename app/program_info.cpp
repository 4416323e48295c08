// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_info.h"

#include <jconfig.h>  // libjpeg's version, without jpeglib.h's need of FILE
#include <png.h>
#include <tiffio.h>
#include <wcslib/wcs.h>
#include <zlib.h>

#include "qirm_build_info.h"

namespace qirm {

namespace {

#define QIRM_TEXT_OF(x) #x
#define QIRM_TEXT(x) QIRM_TEXT_OF(x)

std::string JpegVersion() {
#ifdef LIBJPEG_TURBO_VERSION
  return QIRM_TEXT(LIBJPEG_TURBO_VERSION);
#else
  return std::to_string(JPEG_LIB_VERSION / 10) + "." + std::to_string(JPEG_LIB_VERSION % 10);
#endif
}

// TIFFGetVersion() gives "LIBTIFF, Version 4.5.0" and copyright lines.
std::string TiffVersion() {
  const std::string text = TIFFGetVersion();
  const std::string key = "Version ";
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return text.substr(0, text.find('\n'));
  const std::size_t from = at + key.size();
  return text.substr(from, text.find_first_of(" \n", from) - from);
}

}  // namespace

std::string ProgramVersion() { return QIRM_VERSION; }

std::string ProgramCommit() { return QIRM_GIT_COMMIT; }

std::string ProgramVersionText() {
  const std::string commit = ProgramCommit();
  return commit.empty() ? ProgramVersion() : ProgramVersion() + " (git " + commit + ")";
}

std::vector<LibraryVersion> LibraryVersions() {
#ifdef LIBJPEG_TURBO_VERSION
  const std::string jpeg_name = "libjpeg-turbo";
#else
  const std::string jpeg_name = "libjpeg";
#endif
  return {{jpeg_name, JpegVersion()},
          {"libpng", png_get_libpng_ver(nullptr)},
          {"libtiff", TiffVersion()},
          {"wcslib", wcslib_version(nullptr)},
          {"zlib", zlibVersion()}};
}

std::string VersionReport(const std::string& program, const std::vector<LibraryVersion>& extra) {
  std::string text = program + " " + ProgramVersionText() + "\n";
  text += "Licence: " + std::string(kProgramLicence) + " <https://www.gnu.org/licenses/gpl-3.0.html>\n";
  text += "This is free software: you are free to change and redistribute it.\n";
  text += "There is NO WARRANTY, to the extent permitted by law.\n";
  text += "Libraries:\n";
  std::vector<LibraryVersion> all = extra;
  for (const LibraryVersion& library : LibraryVersions()) all.push_back(library);
  for (const LibraryVersion& library : all) text += "  " + library.name + " " + library.version + "\n";
  return text;
}

}  // namespace qirm
