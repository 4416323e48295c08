// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/program_info.h"
#include "cli/cli.h"
#include "core/printable.h"

namespace qirm::cli {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "usage:\n"
      "  qirm-cli run FILE... [--type bmp|fits|jpeg|netpbm|tiff|png|raw] [--plane N] [COMMAND ...]\n"
      "               [-o OUT] [--base OUT] [--save-all DIR] [--state]\n"
      "  qirm-cli measure FILE X Y [--zoom Z] [--button left|right|middle]\n"
      "  qirm-cli header FILE\n"
      "  qirm-cli composite average|sum|maximum|minimum|expected FILE... -o OUT\n"
      "  qirm-cli spectrum FILE -o DATAFILE [--plot PNG]\n"
      "  qirm-cli compose SETTINGS.mrv -o OUT [--state] [--progress]\n"
      "               [--tone linear|log=P|gamma=P|atan=P] [--depth 16]\n"
      "               [--linear LINEAR.fits]\n"
      "  qirm-cli compose SETTINGS.mrv... -o FOLDER [--format bmp|jpg|png|tif]\n"
      "               [--jobs N] [--tone ...] [--depth 16] [--linear FOLDER]\n"
      "  qirm-cli photometry FILE X Y [--aperture R] [--annulus RIN,ROUT]\n"
      "               [--zero-point ZP] [--gain G] [--read-noise N] [--csv POSITIONS]\n"
      "               [--progress]\n"
      "  qirm-cli trail FILE X1 Y1 X2 Y2 [--width W] [--sky-gap G] -o PROFILE\n"
      "  qirm-cli --version\n"
      "  qirm-cli --help | VERB --help\n"
      "\n"
      "run: opens each FILE in a window of its own, runs the COMMANDs on the\n"
      "active window left to right, then saves or prints what was asked.\n"
      "  --state   prints Caption, FilterI, DemX, DemY, ColN, ZomN, UndoFlg,\n"
      "            Contrast, Average, Minimum, MAX, MIN, Edit1, Edit2, Edit3\n"
      "photometry: measures the star nearest (X, Y) (image pixels; a colour\n"
      "picture in its green channel) and prints X, Y, FLUX, FLUX_ERR, SKY,\n"
      "SKY_SIGMA, SNR, MAG, MAG_ERR, PEAK, FWHM_GAUSS, FWHM_MOFFAT, MOFFAT_BETA,\n"
      "ELLIPTICITY, THETA as KEY=VALUE lines; --csv reads X,Y lines and prints\n"
      "a CSV table of those columns, each row as soon as it is measured (a line\n"
      "that is no position, or a star that cannot be measured, is named on\n"
      "standard error and gives no row); --progress prints the per cent done\n"
      "to standard error. Defaults: aperture 6, annulus 10,15,\n"
      "zero point 25, gain 1, read noise 0 (the header's GAIN/EGAIN and\n"
      "RDNOISE where it has them).\n"
      "trail: the flux in a band of width W (default 5) along the segment less\n"
      "the sky of two bands G (default 3) beside it; writes the profile (flux\n"
      "per pixel of length) to PROFILE and prints LENGTH, FLUX, SKY, SKY_SIGMA.\n"
      "  tools:    background=plane|poly2|poly3[,BOX]\n"
      "            resample=FACTOR[,METHOD] | resample=WxH[,METHOD] (a new window;\n"
      "            METHOD nearest, bilinear, bicubic, lanczos3 (default), area)\n"
      "            curve=X1:Y1,X2:Y2,...[,r|g|b] (values 0..255, raw 0..65535)\n"
      "exit status: 0 success, 1 failure (one line on standard error),\n"
      "2 wrong arguments.\n",
      out);
}

int Fail(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "qirm-cli: %s\n", PrintableText(message).c_str());
  return kExitFailure;
}

int UsageError(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "qirm-cli: %s\n", PrintableText(message).c_str());
  PrintUsage(stderr);
  return kExitUsage;
}

}  // namespace qirm::cli

using namespace qirm::cli;

namespace {

int RunVerbOf(const std::vector<std::string>& args) {
  if (args.empty()) return UsageError("no verb given");
  const std::string verb = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (verb == "--help" || verb == "-h" || verb == "help") {
    PrintUsage(stdout);
    return kExitOk;
  }
  for (const std::string& a : rest) {
    if (a == "--help" || a == "-h") {
      PrintUsage(stdout);
      return kExitOk;
    }
  }
  if (verb == "--version") {
    if (!rest.empty()) return UsageError("--version takes no arguments");
    std::fputs(qirm::VersionReport("qirm-cli").c_str(), stdout);
    return kExitOk;
  }
  if (verb == "run") return RunVerb(rest);
  if (verb == "measure") return MeasureVerb(rest);
  if (verb == "header") return HeaderVerb(rest);
  if (verb == "composite") return CompositeVerb(rest);
  if (verb == "spectrum") return SpectrumVerb(rest);
  if (verb == "compose") return ComposeVerb(rest);
  if (verb == "photometry") return PhotometryVerb(rest);
  if (verb == "trail") return TrailVerb(rest);
  return UsageError("unknown verb '" + verb + "'");
}

}  // namespace

// Whatever a verb could not allocate (sizes the checks before it did not
// foresee, a limit set on the process) ends it with the error line, never
// with an abort.
int main(int argc, char** argv) {
  try {
    return RunVerbOf(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::bad_alloc&) {
    return Fail("not enough memory for this command");
  } catch (const std::length_error&) {
    return Fail("not enough memory for this command (a size beyond what can be allocated)");
  } catch (const std::exception& e) {
    return Fail(std::string("internal error: ") + e.what());
  }
}
