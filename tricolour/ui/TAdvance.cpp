// SPDX-License-Identifier: GPL-3.0-or-later
#include "tricolour/ui/TAdvance.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/ui/TApplication.h"

namespace {

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLineEdit* NewEdit(const char* name, const QString& text, QWidget* parent) {
  auto* edit = Named(new QLineEdit(text, parent), name);
  edit->setFixedWidth(60);
  return edit;
}

std::string Text(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

TAdvance::TAdvance(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Advance"));
  setWindowTitle(QStringLiteral("RGB合成の詳細設定"));
  setModal(false);
  setWindowFlag(Qt::WindowStaysOnTopHint, true);

  GroupBox1 = Named(new QGroupBox(QStringLiteral("高度な設定"), this), "GroupBox1");

  auto* blooming = Named(new QGroupBox(QStringLiteral("ブルーミング除去"), GroupBox1), "GroupBox2");
  CheckBox7 = Named(new QCheckBox(QStringLiteral("有効にする"), blooming), "CheckBox7");
  Edit1 = NewEdit("Edit1", QStringLiteral("60000"), blooming);
  Edit2 = NewEdit("Edit2", QStringLiteral("2"), blooming);
  Edit3 = NewEdit("Edit3", QStringLiteral("5"), blooming);
  auto* bloomingGrid = new QGridLayout(blooming);
  bloomingGrid->addWidget(CheckBox7, 0, 0, 1, 2);
  bloomingGrid->addWidget(new QLabel(QStringLiteral("閾値"), blooming), 1, 0);
  bloomingGrid->addWidget(Edit1, 1, 1);
  bloomingGrid->addWidget(new QLabel(QStringLiteral("太さ"), blooming), 2, 0);
  bloomingGrid->addWidget(Edit2, 2, 1);
  bloomingGrid->addWidget(new QLabel(QStringLiteral("長さ"), blooming), 3, 0);
  bloomingGrid->addWidget(Edit3, 3, 1);

  auto* turn = Named(new QGroupBox(QStringLiteral("180度回転画像"), GroupBox1), "GroupBox3");
  CheckBox1 = Named(new QCheckBox(QStringLiteral("赤チャネル"), turn), "CheckBox1");
  CheckBox2 = Named(new QCheckBox(QStringLiteral("緑チャネル"), turn), "CheckBox2");
  CheckBox3 = Named(new QCheckBox(QStringLiteral("青チャネル"), turn), "CheckBox3");
  auto* turnBox = new QVBoxLayout(turn);
  for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3}) turnBox->addWidget(box);

  auto* flatten = Named(new QGroupBox(QStringLiteral("自動背景補正"), GroupBox1), "GroupBox4");
  CheckBox4 = Named(new QCheckBox(QStringLiteral("赤チャネル"), flatten), "CheckBox4");
  CheckBox5 = Named(new QCheckBox(QStringLiteral("緑チャネル"), flatten), "CheckBox5");
  CheckBox6 = Named(new QCheckBox(QStringLiteral("青チャネル"), flatten), "CheckBox6");
  Edit7 = NewEdit("Edit7", QString(), flatten);
  Edit8 = NewEdit("Edit8", QString(), flatten);
  Edit9 = NewEdit("Edit9", QString(), flatten);
  auto* flattenGrid = new QGridLayout(flatten);
  flattenGrid->addWidget(CheckBox4, 0, 0);
  flattenGrid->addWidget(Edit7, 0, 1);
  flattenGrid->addWidget(CheckBox5, 1, 0);
  flattenGrid->addWidget(Edit8, 1, 1);
  flattenGrid->addWidget(CheckBox6, 2, 0);
  flattenGrid->addWidget(Edit9, 2, 1);

