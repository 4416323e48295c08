// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/UiSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "core/user_dirs.h"

namespace {

constexpr char kFileName[] = "QIRM-ui.ini";

}  // namespace

UiSettings::UiSettings() {
  const std::string dir = qirm::UserConfigDir();
  if (dir.empty()) return;
  m_path = QFile::decodeName(QByteArray::fromStdString(dir)) + QLatin1Char('/') + QLatin1String(kFileName);
  if (!QFileInfo::exists(m_path)) return;
  QSettings file(m_path, QSettings::IniFormat);
  for (const QString& key : file.allKeys()) m_memory.insert(key, file.value(key));
}

QVariant UiSettings::Value(const QString& key, const QVariant& fallback) const {
  return m_memory.value(key, fallback);
}

void UiSettings::SetValue(const QString& key, const QVariant& value) {
  if (m_memory.value(key) == value && m_memory.contains(key)) return;
  m_memory.insert(key, value);
  if (m_path.isEmpty() || !qirm::MakeUserDir(qirm::UserConfigDir())) return;
  QSettings file(m_path, QSettings::IniFormat);
  file.setValue(key, value);
  file.sync();
}
