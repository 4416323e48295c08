// SPDX-License-Identifier: GPL-3.0-or-later
// The memory gauge of the main window: how much physical memory is in use.
#pragma once

#include <string>

namespace qirm {

// Percentage of physical memory in use, 0..100, from a file in the format of
// /proc/meminfo: (MemTotal - MemAvailable) * 100 / MemTotal, truncated.
// Kernels without MemAvailable count MemFree + Buffers + Cached as available.
// -1 when the file cannot be read or lacks the totals.
int MemoryLoadPercent(const std::string& meminfo_path = "/proc/meminfo");

// The gauge's text: the number in general form followed by "%", e.g. "57%".
std::string MemoryLoadText(int percent);

}  // namespace qirm
