// SPDX-License-Identifier: GPL-3.0-or-later
// The image-processing panel. Created at start-up and never shown: its menu
// item has no command.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TImgPanel : public QDialog {
  Q_OBJECT
 public:
  explicit TImgPanel(QWidget* parent = nullptr);
};
