// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/ui/TTrailPhotometry.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "core/numbers.h"
#include "photometry/star_photometry.h"
#include "photometry/ui/PhotometryMessages.h"
#include "photometry/ui/TTrailPlot.h"

namespace {

QLineEdit* Edit(const QString& text, const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setFixedWidth(70);
  return edit;
}

QString Text(double v) { return QString::fromStdString(qirm::RealText(v, 1)); }

}  // namespace

TTrailPhotometry::TTrailPhotometry(TMainForm* form) : ImageToolDialog(form), m_form(form) {
  setObjectName(QStringLiteral("TrailPhotometry"));
  setWindowTitle(QStringLiteral("測光（流星）"));
  setModal(false);
  const qirm::TrailParams defaults;
  WidthEdit = Edit(QString::fromStdString(qirm::FormatGeneral(defaults.width)), "WidthEdit", this);
  GapEdit = Edit(QString::fromStdString(qirm::FormatGeneral(defaults.sky_gap)), "GapEdit", this);
  ChannelBox = NewChannelBox(this);
  X1Edit = Edit(QString(), "X1Edit", this);
  Y1Edit = Edit(QString(), "Y1Edit", this);
  X2Edit = Edit(QString(), "X2Edit", this);
  Y2Edit = Edit(QString(), "Y2Edit", this);
  MeasureButton = new QPushButton(QStringLiteral("測定"), this);
  MeasureButton->setObjectName(QStringLiteral("MeasureButton"));
  auto* close = new QPushButton(QStringLiteral("閉じる"), this);
  auto* hint =
      new QLabel(QStringLiteral("画像の上で流星の一端から他端へ左ボタンでドラッグすると測ります。"), this);
  hint->setWordWrap(true);

  auto* from = new QHBoxLayout;
  from->addWidget(X1Edit);
  from->addWidget(Y1Edit);
  from->addStretch(1);
  auto* to = new QHBoxLayout;
  to->addWidget(X2Edit);
  to->addWidget(Y2Edit);
  to->addStretch(1);
  auto* fields = new QFormLayout;
  fields->addRow(QStringLiteral("帯の幅 (ピクセル)"), WidthEdit);
  fields->addRow(QStringLiteral("背景との間隔"), GapEdit);
  fields->addRow(QStringLiteral("カラー画像のチャンネル"), ChannelBox);
  fields->addRow(QStringLiteral("始点 X, Y"), from);
  fields->addRow(QStringLiteral("終点 X, Y"), to);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(MeasureButton);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(hint);
  layout->addLayout(fields);
  layout->addLayout(buttons);

  PlotWindow = new TTrailPlot(form);
  PlotWindow->setAttribute(Qt::WA_ShowWithoutActivating);
  connect(MeasureButton, &QPushButton::clicked, this, &TTrailPhotometry::MeasureClick);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
}

bool TTrailPhotometry::Params(qirm::TrailParams& p, QString& error) const {
  if (!ReadNumber(WidthEdit, QStringLiteral("帯の幅"), p.width, error) ||
      !ReadNumber(GapEdit, QStringLiteral("背景との間隔"), p.sky_gap, error))
    return false;
  if (qirm::Status s = qirm::CheckTrailParams(p); !s) {
    error = PhotometryMessage(s.message());
    return false;
  }
  return true;
}

void TTrailPhotometry::DrawBand(TChild* child, QPointF from, QPointF to, const qirm::TrailParams& params) {
  child->ClearMarks(kMarkGroup);
  const double length = std::hypot(to.x() - from.x(), to.y() - from.y());
  std::vector<OverlayMark> marks;
  const QColor band(255, 60, 60), sky(80, 160, 255);
  if (!(length > 0)) return;
  const QPointF n(-(to.y() - from.y()) / length, (to.x() - from.x()) / length);
  const double half = params.width / 2;
  const double sky_out = half + params.sky_gap + std::max(params.width, 3.0);
  for (const auto& [offset, colour] :
       {std::pair{half, band}, std::pair{-half, band}, std::pair{sky_out, sky}, std::pair{-sky_out, sky}}) {
    marks.push_back(
        {OverlayMark::Shape::kSegment, from + offset * n, to + offset * n, 0, colour, kMarkGroup});
  }
  child->AddMarks(marks);
}

bool TTrailPhotometry::MeasureTrailAt(TChild* child, QPointF from, QPointF to) {
  QString error;
  qirm::TrailParams params;
  qirm::TrailMeasurement m;
  const qirm::ImageDocument* doc = child ? child->Document() : nullptr;
  if (!doc) {
    error = QStringLiteral("測光する画像ウィンドウがありません");
  } else if (Params(params, error)) {
    const auto channel = static_cast<qirm::PhotometryChannel>(ChannelBox->currentIndex());
    if (qirm::Status s =
            qirm::MeasureTrailInWindow(*doc, channel, from.x(), from.y(), to.x(), to.y(), params, m);
        !s)
      error = PhotometryMessage(s.message());
  }
  if (!error.isEmpty()) {
    if (child) child->ClearMarks(kMarkGroup);
    QMessageBox::warning(this, QStringLiteral("測光（流星）"), error);
    return false;
  }
  X1Edit->setText(Text(from.x()));
  Y1Edit->setText(Text(from.y()));
  X2Edit->setText(Text(to.x()));
  Y2Edit->setText(Text(to.y()));
  DrawBand(child, from, to, params);
  const std::string text =
      qirm::TrailProfileText(m, doc->caption, from.x(), from.y(), to.x(), to.y(), params);
  PlotWindow->setWindowTitle(QStringLiteral("流星の光度 - %1").arg(QString::fromStdString(doc->caption)));
  PlotWindow->ShowTrail(m, QString::fromStdString(text));
  PlotWindow->show();
  return true;
}

void TTrailPhotometry::ToolPress(TChild* child, Qt::MouseButton button, QPointF point) {
  if (button != Qt::LeftButton) return;
  m_dragChild = child;
  m_dragStart = point;
}

void TTrailPhotometry::ToolMove(TChild* child, Qt::MouseButtons buttons, QPointF point) {
  if (!(buttons & Qt::LeftButton) || child != m_dragChild) return;
  qirm::TrailParams params;
  QString error;
  if (Params(params, error)) DrawBand(child, m_dragStart, point, params);
}

void TTrailPhotometry::ToolRelease(TChild* child, Qt::MouseButton button, QPointF point) {
  if (button != Qt::LeftButton || child != m_dragChild) return;
  m_dragChild = nullptr;
  // A click without a drag is not a trail.
  if (std::hypot(point.x() - m_dragStart.x(), point.y() - m_dragStart.y()) < 1) {
    child->ClearMarks(kMarkGroup);
    return;
  }
  MeasureTrailAt(child, m_dragStart, point);
}

void TTrailPhotometry::MeasureClick() {
  double v[4] = {};
  QString error;
  const QLineEdit* edits[4] = {X1Edit, Y1Edit, X2Edit, Y2Edit};
  const QString names[4] = {QStringLiteral("始点 X"), QStringLiteral("始点 Y"), QStringLiteral("終点 X"),
                            QStringLiteral("終点 Y")};
  for (int k = 0; k < 4; ++k) {
    if (!ReadNumber(edits[k], names[k], v[k], error)) {
      QMessageBox::warning(this, QStringLiteral("測光（流星）"), error);
      return;
    }
  }
  MeasureTrailAt(m_form->ActiveChild(), QPointF(v[0], v[1]), QPointF(v[2], v[3]));
}
