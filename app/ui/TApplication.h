// SPDX-License-Identifier: GPL-3.0-or-later
// The application object. An exception thrown by an event handler (a text
// that does not parse as a number, a picture that cannot be loaded, memory
// that cannot be had) is caught where the event was delivered and shown in
// an error box; the command stops there and the program goes on.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>

class TApplication : public QApplication {
  Q_OBJECT
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;

  // The error box: the message with an OK button, over the active window.
  static void ShowException(const QString& message);
  // The error box's text for an exception a command let out: its message,
  // or for an allocation that failed (std::bad_alloc, std::length_error),
  // that memory ran short.
  static QString ExceptionText(const std::exception& e);

  // The toolkit's own texts (file dialogs, standard buttons, the line
  // edit's menu) in Japanese, as the rest of the program speaks, whatever
  // the system's language: Qt's "qtbase_ja" translation from its
  // translations folder (Debian: qt6-translations-l10n). False when it is
  // not installed; the toolkit then stays in English.
  static bool InstallJapaneseTranslation(QCoreApplication& app);
};
