// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/UpDownSpin.h"

UpDownSpin::UpDownSpin(QWidget* parent) : QSpinBox(parent) {}

void UpDownSpin::stepBy(int steps) {
  m_lastSteps = steps;
  QSpinBox::stepBy(steps);
  emit clicked();
}
