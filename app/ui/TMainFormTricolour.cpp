// The tri-colour composition command.
#include "app/ui/TMainForm.h"

void TMainForm::RGB1Click() {}
