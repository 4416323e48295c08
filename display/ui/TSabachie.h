// The step-width dialog (caption "Sabachie") of the Sabattier command:
// "ステップ幅" and one edit, default "255", and "OK". Modal; one instance lives
// for the whole run (see Forms.h), so the edit keeps the last text entered.
// OK closes the dialog only for a width above 0; closing by the frame skips
// the check, and the command then reads whatever the edit holds.
#pragma once

#include <QDialog>

#include "display/display_commands.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TSabachie : public QDialog {
  Q_OBJECT
 public:
  explicit TSabachie(QWidget* parent = nullptr);

  // The edit as the command reads it after the dialog has closed.
  qirm::SabattierParams Params() const;

  QFrame* Panel = nullptr;         // design name "Sabachie", like the dialog
  QLabel* Label1 = nullptr;        // "ステップ幅"
  QLineEdit* Edit1 = nullptr;      // the step width
  QPushButton* Button1 = nullptr;  // "OK"

 public slots:
  // Text that is no number: the standard error box; 0 or less:
  // "正の数字を入力してください". Either way the dialog stays open.
  void Button1Click();
};
