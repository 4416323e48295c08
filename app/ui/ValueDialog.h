// SPDX-License-Identifier: GPL-3.0-or-later
// The layout shared by the dialogs that ask for one value: a label and an
// edit (on a framed panel when the design has one) above a centred "OK".
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

class QDialog;
class QDialogButtonBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

struct ValueDialogParts {
  QFrame* panel = nullptr;  // null without a panel
  QLabel* label = nullptr;
  QLineEdit* edit = nullptr;
  QPushButton* ok = nullptr;
  QPushButton* cancel = nullptr;
};

// Makes the dialog modal and captioned `caption`, with the controls
// Label1, Edit1 (holding `text`), Button1 "OK" (the default button) and
// CancelButton "キャンセル"; the panel is named `panel_name` when one is asked
// for.
ValueDialogParts BuildValueDialog(QDialog* dialog, const QString& caption, const QString& label,
                                  const QString& text, const QString& panel_name = QString());

// A "キャンセル" button (CancelButton) that rejects `dialog`, as Esc and the
// close box do.
QPushButton* NewCancelButton(QDialog* dialog);

// The "OK" and "キャンセル" row of the tool dialogs. キャンセル rejects the
// dialog; "OK" accepts it, or with `ok_checks` only clicks (the dialog checks
// its values before it accepts).
QDialogButtonBox* NewOkCancelButtons(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel,
                                     bool ok_checks = false);

// The texts of a dialog's edits as last accepted. A dialog closed without OK
// (Cancel, Esc, the close box) puts them back, so what was typed and then
// cancelled is not offered or used the next time.
class KeptTexts {
 public:
  KeptTexts() = default;
  explicit KeptTexts(std::vector<QLineEdit*> edits);
  // From QDialog::done: keep the texts on OK, put them back otherwise.
  void Done(int result);

 private:
  std::vector<QLineEdit*> m_edits;
  QStringList m_texts;
};
