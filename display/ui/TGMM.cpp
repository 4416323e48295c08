// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/ui/TGMM.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/ui/RefusalBox.h"
#include "app/ui/ValueDialog.h"

TGMM::TGMM(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("GMM"));
  const ValueDialogParts parts =
      BuildValueDialog(this, QStringLiteral("ガンマ"), QStringLiteral("γ="),
                       QString::fromStdString(qirm::GammaParams{}.gamma), QStringLiteral("Panel1"));
  Panel1 = parts.panel;
  Label1 = parts.label;
  Edit1 = parts.edit;
  Button1 = parts.ok;
  CancelButton = parts.cancel;
  m_kept = KeptTexts({Edit1});
  connect(Button1, &QPushButton::clicked, this, &TGMM::Button1Click);
}

qirm::GammaParams TGMM::Params() const { return {Edit1->text().toStdString()}; }

void TGMM::Button1Click() {
  const qirm::DialogCheck check = qirm::CheckGamma(Params());
  if (check) {
    accept();
    return;
  }
  ShowRefusal(this, check);
}

void TGMM::done(int result) {
  m_kept.Done(result);
  QDialog::done(result);
}
