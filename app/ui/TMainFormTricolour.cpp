// SPDX-License-Identifier: GPL-3.0-or-later
// The tri-colour composition command.
#include "app/ui/Forms.h"
#include "app/ui/TMainForm.h"
#include "tricolour/ui/TRGBComp.h"

// "RGB合成(&B)": only shows the dialog; what it holds stays as it was.
void TMainForm::RGB1Click() {
  if (!RGBComp) return;
  RGBComp->BringToFront();
}
