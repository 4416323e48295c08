#include "filters/ui/TBLUR.h"

TBLUR::TBLUR(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("BLUR"));
  setWindowTitle(QStringLiteral("BLUR"));
}
