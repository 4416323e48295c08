// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli composite METHOD FILE... -o OUT: every FILE opened in a window of
// its own, all of them in the combine list in the given order, stacked as the
// composite command stacks them, and the window "New" saved.
#include "app/open_image.h"
#include "app/save_image.h"
#include "cli/cli.h"
#include "stack/composite.h"

namespace qirm::cli {

int CompositeVerb(const std::vector<std::string>& args) {
  if (args.empty()) return UsageError("composite needs a method: average, sum, maximum, minimum or expected");
  CompositeMethod method;
  if (!CompositeMethodFromName(args[0], method)) {
    return UsageError("unknown composite method '" + args[0] +
                      "' (average, sum, maximum, minimum or expected)");
  }
  std::vector<std::string> files;
  std::string out;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return UsageError("-o needs a file name");
      out = args[++i];
    } else if (!a.empty() && a[0] == '-') {
      return UsageError("unknown option '" + a + "'");
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) return UsageError("composite needs at least one FILE");
  if (out.empty()) return UsageError("composite needs -o OUT");
  // A FITS name keeps the window's data (a 16-bit stack its values).
  const bool fits = IsFitsName(out);
  PictureFormat format = PictureFormat::kBmp;
  if (!fits && !PictureFormatFromName(out, format))
    return Fail(out + ": cannot save in this format (use .bmp, .jpg, .png, .tif or .fits)");

  // The sources' shown pictures are read by nothing here: only their data
  // are stacked, so none is drawn (a stack of 16 large pictures would hold
  // twice the memory).
  Workspace workspace;
  for (const std::string& file : files) {
    FileType type;
    if (!FileTypeFromName(file, type)) return Fail(file + ": unknown file type");
    if (Status s = OpenImageFile(workspace, file, type, false); !s) return Fail(s.message());
  }
  std::vector<std::string> skipped;
  if (Status s = RunComposite(workspace, {CompositeCandidates(workspace), method}, skipped); !s) {
    return Fail(s.message());
  }
  const ImageDocument& result = *workspace.active();
  const Status s =
      fits ? WriteFitsWindow(out, result, result.Image) : WritePictureFile(out, result.Image, format);
  if (!s) return Fail(s.message());
  return kExitOk;
}

}  // namespace qirm::cli
