// SPDX-License-Identifier: GPL-3.0-or-later
// "QIRM.ini": the main window's position and size kept between runs.
//
//   Quorvan
//   Window <top> <left> <width> <height>
//   This is the initial file for Quorvan
//   <notice line, read by nobody>
#pragma once

#include <optional>
#include <string>

#include "core/status.h"

namespace qirm {

// Kept in the user's configuration folder (SettingsFilePath()); earlier
// versions kept it under this bare name in the current folder.
inline constexpr char kSettingsFileName[] = "QIRM.ini";

struct WindowPlacement {
  int top = 0;
  int left = 0;
  int width = 0;
  int height = 0;
  bool operator==(const WindowPlacement&) const = default;
};

// Reads the file as words: the first line is skipped, then one word (the
// "Window" tag, whatever it says), then four integers top, left, width,
// height. Nothing when the file is missing or the four integers cannot all be
// read, so a damaged file never moves the window half-way.
std::optional<WindowPlacement> ReadSettingsFile(const std::string& path);

// Writes the four lines. The text goes to a temporary file beside `path`,
// which then replaces it in one rename: a failed write (read-only folder,
// full disk) leaves any earlier file whole and returns an error naming the
// step that failed.
Status WriteSettingsFile(const std::string& path, const WindowPlacement& placement);

// "QIRM.ini" in UserConfigDir() (core/user_dirs.h); empty when there is no
// configuration folder.
std::string SettingsFilePath();

// The placement kept for the program: from SettingsFilePath(); while no file
// exists there, from an old "QIRM.ini" in the current folder (the next
// SaveSettings moves it to the configuration folder, so that one is read
// once).
std::optional<WindowPlacement> LoadSettings();

// Writes SettingsFilePath(), making the configuration folder when missing.
Status SaveSettings(const WindowPlacement& placement);

}  // namespace qirm
