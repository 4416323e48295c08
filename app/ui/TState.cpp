// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TState.h"

TState::TState(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("State"));
  setWindowTitle(QStringLiteral("状態"));
}
