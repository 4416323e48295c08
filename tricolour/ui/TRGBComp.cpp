#include "tricolour/ui/TRGBComp.h"

TRGBComp::TRGBComp(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("RGBComp"));
  setWindowTitle(QStringLiteral("RGB"));
}
