// SPDX-License-Identifier: GPL-3.0-or-later
// The background-tilt dialog "背景傾斜" of the command of the same name: the
// model (plane, or a polynomial of degree 2 or 3), the size of the sky
// boxes, and previews of the fitted model and of the result, computed by
// the engine on a copy of the window as the values change. OK runs the
// command on the window; Cancel, Esc and the close box leave it as it is.
// One instance lives for the whole run (see Forms.h) and keeps its values.
#pragma once

#include <QDialog>

#include "filters/background.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;

class TTilt : public QDialog {
  Q_OBJECT
 public:
  explicit TTilt(QWidget* parent = nullptr);

  // The window the previews are computed from (not changed); nullptr for
  // none. Set before the dialog is shown.
  void SetDocument(const qirm::ImageDocument* doc);
  qirm::BackgroundParams Params() const;

  QComboBox* ModelBox = nullptr;  // 平面, 2次多項式, 3次多項式
  QSpinBox* BoxSpin = nullptr;    // the box size, 8..1024 pixels
  QLabel* ModelView = nullptr;    // the fitted model
  QLabel* ResultView = nullptr;   // the window after the subtraction
  QLabel* InfoLabel = nullptr;    // boxes used, residual scatter, or the error
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;

 public slots:
  // Computes both previews now (the timer calls it after a change).
  void Preview();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  const qirm::ImageDocument* m_doc = nullptr;
  QTimer* m_timer = nullptr;
};
