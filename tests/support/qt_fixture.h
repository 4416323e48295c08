// SPDX-License-Identifier: GPL-3.0-or-later
// What every widget test does around each case: a temporary current folder
// of its own (QIRM.ini, the recent list and saved files never land in the
// build tree) and the single forms made afresh, so no case sees another's
// windows.
#pragma once

#include <QDir>
#include <QSize>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/ui/Forms.h"
#include "app/ui/TMainForm.h"

namespace qirm::test {

class TestFolder {
 public:
  // Makes the folder and makes it current; false when either fails.
  bool Enter() {
    m_old = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    return m_dir->isValid() && QDir::setCurrent(m_dir->path());
  }
  // Goes back to the folder current before Enter and removes this one.
  void Leave() {
    QDir::setCurrent(m_old);
    m_dir.reset();
  }
  QString path() const { return m_dir->path(); }
  QString filePath(const QString& name) const { return m_dir->filePath(name); }

 private:
  std::unique_ptr<QTemporaryDir> m_dir;
  QString m_old;
};

// CreateForms, then the main window shown (at `size` when given) and
// waited for.
inline void ShowFreshForms(QSize size = QSize()) {
  CreateForms();
  if (size.isValid()) MainForm->resize(size);
  MainForm->show();
  QVERIFY(QTest::qWaitForWindowExposed(MainForm));
}

}  // namespace qirm::test
