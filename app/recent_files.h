// SPDX-License-Identifier: GPL-3.0-or-later
// The File menu's list of recently opened files: newest first, ten at most,
// kept in "QIRM-recent.txt" beside "QIRM.ini", one path a line. A file of its
// own, so QIRM.ini keeps its four lines.
#pragma once

#include <string>
#include <vector>

#include "core/status.h"

namespace qirm {

inline constexpr char kRecentFileName[] = "QIRM-recent.txt";
inline constexpr std::size_t kRecentFilesKept = 10;

// The recent-list file that sits beside the settings file `settings_path`.
std::string RecentFilesPath(const std::string& settings_path);

// `path` moves to the front (an earlier entry of the same path goes); the
// list is cut to kRecentFilesKept. Empty paths are ignored.
void AddRecentFile(std::vector<std::string>& list, const std::string& path);

// Removes `path` (a file that could not be opened any more).
void RemoveRecentFile(std::vector<std::string>& list, const std::string& path);

// The list in the file: one path a line, empty lines and duplicates left
// out, at most kRecentFilesKept. A missing or unreadable file is an empty
// list.
std::vector<std::string> ReadRecentFiles(const std::string& path);

// Writes the list through the replacing write: a failed write leaves the
// earlier file whole and says what failed.
Status WriteRecentFiles(const std::string& path, const std::vector<std::string>& list);

}  // namespace qirm
