// The main window's model: its image windows in order, the active one, and
// the texts of the main window's controls that commands read and write. The
// desktop program mirrors this into widgets; qirm-cli drives it directly, so
// both run the same command code.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/image_document.h"
#include "core/status.h"
#include "display/levels.h"

namespace qirm {

// Texts and positions of the main window's controls used by commands.
struct MainTexts {
  std::string Edit1;        // zoom text, "100.0%"
  std::string Edit2 = "0";  // maximum display level
  std::string Edit3 = "0";  // minimum display level
  int UpDown1 = 0;          // spin position of the maximum level
  int UpDown2 = 0;          // spin position of the minimum level
  std::string Label1 = "QIRM = ";           // star width
  std::string Label2 = "R = , G = , B = ";  // cursor readout
  int ProgressBar1 = 0;
};

// Spin ranges. The maximum reaches 65535 rather than 32767 so that every raw
// level of 16-bit data fits a spin position and a click never throws a
// level back to 32767.
inline constexpr int kUpDown1Min = 0;
inline constexpr int kUpDown1Max = 65535;
inline constexpr int kUpDown2Min = -32767;
inline constexpr int kUpDown2Max = 65535;
inline constexpr int kUpDownIncrement = 10;

enum class FileType { Bmp, Fits, Jpeg, Netpbm };

// The reader a file name asks for: .bmp; .fit .fts .fits; .jpg .jpeg;
// .pgm .ppm (any case). False for any other extension.
bool FileTypeFromName(const std::string& path, FileType& type);
std::string FileNameWithoutDirectory(const std::string& path);

class Workspace {
 public:
  std::vector<std::unique_ptr<ImageDocument>>& windows() { return m_windows; }
  ImageDocument* active() { return m_active; }
  MainTexts& main() { return m_main; }
  const MainTexts& main() const { return m_main; }

  // Makes a new window, last in order, and activates it.
  ImageDocument& NewWindow();
  void Activate(ImageDocument* doc);  // FormActivate: refreshes Edit1
  void Close(ImageDocument* doc);

  // Opens one file as the open command does: one new window, the texts of
  // the main window set. On failure nothing is added.
  Status Open(const std::string& path, FileType type);

  // Setting a level edit runs its change handler, as the toolkit's edits do:
  // the value goes to the spin button and to the active window's MAX / MIN.
  Status SetEdit2(const std::string& text);
  Status SetEdit3(const std::string& text);

  // "H" and "L": colour windows change their gain by 1.1 or 1/1.1, 16-bit
  // windows narrow or widen the level window (span x 0.8 or 1.2) from the
  // levels in Edit2 / Edit3. Other kinds: nothing.
  Status ContrastUp();
  Status ContrastDown();

  // A click on a spin button's arrow (direction +1 or -1): the level steps by
  // the increment when the spin was at the window's level, otherwise the spin
  // is only brought to it; 16-bit windows are drawn again.
  enum class Spin { Maximum, Minimum };
  Status SpinClick(Spin spin, int direction);

  // "+" and "-": the zoom factor of the active window doubles or halves
  // between 1/16 and 16; Edit1 and ZomN follow. changed is false at a limit
  // or without a window.
  Status Zoom(ZoomDirection direction, bool& changed);

  // Colour separation: three grey windows "Blue", "Green", "Red" from the
  // base picture of the active colour window; "Red" ends active. False when
  // there was nothing to separate.
  bool Separate();
  void CloseAll();

 private:
  std::vector<std::unique_ptr<ImageDocument>> m_windows;
  Status ContrastStep(double colour_factor, double span_factor);
  ImageDocument* m_active = nullptr;
  MainTexts m_main;
};

}  // namespace qirm
