// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/sky_coordinates.h"

#include <wcslib/wcs.h>
#include <wcslib/wcsfix.h>
#include <wcslib/wcshdr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/numbers.h"

namespace qirm {
namespace {

bool Starts(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// NAXISn of the cards, 0 when absent or unreadable.
int AxisLength(const std::vector<std::string>& cards, const char* keyword) {
  for (const std::string& card : cards) {
    if (card.size() < 10 || card.compare(0, 8, keyword) != 0 || card.compare(8, 2, "= ") != 0) continue;
    double v = 0;
    const std::string value = card.substr(10, card.find('/', 10) - 10);
    return ParseReal(value, v) ? static_cast<int>(v) : 0;
  }
  return 0;
}

std::string Printf(const char* format, auto... args) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

}  // namespace

std::unique_ptr<CelestialWcs> CelestialWcs::FromCards(const std::vector<std::string>& cards) {
  std::string header;
  header.reserve(80 * (cards.size() + 1));
  for (const std::string& card : cards) {
    std::string padded = card.substr(0, 80);
    padded.resize(80, ' ');
    header += padded;
  }
  header += "END" + std::string(77, ' ');
  std::unique_ptr<CelestialWcs> result(new CelestialWcs);
  int rejected = 0;
  // Every informal form wcslib knows (old CROTA, PROJP, ...), as readers of
  // older frames expect; ctrl 0 keeps its reports off the console.
  if (wcspih(header.data(), static_cast<int>(cards.size()) + 1, WCSHDR_all, 0, &rejected, &result->m_count,
             &result->m_wcs) != 0 ||
      result->m_count < 1) {
    return nullptr;
  }
  wcsprm* wcs = result->m_wcs;  // the primary description comes first
  int fix_status[NWCSFIX];
  wcsfix(1, nullptr, wcs, fix_status);
  if (wcsset(wcs) != 0 || wcs->lng < 0 || wcs->lat < 0) return nullptr;
  const char* lng = wcs->ctype[wcs->lng];
  if (Starts(lng, "GLON")) {
    // Galactic to FK5 J2000: the galactic north pole at (192.85948, 27.12825)
    // and the celestial pole at galactic longitude 122.93192.
    char radesys[] = "FK5";
    if (wcsccs(wcs, 192.85948, 27.12825, 122.93192, "RA", "DEC", radesys, 2000.0, "") != 0 ||
        wcsset(wcs) != 0)
      return nullptr;
  } else if (!Starts(lng, "RA")) {
    return nullptr;
  }
  return result;
}

CelestialWcs::~CelestialWcs() {
  if (m_wcs) wcsvfree(&m_count, &m_wcs);
}

bool CelestialWcs::PixelToSky(double x, double y, double& ra, double& dec) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  const int n = m_wcs->naxis;
  std::vector<double> pixel(n, 1.0), image(n), world(n);
  pixel[0] = x + 1;
  if (n > 1) pixel[1] = y + 1;
  double phi = 0, theta = 0;
  int status = 0;
  if (wcsp2s(m_wcs, 1, n, pixel.data(), image.data(), &phi, &theta, world.data(), &status) != 0) return false;
  ra = world[m_wcs->lng];
  dec = world[m_wcs->lat];
  if (!std::isfinite(ra) || !std::isfinite(dec)) return false;
  ra = std::fmod(ra, 360.0);
  if (ra < 0) ra += 360.0;
  return true;
}

std::unique_ptr<CelestialWcs> DocumentWcs(const ImageDocument& doc) {
  if (doc.fits_cards.empty()) return nullptr;
  // The geometry commands carry the cards along with the pixels
  // (core/wcs_cards.h); a size the header does not know is a grid they
  // never described.
  if (AxisLength(doc.fits_cards, "NAXIS1  ") != doc.width ||
      AxisLength(doc.fits_cards, "NAXIS2  ") != doc.height)
    return nullptr;
  return CelestialWcs::FromCards(doc.fits_cards);
}

namespace {

// Rounds `value` (>= 0) to `decimals` places of its seconds and splits it
// into whole units, minutes and seconds, carrying 60.00 over.
void Split(double value, int decimals, int& whole, int& minutes, double& seconds) {
  const double scale = std::pow(10.0, decimals);
  const double total = std::round(value * 3600.0 * scale) / scale;
  whole = static_cast<int>(total / 3600.0);
  double rest = total - whole * 3600.0;
  minutes = static_cast<int>(rest / 60.0);
  seconds = rest - minutes * 60.0;
  if (!(seconds > 0)) seconds = 0;  // no "-0.00" from a negative zero
}

}  // namespace

std::string RaSexagesimal(double ra) {
  int h = 0, m = 0;
  double s = 0;
  Split(ra / 15.0, 2, h, m, s);
  return Printf("%02dh%02dm%05.2fs", h % 24, m, s);
}

std::string DecSexagesimal(double dec) {
  int d = 0, m = 0;
  double s = 0;
  Split(std::fabs(dec), 1, d, m, s);
  return Printf("%c%02d°%02d'%04.1f\"", dec < 0 ? '-' : '+', d, m, s);
}

std::string SkyReadoutText(double ra, double dec) {
  return "α " + RaSexagesimal(ra) + "  δ " + DecSexagesimal(dec) + Printf("  (%.6f°, %+.6f°)", ra, dec);
}

std::string WcsLineText(double ra, double dec) { return Printf("WCS = %.7f %.7f", ra, dec); }

}  // namespace qirm
