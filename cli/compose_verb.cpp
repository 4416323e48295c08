// qirm-cli compose SETTINGS.mrv -o OUT [--state] [--progress]
//                  [--tone linear|log=P|gamma=P|atan=P]: loads the settings
// file as the dialog's load button does, runs the composition as its OK
// button does, and saves the result window's picture. The settings file
// does not hold the tone curve: --tone chooses it (default atan=200, the
// advanced dialog's default).
#include <cstdio>
#include <string>
#include <vector>

#include "app/save_image.h"
#include "cli/cli.h"
#include "core/numbers.h"
#include "document/state_texts.h"
#include "document/workspace.h"
#include "tricolour/compose.h"
#include "tricolour/compose_options.h"
#include "tricolour/settings_file.h"

namespace qirm::cli {
namespace {

// "linear", "log=P", "gamma=P" or "atan=P".
bool ParseTone(const std::string& text, AdvancedFlags& flags) {
  if (text == "linear") {
    flags.Tone = ToneKind::kLinear;
    return true;
  }
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return false;
  const std::string name = text.substr(0, eq);
  double parameter = 0;
  if (!ParseReal(text.substr(eq + 1), parameter)) return false;
  if (name == "log") {
    flags.Tone = ToneKind::kLog;
    flags.ToneLogParameter = parameter;
  } else if (name == "gamma") {
    flags.Tone = ToneKind::kGamma;
    flags.ToneGammaParameter = parameter;
  } else if (name == "atan") {
    flags.Tone = ToneKind::kAtan;
    flags.ToneAtanParameter = parameter;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int ComposeVerb(const std::vector<std::string>& args) {
  std::string settings_path, out;
  bool state = false, show_progress = false;
  AdvancedFlags tone;  // the curve only
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return UsageError("-o needs a file name");
      out = args[++i];
    } else if (a == "--state") {
      state = true;
    } else if (a == "--progress") {
      show_progress = true;
    } else if (a == "--tone") {
      if (i + 1 >= args.size() || !ParseTone(args[i + 1], tone))
        return UsageError("--tone takes linear, log=P, gamma=P or atan=P");
      ++i;
    } else if (!a.empty() && a[0] == '-') {
      return UsageError("unknown option '" + a + "'");
    } else if (settings_path.empty()) {
      settings_path = a;
    } else {
      return UsageError("compose takes one settings file");
    }
  }
  if (settings_path.empty()) return UsageError("compose needs a settings file (.mrv)");
  if (out.empty()) return UsageError("compose needs -o OUT");
  PictureFormat format;
  if (!PictureFormatFromName(out, format))
    return Fail(out + ": cannot save in this format (use .bmp, .jpg or .png)");

  // The dialog as it is at start-up, then the file loaded into it.
  CompositionSettings settings;
  if (Status s = LoadCompositionSettings(settings_path, settings); !s) return Fail(s.message());
  settings.Advanced.Tone = tone.Tone;
  settings.Advanced.ToneLogParameter = tone.ToneLogParameter;
  settings.Advanced.ToneGammaParameter = tone.ToneGammaParameter;
  settings.Advanced.ToneAtanParameter = tone.ToneAtanParameter;

  Workspace workspace;
  ImageDocument result;
  const auto progress = [&](int value) {
    workspace.main().progress = value;
    if (show_progress) std::fprintf(stderr, "%d\n", value);
  };
  const auto notice = [](const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "qirm-cli: %s\n", message.c_str());
  };
  // No window shows the result here, so its shown copy is not made.
  ComposeOptions options;
  options.display_copy = false;
  if (Status s = ComposeTricolourWith(options, settings, progress, result, &workspace.main(), notice); !s) {
    return Fail(s.message());
  }
  if (result.Image.empty()) {
    return Fail(settings_path + ": the red, green or blue list is empty, so there is nothing to compose");
  }
  ImageDocument& window = workspace.NewWindow();
  window = std::move(result);
  if (Status s = WritePictureFile(out, window.Image, format); !s) return Fail(s.message());
  if (state) {
    for (const auto& [key, value] : StateLines(window, workspace.main())) {
      std::printf("%s=%s\n", key.c_str(), value.c_str());
    }
  }
  return kExitOk;
}

}  // namespace qirm::cli
