// SPDX-License-Identifier: GPL-3.0-or-later
// Mirror and flip of a 24-bit picture: new pictures of the same size.
#pragma once

#include "core/picture.h"

namespace qirm {

// Left to right: result(x, y) = source(W - 1 - x, y), all three bytes.
Picture MirrorPicture(const Picture& source);

// Top to bottom: result row y = source row H - 1 - y.
Picture FlipPicture(const Picture& source);

// The same into out, which takes the source's size and must not be the
// source; a picture of that size is reused without new memory.
void MirrorInto(const Picture& source, Picture& out);
void FlipInto(const Picture& source, Picture& out);

}  // namespace qirm
