// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/LevelsPanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "document/state_texts.h"

HistogramView::HistogramView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("HistogramView"));
  setMinimumSize(160, 80);
  setMouseTracking(false);
}

void HistogramView::SetData(const std::vector<std::int64_t>& counts, int lo, int hi) {
  m_counts = counts;
  m_lo = lo;
  m_hi = std::max(hi, lo);
  update();
}

void HistogramView::SetLevels(int min, int max) {
  m_min = min;
  m_max = max;
  update();
}

int HistogramView::XOf(int value) const {
  const double span = double(m_hi) - m_lo + 1;
  return static_cast<int>(std::lround((double(value) - m_lo + 0.5) / span * width()));
}

int HistogramView::ValueAt(int x) const {
  const double span = double(m_hi) - m_lo + 1;
  const double v = m_lo + double(std::clamp(x, 0, std::max(width() - 1, 0))) / std::max(width(), 1) * span;
  return std::clamp(static_cast<int>(std::floor(v)), m_lo, m_hi);
}

void HistogramView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(32, 32, 32));
  const int w = width(), h = height();
  if (!m_counts.empty() && w > 0) {
    // Log counts: a faint sky and a few bright stars both stay visible.
    const auto bins = qirm::Histogram(m_counts, w, m_lo, m_hi);
    // Bins are drawn as the mean count of the values they hold: when the
    // span is close to the width some bins hold one value more than their
    // neighbours, which would draw a comb.
    std::vector<int> values(w, 0);
    const long long span = static_cast<long long>(m_hi) - m_lo + 1;
    for (long long v = 0; v < span; ++v) ++values[v * w / span];
    std::vector<double> heights(w, 0);
    double top = 0;
    for (int x = 0; x < w; ++x) {
      heights[x] = values[x] ? std::log1p(double(bins[x]) / values[x]) : 0;
      top = std::max(top, heights[x]);
    }
    p.setPen(QColor(200, 200, 200));
    if (top > 0) {
      for (int x = 0; x < w; ++x) {
        if (!bins[x]) continue;
        const int bar = static_cast<int>(std::lround(heights[x] / top * (h - 4)));
        p.drawLine(x, h - 1, x, h - 1 - bar);
      }
    }
  }
  // The black point in blue, the white point in orange, with grips on top.
  const struct {
    int value;
    QColor colour;
  } marks[] = {{m_min, QColor(80, 160, 255)}, {m_max, QColor(255, 160, 40)}};
  for (const auto& m : marks) {
    const int x = std::clamp(XOf(m.value), 0, w - 1);
    p.setPen(QPen(m.colour, 2));
    p.drawLine(x, 0, x, h);
    p.fillRect(x - 4, 0, 9, 8, m.colour);
  }
}

void HistogramView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || m_counts.empty()) return;
  const int x = event->position().toPoint().x();
  // The nearer point takes the drag; on a tie the side of the click decides.
  const int to_black = std::abs(x - XOf(m_min));
  const int to_white = std::abs(x - XOf(m_max));
  if (to_black < to_white)
    m_grip = Grip::kBlack;
  else if (to_white < to_black)
    m_grip = Grip::kWhite;
  else
    m_grip = x < XOf(m_min) ? Grip::kBlack : Grip::kWhite;
  DragTo(x);
}

void HistogramView::mouseMoveEvent(QMouseEvent* event) {
  if (m_grip != Grip::kNone) DragTo(event->position().toPoint().x());
}

void HistogramView::mouseReleaseEvent(QMouseEvent*) { m_grip = Grip::kNone; }

void HistogramView::DragTo(int x) {
  const int v = ValueAt(x);
  int min = m_min, max = m_max;
  // A point stops at the other one: the black point never passes the white.
  if (m_grip == Grip::kBlack)
    min = std::min(v, max);
  else if (m_grip == Grip::kWhite)
    max = std::max(v, min);
  if (min == m_min && max == m_max) return;
  SetLevels(min, max);
  emit LevelsDragged(min, max);
}

