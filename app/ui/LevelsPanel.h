// SPDX-License-Identifier: GPL-3.0-or-later
// The levels panel "レベル": a dock with the histogram of the active window's
// values (16-bit windows: raw data; colour windows: the three channels), the
// black and white points drawn on it and draggable, and the preset buttons.
// Levels are shown as the readout shows values (physical values of scaled
// FITS data). The panel only reports what the user chose; the main window
// applies it through the engine, as for the level edits.
#pragma once

#include <QDockWidget>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "display/level_presets.h"
#include "document/image_document.h"

class QLabel;
class QPushButton;

class HistogramView : public QWidget {
  Q_OBJECT
 public:
  explicit HistogramView(QWidget* parent = nullptr);

  // The values lo..hi are drawn across the width.
  void SetData(const std::vector<std::int64_t>& counts, int lo, int hi);
  void SetLevels(int min, int max);
  int Lo() const { return m_lo; }
  int Hi() const { return m_hi; }
  int MinLevel() const { return m_min; }
  int MaxLevel() const { return m_max; }
  // The x position of a value and the value at an x position.
  int XOf(int value) const;
  int ValueAt(int x) const;

  QSize sizeHint() const override { return QSize(280, 120); }

 signals:
  // A point was dragged: the new levels (raw values).
  void LevelsDragged(int min, int max);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  enum class Grip { kNone, kBlack, kWhite };
  void DragTo(int x);

  std::vector<std::int64_t> m_counts;  // of every value, as ValueCounts
  int m_lo = 0, m_hi = 255;
  int m_min = 0, m_max = 255;
  Grip m_grip = Grip::kNone;
};

class LevelsPanel : public QDockWidget {
  Q_OBJECT
 public:
  explicit LevelsPanel(QWidget* parent = nullptr);

  // Follows a window: its values are counted again when it is another
  // window or `recount` is set (its data changed); the levels are always
  // read again. nullptr or a window without level values: an empty panel.
  void Follow(const qirm::ImageDocument* doc, bool recount);

  HistogramView* View = nullptr;
  QLabel* LevelsLabel = nullptr;  // "黒 = ...  白 = ..."
  QPushButton* AutoButton = nullptr;
  QPushButton* MinMaxButton = nullptr;
  QPushButton* Percent995Button = nullptr;
  QPushButton* Percent99Button = nullptr;
  QPushButton* ZscaleButton = nullptr;

 signals:
  void PresetChosen(qirm::LevelPreset preset);
  void LevelsDragged(int min, int max);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Recount();
  void ShowLevels();

  const qirm::ImageDocument* m_doc = nullptr;
  std::vector<std::int64_t> m_counts;
  // The counts no longer match the window: a hidden panel counts when it
  // is shown again, not after every command.
  bool m_stale = false;
};
