// SPDX-License-Identifier: GPL-3.0-or-later
// The message of a command that does not apply to a window's kind: it names
// the command and says why, so the desktop program's message box and
// qirm-cli's error line tell the user instead of nothing happening.
#pragma once

#include <string>

#include "core/status.h"
#include "document/image_document.h"

namespace qirm {

// What the window holds, as the messages name it: "16ビットの画像",
// "Netpbmの画像", "空のウィンドウ", "カラー画像".
std::string KindName(WindowKind kind);

// "COMMAND: KIND には使えません。REASON". Without a reason the command is one
// that works on colour pictures only, and the reason says so.
Status KindRefused(const std::string& command, WindowKind kind, const std::string& reason = "");

// The check of the tools that take colour pictures and 16-bit data alike
// (background, resampling, tone curve): Ok for those kinds, else the
// refusal naming `command`.
Status ColourOrRawCheck(const std::string& command, WindowKind kind);

}  // namespace qirm
