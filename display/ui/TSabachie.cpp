#include "display/ui/TSabachie.h"

TSabachie::TSabachie(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Sabachie"));
  setWindowTitle(QStringLiteral("Sabachie"));
}
