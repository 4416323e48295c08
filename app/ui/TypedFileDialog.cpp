// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TypedFileDialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QEvent>
#include <QFileSystemModel>
#include <QTimer>

TypedFileDialog::TypedFileDialog(QWidget* parent, const QString& title, const QVector<Entry>& entries)
    : QFileDialog(parent, title), m_entries(entries) {
  // The toolkit's own dialog: the platform dialogs would ignore the patterns
  // set below.
  setOption(QFileDialog::DontUseNativeDialog, true);
  connect(this, &QFileDialog::filterSelected, this, &TypedFileDialog::ApplyPatterns);
  SetEntries(entries);
}

void TypedFileDialog::SetEntries(const QVector<Entry>& entries) {
  m_entries = entries;
  QStringList labels;
  for (const Entry& e : m_entries) labels << e.label;
  setNameFilters(labels);
  if (!labels.isEmpty()) selectNameFilter(labels.first());
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

void TypedFileDialog::showEvent(QShowEvent* event) {
  QFileDialog::showEvent(event);
  for (QCompleter* completer : findChildren<QCompleter*>()) {
    if (QAbstractItemView* popup = completer->popup()) {
      popup->removeEventFilter(this);
      popup->installEventFilter(this);
    }
  }
}

bool TypedFileDialog::eventFilter(QObject* watched, QEvent* event) {
  // A list the completer shows again once the dialog has gone is taken
  // away as soon as it appears.
  if (event->type() == QEvent::Show && !isVisible()) {
    if (auto* popup = qobject_cast<QAbstractItemView*>(watched))
      QMetaObject::invokeMethod(popup, &QWidget::hide, Qt::QueuedConnection);
  }
  return QFileDialog::eventFilter(watched, event);
}

void TypedFileDialog::done(int result) {
  HideCompletions();
  QFileDialog::done(result);
}

void TypedFileDialog::HideCompletions() {
  for (QCompleter* completer : findChildren<QCompleter*>()) {
    if (QAbstractItemView* popup = completer->popup()) popup->hide();
  }
}
