// SPDX-License-Identifier: GPL-3.0-or-later
// run commands of the filters: edge[=STRENGTH], blur[=AMOUNT], highpass,
// lowpass, bloom, coma=X,Y,AMOUNT, gmc=DIRECTION,FLOW,BLUR,THRESHOLD.
//
// Each is the menu command of the same name with its dialog answered: a
// value is typed into the dialog and OK pressed, so the dialog's check
// applies and its refusal is the error; without a value OK is pressed on
// the dialog as it stands, so the command runs with the setting last
// accepted in this run (the dialogs' defaults at first). gmc keeps its blur
// amount apart from blur's, as the program's panel does.
#include "filters/filter_commands.h"

#include <algorithm>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace qirm::cli {
namespace {

// What the filter dialogs hold. One run verb runs per process, so the
// settings live as long as the program's dialogs would.
FilterSettings& Settings() {
  static FilterSettings settings;
  return settings;
}

// The guide-miss panel's own blur amount.
double& GmcBlurAmount() {
  static double amount = 0.2;
  return amount;
}

std::vector<std::string> SplitAtCommas(const std::string& value) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = value.find(',', start);
    parts.push_back(value.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

FilterProgress ProgressOf(Workspace& ws) {
  return [&ws](int value) { ws.main().progress = std::clamp(value, 0, 100); };
}

Status RunNamed(Workspace& ws, ImageDocument& doc, const std::string& name, const std::string& value,
                bool has_value) {
  FilterSettings& settings = Settings();
  if (name == "edge") {
    if (has_value) {
      const DialogCheck check = CheckEdgeStrength(value);
      if (!check) return Status::Error(check.message);
      settings.edge_strength = check.value;
    }
    return EdgeCommand(doc, settings.edge_strength, ProgressOf(ws));
  }
  if (name == "blur") {
    if (has_value) {
      const DialogCheck check = CheckBlurAmount(value);
      if (!check) return Status::Error(check.message);
      settings.blur_amount = check.value;
    }
    return BlurCommand(doc, settings.blur_amount, ProgressOf(ws));
  }
  if (name == "highpass") return HighPassCommand(doc, ProgressOf(ws));
  if (name == "lowpass") return LowPassCommand(doc, ProgressOf(ws));
  if (name == "bloom") return BloomCommand(doc, ProgressOf(ws));
  if (name == "coma") {
    const std::vector<std::string> parts = SplitAtCommas(value);
    if (parts.size() != 3) return Status::Error("coma needs X,Y,AMOUNT");
    ComaParams params;
    if (Status s = ParseComaTexts(parts[0], parts[1], parts[2], params); !s) return s;
    return ComaCommand(doc, params);
  }
  // gmc
  const std::vector<std::string> parts = SplitAtCommas(value);
  if (parts.size() != 4) return Status::Error("gmc needs DIRECTION,FLOW,BLUR,THRESHOLD");
  GmcTexts texts{parts[0], parts[1], parts[2], parts[3]};
  FilterSettings panel = settings;
  panel.blur_amount = GmcBlurAmount();
  if (Status s = AcceptGmcTexts(texts, panel); !s) return s;
  settings.gmc = panel.gmc;
  settings.gmc_accepted = panel.gmc_accepted;
  GmcBlurAmount() = panel.blur_amount;
  return GmcCommand(doc, settings.gmc, GmcBlurAmount());
}

}  // namespace

bool RunFilterCommand(Workspace& ws, const std::string& name, const std::string& value, bool has_value,
                      Status& status) {
  static const char* const kNames[] = {"edge", "blur", "highpass", "lowpass", "bloom", "coma", "gmc"};
  if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) return false;
  ImageDocument* doc = ws.active();
  status = doc ? RunNamed(ws, *doc, name, value, has_value) : Status::Ok();
  return true;
}

}  // namespace qirm::cli
