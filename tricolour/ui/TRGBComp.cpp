#include "tricolour/ui/TRGBComp.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QLineEdit* NewEdit(const char* name, const QString& text, QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setFixedWidth(60);
  return edit;
}

QRadioButton* NewRadio(const char* name, const QString& caption, QWidget* parent) {
  auto* radio = new QRadioButton(caption, parent);
  radio->setObjectName(QString::fromLatin1(name));
  return radio;
}

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }
void SetText(QLineEdit* edit, const std::string& text) { edit->setText(QString::fromStdString(text)); }

}  // namespace

TRGBComp::TRGBComp(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("RGBComp"));
  setWindowTitle(QStringLiteral("RGB"));
  // Modeless and above the main window, so that stars can be clicked in the
  // image windows while it is open.
  setModal(false);
  setWindowFlag(Qt::WindowStaysOnTopHint, true);

  auto* stars = new QGroupBox(QStringLiteral("基準星"), this);
  RadioButton3 = NewRadio("RadioButton3", QStringLiteral("なし"), stars);
  RadioButton1 = NewRadio("RadioButton1", QStringLiteral("１星"), stars);
  RadioButton2 = NewRadio("RadioButton2", QStringLiteral("２星"), stars);
  RadioButton3->setChecked(true);
  Edit6 = NewEdit("Edit6", QStringLiteral("0"), stars);
  Edit9 = NewEdit("Edit9", QStringLiteral("0"), stars);
  Edit7 = NewEdit("Edit7", QStringLiteral("0"), stars);
  Edit10 = NewEdit("Edit10", QStringLiteral("0"), stars);
  Edit19 = NewEdit("Edit19", QStringLiteral("1"), stars);
  Edit19->hide();
  auto* starGrid = new QGridLayout(stars);
  starGrid->addWidget(RadioButton3, 0, 0);
  starGrid->addWidget(RadioButton1, 0, 1);
  starGrid->addWidget(RadioButton2, 0, 2);
  starGrid->addWidget(new QLabel(QStringLiteral("X ="), stars), 1, 0);
  starGrid->addWidget(Edit6, 1, 1);
  starGrid->addWidget(new QLabel(QStringLiteral("Y ="), stars), 1, 2);
  starGrid->addWidget(Edit9, 1, 3);
  starGrid->addWidget(new QLabel(QStringLiteral("X ="), stars), 2, 0);
  starGrid->addWidget(Edit7, 2, 1);
  starGrid->addWidget(new QLabel(QStringLiteral("Y ="), stars), 2, 2);
  starGrid->addWidget(Edit10, 2, 3);

  auto* background = new QGroupBox(QStringLiteral("バックグラウンド"), this);
  Edit12 = NewEdit("Edit12", QStringLiteral("0"), background);
  Edit13 = NewEdit("Edit13", QStringLiteral("0"), background);
  auto* backgroundGrid = new QGridLayout(background);
  backgroundGrid->addWidget(new QLabel(QStringLiteral("X ="), background), 0, 0);
  backgroundGrid->addWidget(Edit12, 0, 1);
  backgroundGrid->addWidget(new QLabel(QStringLiteral("Y ="), background), 0, 2);
  backgroundGrid->addWidget(Edit13, 0, 3);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(stars);
  layout->addWidget(background);

  SetStarPickTarget(this);
}

TRGBComp::~TRGBComp() {
  if (CurrentStarPickTarget() == this) SetStarPickTarget(nullptr);
}

qirm::StarPick TRGBComp::ReadStarPick() const {
  qirm::StarPick pick;
  pick.mode = RadioButton1->isChecked()   ? qirm::StarPick::Mode::OneStar
              : RadioButton2->isChecked() ? qirm::StarPick::Mode::TwoStars
                                          : qirm::StarPick::Mode::None;
  pick.Edit6 = Text(Edit6);
  pick.Edit9 = Text(Edit9);
  pick.Edit7 = Text(Edit7);
  pick.Edit10 = Text(Edit10);
  pick.Edit19 = Text(Edit19);
  pick.Edit12 = Text(Edit12);
  pick.Edit13 = Text(Edit13);
  return pick;
}

void TRGBComp::WriteStarPick(const qirm::StarPick& pick) {
  SetText(Edit6, pick.Edit6);
  SetText(Edit9, pick.Edit9);
  SetText(Edit7, pick.Edit7);
  SetText(Edit10, pick.Edit10);
  SetText(Edit19, pick.Edit19);
  SetText(Edit12, pick.Edit12);
  SetText(Edit13, pick.Edit13);
}
