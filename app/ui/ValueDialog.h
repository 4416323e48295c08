// The layout shared by the dialogs that ask for one value: a label and an
// edit (on a framed panel when the design has one) above a centred "OK".
#pragma once

#include <QString>

class QDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

struct ValueDialogParts {
  QFrame* panel = nullptr;  // null without a panel
  QLabel* label = nullptr;
  QLineEdit* edit = nullptr;
  QPushButton* ok = nullptr;
};

// Makes the dialog modal, named and captioned `caption`, with the controls
// Label1, Edit1 (holding `text`) and Button1 "OK" (the default button);
// the panel is named `panel_name` when one is asked for.
ValueDialogParts BuildValueDialog(QDialog* dialog, const QString& caption, const QString& label,
                                  const QString& text, const QString& panel_name = QString());
