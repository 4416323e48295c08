// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TypedFileDialog.h"

#include <QFileSystemModel>
#include <QTimer>

TypedFileDialog::TypedFileDialog(QWidget* parent, const QString& title, const QVector<Entry>& entries)
    : QFileDialog(parent, title), m_entries(entries) {
  // The toolkit's own dialog: the platform dialogs would ignore the patterns
  // set below.
  setOption(QFileDialog::DontUseNativeDialog, true);
  QStringList labels;
  for (const Entry& e : m_entries) labels << e.label;
  setNameFilters(labels);
  connect(this, &QFileDialog::filterSelected, this, &TypedFileDialog::ApplyPatterns);
  ApplyPatterns(labels.value(0));
}

int TypedFileDialog::FilterIndex() const {
  const QString chosen = selectedNameFilter();
  for (int i = 0; i < m_entries.size(); ++i) {
    if (m_entries[i].label == chosen) return i + 1;
  }
  return 1;
}

void TypedFileDialog::SetFilterIndex(int index) {
  if (index < 1 || index > m_entries.size()) return;
  selectNameFilter(m_entries[index - 1].label);
  ApplyPatterns(m_entries[index - 1].label);
}

void TypedFileDialog::ApplyPatterns(const QString& label) {
  for (const Entry& e : m_entries) {
    if (e.label != label) continue;
    // The dialog has just set the label's own (unusable) patterns; replace
    // them once it is done.
    QTimer::singleShot(0, this, [this, patterns = e.patterns] {
      if (auto* model = findChild<QFileSystemModel*>()) {
        model->setNameFilterDisables(false);
        model->setNameFilters(patterns);
      }
    });
    if (auto* model = findChild<QFileSystemModel*>()) {
      model->setNameFilterDisables(false);
      model->setNameFilters(e.patterns);
    }
  }
}
