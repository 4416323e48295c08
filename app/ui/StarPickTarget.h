// SPDX-License-Identifier: GPL-3.0-or-later
// Where clicks in image windows deliver reference-star and background
// positions: the tri-colour composition dialog registers itself here.
#pragma once

#include "app/star_width.h"

class StarPickTarget {
 public:
  virtual ~StarPickTarget() = default;
  virtual qirm::StarPick ReadStarPick() const = 0;
  virtual void WriteStarPick(const qirm::StarPick& pick) = 0;
};

// The registered target, or nullptr.
StarPickTarget* CurrentStarPickTarget();
void SetStarPickTarget(StarPickTarget* target);
