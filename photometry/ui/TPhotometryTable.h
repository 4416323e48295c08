// SPDX-License-Identifier: GPL-3.0-or-later
// "測光結果": the stars measured by "測光（恒星）", one row each (file, the
// frame's DATE-OBS, the time of the measurement, the channel and every
// measured value), copied to the clipboard or saved as CSV. The CSV starts
// with the columns `qirm-cli photometry --csv` writes, under its names and
// in its order (X .. THETA), so one script reads both; FILE, DATE-OBS,
// MEASURED_AT and CHANNEL follow. A tool window of the main window: it
// stays above it and first shows beside it.
#pragma once

#include <QStringList>
#include <QWidget>

#include "photometry/star_photometry.h"

class QLabel;
class QPushButton;
class QTableWidget;

class TPhotometryTable : public QWidget {
  Q_OBJECT
 public:
  explicit TPhotometryTable(QWidget* parent = nullptr);

  // The column headings: ファイル, DATE-OBS, 測定時刻, チャンネル, then X .. THETA.
  static QStringList Headings();
  // The CSV's: X .. THETA, then FILE, DATE-OBS, MEASURED_AT, CHANNEL.
  static QStringList CsvHeadings();
  void AddRow(const QString& file, const QString& date_obs, const QString& measured_at,
              const QString& channel, const qirm::StarMeasurement& m);
  int RowCount() const;
  // The rows (the selected ones; all when none is selected) with the
  // headings, as CSV lines.
  QString CsvText(bool selected_only) const;
  // Writes every row as CSV; false with a message in Japanese.
  bool SaveCsv(const QString& path, QString& error) const;

  QTableWidget* Table = nullptr;
  QPushButton* CopyButton = nullptr;
  QPushButton* SaveButton = nullptr;
  QPushButton* ClearButton = nullptr;
  QLabel* Note = nullptr;

 signals:
  // The rows were cleared: the marks of the measured stars go too.
  void Cleared();

 public slots:
  void Copy();
  void SaveClick();
  void Clear();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool m_placed = false;
};
