#include "app/workspace.h"

#include <algorithm>
#include <cctype>

#include "app/open_image.h"
#include "core/numbers.h"

namespace qirm {

bool FileTypeFromName(const std::string& path, FileType& type) {
  const std::string name = FileNameWithoutDirectory(path);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == "bmp") type = FileType::Bmp;
  else if (ext == "fit" || ext == "fts" || ext == "fits") type = FileType::Fits;
  else if (ext == "jpg" || ext == "jpeg") type = FileType::Jpeg;
  else if (ext == "pgm" || ext == "ppm") type = FileType::Netpbm;
  else return false;
  return true;
}

std::string FileNameWithoutDirectory(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

ImageDocument& Workspace::NewWindow() {
  m_windows.push_back(std::make_unique<ImageDocument>());
  m_active = m_windows.back().get();
  return *m_active;
}

void Workspace::Activate(ImageDocument* doc) {
  m_active = doc;
  if (!doc) return;
  double z = 0;
  if (ParseReal(doc->ZomN, z)) m_main.Edit1 = FormatPercent(z * 100);
}

void Workspace::Close(ImageDocument* doc) {
  auto it = std::find_if(m_windows.begin(), m_windows.end(), [&](const auto& w) { return w.get() == doc; });
  if (it == m_windows.end()) return;
  m_windows.erase(it);
  if (m_active == doc) m_active = m_windows.empty() ? nullptr : m_windows.back().get();
}

Status Workspace::Open(const std::string& path, FileType type) {
  ImageDocument doc;
  switch (type) {
    case FileType::Fits: {
      if (Status s = LoadFitsDocument(path, doc); !s) return s;
      ImageDocument& window = NewWindow();
      window = std::move(doc);
      m_main.Edit1 = "100.0%";
      if (Status s = SetEdit2(window.MAX); !s) return s;
      return SetEdit3(window.MIN);
    }
    case FileType::Netpbm: {
      if (Status s = LoadNetpbmDocument(path, doc); !s) return s;
      NewWindow() = std::move(doc);
      m_main.Edit1 = "100.0%";
      if (Status s = SetEdit2("255"); !s) return s;
      return SetEdit3("0");
    }
    case FileType::Bmp:
    case FileType::Jpeg: {
      const Status s = type == FileType::Bmp ? LoadBmpDocument(path, doc) : LoadJpegDocument(path, doc);
      if (!s) return s;
      NewWindow() = std::move(doc);
      m_main.Edit1 = "100.0%";
      if (Status e = SetEdit2("255"); !e) return e;
      if (Status e = SetEdit3("0"); !e) return e;
      m_main.UpDown1 = 255;
      m_main.UpDown2 = 0;
      return Status::Ok();
    }
  }
  return Status::Error(path + ": unknown file type");
}

Status Workspace::SetEdit2(const std::string& text) {
  m_main.Edit2 = text;
  if (!m_active) return Status::Ok();
  int value = 0;
  if (!ParseInt(text, value)) return Status::Error(IntConversionError(text));
  m_main.UpDown1 = std::clamp(value, kUpDown1Min, kUpDown1Max);
  m_active->MAX = FormatInt(value);
  return Status::Ok();
}

Status Workspace::SetEdit3(const std::string& text) {
  m_main.Edit3 = text;
  if (!m_active) return Status::Ok();
  int value = 0;
  if (!ParseInt(text, value)) return Status::Error(IntConversionError(text));
  m_main.UpDown2 = std::clamp(value, kUpDown2Min, kUpDown2Max);
  m_active->MIN = FormatInt(value);
  return Status::Ok();
}

}  // namespace qirm

