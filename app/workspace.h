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

  // Setting a level edit runs its change handler, as the toolkit's edits do.
  Status SetEdit2(const std::string& text);
  Status SetEdit3(const std::string& text);

 private:
  std::vector<std::unique_ptr<ImageDocument>> m_windows;
  ImageDocument* m_active = nullptr;
  MainTexts m_main;
};

}  // namespace qirm
