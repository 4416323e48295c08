// SPDX-License-Identifier: GPL-3.0-or-later
// The composition settings file (extension ".mrv"): everything the
// composition dialog holds, as text lines ending in CR LF.
//
//   MERAVI-2 File Data of RGB composite
//   NR Red File(s)            then NR lines, one path each (the whole line)
//   NG Green File(s)          then NG paths
//   NB Blue File(s)           then NB paths
//   ND Dark File(s)           then ND paths
//   NF Flat File(s)           then NF paths
//   Star(s) MODE              0 none, 1 one star, 2 two stars
//   Position
//   Star1X Star2X Delta1
//   Star1Y Star2Y Delta2
//   Detect METHOD             0 centroid, 1 peak, 2 none
//   BackGroung
//   BackgroundX BackgroundY BackgroundLevel
//   WhiteBalance
//   WhiteR WhiteG WhiteB WhiteK     six significant digits: 1, 1.25, 0.8
//   Anti-Blooming
//   ON THRESHOLD THICKNESS LENGTH   ON is 1 or 0
//   Rotation
//   R G B                           180-degree turns, 1 or 0 each
//   BackGroundSlope
//   R G B                           background flattening, 1 or 0 each
//
// Values on a line are separated by one blank; integers are plain decimal.
// Paths are stored as the bytes they are, blanks included.
#pragma once

#include <string>

#include "core/status.h"
#include "tricolour/composition_settings.h"

namespace qirm {

inline constexpr char kCompositionSettingsExtension[] = ".mrv";

// The whole file as it is written.
std::string CompositionSettingsText(const CompositionSettings& settings);

// Writes the file, replacing any file at `path` only once the new text is
// safely on disk (the overwrite question is the caller's). Refused, with
// nothing written: a path in a list that holds a line break (it could not be
// read back as one line) and a white-balance value that is not a finite
// number.
Status SaveCompositionSettings(const std::string& path, const CompositionSettings& settings);

// Reads the file the way the dialog's load button does. The header, the
// labels and "Star(s)" and the like are skipped as words without being
// checked; numbers are whole words; each path is the whole of its line
// (a CR before the LF is dropped).
//
// `settings` is both the starting point and the result: the five lists and
// every number are replaced, while a star mode or detection method outside
// 0..2 and a check-box value other than 0 or 1 leave the field as it was, as
// the dialog leaves its control. A loader without a dialog passes a default
// CompositionSettings.
//
// The whole file is read and checked before `settings` is touched: a file
// that cannot be opened, ends early, lacks the two label words after a
// count, holds a negative count or a word that is not a number where one is
// due gives an error naming the file, the line and the field, and leaves
// `settings` unchanged.
Status LoadCompositionSettings(const std::string& path, CompositionSettings& settings);

// Parses `text` as LoadCompositionSettings parses the file's bytes; `name`
// is the file name the messages give.
Status ParseCompositionSettings(const std::string& text, const std::string& name,
                                CompositionSettings& settings);

}  // namespace qirm
