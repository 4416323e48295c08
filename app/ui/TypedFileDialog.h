// SPDX-License-Identifier: GPL-3.0-or-later
// A file dialog whose type list shows the program's own labels, such as
// "フィッツ(*.fit,*.fts,*.fits)", while filtering by the patterns that belong
// to each label. The toolkit reads patterns only from a label that ends in
// "(*.a *.b)", so the patterns of the chosen entry are applied here.
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

 private:
  void ApplyPatterns(const QString& label);
  QVector<Entry> m_entries;
};
