// Nothing lost: undo and redo of the active image window (the Edit menu's
// items, named after the command they take back or repeat, and the one path
// every menu command that changes a window runs through), and the question
// whether to save before an edited or unsaved window closes.
#include <QAction>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
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
  // Commands that change a window's data come here: count its values again.
  FollowLevels(true);
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

void TMainForm::MarkSaved(qirm::ImageDocument* doc) {
  doc->unsaved = false;
  m_workspace.HistoryOf(doc).Saved(doc->caption);
}

bool TMainForm::MayClose(TChild* child) {
  qirm::ImageDocument* doc = child ? child->Document() : nullptr;
  if (!doc || !doc->unsaved) return true;
  // The window in question comes to the front; the save command works on
  // the active window.
  if (auto* sub = qobject_cast<QMdiSubWindow*>(child->parentWidget())) MdiArea->setActiveSubWindow(sub);
  QMessageBox box(QMessageBox::Question, QStringLiteral("確認"),
                  QStringLiteral("「%1」は保存されていません。保存しますか？")
                      .arg(QString::fromLocal8Bit(doc->caption.c_str())),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  box.button(QMessageBox::Save)->setText(QStringLiteral("保存"));
  box.button(QMessageBox::Discard)->setText(QStringLiteral("保存しない"));
  box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Save:
      Save1Click();
      // A save cancelled or failed (the error box has told why) keeps the
      // window open.
      return child->Document() && !child->Document()->unsaved;
    case QMessageBox::Discard:
      return true;
    default:
      return false;
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && !m_closing) {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(watched)) {
      if (!MayClose(qobject_cast<TChild*>(sub->widget()))) {
        event->ignore();
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}
