// SPDX-License-Identifier: GPL-3.0-or-later
#include "display/ui/TToneCurve.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/ui/PreviewImage.h"
#include "app/ui/ValueDialog.h"
#include "display/raw_values.h"

namespace {
constexpr int kMargin = 8;
constexpr double kReach = 8.0;  // pixels within which a click takes a point
constexpr int kBins = 256;
}  // namespace

TCurveView::TCurveView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("CurveView"));
  setFixedSize(300, 300);
  setMouseTracking(false);
  m_points = {{m_lo, m_lo}, {m_hi, m_hi}};
}

void TCurveView::SetRange(double lo, double hi) {
  m_lo = lo;
  m_hi = hi > lo ? hi : lo + 1;
  update();
}

void TCurveView::SetHistogram(std::vector<double> counts) {
  m_histogram = std::move(counts);
  update();
}

void TCurveView::SetPoints(std::vector<qirm::CurvePoint> points) {
  m_points = std::move(points);
  update();
  emit PointsChanged();
}

QPointF TCurveView::ToWidget(const qirm::CurvePoint& p) const {
  const double w = width() - 2 * kMargin, h = height() - 2 * kMargin;
  return {kMargin + (p.x - m_lo) / (m_hi - m_lo) * w, kMargin + h - (p.y - m_lo) / (m_hi - m_lo) * h};
}

qirm::CurvePoint TCurveView::ToValue(const QPointF& at) const {
  const double w = width() - 2 * kMargin, h = height() - 2 * kMargin;
  const double x = std::clamp((at.x() - kMargin) / w, 0.0, 1.0);
  const double y = std::clamp((kMargin + h - at.y()) / h, 0.0, 1.0);
  return {std::round(m_lo + x * (m_hi - m_lo)), std::round(m_lo + y * (m_hi - m_lo))};
}

int TCurveView::Nearest(const QPointF& at) const {
  int best = -1;
  double best_d = kReach;
  for (std::size_t k = 0; k < m_points.size(); ++k) {
    const double d = QLineF(at, ToWidget(m_points[k])).length();
    if (d <= best_d) {
      best_d = d;
      best = static_cast<int>(k);
    }
  }
  return best;
}

void TCurveView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(250, 250, 250));
  const QRectF area(kMargin, kMargin, width() - 2 * kMargin, height() - 2 * kMargin);
  // The histogram behind, on a square-root scale so faint values show.
  if (!m_histogram.empty()) {
    const double top = std::sqrt(*std::max_element(m_histogram.begin(), m_histogram.end()));
    if (top > 0) {
      const double bw = area.width() / m_histogram.size();
      for (std::size_t k = 0; k < m_histogram.size(); ++k) {
        const double hgt = std::sqrt(m_histogram[k]) / top * area.height();
        p.fillRect(QRectF(area.left() + k * bw, area.bottom() - hgt, bw + 0.5, hgt), QColor(200, 200, 210));
      }
    }
  }
  p.setPen(QPen(QColor(180, 180, 180), 1, Qt::DotLine));
  for (int k = 1; k < 4; ++k) {
    p.drawLine(QPointF(area.left() + k * area.width() / 4, area.top()),
               QPointF(area.left() + k * area.width() / 4, area.bottom()));
    p.drawLine(QPointF(area.left(), area.top() + k * area.height() / 4),
               QPointF(area.right(), area.top() + k * area.height() / 4));
  }
  p.drawLine(area.bottomLeft(), area.topRight());
  p.setPen(QPen(Qt::black, 1));
  p.drawRect(area);
  if (m_points.size() >= 2) {
    const qirm::MonotoneCurve curve(m_points);
    QPainterPath path;
    for (int i = 0; i <= static_cast<int>(area.width()); ++i) {
      const double x = m_lo + (m_hi - m_lo) * i / area.width();
      const double y = std::clamp(curve(x), m_lo, m_hi);
      const QPointF at = ToWidget({x, y});
      i == 0 ? path.moveTo(at) : path.lineTo(at);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 160), 2));
    p.drawPath(path);
  }
  p.setBrush(Qt::white);
  p.setPen(QPen(Qt::black, 1));
  for (const qirm::CurvePoint& pt : m_points) p.drawEllipse(ToWidget(pt), 4, 4);
}

