// SPDX-License-Identifier: GPL-3.0-or-later
// The optical axis and coma amount of the coma correction (caption
// "ComaCorrect"): "光軸座標", "X = " and "Y = " with their edits, "コマ量"
// with its edit, "OK", which only closes the dialog, and "キャンセル". The
// edits start empty and keep what was accepted; the command parses them
// after OK. Cancel, Esc and the close box cancel the command.
#pragma once

#include <QDialog>

#include "app/ui/ValueDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TComaCorrect : public QDialog {
  Q_OBJECT
 public:
  explicit TComaCorrect(QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;             // "光軸座標"
  QLabel* Label2 = nullptr;             // "X = "
  QLineEdit* Edit1 = nullptr;           // axis X
  QLabel* Label3 = nullptr;             // "Y = "
  QLineEdit* Edit2 = nullptr;           // axis Y
  QLabel* Label4 = nullptr;             // "コマ量"
  QLineEdit* Edit3 = nullptr;           // coma amount
  QPushButton* Button1 = nullptr;       // "OK"
  QPushButton* CancelButton = nullptr;  // "キャンセル": as Esc and the close box

 public slots:
  void Button1Click();

 protected:
  // Closed without OK: the edits show the texts last accepted again.
  void done(int result) override;

 private:
  KeptTexts m_kept;
};
