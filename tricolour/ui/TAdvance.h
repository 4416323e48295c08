// SPDX-License-Identifier: GPL-3.0-or-later
// Advanced settings of the tri-colour composition (caption "Advance"):
// blooming removal, 180-degree turns, automatic background correction and
// the tone curve. Modeless and above the main window, like the composition
// dialog. One instance lives for the whole run (see Forms.h).
//
// The composition and the settings file use the values captured from the
// controls (when "高度な設定" shows this dialog, when "閉じる" closes it and
// when a composition starts), not the controls themselves: the check boxes,
// the anti-blooming values and the tone curve with its parameter.
#pragma once

#include <QDialog>

#include "tricolour/composition_settings.h"
#include "tricolour/composition_texts.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TAdvance : public QDialog {
  Q_OBJECT
 public:
  explicit TAdvance(QWidget* parent = nullptr);

  // Converts the controls into the captured flags; false after the standard
  // error box when Edit1..Edit3 do not hold integers (the flags stay).
  bool Capture();
  const qirm::AdvancedFlags& Captured() const { return m_captured; }
  // The controls as they stand.
  qirm::AdvancedTexts Texts() const;
  // Loading a settings file: the flags become the captured values and the
  // controls show them; the tone curve, which the file does not hold, stays.
  void Load(const qirm::AdvancedFlags& flags);

  QGroupBox* GroupBox1 = nullptr;  // "高度な設定"
  // "ブルーミング除去"
  QCheckBox* CheckBox7 = nullptr;  // "有効にする"
  QLineEdit* Edit1 = nullptr;      // threshold
  QLineEdit* Edit2 = nullptr;      // thickness
  QLineEdit* Edit3 = nullptr;      // length
  // "180度回転画像"
  QCheckBox* CheckBox1 = nullptr;  // red
  QCheckBox* CheckBox2 = nullptr;  // green
  QCheckBox* CheckBox3 = nullptr;  // blue
  // "自動背景補正"
  QCheckBox* CheckBox4 = nullptr;
  QCheckBox* CheckBox5 = nullptr;
  QCheckBox* CheckBox6 = nullptr;
  QLineEdit* Edit7 = nullptr;  // empty, no behaviour
  QLineEdit* Edit8 = nullptr;
  QLineEdit* Edit9 = nullptr;
  // "トーンカーブ"
  QRadioButton* RadioButton1 = nullptr;  // "リニア"
  QRadioButton* RadioButton2 = nullptr;  // "LOG"
  QRadioButton* RadioButton3 = nullptr;  // "γ"
  QRadioButton* RadioButton4 = nullptr;  // "ATAN"
  QLineEdit* Edit4 = nullptr;            // LOG parameter
  QLineEdit* Edit5 = nullptr;            // gamma parameter
  QLineEdit* Edit6 = nullptr;            // ATAN parameter
  QPushButton* Button1 = nullptr;        // "閉じる"

 public slots:
  void Button1Click();

 private:
  qirm::AdvancedFlags m_captured;
};
