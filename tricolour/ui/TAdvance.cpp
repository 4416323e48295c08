#include "tricolour/ui/TAdvance.h"

TAdvance::TAdvance(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Advance"));
  setWindowTitle(QStringLiteral("Advance"));
}
