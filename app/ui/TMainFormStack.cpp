// SPDX-License-Identifier: GPL-3.0-or-later
// Composite stacking and spectrum tracing.
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>

#include "app/ui/Forms.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "stack/composite.h"
#include "stack/spectrum.h"
#include "stack/ui/TComposite.h"
#include "stack/ui/TSpDraw.h"

void TMainForm::C1Click() {
  Composite->Prepare(qirm::CompositeCandidates(m_workspace));
  Composite->exec();  // OK, Cancel and the close box all end here; Edit2 decides
  if (!qirm::CompositeRequested(Composite->Edit2->text().toStdString())) return;

  std::vector<std::string> skipped;
  const qirm::Status s = qirm::RunComposite(m_workspace, Composite->Params(), skipped,
                                            [this](int percent) { SetProgress(percent); });
  SetProgress(0);
  if (!skipped.empty()) {
    QStringList lines;
    for (const std::string& line : skipped) lines << QString::fromStdString(line);
    QMessageBox::information(this, QStringLiteral("QIRM"), lines.join(QLatin1Char('\n')));
  }
  if (!s) {
    ShowError(QString::fromStdString(s.message()));
    return;
  }
  ShowNewWindows(ResultWindowSize::kFitPicture);
}

void TMainForm::P3Click() {
  SpDraw->show();
  SpDraw->raise();
  TChild* child = ActiveChild();
  std::optional<qirm::SpectrumRange> range;
  qirm::Status file;
  qirm::TraceSpectrum(child ? child->Document() : nullptr, SpDraw->Plot(), range, qirm::SpectrumDataPath(),
                      true, file);
  if (range) SpDraw->ShowRange(*range);
  SpDraw->RefreshPlot();
  // The plot is drawn all the same; one message says where the data went
  // missing.
  if (!file) ShowError(QString::fromStdString(file.message()));
}
