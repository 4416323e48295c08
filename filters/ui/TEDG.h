// The strength dialog of edge enhancement.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TEDG : public QDialog {
  Q_OBJECT
 public:
  explicit TEDG(QWidget* parent = nullptr);
};
