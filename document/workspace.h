// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's model: its image windows in order, the active one, and
// the state of the main window's controls that commands read and write. The
// desktop program mirrors this into widgets; qirm-cli drives it directly, so
// both run the same command code. The commands themselves live on the floors
// above (display/window_commands.h for levels, zoom and separation,
// app/open_image.h for opening files).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/picture.h"
#include "core/status.h"
#include "document/history.h"
#include "document/image_document.h"

namespace qirm {

// A level edit of the main window: the text it shows and the raw level it
// holds. The text is the level's physical value in the active window's
// FITS scaling (the raw level itself for every window but scaled 16-bit
// data). A text the user typed is kept as typed (" 12", "abc"); `value` is
// unset when that text is no number, and commands that need the level then
// report the conversion error for `text`.
struct LevelEdit {
  std::string text = "0";
  std::optional<int> value = 0;

  void Set(int v);                      // the program writes a level
  void Set(int v, std::string shown);   // the same, shown as `shown`
  void Type(const std::string& typed);  // the user typed an integer level
  // The value, or the standard conversion error for the text.
  Status Get(int& out) const;
};

// The main window's controls that commands use.
struct MainState {
  // The zoom box shows this factor as a percentage; unset until a window has
  // been shown.
  std::optional<double> zoom;
  LevelEdit max_edit;  // maximum display level (Edit2)
  LevelEdit min_edit;  // minimum display level (Edit3)
  int max_spin = 0;    // spin position of the maximum level (UpDown1)
  int min_spin = 0;    // spin position of the minimum level (UpDown2)
  int progress = 0;    // the progress bar, percent
};

// Spin ranges. The maximum reaches 65535 rather than 32767 so that every raw
// level of 16-bit data fits a spin position and a click never throws a
// level back to 32767.
inline constexpr int kMaxSpinMin = 0;
inline constexpr int kMaxSpinMax = 65535;
inline constexpr int kMinSpinMin = -32767;
inline constexpr int kMinSpinMax = 65535;
inline constexpr int kSpinIncrement = 10;

// The fields of a window that shows a new 24-bit picture: kind colour,
// `shown` as Image and `base` as ImageZm, levels 255 and 0, the size of
// `shown`, `channels`, zoom "1.00", not edited.
void FillPictureDocument(Picture shown, Picture base, int channels, ImageDocument& doc);

class Workspace {
 public:
  std::vector<std::unique_ptr<ImageDocument>>& windows() { return m_windows; }
  ImageDocument* active() { return m_active; }
  MainState& main() { return m_main; }
  const MainState& main() const { return m_main; }

  // Makes a new window, last in order, and activates it.
  ImageDocument& NewWindow();
  // Activates a window: the zoom box follows its zoom.
  void Activate(ImageDocument* doc);
  void Close(ImageDocument* doc);
  void CloseAll();

  // A new window showing a 24-bit picture, as the commands that make one
  // (separation, stacking) open it: FillPictureDocument with `caption`, the
  // zoom box at 100 %, the level edits set to 255 and 0 through their change
  // handler, both spins at 255 and 0.
  ImageDocument& NewPictureWindow(Picture shown, Picture base, const std::string& caption, int channels);

  // The level edits' change handlers, as the toolkit's edits run them: the
  // edit takes the text; a text that is an integer goes to the spin (within
  // its range) and to the active window's level. For a 16-bit window whose
  // scaling has fractional physical values the text is a real physical
  // level, held as the nearest raw level (FitsScaling::RawLevel); the spin
  // keeps raw positions. A text that is no integer
  // is kept in the edit and gives the conversion error (nothing else
  // changes). Without a window only the edit changes.
  Status TypeMaxLevel(const std::string& text);
  Status TypeMinLevel(const std::string& text);
  // The same for a level the program sets.
  void SetMaxLevel(int level);
  void SetMinLevel(int level);

  // The undo history kept beside a window (document/history.h); it goes with
  // the window when it closes.
  History& HistoryOf(const ImageDocument* doc);
  // The budget of the histories made from now on (tests use small ones).
  void SetUndoBudget(std::size_t bytes) { m_undo_budget = bytes; }

 private:
  std::vector<std::unique_ptr<ImageDocument>> m_windows;
  ImageDocument* m_active = nullptr;
  MainState m_main;

  Status TypeLevel(LevelEdit& edit, const std::string& text, int& level);
  std::map<const ImageDocument*, History> m_histories;
  std::size_t m_undo_budget = kUndoBudgetBytes;
};

}  // namespace qirm
