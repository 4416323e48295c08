// SPDX-License-Identifier: GPL-3.0-or-later
// The application object. An exception thrown by an event handler (a text
// that does not parse as a number, a picture that cannot be loaded) is caught
// where the event was delivered and shown in an error box; the command stops
// there and the program goes on.
#pragma once

#include <QApplication>
#include <QString>

class TApplication : public QApplication {
  Q_OBJECT
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // The error box: the message with an OK button, over the active window.
  static void ShowException(const QString& message);
};
