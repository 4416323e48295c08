// SPDX-License-Identifier: GPL-3.0-or-later
// The guide-miss canceller's panel (caption "GMCPanel"): group "GMC" with
// the flow amount ("流れ量", pixels) and direction ("向き", degrees), group
// "Blur" with the blur amount ("ぼけ量", pixels) and threshold ("閾値"), "OK"
// and "キャンセル". Defaults "1", "0", "0.2", "0". One instance lives for the
// whole run (see Forms.h); its edits keep the texts last accepted. OK takes
// the edits in order (a blur amount below 0.2 becomes 0.2, a flow outside
// 0..1000 is brought into range; the edit shows the value taken) and the
// command runs; Cancel, Esc and the close box cancel it. The panel keeps its
// blur amount for itself: the blur dialog's amount is its own.
#pragma once

#include <QDialog>

#include "app/ui/ValueDialog.h"
#include "filters/guide_miss.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TGMCPanel : public QDialog {
  Q_OBJECT
 public:
  explicit TGMCPanel(QWidget* parent = nullptr);

  const qirm::GmcSettings& Settings() const { return m_settings; }
  bool Accepted() const { return m_accepted; }
  // The Gaussian width of the canceller, as last accepted.
  double BlurAmount() const { return m_blur_amount; }

  QGroupBox* GroupBox1 = nullptr;       // "GMC"
  QLabel* Label1 = nullptr;             // "流れ量"
  QLineEdit* Edit2 = nullptr;           // flow amount
  QLabel* Label2 = nullptr;             // "ピクセル"
  QLabel* Label3 = nullptr;             // "向き"
  QLineEdit* Edit1 = nullptr;           // direction
  QLabel* Label4 = nullptr;             // "度"
  QGroupBox* GroupBox2 = nullptr;       // "Blur"
  QLabel* Label5 = nullptr;             // "ぼけ量"
  QLineEdit* Edit3 = nullptr;           // blur amount
  QLabel* Label6 = nullptr;             // "ピクセル"
  QLabel* Label7 = nullptr;             // "閾値"
  QLineEdit* Edit4 = nullptr;           // threshold
  QPushButton* Button1 = nullptr;       // "OK"
  QPushButton* CancelButton = nullptr;  // "キャンセル": as Esc and the close box

 public slots:
  // A text that is no number: the standard error box, the dialog stays open
  // and the settings read before that edit keep their new values.
  void Button1Click();

 protected:
  // Closed without OK: the edits show the texts last accepted again.
  void done(int result) override;

 private:
  qirm::GmcSettings m_settings;
  double m_blur_amount = 0.2;
  bool m_accepted = false;
  KeptTexts m_kept;
};
