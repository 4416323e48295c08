// Commands of the "画像編集(&E)" and "画像処理(&P)" menus that change geometry
// and tones: mirror, flip, rotate, negative, gamma, solarization, Sabattier.
#include "app/ui/TMainForm.h"

void TMainForm::N1Click() {}
void TMainForm::M1Click() {}
void TMainForm::R1Click() {}
void TMainForm::R3Click() {}
void TMainForm::N6Click() {}
void TMainForm::N7Click() {}
void TMainForm::N8Click() {}
