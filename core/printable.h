// SPDX-License-Identifier: GPL-3.0-or-later
// Messages are one printable line: a path or a word read from a file may hold
// line breaks, other control characters or bytes that are not UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace qirm {

// `text` with every control character written as an escape ("\n", "\t",
// "\r", else "\x1b") and every byte that is not part of valid UTF-8 as
// "\xNN"; printable ASCII and valid UTF-8 (Japanese names) stay as they are.
std::string PrintableText(std::string_view text);

}  // namespace qirm
