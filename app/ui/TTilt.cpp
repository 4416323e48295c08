#include "app/ui/TTilt.h"

TTilt::TTilt(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Tilt"));
  setWindowTitle(QStringLiteral("Tilt"));
}
