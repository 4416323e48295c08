#include "stack/ui/TSpDraw.h"

TSpDraw::TSpDraw(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("SpDraw"));
  setWindowTitle(QStringLiteral("Spectrum"));
}
