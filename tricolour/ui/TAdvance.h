// Advanced settings of the tri-colour composition.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TAdvance : public QDialog {
  Q_OBJECT
 public:
  explicit TAdvance(QWidget* parent = nullptr);
};
