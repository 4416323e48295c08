// SPDX-License-Identifier: GPL-3.0-or-later
// The registration of one frame: star location, the two-star scale and
// rotation, the shift.
#include "tricolour/registration.h"

#include <algorithm>
#include <cmath>

#include "core/numbers.h"
#include "tricolour/fast_transforms.h"
#include "tricolour/near_identity.h"
#include "tricolour/transform_rule.h"
#include "tricolour/tri_numbers.h"

namespace qirm {
namespace {

std::string Num(double v) { return FormatGeneral(v); }

// Where star 1 is for the shift: its peak, or the box centroid rounded.
void Star1ForShift(const IntMatrix& frame, int w, int h, const ClampedPositions& p, StarDetection detection,
                   StarLocation& s1) {
  if (detection != StarDetection::kCentroid) return;
  double cx = 0, cy = 0;
  BoxCentroidAboveSky(w, h, p.star1x, p.star1y, p.delta1, frame, cx, cy);
  s1.px = BoundedCoordinate(std::llround(cx));
  s1.py = BoundedCoordinate(std::llround(cy));
}

}  // namespace

Status RegisterFrame(IntMatrix& frame, int w, int h, StarRegistration mode, const ClampedPositions& p,
                     const ReferenceGeometry& geometry, const std::string& what, bool plain,
                     IntMatrix& scratch, Registration& out, bool defer, StarDetection detection) {
  out = Registration();
  StarLocation s1 = LocateStar(w, h, p.star1x, p.star1y, p.delta1, frame);
  if (detection == StarDetection::kNone && mode != StarRegistration::kTwoStars) return Status::Ok();
  if (mode == StarRegistration::kTwoStars) {
    StarLocation s2;
    if (Status s = LocateBothStars(frame, w, h, p, what, s1, s2); !s) return s;
    const double d = StarDistance(s1.cx, s1.cy, s2.cx, s2.cy);
    if (d == 0)
      return Status::Error(what + ": the two stars lie at the same place, so the frame has no scale");
    out.scale = static_cast<double>(static_cast<Extended>(geometry.distance) / d);
    if (Status s = plain ? ScaleAboutCentrePlain(out.scale, w, h, frame)
                         : ScaleAboutCentre(out.scale, w, h, frame, scratch);
        !s) {
      return Status::Error(what + ": " + s.message());
    }
    // Star 1 again on the scaled frame; star 2 keeps its first centroid.
    s1 = LocateStar(w, h, p.star1x, p.star1y, p.delta1, frame);
    if (!s1.found || !std::isfinite(s1.cx) || !std::isfinite(s1.cy)) {
      return Status::Error(what + ": star 1 is lost after scaling the frame by " + Num(out.scale));
    }
    if (s1.cx == s2.cx) {
      return Status::Error(what + ": the two stars have the same centroid x (" + Num(s1.cx) +
                           "), so the frame gives no angle");
    }
    Star1ForShift(frame, w, h, p, detection, s1);
    const double theta =
        static_cast<double>(static_cast<Extended>(SlopeAngle(s1.cx, s1.cy, s2.cx, s2.cy)) - geometry.theta);
    out.theta = theta;
    if (theta != 0 && defer && !plain && near_identity::Suits(RotateMap(theta, w, h), w, h) &&
        frame.count() == w && frame.n() == h) {
      out.rotation_pending = true;
    } else if (theta != 0) {
      if (Status s = plain ? RotateAboutCentrePlain(theta, w, h, frame)
                           : RotateAboutCentre(theta, w, h, frame, scratch);
          !s) {
        return Status::Error(what + ": " + s.message());
      }
    }
    const int hx = w / 2;
    const int hy = h / 2;
    const double sn = std::sin(theta);
    const double cs = std::cos(theta);
    const Extended ry0 = s1.py - hy;
    const Extended rx0 = s1.px - hx;
    const int rx = TruncSaturated(sn * ry0 + cs * rx0);
    const int ry = TruncSaturated(cs * ry0 - sn * rx0);
    out.dX = rx - (s1.px - hx);
    out.dY = ry - (s1.py - hy);
    if (detection == StarDetection::kNone) {
      out.ox = out.oy = 0;
      out.dX = out.dY = 0;
      return Status::Ok();
    }
  } else {
    Star1ForShift(frame, w, h, p, detection, s1);
  }
  out.ox = BoundedCoordinate(static_cast<long long>(s1.px) - p.star1x + out.dX);
  out.oy = BoundedCoordinate(static_cast<long long>(s1.py) - p.star1y + out.dY);
  return Status::Ok();
}

}  // namespace qirm