void TCurveView::mousePressEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  const int k = Nearest(at);
  if (event->button() == Qt::RightButton) {
    if (k >= 0 && m_points.size() > 2) {
      m_points.erase(m_points.begin() + k);
      update();
      emit PointsChanged();
    }
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  if (k >= 0) {
    m_dragged = k;
    return;
  }
  // A new point between its neighbours; none on an existing x.
  const qirm::CurvePoint v = ToValue(at);
  const auto it = std::lower_bound(m_points.begin(), m_points.end(), v.x,
                                   [](const qirm::CurvePoint& p, double x) { return p.x < x; });
  if (it != m_points.end() && it->x == v.x) return;
  m_dragged = static_cast<int>(m_points.insert(it, v) - m_points.begin());
  update();
  emit PointsChanged();
}

void TCurveView::mouseMoveEvent(QMouseEvent* event) {
  if (m_dragged < 0) return;
  qirm::CurvePoint v = ToValue(event->position());
  // A point stays strictly between its neighbours.
  const std::size_t k = static_cast<std::size_t>(m_dragged);
  if (k > 0) v.x = std::max(v.x, m_points[k - 1].x + 1);
  if (k + 1 < m_points.size()) v.x = std::min(v.x, m_points[k + 1].x - 1);
  if ((k > 0 && v.x <= m_points[k - 1].x) || (k + 1 < m_points.size() && v.x >= m_points[k + 1].x)) return;
  m_points[k] = v;
  update();
  emit PointsChanged();
}

void TCurveView::mouseReleaseEvent(QMouseEvent*) { m_dragged = -1; }

