// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/ui/TStarPhotometry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "core/numbers.h"
#include "photometry/ui/PhotometryMessages.h"
#include "photometry/ui/TPhotometryTable.h"

namespace {

QLineEdit* NumberEdit(double value, const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(QString::fromStdString(qirm::FormatGeneral(value)), parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setFixedWidth(80);
  return edit;
}

}  // namespace

TStarPhotometry::TStarPhotometry(TMainForm* form) : ImageToolDialog(form), m_form(form) {
  setObjectName(QStringLiteral("StarPhotometry"));
  setWindowTitle(QStringLiteral("測光（恒星）"));
  setModal(false);
  const qirm::StarPhotometryParams defaults;
  ApertureEdit = NumberEdit(defaults.aperture, "ApertureEdit", this);
  InnerEdit = NumberEdit(defaults.annulus_inner, "InnerEdit", this);
  OuterEdit = NumberEdit(defaults.annulus_outer, "OuterEdit", this);
  SearchEdit = NumberEdit(defaults.search, "SearchEdit", this);
  ZeroPointEdit = NumberEdit(defaults.zero_point, "ZeroPointEdit", this);
  GainEdit = NumberEdit(defaults.gain, "GainEdit", this);
  ReadNoiseEdit = NumberEdit(defaults.read_noise, "ReadNoiseEdit", this);
  GainEdit->setToolTip(QStringLiteral("ヘッダーに GAIN / EGAIN がなければ使う値（電子/カウント）"));
  ReadNoiseEdit->setToolTip(QStringLiteral("ヘッダーに RDNOISE がなければ使う値（電子）"));
  ChannelBox = NewChannelBox(this);
  XEdit = new QLineEdit(this);
  XEdit->setObjectName(QStringLiteral("XEdit"));
  XEdit->setFixedWidth(80);
  YEdit = new QLineEdit(this);
  YEdit->setObjectName(QStringLiteral("YEdit"));
  YEdit->setFixedWidth(80);
  ClickCheck = new QCheckBox(QStringLiteral("画像をクリックして測定"), this);
  ClickCheck->setObjectName(QStringLiteral("ClickCheck"));
  ClickCheck->setChecked(true);
  MeasureButton = new QPushButton(QStringLiteral("測定"), this);
  MeasureButton->setObjectName(QStringLiteral("MeasureButton"));
  MeasureButton->setToolTip(QStringLiteral("アクティブなウィンドウの X, Y の近くの星を測る"));
  NoiseLabel = new QLabel(this);
  NoiseLabel->setObjectName(QStringLiteral("NoiseLabel"));
  NoiseLabel->setWordWrap(true);
  auto* results = new QPushButton(QStringLiteral("結果表"), this);
  auto* close = new QPushButton(QStringLiteral("閉じる"), this);

  auto* radii = new QHBoxLayout;
  radii->addWidget(InnerEdit);
  radii->addWidget(new QLabel(QStringLiteral("〜"), this));
  radii->addWidget(OuterEdit);
  radii->addStretch(1);
  auto* position = new QHBoxLayout;
  position->addWidget(XEdit);
  position->addWidget(new QLabel(QStringLiteral("Y"), this));
  position->addWidget(YEdit);
  position->addWidget(MeasureButton);
  position->addStretch(1);
  auto* form_layout = new QFormLayout;
  form_layout->addRow(QStringLiteral("開口半径 (ピクセル)"), ApertureEdit);
  form_layout->addRow(QStringLiteral("背景の円環 内径〜外径"), radii);
  form_layout->addRow(QStringLiteral("星を探す半径"), SearchEdit);
  form_layout->addRow(QStringLiteral("等級の原点"), ZeroPointEdit);
  form_layout->addRow(QStringLiteral("ゲイン"), GainEdit);
  form_layout->addRow(QStringLiteral("読み出しノイズ"), ReadNoiseEdit);
  form_layout->addRow(QStringLiteral("カラー画像のチャンネル"), ChannelBox);
  form_layout->addRow(QStringLiteral("X"), position);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ClickCheck, 1);
  buttons->addWidget(results);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form_layout);
  layout->addWidget(NoiseLabel);
  layout->addLayout(buttons);

  Results = new TPhotometryTable(form);
  // The user goes on clicking stars: the table must not take the focus.
  Results->setAttribute(Qt::WA_ShowWithoutActivating);
  connect(Results, &TPhotometryTable::Cleared, this, [this] {
    for (TChild* child : m_form->Children()) child->ClearMarks(kMarkGroup);
  });
  connect(MeasureButton, &QPushButton::clicked, this, &TStarPhotometry::MeasureClick);
  connect(results, &QPushButton::clicked, this, [this] {
    Results->show();
    Results->raise();
  });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
}