LevelsPanel::LevelsPanel(QWidget* parent) : QDockWidget(QStringLiteral("レベル"), parent) {
  setObjectName(QStringLiteral("LevelsPanel"));
  auto* body = new QWidget(this);
  auto* column = new QVBoxLayout(body);
  View = new HistogramView(body);
  column->addWidget(View, 1);
  LevelsLabel = new QLabel(body);
  LevelsLabel->setObjectName(QStringLiteral("LevelsLabel"));
  LevelsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  column->addWidget(LevelsLabel);
  auto* buttons = new QGridLayout();
  const struct {
    QPushButton** button;
    const char* name;
    QString text;
    qirm::LevelPreset preset;
  } kButtons[] = {
      {&AutoButton, "AutoButton", QStringLiteral("自動"), qirm::LevelPreset::kAuto},
      {&MinMaxButton, "MinMaxButton", QStringLiteral("最小-最大"), qirm::LevelPreset::kMinMax},
      {&Percent995Button, "Percent995Button", QStringLiteral("99.5%"), qirm::LevelPreset::kPercent995},
      {&Percent99Button, "Percent99Button", QStringLiteral("99%"), qirm::LevelPreset::kPercent99},
      {&ZscaleButton, "ZscaleButton", QStringLiteral("zscale"), qirm::LevelPreset::kZscale},
  };
  int i = 0;
  for (const auto& b : kButtons) {
    *b.button = new QPushButton(b.text, body);
    (*b.button)->setObjectName(QString::fromLatin1(b.name));
    buttons->addWidget(*b.button, i / 3, i % 3);
    const qirm::LevelPreset preset = b.preset;
    connect(*b.button, &QPushButton::clicked, this, [this, preset] { emit PresetChosen(preset); });
    ++i;
  }
  column->addLayout(buttons);
  setWidget(body);
  connect(View, &HistogramView::LevelsDragged, this, [this](int min, int max) {
    ShowLevels();
    emit LevelsDragged(min, max);
  });
  Follow(nullptr, true);
}

void LevelsPanel::Follow(const qirm::ImageDocument* doc, bool recount) {
  if (doc && !qirm::HasLevelValues(*doc)) doc = nullptr;
  const bool other = doc != m_doc;
  m_doc = doc;
  if (other || recount) {
    if (isVisible()) {
      Recount();
    } else {
      m_stale = true;
    }
  }
  if (m_doc && !m_stale) View->SetLevels(m_doc->min_level, m_doc->max_level);
  ShowLevels();
}

void LevelsPanel::showEvent(QShowEvent* event) {
  QDockWidget::showEvent(event);
  if (!m_stale) return;
  m_stale = false;
  Recount();
  if (m_doc) View->SetLevels(m_doc->min_level, m_doc->max_level);
  ShowLevels();
}

void LevelsPanel::Recount() {
  m_counts = m_doc ? qirm::ValueCounts(*m_doc) : std::vector<std::int64_t>();
  for (QPushButton* b : {AutoButton, MinMaxButton, Percent995Button, Percent99Button, ZscaleButton})
    b->setEnabled(m_doc != nullptr);
  if (!m_doc) {
    View->SetData({}, 0, 255);
    return;
  }
  // The histogram spans the values that matter (99.9 % of them) and the
  // current levels, with a margin so both points can be grabbed.
  const qirm::LevelPair body = qirm::PercentileLevels(m_counts, 99.9);
  const int lo = std::min(body.min, m_doc->min_level);
  const int hi = std::max(body.max, m_doc->max_level);
  const int margin = (hi - lo) / 10 + 1;
  const int limit = static_cast<int>(m_counts.size()) - 1;
  View->SetData(m_counts, std::max(lo - margin, std::min(0, lo)), std::min(hi + margin, std::max(limit, hi)));
}

void LevelsPanel::ShowLevels() {
  if (!m_doc) {
    LevelsLabel->setText(QString());
    return;
  }
  LevelsLabel->setText(QStringLiteral("黒 = %1   白 = %2")
                           .arg(QString::fromStdString(qirm::PhysicalText(*m_doc, View->MinLevel())),
                                QString::fromStdString(qirm::PhysicalText(*m_doc, View->MaxLevel()))));
}
