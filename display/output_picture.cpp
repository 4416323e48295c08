// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/output_picture.h"

namespace qirm {

void PrepareOutput(Picture& out, int width, int height) {
  if (out.width() != width || out.height() != height) out = Picture(width, height);
}

}  // namespace qirm
