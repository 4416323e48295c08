// SPDX-License-Identifier: GPL-3.0-or-later
// A file dialog whose type list shows the program's own labels, such as
// "フィッツ(*.fit,*.fts,*.fits)", while filtering by the patterns that belong
// to each label. The toolkit reads patterns only from a label that ends in
// "(*.a *.b)", so the patterns of the chosen entry are applied here. The
// file name's completion list never outlives the dialog: the toolkit's own
// would show it again over the main window after Enter accepted a name, as
// the folder's listing arrived.
#pragma once

#include <QFileDialog>
#include <QStringList>
#include <QVector>

class TypedFileDialog : public QFileDialog {
  Q_OBJECT
 public:
  struct Entry {
    QString label;
    QStringList patterns;
  };
  TypedFileDialog(QWidget* parent, const QString& title, const QVector<Entry>& entries);

  // The chosen entry, numbered from 1.
  int FilterIndex() const;
  void SetFilterIndex(int index);
  const QVector<Entry>& Entries() const { return m_entries; }

  void done(int result) override;
  // Another list of entries (a save dialog offers what the window at hand
  // can be saved as); the first is chosen.
  void SetEntries(const QVector<Entry>& entries);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyPatterns(const QString& label);
  void HideCompletions();
  QVector<Entry> m_entries;
};
