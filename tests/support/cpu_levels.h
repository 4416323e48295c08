// SPDX-License-Identifier: GPL-3.0-or-later
// Running a kernel at each instruction-set level this machine has, so that
// the plain paths are checked too where the vector ones would be taken.
#pragma once

#include <gtest/gtest.h>

#include "core/cpu_dispatch.h"

namespace qirm::test {

// Calls body(level) under ScopedCpuLevel(level) for every supported level,
// the plain one first, with the level's name on any failure.
template <class Body>
void AtEveryCpuLevel(const Body& body) {
  for (CpuLevel level : SupportedCpuLevels()) {
    ScopedCpuLevel cap(level);
    SCOPED_TRACE(CpuLevelName(level));
    body(level);
  }
}

}  // namespace qirm::test
