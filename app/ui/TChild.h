// SPDX-License-Identifier: GPL-3.0-or-later
// The image window: the view of one ImageDocument inside the main window's
// multiple-document area. It shows the document's picture Image stretched to
// the zoom factor, with scroll bars when the window is smaller, and answers
// the mouse with the cursor readout and the star width. It knows no other
// window: what it finds goes out as signals, which the main window shows,
// and star positions go to the current StarPickTarget.
#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "display/levels.h"
#include "document/image_document.h"

namespace qirm {
class CelestialWcs;
}

class QScrollArea;

// A shape drawn over the picture (never into it): a circle of `radius` about
// `a`, or the segment from `a` to `b`, in image coordinates (pixel centres at
// integers). `group` lets a tool take back its own marks.
struct OverlayMark {
  enum class Shape { kCircle, kSegment } shape = Shape::kCircle;
  QPointF a, b;
  double radius = 0;
  QColor colour = Qt::green;
  int group = 0;
};

// The picture control: paints the shown picture scaled to its own size,
// pixel for pixel (no smoothing: astronomers look at single pixels). It
// paints straight from the picture it is given, which must stay in place
// until the view is given another one (or none); a copy of a large frame
// would cost its memory again and a page fault per page on every open.
class ImageView : public QWidget {
  Q_OBJECT
 public:
  explicit ImageView(QWidget* parent = nullptr);
  // Shows `picture` from now on (its bytes as they are at each paint) and
  // paints it again.
  void SetPicture(const qirm::Picture& picture);
  // Shows nothing: the picture is going away.
  void ClearPicture();
  // The picture shown, as an image over its bytes (no copy; valid while the
  // picture is unchanged); a null image when there is none.
  QImage image() const;
  // Draws the picture's last row at the top (FITS row 1 at the bottom).
  // Only the drawing turns over: the mouse still reports positions in the
  // picture, so the readout, star widths and captured positions are the
  // same pixels as without it.
  void SetOriginBottom(bool bottom);
  bool OriginBottom() const { return m_originBottom; }
  // The marks drawn over the picture, scaled with it.
  void SetOverlay(const std::vector<OverlayMark>& marks);
  const std::vector<OverlayMark>& Overlay() const { return m_overlay; }

 signals:
  void MouseMoved(int x, int y, Qt::MouseButtons buttons);
  void MousePressed(Qt::MouseButton button, int x, int y);
  void MouseReleased(Qt::MouseButton button, int x, int y);
  // The cursor left the picture.
  void MouseLeft();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  const qirm::Picture* m_picture = nullptr;
  std::vector<OverlayMark> m_overlay;
  // The position in the shown picture of a mouse event on the widget.
  QPoint PicturePosition(QMouseEvent* event) const;
  bool m_originBottom = false;
};

// Copy of a picture as a QImage (for display and for the toolkit's use).
QImage ToQImage(const qirm::Picture& picture);

class TChild : public QWidget {
  Q_OBJECT
 public:
  explicit TChild(qirm::ImageDocument* document, QWidget* parent = nullptr);

  qirm::ImageDocument* Document() const { return m_document; }
  // The file the window was opened from or saved to under its title
  // (absolute); empty for a window no file holds yet.
  QString FilePath() const { return m_filePath; }
  void SetFilePath(const QString& path) { m_filePath = path; }
  // The view's "原点を左下に": see ImageView::SetOriginBottom.
  void SetOriginBottom(bool bottom) { Image->SetOriginBottom(bottom); }
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

  // The marks of tools over the picture: added, or those of one group taken
  // away. A command that changes the picture (its history changes: an edit,
  // an undo) takes every mark away, as they no longer sit on what they
  // marked.
  void AddMarks(const std::vector<OverlayMark>& marks);
  void ClearMarks(int group);
  // The image point (pixel centres at integers) under (X, Y) of the shown
  // picture.
  QPointF ImagePoint(int X, int Y) const;

 signals:
  // FormClose: the window is going away; its document must be released.
  void Closed(TChild* child);
  // The cursor readout of the pixel under the mouse.
  void ReadoutChanged(const QString& text);
  // The sky position of that pixel where the header has a celestial WCS;
  // empty otherwise.
  void SkyChanged(const QString& text);
  // That pixel as FITS numbers it, "FITS (x + 1, y + 1)".
  void FitsPixelChanged(const QString& text);
  // The three above go empty: the cursor left the picture or the window
  // closed.
  // The star width at a click, and the extremes of the box it measured.
  void StarWidthMeasured(const QString& label, const QString& extremes);
  // A mouse action stopped on an error (levels that are not numbers, a
  // position that cannot be captured); the main window shows the box.
  void ErrorRaised(const QString& message);
  // The wheel asks for a zoom step about `viewport_pos` (Ctrl+wheel, or the
  // plain wheel when the picture cannot scroll that way).
  void WheelZoom(qirm::ZoomDirection direction, QPointF viewport_pos);

 public slots:
  void ImageMouseMove(int X, int Y, Qt::MouseButtons buttons = Qt::NoButton);
  void ImageMouseDown(Qt::MouseButton button, int X, int Y);
  void ImageMouseUp(Qt::MouseButton button, int X, int Y);
  // The readouts are emptied.
  void ImageMouseLeave();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The document's WCS, parsed again only when a command may have moved its
  // pixels (its history or size changed).
  const qirm::CelestialWcs* Wcs();

  qirm::ImageDocument* m_document;
  QString m_filePath;
  std::shared_ptr<qirm::CelestialWcs> m_wcs;
  std::optional<std::vector<std::string>> m_wcsHistory;  // unset: not parsed yet
  int m_wcsWidth = -1;
  int m_wcsHeight = -1;
  int m_wheelTurn = 0;                       // eighths of a degree turned and not yet zoomed
  std::vector<std::string> m_markedHistory;  // the document's history when the marks were made
};
