// Binary Netpbm colour files (three bytes a pixel): the image comes back as
// three channel matrices R, G, B of w columns and h rows, values 0..255.
// Console traces go to standard output; a file that cannot be used prints
// its console text and returns an error Status; the process goes on.
#pragma once

#include <string>

#include "core/matrix.h"
#include "core/status.h"

namespace qirm {

Status ReadPpmFile(const std::string& path, int& w, int& h, IntMatrix& r, IntMatrix& g, IntMatrix& b);

}  // namespace qirm
