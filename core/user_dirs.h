// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its files for the user: the settings in the
// configuration folder, the FITS reader's trace in the cache folder, as a
// Linux desktop expects (the XDG base directories).
#pragma once

#include <string>

namespace qirm {

// "$XDG_CONFIG_HOME/QIRM", or "$HOME/.config/QIRM" when the variable is
// unset, empty or not an absolute path (relative values are ignored, as the
// XDG rule says). Empty when no home folder is known either.
std::string UserConfigDir();

// "$XDG_CACHE_HOME/QIRM", or "$HOME/.cache/QIRM", by the same rule.
std::string UserCacheDir();

// Makes `dir` and any missing parent (new folders private to the user,
// mode 0700). False when `dir` is empty or cannot be made.
bool MakeUserDir(const std::string& dir);

// The FITS reader's trace file, "test.dat" in UserCacheDir(); empty when
// there is no cache folder.
std::string TraceFilePath();

}  // namespace qirm
