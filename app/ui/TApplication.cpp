// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TApplication.h"

#include <QMessageBox>
#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowException(QString::fromUtf8(e.what()));
  } catch (...) {
    ShowException(QStringLiteral("Unknown error"));
  }
  return false;
}

void TApplication::ShowException(const QString& message) {
  QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("QIRM"), message);
}
