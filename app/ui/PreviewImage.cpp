// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/PreviewImage.h"

#include <QLabel>
#include <algorithm>

#include "app/ui/TChild.h"
#include "display/resample.h"

void ShowPreview(QLabel* label, const qirm::Picture& picture) {
  if (picture.empty()) {
    label->clear();
    return;
  }
  const QPixmap pixmap = QPixmap::fromImage(ToQImage(picture));
  label->setPixmap(pixmap.scaled(label->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

qirm::ImageDocument ReducedCopy(const qirm::ImageDocument& doc, int side) {
  const int w = qirm::DataWidth(doc), h = qirm::DataHeight(doc);
  if (std::max(w, h) <= side || w == 0 || h == 0) return doc;
  qirm::ResampleParams params;
  params.method = qirm::ResampleMethod::kArea;
  params.width = std::max(1, w * side / std::max(w, h));
  params.height = std::max(1, h * side / std::max(w, h));
  qirm::ImageDocument out;
  if (!qirm::ResampleCommand(doc, params, out)) return doc;
  return out;
}
