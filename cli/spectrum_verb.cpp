// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli spectrum FILE -o DATAFILE [--plot PICTURE]: the spectrum command on
// FILE's window, with the data file at DATAFILE instead of its fixed place,
// and the plot window's picture after this one trace.
#include "app/open_image.h"
#include "app/save_image.h"
#include "cli/cli.h"
#include "stack/spectrum.h"

namespace qirm::cli {

int SpectrumVerb(const std::vector<std::string>& args) {
  std::string file;
  std::string data;
  std::string plot_path;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" || a == "--plot") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return UsageError(a + " needs a file name");
      (a == "-o" ? data : plot_path) = args[++i];
    } else if (!a.empty() && a[0] == '-') {
      return UsageError("unknown option '" + a + "'");
    } else if (file.empty()) {
      file = a;
    } else {
      return UsageError("spectrum takes one FILE");
    }
  }
  if (file.empty()) return UsageError("spectrum needs a FILE");
  if (data.empty()) return UsageError("spectrum needs -o DATAFILE");
  PictureFormat format = PictureFormat::kPng;
  if (!plot_path.empty() && !PictureFormatFromName(plot_path, format)) {
    return Fail(plot_path + ": cannot save in this format (use .bmp, .jpg, .png or .tif)");
  }

  Workspace workspace;
  FileType type;
  if (!FileTypeFromName(file, type)) return Fail(file + ": unknown file type");
  if (Status s = OpenImageFile(workspace, file, type); !s) return Fail(s.message());

  Picture plot(kPlotWidth, kPlotHeight);
  std::optional<SpectrumRange> range;
  Status written;
  TraceSpectrum(workspace.active(), plot, range, data, false, written);
  if (!written) return Fail(written.message());
  if (!plot_path.empty()) {
    if (Status s = WritePictureFile(plot_path, plot, format); !s) return Fail(s.message());
  }
  return kExitOk;
}

}  // namespace qirm::cli
