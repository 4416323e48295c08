// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TApplication.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <exception>
#include <new>
#include <stdexcept>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(ExceptionText(e));
  } catch (...) {
    ShowException(QStringLiteral("Unknown error"));
  }
  return false;
}

QString TApplication::ExceptionText(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e) || dynamic_cast<const std::length_error*>(&e))
    return QStringLiteral("メモリが足りません: この操作に必要なメモリを確保できませんでした。");
  return QString::fromUtf8(e.what());
}

void TApplication::ShowException(const QString& message) {
  QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("QIRM"), message);
}

bool TApplication::InstallJapaneseTranslation(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return false;
  }
  return true;
}
