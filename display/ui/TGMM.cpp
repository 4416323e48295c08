#include "display/ui/TGMM.h"

TGMM::TGMM(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("GMM"));
  setWindowTitle(QStringLiteral("GMM"));
}
