// The document of one image window: its three pictures and its state, each
// field in its own type. The texts the window and `qirm-cli --state` show are
// made from these fields in one place (document/state_texts.h). A plain copy
// of the struct is a complete snapshot (for undo).
#pragma once

#include <optional>
#include <string>

#include "core/picture.h"

namespace qirm {

// What an image window holds. Shown as the kind texts "1", "2", "3" (and ""
// for a window nothing has been put in yet).
enum class WindowKind {
  kNone,
  kColour,  // "1": BMP, JPEG, results of commands
  kRaw16,   // "2": 16-bit FITS data in two byte planes
  kNetpbm,  // "3": pictures of the Netpbm reader
};

struct ImageDocument {
  Picture Image;     // the shown picture
  Picture ImageZm;   // kind 2: high-byte plane; kinds 1, 3: base picture
  Picture ImageZm2;  // kind 2: low-byte plane

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

  // The window holds what no file holds: a result not saved yet, or a change
  // since it was opened or saved. Closing such a window asks whether to save.
  bool unsaved = true;
};

}  // namespace qirm
