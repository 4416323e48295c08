// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TChild.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cstring>

#include "app/sky_coordinates.h"
#include "app/star_width.h"
#include "app/ui/ImageTool.h"
#include "app/ui/StarPickTarget.h"
#include "core/numbers.h"

QImage ToQImage(const qirm::Picture& picture) {
  QImage image(picture.width(), picture.height(), QImage::Format_BGR888);
  for (int y = 0; y < picture.height(); ++y) {
    std::memcpy(image.scanLine(y), picture.Row(y), picture.stride());
  }
  return image;
}

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
  setCursor(Qt::CrossCursor);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageView::SetPicture(const qirm::Picture& picture) {
  m_picture = &picture;
  update();
}

void ImageView::ClearPicture() {
  m_picture = nullptr;
  update();
}

namespace {

// The part (x, y, w, h) of a picture as an image over its bytes.
QImage PictureArea(const qirm::Picture& picture, int x, int y, int w, int h) {
  return QImage(picture.Row(y) + 3 * static_cast<std::size_t>(x), w, h,
                static_cast<qsizetype>(picture.stride()), QImage::Format_BGR888);
}

}  // namespace

QImage ImageView::image() const {
  if (!m_picture || m_picture->empty()) return QImage();
  return PictureArea(*m_picture, 0, 0, m_picture->width(), m_picture->height());
}

void ImageView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (!m_picture || m_picture->empty() || width() == 0 || height() == 0) {
    painter.fillRect(event->rect(), palette().window());
    return;
  }
  // Draw only the source pixels behind the exposed area: a 4096-pixel frame
  // at 1600 % must not be scaled as a whole on every repaint.
  const qirm::Picture& picture = *m_picture;
  const double sx = static_cast<double>(picture.width()) / width();
  const double sy = static_cast<double>(picture.height()) / height();
  QRect target = event->rect();
  if (m_originBottom) {
    // Paint in the picture's own rows, turned over by the painter.
    painter.translate(0, height());
    painter.scale(1, -1);
    target = QRect(target.left(), height() - 1 - target.bottom(), target.width(), target.height());
  }
  const int x0 = static_cast<int>(target.left() * sx);
  const int y0 = static_cast<int>(target.top() * sy);
  const int x1 = std::min(picture.width(), static_cast<int>((target.right() + 1) * sx) + 1);
  const int y1 = std::min(picture.height(), static_cast<int>((target.bottom() + 1) * sy) + 1);
  if (x1 > x0 && y1 > y0) {
    const QRectF drawn(x0 / sx, y0 / sy, (x1 - x0) / sx, (y1 - y0) / sy);
    painter.drawImage(drawn, PictureArea(picture, x0, y0, x1 - x0, y1 - y0));
  }
  if (m_overlay.empty()) return;
  // Marks in image coordinates: pixel i spans (i - 0.5 .. i + 0.5) * zoom.
  painter.setRenderHint(QPainter::Antialiasing);
  const double zx = 1 / sx, zy = 1 / sy;
  auto shown = [&](QPointF p) { return QPointF((p.x() + 0.5) * zx, (p.y() + 0.5) * zy); };
  for (const OverlayMark& m : m_overlay) {
    painter.setPen(QPen(m.colour, 1));
    painter.setBrush(Qt::NoBrush);
    if (m.shape == OverlayMark::Shape::kCircle)
      painter.drawEllipse(shown(m.a), m.radius * zx, m.radius * zy);
    else
      painter.drawLine(shown(m.a), shown(m.b));
  }
}

void ImageView::SetOverlay(const std::vector<OverlayMark>& marks) {
  m_overlay = marks;
  update();
}

void ImageView::SetOriginBottom(bool bottom) {
  if (bottom == m_originBottom) return;
  m_originBottom = bottom;
  update();
}

QPoint ImageView::PicturePosition(QMouseEvent* event) const {
  const QPoint p = event->position().toPoint();
  return m_originBottom ? QPoint(p.x(), height() - 1 - p.y()) : p;
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = PicturePosition(event);
  emit MouseMoved(p.x(), p.y(), event->buttons());
}

void ImageView::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  emit MouseLeft();
}

void ImageView::mousePressEvent(QMouseEvent* event) {
  const QPoint p = PicturePosition(event);
  emit MousePressed(event->button(), p.x(), p.y());
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = PicturePosition(event);
  emit MouseReleased(event->button(), p.x(), p.y());
}

