// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/StarPickTarget.h"

namespace {
StarPickTarget* g_target = nullptr;
}

StarPickTarget* CurrentStarPickTarget() { return g_target; }
void SetStarPickTarget(StarPickTarget* target) { g_target = target; }
