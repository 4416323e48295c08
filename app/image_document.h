// The document of one image window: its three pictures and its state fields.
// The fields hold decimal text, as the window shows and parses them; a plain
// copy of the struct is a complete snapshot (for undo).
#pragma once

#include <string>

#include "core/picture.h"

namespace qirm {

// Window kinds (FilterI).
inline constexpr const char* kKindColour = "1";  // BMP, JPEG, command results
inline constexpr const char* kKindRaw16 = "2";   // 16-bit FITS data in two planes
inline constexpr const char* kKindNetpbm = "3";  // pictures of the Netpbm reader

struct ImageDocument {
  Picture Image;     // the shown picture
  Picture ImageZm;   // kind 2: high-byte plane; kinds 1, 3: base picture
  Picture ImageZm2;  // kind 2: low-byte plane

  std::string Caption = "Child";
  std::string DemX;
  std::string DemY;
  std::string ColN;
  std::string ZomN;
  std::string UndoFlg;
  std::string Contrast = "1.0";
  std::string Average = " ";
  std::string Minimum;
  std::string FilterI;
  std::string MAX = "255";
  std::string MIN = "0";
};

}  // namespace qirm