TChild::TChild(qirm::ImageDocument* document, QWidget* parent) : QWidget(parent), m_document(document) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromStdString(document->caption));
  resize(513, 449);
  Scroll = new QScrollArea(this);
  Scroll->setFrameShape(QFrame::NoFrame);
  Scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Image = new ImageView;
  Scroll->setWidget(Image);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Scroll);
  // The picture sees the wheel first and the viewport around it only where
  // the picture does not reach: both are watched.
  Scroll->viewport()->installEventFilter(this);
  Image->installEventFilter(this);
  connect(Image, &ImageView::MouseMoved, this, &TChild::ImageMouseMove);
  connect(Image, &ImageView::MousePressed, this, &TChild::ImageMouseDown);
  connect(Image, &ImageView::MouseReleased, this, &TChild::ImageMouseUp);
  connect(Image, &ImageView::MouseLeft, this, &TChild::ImageMouseLeave);
  RefreshImage();
}

QSize TChild::ZoomedSize() const {
  if (!m_document) return Image ? Image->size() : QSize();
  const int w = m_document->width.value_or(m_document->Image.width());
  const int h = m_document->height.value_or(m_document->Image.height());
  const double z = m_document->zoom.value_or(1);
  return QSize(qirm::Trunc(static_cast<qirm::Extended>(w) * z),
               qirm::Trunc(static_cast<qirm::Extended>(h) * z));
}

void TChild::RefreshImage() {
  if (!m_document) return;
  setWindowTitle(QString::fromStdString(m_document->caption));
  if (!Image->Overlay().empty() && m_document->history != m_markedHistory) Image->SetOverlay({});
  Image->SetPicture(m_document->Image);
  Image->setFixedSize(ZoomedSize());
}

QSize TChild::sizeHint() const { return ZoomedSize(); }

QPointF TChild::ImagePointAt(QPointF viewport_pos) const {
  const double z = m_document ? m_document->zoom.value_or(1) : 1;
  return QPointF((Scroll->horizontalScrollBar()->value() + viewport_pos.x()) / z,
                 (Scroll->verticalScrollBar()->value() + viewport_pos.y()) / z);
}

void TChild::ShowImagePointAt(QPointF image_point, QPointF viewport_pos) {
  const double z = m_document ? m_document->zoom.value_or(1) : 1;
  Scroll->horizontalScrollBar()->setValue(qRound(image_point.x() * z - viewport_pos.x()));
  Scroll->verticalScrollBar()->setValue(qRound(image_point.y() * z - viewport_pos.y()));
}

QPointF TChild::ViewCentre() const {
  const QSize view = Scroll->viewport()->size();
  return QPointF(view.width() / 2.0, view.height() / 2.0);
}

void TChild::AddMarks(const std::vector<OverlayMark>& marks) {
  if (m_document) m_markedHistory = m_document->history;
  std::vector<OverlayMark> all = Image->Overlay();
  all.insert(all.end(), marks.begin(), marks.end());
  Image->SetOverlay(all);
}

void TChild::ClearMarks(int group) {
  std::vector<OverlayMark> kept;
  for (const OverlayMark& m : Image->Overlay())
    if (m.group != group) kept.push_back(m);
  Image->SetOverlay(kept);
}

QPointF TChild::ImagePoint(int X, int Y) const {
  const double z = m_document ? m_document->zoom.value_or(1) : 1;
  return QPointF((X + 0.5) / z - 0.5, (Y + 0.5) / z - 0.5);
}

bool TChild::eventFilter(QObject* watched, QEvent* event) {
  if ((watched != Scroll->viewport() && watched != Image) || event->type() != QEvent::Wheel)
    return QWidget::eventFilter(watched, event);
  auto* wheel = static_cast<QWheelEvent*>(event);
  const bool canScroll =
      Scroll->horizontalScrollBar()->maximum() > 0 || Scroll->verticalScrollBar()->maximum() > 0;
  if (!(wheel->modifiers() & Qt::ControlModifier) && canScroll) return false;
  // A notch is 120 eighths of a degree; fine-grained wheels and touch pads
  // send less at a time and zoom once a notch's worth has been turned.
  m_wheelTurn += wheel->angleDelta().y();
  // The cursor's place in the viewport: the picture under it moves with
  // each step, the cursor does not.
  const QPointF at = watched == Image
                         ? QPointF(Image->mapTo(Scroll->viewport(), QPoint(0, 0))) + wheel->position()
                         : wheel->position();
  while (m_wheelTurn >= 120 || m_wheelTurn <= -120) {
    const bool in = m_wheelTurn > 0;
    m_wheelTurn += in ? -120 : 120;
    emit WheelZoom(in ? qirm::ZoomDirection::In : qirm::ZoomDirection::Out, at);
  }
  wheel->accept();
  return true;
}

