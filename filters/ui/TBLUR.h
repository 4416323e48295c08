// SPDX-License-Identifier: GPL-3.0-or-later
// The amount dialog of the blur command (caption "BLUR"): "ボケ量", one edit
// with the default "1.0", and "OK". Modal; one instance lives for the whole
// run (see Forms.h), so the edit keeps the last text accepted and the
// amount its value (1.0 until then); the guide-miss panel keeps a blur
// amount of its own. The command runs only on OK; Cancel, Esc and the close
// box cancel it.
#pragma once

#include <QDialog>

#include "app/ui/ValueDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TBLUR : public QDialog {
  Q_OBJECT
 public:
  explicit TBLUR(QWidget* parent = nullptr);

  double Amount() const { return m_amount; }

  QLabel* Label1 = nullptr;             // "ボケ量"
  QLineEdit* Edit1 = nullptr;           // the amount
  QPushButton* Button1 = nullptr;       // "OK"
  QPushButton* CancelButton = nullptr;  // "キャンセル": as Esc and the close box

 public slots:
  // Text that is no number: the standard error box; not above 0 or above
  // 10: "正の数字を入力してください". Either way the dialog stays open.
  void Button1Click();

 protected:
  // Closed without OK: the edit shows the text last accepted again.
  void done(int result) override;

 private:
  KeptTexts m_kept;
  double m_amount = 1.0;
};
