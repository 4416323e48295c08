// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TAboutBox.h"

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("バージョン情報"));
}
