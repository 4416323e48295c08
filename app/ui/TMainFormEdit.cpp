// SPDX-License-Identifier: GPL-3.0-or-later
// Nothing lost: undo and redo of the active image window (the Edit menu's
// items, named after the command they take back or repeat, and the paths
// every menu command that changes a window runs through: in place, or off
// this thread for the long ones, with the window locked meanwhile), and the
// question whether to save before an edited or unsaved window closes.
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>

#include "app/status_texts.h"
#include "app/ui/LevelsPanel.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/UpDownSpin.h"

namespace {

// "ぼかし(&B)" -> "ぼかし": the caption as the step's name.
std::string StepName(const QAction* item) {
  QString caption = item->text();
  caption.remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
  caption.remove(QLatin1Char('&'));
  return caption.toStdString();
}

const char* const kBusyRefusal = "この画像は処理中です。処理が終わってから、もう一度実行してください。";

}  // namespace

qirm::Status TMainForm::RunUndoable(const QAction* item, const qirm::DocumentCommand& command) {
  // The running command would overwrite what this one does.
  if (Busy(ActiveChild())) return qirm::Status::Error(kBusyRefusal);
  const qirm::Status status = qirm::RunWithUndo(m_workspace, StepName(item), command);
  UpdateUndoItems();
  return status;
}

void TMainForm::RunInBackground(const QAction* item, TChild* child, CommandRunner::Work work) {
  if (!child || !child->Document() || RefuseBusy(child)) return;
  Runner->Start(child->Document(), StepName(item), std::move(work));
}

bool TMainForm::Busy(const TChild* child) const {
  return child && Runner && Runner->Running(child->Document());
}

bool TMainForm::RefuseBusy(const TChild* child) {
  if (!Busy(child)) return false;
  ShowError(QString::fromUtf8(kBusyRefusal));
  return true;
}

void TMainForm::BackgroundFinished(qirm::ImageDocument* doc, const qirm::Status& status, bool committed) {
  if (!Runner->Running()) {
    SetProgress(0);
    if (m_busyCursor) QApplication::restoreOverrideCursor();
    m_busyCursor = false;
  }
  TChild* child = committed ? ChildOf(doc) : nullptr;
  if (child) child->RefreshImage();
  // A result may have brought levels of its own into the level boxes.
  if (child && child == ActiveChild()) SyncTexts();
  // A command that makes a float or colour window anew (debayering) gives
  // it new levels: the edits and the panel follow them.
  if (child && doc == m_workspace.active() && qirm::HasFloatValues(*doc)) {
    m_workspace.SetMaxLevel(doc->max_level);
    m_workspace.SetMinLevel(doc->min_level);
    SyncTexts();
    FollowLevels(true);
  }
  UpdateUndoItems();
  if (!status) ShowError(QString::fromStdString(status.message()));
}

void TMainForm::UpdateBusyItems() {
  const TChild* child = ActiveChild();
  const qirm::ImageDocument* doc = child ? child->Document() : nullptr;
  const bool busy = Busy(child);
  for (const CheckedItem& item : m_checkedItems) {
    qirm::Status s = qirm::MenuCommandCheck(item.command, doc);
    if (s && busy && item.locked_while_busy) s = qirm::Status::Error(kBusyRefusal);
    item.action->setEnabled(s.ok());
    // An enabled item's tooltip is its caption, which the menu does not show.
    item.action->setToolTip(s ? QString() : QString::fromStdString(s.message()));
  }
  if (Save2) {
    qirm::Status s = OverwriteCheck(child);
    if (s && busy) s = qirm::Status::Error(kBusyRefusal);
    Save2->setEnabled(s.ok());
    Save2->setToolTip(s ? QString() : QString::fromStdString(s.message()));
  }
  for (const CheckedButton& b : m_checkedButtons) {
    qirm::Status s = qirm::MenuCommandCheck(b.command, doc);
    if (s && busy) s = qirm::Status::Error(kBusyRefusal);
    b.button->setEnabled(s.ok());
    b.button->setToolTip(s ? b.tip : b.tip + QLatin1Char('\n') + QString::fromStdString(s.message()));
  }
  for (QWidget* control : std::initializer_list<QWidget*>{Edit1, Edit2, Edit3, UpDown1, UpDown2,
                                                          static_cast<QWidget*>(LevelsDock)}) {
    if (control) control->setEnabled(!busy);
  }
}

void TMainForm::UpdateUndoItems() {
  if (!Undo1 || !Redo1) return;
  UpdateCommandItems();
  // Commands that change a window's data come here: count its values again.
  FollowLevels(true);
}

void TMainForm::UpdateCommandItems() {
  if (!Undo1 || !Redo1) return;
  const qirm::ImageDocument* doc = m_workspace.active();
  const qirm::History* history = doc && ChildOf(doc) ? &m_workspace.HistoryOf(doc) : nullptr;
  const auto label = [](const char* verb, const std::string& name) {
    QString text = QString::fromUtf8(verb);
    if (!name.empty()) text += QStringLiteral(": ") + QString::fromStdString(name);
    return text;
  };
  const bool busy = Busy(ActiveChild());
  Undo1->setEnabled(!busy && history && history->CanUndo());
  Undo1->setText(label("元に戻す", history ? history->UndoName() : std::string()));
  Redo1->setEnabled(!busy && history && history->CanRedo());
  Redo1->setText(label("やり直し", history ? history->RedoName() : std::string()));
  UpdateBusyItems();
  UpdateStatusTexts();
}

void TMainForm::UpdateStatusTexts() {
  if (!Label7 || !Label8) return;
  const TChild* child = ActiveChild();
  const qirm::ImageDocument* doc = child ? child->Document() : nullptr;
  Label7->setText(QStringLiteral("Image Depth = ") +
                  (doc ? QString::fromStdString(qirm::ImageDepthText(*doc)) : QString()));
  Label8->setText(QStringLiteral("Image Size = ") +
                  (doc ? QString::fromStdString(qirm::ImageSizeText(*doc)) : QString()));
}

void TMainForm::Undo1Click() {
  TChild* child = ActiveChild();
  if (RefuseBusy(child)) return;
  if (child && qirm::UndoActive(m_workspace)) {
    child->RefreshImage();
    SyncTexts();
  }
  UpdateUndoItems();
}

void TMainForm::Redo1Click() {
  TChild* child = ActiveChild();
  if (RefuseBusy(child)) return;
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
      auto* child = qobject_cast<TChild*>(sub->widget());
      // The run's result and its undo step belong to this window: it stays
      // until the run ends.
      if (Busy(child)) {
        QMessageBox::information(this, QStringLiteral("QIRM"),
                                 QStringLiteral("「%1」は処理中です。処理が終わってから閉じてください。")
                                     .arg(QString::fromLocal8Bit(child->Document()->caption.c_str())));
        event->ignore();
        return true;
      }
      if (!MayClose(child)) {
        event->ignore();
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}
