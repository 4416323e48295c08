// SPDX-License-Identifier: GPL-3.0-or-later
// The small about form. Created at start-up and never shown: the version
// message box of the main window serves instead.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};
