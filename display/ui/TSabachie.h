// The step-width dialog of the Sabattier command.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TSabachie : public QDialog {
  Q_OBJECT
 public:
  explicit TSabachie(QWidget* parent = nullptr);
};
