// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis tools of the editing and processing menus: resampling,
// background slope removal and the tone curve. The engine does the work on
// the active window's document; here the dialogs are shown, the results
// drawn and errors boxed.
#include <QInputDialog>
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
#include "filters/debayer_command.h"

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

void TMainForm::DebayerClick() {
  QPointer<TChild> child = ActiveChild();
  if (!child || RefuseBusy(child)) return;
  const qirm::ImageDocument* doc = child->Document();
  if (doc->kind != qirm::WindowKind::kRaw16 && doc->kind != qirm::WindowKind::kFloat) {
    ShowError(QString::fromStdString(qirm::DebayerCommand(*child->Document(), {}).message()));
    return;
  }
  QStringList patterns;
  const QString own = QString::fromStdString(doc->bayer);
  if (!own.isEmpty()) patterns << QStringLiteral("ファイルの並び (%1)").arg(own);
  patterns << QStringLiteral("RGGB") << QStringLiteral("BGGR") << QStringLiteral("GRBG")
           << QStringLiteral("GBRG");
  bool ok = false;
  const QString pattern = QInputDialog::getItem(
      this, QStringLiteral("デベイヤー"), QStringLiteral("色フィルターの並び:"), patterns, 0, false, &ok);
  if (!ok || !child) return;
  const QStringList methods = {QStringLiteral("RCD（高画質）"), QStringLiteral("バイリニア（速い）")};
  const QString method = QInputDialog::getItem(this, QStringLiteral("デベイヤー"), QStringLiteral("方式:"),
                                               methods, 0, false, &ok);
  if (!ok || !child) return;
  qirm::DebayerParams params;
  if (!own.isEmpty() && pattern == patterns.first())
    params.pattern = own.toStdString();
  else
    params.pattern = pattern.toStdString();
  params.method = method == methods.first() ? qirm::DebayerMethod::kRcd : qirm::DebayerMethod::kBilinear;
  RunInBackground(Debayer1, child, [params](qirm::ImageDocument& d, const std::function<void(int)>&) {
    return qirm::DebayerCommand(d, params);
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
