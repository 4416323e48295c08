// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/RefusalBox.h"

#include <QMessageBox>

#include "app/ui/TApplication.h"

void ShowRefusal(QWidget* dialog, const qirm::DialogCheck& check) {
  const QString message = QString::fromStdString(check.message);
  if (check.outcome == qirm::DialogCheck::kNotANumber) {
    TApplication::ShowException(message);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("QIRM"), message, QMessageBox::Ok, dialog);
  box.exec();
}
