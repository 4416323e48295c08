// SPDX-License-Identifier: GPL-3.0-or-later
// Star and trail photometry (計測 menu).
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "photometry/ui/TStarPhotometry.h"
#include "photometry/ui/TTrailPhotometry.h"

void TMainForm::S1Click() {
  // One tool takes the clicks at a time.
  if (TrailPhotometry) TrailPhotometry->close();
  if (!StarPhotometry) StarPhotometry = new TStarPhotometry(this);
  StarPhotometry->show();
  StarPhotometry->raise();
}

void TMainForm::R2Click() {
  if (StarPhotometry) StarPhotometry->close();
  if (!TrailPhotometry) TrailPhotometry = new TTrailPhotometry(this);
  TrailPhotometry->show();
  TrailPhotometry->raise();
}
