// SPDX-License-Identifier: GPL-3.0-or-later
// What a dialog that makes image windows needs from the main window: showing
// a new document as the active image window, the level and zoom texts, the
// progress bar and an owner for its message boxes. The tri-colour dialog
// works through this and never reaches into the main window's children.
#pragma once

class QWidget;

namespace qirm {
struct ImageDocument;
struct MainState;
}  // namespace qirm

// How a new image window is sized in the main window's client area C. The
// multiple-document area chooses its top-left corner. Where a size is taken
// from C, it is never less than 100 by 80, however small C is.
enum class ResultWindowSize {
  // Holds the zoomed picture, but reaches no further than C's right and
  // bottom edges (larger pictures scroll): opened BMP and JPEG files,
  // separation, composite.
  kFitPicture,
  // Reaches C's right and bottom edges: opened FITS and Netpbm files.
  kFitClient,
  // The window, frame included, is C less 20 by 100: a tri-colour result.
  kComposition,
  // The picture area, without the frame, is C less 50 by 100: a frame opened
  // for picking reference stars.
  kStarPicking,
};

class ResultWindowHost {
 public:
  virtual ~ResultWindowHost() = default;

  // Adds `doc` to the workspace as its new, active window and shows it: a new
  // image window sized by `size`, activated, the main texts written into the
  // controls.
  virtual void ShowResultWindow(qirm::ImageDocument&& doc, ResultWindowSize size) = 0;
  // The level and zoom texts of the main window, which some results set.
  virtual qirm::MainState& Texts() = 0;
  // Writes the texts into the controls.
  virtual void SyncTexts() = 0;
  // The progress bar, 0..100, painted at once.
  virtual void SetProgress(int percent) = 0;
  // The owner of message boxes shown on the main window's behalf.
  virtual QWidget* HostWindow() = 0;
};
