// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/ui/TSabachie.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/ui/RefusalBox.h"
#include "app/ui/ValueDialog.h"

TSabachie::TSabachie(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Sabachie"));
  const ValueDialogParts parts =
      BuildValueDialog(this, QStringLiteral("サバチエ効果"), QStringLiteral("ステップ幅"),
                       QString::fromStdString(qirm::SabattierParams{}.step), QStringLiteral("Sabachie"));
  Panel = parts.panel;
  Label1 = parts.label;
  Edit1 = parts.edit;
  Button1 = parts.ok;
  CancelButton = parts.cancel;
  m_kept = KeptTexts({Edit1});
  connect(Button1, &QPushButton::clicked, this, &TSabachie::Button1Click);
}

qirm::SabattierParams TSabachie::Params() const { return {Edit1->text().toStdString()}; }

void TSabachie::Button1Click() {
  const qirm::DialogCheck check = qirm::CheckSabattier(Params());
  if (check) {
    accept();
    return;
  }
  ShowRefusal(this, check);
}

void TSabachie::done(int result) {
  m_kept.Done(result);
  QDialog::done(result);
}
