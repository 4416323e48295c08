// SPDX-License-Identifier: GPL-3.0-or-later
// What the program is and what it stands on, for `--version` and the
// version box: its version (with the git commit of the checkout it was built
// from), its licence and the versions of the libraries in use.
#pragma once

#include <string>
#include <vector>

namespace qirm {

inline constexpr const char* kProgramLicence = "GPL-3.0-or-later";

// The release, "0.9.0" (the project's version in CMakeLists.txt).
std::string ProgramVersion();

// The commit the program was built from as git describes it
// ("6a5adf4c0d1e", "...-dirty" with uncommitted changes); empty when it was
// not built from a git checkout.
std::string ProgramCommit();

// "0.9.0 (git 6a5adf4c0d1e)", or "0.9.0" without a commit.
std::string ProgramVersionText();

struct LibraryVersion {
  std::string name;     // "libpng"
  std::string version;  // "1.6.39"
};

// The libraries the engine uses: libjpeg (the version built against: it
// tells none at run time), then libpng, libtiff, wcslib and zlib as loaded.
std::vector<LibraryVersion> LibraryVersions();

// The text `PROGRAM --version` prints: "PROGRAM VERSION", the licence and
// its notice, then one line per library ("  libpng 1.6.39"), the extra ones
// (the toolkit of the desktop program) first. Ends in a line break.
std::string VersionReport(const std::string& program, const std::vector<LibraryVersion>& extra = {});

}  // namespace qirm
