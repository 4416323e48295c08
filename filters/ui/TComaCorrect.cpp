#include "filters/ui/TComaCorrect.h"

TComaCorrect::TComaCorrect(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ComaCorrect"));
  setWindowTitle(QStringLiteral("ComaCorrect"));
}
