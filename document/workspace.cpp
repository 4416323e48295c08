// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/workspace.h"

#include <algorithm>

#include "core/numbers.h"
#include "document/state_texts.h"

namespace qirm {

void LevelEdit::Set(int v) {
  text = FormatInt(v);
  value = v;
}

void LevelEdit::Set(int v, std::string shown) {
  text = std::move(shown);
  value = v;
}

void LevelEdit::Type(const std::string& typed) {
  text = typed;
  int v = 0;
  if (ParseInt(typed, v)) {
    value = v;
  } else {
    value.reset();
  }
}

Status LevelEdit::Get(int& out) const {
  if (!value) return Status::Error(IntConversionError(text));
  out = *value;
  return Status::Ok();
}

void FillPictureDocument(Picture shown, Picture base, int channels, ImageDocument& doc) {
  doc.kind = WindowKind::kColour;
  doc.width = shown.width();
  doc.height = shown.height();
  doc.Image = std::move(shown);
  doc.ImageZm = std::move(base);
  doc.max_level = 255;
  doc.min_level = 0;
  doc.channels = channels;
  doc.zoom = 1.0;
  doc.zoom_stepped = false;
  doc.edited = false;
}

ImageDocument& Workspace::NewWindow() {
  m_windows.push_back(std::make_unique<ImageDocument>());
  m_active = m_windows.back().get();
  m_histories.erase(m_active);  // a closed window's address may come again
  return *m_active;
}

void Workspace::Activate(ImageDocument* doc) {
  m_active = doc;
  if (doc && doc->zoom) m_main.zoom = *doc->zoom;
}

void Workspace::Close(ImageDocument* doc) {
  auto it = std::find_if(m_windows.begin(), m_windows.end(), [&](const auto& w) { return w.get() == doc; });
  if (it == m_windows.end()) return;
  m_histories.erase(doc);
  m_windows.erase(it);
  if (m_active == doc) m_active = m_windows.empty() ? nullptr : m_windows.back().get();
}

void Workspace::CloseAll() {
  m_histories.clear();
  m_windows.clear();
  m_active = nullptr;
}

ImageDocument& Workspace::NewPictureWindow(Picture shown, Picture base, const std::string& caption,
                                           int channels) {
  ImageDocument& window = NewWindow();
  window.caption = caption;
  m_main.zoom = 1.0;
  SetMaxLevel(255);
  SetMinLevel(0);
  m_main.max_spin = 255;
  m_main.min_spin = 0;
  FillPictureDocument(std::move(shown), std::move(base), channels, window);
  return window;
}

namespace {

// The spins follow a 16-bit window's levels within their range; a float
// window's levels lie on a grid of their own, which the spins follow whole.
int SpinPosition(const ImageDocument* doc, int level, int lo, int hi) {
  if (doc && HasFloatValues(*doc)) return level;
  return std::clamp(level, lo, hi);
}

}  // namespace

Status Workspace::TypeLevel(LevelEdit& edit, const std::string& text, int& level) {
  // A float window's levels are values typed as reals, whatever its grid.
  const bool real = m_active && HasFloatValues(*m_active);
  const bool raw16 = m_active && m_active->kind == WindowKind::kRaw16;
  const FitsScaling scaling = raw16 || real ? m_active->scaling : FitsScaling();
  if (scaling.Integral() && !real) {
    edit.Type(text);
    if (!m_active) return Status::Ok();
    if (Status s = edit.Get(level); !s) return s;
    // Camera frames: the typed level is the raw level, whatever its size.
    if (scaling.bzero == 32768.0) return Status::Ok();
  } else {
    edit.text = text;
    edit.value.reset();
  }
  double physical = 0;
  if (!ParseReal(text, physical) || !scaling.RawLevel(physical, level))
    return Status::Error(RealConversionError(text));
  edit.value = level;
  return Status::Ok();
}

Status Workspace::TypeMaxLevel(const std::string& text) {
  int value = 0;
  if (Status s = TypeLevel(m_main.max_edit, text, value); !s || !m_active) return s;
  m_main.max_spin = SpinPosition(m_active, value, kMaxSpinMin, kMaxSpinMax);
  m_active->max_level = value;
  return Status::Ok();
}

Status Workspace::TypeMinLevel(const std::string& text) {
  int value = 0;
  if (Status s = TypeLevel(m_main.min_edit, text, value); !s || !m_active) return s;
  m_main.min_spin = SpinPosition(m_active, value, kMinSpinMin, kMinSpinMax);
  m_active->min_level = value;
  return Status::Ok();
}

void Workspace::SetMaxLevel(int level) {
  if (!m_active) return m_main.max_edit.Set(level);
  m_main.max_edit.Set(level, PhysicalText(*m_active, level));
  m_main.max_spin = SpinPosition(m_active, level, kMaxSpinMin, kMaxSpinMax);
  m_active->max_level = level;
}

void Workspace::SetMinLevel(int level) {
  if (!m_active) return m_main.min_edit.Set(level);
  m_main.min_edit.Set(level, PhysicalText(*m_active, level));
  m_main.min_spin = SpinPosition(m_active, level, kMinSpinMin, kMinSpinMax);
  m_active->min_level = level;
}

History& Workspace::HistoryOf(const ImageDocument* doc) {
  return m_histories.try_emplace(doc, m_undo_budget).first->second;
}

}  // namespace qirm
