// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli photometry FILE X Y [...] [--csv POSITIONS] [--progress] and
// qirm-cli trail FILE X1 Y1 X2 Y2 [--width W] [--sky-gap G] -o PROFILE: the
// two photometry tools on FILE's window. A colour picture is measured in its
// green channel, as the star width measures it.
//
// A list is read whole first and every line that is no position is named
// before anything is measured; the table's rows then follow as the stars
// are measured, in the list's order, and a star that cannot be measured is
// named where its row would be. Neither kind of line gives a row, nothing
// else is lost, and the exit status is 1 when any line was named.
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "cli/cli.h"
#include "core/file_bytes.h"
#include "core/file_write.h"
#include "core/numbers.h"
#include "photometry/star_photometry.h"
#include "photometry/trail_photometry.h"

namespace qirm::cli {
namespace {

// A word that is an option rather than a (possibly negative) number.
bool IsOption(const std::string& a) {
  return a.size() > 1 && a[0] == '-' && !std::isdigit(static_cast<unsigned char>(a[1])) && a[1] != '.';
}

bool OptionValue(const std::vector<std::string>& args, std::size_t& i, std::string& value) {
  if (i + 1 >= args.size()) return false;
  value = args[++i];
  return true;
}

bool RealOption(const std::vector<std::string>& args, std::size_t& i, double& out) {
  std::string value;
  return OptionValue(args, i, value) && ParseReal(value, out);
}

Status Open(const std::string& file, Workspace& ws) {
  FileType type;
  if (!FileTypeFromName(file, type)) return Status::Error(file + ": unknown file type");
  return OpenImageFile(ws, file, type);
}

}  // namespace

int PhotometryVerb(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  StarPhotometryParams params;
  std::optional<double> gain, read_noise;
  std::string csv;
  bool progress = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--progress") {
      progress = true;
    } else if (a == "--aperture") {
      if (!RealOption(args, i, params.aperture)) return UsageError("--aperture needs a radius");
    } else if (a == "--annulus") {
      std::string value;
      const std::size_t comma = i + 1 < args.size() ? args[i + 1].find(',') : std::string::npos;
      if (!OptionValue(args, i, value) || comma == std::string::npos ||
          !ParseReal(value.substr(0, comma), params.annulus_inner) ||
          !ParseReal(value.substr(comma + 1), params.annulus_outer)) {
        return UsageError("--annulus needs RIN,ROUT");
      }
    } else if (a == "--zero-point") {
      if (!RealOption(args, i, params.zero_point)) return UsageError("--zero-point needs a number");
    } else if (a == "--gain") {
      double g = 0;
      if (!RealOption(args, i, g)) return UsageError("--gain needs a number");
      gain = g;
    } else if (a == "--read-noise") {
      double n = 0;
      if (!RealOption(args, i, n)) return UsageError("--read-noise needs a number");
      read_noise = n;
    } else if (a == "--csv") {
      if (!OptionValue(args, i, csv) || csv.empty()) return UsageError("--csv needs a file of positions");
    } else if (IsOption(a)) {
      return UsageError("unknown option '" + a + "'");
    } else {
      positional.push_back(a);
    }
  }
  // With --csv the click position is optional; given, it is the first row.
  double x = 0, y = 0;
  const bool has_xy = positional.size() == 3;
  if (!(has_xy || (positional.size() == 1 && !csv.empty())) ||
      (has_xy && (!ParseReal(positional[1], x) || !ParseReal(positional[2], y)))) {
    return UsageError(csv.empty() ? "photometry needs FILE X Y"
                                  : "photometry needs FILE [X Y] --csv POSITIONS");
  }
  if (gain) params.gain = *gain;
  if (read_noise) params.read_noise = *read_noise;
  if (Status s = CheckStarParams(params); !s) return Fail(s.message());

  std::vector<StarPosition> positions;
  if (has_xy) positions.push_back({x, y, 0});
  bool named = false;  // a line of the list named on standard error
  if (!csv.empty()) {
    std::vector<std::uint8_t> bytes;
    if (Status s = ReadFileBytes(csv, bytes); !s) return Fail(s.message());
    std::vector<StarPosition> listed;
    std::vector<int> bad_lines;
    ParsePositionList(std::string(bytes.begin(), bytes.end()), listed, bad_lines);
    for (const int line : bad_lines) Fail(csv + ": line " + FormatInt(line) + ": " + kPositionLineRefused);
    named = !bad_lines.empty();
    positions.insert(positions.end(), listed.begin(), listed.end());
  }

  Workspace ws;
  if (Status s = Open(positional[0], ws); !s) return Fail(s.message());
  if (csv.empty()) {
    StarMeasurement m;
    if (Status s = MeasureStarInWindow(*ws.active(), PhotometryChannel::kGreen, x, y, params, m); !s)
      return Fail(s.message());
    std::fputs(StarKeyValueLines(m).c_str(), stdout);
    return kExitOk;
  }
  // Each row goes out as soon as it and those before it are measured.
  std::fputs((CsvLine(StarValueNames()) + "\n").c_str(), stdout);
  std::fflush(stdout);
  const std::size_t n = positions.size();
  int shown = -1;
  MeasureStarsInOrder(*ws.active(), PhotometryChannel::kGreen, positions, params,
                      [&](std::size_t k, const StarMeasurement& m, const Status& status) {
                        if (status) {
                          std::fputs((CsvLine(StarValueTexts(m)) + "\n").c_str(), stdout);
                          std::fflush(stdout);
                        } else {
                          const int line = positions[k].line;
                          Fail((line ? csv + ": line " + FormatInt(line) + ": " : "") + status.message());
                          named = true;
                        }
                        const int percent = static_cast<int>((k + 1) * 100 / n);
                        if (progress && percent != shown) {
                          std::fprintf(stderr, "%d\n", percent);
                          shown = percent;
                        }
                      });
  return named ? kExitFailure : kExitOk;
}

