// Star location and frame registration of the tri-colour composition.
//
// Frames are IntMatrix values m[x][y] of w columns and h rows. Every frame is
// aligned on the brightest pixel of the star-1 box; in two-star mode it is
// first scaled and rotated about the frame centre so that its two stars have
// the distance and angle of the reference frame's.
//
// Arithmetic follows the program's rule: intermediate reals in extended
// precision, named values kept as doubles, truncation toward zero.
#pragma once

#include <string>

#include "core/matrix.h"
#include "core/status.h"
#include "tricolour/composition_settings.h"

namespace qirm {

struct StarLocation {
  int px = 0;  // brightest pixel of the box (the first in column-then-row order)
  int py = 0;
  double cx = 0;  // intensity centroid of the 7 x 7 window around (px, py)
  double cy = 0;
  bool found = false;  // a pixel above 0 was found in the box
};

// The brightest pixel of the box x - delta .. x + delta, y - delta .. y + delta
// (strictly greater than the running best, which starts at 0), and the
// centroid of the raw values (no background subtracted) of the 7 x 7 window
// around it: cx = sum(i v) / sum(v).
// Edge policy: box and window positions outside the frame are skipped. When
// no pixel of the box is above 0, the peak is the box centre (x, y) and
// found is false. When the window's values sum to 0 the centroid is not a
// number (callers that need it refuse the frame).
StarLocation LocateStar(int w, int h, int x, int y, int delta, const IntMatrix& m);

// Star and background positions after the clamping done once per run.
struct ClampedPositions {
  int star1x = 0, star1y = 0, star2x = 0, star2y = 0;
  int delta1 = 0, delta2 = 0;
  int background_x = 0, background_y = 0;
};

// Lower bounds first (star i at least Delta i, the background point at least
// BackgroundLevel), then upper bounds (w - Delta i - 1, h - Delta i - 1,
// w - BackgroundLevel - 1, ...). Then, so that the 11 x 11 sky box of the
// output stage never leaves the frame, the background point is kept within
// 5 .. w - 6 and 5 .. h - 6 (a no-op whenever BackgroundLevel >= 5 and the
// frame is at least 2 BackgroundLevel + 1 wide and high). Frames below
// 11 x 11 are refused by the caller.
ClampedPositions ClampPositions(const CompositionSettings& s, int w, int h);

// Angle and distance of the two reference stars: theta = atan(slope) (folded
// into -90..+90 degrees), d = sqrt(dx^2 + dy^2) of the centroids.
struct ReferenceGeometry {
  double theta = 0;
  double distance = 0;
};

// From the reference frame (first green frame, sign-shifted, dark
// subtracted). Refused: a star box without any pixel above 0, a centroid
// that is not a number, two centroids with the same x (no slope; this
// includes a distance of 0). `what` names the frame in the message.
Status MeasureReferenceGeometry(const IntMatrix& frame, int w, int h, const ClampedPositions& p,
                                const std::string& what, ReferenceGeometry& out);

// Forward mappings about the centre (w * 0.5, h * 0.5) with bilinear
// spreading into a zeroed target; each of the four contributions is added
// and truncated as it is stored, in source order (x outer, y inner); targets
// whose corner (trunc x', trunc y') is not within 0 .. w - 2, 0 .. h - 2 get
// nothing from that source; the target is clamped to 0..65535 and copied
// back. `scratch` is a w x h work matrix (allocated when it has another
// size). Refused (frame unchanged): a factor or angle that is not finite,
// no memory.
//   scale:  x' = (x - cx) k + cx,           y' = (y - cy) k + cy
//   rotate: x' = cos t (x - cx) + sin t (y - cy) + cx,
//           y' = -sin t (x - cx) + cos t (y - cy) + cy
Status ScaleAboutCentre(double k, int w, int h, IntMatrix& m, IntMatrix& scratch);
Status RotateAboutCentre(double theta, int w, int h, IntMatrix& m, IntMatrix& scratch);

// The plain reference loops of the two transforms, in extended precision
// throughout; the functions above must give the same matrix.
Status ScaleAboutCentrePlain(double k, int w, int h, IntMatrix& m);
Status RotateAboutCentrePlain(double theta, int w, int h, IntMatrix& m);

// What registration did to one frame.
struct Registration {
  int ox = 0;  // output pixel (x, y) takes the frame's pixel (x + ox, y + oy)
  int oy = 0;
  double scale = 1;  // two-star mode: the factor applied (dref / d)
  double theta = 0;  // two-star mode: the rotation applied (0: none)
  int dX = 0, dY = 0;
  // The rotation by theta is still to be done (see RegisterFrame's defer).
  bool rotation_pending = false;
};

// Registers one calibrated frame in place (two-star mode scales and rotates
// it). star_mode is the settings' StarMode; geometry is used in mode 2 only.
// plain selects the reference transforms. Refused in two-star mode (message
// names `what`): a star box without any pixel above 0, a centroid that is
// not a number, a distance of 0 between the stars, centroids with the same x.
// defer: a rotation that the near-identity spreading can do is left to the
// caller (rotation_pending), who may hand its columns on as they are done;
// everything else, the shift included, is as if the frame had been turned.
Status RegisterFrame(IntMatrix& frame, int w, int h, int star_mode, const ClampedPositions& p,
                     const ReferenceGeometry& geometry, const std::string& what, bool plain,
                     IntMatrix& scratch, Registration& out, bool defer = false);

}  // namespace qirm
