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
  EDG->exec();  // OK or the frame: the strength last accepted either way
  if (!child) return;
  Finish(this, child, qirm::EdgeCommand(*child->Document(), EDG->Strength(), ProgressOf(this)));
}

void TMainForm::N4Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !BLUR) return;
  BLUR->exec();
  if (!child) return;
  Finish(this, child, qirm::BlurCommand(*child->Document(), BLUR->Amount(), ProgressOf(this)));
}

void TMainForm::H1Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  Finish(this, child, qirm::HighPassCommand(*child->Document(), ProgressOf(this)));
}

void TMainForm::L1Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  Finish(this, child, qirm::LowPassCommand(*child->Document(), ProgressOf(this)));
}

void TMainForm::N5Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  Finish(this, child, qirm::BloomCommand(*child->Document(), ProgressOf(this)));
}

void TMainForm::N9Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !ComaCorrect) return;
  if (const qirm::Status kind = qirm::ComaKindCheck(*child->Document()); !kind) {
    ShowError(QString::fromStdString(kind.message()));
    return;
  }
  ComaCorrect->exec();
  if (!child) return;
  qirm::ComaParams params;
  const qirm::Status parsed =
      qirm::ParseComaTexts(ComaCorrect->Edit1->text().toStdString(), ComaCorrect->Edit2->text().toStdString(),
                           ComaCorrect->Edit3->text().toStdString(), params);
  if (!parsed) {
    ShowError(QString::fromStdString(parsed.message()));
    return;
  }
  Finish(this, child, qirm::ComaCommand(*child->Document(), params));
}

void TMainForm::P1Click() {
  if (!GMCPanel) return;
  // The panel comes first, with or without an image window.
  GMCPanel->exec();
  if (!GMCPanel->Accepted()) return;
  TChild* child = ActiveChild();
  if (!child) return;
  const double blur = BLUR ? BLUR->Amount() : 0.2;
  Finish(this, child, qirm::GmcCommand(*child->Document(), GMCPanel->Settings(), blur));
}