void TChild::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (!event->isAccepted()) return;
  // The view paints from the document's picture, which goes with it.
  Image->ClearPicture();
  ImageMouseLeave();
  emit Closed(this);
  m_document = nullptr;
}

const qirm::CelestialWcs* TChild::Wcs() {
  const qirm::ImageDocument& doc = *m_document;
  const int w = doc.width.value_or(0);
  const int h = doc.height.value_or(0);
  if (!m_wcsHistory.has_value() || doc.history != *m_wcsHistory || w != m_wcsWidth || h != m_wcsHeight) {
    m_wcs = qirm::DocumentWcs(doc);
    m_wcsHistory = doc.history;
    m_wcsWidth = w;
    m_wcsHeight = h;
  }
  return m_wcs.get();
}

void TChild::ImageMouseMove(int X, int Y, Qt::MouseButtons buttons) {
  if (!m_document) return;
  if (ImageTool* tool = CurrentImageTool()) tool->ToolMove(this, buttons, ImagePoint(X, Y));
  std::string label, error;
  if (qirm::CursorReadout(*m_document, X, Y, label, error)) {
    emit ReadoutChanged(QString::fromStdString(label));
    int x = 0, y = 0;
    if (qirm::ImagePixelAt(*m_document, X, Y, x, y, error))
      emit FitsPixelChanged(QStringLiteral("FITS (%1, %2)").arg(x + 1).arg(y + 1));
    // The same image pixel the readout reads.
    double ra = 0, dec = 0;
    const qirm::CelestialWcs* wcs = Wcs();
    const double z = m_document->zoom.value_or(1);
    if (wcs && wcs->PixelToSky(qirm::Trunc(X / static_cast<qirm::Extended>(z)),
                               qirm::Trunc(Y / static_cast<qirm::Extended>(z)), ra, dec)) {
      emit SkyChanged(QString::fromStdString(qirm::SkyReadoutText(ra, dec)));
    } else {
      emit SkyChanged(QString());
    }
  } else if (!error.empty()) {
    emit ErrorRaised(QString::fromStdString(error));
  }
}

void TChild::ImageMouseLeave() {
  emit ReadoutChanged(QString());
  emit SkyChanged(QString());
  emit FitsPixelChanged(QString());
}

void TChild::ImageMouseDown(Qt::MouseButton button, int X, int Y) {
  if (!m_document) return;
  const qirm::MouseButton b = button == Qt::LeftButton    ? qirm::MouseButton::Left
                              : button == Qt::RightButton ? qirm::MouseButton::Right
                                                          : qirm::MouseButton::Middle;
  qirm::StarWidthResult result;
  std::string error;
  if (!qirm::StarWidthAt(*m_document, X, Y, b, result, error)) {
    emit ErrorRaised(QString::fromStdString(error));
    return;
  }
  emit StarWidthMeasured(QString::fromStdString(result.label), QString::fromStdString(result.extremes));

  if (StarPickTarget* target = CurrentStarPickTarget()) {
    qirm::StarPick pick = target->ReadStarPick();
    int x = 0, y = 0;
    if (!qirm::ImagePixelAt(*m_document, X, Y, x, y, error) || !qirm::CapturePosition(pick, b, x, y, error)) {
      emit ErrorRaised(QString::fromStdString(error));
      return;
    }
    target->WriteStarPick(pick);
  }
  if (ImageTool* tool = CurrentImageTool()) tool->ToolPress(this, button, ImagePoint(X, Y));
}

void TChild::ImageMouseUp(Qt::MouseButton button, int X, int Y) {
  if (!m_document) return;
  if (ImageTool* tool = CurrentImageTool()) tool->ToolRelease(this, button, ImagePoint(X, Y));
}
