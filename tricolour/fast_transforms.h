// SPDX-License-Identifier: GPL-3.0-or-later
// The registration transforms as the composition runs them: exactly the
// matrix of the rule (transform_rule.h), the plain loop's, faster.
#pragma once

#include "core/matrix.h"
#include "core/status.h"

namespace qirm {

// Scale by k and rotation by theta about the centre (w * 0.5, h * 0.5), as
// ScaleAboutCentrePlain and RotateAboutCentrePlain. `scratch` is a w x h
// work matrix (allocated when it has another size; maps near the identity
// work over the frame itself and may swap the two). Refused (frame
// unchanged): a factor or angle that is not finite, an extent that does not
// fit m, no memory.
Status ScaleAboutCentre(double k, int w, int h, IntMatrix& m, IntMatrix& scratch);
Status RotateAboutCentre(double theta, int w, int h, IntMatrix& m, IntMatrix& scratch);

}  // namespace qirm
