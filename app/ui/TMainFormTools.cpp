// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis tools of the editing and processing menus: resampling,
// background slope removal and the tone curve. The engine does the work on
// the active window's document; here the dialogs are shown, the results
// drawn and errors boxed.
#include <QPointer>

#include "app/ui/Forms.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/TTilt.h"
#include "display/resample.h"
#include "display/tone_curve.h"
#include "display/ui/TResample.h"
#include "display/ui/TToneCurve.h"
#include "filters/background.h"

namespace {

// A window the tool does not take is refused before its dialog opens.
bool Refused(TMainForm* form, TChild* child, qirm::Status (*check)(const qirm::ImageDocument&)) {
  const qirm::Status kind = check(*child->Document());
  if (kind) return false;
  form->ShowError(QString::fromStdString(kind.message()));
  return true;
}

}  // namespace

void TMainForm::N3Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || RefuseBusy(child) || Refused(this, child, qirm::ResampleKindCheck)) return;
  if (!ResampleDialog) ResampleDialog = new TResample(this);
  const qirm::ImageDocument* doc = child->Document();
  ResampleDialog->SetSourceSize(qirm::DataWidth(*doc), qirm::DataHeight(*doc));
  if (ResampleDialog->exec() != QDialog::Accepted || !child) return;
  const qirm::ResampleParams params = ResampleDialog->Params();
  if (ResampleDialog->NewWindow()) {
    const qirm::Status s = qirm::ResampleToNewWindow(m_workspace, params);
    if (!s) {
      ShowError(QString::fromStdString(s.message()));
      return;
    }
    ShowNewWindows(ResultWindowSize::kFitPicture);
    return;
  }
  // Lanczos-3 to twice the size of a large frame takes seconds: off this thread.
  RunInBackground(N3, child, [params](qirm::ImageDocument& d, const std::function<void(int)>&) {
    return qirm::ResampleCommand(d, params, d);
  });
}

void TMainForm::T2Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || !Tilt || RefuseBusy(child) || Refused(this, child, qirm::BackgroundKindCheck)) return;
  Tilt->SetDocument(child->Document());
  const int answer = Tilt->exec();
  Tilt->SetDocument(nullptr);
  if (answer != QDialog::Accepted || !child) return;
  const qirm::BackgroundParams params = Tilt->Params();
  RunInBackground(T2, child, [params](qirm::ImageDocument& d, const std::function<void(int)>&) {
    return qirm::BackgroundCommand(d, params);
  });
}

void TMainForm::T1Click() {
  QPointer<TChild> child = ActiveChild();
  if (!child || RefuseBusy(child) || Refused(this, child, qirm::ToneCurveKindCheck)) return;
  if (!ToneCurveDialog) ToneCurveDialog = new TToneCurve(this);
  ToneCurveDialog->SetDocument(child->Document());
  const int answer = ToneCurveDialog->exec();
  ToneCurveDialog->SetDocument(nullptr);
  if (answer != QDialog::Accepted || !child) return;
  const qirm::ToneCurveParams params = ToneCurveDialog->Params();
  RunInBackground(T1, child, [params](qirm::ImageDocument& d, const std::function<void(int)>&) {
    return qirm::ToneCurveCommand(d, params);
  });
}
