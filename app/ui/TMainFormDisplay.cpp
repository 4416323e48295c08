// Commands of the "画像編集(&E)" and "画像処理(&P)" menus that change geometry
// and tones: mirror, flip, rotate, negative, gamma, solarization, Sabattier.
// The engine runs each command's whole sequence on the active window's
// document; here the dialogs are shown, the window redrawn and errors boxed.
#include <QPointer>

#include "app/ui/Forms.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "display/display_commands.h"
#include "display/ui/TGMM.h"
#include "display/ui/TSabachie.h"

namespace {

// Shows the window's pictures again, then the error of a command that
// stopped.
void Finish(TMainForm* form, TChild* child, const qirm::Status& status) {
  child->RefreshImage();
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

void TMainForm::R3Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  // The engine reports from this thread only, so the bar can be painted.
  const qirm::Status s = RunUndoable(R3, [this](qirm::ImageDocument& doc) {
    return qirm::RotateCommand(doc, [this](int percent) { SetProgress(percent); });
  });
  SetProgress(0);
  Finish(this, child, s);
}

void TMainForm::N6Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !GMM) return;
  // A window the command does not take is refused before a value is asked.
  if (const qirm::Status kind = qirm::GammaKindCheck(*child->Document()); !kind) {
    ShowError(QString::fromStdString(kind.message()));
    return;
  }
  // Cancel, Esc and the close box cancel the command.
  if (GMM->exec() != QDialog::Accepted || !child) return;
  const qirm::GammaParams params = GMM->Params();
  Finish(this, child,
         RunUndoable(N6, [&](qirm::ImageDocument& doc) { return qirm::GammaCommand(doc, params); }));
}

void TMainForm::N7Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  Finish(this, child, RunUndoable(N7, qirm::SolarizeCommand));
}

void TMainForm::N8Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !Sabachie) return;
  if (Sabachie->exec() != QDialog::Accepted || !child) return;
  const qirm::SabattierParams params = Sabachie->Params();
  Finish(this, child,
         RunUndoable(N8, [&](qirm::ImageDocument& doc) { return qirm::SabattierCommand(doc, params); }));
}
