// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/ui/TTrailPlot.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/ui/ToolWindow.h"
#include "core/file_write.h"
#include "photometry/star_photometry.h"

TrailPlotView::TrailPlotView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Plot"));
  setMinimumSize(320, 200);
}

void TrailPlotView::SetProfile(const std::vector<qirm::TrailBin>& profile) {
  m_profile = profile;
  update();
}

void TrailPlotView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const QRectF area(60, 12, width() - 75, height() - 45);
  painter.setPen(Qt::black);
  painter.drawRect(area);
  double lo = 0, hi = 0, length = 0;
  for (const qirm::TrailBin& b : m_profile) {
    if (!std::isfinite(b.flux)) continue;
    lo = std::min(lo, b.flux);
    hi = std::max(hi, b.flux);
  }
  if (!m_profile.empty()) length = m_profile.back().s + 0.5;
  if (hi <= lo) hi = lo + 1;
  const double pad = 0.05 * (hi - lo);
  lo -= pad;
  hi += pad;
  auto px = [&](double s) { return area.left() + s / std::max(length, 1.0) * area.width(); };
  auto py = [&](double f) { return area.bottom() - (f - lo) / (hi - lo) * area.height(); };
  painter.setPen(QPen(Qt::gray, 1, Qt::DashLine));
  painter.drawLine(QPointF(area.left(), py(0)), QPointF(area.right(), py(0)));
  painter.setPen(Qt::black);
  painter.drawText(QRectF(0, area.top() - 6, 56, 14), Qt::AlignRight,
                   QString::fromStdString(qirm::RealText(hi, 4, 'g')));
  painter.drawText(QRectF(0, area.bottom() - 8, 56, 14), Qt::AlignRight,
                   QString::fromStdString(qirm::RealText(lo, 4, 'g')));
  painter.drawText(QRectF(area.left(), area.bottom() + 4, 60, 14), Qt::AlignLeft, QStringLiteral("0"));
  painter.drawText(QRectF(area.right() - 60, area.bottom() + 4, 60, 14), Qt::AlignRight,
                   QString::fromStdString(qirm::RealText(length, 1)));
  painter.drawText(QRectF(area.left(), area.bottom() + 18, area.width(), 14), Qt::AlignHCenter,
                   QStringLiteral("始点からの距離 (ピクセル)"));
  QPainterPath path;
  bool pen_down = false;
  for (const qirm::TrailBin& b : m_profile) {
    if (!std::isfinite(b.flux)) {
      pen_down = false;
      continue;
    }
    const QPointF p(px(b.s), py(b.flux));
    if (pen_down)
      path.lineTo(p);
    else
      path.moveTo(p);
    pen_down = true;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(200, 0, 0), 1.5));
  painter.drawPath(path);
}

TTrailPlot::TTrailPlot(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName(QStringLiteral("TrailPlot"));
  setWindowTitle(QStringLiteral("流星の光度（長さあたりの光量）"));
  Plot = new TrailPlotView(this);
  Summary = new QLabel(this);
  Summary->setObjectName(QStringLiteral("Summary"));
  Summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  SaveButton = new QPushButton(QStringLiteral("テキスト保存..."), this);
  SaveButton->setObjectName(QStringLiteral("SaveButton"));
  auto* close = new QPushButton(QStringLiteral("閉じる"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Summary, 1);
  buttons->addWidget(SaveButton);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Plot, 1);
  layout->addLayout(buttons);
  connect(SaveButton, &QPushButton::clicked, this, &TTrailPlot::SaveClick);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void TTrailPlot::ShowTrail(const qirm::TrailMeasurement& m, const QString& text) {
  m_text = text;
  Plot->SetProfile(m.profile);
  Summary->setText(QStringLiteral("長さ %1 ピクセル　光量 %2　背景 %3 ± %4")
                       .arg(QString::fromStdString(qirm::RealText(m.length, 1)),
                            QString::fromStdString(qirm::RealText(m.flux, 8, 'g')),
                            QString::fromStdString(qirm::RealText(m.sky, 6, 'g')),
                            QString::fromStdString(qirm::RealText(m.sky_sigma, 3, 'g'))));
}

bool TTrailPlot::SaveProfile(const QString& path, QString& error) const {
  const QByteArray bytes = m_text.toUtf8();
  const qirm::Status s = qirm::WriteFileReplacing(QFile::encodeName(path).toStdString(),
                                                  std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  if (!s)
    error = QStringLiteral("光度のファイルを保存できません: %1").arg(QString::fromStdString(s.message()));
  return s.ok();
}

void TTrailPlot::SaveClick() {
  const QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("光度の保存"), QStringLiteral("trail.txt"),
                                   QStringLiteral("テキスト (*.txt);;すべてのファイル (*)"));
  if (path.isEmpty()) return;
  QString error;
  if (!SaveProfile(path, error)) QMessageBox::warning(this, QStringLiteral("QIRM"), error);
}

void TTrailPlot::showEvent(QShowEvent* event) {
  if (!m_placed) PlaceBeside(this, parentWidget());
  m_placed = true;
  QWidget::showEvent(event);
}
