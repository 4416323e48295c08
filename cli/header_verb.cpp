// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <string>
#include <vector>

#include "app/fits_header.h"
#include "cli/cli.h"

namespace qirm::cli {

// Prints the header of the FITS image in FILE, one card a line without its
// trailing blanks, up to and without END.
int HeaderVerb(const std::vector<std::string>& args) {
  if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) return UsageError("header needs FILE");
  std::vector<std::string> lines;
  if (Status s = ReadImageHeaderLines(args[0], lines); !s) return Fail(s.message());
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  return kExitOk;
}

}  // namespace qirm::cli
