// The amount dialog of the blur command.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TBLUR : public QDialog {
  Q_OBJECT
 public:
  explicit TBLUR(QWidget* parent = nullptr);
};
