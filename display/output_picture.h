// SPDX-License-Identifier: GPL-3.0-or-later
// The output pictures of this folder's commands, which write every byte.
#pragma once

#include "core/picture.h"

namespace qirm {

// Makes out a picture of width x height whose every byte the caller is about
// to write: a picture of that size keeps its storage and contents (no new
// memory, no white fill); any other becomes a new white picture.
void PrepareOutput(Picture& out, int width, int height);

}  // namespace qirm
