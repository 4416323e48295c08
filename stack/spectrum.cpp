// SPDX-License-Identifier: GPL-3.0-or-later
#include "stack/spectrum.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <sstream>
#include <system_error>

#include "core/file_write.h"
#include "core/numbers.h"

namespace qirm {

Status SpinPositionFromEdit(const std::string& text, int& position) {
  int value = 0;
  if (!ParseInt(text, value)) return Status::Error(IntConversionError(text));
  position = std::clamp(value, 0, kSpectrumSpinMax);
  return Status::Ok();
}

void DrawPenLine(Picture& picture, int x0, int y0, int x1, int y1, std::uint32_t color) {
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0;
  int y = y0;
  while (x != x1 || y != y1) {
    if (x >= 0 && x < picture.width() && y >= 0 && y < picture.height()) picture.SetColor(x, y, color);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

void DrawPlotFrame(Picture& plot) {
  const int fw = plot.width();
  const int fh = plot.height();
  DrawPenLine(plot, 0, 0, fw - 1, 0, kPenBlack);
  DrawPenLine(plot, fw - 1, 0, fw - 1, fh - 1, kPenBlack);
  DrawPenLine(plot, fw - 1, fh - 1, 0, fh - 1, kPenBlack);
  DrawPenLine(plot, 0, fh - 1, 0, 0, kPenBlack);
}

std::vector<double> ColumnProfile(const Picture& source, int x0, int x1, int y0, int y1) {
  std::vector<double> profile;
  if (x1 <= x0 || y1 <= y0) return profile;
  // Row by row: the sums of all columns grow together.
  std::vector<long long> sums(static_cast<std::size_t>(x1 - x0), 0);
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* red = source.Row(y) + 3 * static_cast<std::size_t>(x0) + 2;
    for (std::size_t i = 0; i < sums.size(); ++i) sums[i] += red[3 * i];
  }
  profile.reserve(sums.size());
  const Extended rows = y1 - y0;
  for (long long s : sums) profile.push_back(static_cast<double>(static_cast<Extended>(s) / rows));
  return profile;
}

std::string FormatSpectrumValue(double value) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << value;
  return out.str();
}

std::string SpectrumDataText(const std::vector<double>& profile, int x0) {
  std::string text = kSpectrumHeader;
  text += '\n';
  for (std::size_t i = 0; i < profile.size(); ++i) {
    text += FormatInt(x0 + static_cast<long long>(i));
    text += ' ';
    text += FormatSpectrumValue(profile[i]);
    text += '\n';
  }
  return text;
}

void DrawProfile(Picture& plot, const std::vector<double>& profile, int x0, int x1) {
  const int fw = plot.width();
  const int fh = plot.height();
  // 1/255 as an extended constant, as the scale is written.
  const Extended per_level = 1.0L / 255.0L;
  int prev_x = 0;
  int prev_y = fh;
  for (std::size_t i = 0; i < profile.size(); ++i) {
    const int x = x0 + static_cast<int>(i);
    const int px = Trunc(static_cast<Extended>(x - x0) / static_cast<Extended>(x1 - x0) * fw);
    const int py = Trunc((1.0L - static_cast<Extended>(profile[i]) * per_level) * fh);
    if (px >= 0 && px < fw && py >= 0 && py < fh) DrawPenLine(plot, prev_x, prev_y, px, py, kPenRed);
    prev_x = px;
    prev_y = py;
  }
}

std::string SpectrumDataPath() {
  std::string home;
  if (const char* env = std::getenv("HOME"); env && *env) {
    home = env;
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) {
    home = pw->pw_dir;
  } else {
    return "";
  }
  if (home.size() > 1 && home.back() == '/') home.pop_back();
  return home + "/data/SPN";
}

Status WriteSpectrumData(const std::string& path, const std::string& text, bool create_folder) {
  if (path.empty()) return Status::Error("spectrum data file: no home folder to hold data/SPN");
  if (create_folder) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
      std::filesystem::create_directories(folder, ec);
      if (ec) return Status::Error(folder.string() + ": cannot create the folder: " + ec.message());
    }
  }
  return WriteFileReplacing(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

void TraceSpectrum(ImageDocument* active, Picture& plot, std::optional<SpectrumRange>& range,
                   const std::string& data_path, bool create_folder, Status& file_status) {
  file_status = Status::Ok();
  DrawPlotFrame(plot);
  if (!active) return;

  // The range is the edits', not the spins': a picture wider than the spins
  // reach still uses every column.
  const Picture& source = active->Image;
  const SpectrumRange r{0, source.width(), 0, source.height()};
  range = r;
  const std::vector<double> profile = ColumnProfile(source, r.x_begin, r.x_end, r.y_begin, r.y_end);
  DrawProfile(plot, profile, r.x_begin, r.x_end);
  file_status = WriteSpectrumData(data_path, SpectrumDataText(profile, r.x_begin), create_folder);
}

}  // namespace qirm
