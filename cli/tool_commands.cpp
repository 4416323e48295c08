// SPDX-License-Identifier: GPL-3.0-or-later
// run commands of the analysis tools: background=plane|poly2|poly3[,BOX],
// resample=FACTOR[,METHOD] or resample=WxH[,METHOD], and
// curve=X1:Y1,X2:Y2,...[,r|g|b]. Values pass the dialogs' checks first, so a
// value a dialog refuses fails with the dialog's message. Resampling makes a
// new window (the dialog's default), which becomes the active one.
#include "cli/cli.h"
#include "display/resample.h"
#include "display/tone_curve.h"
#include "filters/background.h"
#include "filters/debayer_command.h"

namespace qirm::cli {

bool RunToolCommand(Workspace& ws, const std::string& name, const std::string& value, bool has_value,
                    Status& status) {
  if (name != "background" && name != "resample" && name != "curve" && name != "debayer") return false;
  if (name == "debayer") {
    DebayerParams params;
    status = ParseDebayerText(has_value ? value : "", params);
    if (status && ws.active()) status = DebayerCommand(*ws.active(), params);
    // The colour window's levels are new: the level edits show them.
    if (status && ws.active()) {
      ws.SetMaxLevel(ws.active()->max_level);
      ws.SetMinLevel(ws.active()->min_level);
    }
    return true;
  }
  if (!has_value || value.empty()) {
    status = Status::Error("command '" + name + "' needs a value: " + name + "=VALUE");
    return true;
  }
  status = Status::Ok();
  ImageDocument* doc = ws.active();
  if (name == "background") {
    const std::size_t comma = value.find(',');
    BackgroundParams params;
    status = ParseBackgroundParams(
        value.substr(0, comma),
        comma == std::string::npos ? std::to_string(kDefaultBackgroundBox) : value.substr(comma + 1), params);
    if (status && doc) status = BackgroundCommand(*doc, params);
  } else if (name == "curve") {
    ToneCurveParams params;
    status = ParseCurveText(value, params);
    if (status && doc) status = ToneCurveCommand(*doc, params);
  } else {
    ResampleParams params;
    status = ParseResampleText(value, doc ? DataWidth(*doc) : 1, doc ? DataHeight(*doc) : 1, params);
    if (status) status = ResampleToNewWindow(ws, params);
  }
  return true;
}

}  // namespace qirm::cli
