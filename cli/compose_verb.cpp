// qirm-cli compose SETTINGS.mrv -o OUT [--state] [--progress]
//                  [--tone linear|log=P|gamma=P|atan=P] [--depth 16]
//                  [--linear LINEAR.fits]: loads the settings file as the
// dialog's load button does, runs the composition as its OK button does,
// and saves the result window's picture. The settings file does not hold
// the tone curve: --tone chooses it (default atan=200, the advanced
// dialog's default). A TIFF, and a PNG with --depth 16, get 16 bits per
// channel; --linear also writes the channels before the tone curve as a
// 32-bit float FITS cube.
#include <cstdio>
#include <string>
#include <vector>

#include "app/save_image.h"
#include "cli/cli.h"
#include "core/fits_writer.h"
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
  std::string settings_path, out, linear_path;
  bool state = false, show_progress = false;
  int depth = 0;       // 0: the format's own (16 for TIFF, else 8)
  AdvancedFlags tone;  // the curve only
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return UsageError("-o needs a file name");
      out = args[++i];
    } else if (a == "--depth") {
      if (i + 1 >= args.size() || (args[i + 1] != "8" && args[i + 1] != "16"))
        return UsageError("--depth takes 8 or 16");
      depth = args[++i] == "16" ? 16 : 8;
    } else if (a == "--linear") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return UsageError("--linear needs a file name");
      linear_path = args[++i];
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
    return Fail(out + ": cannot save in this format (use .bmp, .jpg, .png or .tif)");
  if (depth == 0) depth = format == PictureFormat::kTiff ? 16 : 8;
  if (depth == 16 && format != PictureFormat::kTiff && format != PictureFormat::kPng)
    return UsageError("--depth 16 needs a .png or .tif output");

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
  options.keep_16_bits = depth == 16;
  options.keep_linear = !linear_path.empty();
  if (Status s = ComposeTricolourWith(options, settings, progress, result, &workspace.main(), notice); !s) {
    return Fail(s.message());
  }
  if (result.Image.empty()) {
    return Fail(settings_path + ": the red, green or blue list is empty, so there is nothing to compose");
  }
  ImageDocument& window = workspace.NewWindow();
  window = std::move(result);
  if (Status s = depth == 16 ? WritePicture16File(out, window.deep, format)
                             : WritePictureFile(out, window.Image, format);
      !s) {
    return Fail(s.message());
  }
  if (!linear_path.empty()) {
    FitsWriteHeader header;
    header.history.push_back("QIRM composition: channels R, G, B as they enter the tone curve");
    if (Status s = WriteFitsFloatCube(linear_path, window.Image.width(), window.Image.height(), window.linear,
                                      header);
        !s) {
      return Fail(s.message());
    }
  }
  if (state) {
    for (const auto& [key, value] : StateLines(window, workspace.main())) {
      std::printf("%s=%s\n", key.c_str(), value.c_str());
    }
  }
  return kExitOk;
}

}  // namespace qirm::cli
