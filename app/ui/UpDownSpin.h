// SPDX-License-Identifier: GPL-3.0-or-later
// A spin button whose arrow clicks are an event of their own, like the
// up-down controls the level and composition handlers are written against:
// QSpinBox only reports value changes, which also fire when the program sets
// the position.
#pragma once

#include <QSpinBox>

class UpDownSpin : public QSpinBox {
  Q_OBJECT
 public:
  explicit UpDownSpin(QWidget* parent = nullptr);
  // Steps as QSpinBox does (arrows, keys, wheel), then emits clicked().
  void stepBy(int steps) override;
  // The steps of the last click: positive up, negative down.
  int LastSteps() const { return m_lastSteps; }

 signals:
  void clicked();

 private:
  int m_lastSteps = 0;
};
