// SPDX-License-Identifier: GPL-3.0-or-later
// The splash window. Created at start-up and never shown.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QWidget>

class TTitle : public QWidget {
  Q_OBJECT
 public:
  explicit TTitle(QWidget* parent = nullptr);
};
