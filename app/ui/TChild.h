// The image window: the view of one ImageDocument inside the main window's
// multiple-document area. It shows the document's picture Image stretched to
// the zoom factor, with scroll bars when the window is smaller, and answers
// the mouse with the cursor readout and the star width. It knows no other
// window: what it finds goes out as signals, which the main window shows,
// and star positions go to the current StarPickTarget.
#pragma once

#include <QImage>
#include <QWidget>

#include "display/levels.h"
#include "document/image_document.h"

class QScrollArea;

// The picture control: paints the shown picture scaled to its own size,
// pixel for pixel (no smoothing: astronomers look at single pixels).
class ImageView : public QWidget {
  Q_OBJECT
 public:
  explicit ImageView(QWidget* parent = nullptr);
  void SetPicture(const qirm::Picture& picture);
  const QImage& image() const { return m_image; }

 signals:
  void MouseMoved(int x, int y);
  void MousePressed(Qt::MouseButton button, int x, int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QImage m_image;
};

// Copy of a picture as a QImage (for display and for the toolkit's use).
QImage ToQImage(const qirm::Picture& picture);

class TChild : public QWidget {
  Q_OBJECT
 public:
  explicit TChild(qirm::ImageDocument* document, QWidget* parent = nullptr);

  qirm::ImageDocument* Document() const { return m_document; }
  // Shows the document's Image again after a command changed it, at the
  // document's zoom factor.
  void RefreshImage();
  // Size of the shown picture: the recorded size times the zoom, truncated.
  QSize ZoomedSize() const;

  QScrollArea* Scroll = nullptr;
  ImageView* Image = nullptr;

  // The size the window's client area needs for the whole zoomed picture.
  QSize sizeHint() const override;

  // The point of the image (in image pixels, with fractions) shown at
  // `viewport_pos` of the scroll area's viewport, at the current zoom.
  QPointF ImagePointAt(QPointF viewport_pos) const;
  // Scrolls so that the image point `image_point` shows at `viewport_pos`,
  // as far as the scroll bars reach.
  void ShowImagePointAt(QPointF image_point, QPointF viewport_pos);
  // The centre of the visible part of the window.
  QPointF ViewCentre() const;

 signals:
  // FormClose: the window is going away; its document must be released.
  void Closed(TChild* child);
  // The cursor readout of the pixel under the mouse.
  void ReadoutChanged(const QString& text);
  // The star width at a click, and the extremes of the box it measured.
  void StarWidthMeasured(const QString& label, const QString& extremes);
  // A mouse action stopped on an error (levels that are not numbers, a
  // position that cannot be captured); the main window shows the box.
  void ErrorRaised(const QString& message);
  // The wheel asks for a zoom step about `viewport_pos` (Ctrl+wheel, or the
  // plain wheel when the picture cannot scroll that way).
  void WheelZoom(qirm::ZoomDirection direction, QPointF viewport_pos);

 public slots:
  void ImageMouseMove(int X, int Y);
  void ImageMouseDown(Qt::MouseButton button, int X, int Y);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  qirm::ImageDocument* m_document;
  int m_wheelTurn = 0;  // eighths of a degree turned and not yet zoomed
};
