// SPDX-License-Identifier: GPL-3.0-or-later
// The document of one image window: its pictures, the raw values of a 16-bit
// window and its state, each field in its own type. The texts the window and
// `qirm-cli --state` show are made from these fields in one place
// (document/state_texts.h). A plain copy of the struct is a complete snapshot
// (for undo): pictures, plane and state together.
#pragma once

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/float_plane.h"
#include "core/picture.h"
#include "core/raw_plane.h"
#include "core/rgb16.h"

namespace qirm {

// What an image window holds. Shown as the kind texts "1", "2", "3" (and ""
// for a window nothing has been put in yet).
enum class WindowKind {
  kNone,
  kColour,      // "1": BMP, JPEG, results of commands
  kRaw16,       // "2": 16-bit FITS data as one plane of raw values
  kNetpbm,      // "3": pictures of the Netpbm reader
  kFloat,       // "4": FITS data of any other pixel type as one plane of floats
  kDeepColour,  // "5": colour of 16 bits or more: red, green and blue planes of floats
};

// The scaling of the FITS file a 16-bit window came from. The window keeps
// raw values (stored + 32768); the file's physical value of raw value v is
// BZERO + BSCALE * (v - 32768), the value every other FITS program shows.
// Camera frames (BZERO 32768, BSCALE 1), and every window not read from a
// 16-bit file, have physical = raw.
struct FitsScaling {
  double bzero = 32768.0;
  double bscale = 1.0;

  // Written as offset + bscale * v so that physical = raw exactly when the
  // scaling is the camera's.
  double Physical(double raw) const { return (bzero - 32768.0 * bscale) + bscale * raw; }
  // Every raw value has an integral physical value (BSCALE 1, integral
  // BZERO): levels are then typed and shown as integers.
  bool Integral() const;
  // The raw level nearest to a physical level (halves away from zero),
  // limited to -2^30..2^30; false when bscale is 0 or the value not finite.
  bool RawLevel(double physical, int& raw) const;
};

struct ImageDocument {
  Picture Image;    // the shown picture
  Picture ImageZm;  // kinds 1, 3: the base picture; empty for kind 2
  // Kind 2: the raw values (stored + 32768), two bytes a pixel; empty for
  // every other kind. The shown picture is drawn from it under the levels.
  RawPlane raw;
  // Kind 4: the values themselves (physical values of the file, NaN where
  // undefined); empty for every other kind. The shown picture is drawn from
  // them under the levels.
  FloatPlane real;
  // Kind 5: the red, green and blue values; empty for every other kind.
  FloatPlane colour[3];
  // Kinds 2 and 4: the colour-filter pattern of a camera's mosaic ("RGGB",
  // "BGGR", "GRBG", "GBRG"), from a raw file or BAYERPAT; empty for none.
  std::string bayer;
  // Kind 5: the depth the values came with and are saved at: 16 (integers
  // 0..65535) or -32 (floats), as FITS BITPIX counts it.
  int depth = 0;

  std::string caption = "Child";
  WindowKind kind = WindowKind::kNone;
  // The picture's size as recorded when the window was filled; unset for a
  // window nothing has been put in.
  std::optional<int> width;
  std::optional<int> height;
  std::optional<int> channels;  // 1 or 3: the channels the source file had

  // The zoom factor, a power of two from 1/16 to 16. Its text is "1.00" as
  // set when the window is filled and the general form once a zoom step has
  // changed it (so a window zoomed in and out again shows "1").
  std::optional<double> zoom;
  bool zoom_stepped = false;

  // Set by the commands that draw a result over the base picture (see the
  // tables of the display and filter commands); unset until the window is
  // filled.
  std::optional<bool> edited;

  // The display gain of a colour window ("H" / "L"): "1.0" until the first
  // step, then the general form.
  double gain = 1.0;
  bool gain_stepped = false;

  // Of 16-bit windows: the mean and the minimum of the level sampling grid.
  std::optional<double> mean;
  std::optional<int> minimum;

  // The display levels: the raw values shown black and white.
  int max_level = 255;
  int min_level = 0;

  // Kind 2: the scaling of the source file, kept through every command.
  // Kind 4: the grid of its levels (level L stands for the value
  // Physical(L)), fitted to the values' range when they are read.
  FitsScaling scaling;
  // The header cards of the FITS file the window was read from (80
  // characters each, up to and without END), written again when the window
  // is saved as FITS.
  std::vector<std::string> fits_cards;
  // The commands applied to the window since it was filled, one name each
  // (with its values), oldest first: the HISTORY of a FITS file it is saved
  // as. Commands add to it through NoteCommand.
  std::vector<std::string> history;
  // Of a composition's result, when asked for: the toned result with 16 bits
  // per channel (the curve on 0..65535), and the three channels as they
  // entered the tone curve (R, G, B, each w x h row after row), for the
  // 16-bit and the linear files. Empty otherwise; the 16-bit picture is
  // only the window's while it is not edited.
  Rgb16Picture deep;
  std::vector<float> linear[3];
  // The window holds what no file holds: a result not saved yet, or a change
  // since it was opened or saved. Closing such a window asks whether to save.
  bool unsaved = true;
};

// The size of the window's data: the raw plane of a 16-bit window, the
// values of a float window, the base picture of any other.
// Kinds 4 and 5: windows whose values are floats (FloatPlanes).
inline bool HasFloatValues(const ImageDocument& doc) {
  return doc.kind == WindowKind::kFloat || doc.kind == WindowKind::kDeepColour;
}
// Their planes: one for kind 4, three for kind 5, none otherwise.
inline int FloatPlaneCount(const ImageDocument& doc) {
  return doc.kind == WindowKind::kFloat ? 1 : doc.kind == WindowKind::kDeepColour ? 3 : 0;
}
inline const FloatPlane* FloatPlanes(const ImageDocument& doc) {
  return doc.kind == WindowKind::kDeepColour ? doc.colour : &doc.real;
}
inline FloatPlane* FloatPlanes(ImageDocument& doc) {
  return doc.kind == WindowKind::kDeepColour ? doc.colour : &doc.real;
}

inline int DataWidth(const ImageDocument& doc) {
  if (doc.kind == WindowKind::kDeepColour) return doc.colour[0].width;
  if (doc.kind == WindowKind::kFloat) return doc.real.width;
  return doc.kind == WindowKind::kRaw16 ? doc.raw.width : doc.ImageZm.width();
}
inline int DataHeight(const ImageDocument& doc) {
  if (doc.kind == WindowKind::kDeepColour) return doc.colour[0].height;
  if (doc.kind == WindowKind::kFloat) return doc.real.height;
  return doc.kind == WindowKind::kRaw16 ? doc.raw.height : doc.ImageZm.height();
}

inline void NoteCommand(ImageDocument& doc, std::string name) { doc.history.push_back(std::move(name)); }

inline bool FitsScaling::Integral() const { return bscale == 1.0 && bzero == std::floor(bzero); }

inline bool FitsScaling::RawLevel(double physical, int& raw) const {
  if (bscale == 0.0 || !std::isfinite(physical)) return false;
  const double v = (physical - (bzero - 32768.0 * bscale)) / bscale;
  if (!std::isfinite(v)) return false;
  constexpr double kLimit = 1073741824.0;
  raw = static_cast<int>(std::round(std::clamp(v, -kLimit, kLimit)));
  return true;
}

}  // namespace qirm
