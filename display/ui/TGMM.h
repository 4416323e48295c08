// The gamma dialog of the gamma command.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TGMM : public QDialog {
  Q_OBJECT
 public:
  explicit TGMM(QWidget* parent = nullptr);
};
