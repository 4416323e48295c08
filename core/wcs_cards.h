// SPDX-License-Identifier: GPL-3.0-or-later
// The world coordinate cards of a FITS header carried through a change of the
// pixel grid (mirror, flip, rotation, resampling), so that a header kept with
// the pixels still tells where they are on the sky.
//
// The linear part of every WCS description in the header (primary and
// alternates A..Z: CRPIXja, CDi_ja or PCi_ja with CDELTia, or the old
// CDELT/CROTA2 form) is rewritten exactly: a pixel of the new grid gets the
// world coordinates its source pixel had. What is applied after that step
// (projections, their PV parameters, TPV) is left as it is, since it does
// not see pixels. What works on pixels before it and cannot be carried over
// here (SIP polynomials, distortion tables, IRAF's WAT solutions, -TAB
// coordinates, matrices in informal forms, a DSS plate solution) removes the
// world coordinate cards instead, and a HISTORY card says why. NAXIS1 and
// NAXIS2 get the new size.
#pragma once

#include <string>
#include <vector>

namespace qirm {

// A new pixel (x, y), 0-based image pixels (x along the rows, y down the
// rows, the file's first row at y = 0), comes from the old pixel
//   (m[0][0] x + m[0][1] y + shift[0],  m[1][0] x + m[1][1] y + shift[1]).
struct PixelMap {
  double m[2][2] = {{1, 0}, {0, 1}};
  double shift[2] = {0, 0};
};

// Mirror (x' = W - 1 - x), flip (y' = H - 1 - y), and resampling from
// old_w x old_h to new_w x new_h (pixel i of the new grid centred on old
// (i + 0.5) * old / new - 0.5).
PixelMap MirrorMap(int width);
PixelMap FlipMap(int height);
PixelMap ResampleMap(int old_w, int old_h, int new_w, int new_h);

// Rewrites `cards` (80-character cards without END) for pixels that now
// come through `map` into a new_w x new_h grid; `command` names the command
// in a HISTORY card when cards are removed. Cards without any world
// coordinates are left alone apart from NAXIS1 and NAXIS2.
void MapWcsCards(std::vector<std::string>& cards, const PixelMap& map, int new_w, int new_h,
                 const std::string& command);

}  // namespace qirm
