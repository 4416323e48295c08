// SPDX-License-Identifier: GPL-3.0-or-later
// The composition dialogs hold their numbers as edit texts; these are the
// conversions their handlers and buttons make, so that the desktop program
// and any other front give the same messages.
#pragma once

#include <string>

#include "core/status.h"
#include "tricolour/composition_settings.h"

namespace qirm {

// The number edits of the composition dialog.
struct CompositionFieldTexts {
  std::string Edit6 = "0", Edit9 = "0";                           // star 1 X, Y
  std::string Edit7 = "0", Edit10 = "0";                          // star 2 X, Y
  std::string Edit8 = "10", Edit11 = "10";                        // box half-sizes of star 1, star 2
  std::string Edit12 = "0", Edit13 = "0";                         // background X, Y
  std::string Edit14 = "10";                                      // background level
  std::string Edit15 = "1.00", Edit16 = "1.00", Edit17 = "1.00";  // white R, G, B
  std::string Edit18 = "1.00";                                    // common gain K
};

// Converts the edits into `settings` in the order the OK button does:
// Star1X, Star1Y, Star2X, Star2Y, Delta1, Delta2, BackgroundX, BackgroundY,
// BackgroundLevel as decimal integers, then WhiteR, WhiteG, WhiteB, WhiteK
// as reals. The first text that is not a number stops it with the standard
// conversion error, and `settings` is left as it was.
Status ConvertCompositionFields(const CompositionFieldTexts& texts, CompositionSettings& settings);

// The texts loading a settings file writes into the edits: integers in plain
// decimal, reals in the general format (1 -> "1", 1.25 -> "1.25").
CompositionFieldTexts CompositionFieldTextsOf(const CompositionSettings& settings);

// The controls of the advanced dialog that make up AdvancedFlags.
struct AdvancedTexts {
  bool CheckBox7 = false;                                        // anti-blooming on
  std::string Edit1 = "60000";                                   // threshold
  std::string Edit2 = "2";                                       // thickness
  std::string Edit3 = "5";                                       // length
  bool CheckBox1 = false, CheckBox2 = false, CheckBox3 = false;  // 180-degree turns R, G, B
  bool CheckBox4 = false, CheckBox5 = false, CheckBox6 = false;  // flattening R, G, B
  ToneKind Tone = ToneKind::kAtan;                               // RadioButton1..4: linear, LOG, γ, ATAN
  std::string Edit4 = "1000";                                    // LOG parameter
  std::string Edit5 = "1.0";                                     // γ parameter
  std::string Edit6 = "200";                                     // ATAN parameter
};

// Capturing: each check box gives on or off, Edit1..Edit3 are converted as
// decimal integers, the chosen tone curve is taken with its parameter edit
// converted as a real (the other two parameters keep their captured values,
// so a stray text in an edit not in use stops nothing). A text that is not a
// number gives the conversion error and leaves `flags` as it was.
Status CaptureAdvancedFlags(const AdvancedTexts& texts, AdvancedFlags& flags);
AdvancedTexts AdvancedTextsOf(const AdvancedFlags& flags);

// The white-balance spinners count hundredths: position 100 is 1.00.
//
// Position of an edit's text: the number times 100, truncated toward zero,
// worked out on the decimal digits as written ("1.05" -> 105, "1.999" ->
// 199, "-0.555" -> -55). Through binary reals 1.05 * 100 truncates to 104:
// a click up from 1.04 would write "1.05", the edit's change would set the
// spinner back to 104, and the spinner could never pass it. False when the
// text is not a number. Results beyond the int range are clamped to it.
bool WhiteSpinPosition(const std::string& text, int& position);
// The text a spinner click writes: position x 0.01 with the pattern ".00"
// (100 -> "1.00", 5 -> ".05").
std::string WhiteSpinText(int position);

}  // namespace qirm
