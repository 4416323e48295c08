// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "app/save_image.h"
#include "cli/cli.h"
#include "core/numbers.h"
#include "display/level_presets.h"
#include "display/levels.h"
#include "display/window_commands.h"
#include "document/history.h"
#include "document/state_texts.h"
#include "document/workspace.h"

namespace qirm::cli {
namespace {

struct RunArgs {
  std::vector<std::string> files;
  std::vector<std::string> commands;
  bool has_type = false;
  FileType type = FileType::Fits;
  long long plane = -1;  // --plane N: N - 1
  bool state = false;
  std::string out;       // -o
  std::string base_out;  // --base
  std::string save_all;  // --save-all
};

bool IsCommandWord(const std::string& word) {
  static const char* const kPlain[] = {"debayer",  "negative", "mirror",      "flip",          "rotate",
                                       "solarize", "edge",     "blur",        "highpass",      "lowpass",
                                       "bloom",    "separate", "contrast-up", "contrast-down", "zoom-in",
                                       "zoom-out", "undo",     "redo"};
  static const char* const kValued[] = {
      "gamma=", "sabattier=", "edge=",       "blur=",     "coma=",  "gmc=",    "max=",
      "min=",   "levels=",    "background=", "resample=", "curve=", "debayer="};
  for (const char* w : kPlain)
    if (word == w) return true;
  for (const char* w : kValued)
    if (word.rfind(w, 0) == 0) return true;
  return false;
}

bool ParseType(const std::string& name, FileType& type) {
  if (name == "bmp")
    type = FileType::Bmp;
  else if (name == "fits")
    type = FileType::Fits;
  else if (name == "jpeg")
    type = FileType::Jpeg;
  else if (name == "netpbm")
    type = FileType::Netpbm;
  else if (name == "tiff")
    type = FileType::Tiff;
  else if (name == "png")
    type = FileType::Png;
  else if (name == "raw")
    type = FileType::Raw;
  else
    return false;
  return true;
}

void PrintState(Workspace& workspace) {
  for (const auto& [key, value] : StateLines(*workspace.active(), workspace.main())) {
    std::printf("%s=%s\n", key.c_str(), value.c_str());
  }
}

// Saves a picture of the window at path in the format of its extension; a
// shown picture saved as BMP retitles the window, as the save command does.
// FITS names write the window's data (a 16-bit window's values whatever the
// picture) and retitle it as BMP does.
Status SaveShown(ImageDocument& doc, const Picture& picture, const std::string& path, bool retitle) {
  if (IsFitsName(path)) {
    if (Status s = WriteFitsWindow(path, doc, picture); !s) return s;
    if (retitle) doc.caption = FileNameWithoutDirectory(path);
    return Status::Ok();
  }
  PictureFormat format;
  if (!PictureFormatFromName(path, format)) {
    return Status::Error(path + ": cannot save in this format (use .bmp, .jpg, .png, .tif or .fits)");
  }
  // A colour window of depth 16 keeps its values in 16-bit PNG and TIFF
  // files; its shown picture goes elsewhere.
  if (doc.kind == WindowKind::kDeepColour && doc.depth == 16 && &picture == &doc.Image &&
      (format == PictureFormat::kPng || format == PictureFormat::kTiff)) {
    if (Status s = WritePicture16File(path, DeepColourSamples(doc), format); !s) return s;
    return Status::Ok();
  }
  if (Status s = WritePictureFile(path, picture, format); !s) return s;
  if (retitle && format == PictureFormat::kBmp) doc.caption = FileNameWithoutDirectory(path);
  return Status::Ok();
}

// The Edit menu's name of the step a command leaves, the menu caption
// without its accelerator; nullptr for the commands that do not change a
// window's picture (levels, zoom, separation into new windows).
const char* UndoName(const std::string& name) {
  static const char* const kNames[][2] = {{"negative", "ネガ反転"},
                                          {"mirror", "左右反転"},
                                          {"flip", "上下反転"},
                                          {"rotate", "回転"},
                                          {"gamma", "ガンマ"},
                                          {"solarize", "ソラリゼーション"},
                                          {"sabattier", "サバチエ効果"},
                                          {"edge", "エッジ強調"},
                                          {"blur", "ぼかし"},
                                          {"highpass", "ハイパス効果"},
                                          {"lowpass", "ローパス効果"},
                                          {"bloom", "ブルーミング除去"},
                                          {"coma", "コマコレクト処理"},
                                          {"gmc", "ガイドミスキャンセラ"},
                                          {"background", "背景傾斜"},
                                          {"curve", "トーンカーブ"},
                                          {"debayer", "デベイヤー"}};
  for (const auto& entry : kNames)
    if (name == entry[0]) return entry[1];
  return nullptr;
}

// levels=MIN,MAX types both level edits; levels=PRESET is the levels panel's
// preset button.
Status LevelsCommand(Workspace& ws, const std::string& value) {
  LevelPreset preset;
  if (ParseLevelPreset(value, preset)) return ApplyLevelPreset(ws, preset);
  const std::size_t comma = value.find(',');
  if (comma == std::string::npos || value.find(',', comma + 1) != std::string::npos) {
    return Status::Error("levels=" + value + ": use levels=MIN,MAX or levels=auto|minmax|zscale|99.5|99");
  }
  return TypeLevels(ws, value.substr(0, comma), value.substr(comma + 1));
}

// One COMMAND on the active window, as the menu command or control of the
// same name does.
Status RunCommand(Workspace& ws, const std::string& command) {
  const std::size_t eq = command.find('=');
  const std::string name = command.substr(0, eq);
  const std::string value = eq == std::string::npos ? "" : command.substr(eq + 1);
  bool changed = false;
  if (name == "contrast-up") return ContrastUp(ws);
  if (name == "contrast-down") return ContrastDown(ws);
  if (name == "max") return ws.TypeMaxLevel(value);
  if (name == "min") return ws.TypeMinLevel(value);
  if (name == "levels") return LevelsCommand(ws, value);
  if (name == "zoom-in") return Zoom(ws, ZoomDirection::In, changed);
  if (name == "zoom-out") return Zoom(ws, ZoomDirection::Out, changed);
  if (name == "separate") return Separate(ws);
  const bool has_value = eq != std::string::npos;
  if (name == "resample") {
    Status status;
    RunToolCommand(ws, name, value, has_value, status);
    return status;
  }
  if (name == "undo" || name == "redo") {
    // Nothing to undo (or a step too large for the budget) leaves the window
    // as it is, as the disabled menu item does.
    if (name == "undo")
      UndoActive(ws);
    else
      RedoActive(ws);
    return Status::Ok();
  }
  if (const char* undo_name = UndoName(name)) {
    // The commands act on the active window, the document RunWithUndo hands
    // over.
    Status status;
    return RunWithUndo(ws, undo_name, [&](ImageDocument&) {
      if (!RunDisplayCommand(ws, name, value, has_value, status) &&
          !RunFilterCommand(ws, name, value, has_value, status))
        RunToolCommand(ws, name, value, has_value, status);
      return status;
    });
  }
  return Status::Error("command '" + command + "' is not available in this version");
}

}  // namespace

int RunVerb(const std::vector<std::string>& args) {
  RunArgs run;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    if (a == "--type") {
      std::string name;
      if (!value(name) || !ParseType(name, run.type))
        return UsageError("--type needs bmp, fits, jpeg, netpbm, tiff, png or raw");
      run.has_type = true;
    } else if (a == "--plane") {
      std::string text;
      int n = 0;
      if (!value(text) || !ParseInt(text, n) || n < 1)
        return UsageError("--plane needs a plane number from 1");
      run.plane = n - 1;
    } else if (a == "--state") {
      run.state = true;
    } else if (a == "-o" || a == "--base" || a == "--save-all") {
      std::string& target = a == "-o" ? run.out : a == "--base" ? run.base_out : run.save_all;
      if (!value(target) || target.empty()) return UsageError(a + " needs a file or folder name");
    } else if (!a.empty() && a[0] == '-') {
      return UsageError("unknown option '" + a + "'");
    } else if (run.commands.empty() && !IsCommandWord(a)) {
      run.files.push_back(a);
    } else if (IsCommandWord(a)) {
      run.commands.push_back(a);
    } else {
      return UsageError("unknown command '" + a + "'");
    }
  }
  if (run.files.empty()) return UsageError("run needs at least one FILE");

