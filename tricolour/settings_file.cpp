// SPDX-License-Identifier: GPL-3.0-or-later
#include "tricolour/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <locale>
#include <sstream>
#include <vector>

#include "core/file_bytes.h"
#include "core/file_write.h"
#include "core/numbers.h"

namespace qirm {

namespace {

constexpr char kEnd[] = "\r\n";

// No real settings file comes near this; a larger file was chosen by mistake.
constexpr long long kMaxFileBytes = 64LL << 20;

struct ListField {
  std::vector<std::string> CompositionSettings::*list;
  const char* label;  // the words after the count
  const char* what;   // for messages
};

const ListField kLists[] = {
    {&CompositionSettings::RedFiles, "Red File(s)", "red"},
    {&CompositionSettings::GreenFiles, "Green File(s)", "green"},
    {&CompositionSettings::BlueFiles, "Blue File(s)", "blue"},
    {&CompositionSettings::DarkFiles, "Dark File(s)", "dark"},
    {&CompositionSettings::FlatFiles, "Flat File(s)", "flat"},
};

int Flag(bool on) { return on ? 1 : 0; }

// Words and lines of the file's text, as a stream with >> and getline would
// see them, counting lines for the messages.
class TextReader {
 public:
  TextReader(const std::string& text, const std::string& name) : m_text(text), m_name(name) {}

  // The next word, across line ends; false at the end of the text.
  bool Word(std::string& word) {
    while (m_pos < m_text.size() && IsSpace(m_text[m_pos])) Advance();
    if (m_pos >= m_text.size()) return false;
    m_wordLine = m_line;
    const std::size_t start = m_pos;
    while (m_pos < m_text.size() && !IsSpace(m_text[m_pos])) ++m_pos;
    word.assign(m_text, start, m_pos - start);
    return true;
  }

  // What is left of the current line; the reader moves to the next line.
  std::string RestOfLine() {
    std::string rest;
    Line(rest);
    return rest;
  }

  // The next whole line without its line end (LF, or CR LF); false when
  // nothing is left.
  bool Line(std::string& line) {
    if (m_pos >= m_text.size()) return false;
    const std::size_t end = m_text.find('\n', m_pos);
    const std::size_t stop = end == std::string::npos ? m_text.size() : end;
    line.assign(m_text, m_pos, stop - m_pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    m_pos = end == std::string::npos ? m_text.size() : end + 1;
    if (end != std::string::npos) ++m_line;
    return true;
  }

  int WordLine() const { return m_wordLine; }
  int CurrentLine() const { return m_line; }

  Status EndsBefore(const std::string& what) const {
    return Status::Error(m_name + ": the file ends before " + what);
  }
  Status AtLine(int line, const std::string& message) const {
    return Status::Error(m_name + ", line " + std::to_string(line) + ": " + message);
  }

  // Skips one word whatever it says (a label).
  Status Skip(const std::string& what) {
    std::string word;
    if (!Word(word)) return EndsBefore(what);
    return Status::Ok();
  }

  Status Int(int& value, const std::string& what) {
    std::string word;
    if (!Word(word)) return EndsBefore(what);
    if (!ParseInt(word, value)) return AtLine(m_wordLine, IntConversionError(word) + " (" + what + ")");
    return Status::Ok();
  }

  Status Real(double& value, const std::string& what) {
    std::string word;
    if (!Word(word)) return EndsBefore(what);
    if (!ParseReal(word, value)) return AtLine(m_wordLine, RealConversionError(word) + " (" + what + ")");
    return Status::Ok();
  }

 private:
  static bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
  }
  void Advance() {
    if (m_text[m_pos] == '\n') ++m_line;
    ++m_pos;
  }

