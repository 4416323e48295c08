// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TTilt.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/ui/PreviewImage.h"
#include "app/ui/ValueDialog.h"
#include "display/levels.h"
#include "display/raw_values.h"

namespace {

QLabel* NewView(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFixedSize(320, 240);
  label->setAlignment(Qt::AlignCenter);
  label->setFrameShape(QFrame::StyledPanel);
  return label;
}

}  // namespace

TTilt::TTilt(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Tilt"));
  setWindowTitle(QStringLiteral("背景傾斜"));
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("モデル"), this), 0, 0);
  ModelBox = new QComboBox(this);
  ModelBox->setObjectName(QStringLiteral("ModelBox"));
  ModelBox->addItems({QStringLiteral("平面"), QStringLiteral("2次多項式"), QStringLiteral("3次多項式")});
  grid->addWidget(ModelBox, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("箱の大きさ (ピクセル)"), this), 1, 0);
  BoxSpin = new QSpinBox(this);
  BoxSpin->setObjectName(QStringLiteral("BoxSpin"));
  BoxSpin->setRange(qirm::kMinBackgroundBox, qirm::kMaxBackgroundBox);
  BoxSpin->setValue(qirm::kDefaultBackgroundBox);
  grid->addWidget(BoxSpin, 1, 1);

  auto* views = new QGridLayout;
  views->addWidget(new QLabel(QStringLiteral("背景のモデル"), this), 0, 0);
  views->addWidget(new QLabel(QStringLiteral("結果"), this), 0, 1);
  ModelView = NewView(this, "ModelView");
  ResultView = NewView(this, "ResultView");
  views->addWidget(ModelView, 1, 0);
  views->addWidget(ResultView, 1, 1);
  InfoLabel = new QLabel(this);
  InfoLabel->setObjectName(QStringLiteral("InfoLabel"));

  QDialogButtonBox* buttons = NewOkCancelButtons(this, OkButton, CancelButton);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(views);
  layout->addWidget(InfoLabel);
  layout->addWidget(buttons);

  // Previews follow the values after a short pause, not at every keystroke.
  m_timer = new QTimer(this);
  m_timer->setSingleShot(true);
  m_timer->setInterval(150);
  connect(m_timer, &QTimer::timeout, this, &TTilt::Preview);
  connect(ModelBox, &QComboBox::currentIndexChanged, m_timer, qOverload<>(&QTimer::start));
  connect(BoxSpin, &QSpinBox::valueChanged, m_timer, qOverload<>(&QTimer::start));
}

void TTilt::SetDocument(const qirm::ImageDocument* doc) { m_doc = doc; }

qirm::BackgroundParams TTilt::Params() const { return {ModelBox->currentIndex() + 1, BoxSpin->value()}; }

void TTilt::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Preview();
}

void TTilt::Preview() {
  m_timer->stop();
  if (!m_doc) {
    ModelView->clear();
    ResultView->clear();
    InfoLabel->clear();
    return;
  }
  qirm::ImageDocument model = *m_doc;
  qirm::ImageDocument result = *m_doc;
  std::vector<qirm::BackgroundFit> fits;
  const qirm::Status s = qirm::BackgroundCommand(result, Params(), &fits);
  if (!s) {
    ModelView->clear();
    ResultView->clear();
    InfoLabel->setStyleSheet(QStringLiteral("color: #c00000"));
    InfoLabel->setText(QString::fromStdString(s.message()));
    OkButton->setEnabled(false);
    return;
  }
  qirm::BackgroundCommand(model, Params(), nullptr, true);
  // The model spans a small part of the window's levels: it is shown from
  // its own lowest to its highest value, so its shape can be seen.
  const qirm::RawPlane::Values& values = model.raw.values;
  if (model.kind == qirm::WindowKind::kRaw16 && !values.empty()) {
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    ShowPreview(ModelView, qirm::RenderLevels(model.raw, std::max<int>(*hi, *lo + 1), *lo));
  } else {
    ShowPreview(ModelView, model.Image);
  }
  ShowPreview(ResultView, result.Image);
  int used = 0, total = 0;
  double sigma = 0;
  // 16-bit windows show physical values, as the level edits do.
  const double bscale = m_doc->kind == qirm::WindowKind::kRaw16 ? m_doc->scaling.bscale : 1.0;
  const double mean = m_doc->kind == qirm::WindowKind::kRaw16
                          ? m_doc->scaling.Physical(fits.front().mean_level)
                          : fits.front().mean_level;
  for (const qirm::BackgroundFit& f : fits) {
    used += f.boxes_used;
    total += static_cast<int>(f.boxes.size());
    sigma = std::max(sigma, f.residual_sigma);
  }
  InfoLabel->setStyleSheet(QString());
  InfoLabel->setText(QStringLiteral("使った箱: %1 / %2   残差のばらつき: %3   空の平均: %4")
                         .arg(used)
                         .arg(total)
                         .arg(sigma * std::fabs(bscale), 0, 'f', 2)
                         .arg(mean, 0, 'f', 1));
  OkButton->setEnabled(true);
}
