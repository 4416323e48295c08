// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/ui/TEDG.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/ui/RefusalBox.h"
#include "app/ui/ValueDialog.h"
#include "filters/filter_commands.h"

TEDG::TEDG(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("EDG"));
  const ValueDialogParts parts = BuildValueDialog(this, QStringLiteral("エッジ強調"),
                                                  QStringLiteral("強さ(1-5)"), QStringLiteral("1.0"));
  Label1 = parts.label;
  Edit1 = parts.edit;
  Button1 = parts.ok;
  CancelButton = parts.cancel;
  m_kept = KeptTexts({Edit1});
  connect(Button1, &QPushButton::clicked, this, &TEDG::Button1Click);
}

void TEDG::Button1Click() {
  const qirm::DialogCheck check = qirm::CheckEdgeStrength(Edit1->text().toStdString());
  if (!check) {
    ShowRefusal(this, check);
    return;
  }
  m_strength = check.value;
  accept();
}

void TEDG::done(int result) {
  m_kept.Done(result);
  QDialog::done(result);
}
