// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TTitle.h"

TTitle::TTitle(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("Title"));
  setWindowTitle(QStringLiteral("タイトル"));
}
