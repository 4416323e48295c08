// SPDX-License-Identifier: GPL-3.0-or-later
// A tool that takes the mouse in image windows while it is active (the
// photometry dialogs): presses, drags and releases reach it in image
// coordinates, pixel centres at integers (pixel (i, j) covers i - 0.5 ..
// i + 0.5), after the window's own readout and star width.
#pragma once

#include <QDialog>
#include <QPointF>
#include <Qt>

class TChild;

class ImageTool {
 public:
  virtual ~ImageTool() = default;
  virtual void ToolPress(TChild* child, Qt::MouseButton button, QPointF point) = 0;
  virtual void ToolMove(TChild* child, Qt::MouseButtons buttons, QPointF point) = 0;
  virtual void ToolRelease(TChild* child, Qt::MouseButton button, QPointF point) = 0;
};

// The active tool, or nullptr. Setting one replaces the previous.
ImageTool* CurrentImageTool();
void SetImageTool(ImageTool* tool);
// Clears the active tool if it is `tool` (a dialog going away).
void ReleaseImageTool(ImageTool* tool);

// A modeless dialog that is the active tool while it is shown.
class ImageToolDialog : public QDialog, public ImageTool {
 public:
  using QDialog::QDialog;
  ~ImageToolDialog() override { ReleaseImageTool(this); }

 protected:
  void showEvent(QShowEvent* event) override {
    QDialog::showEvent(event);
    SetImageTool(this);
  }
  void hideEvent(QHideEvent* event) override {
    QDialog::hideEvent(event);
    ReleaseImageTool(this);
  }
};