  const std::string& m_text;
  const std::string& m_name;
  std::size_t m_pos = 0;
  int m_line = 1;
  int m_wordLine = 1;
};

// A choice of the dialog (radio buttons 0..2): other values change nothing.
void SetChoice(int value, int& field) {
  if (value >= 0 && value <= 2) field = value;
}

// A check box: 1 checks, 0 unchecks, other values change nothing.
void SetCheck(int value, bool& field) {
  if (value == 0 || value == 1) field = value == 1;
}

#define QIRM_TRY(expr)            \
  do {                            \
    Status status_ = (expr);      \
    if (!status_) return status_; \
  } while (false)

Status ReadWhole(const std::string& path, std::string& text) {
  std::string refusal;
  const int fd = OpenRegularFile(path, refusal);
  if (fd < 0 && !refusal.empty()) return Status::Error(path + ": " + refusal);
  if (fd < 0) return Status::Error("cannot open " + path + ": " + std::strerror(errno));
  struct stat info {};
  Status status;
  if (::fstat(fd, &info) != 0) {
    status = Status::Error("cannot read " + path + ": " + std::strerror(errno));
  } else if (S_ISDIR(info.st_mode)) {
    status = Status::Error("cannot read " + path + ": it is a folder, not a settings file");
  } else if (info.st_size > kMaxFileBytes) {
    status =
        Status::Error(path + ": too large for a settings file (" + std::to_string(info.st_size) + " bytes)");
  } else {
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        status = Status::Error("cannot read " + path + ": " + std::strerror(errno));
        break;
      }
      if (n == 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
      if (static_cast<long long>(text.size()) > kMaxFileBytes) {
        status = Status::Error(path + ": too large for a settings file");
        break;
      }
    }
  }
  ::close(fd);
  return status;
}

}  // namespace

std::string CompositionSettingsText(const CompositionSettings& s) {
  std::ostringstream out;
  // Plain digits and a point whatever the user's locale says; reals in the
  // stream's default notation, six significant digits.
  out.imbue(std::locale::classic());
  out << "MERAVI-2 File Data of RGB composite" << kEnd;
  for (const ListField& field : kLists) {
    const std::vector<std::string>& list = s.*field.list;
    out << list.size() << ' ' << field.label << kEnd;
    for (const std::string& path : list) out << path << kEnd;
  }
  out << "Star(s) " << s.StarMode << kEnd;
  out << "Position" << kEnd;
  out << s.Star1X << ' ' << s.Star2X << ' ' << s.Delta1 << kEnd;
  out << s.Star1Y << ' ' << s.Star2Y << ' ' << s.Delta2 << kEnd;
  out << "Detect " << s.DetectMethod << kEnd;
  out << "BackGroung" << kEnd;
  out << s.BackgroundX << ' ' << s.BackgroundY << ' ' << s.BackgroundLevel << kEnd;
  out << "WhiteBalance" << kEnd;
  out << s.WhiteR << ' ' << s.WhiteG << ' ' << s.WhiteB << ' ' << s.WhiteK << kEnd;
  const AdvancedFlags& a = s.Advanced;
  out << "Anti-Blooming" << kEnd;
  out << Flag(a.AntiBloomingOn) << ' ' << a.BloomThreshold << ' ' << a.BloomThickness << ' ' << a.BloomLength
      << kEnd;
  out << "Rotation" << kEnd;
  out << Flag(a.Rotate180R) << ' ' << Flag(a.Rotate180G) << ' ' << Flag(a.Rotate180B) << kEnd;
  out << "BackGroundSlope" << kEnd;
  out << Flag(a.FlattenR) << ' ' << Flag(a.FlattenG) << ' ' << Flag(a.FlattenB) << kEnd;
  return out.str();
}

