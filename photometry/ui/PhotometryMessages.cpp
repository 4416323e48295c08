// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/ui/PhotometryMessages.h"

#include <QComboBox>
#include <QLineEdit>
#include <map>

#include "core/numbers.h"

QString PhotometryMessage(const std::string& message) {
  static const std::map<std::string, QString> texts = {
      {"the window holds no picture", QStringLiteral("ウィンドウに画像がありません")},
      {"the position lies outside the picture", QStringLiteral("位置が画像の外です")},
      {"the position must be finite", QStringLiteral("位置が画像の外です")},
      {"the sky annulus lies outside the picture", QStringLiteral("背景の円環が画像の外です")},
      {"photometry values must be finite numbers", QStringLiteral("数値を入力してください")},
      {"the aperture radius must be above 0", QStringLiteral("開口半径は0より大きくしてください")},
      {"the annulus must not start inside the aperture",
       QStringLiteral("背景の内径は開口半径以上にしてください")},
      {"the annulus's outer radius must exceed its inner",
       QStringLiteral("背景の外径は内径より大きくしてください")},
      {"the annulus's outer radius must not exceed 1000 pixels",
       QStringLiteral("背景の外径は1000ピクセル以下にしてください")},
      {"the search radius must be 0 to 1000 pixels",
       QStringLiteral("星を探す半径は0から1000ピクセルにしてください")},
      {"the gain must be above 0", QStringLiteral("ゲインは0より大きくしてください")},
      {"the read noise must not be negative", QStringLiteral("読み出しノイズは0以上にしてください")},
      {"the zero point must be -100 to 100", QStringLiteral("等級の原点は-100から100にしてください")},
      {"trail values must be finite", QStringLiteral("数値を入力してください")},
      {"the trail width must be above 0 and at most 1000",
       QStringLiteral("幅は0より大きく1000以下にしてください")},
      {"the sky gap must be 0 to 1000", QStringLiteral("背景との間隔は0から1000にしてください")},
      {"the trail's ends must be finite", QStringLiteral("両端の位置を入力してください")},
      {"the trail's ends must lie within 1e9 pixels of pixel (0, 0)",
       QStringLiteral("両端の位置は原点から10億ピクセル以内にしてください")},
      {"the trail's ends must lie at least 1 pixel apart",
       QStringLiteral("両端は1ピクセル以上離してください")},
      {"the trail lies outside the picture", QStringLiteral("流星の帯が画像の外です")},
      {"the sky bands lie outside the picture", QStringLiteral("背景の帯が画像の外です")},
  };
  const auto it = texts.find(message);
  return it != texts.end() ? it->second : QString::fromStdString(message);
}

bool ReadNumber(const QLineEdit* edit, const QString& what, double& out, QString& error) {
  if (qirm::ParseReal(edit->text().toStdString(), out)) return true;
  error = QStringLiteral("%1「%2」は数値ではありません").arg(what, edit->text());
  return false;
}

QComboBox* NewChannelBox(QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QStringLiteral("ChannelBox"));
  box->addItems({QStringLiteral("赤 (R)"), QStringLiteral("緑 (G)"), QStringLiteral("青 (B)")});
  box->setCurrentIndex(1);
  box->setToolTip(QStringLiteral("カラー画像で測るチャンネル（16ビット画像は物理値をそのまま測ります）"));
  return box;
}
