// SPDX-License-Identifier: GPL-3.0-or-later
// Sky coordinates of image pixels from the celestial WCS of a FITS header,
// through wcslib (projections, CD/PC/CDELT, SIP and TPV distortion as the
// header gives them), and the texts the readout and qirm-cli show.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "document/image_document.h"

struct wcsprm;

namespace qirm {

class CelestialWcs {
 public:
  // The header's primary celestial WCS, or nullptr when the cards hold none
  // (no celestial axes, a header wcslib refuses, a sky system that is
  // neither equatorial nor galactic). Galactic axes are turned to FK5
  // J2000 right ascension and declination.
  static std::unique_ptr<CelestialWcs> FromCards(const std::vector<std::string>& cards);
  ~CelestialWcs();
  CelestialWcs(const CelestialWcs&) = delete;
  CelestialWcs& operator=(const CelestialWcs&) = delete;

  // Image pixel (x, y), 0-based from the top-left, to right ascension and
  // declination in degrees (ra in [0, 360)). The reader puts the file's row
  // 1 at y = 0, so the FITS pixel is (x + 1, y + 1). False where the
  // projection has no sky position (outside a bounded projection).
  bool PixelToSky(double x, double y, double& ra, double& dec) const;

 private:
  CelestialWcs() = default;
  wcsprm* m_wcs = nullptr;  // the parsed set, m_count of them, the first used
  int m_count = 0;
  mutable std::mutex m_mutex;  // wcslib writes into the struct while it works
};

// The document's WCS while its pixels still stand where the header says:
// nullptr for a window without a celestial WCS, or whose size no longer
// matches the header's. Mirror, flip, rotation and resampling rewrite the
// header's cards to follow the pixels (or drop the WCS).
std::unique_ptr<CelestialWcs> DocumentWcs(const ImageDocument& doc);

// "13h29m52.70s", "+47°11'43.0\"", and the readout's line
// "α 13h29m52.70s  δ +47°11'43.0\"  (202.469583°, +47.195278°)".
std::string RaSexagesimal(double ra);
std::string DecSexagesimal(double dec);
std::string SkyReadoutText(double ra, double dec);
// qirm-cli measure's fourth line: "WCS = 202.4695833 47.1952778".
std::string WcsLineText(double ra, double dec);

}  // namespace qirm
