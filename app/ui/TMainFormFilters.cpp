// Filter commands: edge enhancement, blur, high-pass, low-pass, blooming
// removal, coma correction, guide-miss canceller.
#include "app/ui/TMainForm.h"

void TMainForm::N2Click() {}
void TMainForm::N4Click() {}
void TMainForm::H1Click() {}
void TMainForm::L1Click() {}
void TMainForm::N5Click() {}
void TMainForm::N9Click() {}
void TMainForm::P1Click() {}
