// SPDX-License-Identifier: GPL-3.0-or-later
#include "stack/ui/TSpDraw.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/ui/TApplication.h"
#include "app/ui/TChild.h"
#include "app/ui/UpDownSpin.h"
#include "core/numbers.h"

namespace {

QLineEdit* NewEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(QStringLiteral("0"), parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setFixedWidth(64);
  return edit;
}

// The spin button beside an edit: only its arrows show.
UpDownSpin* NewUpDown(const char* name, QWidget* parent) {
  auto* spin = new UpDownSpin(parent);
  spin->setObjectName(QString::fromLatin1(name));
  spin->setRange(0, qirm::kSpectrumSpinMax);
  spin->setSingleStep(1);
  spin->setValue(0);
  spin->setFixedWidth(18);
  return spin;
}

}  // namespace

TSpDraw::TSpDraw(QWidget* parent) : QWidget(parent, Qt::Window), m_plot(qirm::kPlotWidth, qirm::kPlotHeight) {
  setObjectName(QStringLiteral("SpDraw"));
  setWindowTitle(QStringLiteral("スペクトル"));

  Panel1 = new QWidget(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Image1 = new ImageView(Panel1);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setFixedSize(qirm::kPlotWidth, qirm::kPlotHeight);
  Image1->setCursor(Qt::ArrowCursor);

  Edit1 = NewEdit("Edit1", Panel1);
  Edit2 = NewEdit("Edit2", Panel1);
  Edit3 = NewEdit("Edit3", Panel1);
  Edit4 = NewEdit("Edit4", Panel1);
  UpDown1 = NewUpDown("UpDown1", Panel1);
  UpDown2 = NewUpDown("UpDown2", Panel1);
  UpDown3 = NewUpDown("UpDown3", Panel1);
  UpDown4 = NewUpDown("UpDown4", Panel1);
  Label1 = new QLabel(QStringLiteral("< X <"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label2 = new QLabel(QStringLiteral("< Y <"), Panel1);
  Label2->setObjectName(QStringLiteral("Label2"));

  auto* ranges = new QGridLayout;
  ranges->setHorizontalSpacing(2);
  const auto addRow = [ranges](int row, QLineEdit* a, UpDownSpin* sa, QLabel* label, QLineEdit* b,
                               UpDownSpin* sb) {
    ranges->addWidget(a, row, 0);
    ranges->addWidget(sa, row, 1);
    ranges->addWidget(label, row, 2, Qt::AlignCenter);
    ranges->addWidget(b, row, 3);
    ranges->addWidget(sb, row, 4);
  };
  addRow(0, Edit1, UpDown1, Label1, Edit2, UpDown2);
  addRow(1, Edit3, UpDown3, Label2, Edit4, UpDown4);
  ranges->setColumnMinimumWidth(2, 60);
  ranges->setColumnStretch(5, 1);

  auto* panel = new QVBoxLayout(Panel1);
  panel->setContentsMargins(0, 0, 0, 4);
  panel->addWidget(Image1);
  panel->addLayout(ranges);
  auto* frame = new QVBoxLayout(this);
  frame->setContentsMargins(0, 0, 0, 0);
  frame->addWidget(Panel1);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  connect(UpDown1, &UpDownSpin::clicked, this, &TSpDraw::UpDown1Click);
  connect(UpDown2, &UpDownSpin::clicked, this, &TSpDraw::UpDown2Click);
  connect(UpDown3, &UpDownSpin::clicked, this, &TSpDraw::UpDown3Click);
  connect(UpDown4, &UpDownSpin::clicked, this, &TSpDraw::UpDown4Click);
  // textChanged fires also when the program sets the text, as the handlers
  // expect.
  connect(Edit1, &QLineEdit::textChanged, this, &TSpDraw::Edit1Change);
  connect(Edit2, &QLineEdit::textChanged, this, &TSpDraw::Edit2Change);
  connect(Edit3, &QLineEdit::textChanged, this, &TSpDraw::Edit3Change);
  connect(Edit4, &QLineEdit::textChanged, this, &TSpDraw::Edit4Change);

  RefreshPlot();
}

void TSpDraw::RefreshPlot() { Image1->SetPicture(m_plot); }

void TSpDraw::ShowRange(const qirm::SpectrumRange& range) {
  const QSignalBlocker b1(Edit1), b2(Edit2), b3(Edit3), b4(Edit4);
  const std::pair<QLineEdit*, UpDownSpin*> controls[] = {
      {Edit1, UpDown1}, {Edit2, UpDown2}, {Edit3, UpDown3}, {Edit4, UpDown4}};
  const int values[] = {range.x_begin, range.x_end, range.y_begin, range.y_end};
  for (int i = 0; i < 4; ++i) {
    controls[i].first->setText(QString::fromStdString(qirm::FormatInt(values[i])));
    controls[i].second->setValue(qirm::SpectrumSpinPosition(values[i]));
  }
}

void TSpDraw::SpinClick(const UpDownSpin* spin, QLineEdit* edit) {
  edit->setText(QString::number(spin->value()));
}

void TSpDraw::EditChange(const QLineEdit* edit, UpDownSpin* spin) {
  int position = 0;
  const qirm::Status s = qirm::SpinPositionFromEdit(edit->text().toStdString(), position);
  if (!s) {
    TApplication::ShowException(QString::fromStdString(s.message()));
    return;
  }
  spin->setValue(position);
}

void TSpDraw::UpDown1Click() { SpinClick(UpDown1, Edit1); }
void TSpDraw::UpDown2Click() { SpinClick(UpDown2, Edit2); }
void TSpDraw::UpDown3Click() { SpinClick(UpDown3, Edit3); }
void TSpDraw::UpDown4Click() { SpinClick(UpDown4, Edit4); }
void TSpDraw::Edit1Change() { EditChange(Edit1, UpDown1); }
void TSpDraw::Edit2Change() { EditChange(Edit2, UpDown2); }
void TSpDraw::Edit3Change() { EditChange(Edit3, UpDown3); }
void TSpDraw::Edit4Change() { EditChange(Edit4, UpDown4); }
