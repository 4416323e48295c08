// SPDX-License-Identifier: GPL-3.0-or-later
// Commands of the "画像編集(&E)" and "画像処理(&P)" menus that change geometry
// and tones: mirror, flip, rotate, negative, gamma, solarization, Sabattier.
// The engine runs each command's whole sequence on the active window's
// document; here the dialogs are shown, the window redrawn and errors boxed,
// or the command handed to a worker thread that does so when it ends.
#include <QPointer>
#include <functional>

#include "app/ui/Forms.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "display/display_commands.h"
#include "display/ui/TGMM.h"
#include "display/ui/TSabachie.h"

namespace {

// Shows the window's pictures again and the level boxes (the negative of a
// 16-bit window turns its levels over), then the error of a command that
// stopped.
void Finish(TMainForm* form, TChild* child, const qirm::Status& status) {
  child->RefreshImage();
  form->SyncTexts();
  if (!status) form->ShowError(QString::fromStdString(status.message()));
}

}  // namespace

void TMainForm::N1Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  Finish(this, child, RunUndoable(N1, qirm::NegativeCommand));
}

void TMainForm::M1Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  Finish(this, child, RunUndoable(M1, qirm::MirrorCommand));
}

void TMainForm::R1Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  Finish(this, child, RunUndoable(R1, qirm::FlipCommand));
}

// Rotation and the tone commands below run off this thread
// (RunInBackground): a large window takes a second or more.
void TMainForm::R3Click() {
  RunInBackground(R3, ActiveChild(), [](qirm::ImageDocument& doc, const std::function<void(int)>& progress) {
    return qirm::RotateCommand(doc, progress);
  });
}

void TMainForm::N6Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !GMM || RefuseBusy(child)) return;
  // A window the command does not take is refused before a value is asked.
  if (const qirm::Status kind = qirm::GammaKindCheck(*child->Document()); !kind) {
    ShowError(QString::fromStdString(kind.message()));
    return;
  }
  // Cancel, Esc and the close box cancel the command.
  if (GMM->exec() != QDialog::Accepted || !child) return;
  const qirm::GammaParams params = GMM->Params();
  RunInBackground(N6, child, [params](qirm::ImageDocument& doc, const std::function<void(int)>&) {
    return qirm::GammaCommand(doc, params);
  });
}

void TMainForm::N7Click() {
  RunInBackground(N7, ActiveChild(), [](qirm::ImageDocument& doc, const std::function<void(int)>&) {
    return qirm::SolarizeCommand(doc);
  });
}

void TMainForm::N8Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !Sabachie || RefuseBusy(child)) return;
  if (const qirm::Status kind = qirm::SabattierKindCheck(*child->Document()); !kind) {
    ShowError(QString::fromStdString(kind.message()));
    return;
  }
  if (Sabachie->exec() != QDialog::Accepted || !child) return;
  const qirm::SabattierParams params = Sabachie->Params();
  RunInBackground(N8, child, [params](qirm::ImageDocument& doc, const std::function<void(int)>&) {
    return qirm::SabattierCommand(doc, params);
  });
}
