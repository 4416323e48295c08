// The guide-miss canceller's flow, direction and blur settings.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QDialog>

class TGMCPanel : public QDialog {
  Q_OBJECT
 public:
  explicit TGMCPanel(QWidget* parent = nullptr);
};
