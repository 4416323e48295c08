// The composite dialog: which open images to stack, and how.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TComposite : public QDialog {
  Q_OBJECT
 public:
  explicit TComposite(QWidget* parent = nullptr);
};
