// The level and zoom controls of the main window.
#include <QLineEdit>

#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/UpDownSpin.h"

void TMainForm::LevelCommand(qirm::Status (qirm::Workspace::*command)()) {
  TChild* child = ActiveChild();
  if (!child) return;
  const qirm::Status s = (m_workspace.*command)();
  child->RefreshImage();
  SyncTexts();
  if (!s) ShowError(QString::fromStdString(s.message()));
}

void TMainForm::Button33Click() { LevelCommand(&qirm::Workspace::ContrastUp); }
void TMainForm::Button44Click() { LevelCommand(&qirm::Workspace::ContrastDown); }

void TMainForm::SpinClick(qirm::Workspace::Spin spin, int direction) {
  TChild* child = ActiveChild();
  if (!child) return;
  const qirm::Status s = m_workspace.SpinClick(spin, direction);
  child->RefreshImage();
  SyncTexts();
  if (!s) ShowError(QString::fromStdString(s.message()));
}

// The spin box has already stepped its own value; the workspace decides what
// the click means from the position it held before.
void TMainForm::UpDown1Click() {
  const int direction = UpDown1->LastSteps() < 0 ? -1 : +1;
  SpinClick(qirm::Workspace::Spin::Maximum, direction);
}

void TMainForm::UpDown2Click() {
  const int direction = UpDown2->LastSteps() < 0 ? -1 : +1;
  SpinClick(qirm::Workspace::Spin::Minimum, direction);
}

void TMainForm::Edit2Change() {
  const qirm::Status s = m_workspace.SetEdit2(Edit2->text().toStdString());
  SyncTexts();
  if (!s) ShowError(QString::fromStdString(s.message()));
}

void TMainForm::Edit3Change() {
  const qirm::Status s = m_workspace.SetEdit3(Edit3->text().toStdString());
  SyncTexts();
  if (!s) ShowError(QString::fromStdString(s.message()));
}

void TMainForm::ZoomClick(qirm::ZoomDirection direction) {
  TChild* child = ActiveChild();
  if (!child) return;
  bool changed = false;
  const qirm::Status s = m_workspace.Zoom(direction, changed);
  if (!s) {
    ShowError(QString::fromStdString(s.message()));
    return;
  }
  if (!changed) return;
  child->RefreshImage();
  FitZoomed(child);
  SyncTexts();
}

void TMainForm::Button1Click() { ZoomClick(qirm::ZoomDirection::In); }
void TMainForm::Button2Click() { ZoomClick(qirm::ZoomDirection::Out); }
