// SPDX-License-Identifier: GPL-3.0-or-later
// The geometry and tone commands of the main window's editing menus, each as
// the whole sequence the menu item runs on one image window: which kinds it
// accepts, which pictures it reads and draws onto, whether it marks the
// window edited, progress. The desktop program and qirm-cli both call these;
// the widgets only show the dialogs, read their edits into the parameter
// structs and refresh.
//
//   command     menu  kinds      reads     draws onto       edited
//   negative    N1    1, 2 (*)   ImageZm   Image, ImageZm   kept
//   mirror      M1    1, 2, 4 (*) ImageZm  Image, ImageZm   kept
//   flip        R1    1, 2, 4 (*) ImageZm  Image, ImageZm   kept
//   rotate      R3    any (*)    ImageZm   Image, ImageZm   set
//   gamma       N6    1          ImageZm   Image            set
//   solarize    N7    1          ImageZm   Image            set
//   Sabattier   N8    1, 2, 3    ImageZm   Image            set
//
// (*) A 16-bit window (kind 2) keeps its raw values in one plane (`raw`);
// ImageZm is empty. These commands work on the raw values themselves
// (negative: 65535 - v, its levels turned over alike, MIN' = 65535 - MAX
// and MAX' = 65535 - MIN; mirror and flip: columns or rows of raw values
// reversed; rotation: the raw values turned), write the plane and draw the
// shown picture again with the window's levels. Pixels the rotation does
// not compute become raw 65535, which shows white like the frame of a
// rotated colour picture. The Sabattier tone reads a 16-bit window's high
// bytes (red = v / 256, blue and green 0) as its base.
//
// A command on a window of a kind it does not accept changes nothing and
// returns an error that names the command and says why (KindRefused), for
// the message box and qirm-cli's error line. Results are drawn at (0, 0);
// pictures keep their size.
#pragma once

#include <string>

#include "core/status.h"
#include "display/rotate.h"
#include "document/dialog_check.h"
#include "document/image_document.h"

namespace qirm {

// The messages of the two dialogs' OK buttons.
inline constexpr const char* kGammaRefused = "整数を入力してください";
inline constexpr const char* kStepWidthRefused = "正の数字を入力してください";

// What the gamma dialog TGMM holds: the text of its edit, default "1.0".
struct GammaParams {
  std::string gamma = "1.0";
};

// What the Sabattier dialog TSabachie holds: the step width, default "255".
struct SabattierParams {
  std::string step = "255";
};

// What an OK button makes of its edit.
// TGMM's OK: a real greater than 0. Otherwise the conversion error, or
// "整数を入力してください" for 0 and below.
DialogCheck CheckGamma(const GammaParams& params);
// TSabachie's OK: a real greater than 0. Otherwise the conversion error, or
// "正の数字を入力してください": a step width of 0 would divide by zero and a
// negative one has no meaning.
DialogCheck CheckSabattier(const SabattierParams& params);

// Each command's kind check alone: Ok for the kinds of the table, else the
// error the command gives. The desktop program asks them to disable the
// menu items that would refuse (and says why in the item's tooltip).
// Sabattier reads a base picture that a float window does not have.
Status NegativeKindCheck(const ImageDocument& doc);
Status MirrorKindCheck(const ImageDocument& doc);
Status FlipKindCheck(const ImageDocument& doc);
Status SolarizeKindCheck(const ImageDocument& doc);
Status SabattierKindCheck(const ImageDocument& doc);

// Errors: the window's kind (see the table); the raw plane of a 16-bit
// window does not fill its size. Nothing changes then.
Status NegativeCommand(ImageDocument& doc);
Status MirrorCommand(ImageDocument& doc);
Status FlipCommand(ImageDocument& doc);

// Progress: the share of rows done, in percent, then 0 when the command ends.
// Errors: the raw plane of a 16-bit window does not fill its size (nothing
// changes).
Status RotateCommand(ImageDocument& doc, const Progress& progress = {});

// The gamma and step width are read from the params as the commands read the
// dialogs' edits after they close. A text that is no number is the
// conversion error (nothing drawn). A value the dialog's OK would refuse can
// still arrive when the dialog was closed by its frame; the command then
// draws nothing and succeeds. Gamma and solarization on a window that is no
// colour picture: the kind error, checked before the value.
Status GammaCommand(ImageDocument& doc, const GammaParams& params);
// The gamma command's kind check alone, so that the desktop program refuses
// before it asks for a value: Ok for colour windows, else GammaCommand's
// error.
Status GammaKindCheck(const ImageDocument& doc);
Status SolarizeCommand(ImageDocument& doc);
Status SabattierCommand(ImageDocument& doc, const SabattierParams& params);

}  // namespace qirm
