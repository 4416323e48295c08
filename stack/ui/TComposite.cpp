#include "stack/ui/TComposite.h"

TComposite::TComposite(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Composite"));
  setWindowTitle(QStringLiteral("コンポジット"));
}
