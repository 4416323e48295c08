// Composite stacking and spectrum tracing.
#include "app/ui/TMainForm.h"

void TMainForm::C1Click() {}
void TMainForm::P3Click() {}
