// SPDX-License-Identifier: GPL-3.0-or-later
// Driving modal windows from widget tests: a timer answers the dialog or
// message box that the command under test opens.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/ui/TypedFileDialog.h"

namespace qirm::test {

// Runs `answer` on the next modal widget of type T that appears while
// `trigger` (which opens it) runs.
template <class T = QWidget>
void WithModal(const std::function<void()>& trigger, const std::function<void(QWidget*)>& answer) {
  auto* timer = new QTimer;
  bool answered = false;
  QObject::connect(timer, &QTimer::timeout, [&] {
    if (answered) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible() && qobject_cast<T*>(modal)) {
      answered = true;
      answer(modal);
    }
  });
  timer->start(10);
  trigger();
  timer->stop();
  delete timer;
  QVERIFY2(answered, "no modal window appeared");
}

inline void ChooseFiles(QWidget* modal, int entry, const QStringList& files) {
  auto* dialog = qobject_cast<TypedFileDialog*>(modal);
  QVERIFY(dialog);
  dialog->SetFilterIndex(entry);
  dialog->setDirectory(QFileInfo(files.first()).absolutePath());
  // Typed into the name field as a user would: "a.fits" "b.fts" ...
  QStringList quoted;
  for (const QString& f : files) quoted << QLatin1Char('"') + QFileInfo(f).fileName() + QLatin1Char('"');
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(name);
  const QString typed =
      files.size() == 1 ? QFileInfo(files.first()).fileName() : quoted.join(QLatin1Char(' '));
  QStringList wanted;
  for (const QString& f : files) wanted << QFileInfo(f).absoluteFilePath();
  // The dialog lists its folder in the background; when that ends late (a
  // loaded machine) it may put the previous choice back into the name
  // field. Accept only once the dialog holds exactly these files.
  QElapsedTimer waited;
  waited.start();
  do {
    if (name->text() != typed) name->setText(typed);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QStringList chosen;
    for (const QString& f : dialog->selectedFiles()) chosen << QFileInfo(f).absoluteFilePath();
    if (name->text() == typed && chosen == wanted) break;
  } while (waited.elapsed() < 30000);  // a hang guard: the listing ends in well under a second
  QMetaObject::invokeMethod(dialog, "accept");
}

inline QString AnswerMessageBox(QWidget* modal, QMessageBox::StandardButton button) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  if (!box) return QStringLiteral("<not a message box>");
  const QString text = box->text();
  box->button(button) ? box->button(button)->click() : box->accept();
  return text;
}

}  // namespace qirm::test