bool TStarPhotometry::Params(qirm::StarPhotometryParams& p, QString& error) const {
  if (!ReadNumber(ApertureEdit, QStringLiteral("開口半径"), p.aperture, error) ||
      !ReadNumber(InnerEdit, QStringLiteral("背景の内径"), p.annulus_inner, error) ||
      !ReadNumber(OuterEdit, QStringLiteral("背景の外径"), p.annulus_outer, error) ||
      !ReadNumber(SearchEdit, QStringLiteral("星を探す半径"), p.search, error) ||
      !ReadNumber(ZeroPointEdit, QStringLiteral("等級の原点"), p.zero_point, error) ||
      !ReadNumber(GainEdit, QStringLiteral("ゲイン"), p.gain, error) ||
      !ReadNumber(ReadNoiseEdit, QStringLiteral("読み出しノイズ"), p.read_noise, error)) {
    return false;
  }
  if (qirm::Status s = qirm::CheckStarParams(p); !s) {
    error = PhotometryMessage(s.message());
    return false;
  }
  return true;
}

bool TStarPhotometry::MeasureAt(TChild* child, double x, double y, QString* error_out) {
  QString error;
  qirm::StarPhotometryParams params;
  qirm::StarMeasurement m;
  const qirm::ImageDocument* doc = child ? child->Document() : nullptr;
  if (!doc) {
    error = QStringLiteral("測光する画像ウィンドウがありません");
  } else if (Params(params, error)) {
    const auto channel = static_cast<qirm::PhotometryChannel>(ChannelBox->currentIndex());
    if (qirm::Status s = qirm::MeasureStarInWindow(*doc, channel, x, y, params, m); !s)
      error = PhotometryMessage(s.message());
  }
  if (!error.isEmpty()) {
    if (error_out) *error_out = error;
    QMessageBox::warning(this, QStringLiteral("測光（恒星）"), error);
    return false;
  }
  const qirm::HeaderNoise header = qirm::NoiseFromHeader(doc->fits_cards);
  NoiseLabel->setText(QStringLiteral("ゲイン %1（%2）、読み出しノイズ %3（%4）")
                          .arg(QString::fromStdString(qirm::FormatGeneral(m.gain)),
                               header.gain ? QStringLiteral("ヘッダー") : QStringLiteral("入力値"),
                               QString::fromStdString(qirm::FormatGeneral(m.read_noise)),
                               header.read_noise ? QStringLiteral("ヘッダー") : QStringLiteral("入力値")));
  const auto channel = static_cast<qirm::PhotometryChannel>(ChannelBox->currentIndex());
  Results->AddRow(QString::fromStdString(doc->caption),
                  QString::fromStdString(qirm::HeaderString(doc->fits_cards, "DATE-OBS")),
                  QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                  QString::fromStdString(qirm::ChannelName(*doc, channel)), m);
  Results->show();
  const QPointF centre(m.x, m.y);
  OverlayMark aperture{OverlayMark::Shape::kCircle, centre,    centre, params.aperture,
                       QColor(0, 255, 0),           kMarkGroup};
  OverlayMark inner{OverlayMark::Shape::kCircle, centre,    centre, params.annulus_inner,
                    QColor(255, 200, 0),         kMarkGroup};
  OverlayMark outer = inner;
  outer.radius = params.annulus_outer;
  child->AddMarks({aperture, inner, outer});
  XEdit->setText(QString::fromStdString(qirm::RealText(m.x, 3)));
  YEdit->setText(QString::fromStdString(qirm::RealText(m.y, 3)));
  return true;
}

void TStarPhotometry::ToolPress(TChild* child, Qt::MouseButton button, QPointF point) {
  if (button != Qt::LeftButton || !ClickCheck->isChecked()) return;
  MeasureAt(child, point.x(), point.y());
}

void TStarPhotometry::MeasureClick() {
  double x = 0, y = 0;
  QString error;
  if (!ReadNumber(XEdit, QStringLiteral("X"), x, error) ||
      !ReadNumber(YEdit, QStringLiteral("Y"), y, error)) {
    QMessageBox::warning(this, QStringLiteral("測光（恒星）"), error);
    return;
  }
  MeasureAt(m_form->ActiveChild(), x, y);
}
