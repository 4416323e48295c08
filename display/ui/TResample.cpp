// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/ui/TResample.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "app/ui/ValueDialog.h"

TResample::TResample(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Resample"));
  setWindowTitle(QStringLiteral("リサンプリング"));
  auto* grid = new QGridLayout;
  FactorRadio = new QRadioButton(QStringLiteral("倍率"), this);
  FactorRadio->setChecked(true);
  FactorSpin = new QDoubleSpinBox(this);
  FactorSpin->setObjectName(QStringLiteral("FactorSpin"));
  FactorSpin->setDecimals(3);
  FactorSpin->setRange(0.001, 64.0);
  FactorSpin->setSingleStep(0.25);
  FactorSpin->setValue(0.5);
  SizeRadio = new QRadioButton(QStringLiteral("大きさ"), this);
  WidthSpin = new QSpinBox(this);
  WidthSpin->setObjectName(QStringLiteral("WidthSpin"));
  WidthSpin->setRange(1, qirm::kMaxResampleSide);
  HeightSpin = new QSpinBox(this);
  HeightSpin->setObjectName(QStringLiteral("HeightSpin"));
  HeightSpin->setRange(1, qirm::kMaxResampleSide);
  AspectCheck = new QCheckBox(QStringLiteral("縦横比を保つ"), this);
  AspectCheck->setChecked(true);
  grid->addWidget(FactorRadio, 0, 0);
  grid->addWidget(FactorSpin, 0, 1, 1, 3);
  grid->addWidget(SizeRadio, 1, 0);
  grid->addWidget(WidthSpin, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("×"), this), 1, 2);
  grid->addWidget(HeightSpin, 1, 3);
  grid->addWidget(AspectCheck, 2, 1, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("方式"), this), 3, 0);
  MethodBox = new QComboBox(this);
  MethodBox->setObjectName(QStringLiteral("MethodBox"));
  MethodBox->addItems({QStringLiteral("最近傍"), QStringLiteral("双線形"), QStringLiteral("双三次"),
                       QStringLiteral("Lanczos-3"), QStringLiteral("面積平均")});
  MethodBox->setCurrentIndex(3);
  grid->addWidget(MethodBox, 3, 1, 1, 3);
  FluxCheck = new QCheckBox(QStringLiteral("総量を保つ (フラックス保存)"), this);
  grid->addWidget(FluxCheck, 4, 1, 1, 3);
  NewWindowRadio = new QRadioButton(QStringLiteral("新しいウィンドウに出す"), this);
  ReplaceRadio = new QRadioButton(QStringLiteral("この画像を置き換える"), this);
  auto* target = new QButtonGroup(this);
  target->addButton(NewWindowRadio);
  target->addButton(ReplaceRadio);
  NewWindowRadio->setChecked(true);
  grid->addWidget(NewWindowRadio, 5, 1, 1, 3);
  grid->addWidget(ReplaceRadio, 6, 1, 1, 3);
  SizeLabel = new QLabel(this);
  SizeLabel->setObjectName(QStringLiteral("SizeLabel"));

  QDialogButtonBox* buttons = NewOkCancelButtons(this, OkButton, CancelButton, /*ok_checks=*/true);
  connect(OkButton, &QPushButton::clicked, this, &TResample::OkButtonClick);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(SizeLabel);
  layout->addWidget(buttons);

  connect(FactorSpin, &QDoubleSpinBox::valueChanged, this, [this] {
    FactorRadio->setChecked(true);
    UpdateSize();
  });
  connect(WidthSpin, &QSpinBox::valueChanged, this, &TResample::WidthChanged);
  connect(HeightSpin, &QSpinBox::valueChanged, this, &TResample::HeightChanged);
  connect(FactorRadio, &QRadioButton::toggled, this, &TResample::UpdateSize);
  connect(AspectCheck, &QCheckBox::toggled, this, [this] {
    if (SizeRadio->isChecked()) WidthChanged();
  });
  SetSourceSize(1, 1);
}

void TResample::SetSourceSize(int width, int height) {
  m_width = std::max(1, width);
  m_height = std::max(1, height);
  UpdateSize();
}

void TResample::WidthChanged() {
  if (m_updating) return;
  m_updating = true;
  SizeRadio->setChecked(true);
  if (AspectCheck->isChecked())
    HeightSpin->setValue(
        std::max(1, static_cast<int>(std::lround(WidthSpin->value() * double(m_height) / m_width))));
  m_updating = false;
  UpdateSize();
}

void TResample::HeightChanged() {
  if (m_updating) return;
  m_updating = true;
  SizeRadio->setChecked(true);
  if (AspectCheck->isChecked())
    WidthSpin->setValue(
        std::max(1, static_cast<int>(std::lround(HeightSpin->value() * double(m_width) / m_height))));
  m_updating = false;
  UpdateSize();
}

void TResample::UpdateSize() {
  if (m_updating) return;
  const qirm::ResampleParams p = Params();
  if (FactorRadio->isChecked()) {
    // The size spins show what the factor gives, ready for fine tuning.
    m_updating = true;
    if (p.width > 0) WidthSpin->setValue(p.width);
    if (p.height > 0) HeightSpin->setValue(p.height);
    m_updating = false;
  }
  SizeLabel->setText(
      p.width > 0 ? QStringLiteral("%1 × %2 → %3 × %4").arg(m_width).arg(m_height).arg(p.width).arg(p.height)
                  : QStringLiteral("%1 × %2 → (大きすぎます)").arg(m_width).arg(m_height));
}

qirm::ResampleParams TResample::Params() const {
  qirm::ResampleParams p;
  p.method = static_cast<qirm::ResampleMethod>(MethodBox->currentIndex());
  p.keep_flux = FluxCheck->isChecked();
  if (FactorRadio->isChecked()) {
    if (!qirm::ScaledSide(m_width, FactorSpin->value(), p.width) ||
        !qirm::ScaledSide(m_height, FactorSpin->value(), p.height))
      p.width = p.height = 0;
  } else {
    p.width = WidthSpin->value();
    p.height = HeightSpin->value();
  }
  return p;
}

bool TResample::NewWindow() const { return NewWindowRadio->isChecked(); }

void TResample::OkButtonClick() {
  if (Params().width < 1) {
    const std::string refusal = FactorRadio->isChecked() ? qirm::ResampleFactorRefusal(m_width, m_height)
                                                         : std::string(qirm::kResampleSizeRefused);
    QMessageBox::warning(this, windowTitle(), QString::fromStdString(refusal));
    return;
  }
  accept();
}
