// SPDX-License-Identifier: GPL-3.0-or-later
// Long commands off the user-interface thread. A command that changes one
// image window runs on a worker thread with a copy of the window's document:
// the window keeps showing (and the other windows keep working on) the
// document as it was, and nothing but the worker touches the copy. Progress
// comes back through the event loop; when the worker ends, the copy becomes
// the window's document on this thread, with the undo step recorded as for
// a command run in place (CommitCommandResult), so the result is the same
// byte for byte. One run per window at a time; the main window locks the
// window's other commands while Running(doc).
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "core/status.h"

class QThread;

namespace qirm {
struct ImageDocument;
class Workspace;
}  // namespace qirm

class CommandRunner : public QObject {
  Q_OBJECT
 public:
  // What runs on the worker: the command on the copy, with a progress
  // function it may call from the worker thread (percent, 0..100).
  using Work =
      std::function<qirm::Status(qirm::ImageDocument& doc, const std::function<void(int)>& progress)>;

  CommandRunner(qirm::Workspace& workspace, QObject* parent = nullptr);
  // Waits for the runs still going; their results are dropped with the
  // workspace they were meant for.
  ~CommandRunner() override;

  // Starts `work` on a copy of `doc`, a window of the workspace; the step it
  // records is called `name`. False, with nothing started, when `doc` already
  // runs a command.
  bool Start(qirm::ImageDocument* doc, const std::string& name, Work work);
  bool Running(const qirm::ImageDocument* doc) const { return m_runs.count(doc) != 0; }
  bool Running() const { return !m_runs.empty(); }

 signals:
  void Started(qirm::ImageDocument* doc);
  // A run's progress, on this thread.
  void Progress(int percent);
  // The run on `doc` has ended and its result is in the window (unless the
  // window was closed meanwhile: `committed` false).
  void Finished(qirm::ImageDocument* doc, const qirm::Status& status, bool committed);

 private:
  struct Run;
  void End(qirm::ImageDocument* doc);

  qirm::Workspace& m_workspace;
  std::map<const qirm::ImageDocument*, std::shared_ptr<Run>> m_runs;
};
