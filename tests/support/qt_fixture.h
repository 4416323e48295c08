// SPDX-License-Identifier: GPL-3.0-or-later
// What every widget test does around each case: a temporary current folder
// of its own (saved files never land in the build tree), a configuration
// folder of its own (QIRM.ini, the recent list and the dialogs' remembered
// folders start empty in every case) and the single forms made afresh, so
// no case sees another's windows.
#pragma once

#include <QDir>
#include <QFile>
#include <QSize>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/ui/Forms.h"
#include "app/ui/TMainForm.h"

namespace qirm::test {

class TestFolder {
 public:
  // Makes the folders and makes the first current; false when that fails.
  bool Enter() {
    m_old = QDir::currentPath();
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    m_dir = std::make_unique<QTemporaryDir>();
    m_config = std::make_unique<QTemporaryDir>();
    if (!m_config->isValid()) return false;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    return m_dir->isValid() && QDir::setCurrent(m_dir->path());
  }
  // Goes back to the folder current before Enter and removes these.
  void Leave() {
    QDir::setCurrent(m_old);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    m_dir.reset();
    m_config.reset();
  }
  // The configuration folder of this case (QIRM's own folder is made in
  // it).
  QString configPath() const { return m_config->path(); }
  QString path() const { return m_dir->path(); }
  QString filePath(const QString& name) const { return m_dir->filePath(name); }

 private:
  std::unique_ptr<QTemporaryDir> m_dir;
  std::unique_ptr<QTemporaryDir> m_config;
  QString m_old;
  QByteArray m_oldConfig;
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
