#include "display/ui/TGMM.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/RefusalBox.h"

TGMM::TGMM(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("GMM"));
  setWindowTitle(QStringLiteral("GMM"));
  setModal(true);

  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameShape(QFrame::StyledPanel);
  Label1 = new QLabel(QStringLiteral("γ="), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Edit1 = new QLineEdit(QString::fromStdString(qirm::GammaParams{}.gamma), Panel1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setFixedWidth(80);
  Label1->setBuddy(Edit1);
  auto* row = new QHBoxLayout(Panel1);
  row->addWidget(Label1);
  row->addWidget(Edit1);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setDefault(true);

  auto* column = new QVBoxLayout(this);
  column->addWidget(Panel1);
  column->addWidget(Button1, 0, Qt::AlignHCenter);
  setSizeGripEnabled(false);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

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
