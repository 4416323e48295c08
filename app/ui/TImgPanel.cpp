// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/TImgPanel.h"

TImgPanel::TImgPanel(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ImgPanel"));
  setWindowTitle(QStringLiteral("画像処理パネル"));
}