  auto* tone = Named(new QGroupBox(QStringLiteral("トーンカーブ"), GroupBox1), "GroupBox5");
  RadioButton1 = Named(new QRadioButton(QStringLiteral("リニア"), tone), "RadioButton1");
  RadioButton2 = Named(new QRadioButton(QStringLiteral("LOG"), tone), "RadioButton2");
  RadioButton3 = Named(new QRadioButton(QStringLiteral("γ"), tone), "RadioButton3");
  RadioButton4 = Named(new QRadioButton(QStringLiteral("ATAN"), tone), "RadioButton4");
  RadioButton4->setChecked(true);
  Edit4 = NewEdit("Edit4", QStringLiteral("1000"), tone);
  Edit5 = NewEdit("Edit5", QStringLiteral("1.0"), tone);
  Edit6 = NewEdit("Edit6", QStringLiteral("200"), tone);
  auto* toneGrid = new QGridLayout(tone);
  toneGrid->addWidget(RadioButton1, 0, 0);
  toneGrid->addWidget(RadioButton2, 1, 0);
  toneGrid->addWidget(Edit4, 1, 1);
  toneGrid->addWidget(RadioButton3, 2, 0);
  toneGrid->addWidget(Edit5, 2, 1);
  toneGrid->addWidget(RadioButton4, 3, 0);
  toneGrid->addWidget(Edit6, 3, 1);

  auto* groups = new QGridLayout(GroupBox1);
  groups->addWidget(blooming, 0, 0);
  groups->addWidget(turn, 0, 1);
  groups->addWidget(flatten, 1, 0);
  groups->addWidget(tone, 1, 1);

  Button1 = Named(new QPushButton(QStringLiteral("閉じる"), this), "Button1");
  connect(Button1, &QPushButton::clicked, this, &TAdvance::Button1Click);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GroupBox1);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

qirm::AdvancedTexts TAdvance::Texts() const {
  qirm::AdvancedTexts t;
  t.CheckBox7 = CheckBox7->isChecked();
  t.Edit1 = Text(Edit1);
  t.Edit2 = Text(Edit2);
  t.Edit3 = Text(Edit3);
  t.CheckBox1 = CheckBox1->isChecked();
  t.CheckBox2 = CheckBox2->isChecked();
  t.CheckBox3 = CheckBox3->isChecked();
  t.CheckBox4 = CheckBox4->isChecked();
  t.CheckBox5 = CheckBox5->isChecked();
  t.CheckBox6 = CheckBox6->isChecked();
  t.Tone = RadioButton1->isChecked()   ? qirm::ToneKind::kLinear
           : RadioButton2->isChecked() ? qirm::ToneKind::kLog
           : RadioButton3->isChecked() ? qirm::ToneKind::kGamma
                                       : qirm::ToneKind::kAtan;
  t.Edit4 = Text(Edit4);
  t.Edit5 = Text(Edit5);
  t.Edit6 = Text(Edit6);
  return t;
}

bool TAdvance::Capture() {
  if (qirm::Status s = qirm::CaptureAdvancedFlags(Texts(), m_captured); !s) {
    TApplication::ShowException(QString::fromStdString(s.message()));
    return false;
  }
  return true;
}

void TAdvance::Load(const qirm::AdvancedFlags& flags) {
  // A settings file holds no tone curve: the curve stays as it is.
  const qirm::AdvancedFlags before = m_captured;
  m_captured = flags;
  m_captured.Tone = before.Tone;
  m_captured.ToneLogParameter = before.ToneLogParameter;
  m_captured.ToneGammaParameter = before.ToneGammaParameter;
  m_captured.ToneAtanParameter = before.ToneAtanParameter;
  const qirm::AdvancedTexts t = qirm::AdvancedTextsOf(flags);
  CheckBox7->setChecked(t.CheckBox7);
  Edit1->setText(QString::fromStdString(t.Edit1));
  Edit2->setText(QString::fromStdString(t.Edit2));
  Edit3->setText(QString::fromStdString(t.Edit3));
  CheckBox1->setChecked(t.CheckBox1);
  CheckBox2->setChecked(t.CheckBox2);
  CheckBox3->setChecked(t.CheckBox3);
  CheckBox4->setChecked(t.CheckBox4);
  CheckBox5->setChecked(t.CheckBox5);
  CheckBox6->setChecked(t.CheckBox6);
}

void TAdvance::Button1Click() {
  if (!Capture()) return;
  close();
}
