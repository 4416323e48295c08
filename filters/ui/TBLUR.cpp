// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/ui/TBLUR.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/ui/RefusalBox.h"
#include "app/ui/ValueDialog.h"
#include "filters/filter_commands.h"

TBLUR::TBLUR(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("BLUR"));
  const ValueDialogParts parts =
      BuildValueDialog(this, QStringLiteral("ぼかし"), QStringLiteral("ボケ量"), QStringLiteral("1.0"));
  Label1 = parts.label;
  Edit1 = parts.edit;
  Button1 = parts.ok;
  CancelButton = parts.cancel;
  m_kept = KeptTexts({Edit1});
  connect(Button1, &QPushButton::clicked, this, &TBLUR::Button1Click);
}

void TBLUR::Button1Click() {
  const qirm::DialogCheck check = qirm::CheckBlurAmount(Edit1->text().toStdString());
  if (!check) {
    ShowRefusal(this, check);
    return;
  }
  m_amount = check.value;
  accept();
}

void TBLUR::done(int result) {
  m_kept.Done(result);
  QDialog::done(result);
}
