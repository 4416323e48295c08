// SPDX-License-Identifier: GPL-3.0-or-later
// "FITSヘッダー": every card of the active FITS window's header, with a
// filter edit and copying (selected lines, or all shown lines when none is
// selected) through Ctrl+C and the copy button. A tool window beside the
// main window: it follows the active image window and never changes it.
#pragma once

#include <QDialog>
#include <QStringList>

#include "document/image_document.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class THeaderView : public QDialog {
  Q_OBJECT
 public:
  explicit THeaderView(QWidget* parent = nullptr);

  // Shows the header of `doc` (nullptr or a window without a FITS header:
  // the note that there is none). The cards are copied; the view keeps no
  // pointer to the document.
  void ShowDocument(const qirm::ImageDocument* doc);

  // The lines a copy puts on the clipboard now.
  QString CopyText() const;

  QLineEdit* Filter = nullptr;   // case-insensitive text the shown cards contain
  QListWidget* Cards = nullptr;  // one card a line, trailing blanks removed
  QPushButton* CopyButton = nullptr;
  QLabel* Note = nullptr;  // how many cards are shown, or that there is no header

 public slots:
  void Copy();
  void ApplyFilter();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QStringList m_lines;
};
