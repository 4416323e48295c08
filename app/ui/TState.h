// SPDX-License-Identifier: GPL-3.0-or-later
// The status window. Created at start-up and never shown.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QWidget>

class TState : public QWidget {
  Q_OBJECT
 public:
  explicit TState(QWidget* parent = nullptr);
};
