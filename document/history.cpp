// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/history.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "document/state_texts.h"
#include "document/workspace.h"

namespace qirm {
namespace {

std::size_t PictureBytes(const Picture& picture) {
  return picture.stride() * static_cast<std::size_t>(picture.height());
}

const std::string kNoName;

// The level edits show the window's levels (the active window's).
void FollowLevels(Workspace& ws, const ImageDocument* doc) {
  ws.SetMaxLevel(doc->max_level);
  ws.SetMinLevel(doc->min_level);
}

}  // namespace

std::size_t SnapshotBytes(const ImageDocument& doc) {
  return sizeof(ImageDocument) + PictureBytes(doc.Image) + PictureBytes(doc.ImageZm) +
         doc.raw.values.size() * sizeof(std::uint16_t) + doc.real.values.size() * sizeof(float) +
         3 * doc.colour[0].values.size() * sizeof(float);
}

bool SameDocument(const ImageDocument& a, const ImageDocument& b) {
  if (!(a.Image == b.Image && a.ImageZm == b.ImageZm && a.raw == b.raw)) return false;
  const MainState main;  // the main window's texts are not the window's
  return StateLines(a, main) == StateLines(b, main);
}

void History::Record(const std::string& name, ImageDocument before) {
  m_redo.clear();
  const std::size_t bytes = SnapshotBytes(before);
  if (bytes > m_budget) {
    Clear();
    return;
  }
  m_undo.push_back(Step{name, std::move(before), bytes});
  Trim();
}

const std::string& History::UndoName() const { return m_undo.empty() ? kNoName : m_undo.back().name; }
const std::string& History::RedoName() const { return m_redo.empty() ? kNoName : m_redo.back().name; }

bool History::Move(std::deque<Step>& from, std::deque<Step>& to, ImageDocument& doc) {
  if (from.empty()) return false;
  Step step = std::move(from.back());
  from.pop_back();
  std::swap(step.doc, doc);
  step.bytes = SnapshotBytes(step.doc);
  to.push_back(std::move(step));
  return true;
}

bool History::Undo(ImageDocument& doc) {
  if (!Move(m_undo, m_redo, doc)) return false;
  Trim();
  return true;
}

bool History::Redo(ImageDocument& doc) {
  if (!Move(m_redo, m_undo, doc)) return false;
  Trim();
  return true;
}

void History::Saved(const std::string& caption) {
  for (std::deque<Step>* steps : {&m_undo, &m_redo}) {
    for (Step& s : *steps) {
      s.doc.unsaved = true;
      s.doc.caption = caption;
    }
  }
}

void History::Clear() {
  m_undo.clear();
  m_redo.clear();
  m_bytes = 0;
}

void History::Trim() {
  m_bytes = 0;
  for (const Step& s : m_undo) m_bytes += s.bytes;
  for (const Step& s : m_redo) m_bytes += s.bytes;
  while (m_bytes > m_budget && !m_undo.empty()) {
    m_bytes -= m_undo.front().bytes;
    m_undo.pop_front();
  }
  while (m_bytes > m_budget && !m_redo.empty()) {
    m_bytes -= m_redo.front().bytes;
    m_redo.pop_front();
  }
}

Status RunWithUndo(Workspace& ws, const std::string& name, const DocumentCommand& command) {
  ImageDocument* doc = ws.active();
  if (!doc) return Status::Ok();
  ImageDocument before = *doc;
  const Status status = command(*doc);
  // The command may have closed or replaced windows; only a window still
  // there gets its step.
  if (ws.active() == doc && !SameDocument(before, *doc)) {
    doc->unsaved = true;
    // A command that set the window's levels (the negative of a 16-bit
    // window) has the level edits follow them.
    if (doc->max_level != before.max_level || doc->min_level != before.min_level) FollowLevels(ws, doc);
    ws.HistoryOf(doc).Record(name, std::move(before));
  }
  return status;
}

bool CommitCommandResult(Workspace& ws, ImageDocument* doc, const std::string& name, ImageDocument after) {
  const auto& windows = ws.windows();
  if (!doc || std::none_of(windows.begin(), windows.end(), [doc](const auto& w) { return w.get() == doc; }))
    return false;
  const bool changed = !SameDocument(*doc, after);
  ImageDocument before = std::exchange(*doc, std::move(after));
  if (changed) {
    doc->unsaved = true;
    if (ws.active() == doc && (doc->max_level != before.max_level || doc->min_level != before.min_level))
      FollowLevels(ws, doc);
    ws.HistoryOf(doc).Record(name, std::move(before));
  }
  return true;
}

namespace {

// The main window's zoom box and level edits show the restored window, so a
// level typed next starts from what the window now shows.
void FollowRestored(Workspace& ws, ImageDocument* doc) {
  ws.Activate(doc);
  FollowLevels(ws, doc);
}

}  // namespace

bool UndoActive(Workspace& ws) {
  ImageDocument* doc = ws.active();
  if (!doc || !ws.HistoryOf(doc).Undo(*doc)) return false;
  FollowRestored(ws, doc);
  return true;
}

bool RedoActive(Workspace& ws) {
  ImageDocument* doc = ws.active();
  if (!doc || !ws.HistoryOf(doc).Redo(*doc)) return false;
  FollowRestored(ws, doc);
  return true;
}

}  // namespace qirm
