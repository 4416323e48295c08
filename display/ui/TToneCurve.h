// SPDX-License-Identifier: GPL-3.0-or-later
// The tone-curve dialog "トーンカーブ": a graph of the curve over the
// histogram of the window's values, control points added by a click, moved
// by dragging and removed by a right click (two always stay); presets
// (identity, S-curve, gamma, asinh stretch) with their strength; the
// channel of a colour picture (all, red, green, blue); and a live preview of
// the window through the curve. The graph spans 0..255 for colour pictures
// and the display levels (min..max) for 16-bit windows.
#pragma once

#include <QDialog>
#include <QWidget>
#include <vector>

#include "display/tone_curve.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

// The graph: points in the window's values within lo..hi on both axes.
class TCurveView : public QWidget {
  Q_OBJECT
 public:
  explicit TCurveView(QWidget* parent = nullptr);

  void SetRange(double lo, double hi);
  void SetHistogram(std::vector<double> counts);  // bins over lo..hi
  void SetPoints(std::vector<qirm::CurvePoint> points);
  const std::vector<qirm::CurvePoint>& Points() const { return m_points; }
  double Low() const { return m_lo; }
  double High() const { return m_hi; }
  // Widget coordinates of a value pair, and back.
  QPointF ToWidget(const qirm::CurvePoint& p) const;
  qirm::CurvePoint ToValue(const QPointF& at) const;

 signals:
  void PointsChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int Nearest(const QPointF& at) const;  // the point within reach, or -1
  double m_lo = 0, m_hi = 255;
  std::vector<double> m_histogram;
  std::vector<qirm::CurvePoint> m_points;
  int m_dragged = -1;
};

class TToneCurve : public QDialog {
  Q_OBJECT
 public:
  explicit TToneCurve(QWidget* parent = nullptr);

  // The window the curve is drawn for (not changed): its value range, its
  // histogram and the preview's source. The points start as the identity.
  void SetDocument(const qirm::ImageDocument* doc);
  qirm::ToneCurveParams Params() const;

  TCurveView* Curve = nullptr;
  QComboBox* ChannelBox = nullptr;         // すべて, 赤, 緑, 青 (colour pictures only)
  QComboBox* PresetBox = nullptr;          // 恒等, S字, ガンマ, asinh
  QDoubleSpinBox* StrengthSpin = nullptr;  // gamma, or the asinh stretch factor
  QPushButton* PresetButton = nullptr;     // "適用": the preset replaces the points
  QLabel* PreviewView = nullptr;
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;

 public slots:
  void PresetButtonClick();
  void Preview();

 private:
  void UpdateHistogram();
  const qirm::ImageDocument* m_doc = nullptr;
  qirm::ImageDocument m_small;  // the window reduced, for the preview
};
