// The tri-colour composition dialog: frame lists, stars, background and
// white balance. One instance lives for the whole run (see Forms.h). So far
// it holds the reference-star and background controls that clicks in image
// windows fill.
#pragma once

#include <QDialog>

#include "app/ui/StarPickTarget.h"

class QLineEdit;
class QRadioButton;

class TRGBComp : public QDialog, public StarPickTarget {
  Q_OBJECT
 public:
  explicit TRGBComp(QWidget* parent = nullptr);
  ~TRGBComp() override;

  qirm::StarPick ReadStarPick() const override;
  void WriteStarPick(const qirm::StarPick& pick) override;

  // Group "基準星".
  QRadioButton* RadioButton3 = nullptr;  // "なし"
  QRadioButton* RadioButton1 = nullptr;  // "１星"
  QRadioButton* RadioButton2 = nullptr;  // "２星"
  QLineEdit* Edit6 = nullptr;            // star 1 X
  QLineEdit* Edit9 = nullptr;            // star 1 Y
  QLineEdit* Edit7 = nullptr;            // star 2 X
  QLineEdit* Edit10 = nullptr;           // star 2 Y
  QLineEdit* Edit19 = nullptr;           // hidden: the star the next click sets
  // Group "バックグラウンド".
  QLineEdit* Edit12 = nullptr;
  QLineEdit* Edit13 = nullptr;
};