int TrailVerb(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  TrailParams params;
  std::string out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--width") {
      if (!RealOption(args, i, params.width)) return UsageError("--width needs a number");
    } else if (a == "--sky-gap") {
      if (!RealOption(args, i, params.sky_gap)) return UsageError("--sky-gap needs a number");
    } else if (a == "-o") {
      if (!OptionValue(args, i, out) || out.empty()) return UsageError("-o needs a file name");
    } else if (IsOption(a)) {
      return UsageError("unknown option '" + a + "'");
    } else {
      positional.push_back(a);
    }
  }
  double ends[4] = {};
  if (positional.size() != 5) return UsageError("trail needs FILE X1 Y1 X2 Y2");
  for (int k = 0; k < 4; ++k)
    if (!ParseReal(positional[k + 1], ends[k])) return UsageError("trail needs FILE X1 Y1 X2 Y2");
  if (out.empty()) return UsageError("trail needs -o PROFILE");
  if (Status s = CheckTrailParams(params); !s) return Fail(s.message());

  Workspace ws;
  if (Status s = Open(positional[0], ws); !s) return Fail(s.message());
  TrailMeasurement m;
  if (Status s = MeasureTrailInWindow(*ws.active(), PhotometryChannel::kGreen, ends[0], ends[1], ends[2],
                                      ends[3], params, m);
      !s) {
    return Fail(s.message());
  }
  const std::string text = TrailProfileText(m, FileNameWithoutDirectory(positional[0]), ends[0], ends[1],
                                            ends[2], ends[3], params);
  if (Status s = WriteFileReplacing(out, std::vector<std::uint8_t>(text.begin(), text.end())); !s) {
    return Fail(s.message());
  }
  std::fputs(TrailKeyValueLines(m).c_str(), stdout);
  return kExitOk;
}

}  // namespace qirm::cli
