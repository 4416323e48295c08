// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/ui/TGMCPanel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/TApplication.h"
#include "filters/filter_commands.h"

TGMCPanel::TGMCPanel(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("GMCPanel"));
  setWindowTitle(QStringLiteral("ガイドミスキャンセラ"));
  setModal(true);

  const qirm::GmcTexts defaults;
  GroupBox1 = new QGroupBox(QStringLiteral("GMC"), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox2 = new QGroupBox(QStringLiteral("Blur"), this);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  const auto label = [](QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
  };
  const auto edit = [](QWidget* parent, const char* name, const std::string& text) {
    auto* e = new QLineEdit(QString::fromStdString(text), parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setFixedWidth(70);
    return e;
  };
  Label1 = label(GroupBox1, "Label1", QStringLiteral("流れ量"));
  Edit2 = edit(GroupBox1, "Edit2", defaults.flow);
  Label2 = label(GroupBox1, "Label2", QStringLiteral("ピクセル"));
  Label3 = label(GroupBox1, "Label3", QStringLiteral("向き"));
  Edit1 = edit(GroupBox1, "Edit1", defaults.direction);
  Label4 = label(GroupBox1, "Label4", QStringLiteral("度"));
  Label5 = label(GroupBox2, "Label5", QStringLiteral("ぼけ量"));
  Edit3 = edit(GroupBox2, "Edit3", defaults.blur);
  Label6 = label(GroupBox2, "Label6", QStringLiteral("ピクセル"));
  Label7 = label(GroupBox2, "Label7", QStringLiteral("閾値"));
  Edit4 = edit(GroupBox2, "Edit4", defaults.threshold);
  Label1->setBuddy(Edit2);
  Label3->setBuddy(Edit1);
  Label5->setBuddy(Edit3);
  Label7->setBuddy(Edit4);

  auto* gmc = new QGridLayout(GroupBox1);
  gmc->addWidget(Label1, 0, 0);
  gmc->addWidget(Edit2, 0, 1);
  gmc->addWidget(Label2, 0, 2);
  gmc->addWidget(Label3, 1, 0);
  gmc->addWidget(Edit1, 1, 1);
  gmc->addWidget(Label4, 1, 2);
  auto* blur = new QGridLayout(GroupBox2);
  blur->addWidget(Label5, 0, 0);
  blur->addWidget(Edit3, 0, 1);
  blur->addWidget(Label6, 0, 2);
  blur->addWidget(Label7, 1, 0);
  blur->addWidget(Edit4, 1, 1);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  CancelButton = NewCancelButton(this);
  m_kept = KeptTexts({Edit1, Edit2, Edit3, Edit4});
  auto* column = new QVBoxLayout(this);
  column->addWidget(GroupBox1);
  column->addWidget(GroupBox2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(CancelButton);
  buttons->addStretch();
  column->addLayout(buttons);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  connect(Button1, &QPushButton::clicked, this, &TGMCPanel::Button1Click);
}

void TGMCPanel::Button1Click() {
  qirm::GmcTexts texts{Edit1->text().toStdString(), Edit2->text().toStdString(), Edit3->text().toStdString(),
                       Edit4->text().toStdString()};
  qirm::FilterSettings settings;
  settings.gmc = m_settings;
  settings.blur_amount = m_blur_amount;
  settings.gmc_accepted = m_accepted;
  const qirm::Status status = qirm::AcceptGmcTexts(texts, settings);
  // What was read before a bad text stays taken, as do the corrected texts.
  m_settings = settings.gmc;
  m_accepted = settings.gmc_accepted;
  m_blur_amount = settings.blur_amount;
  Edit2->setText(QString::fromStdString(texts.flow));
  Edit3->setText(QString::fromStdString(texts.blur));
  if (!status) {
    TApplication::ShowException(QString::fromStdString(status.message()));
    return;
  }
  accept();
}

void TGMCPanel::done(int result) {
  m_kept.Done(result);
  QDialog::done(result);
}