  // Only the state asked for: no shown picture is read, so none is drawn.
  const bool shown =
      !run.commands.empty() || !run.out.empty() || !run.base_out.empty() || !run.save_all.empty();
  Workspace workspace;
  for (const std::string& file : run.files) {
    FileType type = run.type;
    if (!run.has_type && !FileTypeFromName(file, type)) {
      return Fail(file + ": unknown file type (use --type)");
    }
    if (Status s = OpenImageFile(workspace, file, type, shown, run.plane); !s) return Fail(s.message());
  }
  for (const std::string& command : run.commands) {
    if (Status s = RunCommand(workspace, command); !s) return Fail(s.message());
  }
  if (!run.out.empty()) {
    if (Status s = SaveShown(*workspace.active(), workspace.active()->Image, run.out, true); !s)
      return Fail(s.message());
  }
  if (!run.base_out.empty()) {
    // A 16-bit window's base picture is the high bytes of its raw values; a
    // float window has none but the picture it shows.
    ImageDocument& active = *workspace.active();
    Picture high;
    if (active.kind == WindowKind::kRaw16) high = HighBytePicture(active.raw);
    const Picture& base = active.kind == WindowKind::kRaw16 ? high
                          : HasFloatValues(active)          ? active.Image
                                                            : active.ImageZm;
    if (Status s = SaveShown(active, base, run.base_out, false); !s) {
      return Fail(s.message());
    }
  }
  if (!run.save_all.empty()) {
    int n = 0;
    for (const auto& window : workspace.windows()) {
      char prefix[16];
      std::snprintf(prefix, sizeof prefix, "%02d-", ++n);
      std::string caption = window->caption;
      for (char& c : caption)
        if (c == '/') c = '_';
      const std::string path = run.save_all + "/" + prefix + caption + ".bmp";
      if (Status s = WritePictureFile(path, window->Image, PictureFormat::kBmp); !s) return Fail(s.message());
    }
  }
  if (run.state) PrintState(workspace);
  return kExitOk;
}

}  // namespace qirm::cli
