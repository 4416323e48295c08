// The tri-colour composition dialog: frame lists, stars, background and
// white balance.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TRGBComp : public QDialog {
  Q_OBJECT
 public:
  explicit TRGBComp(QWidget* parent = nullptr);
};
