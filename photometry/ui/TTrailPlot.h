// SPDX-License-Identifier: GPL-3.0-or-later
// "流星の光度": the profile along a measured trail (flux per pixel of
// length against the distance from its first end), shown without blocking,
// with the totals and a button that saves the profile as text.
#pragma once

#include <QString>
#include <QWidget>

#include "photometry/trail_photometry.h"

class QLabel;
class QPushButton;

// The plot: axes with their ranges, the profile as a line, the zero level.
class TrailPlotView : public QWidget {
  Q_OBJECT
 public:
  explicit TrailPlotView(QWidget* parent = nullptr);
  void SetProfile(const std::vector<qirm::TrailBin>& profile);
  QSize sizeHint() const override { return QSize(560, 320); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<qirm::TrailBin> m_profile;
};

class TTrailPlot : public QWidget {
  Q_OBJECT
 public:
  explicit TTrailPlot(QWidget* parent = nullptr);

  // Shows a measurement and keeps its profile text for saving.
  void ShowTrail(const qirm::TrailMeasurement& m, const QString& text);
  const QString& ProfileText() const { return m_text; }
  // Writes the profile text; false with a Japanese message.
  bool SaveProfile(const QString& path, QString& error) const;

  TrailPlotView* Plot = nullptr;
  QLabel* Summary = nullptr;
  QPushButton* SaveButton = nullptr;

 public slots:
  void SaveClick();

 protected:
  // A tool window of the main window, first shown beside it.
  void showEvent(QShowEvent* event) override;

 private:
  QString m_text;
  bool m_placed = false;
};
