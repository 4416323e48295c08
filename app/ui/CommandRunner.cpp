// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/CommandRunner.h"

#include <QThread>
#include <exception>
#include <utility>

#include "app/ui/TApplication.h"
#include "document/history.h"
#include "document/image_document.h"
#include "document/workspace.h"

struct CommandRunner::Run {
  std::string name;
  qirm::ImageDocument copy;
  qirm::Status status;
  bool threw = false;  // the copy may be half done: the window keeps what it has
  QThread* thread = nullptr;
};

CommandRunner::CommandRunner(qirm::Workspace& workspace, QObject* parent)
    : QObject(parent), m_workspace(workspace) {}

CommandRunner::~CommandRunner() {
  for (auto& [doc, run] : m_runs) {
    run->thread->wait();
    delete run->thread;
  }
}

bool CommandRunner::Start(qirm::ImageDocument* doc, const std::string& name, Work work) {
  if (!doc || Running(doc)) return false;
  auto run = std::make_shared<Run>();
  run->name = name;
  run->copy = *doc;
  run->thread = QThread::create([this, run, work = std::move(work)] {
    const auto progress = [this](int percent) {
      QMetaObject::invokeMethod(
          this, [this, percent] { emit Progress(percent); }, Qt::QueuedConnection);
    };
    try {
      run->status = work(run->copy, progress);
    } catch (const std::exception& e) {
      // A failed allocation included: the window keeps what it had and the
      // error box says why.
      run->threw = true;
      run->status = qirm::Status::Error(TApplication::ExceptionText(e).toStdString());
    }
  });
  run->thread->setObjectName(QStringLiteral("CommandRun"));
  connect(
      run->thread, &QThread::finished, this, [this, doc] { End(doc); }, Qt::QueuedConnection);
  m_runs[doc] = run;
  emit Started(doc);
  run->thread->start();
  return true;
}

void CommandRunner::End(qirm::ImageDocument* doc) {
  const auto it = m_runs.find(doc);
  if (it == m_runs.end()) return;
  const std::shared_ptr<Run> run = it->second;
  // finished() comes from the worker just before it ends: let it end.
  run->thread->wait();
  delete run->thread;
  m_runs.erase(it);
  const bool committed =
      !run->threw && qirm::CommitCommandResult(m_workspace, doc, run->name, std::move(run->copy));
  emit Finished(doc, run->status, committed);
}
