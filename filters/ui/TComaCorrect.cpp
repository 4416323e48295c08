// SPDX-License-Identifier: GPL-3.0-or-later
#include "filters/ui/TComaCorrect.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TComaCorrect::TComaCorrect(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ComaCorrect"));
  setWindowTitle(QStringLiteral("コマコレクト処理"));
  setModal(true);

  const auto label = [this](const char* name, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(QString::fromLatin1(name));
    return l;
  };
  const auto edit = [this](const char* name) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    e->setFixedWidth(80);
    return e;
  };
  Label1 = label("Label1", QStringLiteral("光軸座標"));
  Label2 = label("Label2", QStringLiteral("X = "));
  Edit1 = edit("Edit1");
  Label3 = label("Label3", QStringLiteral("Y = "));
  Edit2 = edit("Edit2");
  Label4 = label("Label4", QStringLiteral("コマ量"));
  Edit3 = edit("Edit3");
  Label2->setBuddy(Edit1);
  Label3->setBuddy(Edit2);
  Label4->setBuddy(Edit3);
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);
  CancelButton = NewCancelButton(this);
  m_kept = KeptTexts({Edit1, Edit2, Edit3});

  auto* grid = new QGridLayout;
  grid->addWidget(Label1, 0, 0, 1, 2);
  grid->addWidget(Label2, 1, 0);
  grid->addWidget(Edit1, 1, 1);
  grid->addWidget(Label3, 2, 0);
  grid->addWidget(Edit2, 2, 1);
  grid->addWidget(Label4, 3, 0);
  grid->addWidget(Edit3, 3, 1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(grid);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(CancelButton);
  buttons->addStretch();
  column->addLayout(buttons);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  connect(Button1, &QPushButton::clicked, this, &TComaCorrect::Button1Click);
}

void TComaCorrect::Button1Click() { accept(); }

void TComaCorrect::done(int result) {
  m_kept.Done(result);
  QDialog::done(result);
}
