// What the filter dialogs' OK buttons show when their check refuses the edit.
#pragma once

#include "filters/filter_commands.h"

class QWidget;

// A text that is no number goes to the standard error box; a refused value
// to a message box with an OK button over the dialog.
void ShowFilterRefusal(QWidget* dialog, const qirm::FilterValueCheck& check);
