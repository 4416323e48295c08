// SPDX-License-Identifier: GPL-3.0-or-later
// Previews in dialogs: a picture scaled to fit a label, and the shown
// picture of a window reduced for a quick look.
#pragma once

#include <QPixmap>

#include "core/picture.h"
#include "document/image_document.h"

class QLabel;

// Shows `picture` in `label`, scaled to fit its size with the aspect kept.
void ShowPreview(QLabel* label, const qirm::Picture& picture);
// A copy of the window made at most `side` pixels on its longer side (area
// mean), for previews that must follow the controls without delay.
qirm::ImageDocument ReducedCopy(const qirm::ImageDocument& doc, int side);
