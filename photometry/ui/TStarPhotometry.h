// SPDX-License-Identifier: GPL-3.0-or-later
// "測光（恒星）": the star photometry dialog, shown without blocking. While
// it is open a left click in an image window measures the star there (or
// "測定" measures at the typed X, Y in the active window); each star becomes
// a row of the results window and is marked on its picture with its aperture
// and sky annulus.
#pragma once

#include <QPointer>

#include "app/ui/ImageTool.h"
#include "photometry/star_photometry.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TChild;
class TMainForm;
class TPhotometryTable;

class TStarPhotometry : public ImageToolDialog {
  Q_OBJECT
 public:
  explicit TStarPhotometry(TMainForm* form);

  // The marks' group on image windows.
  static constexpr int kMarkGroup = 1;

  QLineEdit* ApertureEdit = nullptr;  // 開口半径
  QLineEdit* InnerEdit = nullptr;     // 背景 内径
  QLineEdit* OuterEdit = nullptr;     // 背景 外径
  QLineEdit* SearchEdit = nullptr;    // 探索半径
  QLineEdit* ZeroPointEdit = nullptr;
  QLineEdit* GainEdit = nullptr;
  QLineEdit* ReadNoiseEdit = nullptr;
  QComboBox* ChannelBox = nullptr;  // 赤 / 緑 / 青: what a colour window is measured in
  QCheckBox* ClickCheck = nullptr;  // クリックで測定
  QLineEdit* XEdit = nullptr;
  QLineEdit* YEdit = nullptr;
  QPushButton* MeasureButton = nullptr;
  QLabel* NoiseLabel = nullptr;  // where the gain and read noise came from
  TPhotometryTable* Results = nullptr;

  // Measures the star nearest (x, y) of `child`'s picture with the dialog's
  // values; false after the error box (`error` gets its text).
  bool MeasureAt(TChild* child, double x, double y, QString* error = nullptr);
  // The dialog's values; false with the Japanese message when one is refused.
  bool Params(qirm::StarPhotometryParams& params, QString& error) const;

  void ToolPress(TChild* child, Qt::MouseButton button, QPointF point) override;
  void ToolMove(TChild*, Qt::MouseButtons, QPointF) override {}
  void ToolRelease(TChild*, Qt::MouseButton, QPointF) override {}

 public slots:
  void MeasureClick();  // "測定": at the typed X, Y of the active window

 private:
  TMainForm* m_form;
};