Status SaveCompositionSettings(const std::string& path, const CompositionSettings& s) {
  for (const ListField& field : kLists) {
    for (const std::string& entry : s.*field.list) {
      if (entry.find_first_of("\r\n") != std::string::npos) {
        return Status::Error(path + ": the " + std::string(field.what) + " frame path \"" + entry +
                             "\" holds a line break and cannot be stored as one line");
      }
    }
  }
  const struct {
    double value;
    const char* name;
  } reals[] = {{s.WhiteR, "WhiteR"}, {s.WhiteG, "WhiteG"}, {s.WhiteB, "WhiteB"}, {s.WhiteK, "WhiteK"}};
  for (const auto& r : reals) {
    if (!std::isfinite(r.value)) return Status::Error(path + ": " + r.name + " is not a finite number");
  }
  const std::string text = CompositionSettingsText(s);
  return WriteFileReplacing(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

Status ParseCompositionSettings(const std::string& text, const std::string& name,
                                CompositionSettings& settings) {
  CompositionSettings s = settings;
  TextReader in(text, name);

  for (int i = 0; i < 6; ++i) QIRM_TRY(in.Skip("the end of the header line"));

  for (const ListField& field : kLists) {
    const std::string what = std::string(field.what) + " files";
    int n = 0;
    QIRM_TRY(in.Int(n, "count of " + what));
    const int countLine = in.WordLine();
    if (n < 0)
      return in.AtLine(countLine, "the count of " + what + " is negative (" + std::to_string(n) + ")");
    // The count and its two label words share a line; without them the
    // words skipped would be taken from the paths.
    std::istringstream rest(in.RestOfLine());
    rest.imbue(std::locale::classic());
    std::string w1, w2;
    if (!(rest >> w1 >> w2)) {
      return in.AtLine(countLine, "the count of " + what + " is not followed by \"" + field.label + "\"");
    }
    std::vector<std::string> paths;
    for (int k = 0; k < n; ++k) {
      std::string path;
      if (!in.Line(path)) {
        return Status::Error(name + ": the file ends after " + std::to_string(k) + " of " +
                             std::to_string(n) + " " + what);
      }
      paths.push_back(std::move(path));
    }
    s.*field.list = std::move(paths);
  }

  int value = 0;
  QIRM_TRY(in.Skip("the star mode"));
  QIRM_TRY(in.Int(value, "star mode"));
  SetChoice(value, s.StarMode);

  QIRM_TRY(in.Skip("the star positions"));
  QIRM_TRY(in.Int(s.Star1X, "star 1 X"));
  QIRM_TRY(in.Int(s.Star2X, "star 2 X"));
  QIRM_TRY(in.Int(s.Delta1, "box size of star 1"));
  QIRM_TRY(in.Int(s.Star1Y, "star 1 Y"));
  QIRM_TRY(in.Int(s.Star2Y, "star 2 Y"));
  QIRM_TRY(in.Int(s.Delta2, "box size of star 2"));

  QIRM_TRY(in.Skip("the detection method"));
  QIRM_TRY(in.Int(value, "detection method"));
  SetChoice(value, s.DetectMethod);

  QIRM_TRY(in.Skip("the background point"));
  QIRM_TRY(in.Int(s.BackgroundX, "background X"));
  QIRM_TRY(in.Int(s.BackgroundY, "background Y"));
  QIRM_TRY(in.Int(s.BackgroundLevel, "background level"));

  QIRM_TRY(in.Skip("the white balance"));
  QIRM_TRY(in.Real(s.WhiteR, "white balance R"));
  QIRM_TRY(in.Real(s.WhiteG, "white balance G"));
  QIRM_TRY(in.Real(s.WhiteB, "white balance B"));
  QIRM_TRY(in.Real(s.WhiteK, "white balance K"));

  AdvancedFlags& a = s.Advanced;
  QIRM_TRY(in.Skip("the anti-blooming values"));
  QIRM_TRY(in.Int(value, "anti-blooming on/off"));
  SetCheck(value, a.AntiBloomingOn);
  QIRM_TRY(in.Int(a.BloomThreshold, "anti-blooming threshold"));
  QIRM_TRY(in.Int(a.BloomThickness, "anti-blooming thickness"));
  QIRM_TRY(in.Int(a.BloomLength, "anti-blooming length"));

  const struct {
    bool AdvancedFlags::*flag;
    const char* what;
  } rotation[] = {{&AdvancedFlags::Rotate180R, "red 180-degree turn"},
                  {&AdvancedFlags::Rotate180G, "green 180-degree turn"},
                  {&AdvancedFlags::Rotate180B, "blue 180-degree turn"}},
    slope[] = {{&AdvancedFlags::FlattenR, "red background correction"},
               {&AdvancedFlags::FlattenG, "green background correction"},
               {&AdvancedFlags::FlattenB, "blue background correction"}};
  QIRM_TRY(in.Skip("the 180-degree turns"));
  for (const auto& f : rotation) {
    QIRM_TRY(in.Int(value, f.what));
    SetCheck(value, a.*f.flag);
  }
  QIRM_TRY(in.Skip("the background corrections"));
  for (const auto& f : slope) {
    QIRM_TRY(in.Int(value, f.what));
    SetCheck(value, a.*f.flag);
  }

  settings = std::move(s);
  return Status::Ok();
}

Status LoadCompositionSettings(const std::string& path, CompositionSettings& settings) {
  std::string text;
  QIRM_TRY(ReadWhole(path, text));
  return ParseCompositionSettings(text, path, settings);
}

}  // namespace qirm
