// SPDX-License-Identifier: GPL-3.0-or-later
// The resampling dialog "リサンプリング": a factor or a new size (the aspect
// ratio kept or not), the kernel, flux kept or not, and whether the result
// goes to a new window (the default) or replaces the picture (with undo).
// OK is refused with a message when the size would exceed 32768 pixels.
#pragma once

#include <QDialog>

#include "display/resample.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

class TResample : public QDialog {
  Q_OBJECT
 public:
  explicit TResample(QWidget* parent = nullptr);

  // The size of the window to resample (the factor's base and the aspect).
  void SetSourceSize(int width, int height);
  qirm::ResampleParams Params() const;
  bool NewWindow() const;

  QRadioButton* FactorRadio = nullptr;  // "倍率"
  QDoubleSpinBox* FactorSpin = nullptr;
  QRadioButton* SizeRadio = nullptr;  // "大きさ"
  QSpinBox* WidthSpin = nullptr;
  QSpinBox* HeightSpin = nullptr;
  QCheckBox* AspectCheck = nullptr;  // "縦横比を保つ"
  QComboBox* MethodBox = nullptr;    // nearest, bilinear, bicubic, Lanczos-3, area
  QCheckBox* FluxCheck = nullptr;    // "総量を保つ (フラックス保存)"
  QRadioButton* NewWindowRadio = nullptr;
  QRadioButton* ReplaceRadio = nullptr;
  QLabel* SizeLabel = nullptr;  // "W × H → W' × H'"
  QPushButton* OkButton = nullptr;
  QPushButton* CancelButton = nullptr;

 public slots:
  void OkButtonClick();

 private:
  void UpdateSize();
  void WidthChanged();
  void HeightChanged();
  int m_width = 1;
  int m_height = 1;
  bool m_updating = false;
};
