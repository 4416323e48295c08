// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/kind_refusal.h"

namespace qirm {

std::string KindName(WindowKind kind) {
  switch (kind) {
    case WindowKind::kNone:
      return "空のウィンドウ";
    case WindowKind::kColour:
      return "カラー画像";
    case WindowKind::kRaw16:
      return "16ビットの画像";
    case WindowKind::kNetpbm:
      return "Netpbmの画像";
    case WindowKind::kFloat:
      return "浮動小数点の画像";
    case WindowKind::kDeepColour:
      return "16ビット以上のカラー画像";
  }
  return "この画像";
}

Status KindRefused(const std::string& command, WindowKind kind, const std::string& reason) {
  const std::string why =
      reason.empty() ? "カラー画像 (BMP・JPEG とコマンドの結果) にだけ使えるコマンドです。" : reason;
  return Status::Error(command + ": " + KindName(kind) + "には使えません。" + why);
}

Status ColourOrRawCheck(const std::string& command, WindowKind kind) {
  if (kind == WindowKind::kColour || kind == WindowKind::kRaw16) return Status::Ok();
  return KindRefused(command, kind, "カラー画像と16ビットの画像にだけ使えるコマンドです。");
}

}  // namespace qirm
