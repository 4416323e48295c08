// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum plot window, shown without blocking. It lives for the whole
// run (see Forms.h) and its plot picture keeps every profile drawn into it.
#pragma once

#include <QWidget>

#include "core/picture.h"
#include "stack/spectrum.h"

class ImageView;
class QLabel;
class QLineEdit;
class UpDownSpin;

class TSpDraw : public QWidget {
  Q_OBJECT
 public:
  explicit TSpDraw(QWidget* parent = nullptr);

  // The plot area's picture (Image1), 513 x 393, white at start.
  qirm::Picture& Plot() { return m_plot; }
  // Shows the plot picture again after it was drawn on.
  void RefreshPlot();

  // Shows a traced range in the range edits and their spins (without running
  // the edits' change handlers again).
  void ShowRange(const qirm::SpectrumRange& range);

  QWidget* Panel1 = nullptr;
  ImageView* Image1 = nullptr;
  QLineEdit* Edit1 = nullptr;  // x0
  QLabel* Label1 = nullptr;    // "< X <"
  QLineEdit* Edit2 = nullptr;  // x1
  QLineEdit* Edit3 = nullptr;  // y0
  QLabel* Label2 = nullptr;    // "< Y <"
  QLineEdit* Edit4 = nullptr;  // y1
  UpDownSpin* UpDown1 = nullptr;
  UpDownSpin* UpDown2 = nullptr;
  UpDownSpin* UpDown3 = nullptr;
  UpDownSpin* UpDown4 = nullptr;

 public slots:
  void UpDown1Click();
  void UpDown2Click();
  void UpDown3Click();
  void UpDown4Click();
  void Edit1Change();
  void Edit2Change();
  void Edit3Change();
  void Edit4Change();

 private:
  static void SpinClick(const UpDownSpin* spin, QLineEdit* edit);
  static void EditChange(const QLineEdit* edit, UpDownSpin* spin);

  qirm::Picture m_plot;
};
