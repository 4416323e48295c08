// The amount dialog of the blur command (caption "BLUR"): "ボケ量", one edit
// with the default "1.0", and "OK". Modal; one instance lives for the whole
// run (see Forms.h), so the edit keeps the last text entered. The blur
// amount it keeps is also the Gaussian width of the guide-miss canceller,
// whose panel writes it too (SetAmount). The command runs however the
// dialog was closed, with the amount last set (1.0 until then).
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TBLUR : public QDialog {
  Q_OBJECT
 public:
  explicit TBLUR(QWidget* parent = nullptr);

  double Amount() const { return m_amount; }
  void SetAmount(double amount) { m_amount = amount; }

  QLabel* Label1 = nullptr;        // "ボケ量"
  QLineEdit* Edit1 = nullptr;      // the amount
  QPushButton* Button1 = nullptr;  // "OK"

 public slots:
  // Text that is no number: the standard error box; not above 0 or above
  // 10: "正の数字を入力してください". Either way the dialog stays open.
  void Button1Click();

 private:
  double m_amount = 1.0;
};
