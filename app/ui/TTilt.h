// The background-tilt dialog. Created at start-up and never shown: its menu
// item has no command.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TTilt : public QDialog {
  Q_OBJECT
 public:
  explicit TTilt(QWidget* parent = nullptr);
};
