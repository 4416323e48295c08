// SPDX-License-Identifier: GPL-3.0-or-later
// What the parameter dialogs' OK buttons show when their check refuses the edit.
#pragma once

#include "document/dialog_check.h"

class QWidget;

// A text that is no number goes to the standard error box; a refused value
// to a message box with an OK button over the dialog.
void ShowRefusal(QWidget* dialog, const qirm::DialogCheck& check);
