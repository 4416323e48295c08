// The strength dialog of edge enhancement (caption "EDG"): "強さ(1-5)", one
// edit with the default "1.0", and "OK". Modal; one instance lives for the
// whole run (see Forms.h), so the edit keeps the last text entered and the
// strength the last value accepted. The command runs however the dialog was
// closed, with the strength last accepted (1.0 until then).
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TEDG : public QDialog {
  Q_OBJECT
 public:
  explicit TEDG(QWidget* parent = nullptr);

  double Strength() const { return m_strength; }

  QLabel* Label1 = nullptr;        // "強さ(1-5)"
  QLineEdit* Edit1 = nullptr;      // the strength
  QPushButton* Button1 = nullptr;  // "OK"

 public slots:
  // Text that is no number: the standard error box; below 1.0 or above
  // 5.0: "1.0-5.0の数字を入力してください". Either way the dialog stays open.
  void Button1Click();

 private:
  double m_strength = 1.0;
};
