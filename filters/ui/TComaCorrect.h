// The optical axis and coma amount of the coma correction.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TComaCorrect : public QDialog {
  Q_OBJECT
 public:
  explicit TComaCorrect(QWidget* parent = nullptr);
};
