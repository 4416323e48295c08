// SPDX-License-Identifier: GPL-3.0-or-later
// The level and zoom controls of the main window.
#include <QAction>
#include <QLineEdit>
#include <QMenu>

#include "app/ui/LevelsPanel.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "app/ui/UpDownSpin.h"
#include "display/level_presets.h"
#include "display/window_commands.h"

// The level and zoom controls are disabled while the active window runs a
// command (its result would overwrite them); the handlers check again.

void TMainForm::LevelCommand(qirm::Status (*command)(qirm::Workspace&)) {
  TChild* child = ActiveChild();
  if (!child || Busy(child)) return;
  const qirm::Status s = command(m_workspace);
  child->RefreshImage();
  SyncTexts();
  if (!s) ShowError(QString::fromStdString(s.message()));
}

void TMainForm::Button33Click() { LevelCommand(&qirm::ContrastUp); }
void TMainForm::Button44Click() { LevelCommand(&qirm::ContrastDown); }

void TMainForm::SpinClick(qirm::LevelSpin spin, int direction) {
  TChild* child = ActiveChild();
  if (!child) return;
  if (Busy(child)) {
    SyncTexts();  // the spin goes back to the level in effect
    return;
  }
  const qirm::Status s = qirm::SpinClick(m_workspace, spin, direction);
  child->RefreshImage();
  SyncTexts();
  if (!s) ShowError(QString::fromStdString(s.message()));
}

// The spin box has already stepped its own value; the workspace decides what
// the click means from the position it held before.
void TMainForm::UpDown1Click() {
  const int direction = UpDown1->LastSteps() < 0 ? -1 : +1;
  SpinClick(qirm::LevelSpin::kMaximum, direction);
}

void TMainForm::UpDown2Click() {
  const int direction = UpDown2->LastSteps() < 0 ? -1 : +1;
  SpinClick(qirm::LevelSpin::kMinimum, direction);
}

void TMainForm::Edit2Change() {
  if (Busy(ActiveChild())) {
    SyncTexts();
    return;
  }
  const qirm::Status s = m_workspace.TypeMaxLevel(Edit2->text().toStdString());
  SyncTexts();
  if (!s) ShowError(QString::fromStdString(s.message()));
}

void TMainForm::Edit3Change() {
  if (Busy(ActiveChild())) {
    SyncTexts();
    return;
  }
  const qirm::Status s = m_workspace.TypeMinLevel(Edit3->text().toStdString());
  SyncTexts();
  if (!s) ShowError(QString::fromStdString(s.message()));
}

void TMainForm::ZoomActive(const std::function<qirm::Status(bool& changed)>& command,
                           std::optional<QPointF> anchor, bool fit) {
  TChild* child = ActiveChild();
  if (!child || Busy(child)) return;
  const QPointF point = child->ImagePointAt(anchor.value_or(child->ViewCentre()));
  bool changed = false;
  const qirm::Status s = command(changed);
  if (!s) {
    ShowError(QString::fromStdString(s.message()));
    return;
  }
  if (!changed) return;
  child->RefreshImage();
  if (fit) FitZoomed(child);
  // The window may have changed its size: the centre is the new one's.
  child->ShowImagePointAt(point, anchor.value_or(child->ViewCentre()));
  SyncTexts();
}

void TMainForm::ZoomClick(qirm::ZoomDirection direction) {
  ZoomActive([&](bool& changed) { return qirm::Zoom(m_workspace, direction, changed); }, std::nullopt, true);
}

void TMainForm::Button1Click() { ZoomClick(qirm::ZoomDirection::In); }
void TMainForm::Button2Click() { ZoomClick(qirm::ZoomDirection::Out); }

void TMainForm::CreateLevelsPanel() {
  LevelsDock = new LevelsPanel(this);
  addDockWidget(Qt::RightDockWidgetArea, LevelsDock);
  // Hidden with its close box, shown again from the View menu (the Window
  // menu's last part is its list of windows).
  if (View1Menu) {
    View1Menu->addSeparator();
    QAction* toggle = LevelsDock->toggleViewAction();
    toggle->setObjectName(QStringLiteral("Levels1"));
    View1Menu->addAction(toggle);
  }
  connect(LevelsDock, &LevelsPanel::PresetChosen, this, &TMainForm::LevelPresetClick);
  connect(LevelsDock, &LevelsPanel::LevelsDragged, this, &TMainForm::LevelsDrag);
}

void TMainForm::FollowLevels(bool recount) {
  if (LevelsDock) LevelsDock->Follow(ActiveChild() ? m_workspace.active() : nullptr, recount);
}

void TMainForm::LevelEditEnter() {
  TChild* child = ActiveChild();
  if (!child || Busy(child)) return;
  const qirm::ImageDocument& doc = *child->Document();
  if (doc.kind != qirm::WindowKind::kRaw16 && !qirm::HasFloatValues(doc)) return;
  qirm::RenderWindowLevels(*child->Document());
  child->RefreshImage();
  FollowLevels(false);
}

void TMainForm::LevelPresetClick(qirm::LevelPreset preset) {
  TChild* child = ActiveChild();
  if (!child || Busy(child)) return;
  const qirm::Status s = qirm::ApplyLevelPreset(m_workspace, preset);
  child->RefreshImage();
  SyncTexts();
  // The histogram's span takes in the new levels.
  FollowLevels(true);
  if (!s) ShowError(QString::fromStdString(s.message()));
}

void TMainForm::LevelsDrag(int min, int max) {
  TChild* child = ActiveChild();
  if (!child || Busy(child)) return;
  const qirm::Status s = qirm::SetLevels(m_workspace, min, max);
  child->RefreshImage();
  SyncTexts();
  if (!s) ShowError(QString::fromStdString(s.message()));
}

void TMainForm::Zoom100Click() {
  ZoomActive([&](bool& changed) { return qirm::SetZoom(m_workspace, 1, changed); }, std::nullopt, true);
}

// Fits the picture in the window as it stands; the window keeps its size.
void TMainForm::FitZoom1Click() {
  TChild* child = ActiveChild();
  if (!child) return;
  const qirm::ImageDocument& doc = *child->Document();
  const QSize view = child->size();
  const double z = qirm::FitZoom(doc.width.value_or(doc.Image.width()),
                                 doc.height.value_or(doc.Image.height()), view.width(), view.height());
  ZoomActive([&](bool& changed) { return qirm::SetZoom(m_workspace, z, changed); }, std::nullopt, false);
}

void TMainForm::Edit1Change() {
  double z = 0;
  if (ActiveChild() && qirm::ParseZoomText(Edit1->text().toStdString(), z)) {
    ZoomActive([&](bool& changed) { return qirm::SetZoom(m_workspace, z, changed); }, std::nullopt, true);
  }
  // The box shows the zoom in effect: the one just set, or the one the text
  // could not replace.
  SyncTexts();
}
