// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo of one image window. A step is a whole copy of the window's
// document taken before a command changed it, with the command's name as the
// Edit menu shows it ("ぼかし"). The steps of a window share a memory budget:
// the oldest are dropped first, and a step that alone exceeds the budget is
// simply not kept (the command still runs; it just cannot be undone).
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>

#include "core/status.h"
#include "document/image_document.h"

namespace qirm {

class Workspace;

// The memory the undo and redo steps of one window may hold together.
inline constexpr std::size_t kUndoBudgetMiB = 512;
inline constexpr std::size_t kUndoBudgetBytes = kUndoBudgetMiB * 1024 * 1024;

// The bytes a snapshot of doc holds: its pictures, its raw plane and the
// struct itself.
std::size_t SnapshotBytes(const ImageDocument& doc);

// Whether two documents look and read the same: the same pictures, the same
// raw values and the same state texts. A command that leaves its window so
// (a refusal, a kind it does not apply to) records no step.
bool SameDocument(const ImageDocument& a, const ImageDocument& b);

class History {
 public:
  explicit History(std::size_t budget_bytes = kUndoBudgetBytes) : m_budget(budget_bytes) {}

  // Keeps `before`, the document as it was before the command `name`, as the
  // next step to undo; the redo steps are dropped. A step larger than the
  // whole budget clears the history instead: the steps behind it could no
  // longer be reached one command at a time.
  void Record(const std::string& name, ImageDocument before);

  bool CanUndo() const { return !m_undo.empty(); }
  bool CanRedo() const { return !m_redo.empty(); }
  // The command the next undo or redo takes back or repeats; "" when none.
  const std::string& UndoName() const;
  const std::string& RedoName() const;
  std::size_t UndoDepth() const { return m_undo.size(); }
  std::size_t RedoDepth() const { return m_redo.size(); }

  // Puts the snapshot of the last step into doc and keeps doc's present
  // state for redo; false (doc untouched) when there is nothing to undo.
  bool Undo(ImageDocument& doc);
  // The reverse of Undo.
  bool Redo(ImageDocument& doc);

  // After a save under `caption`: every kept snapshot now differs from the
  // file written, and takes the window's new name (undo changes the
  // picture, not which file the window is).
  void Saved(const std::string& caption);
  void Clear();

  std::size_t bytes() const { return m_bytes; }
  std::size_t budget() const { return m_budget; }

 private:
  struct Step {
    std::string name;
    ImageDocument doc;
    std::size_t bytes = 0;
  };
  static bool Move(std::deque<Step>& from, std::deque<Step>& to, ImageDocument& doc);
  // Drops the oldest undo steps, then the farthest redo steps, until the
  // history fits its budget.
  void Trim();

  std::deque<Step> m_undo;  // back: the next to undo
  std::deque<Step> m_redo;  // back: the next to redo
  std::size_t m_bytes = 0;
  std::size_t m_budget;
};

// A command that changes one window's document.
using DocumentCommand = std::function<Status(ImageDocument&)>;

// Runs `command` on the active window with undo: when the window changed, a
// step named `name` is recorded and the window is marked unsaved. Without an
// active window nothing happens (as the menus). The command's status is
// returned; a command that stopped after changing its window can be undone
// too. A command that set the window's levels has the level edits follow
// (here and in CommitCommandResult while the window is the active one).
Status RunWithUndo(Workspace& ws, const std::string& name, const DocumentCommand& command);
// The end of RunWithUndo for a command that ran on a copy of `doc` (on
// another thread, while the window itself stayed as it was): `after`, what
// the command made of the copy, becomes the window, and where it differs
// from the window a step named `name` is recorded and the window is marked
// unsaved, so window and history end as RunWithUndo would leave them. The
// window need not be the active one any more. False, with nothing changed,
// when `doc` is no longer one of the workspace's windows.
bool CommitCommandResult(Workspace& ws, ImageDocument* doc, const std::string& name, ImageDocument after);
// Undo and redo of the active window; false when there was nothing to do.
// The zoom box and the level edits follow the restored window.
bool UndoActive(Workspace& ws);
bool RedoActive(Workspace& ws);

}  // namespace qirm
