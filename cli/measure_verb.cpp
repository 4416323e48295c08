// SPDX-License-Identifier: GPL-3.0-or-later
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "app/sky_coordinates.h"
#include "app/star_width.h"
#include "cli/cli.h"
#include "core/numbers.h"
#include "display/levels.h"
#include "document/workspace.h"

namespace qirm::cli {

// Opens FILE, sets its zoom factor, moves the cursor to (X, Y) of the shown
// picture and presses a button there: prints the readout, the width text and
// the box extremes, and the pixel's sky position where the header has a
// celestial WCS.
int MeasureVerb(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  double zoom = 1;
  MouseButton button = MouseButton::Left;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--zoom") {
      // The zooms the desktop program can show.
      if (i + 1 >= args.size() || !ParseReal(args[i + 1], zoom) || !(zoom >= kMinZoom && zoom <= kMaxZoom)) {
        return UsageError("--zoom needs a number from " + FormatGeneral(kMinZoom) + " to " +
                          FormatGeneral(kMaxZoom));
      }
      ++i;
    } else if (a == "--button") {
      const std::string b = i + 1 < args.size() ? args[++i] : "";
      if (b == "left")
        button = MouseButton::Left;
      else if (b == "right")
        button = MouseButton::Right;
      else if (b == "middle")
        button = MouseButton::Middle;
      else
        return UsageError("--button needs left, right or middle");
    } else if (!a.empty() && a[0] == '-' && a.size() > 1 && !std::isdigit(static_cast<unsigned char>(a[1]))) {
      return UsageError("unknown option '" + a + "'");
    } else {
      positional.push_back(a);
    }
  }
  int X = 0, Y = 0;
  if (positional.size() != 3 || !ParseInt(positional[1], X) || !ParseInt(positional[2], Y)) {
    return UsageError("measure needs FILE X Y");
  }
  FileType type;
  if (!FileTypeFromName(positional[0], type)) return Fail(positional[0] + ": unknown file type");
  Workspace ws;
  if (Status s = OpenImageFile(ws, positional[0], type); !s) return Fail(s.message());
  ImageDocument& doc = *ws.active();
  doc.zoom = zoom;
  doc.zoom_stepped = true;

  std::string readout, error;
  if (!CursorReadout(doc, X, Y, readout, error)) {
    return Fail(error.empty()
                    ? "position (" + positional[1] + ", " + positional[2] + ") lies outside the picture"
                    : error);
  }
  StarWidthResult width;
  if (!StarWidthAt(doc, X, Y, button, width, error)) return Fail(error);
  std::printf("%s\n%s\n%s\n", readout.c_str(), width.label.c_str(), width.extremes.c_str());
  // The image pixel the readout reads, in the sky where the header says.
  if (const auto wcs = DocumentWcs(doc)) {
    double ra = 0, dec = 0;
    if (wcs->PixelToSky(Trunc(X / static_cast<Extended>(zoom)), Trunc(Y / static_cast<Extended>(zoom)), ra,
                        dec))
      std::printf("%s\n", WcsLineText(ra, dec).c_str());
  }
  return kExitOk;
}

}  // namespace qirm::cli
