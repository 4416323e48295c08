// SPDX-License-Identifier: GPL-3.0-or-later
// The gamma dialog (caption "GMM") of the gamma command: "γ=" and one edit,
// default "1.0", and "OK". Modal; one instance lives for the whole run (see
// Forms.h), so the edit keeps the last text accepted. OK closes the dialog
// only for a gamma above 0; Cancel, Esc and the close box cancel the command.
#pragma once

#include <QDialog>

#include "app/ui/ValueDialog.h"
#include "display/display_commands.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TGMM : public QDialog {
  Q_OBJECT
 public:
  explicit TGMM(QWidget* parent = nullptr);

  // The edit as the command reads it after the dialog has closed.
  qirm::GammaParams Params() const;

  QFrame* Panel1 = nullptr;
  QLabel* Label1 = nullptr;             // "γ="
  QLineEdit* Edit1 = nullptr;           // the gamma
  QPushButton* Button1 = nullptr;       // "OK"
  QPushButton* CancelButton = nullptr;  // "キャンセル": as Esc and the close box

 public slots:
  // Text that is no number: the standard error box; 0 or less:
  // "整数を入力してください". Either way the dialog stays open.
  void Button1Click();

 protected:
  // Closed without OK: the edit shows the text last accepted again.
  void done(int result) override;

 private:
  KeptTexts m_kept;
};
