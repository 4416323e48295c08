// Filter commands of the "画像処理(&P)" menu: edge enhancement, blur,
// high-pass, low-pass, blooming removal, coma correction, guide-miss
// canceller. The engine runs each command's whole sequence on the active
// window's document; here the dialogs are shown, progress painted, the
// window redrawn and errors boxed.
#include <QLineEdit>
#include <QPointer>
#include <algorithm>

#include "app/ui/Forms.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "filters/filter_commands.h"
#include "filters/ui/TBLUR.h"
#include "filters/ui/TComaCorrect.h"
#include "filters/ui/TEDG.h"
#include "filters/ui/TGMCPanel.h"

namespace {

// The engine reports from this thread only, so the bar can be painted; its
// row values run up to 199, and the bar stops at 100.
qirm::FilterProgress ProgressOf(TMainForm* form) {
  return [form](int value) { form->SetProgress(std::clamp(value, 0, 100)); };
}

// Shows the window's pictures again, then the error of a command that
// stopped.
void Finish(TMainForm* form, TChild* child, const qirm::Status& status) {
  child->RefreshImage();
  if (!status) form->ShowError(QString::fromStdString(status.message()));
}

}  // namespace

void TMainForm::N2Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !EDG) return;
  // A window the command does not take is refused before a value is asked.
  if (const qirm::Status kind = qirm::EdgeKindCheck(*child->Document()); !kind) {
    ShowError(QString::fromStdString(kind.message()));
    return;
  }
  // Cancel, Esc and the close box cancel the command.
  if (EDG->exec() != QDialog::Accepted || !child) return;
  const double strength = EDG->Strength();
  Finish(this, child, RunUndoable(N2, [&](qirm::ImageDocument& doc) {
           return qirm::EdgeCommand(doc, strength, ProgressOf(this));
         }));
}

void TMainForm::N4Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !BLUR) return;
  if (BLUR->exec() != QDialog::Accepted || !child) return;
  const double amount = BLUR->Amount();
  Finish(this, child, RunUndoable(N4, [&](qirm::ImageDocument& doc) {
           return qirm::BlurCommand(doc, amount, ProgressOf(this));
         }));
}

void TMainForm::H1Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  Finish(this, child, RunUndoable(H1, [this](qirm::ImageDocument& doc) {
           return qirm::HighPassCommand(doc, ProgressOf(this));
         }));
}

void TMainForm::L1Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  Finish(this, child, RunUndoable(L1, [this](qirm::ImageDocument& doc) {
           return qirm::LowPassCommand(doc, ProgressOf(this));
         }));
}

void TMainForm::N5Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  Finish(this, child, RunUndoable(N5, [this](qirm::ImageDocument& doc) {
           return qirm::BloomCommand(doc, ProgressOf(this));
         }));
}

void TMainForm::N9Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !ComaCorrect) return;
  if (const qirm::Status kind = qirm::ComaKindCheck(*child->Document()); !kind) {
    ShowError(QString::fromStdString(kind.message()));
    return;
  }
  if (ComaCorrect->exec() != QDialog::Accepted || !child) return;
  qirm::ComaParams params;
  const qirm::Status parsed =
      qirm::ParseComaTexts(ComaCorrect->Edit1->text().toStdString(), ComaCorrect->Edit2->text().toStdString(),
                           ComaCorrect->Edit3->text().toStdString(), params);
  if (!parsed) {
    ShowError(QString::fromStdString(parsed.message()));
    return;
  }
  Finish(this, child,
         RunUndoable(N9, [&](qirm::ImageDocument& doc) { return qirm::ComaCommand(doc, params); }));
}

void TMainForm::P1Click() {
  if (!GMCPanel) return;
  // The panel comes first, with or without an image window.
  if (GMCPanel->exec() != QDialog::Accepted) return;
  TChild* child = ActiveChild();
  if (!child) return;
  const double blur = GMCPanel->BlurAmount();
  const auto settings = GMCPanel->Settings();
  Finish(this, child,
         RunUndoable(P1, [&](qirm::ImageDocument& doc) { return qirm::GmcCommand(doc, settings, blur); }));
}
