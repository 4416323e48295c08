// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/ValueDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ValueDialogParts BuildValueDialog(QDialog* dialog, const QString& caption, const QString& label,
                                  const QString& text, const QString& panel_name) {
  dialog->setWindowTitle(caption);
  dialog->setModal(true);

  ValueDialogParts parts;
  QWidget* holder = dialog;
  if (!panel_name.isEmpty()) {
    parts.panel = new QFrame(dialog);
    parts.panel->setObjectName(panel_name);
    parts.panel->setFrameShape(QFrame::StyledPanel);
    holder = parts.panel;
  }
  parts.label = new QLabel(label, holder);
  parts.label->setObjectName(QStringLiteral("Label1"));
  parts.edit = new QLineEdit(text, holder);
  parts.edit->setObjectName(QStringLiteral("Edit1"));
  parts.edit->setFixedWidth(80);
  parts.label->setBuddy(parts.edit);
  parts.ok = new QPushButton(QStringLiteral("OK"), dialog);
  parts.ok->setObjectName(QStringLiteral("Button1"));
  parts.ok->setDefault(true);
  parts.cancel = NewCancelButton(dialog);

  auto* row = parts.panel ? new QHBoxLayout(parts.panel) : new QHBoxLayout;
  row->addWidget(parts.label);
  row->addWidget(parts.edit);
  auto* column = new QVBoxLayout(dialog);
  if (parts.panel)
    column->addWidget(parts.panel);
  else
    column->addLayout(row);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(parts.ok);
  buttons->addWidget(parts.cancel);
  buttons->addStretch();
  column->addLayout(buttons);
  column->setSizeConstraint(QLayout::SetFixedSize);
  return parts;
}

QPushButton* NewCancelButton(QDialog* dialog) {
  auto* cancel = new QPushButton(QStringLiteral("キャンセル"), dialog);
  cancel->setObjectName(QStringLiteral("CancelButton"));
  cancel->setAutoDefault(false);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return cancel;
}

QDialogButtonBox* NewOkCancelButtons(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel,
                                     bool ok_checks) {
  auto* buttons = new QDialogButtonBox(dialog);
  ok = buttons->addButton(QStringLiteral("OK"),
                          ok_checks ? QDialogButtonBox::ActionRole : QDialogButtonBox::AcceptRole);
  cancel = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

KeptTexts::KeptTexts(std::vector<QLineEdit*> edits) : m_edits(std::move(edits)) {
  for (QLineEdit* e : m_edits) m_texts << e->text();
}

void KeptTexts::Done(int result) {
  for (std::size_t i = 0; i < m_edits.size(); ++i) {
    if (result == QDialog::Accepted)
      m_texts[static_cast<int>(i)] = m_edits[i]->text();
    else
      m_edits[i]->setText(m_texts[static_cast<int>(i)]);
  }
}
