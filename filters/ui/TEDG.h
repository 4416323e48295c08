// SPDX-License-Identifier: GPL-3.0-or-later
// The strength dialog of edge enhancement (caption "EDG"): "強さ(1-5)", one
// edit with the default "1.0", and "OK". Modal; one instance lives for the
// whole run (see Forms.h), so the edit keeps the last text accepted and the
// strength its value. The command runs only on OK; Cancel, Esc and the close
// box cancel it.
#pragma once

#include <QDialog>

#include "app/ui/ValueDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TEDG : public QDialog {
  Q_OBJECT
 public:
  explicit TEDG(QWidget* parent = nullptr);

  double Strength() const { return m_strength; }

  QLabel* Label1 = nullptr;             // "強さ(1-5)"
  QLineEdit* Edit1 = nullptr;           // the strength
  QPushButton* Button1 = nullptr;       // "OK"
  QPushButton* CancelButton = nullptr;  // "キャンセル": as Esc and the close box

 public slots:
  // Text that is no number: the standard error box; below 1.0 or above
  // 5.0: "1.0-5.0の数字を入力してください". Either way the dialog stays open.
  void Button1Click();

 protected:
  // Closed without OK: the edit shows the text last accepted again.
  void done(int result) override;

 private:
  KeptTexts m_kept;
  double m_strength = 1.0;
};