namespace qirm {

Status Workspace::ContrastUp() { return ContrastStep(1.1, 0.8); }
Status Workspace::ContrastDown() { return ContrastStep(1 / 1.1, 1.2); }

Status Workspace::ContrastStep(double colour_factor, double span_factor) {
  ImageDocument* doc = m_active;
  if (!doc) return Status::Ok();
  if (doc->FilterI == kKindColour) {
    double contrast = 0;
    if (!ParseReal(doc->Contrast, contrast)) return Status::Error(RealConversionError(doc->Contrast));
    const double gain = contrast * colour_factor;
    doc->Image = RenderContrast(doc->ImageZm, gain);
    doc->Contrast = FormatGeneral(gain);
  } else if (doc->FilterI == kKindRaw16) {
    int max = 0, min = 0;
    if (!ParseInt(m_main.Edit2, max)) return Status::Error(IntConversionError(m_main.Edit2));
    if (!ParseInt(m_main.Edit3, min)) return Status::Error(IntConversionError(m_main.Edit3));
    const int new_max = ScaledMaxLevel(max, min, span_factor);
    doc->Image = RenderLevels(doc->ImageZm, doc->ImageZm2, new_max, min);
    return SetEdit2(FormatInt(new_max));
  }
  return Status::Ok();
}

Status Workspace::SpinClick(Spin spin, int direction) {
  ImageDocument* doc = m_active;
  if (!doc) return Status::Ok();
  const bool maximum = spin == Spin::Maximum;
  const std::string& level_text = maximum ? doc->MAX : doc->MIN;
  int level = 0;
  if (!ParseInt(level_text, level)) return Status::Error(IntConversionError(level_text));
  int& position = maximum ? m_main.UpDown1 : m_main.UpDown2;
  const int lo = maximum ? kUpDown1Min : kUpDown2Min;
  const int hi = maximum ? kUpDown1Max : kUpDown2Max;
  position = std::clamp(position == level ? level + direction * kUpDownIncrement : level, lo, hi);
  if (Status s = maximum ? SetEdit2(FormatInt(position)) : SetEdit3(FormatInt(position)); !s) return s;

  if (doc->FilterI == kKindRaw16) {
    int max = 0, min = 0;
    if (!ParseInt(m_main.Edit2, max)) return Status::Error(IntConversionError(m_main.Edit2));
    if (!ParseInt(m_main.Edit3, min)) return Status::Error(IntConversionError(m_main.Edit3));
    const int new_max = ScaledMaxLevel(max, min, 1);
    doc->Image = RenderLevels(doc->ImageZm, doc->ImageZm2, new_max, min);
    return SetEdit2(FormatInt(new_max));
  }
  return Status::Ok();
}

Status Workspace::Zoom(ZoomDirection direction, bool& changed) {
  changed = false;
  ImageDocument* doc = m_active;
  if (!doc) return Status::Ok();
  int w = 0, h = 0;
  double z = 0;
  if (!ParseInt(doc->DemX, w)) return Status::Error(IntConversionError(doc->DemX));
  if (!ParseInt(doc->DemY, h)) return Status::Error(IntConversionError(doc->DemY));
  if (!ParseReal(doc->ZomN, z)) return Status::Error(RealConversionError(doc->ZomN));
  if (!ZoomStep(z, direction)) return Status::Ok();
  changed = true;
  m_main.Edit1 = FormatPercent(z * 100);
  doc->ZomN = FormatGeneral(z);
  return Status::Ok();
}

bool Workspace::Separate() {
  ImageDocument* source = m_active;
  if (!source || source->FilterI != kKindColour) return false;
  const Picture& base = source->ImageZm;
  const int w = base.width();
  const int h = base.height();
  static const char* const kCaptions[3] = {"Blue", "Green", "Red"};
  for (int p = 0; p < 3; ++p) {
    Picture grey(w, h);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* in = base.Row(y);
      std::uint8_t* out = grey.Row(y);
      for (int x = 0; x < w; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[3 * x + p];
    }
    ImageDocument& window = NewWindow();
    window.Image = grey;
    window.ImageZm = std::move(grey);
    window.Caption = kCaptions[p];
    m_main.Edit1 = "100.0%";
    SetEdit2("255");
    SetEdit3("0");
    m_main.UpDown1 = 255;
    m_main.UpDown2 = 0;
    window.MAX = "255";
    window.MIN = "0";
    window.DemX = FormatInt(w);
    window.DemY = FormatInt(h);
    window.ColN = "3";
    window.ZomN = FormatFixed2(1.0);
    window.UndoFlg = "0";
    window.FilterI = kKindColour;
    // NewWindow may have moved the vector; the source pointer stays valid
    // because windows are held by unique_ptr.
  }
  return true;
}

void Workspace::CloseAll() {
  m_windows.clear();
  m_active = nullptr;
}

}  // namespace qirm
