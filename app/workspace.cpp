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
    case FileType::Jpeg:
      break;
  }
  return Status::Error(path + ": this file type cannot be opened yet");
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
