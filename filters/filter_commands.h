// SPDX-License-Identifier: GPL-3.0-or-later
// The filter commands of the "画像処理(&P)" menu, each as the whole sequence
// its menu item runs on one image window: which kinds it accepts, which
// pictures it reads and draws onto, whether it marks the window edited,
// progress. The desktop program and qirm-cli both call these; the widgets
// only show the dialogs, read their edits through the checks below and
// refresh.
//
//   command    menu  kinds    reads     draws onto       edited   progress
//   edge       N2    colour   ImageZm   Image, ImageZm   set      rows
//   blur       N4    1-3 (*)  ImageZm   Image, ImageZm   set      rows
//   high-pass  H1    1-3 (*)  ImageZm   Image, ImageZm   set      rows
//   low-pass   L1    1-3 (*)  ImageZm   Image, ImageZm   set      rows, twice
//   bloom      N5    1-3 (*)  ImageZm   Image, ImageZm   kept     20 40 60 80 100
//   coma       N9    colour   ImageZm   Image            set      none
//   gmc        P1    any      Image     Image            kept     none
//
// Progress "rows": before each row y the value trunc(200 * y / H), each
// value once (the bar is full half way down). Every command with progress
// ends with 0.
//
// (*) A 16-bit window keeps its raw values in one plane (`raw`), and these
// commands filter the raw values themselves (full scale 65535 instead of
// 255; the blooming threshold 222 * 256, the same criterion on the high
// byte), replace the plane and draw the shown picture again with the
// window's levels.
//
// The guide-miss canceller works on the shown picture as it is, whatever
// the zoom (the zoom only scales the display), and changes nothing else: on
// a 16-bit window it sharpens the grey rendering until the next level
// command draws it again from the planes.
//
// A command on a window of a kind it does not accept changes nothing and
// returns an error that names the command and says why (KindRefused), for
// the message box and qirm-cli's error line.
#pragma once

#include <string>

#include "core/status.h"
#include "document/dialog_check.h"
#include "document/image_document.h"
#include "filters/coma_correction.h"
#include "filters/guide_miss.h"
#include "filters/stencil_filters.h"

namespace qirm {

// The dialogs' messages.
inline constexpr const char* kEdgeStrengthRefused = "1.0-5.0の数字を入力してください";
inline constexpr const char* kBlurAmountRefused = "正の数字を入力してください";
// TComaCorrect's amount: beyond this the trail reaches past the picture's
// centre many times over and the result no longer changes.
inline constexpr double kMaxComaAmount = 1000;
inline constexpr const char* kComaAmountRefused = "-1000～1000の数字を入力してください";

// Settings that the filter dialogs keep while the program runs.
struct FilterSettings {
  double edge_strength = 1.0;  // TEDG
  // TBLUR's amount; AcceptGmcTexts writes TGMCPanel's Gaussian width here
  // (the panel keeps it apart from the blur dialog's).
  double blur_amount = 1.0;
  GmcSettings gmc;            // TGMCPanel
  bool gmc_accepted = false;  // TGMCPanel's OK has been pressed once
};

// What an OK button makes of its edit.
// TEDG's OK: a real from 1.0 to 5.0, else "1.0-5.0の数字を入力してください".
DialogCheck CheckEdgeStrength(const std::string& text);
// TBLUR's OK: a real above 0 and at most 10, else "正の数字を入力してください".
DialogCheck CheckBlurAmount(const std::string& text);

// The coma command's reading of TComaCorrect's edits: X and Y integers,
// the amount a real; the first text that is no number gives its
// conversion error, an amount outside -kMaxComaAmount..kMaxComaAmount
// kComaAmountRefused.
Status ParseComaTexts(const std::string& x, const std::string& y, const std::string& amount,
                      ComaParams& params);

// The edits of TGMCPanel, with their design texts.
struct GmcTexts {
  std::string direction = "0";  // Edit1
  std::string flow = "1";       // Edit2
  std::string blur = "0.2";     // Edit3
  std::string threshold = "0";  // Edit4
};

// TGMCPanel's OK: direction, flow and blur amount, then threshold, each
// taken into the settings as it is read; the first text that is no number
// stops there with its conversion error, and what was read before it keeps
// its new value. A blur amount below 0.2 becomes 0.2, a flow below 0
// becomes 0 and one above kMaxGmcFlow becomes kMaxGmcFlow, and the edit
// shows the value taken. On success the panel counts as accepted.
Status AcceptGmcTexts(GmcTexts& texts, FilterSettings& settings);

// The kind checks of the two commands that take colour windows only, so that
// the desktop program refuses before it shows their dialogs: Ok for colour
// windows, else the command's error.
Status EdgeKindCheck(const ImageDocument& doc);
Status ComaKindCheck(const ImageDocument& doc);
// The kind checks of blur, high-pass, low-pass and blooming removal: every
// kind but a float window, whose values they do not filter (it has no base
// picture either). The desktop program disables their menu items where
// these refuse.
Status BlurKindCheck(const ImageDocument& doc);
Status HighPassKindCheck(const ImageDocument& doc);
Status LowPassKindCheck(const ImageDocument& doc);
Status BloomKindCheck(const ImageDocument& doc);

Status EdgeCommand(ImageDocument& doc, double strength, const FilterProgress& progress = {});
Status BlurCommand(ImageDocument& doc, double amount, const FilterProgress& progress = {});
Status HighPassCommand(ImageDocument& doc, const FilterProgress& progress = {});
Status LowPassCommand(ImageDocument& doc, const FilterProgress& progress = {});
Status BloomCommand(ImageDocument& doc, const FilterProgress& progress = {});
Status ComaCommand(ImageDocument& doc, const ComaParams& params);
Status GmcCommand(ImageDocument& doc, const GmcSettings& settings, double blur);

}  // namespace qirm
