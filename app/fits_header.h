// SPDX-License-Identifier: GPL-3.0-or-later
// The header of the FITS image QIRM reads, as the header view shows it and
// `qirm-cli header` prints it.
#pragma once

#include <string>
#include <vector>

#include "core/fits_reader.h"
#include "core/status.h"

namespace qirm {

// The cards of the image's own header: the primary's, or the last
// extension's when the image lies in one; 80 characters each, up to and
// without END.
std::vector<std::string> ImageHeaderCards(const FitsHeader& header);

// One line per card with its trailing blanks removed, control characters
// and bytes that are not UTF-8 escaped (core/printable.h).
std::vector<std::string> HeaderLines(const std::vector<std::string>& cards);

// Reads the header of the image in the FITS file at `path` as the open
// command does (console traces and the trace file included) and gives its
// lines. Fails, with the reader's message, where the open command would.
Status ReadImageHeaderLines(const std::string& path, std::vector<std::string>& lines);

}  // namespace qirm
