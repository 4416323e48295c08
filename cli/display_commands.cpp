// SPDX-License-Identifier: GPL-3.0-or-later
// run commands that change geometry and tones: negative, mirror, flip,
// rotate, gamma=G, solarize, sabattier=S. Each runs the menu command's whole
// sequence on the active window; gamma and sabattier first pass their value
// through the dialog's OK check, so a value the dialog refuses fails with the
// dialog's message.
#include "display/display_commands.h"

#include "cli/cli.h"

namespace qirm::cli {

bool RunDisplayCommand(Workspace& ws, const std::string& name, const std::string& value, bool has_value,
                       Status& status) {
  static const char* const kPlain[] = {"negative", "mirror", "flip", "rotate", "solarize"};
  static const char* const kValued[] = {"gamma", "sabattier"};
  bool plain = false, valued = false;
  for (const char* n : kPlain) plain |= name == n;
  for (const char* n : kValued) valued |= name == n;
  if (!plain && !valued) return false;
  if (plain && has_value) {
    status = Status::Error("command '" + name + "' takes no value");
    return true;
  }
  if (valued && !has_value) {
    status = Status::Error("command '" + name + "' needs a value: " + name + "=VALUE");
    return true;
  }

  status = Status::Ok();
  ImageDocument* doc = ws.active();
  if (!doc) return true;  // as the menu: no window, nothing happens

  if (name == "negative") {
    status = NegativeCommand(*doc);
  } else if (name == "mirror") {
    status = MirrorCommand(*doc);
  } else if (name == "flip") {
    status = FlipCommand(*doc);
  } else if (name == "rotate") {
    status = RotateCommand(*doc, [&ws](int percent) { ws.main().progress = percent; });
  } else if (name == "solarize") {
    status = SolarizeCommand(*doc);
  } else if (name == "gamma") {
    const GammaParams params{value};
    if (const DialogCheck check = CheckGamma(params); !check) {
      status = Status::Error(check.message);
    } else {
      status = GammaCommand(*doc, params);
    }
  } else if (name == "sabattier") {
    const SabattierParams params{value};
    if (const DialogCheck check = CheckSabattier(params); !check) {
      status = Status::Error(check.message);
    } else {
      status = SabattierCommand(*doc, params);
    }
  }
  return true;
}

}  // namespace qirm::cli
