#include "filters/ui/TEDG.h"

TEDG::TEDG(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("EDG"));
  setWindowTitle(QStringLiteral("EDG"));
}
