// SPDX-License-Identifier: GPL-3.0-or-later
// "測光（流星）": the trail photometry dialog, shown without blocking. While
// it is open, dragging with the left button in an image window from one end
// of a trail to the other measures it (or "測定" measures the typed ends in
// the active window); the band and its sky bands are drawn on the picture and
// the profile is plotted in the trail plot window.
#pragma once

#include <QPointF>
#include <QPointer>

#include "app/ui/ImageTool.h"
#include "photometry/trail_photometry.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class TChild;
class TMainForm;
class TTrailPlot;

class TTrailPhotometry : public ImageToolDialog {
  Q_OBJECT
 public:
  explicit TTrailPhotometry(TMainForm* form);

  static constexpr int kMarkGroup = 2;

  QLineEdit* WidthEdit = nullptr;  // 帯の幅
  QLineEdit* GapEdit = nullptr;    // 背景との間隔
  QComboBox* ChannelBox = nullptr;
  QLineEdit* X1Edit = nullptr;
  QLineEdit* Y1Edit = nullptr;
  QLineEdit* X2Edit = nullptr;
  QLineEdit* Y2Edit = nullptr;
  QPushButton* MeasureButton = nullptr;
  TTrailPlot* PlotWindow = nullptr;

  // Measures the trail from (x1, y1) to (x2, y2) of `child`'s picture; false
  // after the error box.
  bool MeasureTrailAt(TChild* child, QPointF from, QPointF to);
  bool Params(qirm::TrailParams& params, QString& error) const;

  void ToolPress(TChild* child, Qt::MouseButton button, QPointF point) override;
  void ToolMove(TChild* child, Qt::MouseButtons buttons, QPointF point) override;
  void ToolRelease(TChild* child, Qt::MouseButton button, QPointF point) override;

 public slots:
  void MeasureClick();

 private:
  // The band and the sky bands' outer edges from `from` to `to`.
  void DrawBand(TChild* child, QPointF from, QPointF to, const qirm::TrailParams& params);

  TMainForm* m_form;
  QPointer<TChild> m_dragChild;
  QPointF m_dragStart;
};
