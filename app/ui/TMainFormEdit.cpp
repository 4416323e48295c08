// Undo and redo of the active image window: the Edit menu's items, named
// after the command they take back or repeat, and the one path every menu
// command that changes a window runs through.
#include <QAction>
#include <QRegularExpression>

#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"

namespace {

// "ぼかし(&B)" -> "ぼかし": the caption as the step's name.
std::string StepName(const QAction* item) {
  QString caption = item->text();
  caption.remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
  caption.remove(QLatin1Char('&'));
  return caption.toStdString();
}

}  // namespace

qirm::Status TMainForm::RunUndoable(const QAction* item, const qirm::DocumentCommand& command) {
  const qirm::Status status = qirm::RunWithUndo(m_workspace, StepName(item), command);
  UpdateUndoItems();
  return status;
}

void TMainForm::UpdateUndoItems() {
  if (!Undo1 || !Redo1) return;
  const qirm::ImageDocument* doc = m_workspace.active();
  const qirm::History* history = doc && ChildOf(doc) ? &m_workspace.HistoryOf(doc) : nullptr;
  const auto label = [](const char* verb, const std::string& name) {
    QString text = QString::fromUtf8(verb);
    if (!name.empty()) text += QStringLiteral(": ") + QString::fromStdString(name);
    return text;
  };
  Undo1->setEnabled(history && history->CanUndo());
  Undo1->setText(label("元に戻す", history ? history->UndoName() : std::string()));
  Redo1->setEnabled(history && history->CanRedo());
  Redo1->setText(label("やり直し", history ? history->RedoName() : std::string()));
}

void TMainForm::Undo1Click() {
  TChild* child = ActiveChild();
  if (child && qirm::UndoActive(m_workspace)) {
    child->RefreshImage();
    SyncTexts();
  }
  UpdateUndoItems();
}

void TMainForm::Redo1Click() {
  TChild* child = ActiveChild();
  if (child && qirm::RedoActive(m_workspace)) {
    child->RefreshImage();
    SyncTexts();
  }
  UpdateUndoItems();
}
