// The spectrum plot window, shown without blocking.
// One instance lives for the whole run (see Forms.h); for now only the shell.
#pragma once

#include <QWidget>

class TSpDraw : public QWidget {
  Q_OBJECT
 public:
  explicit TSpDraw(QWidget* parent = nullptr);
};
