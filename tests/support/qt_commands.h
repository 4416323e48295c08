// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for widget tests of menu commands: a random picture, snapshots of
// the active window's pictures, and dialogs answered as a user would.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <random>
#include <string>

#include "app/ui/Forms.h"
#include "app/ui/TChild.h"
#include "app/ui/TMainForm.h"
#include "core/picture.h"
#include "document/state_texts.h"
#include "tests/support/qt_modal.h"

namespace qirm::test {

inline qirm::Picture RandomPicture(int w, int h, unsigned seed, int max_byte) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, max_byte);
  qirm::Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (std::size_t i = 0; i < p.stride(); ++i) p.Row(y)[i] = static_cast<std::uint8_t>(byte(rng));
  return p;
}

// Pictures and raw values of the active window before a command, to tell
// what changed.
struct Snapshot {
  qirm::Picture image, base;
  qirm::RawPlane raw;
  std::string undo;
};

inline Snapshot Take() {
  const qirm::ImageDocument* d = MainForm->ActiveChild()->Document();
  return {d->Image, d->ImageZm, d->raw, qirm::EditedText(*d)};
}

// Long commands run off the user-interface thread: processes events until
// those started so far have ended and their results are in their windows
// (false after `timeout_ms` without that).
inline bool WaitIdle(int timeout_ms = 30000) {
  QElapsedTimer waited;
  waited.start();
  while (MainForm && MainForm->Busy()) {
    if (waited.elapsed() > timeout_ms) return false;
    QTest::qWait(2);
  }
  return true;
}

// The same as a check of the test case.
inline void WaitForCommands() { QVERIFY2(WaitIdle(), "a long command did not end"); }

// Closes (by the frame) whatever modal window opens during trigger and
// returns its title (empty when none opened). Like the helpers below, it
// waits for a long command that trigger started, answering the error box of
// its end as well.
inline QString ModalDuring(const std::function<void()>& trigger) {
  QString seen;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (QWidget* m = QApplication::activeModalWidget()) {
      seen = m->windowTitle();
      m->close();
    }
  });
  timer.start(10);
  trigger();
  WaitIdle();
  QTest::qWait(30);
  return seen;
}

// Answers every modal window that opens during trigger, in turn, and lists
// each once: a message box by its text (closed), a parameter dialog by its
// title (its OK, the control Button1, pressed with the texts it holds: its
// frame would cancel the command), any other window by its title (closed).
inline QStringList ModalsDuring(const std::function<void()>& trigger) {
  QStringList seen;
  QPointer<QWidget> last;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (QWidget* m = QApplication::activeModalWidget()) {
      auto* box = qobject_cast<QMessageBox*>(m);
      if (m != last) {
        last = m;
        seen << (box ? box->text() : m->windowTitle());
      }
      if (auto* ok = box ? nullptr : m->findChild<QPushButton*>(QStringLiteral("Button1")))
        ok->click();
      else
        m->close();
    }
  });
  timer.start(10);
  trigger();
  WaitIdle();
  QTest::qWait(30);
  return seen;
}

// Closes every image window as "close all" does, without the save question
// (the windows count as saved): for tests that only tidy up.
inline void CloseAllUnasked() {
  for (TChild* child : MainForm->Children()) child->Document()->unsaved = false;
  MainForm->A1Click();
}

// Presses OK (the control Button1) of the parameter dialog that opens during
// trigger, with the texts it holds; returns its title (empty when none
// opened).
inline QString OkDuring(const std::function<void()>& trigger) {
  const QStringList seen = ModalsDuring(trigger);
  return seen.isEmpty() ? QString() : seen.first();
}

// Types text into a dialog's edit and presses its OK; returns the text of
// the message box that answers, if one does.
inline QString PressOk(QLineEdit* edit, QPushButton* ok, const QString& text, bool expect_box) {
  edit->setText(text);
  if (!expect_box) {
    ok->click();
    return QString();
  }
  QString shown;
  WithModal<QMessageBox>([&] { ok->click(); },
                         [&](QWidget* m) { shown = AnswerMessageBox(m, QMessageBox::Ok); });
  return shown;
}

}  // namespace qirm::test
