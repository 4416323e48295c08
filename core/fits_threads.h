// Forwards the old FITS-side names of the part splitter to core/parallel.h
// for the code that still uses them.
#pragma once

#include "core/parallel.h"

namespace qirm::fits {

using qirm::PartStart;
using qirm::RunInParts;

}  // namespace qirm::fits
