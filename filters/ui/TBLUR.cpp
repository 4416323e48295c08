#include "filters/ui/TBLUR.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/RefusalBox.h"
#include "filters/filter_commands.h"

TBLUR::TBLUR(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("BLUR"));
  setWindowTitle(QStringLiteral("BLUR"));
  setModal(true);

  Label1 = new QLabel(QStringLiteral("ボケ量"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Edit1 = new QLineEdit(QStringLiteral("1.0"), this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setFixedWidth(80);
  Label1->setBuddy(Edit1);
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);

  auto* row = new QHBoxLayout;
  row->addWidget(Label1);
  row->addWidget(Edit1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(row);
  column->addWidget(Button1, 0, Qt::AlignHCenter);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

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
