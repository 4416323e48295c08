// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop program keeps between runs besides the window's place:
// the open dialog's folder and type, the save dialog's folder, 原点を左下に.
// They live in "QIRM-ui.ini" (the toolkit's INI format) beside QIRM.ini in
// the configuration folder, so QIRM.ini keeps its four lines. Without a
// configuration folder they are kept for this run only and nothing is
// written anywhere else.
#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

class UiSettings {
 public:
  // The file is found now: the configuration folder as the environment
  // names it at start-up.
  UiSettings();

  QVariant Value(const QString& key, const QVariant& fallback = QVariant()) const;
  // Written at once (a later crash loses nothing); a file that cannot be
  // written costs the user nothing but the memory of it.
  void SetValue(const QString& key, const QVariant& value);
  QString Path() const { return m_path; }

  // The keys.
  static constexpr const char* kOpenFolder = "open/folder";
  static constexpr const char* kOpenFilter = "open/filter";
  static constexpr const char* kSaveFolder = "save/folder";
  static constexpr const char* kOriginBottom = "view/originBottom";

 private:
  QString m_path;        // empty: no configuration folder
  QVariantMap m_memory;  // this run's values, also when nothing can be written
};
