#include "filters/ui/FilterRefusal.h"

#include <QMessageBox>

#include "app/ui/TApplication.h"

void ShowFilterRefusal(QWidget* dialog, const qirm::FilterValueCheck& check) {
  const QString message = QString::fromStdString(check.message);
  if (check.outcome == qirm::FilterValueCheck::kNotANumber) {
    TApplication::ShowException(message);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("QIRM"), message, QMessageBox::Ok, dialog);
  box.exec();
}
