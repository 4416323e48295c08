// SPDX-License-Identifier: GPL-3.0-or-later
// Filter commands of the "画像処理(&P)" menu: edge enhancement, blur,
// high-pass, low-pass, blooming removal, coma correction, guide-miss
// canceller. The engine runs each command's whole sequence on the active
// window's document; here the dialogs are shown and the command handed to
// a worker thread (RunInBackground), which paints the progress, redraws the
// window and boxes the error when it ends.
#include <QLineEdit>
#include <QPointer>
#include <functional>

#include "app/ui/Forms.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "filters/filter_commands.h"
#include "filters/ui/TBLUR.h"
#include "filters/ui/TComaCorrect.h"
#include "filters/ui/TEDG.h"
#include "filters/ui/TGMCPanel.h"

namespace {

using Progress = std::function<void(int)>;

}  // namespace

void TMainForm::N2Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !EDG || RefuseBusy(child)) return;
  // A window the command does not take is refused before a value is asked.
  if (const qirm::Status kind = qirm::EdgeKindCheck(*child->Document()); !kind) {
    ShowError(QString::fromStdString(kind.message()));
    return;
  }
  // Cancel, Esc and the close box cancel the command.
  if (EDG->exec() != QDialog::Accepted || !child) return;
  const double strength = EDG->Strength();
  RunInBackground(N2, child, [strength](qirm::ImageDocument& doc, const Progress& progress) {
    return qirm::EdgeCommand(doc, strength, progress);
  });
}

void TMainForm::N4Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !BLUR || RefuseBusy(child)) return;
  if (const qirm::Status kind = qirm::BlurKindCheck(*child->Document()); !kind) {
    ShowError(QString::fromStdString(kind.message()));
    return;
  }
  if (BLUR->exec() != QDialog::Accepted || !child) return;
  const double amount = BLUR->Amount();
  RunInBackground(N4, child, [amount](qirm::ImageDocument& doc, const Progress& progress) {
    return qirm::BlurCommand(doc, amount, progress);
  });
}

void TMainForm::H1Click() {
  RunInBackground(H1, ActiveChild(), [](qirm::ImageDocument& doc, const Progress& progress) {
    return qirm::HighPassCommand(doc, progress);
  });
}

void TMainForm::L1Click() {
  RunInBackground(L1, ActiveChild(), [](qirm::ImageDocument& doc, const Progress& progress) {
    return qirm::LowPassCommand(doc, progress);
  });
}

void TMainForm::N5Click() {
  RunInBackground(N5, ActiveChild(), [](qirm::ImageDocument& doc, const Progress& progress) {
    return qirm::BloomCommand(doc, progress);
  });
}

void TMainForm::N9Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !ComaCorrect || RefuseBusy(child)) return;
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
  RunInBackground(N9, child, [params](qirm::ImageDocument& doc, const Progress&) {
    return qirm::ComaCommand(doc, params);
  });
}

void TMainForm::P1Click() {
  if (!GMCPanel) return;
  // The panel comes first, with or without an image window.
  if (GMCPanel->exec() != QDialog::Accepted) return;
  TChild* child = ActiveChild();
  if (!child) return;
  const double blur = GMCPanel->BlurAmount();
  const auto settings = GMCPanel->Settings();
  RunInBackground(P1, child, [settings, blur](qirm::ImageDocument& doc, const Progress&) {
    return qirm::GmcCommand(doc, settings, blur);
  });
}
