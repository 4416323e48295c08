// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli compose SETTINGS.mrv -o OUT [--state] [--progress]
//                  [--tone linear|log=P|gamma=P|atan=P] [--depth 16]
//                  [--linear LINEAR.fits]: loads the settings file as the
// dialog's load button does, runs the composition as its OK button does,
// and saves the result window's picture. The settings file does not hold
// the tone curve: --tone chooses it (default atan=200, the advanced
// dialog's default). A TIFF, and a PNG with --depth 16, get 16 bits per
// channel; --linear also writes the channels before the tone curve as a
// 32-bit float FITS cube.
//
// qirm-cli compose A.mrv B.mrv ... -o DIR [--format bmp|jpg|png|tif]
//                  [--jobs N] [--tone ...] [--depth 16] [--linear LDIR]:
// one composition per settings file, each in a process of its own (this
// program run again with the one-file form), N at a time; each result is
// DIR/NAME.EXT, NAME the settings file's name without its extension.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
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

extern "C" char** environ;

// A folder for the batch's outputs: made when missing.
Status MakeFolder(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (!std::filesystem::is_directory(path, ec)) return Status::Error(path + ": cannot make this folder");
  return Status::Ok();
}

// Runs `command` lines, at most `jobs` at a time, each as this program with
// those arguments; the number that failed (each has said why on standard
// error).
int RunChildren(const std::vector<std::vector<std::string>>& commands, int jobs) {
  std::string self = "/proc/self/exe";
  {
    std::error_code ec;
    const auto resolved = std::filesystem::read_symlink(self, ec);
    if (!ec) self = resolved.string();
  }
  int failed = 0, running = 0;
  std::size_t next = 0;
  std::fflush(stdout);
  std::fflush(stderr);
  while (next < commands.size() || running > 0) {
    if (next < commands.size() && running < jobs) {
      std::vector<char*> argv;
      argv.push_back(self.data());
      std::vector<std::string> args = commands[next];
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      pid_t pid = 0;
      if (const int e = posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ); e != 0) {
        std::fprintf(stderr, "qirm-cli: %s: cannot start a composition (%s)\n", args[1].c_str(),
                     std::strerror(e));
        ++failed;
      } else {
        ++running;
      }
      ++next;
      continue;
    }
    int status = 0;
    const pid_t done = ::wait(&status);
    if (done < 0) {
      if (errno == EINTR) continue;
      break;
    }
    --running;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
  }
  return failed;
}

}  // namespace

// Several settings files: checked here, composed by children (see the top).
int ComposeBatch(const std::vector<std::string>& settings_paths, const std::string& out_folder,
                 const std::string& format_name, const std::string& linear_folder,
                 const std::vector<std::string>& passed_on, int jobs) {
  if (out_folder.empty()) return UsageError("compose needs -o FOLDER with several settings files");
  PictureFormat format;
  if (!PictureFormatFromName("x." + format_name, format))
    return UsageError("--format takes bmp, jpg, png or tif");
  std::set<std::string> names;
  std::vector<std::vector<std::string>> commands;
  for (const std::string& path : settings_paths) {
    const std::string name = std::filesystem::path(path).stem().string();
    if (name.empty()) return UsageError("'" + path + "' has no name to give its result");
    if (!names.insert(name).second)
      return UsageError("two settings files are named '" + name + "': their results would have one name");
    std::vector<std::string> c = {"compose", path, "-o",
                                  (std::filesystem::path(out_folder) / (name + "." + format_name)).string()};
    if (!linear_folder.empty()) {
      c.push_back("--linear");
      c.push_back((std::filesystem::path(linear_folder) / (name + ".fits")).string());
    }
    c.insert(c.end(), passed_on.begin(), passed_on.end());
    commands.push_back(std::move(c));
  }
  if (Status s = MakeFolder(out_folder); !s) return Fail(s.message());
  if (!linear_folder.empty())
    if (Status s = MakeFolder(linear_folder); !s) return Fail(s.message());
  const int failed = RunChildren(commands, jobs);
  if (failed > 0) {
    return Fail(FormatInt(failed) + " of " + FormatInt(static_cast<long long>(commands.size())) +
                " compositions failed");
  }
  return kExitOk;
}

int ComposeVerb(const std::vector<std::string>& args) {
  std::string settings_path, out, linear_path;
  std::vector<std::string> settings_paths;
  std::vector<std::string> passed_on;  // --tone and --depth, for a batch's children
  std::string format_name;
  int jobs = 0;
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
      passed_on.insert(passed_on.end(), {"--depth", args[i]});
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
      passed_on.insert(passed_on.end(), {"--tone", args[++i]});
    } else if (a == "--jobs") {
      int n = 0;
      if (i + 1 >= args.size() || !ParseInt(args[i + 1], n) || n < 1 || n > 256)
        return UsageError("--jobs takes a number of compositions at a time, 1..256");
      jobs = n;
      ++i;
    } else if (a == "--format") {
      if (i + 1 >= args.size()) return UsageError("--format takes bmp, jpg, png or tif");
      format_name = args[++i];
    } else if (!a.empty() && a[0] == '-') {
      return UsageError("unknown option '" + a + "'");
    } else {
      settings_paths.push_back(a);
    }
  }
  if (settings_paths.size() > 1) {
    if (state || show_progress) return UsageError("--state and --progress take one settings file");
    return ComposeBatch(settings_paths, out, format_name.empty() ? "png" : format_name, linear_path,
                        passed_on, jobs > 0 ? jobs : 1);
  }
  if (!format_name.empty()) return UsageError("--format is for several settings files; one takes -o OUT");
  if (!settings_paths.empty()) settings_path = settings_paths[0];
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
