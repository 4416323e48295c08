#include "display/ui/TSabachie.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/RefusalBox.h"

TSabachie::TSabachie(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Sabachie"));
  setWindowTitle(QStringLiteral("Sabachie"));
  setModal(true);

  Panel = new QFrame(this);
  Panel->setObjectName(QStringLiteral("Sabachie"));
  Panel->setFrameShape(QFrame::StyledPanel);
  Label1 = new QLabel(QStringLiteral("ステップ幅"), Panel);
  Label1->setObjectName(QStringLiteral("Label1"));
  Edit1 = new QLineEdit(QString::fromStdString(qirm::SabattierParams{}.step), Panel);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setFixedWidth(80);
  Label1->setBuddy(Edit1);
  auto* row = new QHBoxLayout(Panel);
  row->addWidget(Label1);
  row->addWidget(Edit1);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);

  auto* column = new QVBoxLayout(this);
  column->addWidget(Panel);
  column->addWidget(Button1, 0, Qt::AlignHCenter);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

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
