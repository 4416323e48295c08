#include "filters/ui/TGMCPanel.h"

TGMCPanel::TGMCPanel(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("GMCPanel"));
  setWindowTitle(QStringLiteral("GMCPanel"));
}
