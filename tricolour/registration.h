// SPDX-License-Identifier: GPL-3.0-or-later
// The registration of one frame of the tri-colour composition: every frame
// is aligned on star 1 (by default the brightest pixel of the star-1 box);
// in two-star mode it
// is first scaled and rotated about the frame centre so that its two stars
// have the distance and angle of the reference frame's.
#pragma once

#include <string>

#include "core/matrix.h"
#include "core/status.h"
#include "tricolour/composition_settings.h"
#include "tricolour/star_location.h"

namespace qirm {

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
// it); geometry is used in two-star mode only.
// plain selects the reference transforms. Refused in two-star mode (message
// names `what`): a star box without any pixel above 0, a centroid that is
// not a number, a distance of 0 between the stars, centroids with the same x.
// defer: a rotation that the near-identity spreading can do is left to the
// caller (rotation_pending), who may hand its columns on as they are done;
// everything else, the shift included, is as if the frame had been turned.
// detection: how star 1 is found for the shift (composition_settings.h):
// its brightest pixel, the box centroid above the sky rounded to whole
// pixels (half away from zero), or no shift at all. In two-star mode the
// star-1 position it gives also places the rotation's displacement dX, dY.
Status RegisterFrame(IntMatrix& frame, int w, int h, StarRegistration mode, const ClampedPositions& p,
                     const ReferenceGeometry& geometry, const std::string& what, bool plain,
                     IntMatrix& scratch, Registration& out, bool defer = false,
                     StarDetection detection = StarDetection::kPeak);

}  // namespace qirm
