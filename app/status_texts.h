// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's status panel texts about the active window: "Image
// Depth = " and "Image Size = " followed by what the window holds.
#pragma once

#include <string>

#include "document/image_document.h"

namespace qirm {

// "8-bit colour" (BMP, JPEG, Netpbm and the commands' pictures; "8-bit grey"
// when the source had one channel), "16-bit colour" (a composition's
// 16-bit result while its planes still show the picture), "16-bit" (FITS
// integers), "32-bit float" (FITS data of any other type); "" for a window
// nothing has been put in.
std::string ImageDepthText(const ImageDocument& doc);

// "W x H" of the window's data (DataWidth x DataHeight); "" for a window
// without data.
std::string ImageSizeText(const ImageDocument& doc);

}  // namespace qirm