TToneCurve::TToneCurve(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ToneCurve"));
  setWindowTitle(QStringLiteral("トーンカーブ"));
  Curve = new TCurveView(this);
  PreviewView = new QLabel(this);
  PreviewView->setObjectName(QStringLiteral("PreviewView"));
  PreviewView->setFixedSize(300, 300);
  PreviewView->setAlignment(Qt::AlignCenter);
  PreviewView->setFrameShape(QFrame::StyledPanel);

  auto* controls = new QGridLayout;
  controls->addWidget(new QLabel(QStringLiteral("チャンネル"), this), 0, 0);
  ChannelBox = new QComboBox(this);
  ChannelBox->setObjectName(QStringLiteral("ChannelBox"));
  ChannelBox->addItems(
      {QStringLiteral("すべて"), QStringLiteral("赤"), QStringLiteral("緑"), QStringLiteral("青")});
  controls->addWidget(ChannelBox, 0, 1);
  controls->addWidget(new QLabel(QStringLiteral("プリセット"), this), 1, 0);
  PresetBox = new QComboBox(this);
  PresetBox->setObjectName(QStringLiteral("PresetBox"));
  PresetBox->addItems({QStringLiteral("恒等"), QStringLiteral("S字"), QStringLiteral("ガンマ"),
                       QStringLiteral("asinh 伸張")});
  controls->addWidget(PresetBox, 1, 1);
  StrengthSpin = new QDoubleSpinBox(this);
  StrengthSpin->setObjectName(QStringLiteral("StrengthSpin"));
  StrengthSpin->setRange(0.1, 1000.0);
  StrengthSpin->setValue(2.2);
  StrengthSpin->setToolTip(QStringLiteral("ガンマの値、または asinh の伸張の強さ"));
  controls->addWidget(StrengthSpin, 1, 2);
  PresetButton = new QPushButton(QStringLiteral("適用"), this);
  controls->addWidget(PresetButton, 1, 3);
  auto* hint = new QLabel(QStringLiteral("クリックで点を追加、ドラッグで移動、右クリックで削除"), this);

  auto* views = new QHBoxLayout;
  views->addWidget(Curve);
  views->addWidget(PreviewView);
  QDialogButtonBox* buttons = NewOkCancelButtons(this, OkButton, CancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(views);
  layout->addWidget(hint);
  layout->addLayout(controls);
  layout->addWidget(buttons);

  connect(PresetButton, &QPushButton::clicked, this, &TToneCurve::PresetButtonClick);
  connect(PresetBox, &QComboBox::currentIndexChanged, this, [this](int index) {
    // A sensible strength for each preset: gamma 2.2, asinh stretch 10.
    if (index == 2) StrengthSpin->setValue(2.2);
    if (index == 3) StrengthSpin->setValue(10.0);
  });
  connect(Curve, &TCurveView::PointsChanged, this, &TToneCurve::Preview);
  connect(ChannelBox, &QComboBox::currentIndexChanged, this, [this] {
    UpdateHistogram();
    Preview();
  });
}

void TToneCurve::SetDocument(const qirm::ImageDocument* doc) {
  m_doc = doc;
  if (!doc) {
    m_small = qirm::ImageDocument();
    return;
  }
  const bool raw = doc->kind == qirm::WindowKind::kRaw16;
  ChannelBox->setCurrentIndex(0);
  ChannelBox->setEnabled(!raw);
  double lo = 0, hi = 255;
  if (raw) {
    lo = std::clamp(std::min(doc->min_level, doc->max_level), 0, 65534);
    hi = std::clamp(std::max(doc->min_level, doc->max_level), static_cast<int>(lo) + 1, 65535);
  }
  Curve->SetRange(lo, hi);
  m_small = ReducedCopy(*doc, 300);
  UpdateHistogram();
  Curve->SetPoints(qirm::PresetCurve(qirm::CurvePreset::kIdentity, lo, hi, 1));
}

void TToneCurve::UpdateHistogram() {
  if (!m_doc) return;
  std::vector<double> counts(kBins, 0.0);
  // The bins span the graph's range; values outside it are not counted.
  if (m_doc->kind == qirm::WindowKind::kRaw16) {
    const double range_lo = Curve->Low(), range_hi = Curve->High();
    std::vector<std::uint16_t> raw;
    if (qirm::ReadRawValues(m_small, "トーンカーブ", raw)) {
      for (std::uint16_t v : raw) {
        if (v < range_lo || v > range_hi) continue;
        const int bin = std::min(kBins - 1, static_cast<int>((v - range_lo) / (range_hi - range_lo) * kBins));
        counts[bin] += 1;
      }
    }
  } else {
    const int channel = ChannelBox->currentIndex();  // 0 all, 1 red, 2 green, 3 blue
    const qirm::Picture& pic = m_small.ImageZm;
    for (int y = 0; y < pic.height(); ++y) {
      const std::uint8_t* row = pic.Row(y);
      for (int x = 0; x < pic.width(); ++x)
        for (int c = 0; c < 3; ++c)
          if (channel == 0 || c == 3 - channel) counts[row[3 * x + c]] += 1;
    }
  }
  Curve->SetHistogram(std::move(counts));
}

qirm::ToneCurveParams TToneCurve::Params() const {
  qirm::ToneCurveParams p;
  p.points = Curve->Points();
  static const qirm::CurveChannel kChannels[] = {qirm::CurveChannel::kAll, qirm::CurveChannel::kRed,
                                                 qirm::CurveChannel::kGreen, qirm::CurveChannel::kBlue};
  p.channel = kChannels[std::clamp(ChannelBox->currentIndex(), 0, 3)];
  return p;
}

void TToneCurve::PresetButtonClick() {
  static const qirm::CurvePreset kPresets[] = {qirm::CurvePreset::kIdentity, qirm::CurvePreset::kSCurve,
                                               qirm::CurvePreset::kGamma, qirm::CurvePreset::kAsinh};
  Curve->SetPoints(qirm::PresetCurve(kPresets[std::clamp(PresetBox->currentIndex(), 0, 3)], Curve->Low(),
                                     Curve->High(), StrengthSpin->value()));
}

void TToneCurve::Preview() {
  if (!m_doc) {
    PreviewView->clear();
    return;
  }
  qirm::ImageDocument shown = m_small;
  if (qirm::ToneCurveCommand(shown, Params())) ShowPreview(PreviewView, shown.Image);
}
