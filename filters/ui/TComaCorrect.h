// The optical axis and coma amount of the coma correction (caption
// "ComaCorrect"): "光軸座標", "X = " and "Y = " with their edits, "コマ量"
// with its edit, and "OK", which only closes the dialog. The edits start
// empty and keep what was typed; the command parses them after the dialog
// has closed.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TComaCorrect : public QDialog {
  Q_OBJECT
 public:
  explicit TComaCorrect(QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;        // "光軸座標"
  QLabel* Label2 = nullptr;        // "X = "
  QLineEdit* Edit1 = nullptr;      // axis X
  QLabel* Label3 = nullptr;        // "Y = "
  QLineEdit* Edit2 = nullptr;      // axis Y
  QLabel* Label4 = nullptr;        // "コマ量"
  QLineEdit* Edit3 = nullptr;      // coma amount
  QPushButton* Button1 = nullptr;  // "OK"

 public slots:
  void Button1Click();
};
