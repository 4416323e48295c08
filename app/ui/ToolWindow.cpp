// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/ToolWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

void PlaceBeside(QWidget* window, const QWidget* owner) {
  if (!window || !owner) return;
  const QRect main = owner->frameGeometry();
  const QScreen* screen = owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
  const QRect room = screen ? screen->availableGeometry() : main;
  // The frame the window manager adds is not known before the window is
  // shown: room for a title bar is kept.
  const QSize size = window->size() + QSize(8, 32);
  const QPoint tries[] = {
      QPoint(main.right() + 1, main.top()),
      QPoint(main.left() - size.width(), main.top()),
      QPoint(main.left(), main.bottom() + 1),
      QPoint(main.right() - size.width(), main.bottom() - size.height()),
  };
  QPoint place = tries[3];
  for (const QPoint& p : tries) {
    if (room.contains(QRect(p, size))) {
      place = p;
      break;
    }
  }
  place.setX(std::clamp(place.x(), room.left(), std::max(room.left(), room.right() - size.width())));
  place.setY(std::clamp(place.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
  window->move(place);
}
