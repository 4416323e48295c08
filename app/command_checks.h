// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a menu command can act on the active window, asked of each
// command's own kind check, so that the desktop program disables what
// would only refuse (and its tooltip says why) while qirm-cli keeps the
// commands' own refusals. The kind rules live with the commands; this
// file only names which check belongs to which command.
#pragma once

#include "core/status.h"
#include "document/image_document.h"

namespace qirm {

enum class MenuCommand {
  kWindow,  // needs a window, of any kind: save, close, zoom, arrange, the header, spectrum, guide-miss,
            // composite
  kNegative,
  kMirror,
  kFlip,
  kRotate,
  kResample,
  kSeparate,
  kBackground,
  kEdge,
  kBlur,
  kHighPass,
  kLowPass,
  kBloom,
  kToneCurve,
  kGamma,
  kSolarize,
  kSabattier,
  kComa,
  kPhotometry,  // star and trail photometry: a window with a picture
  kContrast,    // "H" and "L"
  kLevels,      // the levels panel
  kDebayer,     // a camera's mosaic
};

// The message without a window.
inline constexpr const char* kNoWindowRefusal =
    "画像ウィンドウがありません。画像を開いてから使ってください。";

// Ok when `command` acts on `doc` (the active window; nullptr for none);
// otherwise the message the command would give (kNoWindowRefusal without a
// window).
Status MenuCommandCheck(MenuCommand command, const ImageDocument* doc);

}  // namespace qirm
