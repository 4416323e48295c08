// SPDX-License-Identifier: GPL-3.0-or-later
// The composite dialog: which open images to stack, in which order, and how.
// One instance lives for the whole run (see Forms.h); the composite command
// refills its lists each time, the chosen method stays.
#pragma once

#include <QDialog>
#include <vector>

#include "stack/composite.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

class TComposite : public QDialog {
  Q_OBJECT
 public:
  explicit TComposite(QWidget* parent = nullptr);

  // The command's preparation: both lists emptied, Edit2 "0", the open
  // windows listed in ListBox1 (each item remembers its window), Edit1 their
  // number.
  void Prepare(const std::vector<qirm::CompositeEntry>& candidates);
  // The combine list in order and the method chosen.
  qirm::CompositeParams Params() const;

  QLabel* Label2 = nullptr;         // "開いている画像"
  QListWidget* ListBox1 = nullptr;  // captions not chosen
  QLabel* Label1 = nullptr;         // "合成する画像"
  QListWidget* ListBox2 = nullptr;  // captions chosen, in stacking order
  QLineEdit* Edit1 = nullptr;       // entries of ListBox1
  QLineEdit* Edit2 = nullptr;       // entries of ListBox2; "0" means do not stack
  QLabel* Label8 = nullptr;         // "コンポジット方法"
  QRadioButton* RadioButton1 = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QRadioButton* RadioButton3 = nullptr;
  QRadioButton* RadioButton4 = nullptr;
  QRadioButton* RadioButton5 = nullptr;
  QLabel* Label3 = nullptr;        // " 平均"
  QLabel* Label4 = nullptr;        // " 加算"
  QLabel* Label5 = nullptr;        // " 最大値"
  QLabel* Label6 = nullptr;        // " 最小値"
  QLabel* Label7 = nullptr;        // " 期待値"
  QPushButton* Button1 = nullptr;  // ">>>"
  QPushButton* Button2 = nullptr;  // "<<<"
  QPushButton* Button5 = nullptr;  // "すべて選択"
  QPushButton* Button6 = nullptr;  // "すべて削除"
  QPushButton* Button3 = nullptr;  // "OK"
  QPushButton* Button4 = nullptr;  // "Cancel"

 public slots:
  void Button1Click();
  void Button2Click();
  void Button5Click();
  void Button6Click();
  void Button3Click();
  void Button4Click();

 protected:
  // A click on a method's label chooses its radio button.
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Escape is the Cancel button. The close box only closes: the combine
  // list, if any, is still stacked.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Moves the (selected) entries of `from` to the end of `to`, in list
  // order, then sets both counts.
  void MoveEntries(QListWidget* from, QListWidget* to, bool selectedOnly);
};
